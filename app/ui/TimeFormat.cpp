#include "app/ui/TimeFormat.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace velmo {

QString FormatTimeNoSeconds(int hour, int minute, int second) {
    QTime time(hour, minute, second);
    if (!time.isValid()) return {};
    QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    // The seconds go together with the separator in front of them.
    static const QRegularExpression seconds(QStringLiteral("[^hHmaApPt']*s{1,2}"));
    format.remove(seconds);
    return locale.toString(time, format.trimmed());
}

}  // namespace velmo
