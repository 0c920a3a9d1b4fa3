#include "core/Utf8.h"

namespace Utf8 {

Sequence SequenceAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {1, true};
  std::size_t need = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the next byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {1, false};
  }
  std::size_t next = at + 1;
  for (std::size_t k = 0; k < need; ++k, ++next) {
    if (next >= text.size() || byte(next) < low || byte(next) > high) return {next - at, false};
    low = 0x80;
    high = 0xBF;
  }
  return {next - at, true};
}

std::size_t FirstInvalid(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Sequence sequence = SequenceAt(text, at);
    if (!sequence.valid) return at;
    at += sequence.length;
  }
  return std::string_view::npos;
}

void Append(std::string& out, char32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  char bytes[4];
  std::size_t length = 0;
  if (cp < 0x80) {
    bytes[length++] = static_cast<char>(cp);
  } else if (cp < 0x800) {
    bytes[length++] = static_cast<char>(0xC0 | (cp >> 6));
    bytes[length++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    bytes[length++] = static_cast<char>(0xE0 | (cp >> 12));
    bytes[length++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    bytes[length++] = static_cast<char>(0xF0 | (cp >> 18));
    bytes[length++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  out.append(bytes, length);
}

}  // namespace Utf8
