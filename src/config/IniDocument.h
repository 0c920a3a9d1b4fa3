#pragma once
// Our INI text format, parsed once and kept line for line, so that a document that was not
// changed serializes to the very bytes it was parsed from, and a change touches only its lines.
//
// Format: "[name]" opens a section (the name runs to the last "]" on the line); inside a
// section, "key=value" is an entry (the value is everything after the first "="). Names are
// matched without regard to ASCII letter case; blanks (spaces, tabs) around names and values
// are not significant, and a stray CR inside a name counts as a space. Other lines (blank
// lines, comments, anything without "=") are kept but carry no data. Lines are read up to LF
// with an optional CR before it; lines this class writes end with CR LF.
//
// Several sections of the same name (possible only through hand edits): lookups and changes
// address the first, listings name it once, DeleteSection removes them all. The same holds for
// keys within a section. Not safe for use from several threads at once (lookups build an index).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

class IniDocument {
 public:
  IniDocument() = default;

  static IniDocument Parse(std::string text);
  // A missing file gives an empty document. Any other read failure gives an empty document
  // and sets ec: a caller must not save over a file it could not read.
  static IniDocument Load(const std::string& path, std::error_code& ec);

  // Single lookups straight from a file, without holding all of it: the same results as Load
  // followed by GetValue, SectionNames or KeyNames, with the same errors.
  static std::optional<std::string> ReadValue(const std::string& path, std::string_view section,
                                              std::string_view key, std::error_code& ec);
  static std::vector<std::string> ReadSectionNames(const std::string& path, std::error_code& ec);
  static std::vector<std::string> ReadKeyNames(const std::string& path, std::string_view section,
                                               std::error_code& ec);

  std::string Serialize() const;
  // Writes the whole document through an atomic replace. A file without write permission is
  // left alone and reported as a failure, as is an empty path.
  bool Save(const std::string& path, std::error_code& ec) const;
  bool Save(const std::string& path) const;

  bool HasSection(std::string_view section) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  std::optional<std::string> GetValue(std::string_view section, std::string_view key) const;
  // Stores the value: an existing key is replaced in place, a missing key is added after the
  // last entry of its section, a missing section is added at the end of the document.
  // Line breaks in names and values become spaces, so no text can add lines or sections.
  // False (and nothing changed) for a key the format cannot hold: one containing "=" or
  // starting with "[".
  bool SetValue(std::string_view section, std::string_view key, std::string_view value);
  // Both return whether anything was removed; removing what is not there is no error.
  bool DeleteKey(std::string_view section, std::string_view key);
  bool DeleteSection(std::string_view section);

  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;

  // Whether anything was changed since parsing.
  bool IsModified() const { return m_modified; }

  // The form a name or value takes when written: each line break (CR LF, CR or LF) becomes one
  // space. Lookups apply the same rule, so a name reads back as it was written.
  static std::string WithoutLineBreaks(std::string_view text);

 private:
  enum class LineEnd : std::uint8_t { None, Lf, CrLf };
  // A line lives in a chunk: chunk 0 is the parsed text, every written line has its own.
  struct LineRef {
    std::uint32_t chunk = 0;
    LineEnd end = LineEnd::None;
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  struct Section {
    LineRef header;
    std::size_t nameOffset = 0;  // the trimmed name, within the header line
    std::size_t nameLength = 0;
    std::vector<LineRef> body;
    bool removed = false;
    // Kept by the index: a later section of an earlier one's name, and the next of that name.
    mutable bool duplicate = false;
    mutable std::size_t nextSame = kNone;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::string_view Text(const LineRef& line) const;
  std::string_view Name(const Section& section) const;
  LineRef AddLine(std::string text);
  void ReplaceLine(LineRef& line, std::string text);
  void DropLine(const LineRef& line);

  std::size_t FindSection(std::string_view normalizedName) const;
  void EnsureIndex() const;
  const LineRef* FindEntry(const Section& section, std::string_view normalizedKey) const;

  std::vector<std::string> m_chunks{std::string()};
  std::vector<LineRef> m_preamble;  // lines before the first section
  std::vector<Section> m_sections;  // removed sections stay as tombstones
  bool m_modified = false;

  // Case-folded section name -> first section of that name; built on demand.
  mutable std::unordered_map<std::string, std::size_t> m_index;
  mutable bool m_indexBuilt = false;
  mutable int m_lookupsWithoutIndex = 0;
};
