#include "device/gui/HandheldFont.h"

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

}  // namespace

QString HandheldFontFamily() {
    // Looked up once: Qt's font database, where the files are registered, is the process's too.
    static const QString family = FindFamily();
    return family;
}

}  // namespace velmo::device::gui
