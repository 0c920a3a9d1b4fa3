#include "shell/TrayMenu.h"

#include "core/Utf8.h"

namespace {

// Walks the text up to its first NUL; stops when the next character would pass maxUnits.
// Returns the bytes taken and sets units to the UTF-16 units they make.
std::size_t Measure(const std::string& text, std::size_t maxUnits, std::size_t& units) {
  units = 0;
  std::size_t at = 0;
  while (at < text.size() && text[at] != '\0') {
    const Utf8::Sequence sequence = Utf8::SequenceAt(text, at);
    // A stray byte stands for one replacement character.
    const std::size_t length = sequence.valid ? sequence.length : 1;
    std::size_t charUnits = 1;
    if (length == 4) {
      charUnits = 2;  // outside the basic plane: a surrogate pair
    }
    if (units + charUnits > maxUnits) break;
    units += charUnits;
    at += length;
  }
  return at;
}

}  // namespace

TrayMenu::TrayMenu() : m_items(1) {}

int TrayMenu::AddMenuItem(const std::string& caption, const std::string& key, bool makeDefault) {
  int index = 0;
  if (!m_started) {
    m_started = true;
  } else {
    m_items.emplace_back();
    index = Count() - 1;
  }
  Item& item = m_items[static_cast<std::size_t>(index)];
  item.visible = true;
  item.key = key;
  item.caption = caption;
  if (makeDefault) m_defaultIndex = index;
  return index;
}

int TrayMenu::RemoveMenuItem(int index) {
  if (!InRange(index)) return 0;
  if (index == 0) {
    m_items.front().caption.clear();
    return 0;
  }
  // Later items move down whole, so an item's enabled state stays with its caption.
  m_items.erase(m_items.begin() + index);
  // A default that pointed past the end would bold nothing; fall back as a write would.
  if (!InRange(m_defaultIndex)) m_defaultIndex = 0;
  return 0;
}

void TrayMenu::EnableMenuItem(int index, bool state) {
  if (InRange(index)) m_items[static_cast<std::size_t>(index)].enabled = state;
}

void TrayMenu::SetDefaultMenuIndex(int index) { m_defaultIndex = InRange(index) ? index : 0; }

void TrayMenu::SetCaption(int index, const std::string& text) {
  if (InRange(index)) m_items[static_cast<std::size_t>(index)].caption = text;
}

std::string TrayMenu::Caption(int index) const { return InRange(index) ? At(index).caption : ""; }

std::string TrayMenu::Key(int index) const { return InRange(index) ? At(index).key : ""; }

bool TrayMenu::CanChoose(int index) const {
  if (!InRange(index)) return false;
  const Item& item = At(index);
  return item.visible && item.enabled && item.caption != kSeparator;
}

namespace TrayText {

std::string CutToUtf16Units(const std::string& text, std::size_t maxUnits) {
  std::size_t units = 0;
  return text.substr(0, Measure(text, maxUnits, units));
}

std::size_t Utf16Units(const std::string& text) {
  std::size_t units = 0;
  Measure(text, text.size() * 2, units);
  return units;
}

}  // namespace TrayText

std::optional<BalloonIcon> BalloonIconFromInt(int value) {
  if (value < 0 || value > 3) return std::nullopt;
  return static_cast<BalloonIcon>(value);
}
