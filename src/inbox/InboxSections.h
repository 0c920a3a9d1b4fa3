#pragma once
// An inbox file read by where its sections lie, without loading it whole: the sections that begin
// in a stretch of its text, the sections appended after a known size, and one message's
// description read from the offset where its section was found. Names fold as the INI reader
// folds them (config/IniDocument.h); of several sections of one name the first counts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace InboxSections {

struct Span {
  std::string name;  // folded: ASCII letters in lower case, a stray CR as a blank
  std::int64_t at = 0;
  std::int64_t size = 0;  // up to the next section header, or the end
};

// The section name of a header line ("[name]"), as the INI reader takes it; none for other lines.
// The first line of a file may start with a byte order mark.
std::optional<std::string_view> HeaderName(std::string_view line, bool firstLine);
std::string FoldedName(std::string_view name);

// Where each section of the text begins and how long it is, the first of each name; `base` is
// added to the offsets.
std::vector<Span> Spans(std::string_view text, std::int64_t base = 0);

// The sections of the file that begin at or after `from`, read up to `to` (the size the caller
// knows the file to have); none when the file is shorter.
std::vector<Span> SpansFrom(const std::string& path, std::int64_t from, std::int64_t to);

// The description of the message whose section lies there, decoded as the store loads it; read
// from the file anew (found by its name when the section has moved). Empty when it is gone.
std::string LoadDescription(const std::string& path, const std::string& guid, std::int64_t at,
                            std::int64_t size);

}  // namespace InboxSections
