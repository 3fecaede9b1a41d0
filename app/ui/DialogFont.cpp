#include "app/ui/DialogFont.h"

#include <QApplication>

namespace velmo {

namespace {

constexpr int kTemplatePointSize = 8;

}  // namespace

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(kTemplatePointSize);
    return font;
}

}  // namespace velmo
