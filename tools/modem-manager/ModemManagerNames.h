#pragma once
// ModemManager's names on the system bus, as its receiver and its sender call them.

#include <QString>

namespace velmo::cli::modem_manager {

inline const QString Service = QStringLiteral("org.freedesktop.ModemManager1");
inline const QString ManagerPath = QStringLiteral("/org/freedesktop/ModemManager1");
inline const QString Messaging = QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging");
inline const QString SmsInterface = QStringLiteral("org.freedesktop.ModemManager1.Sms");

}  // namespace velmo::cli::modem_manager
