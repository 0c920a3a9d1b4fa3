#include "retrieval/Charset.h"

#include "core/AsciiText.h"
#include "core/Utf8.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

namespace Charset {

namespace {

// The upper halves of the single-byte charsets. A byte that a charset leaves undefined maps to
// the C1 control of the same number, as web browsers read it.
constexpr std::array<char16_t, 128> kWindows1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
constexpr std::array<char16_t, 128> kWindows1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
constexpr std::array<char16_t, 128> kWindows1250 = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
constexpr std::array<char16_t, 128> kIso8859_15 = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087, 0x0088, 0x0089, 0x008A, 0x008B,
    0x008C, 0x008D, 0x008E, 0x008F, 0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
    0x20AC, 0x00A5, 0x0160, 0x00A7, 0x0161, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x017D, 0x00B5, 0x00B6, 0x00B7, 0x017E, 0x00B9, 0x00BA, 0x00BB,
    0x0152, 0x0153, 0x0178, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
constexpr std::array<char16_t, 128> kIso8859_2 = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087, 0x0088, 0x0089, 0x008A, 0x008B,
    0x008C, 0x008D, 0x008E, 0x008F, 0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F, 0x00A0, 0x0104, 0x02D8, 0x0141,
    0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164, 0x0179, 0x00AD, 0x017D, 0x017B,
    0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7, 0x00B8, 0x0161, 0x015F, 0x0165,
    0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
constexpr std::array<char16_t, 128> kKoi8R = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, 0x252C, 0x2534, 0x253C, 0x2580,
    0x2584, 0x2588, 0x258C, 0x2590, 0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7, 0x2550, 0x2551, 0x2552, 0x0451,
    0x2553, 0x2554, 0x2555, 0x2556, 0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565, 0x2566, 0x2567, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x00A9, 0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x044F, 0x0440, 0x0441,
    0x0442, 0x0443, 0x0436, 0x0432, 0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413, 0x0425, 0x0418, 0x0419, 0x041A,
    0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};
constexpr std::array<char16_t, 128> kKoi8U = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, 0x252C, 0x2534, 0x253C, 0x2580,
    0x2584, 0x2588, 0x258C, 0x2590, 0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7, 0x2550, 0x2551, 0x2552, 0x0451,
    0x0454, 0x2554, 0x0456, 0x0457, 0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x0491, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x0404, 0x2563, 0x0406, 0x0407, 0x2566, 0x2567, 0x2568, 0x2569,
    0x256A, 0x0490, 0x256C, 0x00A9, 0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x044F, 0x0440, 0x0441,
    0x0442, 0x0443, 0x0436, 0x0432, 0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413, 0x0425, 0x0418, 0x0419, 0x041A,
    0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};

enum class Codec {
  Utf8,
  Utf16,  // byte order from a mark or the first character, else big-endian
  Utf16LE,
  Utf16BE,
  Windows1252,
  Windows1251,
  Windows1250,
  Iso8859_15,
  Iso8859_2,
  Koi8R,
  Koi8U,
};

struct Alias {
  std::string_view label;
  Codec codec;
};

