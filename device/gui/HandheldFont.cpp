#include "device/gui/HandheldFont.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace velmo::device::gui {

namespace {

constexpr char kFontFolder[] = "/usr/share/wine/fonts/";
// Only the regular face: the package's bold file has thin, wide outlines of another
// design, while the regular face made bold keeps one face on the screen with bold stems.
constexpr const char* kFontFiles[] = {"tahoma.ttf"};

bool Listed(const QString& family) { return QFontDatabase::families().contains(family, Qt::CaseInsensitive); }

QString FindFamily() {
    const QString tahoma = QStringLiteral("Tahoma");
    if (Listed(tahoma)) return tahoma;
    bool registered = false;
    for (const char* file : kFontFiles) {
        int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFolder) + QLatin1String(file));
        if (id >= 0 && QFontDatabase::applicationFontFamilies(id).contains(tahoma, Qt::CaseInsensitive)) {
            registered = true;
        }
    }
    return registered ? tahoma : QStringLiteral("DejaVu Sans");
}

// The face's text falls back to the colour emoji font, when there is one, before any other
// font that fontconfig offers, so emoji show in colour rather than as a box or an outline.
QString WithEmojiFallback(const QString& family) {
    const QString emoji = QStringLiteral("Noto Color Emoji");
    if (Listed(emoji) && !QFont::substitutes(family).contains(emoji)) QFont::insertSubstitution(family, emoji);
    return family;
}

}  // namespace

QString HandheldFontFamily() {
    // Looked up once: Qt's font database, where the files are registered, is the process's too.
    static const QString family = WithEmojiFallback(FindFamily());
    return family;
}

}  // namespace velmo::device::gui
