#pragma once
// Times of day as the user's locale writes them.

#include <QString>

namespace velmo {

// The locale's short time format without seconds (GetTimeFormatW with TIME_NOSECONDS);
// empty for a time that is not a time of day.
QString FormatTimeNoSeconds(int hour, int minute, int second);

}  // namespace velmo
