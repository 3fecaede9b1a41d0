// The window layer's contract: classes, window lifetimes, painting, text, image lists,
// strings, events and starting programs.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <QPainter>

#include "ItemHost.h"
#include "device/Text.h"
#include "device/gui/WindowLayer.h"

namespace {

using velmo::device::gui::PaintOn;
using velmo::device::gui::RenderWindow;
using velmo::test::Draw;
using velmo::test::TempDevice;

// A window that records the messages it gets and paints itself in one colour.
struct Probe {
    std::vector<std::string>* log;
    std::string name;
    QColor color;
    LRESULT createAnswer = 0;
};

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* probe = static_cast<Probe*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(probe));
    }
    auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_CREATE: probe->log->push_back("create " + probe->name); return probe->createAnswer;
        case WM_DESTROY: probe->log->push_back("destroy " + probe->name); return 0;
        case WM_ERASEBKGND: probe->log->push_back("erase " + probe->name); return 1;
        case WM_PAINT: {
            probe->log->push_back("paint " + probe->name);
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            PaintOn(dc, [probe](QPainter& painter) { painter.fillRect(0, 0, 1000, 1000, probe->color); });
            EndPaint(window, &ps);
            return 0;
        }
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

class WindowLayer : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW probe{};
        probe.lpfnWndProc = ProbeProc;
        probe.lpszClassName = u"Probe";
        ASSERT_NE(RegisterClassW(&probe), 0);
    }
    void TearDown() override { UnregisterClassW(u"Probe", nullptr); }

    HWND Create(Probe& probe, HWND parent, QRect geometry) {
        return CreateWindowExW(0, u"Probe", nullptr, parent != nullptr ? WS_CHILD | WS_VISIBLE : WS_POPUP, geometry.x(),
                               geometry.y(), geometry.width(), geometry.height(), parent, nullptr, nullptr, &probe);
    }

    std::vector<std::string> log;
};

TEST_F(WindowLayer, ClassesAreFoundByNameAndInstanceAndOutliveNoWindow) {
    WNDCLASSW same{};
    same.lpfnWndProc = ProbeProc;
    same.lpszClassName = u"PROBE";
    EXPECT_EQ(RegisterClassW(&same), 0);  // names compare without case
    EXPECT_EQ(CreateWindowExW(0, u"Probe", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              reinterpret_cast<HINSTANCE>(&same), nullptr),
              nullptr);  // another instance's class of that name does not exist

    Probe probe{&log, "w", Qt::red};
    HWND window = Create(probe, nullptr, QRect(0, 0, 10, 10));
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassW(u"Probe", nullptr));
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassW(u"Probe", nullptr));
    EXPECT_NE(RegisterClassW(&same), 0);
}

TEST_F(WindowLayer, DestroyingAParentDestroysItsChildrenAfterIt) {
    Probe parentProbe{&log, "parent", Qt::red};
    Probe childProbe{&log, "child", Qt::blue};
    HWND parent = Create(parentProbe, nullptr, QRect(0, 0, 50, 50));
    HWND child = Create(childProbe, parent, QRect(10, 10, 20, 20));
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(log, (std::vector<std::string>{"create parent", "create child", "destroy parent", "destroy child"}));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(SendMessageW(child, WM_USER, 0, 0), 0);
    EXPECT_FALSE(DestroyWindow(child));
}

TEST_F(WindowLayer, WindowRefusingCreationIsNotMade) {
    Probe probe{&log, "w", Qt::red, -1};
    EXPECT_EQ(Create(probe, nullptr, QRect(0, 0, 10, 10)), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"create w", "destroy w"}));
    EXPECT_TRUE(UnregisterClassW(u"Probe", nullptr));  // no window of it is left
}