// Labels as feeds write them. Latin-1 and ASCII are read as windows-1252, as browsers do: feeds
// labelled so often carry its quotes and dashes, and the C1 controls are never meant.
constexpr Alias kAliases[] = {
    {"utf-8", Codec::Utf8},
    {"utf8", Codec::Utf8},
    {"unicode-1-1-utf-8", Codec::Utf8},
    {"utf-16", Codec::Utf16},
    {"utf16", Codec::Utf16},
    {"ucs-2", Codec::Utf16},
    {"unicode", Codec::Utf16},
    {"utf-16le", Codec::Utf16LE},
    {"utf-16be", Codec::Utf16BE},
    {"windows-1252", Codec::Windows1252},
    {"cp1252", Codec::Windows1252},
    {"x-cp1252", Codec::Windows1252},
    {"iso-8859-1", Codec::Windows1252},
    {"iso8859-1", Codec::Windows1252},
    {"iso_8859-1", Codec::Windows1252},
    {"iso_8859-1:1987", Codec::Windows1252},
    {"latin1", Codec::Windows1252},
    {"latin-1", Codec::Windows1252},
    {"l1", Codec::Windows1252},
    {"cp819", Codec::Windows1252},
    {"ibm819", Codec::Windows1252},
    {"iso-ir-100", Codec::Windows1252},
    {"csisolatin1", Codec::Windows1252},
    {"us-ascii", Codec::Windows1252},
    {"ascii", Codec::Windows1252},
    {"ansi_x3.4-1968", Codec::Windows1252},
    {"windows-1251", Codec::Windows1251},
    {"cp1251", Codec::Windows1251},
    {"x-cp1251", Codec::Windows1251},
    {"windows-1250", Codec::Windows1250},
    {"cp1250", Codec::Windows1250},
    {"x-cp1250", Codec::Windows1250},
    {"iso-8859-15", Codec::Iso8859_15},
    {"iso8859-15", Codec::Iso8859_15},
    {"iso_8859-15", Codec::Iso8859_15},
    {"latin-9", Codec::Iso8859_15},
    {"latin9", Codec::Iso8859_15},
    {"l9", Codec::Iso8859_15},
    {"iso-8859-2", Codec::Iso8859_2},
    {"iso8859-2", Codec::Iso8859_2},
    {"iso_8859-2", Codec::Iso8859_2},
    {"latin2", Codec::Iso8859_2},
    {"l2", Codec::Iso8859_2},
    {"koi8-r", Codec::Koi8R},
    {"koi8r", Codec::Koi8R},
    {"koi8", Codec::Koi8R},
    {"cskoi8r", Codec::Koi8R},
    {"koi8-u", Codec::Koi8U},
};

constexpr char32_t kReplacement = 0xFFFD;

using AsciiText::Lower;

bool IsSpace(char c) { return AsciiText::kWhitespace.find(c) != std::string_view::npos; }

std::string_view Trim(std::string_view text) {
  return AsciiText::Trim(text, AsciiText::kWhitespace);
}

// A charset label is a short token; anything else in its place is ignored.
bool IsLabel(std::string_view label) {
  if (label.empty() || label.size() > 40) return false;
  for (char c : label) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_' || c == '.' || c == ':';
    if (!ok) return false;
  }
  return true;
}

std::optional<Codec> CodecFor(std::string_view label) {
  const std::string key = Lower(Trim(label));
  for (const Alias& alias : kAliases) {
    if (alias.label == key) return alias.codec;
  }
  return std::nullopt;
}

bool IsUtf16(Codec codec) {
  return codec == Codec::Utf16 || codec == Codec::Utf16LE || codec == Codec::Utf16BE;
}

unsigned char Byte(std::string_view bytes, std::size_t i) {
  return static_cast<unsigned char>(bytes[i]);
}

bool StartsWith(std::string_view bytes, std::initializer_list<unsigned char> prefix) {
  if (bytes.size() < prefix.size()) return false;
  std::size_t i = 0;
  for (unsigned char b : prefix) {
    if (Byte(bytes, i++) != b) return false;
  }
  return true;
}

std::string CharsetFromBom(std::string_view bytes) {
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) return "utf-8";
  if (StartsWith(bytes, {0xFF, 0xFE})) return "utf-16le";
  if (StartsWith(bytes, {0xFE, 0xFF})) return "utf-16be";
  return {};
}

// UTF-16 without a mark still shows itself by the zero bytes around its first "<".
std::string SniffUtf16(std::string_view bytes) {
  if (StartsWith(bytes, {'<', 0x00})) return "utf-16le";
  if (StartsWith(bytes, {0x00, '<'})) return "utf-16be";
  return {};
}

std::string CharsetFromContentType(std::string_view contentType) {
  std::size_t semicolon = contentType.find(';');
  while (semicolon != std::string_view::npos) {
    std::string_view rest = contentType.substr(semicolon + 1);
    const std::size_t next = rest.find(';');
    std::string_view parameter = rest.substr(0, next);
    semicolon = next == std::string_view::npos ? next : semicolon + 1 + next;
    const std::size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    if (Lower(Trim(parameter.substr(0, equals))) != "charset") continue;
    std::string_view value = Trim(parameter.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = Trim(value.substr(1, value.size() - 2));
    }
    return IsLabel(value) ? Lower(value) : std::string();
  }
  return {};
}

