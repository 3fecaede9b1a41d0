#pragma once
// Times of day and dates as the user's locale writes them.

#include <QString>

namespace velmo {

// The locale's short time format with its seconds left out, as a QTime format.
QString TimeFormatNoSeconds();
// The locale's short time format without seconds (GetTimeFormatW with TIME_NOSECONDS);
// empty for a time that is not a time of day.
QString FormatTimeNoSeconds(int hour, int minute, int second);
// The locale's short date (GetDateFormatW with DATE_SHORTDATE); empty for a day that
// is not a date.
QString FormatShortDate(int year, int month, int day);

}  // namespace velmo