TEST_F(WindowLayer, ParentPaintingLeavesItsChildrenAndErasingHappensOnlyWhenAsked) {
    Probe parentProbe{&log, "parent", Qt::red};
    Probe childProbe{&log, "child", Qt::blue};
    HWND parent = Create(parentProbe, nullptr, QRect(0, 0, 50, 50));
    HWND child = Create(childProbe, parent, QRect(10, 10, 20, 20));
    InvalidateRect(parent, nullptr, TRUE);
    QImage image = RenderWindow(parent);
    EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(15, 15), QColor(Qt::blue));
    InvalidateRect(parent, nullptr, TRUE);  // the parent alone
    EXPECT_EQ(RenderWindow(parent).pixelColor(15, 15), QColor(Qt::blue));

    log.clear();
    InvalidateRect(child, nullptr, FALSE);
    RenderWindow(parent);
    EXPECT_EQ(log, (std::vector<std::string>{"paint child"}));
    log.clear();
    RECT part{0, 0, 5, 5};
    InvalidateRect(child, &part, TRUE);
    RenderWindow(parent);
    RenderWindow(parent);  // nothing is left to paint
    EXPECT_EQ(log, (std::vector<std::string>{"paint child", "erase child"}));
    DestroyWindow(parent);
}

int FirstInkRow(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) return y;
        }
    }
    return -1;
}

int LastInkColumn(const QImage& image) {
    for (int x = image.width() - 1; x >= 0; --x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) return x;
        }
    }
    return -1;
}

QImage Text(UINT format, RECT area = RECT{0, 0, 200, 60}) {
    return Draw(QSize(200, 60), [&](HDC dc) { DrawTextW(dc, u"Blocked", -1, &area, format); });
}

TEST_F(WindowLayer, TextIsCentredOnlyOnASingleLineAndClippedToItsRectangle) {
    int top = FirstInkRow(Text(DT_LEFT));
    EXPECT_LT(top, 10);
    EXPECT_EQ(FirstInkRow(Text(DT_VCENTER)), top);
    EXPECT_GT(FirstInkRow(Text(DT_VCENTER | DT_SINGLELINE)), top + 15);
    EXPECT_EQ(LastInkColumn(Text(DT_LEFT, RECT{0, 0, 20, 60})), 19);
    EXPECT_GT(LastInkColumn(Text(DT_LEFT | DT_NOCLIP, RECT{0, 0, 20, 60})), 19);
    EXPECT_GT(LastInkColumn(Text(DT_RIGHT)), 190);
}

class Resolution : public WindowLayer, public ::testing::WithParamInterface<int> {};

TEST_P(Resolution, ScreenContextAndSystemFontFollowTheResolution) {
    velmo::test::ScopedDpi dpi(GetParam());
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), GetParam());
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), GetParam());
    ReleaseDC(nullptr, screen);
    LOGFONTW font{};
    EXPECT_EQ(GetObjectW(GetStockObject(SYSTEM_FONT), sizeof font, &font), static_cast<int>(sizeof font));
    EXPECT_EQ(font.lfHeight, -12 * GetParam() / 96);  // 9 points
    EXPECT_TRUE(DeleteObject(GetStockObject(SYSTEM_FONT)));
    EXPECT_EQ(GetObjectW(GetStockObject(SYSTEM_FONT), sizeof font, &font), static_cast<int>(sizeof font));
}

INSTANTIATE_TEST_SUITE_P(Dpi, Resolution, ::testing::Values(96, 192),
                         [](const auto& info) { return "At" + std::to_string(info.param) + "Dpi"; });

// The library's resources, through the handle the loader gives.
class LibraryResources : public WindowLayer {
protected:
    void SetUp() override {
        WindowLayer::SetUp();
        library = LoadLibraryW(velmo::device::ToUtf16(velmo::test::FreshItemLibrary(device).string()).c_str());
        ASSERT_NE(library, nullptr);
    }
    void TearDown() override {
        FreeLibrary(library);
        WindowLayer::TearDown();
    }
    HINSTANCE Instance() const { return library; }

    TempDevice device;
    HMODULE library = nullptr;
};

TEST_F(LibraryResources, StringsAreCutToTheBufferAndAlwaysTerminated) {
    char16_t text[64];
    EXPECT_EQ(LoadStringW(Instance(), 3, text, 64), 33);
    EXPECT_EQ(std::u16string(text), u"Blocked: %d Silently accepted: %d");
    EXPECT_EQ(LoadStringW(Instance(), 1, text, 8), 7);
    EXPECT_EQ(std::u16string(text), u"VelmoLi");
    EXPECT_EQ(LoadStringW(Instance(), 2, text, 64), 0);
    EXPECT_EQ(LoadStringW(nullptr, 3, text, 64), 0);
}

