#pragma once
// What the drop box decides, apart from its window: its sizes and transparency levels, where it
// opens, what it stores when it closes, and which drops it takes.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace DropBoxLogic {

inline constexpr int kTwipsPerPixel = 15;
// The window is its picture frame plus this much in each direction.
inline constexpr int kWindowMarginTwips = 100;

struct SizeOption {
  const char* caption;
  int picturePixels;
  int frameTwips;
};
inline constexpr std::array<SizeOption, 3> kSizes{{
    {"Small", 30, 510},
    {"Normal", 40, 660},
    {"Large", 55, 885},
}};
inline constexpr std::array<const char*, 4> kTransparencies{"None", "Low", "Normal", "High"};

inline constexpr const char* kSizeMenuCaption = "Window Size";
inline constexpr const char* kTransMenuCaption = "Transperancy";
inline constexpr const char* kCloseCaption = "Close";

inline constexpr const char* kNoLinkText =
    "Invalid link dropped! Please Drag any Quillpost URL to this DropBox and Subscribe!";
inline constexpr const char* kNoLinkTitle = "Drag-n-Drop Quillpost Link ...";

// Indexes from the settings, kept inside the menus.
int SizeIndex(int index);
int TransIndex(int index);
// Outer width and height of the window for a size index, in twips.
int WindowTwips(int sizeIndex);
// Transparency level in percent for a transparency index.
int TransparencyLevel(int transIndex);

int PixelsFromTwips(int twips);
// Twips for a screen position, clamped to what settings.cfg can hold (16 bits).
std::int16_t TwipsFromPixels(int pixels);

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Where and how the box shows: top-left in pixels, size and transparency indexes.
struct Placement {
  int left = 0;
  int top = 0;
  int size = 0;
  int trans = 0;
  bool operator==(const Placement&) const = default;
};

// Loads the drop-box settings. A box whose middle would lie on none of the screens (a screen
// gone since, a hand-edited file) opens at the first screen's top-left instead, where the user
// can reach it; with no screens known the stored place is kept.
Placement LoadPlacement(const std::vector<Rect>& screens);
// A box of that side whose place covers the main window's menu bar opens beside the window
// instead (the place stored first, the screen's corner, is just where the menus are): to the
// window's right at the bar's height, else to its left, where the screen has room; failing both,
// just below the bar at the window's right edge. A place clear of the bar stays.
Placement ClearOfMenus(Placement placement, int side, const Rect& menus, const Rect& window,
                       const Rect& screen);
// Stores the box's place and choices as the drop-box settings and writes settings.cfg.
void StorePlacement(const Placement& placement);

// Judges a drop: true when the text is a link for the subscribe dialog (it names the service host
// and no scheme other than http or https); otherwise the user has been told why it is refused.
bool AcceptDrop(bool offersText, const std::string& text);

}  // namespace DropBoxLogic
