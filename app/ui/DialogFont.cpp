#include "app/ui/DialogFont.h"

#include <QApplication>

#include "device/gui/HandheldFont.h"

namespace velmo {

namespace {

constexpr int kTemplatePointSize = 8;

}  // namespace

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setFamily(device::gui::HandheldFontFamily());
    font.setPointSize(kTemplatePointSize);
    return font;
}

void UseHandheldFace() {
    QFont font = QApplication::font();
    font.setFamily(device::gui::HandheldFontFamily());
    QApplication::setFont(font);
}

}  // namespace velmo
