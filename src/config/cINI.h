#pragma once
// The accessor through which settings.cfg and every inbox.dat are read and written. The caller
// sets Path, Section and Key, then reads or assigns Value. Every member call is one complete
// file operation: reads load the file as it is now, writes load it, change it and replace it
// atomically. Nothing is cached, so a second accessor or a hand edit between calls is seen.
//
// Values and name listings come back whole, however long (no 49,999 / 8,190 character cut).
// Names are cut at a NUL character, as the listing format cannot carry one.
//
// For a batch of changes to one file (one read, many changes, one rewrite) use IniDocument.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class cINI {
 public:
  // The window that SaveFormPosition and LoadFormPosition place. Positions and sizes are in
  // twips; the screen's twips per pixel convert pixels to twips.
  class IFormWindow {
   public:
    virtual ~IFormWindow() = default;
    virtual bool IsMinimized() const = 0;
    virtual bool IsMaximized() const = 0;
    virtual std::int32_t Left() const = 0;
    virtual std::int32_t Top() const = 0;
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
    virtual void Move(std::int32_t left, std::int32_t top, std::int32_t width,
                      std::int32_t height) = 0;
    virtual void Maximize() = 0;
    virtual std::int32_t ScreenWidth() const = 0;
    virtual std::int32_t ScreenHeight() const = 0;
    virtual std::int32_t TwipsPerPixelX() const = 0;
    virtual std::int32_t TwipsPerPixelY() const = 0;
  };

  // Non-zero when the last write or delete succeeded, 0 when it failed. Reads leave it alone.
  std::int32_t LastReturnCode() const { return m_lastReturnCode; }
  bool Success() const { return m_lastReturnCode != 0; }

  // What a read of a missing key (or file, or section) gives; empty unless set.
  const std::string& Default() const { return m_default; }
  void SetDefault(const std::string& text) { m_default = text; }
  const std::string& Path() const { return m_path; }
  void SetPath(const std::string& path) { m_path = path; }
  const std::string& Key() const { return m_key; }
  void SetKey(const std::string& key) { m_key = key; }
  const std::string& Section() const { return m_section; }
  void SetSection(const std::string& section) { m_section = section; }

  std::string Value() const;
  // Removes every NUL from the text (the caller's text too), then stores it. Line breaks are
  // stored as spaces. A key holding "=" or starting with "[" cannot be stored and fails.
  void SetValue(std::string& text);

  void DeleteKey();
  void DeleteSection();

  // The key names of the section, each followed by one NUL.
  std::string INISection() const;
  // Removes the section; the text is not stored.
  void SetINISection(const std::string& ignored);
  // The section names of the file, each followed by one NUL.
  std::string Sections() const;

  // The lists are indexed from 1 by the count: element 0 holds entry 1, element count - 1
  // holds entry count. Empty key names are listed; empty section names are not.
  void EnumerateCurrentSection(std::vector<std::string>& list, std::int32_t& count) const;
  // Splits NUL-terminated entries; text after the last NUL is no entry.
  void EnumerateKeysInSection(const std::string& listText, std::vector<std::string>& list,
                              std::int32_t& count) const;
  void EnumerateAllSections(std::vector<std::string>& list, std::int32_t& count) const;

  // Writes "Maximised", and unless maximised "Left", "Top", "Width", "Height", into the
  // section in one rewrite. A minimised window writes nothing.
  void SaveFormPosition(IFormWindow& window);
  // Restores the placement from the section, kept on screen with a 4-pixel margin; missing or
  // broken values keep the window's own.
  void LoadFormPosition(IFormWindow& window, std::int32_t minimumWidth, std::int32_t minimumHeight);

  // The text as a whole number: blanks around, an optional sign, digits, an optional fraction
  // rounded half to even. Anything else, or a number outside 32 bits, gives the fallback.
  static std::int32_t CLngDefault(const std::string& text, std::int32_t fallback);
  // The same reading without a range: the rounded number (saturated far beyond 32 bits), or
  // nothing when the text is not a number.
  static std::optional<std::int64_t> ParseWholeNumber(const std::string& text);

 private:
  std::string m_path;
  std::string m_key;
  std::string m_section;
  std::string m_default;
  std::int32_t m_lastReturnCode = 0;
};
