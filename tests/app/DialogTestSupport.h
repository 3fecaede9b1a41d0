#pragma once
// Helpers for the tests of VelmoLight's dialogs: a modal dialog handled while the call
// that opened it waits, a locale and a time zone for the length of a test, and whether a
// setting has been stored at all.

#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "common/SettingsStore.h"
#include "support/ScopedTimeZone.h"

namespace velmo::test {

// Runs open, which shows a modal dialog of type Dialog, and hands that dialog to handle,
// which must end it; true when the dialog appeared.
template <typename Dialog>
bool HandleModal(const std::function<void()>& open, const std::function<void(Dialog&)>& handle) {
    bool handled = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || handled || !dialog->isVisible()) return;
        handled = true;
        handle(*dialog);
    });
    poll.start();
    open();
    poll.stop();
    return handled;
}

class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) { QLocale::setDefault(QLocale(QString::fromLatin1(name))); }
    ~ScopedLocale() { QLocale::setDefault(previous_); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    QLocale previous_;
};

// Whether the settings key holds the value at all, whatever its type.
inline bool IsStored(SettingsStore& settings, const char16_t* name) {
    std::uint8_t data[16];
    DWORD size = sizeof data;
    return settings.ReadBytes(name, data, size);
}

}  // namespace velmo::test
