#include "app/ui/DeliveryTime.h"

#include <QTimeZone>

#include "device/Clock.h"

namespace velmo {

QDateTime LocalDeliveryTime(const FILETIME& utc) {
    SYSTEMTIME fields{};
    if (!FileTimeToSystemTime(&utc, &fields)) return {};
    QDateTime moment(QDate(fields.wYear, fields.wMonth, fields.wDay),
                     QTime(fields.wHour, fields.wMinute, fields.wSecond, fields.wMilliseconds), Qt::UTC);
    return moment.toLocalTime();
}

}  // namespace velmo