TEST_F(LibraryResources, ImageListCutsTheBitmapIntoPicturesTransparentWhereWhite) {
    HIMAGELIST list = ImageList_LoadImage(Instance(), MAKEINTRESOURCEW(153), 26, 0, 0x00FFFFFF, IMAGE_BITMAP, 0);
    ASSERT_NE(list, nullptr);
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(QSize(cx, cy), QSize(26, 16));
    QImage onRed = Draw(QSize(26, 16), [&](HDC dc) {
        PaintOn(dc, [](QPainter& painter) { painter.fillRect(0, 0, 26, 16, Qt::red); });
        EXPECT_TRUE(ImageList_Draw(list, 2, dc, 0, 0, ILD_TRANSPARENT));
        EXPECT_FALSE(ImageList_Draw(list, 3, dc, 0, 0, ILD_TRANSPARENT));
    });
    EXPECT_EQ(onRed.pixelColor(0, 0), QColor(Qt::red));   // a white corner of the clock
    EXPECT_NE(onRed.pixelColor(10, 9), QColor(Qt::red));  // the clock's face
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_LoadImage(Instance(), MAKEINTRESOURCEW(152), 26, 0, 0x00FFFFFF, IMAGE_BITMAP, 0), nullptr);
}

TEST(Events, NamedEventIsSharedAndForgottenWithItsLastHandle) {
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"Ready");
    HANDLE second = CreateEventW(nullptr, FALSE, TRUE, u"Ready");  // opens the same event as it is
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
    std::thread setter([first] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(first);
    });
    EXPECT_EQ(WaitForSingleObject(second, INFINITE), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);  // manual reset: stays set
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_FALSE(CloseHandle(second));
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_FAILED);

    HANDLE again = CreateEventW(nullptr, FALSE, FALSE, u"Ready");
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT);
    SetEvent(again);
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT);  // auto reset: taken by the wait
    CloseHandle(again);
}

TEST(Shell, StartedProgramHasASessionOfItsOwnAndNoneOfTheStartersStreams) {
    TempDevice device;
    auto program = device.Root() / "program";
    auto record = device.Root() / "record";
    {
        std::ofstream script(program);
        script << "#!/bin/sh\n"
               << "echo $(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2) $(cut -d' ' -f6 /proc/$$/stat) $$ > '"
               << record.string() << ".new'\nmv '" << record.string() << ".new' '" << record.string() << "'\n";
    }
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    std::u16string file = velmo::device::ToUtf16(program.string());
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpFile = file.c_str();
    ASSERT_TRUE(ShellExecuteEx(&info));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(record) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(record);
    std::string in0, out1, err2, session, pid;
    in >> in0 >> out1 >> err2 >> session >> pid;
    EXPECT_EQ(in0 + " " + out1 + " " + err2, "/dev/null /dev/null /dev/null");
    EXPECT_EQ(session, pid);
}

struct ShellRow {
    const char* name;
    DWORD sizeOffset;
    const char16_t* verb;
    const char16_t* parameters;
    bool executable;
};

void PrintTo(const ShellRow& row, std::ostream* out) { *out << row.name; }

class ShellRefuses : public ::testing::TestWithParam<ShellRow> {};

TEST_P(ShellRefuses, WhatItCannotStartAsAsked) {
    const ShellRow& row = GetParam();
    TempDevice device;
    velmo::test::StartLog log(device);
    auto program = device.Root() / "program";
    log.WriteProgram(program, "program");
    if (!row.executable) std::filesystem::permissions(program, std::filesystem::perms::owner_read);
    std::u16string file = velmo::device::ToUtf16(program.string());
    SHELLEXECUTEINFO info{};
    info.cbSize = static_cast<DWORD>(sizeof info - row.sizeOffset);
    info.lpFile = file.c_str();
    info.lpVerb = row.verb;
    info.lpParameters = row.parameters;
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(log.LinesAfterSentinel(), std::vector<std::string>{"sentinel " + device.Root().string()});
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ShellRefuses,
    ::testing::Values(ShellRow{"HandheldSizeOnThisMachine", sizeof(SHELLEXECUTEINFO) - 60, nullptr, nullptr, true},
                      ShellRow{"Verb", 0, u"print", nullptr, true}, ShellRow{"Parameters", 0, nullptr, u"-x", true},
                      ShellRow{"NotExecutable", 0, nullptr, nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
