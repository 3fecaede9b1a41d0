#include "ItemHost.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <QPainter>
#include "device/Text.h"

#include "device/gui/WindowLayer.h"

namespace velmo::test {

ScopedDpi::ScopedDpi(int dpi) { device::gui::SetScreenDpi(dpi); }
ScopedDpi::~ScopedDpi() { device::gui::SetScreenDpi(96); }

std::filesystem::path FreshItemLibrary(const TempDevice& device) {
    static int copies = 0;
    auto directory = device.Root() / "Windows";
    std::filesystem::create_directories(directory);
    auto path = directory / ("VelmoToday-" + std::to_string(++copies) + ".dll");
    std::filesystem::copy_file(BinPath("VelmoToday.dll"), path);
    return path;
}

QImage Draw(QSize size, const std::function<void(HDC)>& draw) {
    static const WNDCLASSW canvas = [] {
        WNDCLASSW c{};
        c.lpszClassName = u"TestCanvas";
        c.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            device::gui::PaintOn(dc, [](QPainter& painter) { painter.fillRect(0, 0, 10000, 10000, Qt::white); });
            (*reinterpret_cast<const std::function<void(HDC)>*>(GetWindowLongPtrW(window, GWLP_USERDATA)))(dc);
            EndPaint(window, &ps);
            return 0;
        };
        RegisterClassW(&c);
        return c;
    }();
    HWND window = CreateWindowExW(0, canvas.lpszClassName, nullptr, WS_POPUP, 0, 0, size.width(), size.height(),
                                  nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&draw));
    InvalidateRect(window, nullptr, TRUE);
    QImage image = device::gui::RenderWindow(window);
    DestroyWindow(window);
    return image;
}

ItemHost::ItemHost(const TempDevice& device, int dpi, bool ready) : dpi(dpi) {
    screen.AddItem(u"VelmoLight Today", FreshItemLibrary(device));
    if (ready) screen.SetReady();
}

LRESULT ItemHost::Query(TODAYLISTITEM* record) {
    return SendMessageW(Window(), WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(record), 0);
}

void ItemHost::Press(int x, int y) {
    SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}

void ItemHost::Release(int x, int y) {
    SendMessageW(Window(), WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}

void ItemHost::Action() { SendMessageW(Window(), WM_TODAYCUSTOM_ACTION, VK_RETURN, 0); }

QImage ItemHost::Render() {
    screen.Layout();
    InvalidateRect(Window(), nullptr, TRUE);
    return device::gui::RenderWindow(Window());
}

void StartLog::WriteProgram(const std::filesystem::path& path, const std::string& label) const {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream script(path);
    script << "#!/bin/sh\necho \"" << label << " $VELMO_DEVICE\" >> '" << log_.string() << "'\n";
    script.close();
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

std::vector<std::string> StartLog::Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool StartLog::WaitForLines(std::size_t count) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Lines().size() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> StartLog::LinesAfterSentinel() const {
    auto sentinel = root_ / "sentinel";
    WriteProgram(sentinel, "sentinel");
    std::u16string file = device::ToUtf16(sentinel.string());
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpFile = file.c_str();
    if (!ShellExecuteEx(&info)) throw std::runtime_error("cannot start the sentinel");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::string> lines;
    auto sentinelRan = [](const std::vector<std::string>& logged) {
        return std::any_of(logged.begin(), logged.end(),
                           [](const std::string& l) { return l.rfind("sentinel", 0) == 0; });
    };
    while (!sentinelRan(lines = Lines())) {
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the sentinel did not run");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return lines;
}

}  // namespace velmo::test
