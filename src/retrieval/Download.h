#pragma once
// The feed download's own logic: the status texts of the transfer states and the decoding of an
// answer's bytes into UTF-8 text for the feed parser. The transfer itself is a platform service
// (Services::IHttp).

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

// Whether a charset label (any case, surrounding spaces allowed) is one DecodeAs knows.
bool IsSupportedCharset(std::string_view label);

// The charset the answer is decoded with, as a lower-case label: a byte-order mark first (it
// cannot be wrong about the bytes that follow it), then the charset parameter of the
// Content-Type header, then the encoding of the XML declaration, else "utf-8". A label may be one
// that IsSupportedCharset does not know; the caller may decode it by other means.
std::string DetectCharset(std::string_view bytes, std::string_view contentType);

// Decodes the bytes from the charset into valid UTF-8 text: a leading byte-order mark is dropped,
// bytes that do not decode and NUL characters become U+FFFD, and an XML declaration that names
// another encoding is changed to name UTF-8, so that no parser decodes the text a second time.
// An unknown charset is read as UTF-8.
std::string DecodeAs(std::string_view bytes, std::string_view charset);

// DecodeAs with the charset DetectCharset picks.
std::string DecodeToUtf8(std::string_view bytes, std::string_view contentType);

}  // namespace Download
