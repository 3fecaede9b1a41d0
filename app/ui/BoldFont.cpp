#include "app/ui/BoldFont.h"

#include <QGuiApplication>
#include <QScreen>
#include <optional>

#include "device/gui/HandheldFont.h"

namespace velmo {

namespace {

// Process-wide, as the program's resources are.
std::optional<QFont>& Instance() {
    static std::optional<QFont> font;
    return font;
}

}  // namespace

int BoldFontPixelHeight(int logPixelsY) { return logPixelsY * 9 / 72; }

void CreateBoldFont() {
    QFont font(device::gui::HandheldFontFamily());
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Bold);
    const QScreen* screen = QGuiApplication::primaryScreen();
    int logPixelsY = screen != nullptr ? static_cast<int>(screen->logicalDotsPerInchY()) : 96;
    font.setPixelSize(BoldFontPixelHeight(logPixelsY));
    Instance() = font;
}

void DeleteBoldFont() { Instance().reset(); }

const QFont& BoldFont() {
    static const QFont fallback;
    return Instance() ? *Instance() : fallback;
}

}  // namespace velmo
