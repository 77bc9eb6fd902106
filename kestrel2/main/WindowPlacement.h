#pragma once
// Where a window of the tool opens: wholly on the screen that holds the window
// it was opened from, centred on that window. The window manager's own choice
// (a cascade from the screen's corner) can put a tall window partly below the
// screen, where its buttons cannot be reached.
#include <QRect>

class QWidget;

namespace kestrel2 {

// The frame of a window of `frameSize` centred on `parentFrame`, then moved to lie
// wholly within `available` (the screen less its panels); a window larger than
// that area is shrunk to it.
QRect PlaceWindow(const QSize& frameSize, const QRect& parentFrame, const QRect& available);

// Sizes `window` to its layout (unless it was sized already) and moves it there, on
// the screen of `parent`. Without a parent the primary screen stands in for it.
void PlaceOnParentScreen(QWidget* window, const QWidget* parent);

// The window a new window of the tool is opened from: the active window of the
// tool when there is one (not a message box), else the main window; may be nullptr.
QWidget* OpeningWindow();

} // namespace kestrel2