// Where the value of the XML declaration's encoding attribute stands: offset and length.
std::optional<std::pair<std::size_t, std::size_t>> FindDeclarationEncoding(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsSpace(text[start])) ++start;
  if (text.substr(start, 5) != "<?xml" || start + 5 >= text.size() || !IsSpace(text[start + 5])) {
    return std::nullopt;
  }
  const std::size_t end = text.find("?>", start);
  if (end == std::string_view::npos || end - start > 1024) return std::nullopt;
  const std::string_view declaration = text.substr(0, end);
  std::size_t at = declaration.find("encoding", start + 5);
  if (at == std::string_view::npos || !IsSpace(declaration[at - 1])) return std::nullopt;
  at += 8;
  while (at < declaration.size() && IsSpace(declaration[at])) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return std::nullopt;
  ++at;
  while (at < declaration.size() && IsSpace(declaration[at])) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) {
    return std::nullopt;
  }
  const std::size_t valueStart = at + 1;
  const std::size_t close = declaration.find(declaration[at], valueStart);
  if (close == std::string_view::npos) return std::nullopt;
  if (!IsLabel(declaration.substr(valueStart, close - valueStart))) return std::nullopt;
  return std::make_pair(valueStart, close - valueStart);
}

std::string CharsetFromDeclaration(std::string_view bytes) {
  const auto where = FindDeclarationEncoding(bytes);
  if (!where) return {};
  const std::string label = Lower(bytes.substr(where->first, where->second));
  // Bytes that spell out the declaration in ASCII are no UTF-16, whatever it claims.
  if (const auto codec = CodecFor(label); codec && IsUtf16(*codec)) return {};
  return label;
}

// The length of the run of ASCII bytes other than NUL that starts at `at`, eight at a time.
std::size_t AsciiRun(std::string_view in, std::size_t at) {
  constexpr std::uint64_t kHigh = 0x8080808080808080, kOnes = 0x0101010101010101;
  std::size_t i = at;
  for (std::uint64_t word; i + 8 <= in.size(); i += 8) {
    std::memcpy(&word, in.data() + i, 8);
    // A high bit, or a zero byte (the usual test for one), ends the fast part.
    if ((word & kHigh) != 0 || ((word - kOnes) & ~word & kHigh) != 0) break;
  }
  while (i < in.size() && Byte(in, i) != 0 && Byte(in, i) < 0x80) ++i;
  return i - at;
}

// The length of the run of well-formed UTF-8 without NUL that starts at `at`.
std::size_t CleanRun(std::string_view in, std::size_t at) {
  std::size_t i = at;
  while (i < in.size()) {
    i += AsciiRun(in, i);
    if (i == in.size() || Byte(in, i) == 0) break;
    const Utf8::Sequence sequence = Utf8::SequenceAt(in, i);
    if (!sequence.valid) break;
    i += sequence.length;
  }
  return i - at;
}

// Copies well-formed runs whole and puts one U+FFFD for each maximal ill-formed part, the way
// browsers repair UTF-8: overlong forms, surrogates and values past U+10FFFF do not pass.
void DecodeUtf8(std::string_view in, std::string& out) {
  for (std::size_t i = 0; i < in.size();) {
    const std::size_t clean = CleanRun(in, i);
    out.append(in.substr(i, clean));
    i += clean;
    if (i == in.size()) break;
    // A NUL, or the ill-formed part that starts here.
    i += Byte(in, i) == 0 ? 1 : Utf8::SequenceAt(in, i).length;
    Utf8::Append(out, kReplacement);
  }
}

void DecodeUtf16(std::string_view in, bool littleEndian, std::string& out) {
  const std::size_t units = in.size() / 2;
  auto unit = [&](std::size_t k) -> char32_t {
    const unsigned char a = Byte(in, 2 * k), b = Byte(in, 2 * k + 1);
    return littleEndian ? (b << 8 | a) : (a << 8 | b);
  };
  for (std::size_t k = 0; k < units; ++k) {
    const char32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const char32_t next = unit(k + 1);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        Utf8::Append(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
        ++k;
        continue;
      }
    }
    Utf8::Append(out, u);  // a lone surrogate becomes U+FFFD there
  }
  if (in.size() % 2 != 0) Utf8::Append(out, kReplacement);
}

