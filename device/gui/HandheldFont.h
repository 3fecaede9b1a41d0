#pragma once
// The handheld's system face, Tahoma, for every screen that imitates the handheld.
// Debian's fonts-wine package installs a font with Tahoma's metrics; where fontconfig
// does not list it, its regular face is registered with Qt, which draws the bold text
// from it too. Without it, DejaVu Sans stands in. Emoji come from the colour emoji font
// (Debian's fonts-noto-color-emoji) where it is installed.

#include <QString>

namespace velmo::device::gui {

// The family to draw the handheld's text in. Needs the process's Qt GUI application.
QString HandheldFontFamily();

}  // namespace velmo::device::gui
