#pragma once
// The feed download's own logic: the status texts of the transfer states. Decoding the answer is
// Charset.h's; the transfer itself is a platform service (Services::IHttp).

#include <optional>
#include <string>

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

}  // namespace Download