void DecodeSingleByte(std::string_view in, const std::array<char16_t, 128>& upper,
                      std::string& out) {
  for (std::size_t i = 0; i < in.size();) {
    const std::size_t ascii = AsciiRun(in, i);
    out.append(in.substr(i, ascii));
    i += ascii;
    if (i == in.size()) break;
    const unsigned char b = Byte(in, i++);
    Utf8::Append(out, b < 0x80 ? char32_t{b} : char32_t{upper[b - 0x80]});  // NUL: U+FFFD
  }
}

void NameUtf8InDeclaration(std::string& text) {
  const auto where = FindDeclarationEncoding(text);
  if (!where) return;
  if (Lower(std::string_view(text).substr(where->first, where->second)) == "utf-8") return;
  text.replace(where->first, where->second, "UTF-8");
}

}  // namespace

bool IsSupported(std::string_view label) { return CodecFor(label).has_value(); }

std::string Detect(std::string_view bytes, std::string_view contentType) {
  if (std::string bom = CharsetFromBom(bytes); !bom.empty()) return bom;
  // A bare "utf-16" label without a mark leaves the order to the bytes, which may also show
  // that they are no UTF-16 at all.
  if (std::string header = CharsetFromContentType(contentType);
      !header.empty() && CodecFor(header) != Codec::Utf16) {
    return header;
  }
  if (std::string order = SniffUtf16(bytes); !order.empty()) return order;
  if (std::string declared = CharsetFromDeclaration(bytes); !declared.empty()) return declared;
  return "utf-8";
}

std::string Decode(std::string_view bytes, std::string_view charset) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  switch (CodecFor(charset).value_or(Codec::Utf8)) {
    case Codec::Utf8:
      DecodeUtf8(bytes, out);
      break;
    case Codec::Utf16: {
      std::string order = CharsetFromBom(bytes);
      if (order.empty()) order = SniffUtf16(bytes);
      DecodeUtf16(bytes, order == "utf-16le", out);
      break;
    }
    case Codec::Utf16LE:
      DecodeUtf16(bytes, true, out);
      break;
    case Codec::Utf16BE:
      DecodeUtf16(bytes, false, out);
      break;
    case Codec::Windows1252:
      DecodeSingleByte(bytes, kWindows1252, out);
      break;
    case Codec::Windows1251:
      DecodeSingleByte(bytes, kWindows1251, out);
      break;
    case Codec::Windows1250:
      DecodeSingleByte(bytes, kWindows1250, out);
      break;
    case Codec::Iso8859_15:
      DecodeSingleByte(bytes, kIso8859_15, out);
      break;
    case Codec::Iso8859_2:
      DecodeSingleByte(bytes, kIso8859_2, out);
      break;
    case Codec::Koi8R:
      DecodeSingleByte(bytes, kKoi8R, out);
      break;
    case Codec::Koi8U:
      DecodeSingleByte(bytes, kKoi8U, out);
      break;
  }
  if (out.starts_with("\xEF\xBB\xBF")) out.erase(0, 3);
  NameUtf8InDeclaration(out);
  return out;
}

std::string DecodeOwned(std::string bytes, std::string_view charset) {
  if (CodecFor(charset).value_or(Codec::Utf8) != Codec::Utf8 ||
      CleanRun(bytes, 0) != bytes.size()) {
    return Decode(std::string_view(bytes), charset);
  }
  // Clean UTF-8, as nearly every feed is: taken as it is.
  std::string out = std::move(bytes);
  if (out.starts_with("\xEF\xBB\xBF")) out.erase(0, 3);
  NameUtf8InDeclaration(out);
  return out;
}

std::string DecodeToUtf8(std::string_view bytes, std::string_view contentType) {
  return Decode(bytes, Detect(bytes, contentType));
}

}  // namespace Charset
