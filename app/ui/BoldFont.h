#pragma once
// The program's one bold font, 9-point bold "Tahoma" (the handheld's face, see
// device/gui/HandheldFont.h), alive from before the first dialog until after the last.

#include <QFont>

namespace velmo {

// Creates the font for the screen's vertical resolution; needs the application object.
void CreateBoldFont();
void DeleteBoldFont();
// The font; the application's default font while none has been created.
const QFont& BoldFont();

// The font's pixel height for a vertical resolution: 9 points, truncated.
int BoldFontPixelHeight(int logPixelsY);

}  // namespace velmo
