#pragma once
// Window operations that the shared utilities leave to the desktop layer.

class QWidget;

class QPalette;

namespace WindowFunctions {

// Starts moving a captionless window with the mouse; call from a mouse-press handler.
void DragForm(QWidget* window);
// Keeps the window above all others (or not); it keeps its place and size and is shown.
void SetTopMost(QWidget* window, bool topMost);
// Closes every open top-level window, in the order they were made.
void UnloadAllForms();
// Makes the window translucent by a level in percent (0 opaque), when the desktop can.
void ApplyTransparency(QWidget* window, int level);

// Whether the desktop lets a program place its windows, keep them on top, make them
// translucent and raise them: not on Wayland, where the compositor alone decides.
bool CanPlaceWindows();

// Whether the palette is a dark one, as a desktop's dark theme sets it: its window colour is
// darker than its text.
bool IsDark(const QPalette& palette);

}  // namespace WindowFunctions
