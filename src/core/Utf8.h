#pragma once
// Well-formed UTF-8, the one rule the program reads text by: no overlong forms, no surrogates,
// nothing past U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace Utf8 {

struct Sequence {
  std::size_t length = 0;  // bytes taken, at least 1 inside the text
  bool valid = false;
};

// The sequence at text[at]: a well-formed character with its length, or else the maximal
// ill-formed part that stands for one replacement character (the byte that breaks a sequence
// starts the next one), as browsers repair UTF-8.
Sequence SequenceAt(std::string_view text, std::size_t at);

// Where the first byte that is not part of well-formed UTF-8 stands; npos when all of it is.
std::size_t FirstInvalid(std::string_view text);

// Appends the character's UTF-8 form; NUL, surrogates and values past U+10FFFF give U+FFFD.
void Append(std::string& out, char32_t cp);

}  // namespace Utf8
