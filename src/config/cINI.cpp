#include "config/cINI.h"

#include "config/IniDocument.h"
#include "core/AsciiText.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

namespace {

std::string_view UpToNul(const std::string& name) {
  return std::string_view(name).substr(0, name.find('\0'));
}

std::string JoinWithNul(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += name;
    text += '\0';
  }
  return text;
}

void SplitList(std::string_view text, bool keepEmpty, std::vector<std::string>& list,
               std::int32_t& count) {
  list.clear();
  count = 0;
  for (std::size_t start = 0;;) {
    const std::size_t nul = text.find('\0', start);
    if (nul == std::string_view::npos) break;
    if (keepEmpty || nul > start) {
      list.emplace_back(text.substr(start, nul - start));
      ++count;
    }
    start = nul + 1;
  }
}

// Loads the file, applies the change and rewrites it; the result is the last return code.
// An unreadable file is never written over, and a change that changes nothing writes nothing.
template <typename Change>
std::int32_t Rewrite(const std::string& path, Change change) {
  std::error_code ec;
  IniDocument doc = IniDocument::Load(path, ec);
  if (ec) return 0;
  if (!change(doc)) return 0;
  if (!doc.IsModified()) return 1;
  return doc.Save(path, ec) ? 1 : 0;
}

bool IsBlank(char c) { return AsciiText::kBlanks.find(c) != std::string_view::npos; }

}  // namespace

std::string cINI::Value() const {
  std::error_code ec;
  auto value = IniDocument::ReadValue(m_path, UpToNul(m_section), UpToNul(m_key), ec);
  return value ? std::move(*value) : m_default;
}

void cINI::SetValue(std::string& text) {
  std::erase(text, '\0');
  m_lastReturnCode = Rewrite(m_path, [&](IniDocument& doc) {
    return doc.SetValue(UpToNul(m_section), UpToNul(m_key), text);
  });
}

void cINI::DeleteKey() {
  m_lastReturnCode = Rewrite(m_path, [&](IniDocument& doc) {
    doc.DeleteKey(UpToNul(m_section), UpToNul(m_key));
    return true;
  });
}

void cINI::DeleteSection() {
  m_lastReturnCode = Rewrite(m_path, [&](IniDocument& doc) {
    doc.DeleteSection(UpToNul(m_section));
    return true;
  });
}

std::string cINI::INISection() const {
  std::error_code ec;
  return JoinWithNul(IniDocument::ReadKeyNames(m_path, UpToNul(m_section), ec));
}

void cINI::SetINISection(const std::string& /*ignored*/) { DeleteSection(); }

std::string cINI::Sections() const {
  std::error_code ec;
  return JoinWithNul(IniDocument::ReadSectionNames(m_path, ec));
}

void cINI::EnumerateCurrentSection(std::vector<std::string>& list, std::int32_t& count) const {
  SplitList(INISection(), true, list, count);
}

void cINI::EnumerateKeysInSection(const std::string& listText, std::vector<std::string>& list,
                                  std::int32_t& count) const {
  SplitList(listText, true, list, count);
}

void cINI::EnumerateAllSections(std::vector<std::string>& list, std::int32_t& count) const {
  SplitList(Sections(), false, list, count);
}

void cINI::SaveFormPosition(IFormWindow& window) {
  try {
    if (window.IsMinimized()) return;
    const bool maximized = window.IsMaximized();
    std::string left, top, width, height;
    if (!maximized) {
      left = std::to_string(window.Left());
      top = std::to_string(window.Top());
      width = std::to_string(window.Width());
      height = std::to_string(window.Height());
    }
    // One rewrite for the whole placement, so a crash never leaves half of it.
    m_lastReturnCode = Rewrite(m_path, [&](IniDocument& doc) {
      const std::string_view section = UpToNul(m_section);
      bool stored = doc.SetValue(section, "Maximised", maximized ? "1" : "0");
      if (!maximized) {
        stored = doc.SetValue(section, "Left", left) && stored;
        stored = doc.SetValue(section, "Top", top) && stored;
        stored = doc.SetValue(section, "Width", width) && stored;
        stored = doc.SetValue(section, "Height", height) && stored;
      }
      return stored;
    });
  } catch (...) {
    m_lastReturnCode = 0;
  }
}

void cINI::LoadFormPosition(IFormWindow& window, std::int32_t minimumWidth,
                            std::int32_t minimumHeight) {
  try {
    std::error_code ec;
    const IniDocument doc = IniDocument::Load(m_path, ec);  // unreadable reads as missing
    const std::string_view section = UpToNul(m_section);
    auto read = [&](std::string_view key, std::int32_t fallback) -> std::int64_t {
      const auto text = doc.GetValue(section, key);
      return text ? CLngDefault(*text, fallback) : fallback;
    };
    std::int64_t left = read("Left", window.Left());
    std::int64_t top = read("Top", window.Top());
    std::int64_t width = read("Width", window.Width());
    std::int64_t height = read("Height", window.Height());
    width = std::max<std::int64_t>(width, minimumWidth);
    height = std::max<std::int64_t>(height, minimumHeight);

    // Keeps one axis on screen: position first, then size, each a margin away from the edges.
    auto clamp = [](std::int64_t& position, std::int64_t& size, std::int64_t screen,
                    std::int64_t margin) {
      if (position < margin) position = margin;
      if (position + size > screen - margin) {
        position = std::max(screen - margin - size, margin);
        if (position + size > screen - margin) size = screen - position - margin;
      }
    };
    clamp(left, width, window.ScreenWidth(), 4LL * window.TwipsPerPixelX());
    clamp(top, height, window.ScreenHeight(), 4LL * window.TwipsPerPixelY());

    auto fits = [](std::int64_t v) {
      return v >= std::numeric_limits<std::int32_t>::min() &&
             v <= std::numeric_limits<std::int32_t>::max();
    };
    if (width >= minimumWidth && height >= minimumHeight && fits(left) && fits(top) &&
        fits(width) && fits(height)) {
      window.Move(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                  static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    }
    if (read("Maximised", 0) != 0) window.Maximize();
  } catch (...) {
    m_lastReturnCode = 0;
  }
}

std::optional<std::int64_t> cINI::ParseWholeNumber(const std::string& text) {
  // Far beyond every range a caller takes, so a saturated value is out of range for all of them.
  constexpr std::int64_t kSaturated = 1'000'000'000'000;
  std::size_t pos = 0;
  const std::size_t size = text.size();
  while (pos < size && IsBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < size && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';

  std::int64_t whole = 0;
  bool anyDigit = false;
  for (; pos < size && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    anyDigit = true;
    whole = std::min(whole * 10 + (text[pos] - '0'), kSaturated);
  }
  // Fraction: only whether it is below, at or above one half matters.
  int half = -1;  // -1 below, 0 exactly half, 1 above
  if (pos < size && text[pos] == '.') {
    ++pos;
    bool first = true;
    for (; pos < size && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
      anyDigit = true;
      const int digit = text[pos] - '0';
      if (first) {
        half = digit > 5 ? 1 : (digit == 5 ? 0 : -1);
        first = false;
      } else if (half == 0 && digit != 0) {
        half = 1;
      }
    }
  }
  while (pos < size && IsBlank(text[pos])) ++pos;
  if (!anyDigit || pos != size) return std::nullopt;

  if (half == 1 || (half == 0 && whole % 2 == 1)) ++whole;
  return negative ? -whole : whole;
}

std::int32_t cINI::CLngDefault(const std::string& text, std::int32_t fallback) {
  const auto value = ParseWholeNumber(text);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max()) {
    return fallback;
  }
  return static_cast<std::int32_t>(*value);
}
