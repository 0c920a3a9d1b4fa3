#pragma once
// Decoding a feed answer's bytes into UTF-8 text for the feed parser: which charset the bytes are
// in, and the decoders for the charsets feeds use.

#include <string>
#include <string_view>

namespace Charset {

// Whether a charset label (any case, surrounding spaces allowed) is one Decode knows.
bool IsSupported(std::string_view label);

// The charset the answer is decoded with, as a lower-case label: a byte-order mark first (it
// cannot be wrong about the bytes that follow it), then the charset parameter of the
// Content-Type header, then the encoding of the XML declaration, else "utf-8". A label may be one
// that IsSupported does not know; the caller may decode it by other means.
std::string Detect(std::string_view bytes, std::string_view contentType);

// Decodes the bytes from the charset into valid UTF-8 text: a leading byte-order mark is dropped,
// bytes that do not decode and NUL characters become U+FFFD, and an XML declaration that names
// another encoding is changed to name UTF-8, so that no parser decodes the text a second time.
// An unknown charset is read as UTF-8.
std::string Decode(std::string_view bytes, std::string_view charset);

// The same, taking the bytes: well-formed UTF-8 (nearly every feed) is handed back as it is.
std::string DecodeOwned(std::string bytes, std::string_view charset);

// Decode with the charset Detect picks.
std::string DecodeToUtf8(std::string_view bytes, std::string_view contentType);

}  // namespace Charset
