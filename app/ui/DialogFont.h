#pragma once
// The font of the dialog templates: the handheld's face at 8 points, the size the
// handheld's dialogs are laid out for in dialog units.

#include <QFont>

namespace velmo {

QFont DialogFont();

// Gives the application's default font the handheld's face, for the menus and message
// boxes that no dialog sets a font on. Needs the application object.
void UseHandheldFace();

}  // namespace velmo
