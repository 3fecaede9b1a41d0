#pragma once
// The font of the dialog templates: the application's face at 8 points, the size the
// handheld's dialogs are laid out for in dialog units.

#include <QFont>

namespace velmo {

QFont DialogFont();

}  // namespace velmo
