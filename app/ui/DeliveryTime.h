#pragma once
// When a blocked message arrived, as the user reads it: the record keeps the moment in
// UTC, the dialogs show it in the device's local time.

#include <QDateTime>

#include "device/WinTypes.h"

namespace velmo {

// Invalid when the stored value is no moment at all.
QDateTime LocalDeliveryTime(const FILETIME& utc);

}  // namespace velmo
