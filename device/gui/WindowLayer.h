#pragma once
// What the device's own screens and the tests need of the window layer beyond the
// platform's functions: the screen it reports, the pixels of a window, the Qt window
// behind a top-level window, taps, and Qt drawing on a device context.

#include <functional>
#include <string>
#include <vector>

#include <QImage>
#include <QPoint>
#include <QSize>

#include "device/gui/Windows.h"

class QPainter;
class QWindow;

namespace velmo::device::gui {

// The resolution that GetDeviceCaps reports for LOGPIXELSX and LOGPIXELSY, 96 unless
// set; the screen is 240 x 320 pixels at 96 DPI and grows with the resolution.
void SetScreenDpi(int dpi);
int ScreenDpi();
QSize ScreenSize();

// Paints whatever is pending in the window's top-level window, then returns the
// window's pixels; a null image for a handle that is not a window.
QImage RenderWindow(HWND window);

// The Qt window of a top-level window once ShowWindow has shown it, else nullptr.
QWindow* QtWindowOf(HWND topLevel);

// A tap as the screen delivers it: WM_LBUTTONDOWN, then WM_LBUTTONUP, each to the
// deepest visible window under point (in the top-level window's coordinates).
void Tap(HWND topLevel, QPoint point);

// Starts the program argv[0] with the arguments that follow as the shell does (the device's
// environment, a session of its own, no waiting); false when it cannot be started.
bool StartProgram(const std::vector<std::string>& argv);

// Draws with Qt on a device context, translated to its window and clipped as it is;
// false for a context that draws nothing (the screen's).
bool PaintOn(HDC dc, const std::function<void(QPainter&)>& draw);

}  // namespace velmo::device::gui
