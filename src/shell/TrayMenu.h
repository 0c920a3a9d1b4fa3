#pragma once
// The tray icon's menu as data: items with caption, key, enabled and visible flags, indexed from
// 0, plus the default (bold) item; and the limits of the notification area's text fields. No Qt
// here: frmSysTray shows this model as a menu and reports choices by index and key.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class TrayMenu {
 public:
  struct Item {
    std::string caption;
    std::string key;
    bool enabled = true;
    bool visible = false;
  };

  // A caption of exactly this makes the item a separator line.
  static constexpr const char* kSeparator = "-";

  // Item 0 exists from the start, hidden and with an empty caption, until the first add.
  TrayMenu();

  // Appends an item (the first call fills item 0) and returns its index; makeDefault makes it
  // the default item.
  int AddMenuItem(const std::string& caption, const std::string& key = "",
                  bool makeDefault = false);
  // Removes the item at index; later items move down by one. Item 0 is never deleted: removing
  // it only clears its caption. Out of range: nothing happens. Always returns 0.
  int RemoveMenuItem(int index);
  // Out of range: ignored.
  void EnableMenuItem(int index, bool state);

  int DefaultMenuIndex() const { return m_defaultIndex; }
  // An index outside the list stores 0.
  void SetDefaultMenuIndex(int index);

  // Out of range: ignored (SetCaption) or empty (Caption, Key).
  void SetCaption(int index, const std::string& text);
  std::string Caption(int index) const;
  std::string Key(int index) const;

  int Count() const { return static_cast<int>(m_items.size()); }
  bool InRange(int index) const { return index >= 0 && index < Count(); }
  // The item at index; precondition InRange(index).
  const Item& At(int index) const { return m_items[static_cast<std::size_t>(index)]; }
  bool IsSeparator(int index) const { return InRange(index) && At(index).caption == kSeparator; }
  // Whether choosing the item raises a menu click: shown, enabled and not a separator.
  bool CanChoose(int index) const;
  // False until the first AddMenuItem.
  bool Started() const { return m_started; }

 private:
  std::vector<Item> m_items;
  int m_defaultIndex = 0;
  bool m_started = false;
};

// The notification area's fixed text fields hold UTF-16 code units and end with a NUL unit, so
// each keeps one unit less than its size. Texts are cut at the first NUL and never inside a
// character: a character that does not fit whole is left out.
namespace TrayText {

inline constexpr std::size_t kToolTipUnits = 127;
inline constexpr std::size_t kBalloonMessageUnits = 255;
inline constexpr std::size_t kBalloonTitleUnits = 63;

// The longest head of a UTF-8 text that fits in maxUnits UTF-16 code units. A byte that does
// not start a valid UTF-8 sequence counts as one unit and is kept as it is.
std::string CutToUtf16Units(const std::string& text, std::size_t maxUnits);
// Counts as CutToUtf16Units does.
std::size_t Utf16Units(const std::string& text);

inline std::string FitToolTip(const std::string& text) {
  return CutToUtf16Units(text, kToolTipUnits);
}
inline std::string FitBalloonMessage(const std::string& text) {
  return CutToUtf16Units(text, kBalloonMessageUnits);
}
inline std::string FitBalloonTitle(const std::string& text) {
  return CutToUtf16Units(text, kBalloonTitleUnits);
}

}  // namespace TrayText

// The icon of a balloon notice, by its fixed numbers.
enum class BalloonIcon : int { None = 0, Information = 1, Warning = 2, Error = 3 };

// The icon for a raw number; nothing for a number that is not one of them.
std::optional<BalloonIcon> BalloonIconFromInt(int value);
