#pragma once
// What the Today tests share: a Today screen in this process with a freshly loaded
// VelmoToday as its only item, and stand-in programs that record that they ran.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QImage>

#include "device/gui/TodayScreen.h"
#include "support/TempDevice.h"

namespace velmo::test {

// The screen's resolution for as long as the object lives.
class ScopedDpi {
public:
    explicit ScopedDpi(int dpi);
    ~ScopedDpi();
    ScopedDpi(const ScopedDpi&) = delete;
    ScopedDpi& operator=(const ScopedDpi&) = delete;
};

// A copy of VelmoToday.dll under a name of its own in the device's Windows folder, so
// that loading it starts the library's process-wide state afresh.
std::filesystem::path FreshItemLibrary(const TempDevice& device);

// A top-level window of its own, white, on which draw has painted.
QImage Draw(QSize size, const std::function<void(HDC)>& draw);

class ItemHost {
public:
    // ready: whether the shell's ready event is set at once.
    explicit ItemHost(const TempDevice& device, int dpi = 96, bool ready = true);

    HWND Window() { return screen.Item(0).hwndCustom; }
    TODAYLISTITEM& Record() { return screen.Item(0); }
    LRESULT Query() { return Query(&Record()); }
    LRESULT Query(TODAYLISTITEM* record);
    void Press(int x, int y);
    void Release(int x, int y);
    void Action();
    // The item's pixels after it has been painted anew.
    QImage Render();

    ScopedDpi dpi;
    device::gui::TodayScreen screen;
};

// Stand-in programs that append a line "LABEL VELMO_DEVICE" to started.log in the
// device root when they run.
class StartLog {
public:
    explicit StartLog(const TempDevice& device) : log_(device.Root() / "started.log"), root_(device.Root()) {}

    void WriteProgram(const std::filesystem::path& path, const std::string& label) const;
    // Waits until at least count programs have run; false after a generous time.
    bool WaitForLines(std::size_t count) const;
    // Starts a program of its own through the shell and waits for it, so that anything
    // started before it has had its turn; then the lines logged, the sentinel's included.
    std::vector<std::string> LinesAfterSentinel() const;
    std::vector<std::string> Lines() const;

private:
    std::filesystem::path log_;
    std::filesystem::path root_;
};

}  // namespace velmo::test
