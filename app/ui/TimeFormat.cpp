#include "app/ui/TimeFormat.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace velmo {

QString TimeFormatNoSeconds() {
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    // The seconds go together with the separator in front of them.
    static const QRegularExpression seconds(QStringLiteral("[^hHmaApPt']*s{1,2}"));
    format.remove(seconds);
    return format.trimmed();
}

QString FormatTimeNoSeconds(int hour, int minute, int second) {
    QTime time(hour, minute, second);
    if (!time.isValid()) return {};
    return QLocale().toString(time, TimeFormatNoSeconds());
}

QString FormatShortDate(int year, int month, int day) {
    QDate date(year, month, day);
    if (!date.isValid()) return {};
    return QLocale().toString(date, QLocale::ShortFormat);
}

}  // namespace velmo
