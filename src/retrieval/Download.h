#pragma once
// The feed download's own logic: the status texts of the transfer states and which links and
// redirects are followed. Decoding the answer is Charset.h's; the transfer itself is a platform
// service (Services::IHttp).

#include <optional>
#include <string>
#include <string_view>

namespace Download {

// The transfer states, numbered as the busy window's status texts know them.
enum class INetState : int {
  ResolvingHost = 1,
  HostResolved = 2,
  Connecting = 3,
  Connected = 4,
  Requesting = 5,
  RequestSent = 6,
  ReceivingResponse = 7,
  ResponseReceived = 8,
  Disconnecting = 9,
  Disconnected = 10,
  Error = 11,
  ResponseCompleted = 12,
};

// The state of that number, or nothing when the number is no state.
std::optional<INetState> INetStateFromInt(int state);

// The busy window's status text for a state code; empty for any number that is no state.
std::string TranslateINetState(int state);

// Why a link is not fetched, or an empty text when it may be: only http and https links with a
// host are, so that a subscription cannot read local files.
std::string LinkRefusal(std::string_view link);

// Why a redirect from one link to the next (already resolved against the first) is not followed,
// or an empty text when it may be: the next link must be fetchable, and a redirect never steps
// down from https to http, where the answer could be read or changed on the way.
std::string RedirectRefusal(std::string_view from, std::string_view to);

}  // namespace Download
