// The Today screen with the items registered with the device, driven by a person's
// taps and keys on its Qt window.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "ItemHost.h"
#include "common/SettingsStore.h"
#include "device/MessageStore.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "device/TodayItems.h"
#include "device/gui/WindowLayer.h"
#include "support/ScreenshotDir.h"

namespace {

using velmo::device::RegisterTodayItem;
using velmo::device::ToUtf16;
using velmo::device::gui::RenderWindow;
using velmo::device::gui::TodayScreen;
using velmo::test::TempDevice;

void SetDword(const char16_t* key, const char16_t* name, DWORD value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(handle);
}

void RegisterFreshItem(const TempDevice& device, const char16_t* name) {
    RegisterTodayItem(name, ToUtf16(velmo::test::FreshItemLibrary(device).string()));
}

class TodayScreenTest : public ::testing::Test {
protected:
    TempDevice device;
};

TEST_F(TodayScreenTest, LoadsTheEnabledItemsOfTypeFourAndReportsTheOnesItCannotLoad) {
    RegisterFreshItem(device, u"VelmoLight Today");
    RegisterFreshItem(device, u"Switched off");
    SetDword(u"Software\\Microsoft\\Today\\Items\\Switched off", u"Enabled", 0);
    RegisterFreshItem(device, u"Not drawn by a library");
    SetDword(u"Software\\Microsoft\\Today\\Items\\Not drawn by a library", u"Type", 2);
    RegisterTodayItem(u"Gone", ToUtf16((device.Root() / "Windows" / "Gone.dll").string()));

    TodayScreen screen;
    auto problems = screen.LoadRegisteredItems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("\"Gone\""), std::string::npos) << problems[0];
    ASSERT_EQ(screen.ItemCount(), 1u);
    EXPECT_EQ(std::u16string(screen.Item(0).szName), u"VelmoLight Today");
    EXPECT_TRUE(IsWindow(screen.Item(0).hwndCustom));
}

struct LayoutRow {
    const char* name;
    int dpi;
    QSize screen;
    int header;
    int itemsTop;  // below the date line and the Messaging line
    int itemHeight;
};

void PrintTo(const LayoutRow& row, std::ostream* out) { *out << row.name; }

class ScreenLayout : public TodayScreenTest, public ::testing::WithParamInterface<LayoutRow> {};

TEST_P(ScreenLayout, ItemSitsBelowTheDateLineAtTheHeightItSet) {
    const LayoutRow& row = GetParam();
    RegisterFreshItem(device, u"VelmoLight Today");
    velmo::test::ScopedDpi dpi(row.dpi);
    TodayScreen screen;
    screen.LoadRegisteredItems();
    screen.SetReady();
    screen.Refresh();

    QImage image = RenderWindow(screen.Window());
    image.save(QString::fromStdString(
        (velmo::test::ScreenshotDir() / ("today-in-process-" + std::to_string(row.dpi) + ".png")).string()));
    ASSERT_EQ(image.size(), row.screen);
    EXPECT_EQ(TodayScreen::HeaderHeight(), row.header);
    EXPECT_EQ(TodayScreen::ItemsTop(), row.itemsTop);
    EXPECT_EQ(screen.Item(0).cyp, static_cast<DWORD>(row.itemHeight));
    EXPECT_EQ(image.copy(0, row.itemsTop, row.screen.width(), row.itemHeight), RenderWindow(screen.Item(0).hwndCustom));
    EXPECT_NE(image.pixel(0, row.header - 1), image.pixel(0, row.itemsTop + row.itemHeight));  // the date line's band
}

INSTANTIATE_TEST_SUITE_P(Resolutions, ScreenLayout,
                         ::testing::Values(LayoutRow{"At96Dpi", 96, QSize(240, 320), 24, 44, 21},
                                           LayoutRow{"At192Dpi", 192, QSize(480, 640), 48, 88, 42}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ResizeRow {
    const char* name;
    QSize size;
};

void PrintTo(const ResizeRow& row, std::ostream* out) { *out << row.name; }

class ScreenResize : public TodayScreenTest, public ::testing::WithParamInterface<ResizeRow> {};

TEST_P(ScreenResize, ScreenRedrawsItselfAtTheWindowsNewSize) {
    const ResizeRow& row = GetParam();
    RegisterFreshItem(device, u"VelmoLight Today");
    TodayScreen screen;
    screen.LoadRegisteredItems();
    screen.SetReady();
    screen.Refresh();
    screen.Show();
    QWindow* window = velmo::device::gui::QtWindowOf(screen.Window());
    ASSERT_NE(window, nullptr);
    QImage before = RenderWindow(screen.Window());

    window->resize(row.size);
    // The platform delivers the resize as an event; QTRY_ macros would not fail a GoogleTest.
    QDeadlineTimer deadline(5000);
    while (RenderWindow(screen.Window()).size() != row.size && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QImage after = RenderWindow(screen.Window());
    ASSERT_EQ(after.size(), row.size);
    after.save(QString::fromStdString(
        (velmo::test::ScreenshotDir() / (std::string("today-resized-") + row.name + ".png")).string()));
    QImage shown = window->screen()->grabWindow(window->winId()).toImage().convertToFormat(after.format());
    EXPECT_EQ(shown, after);  // what the Qt window shows is the screen's pixels, not a stretched copy

    int header = TodayScreen::HeaderHeight();
    int right = row.size.width() - 1;
    EXPECT_EQ(after.pixel(right, 1), before.pixel(0, 1));  // the date line's band reaches the new right edge
    EXPECT_EQ(after.pixel(right, row.size.height() - 1), qRgb(255, 255, 255));  // background, not black
    QImage item = RenderWindow(screen.Item(0).hwndCustom);
    EXPECT_EQ(item.width(), row.size.width());
    QRect picture(0, TodayScreen::ItemsTop(), 28, item.height());
    EXPECT_EQ(after.copy(picture), before.copy(picture));  // the item is drawn at its place again
    // The date line fits, or ends in an ellipsis short of the right edge rather than being cut there.
    auto isText = [](QRgb pixel) { return qGray(pixel) > 160; };
    int textAtRight = 0;
    for (int y = 0; y < header; ++y) {
        for (int x = row.size.width() - 6; x < row.size.width(); ++x) textAtRight += isText(after.pixel(x, y)) ? 1 : 0;
    }
    EXPECT_EQ(textAtRight, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScreenResize,
                         ::testing::Values(ResizeRow{"Wider", QSize(320, 400)}, ResizeRow{"Narrower", QSize(200, 260)},
                                           ResizeRow{"TooNarrowForTheDate", QSize(110, 200)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TodayScreenTest, TapsAndTheActionKeyReachTheItem) {
    velmo::test::StartLog log(device);
    log.WriteProgram(device.InstallAppPath() / "VelmoLight.exe", "VelmoLight");
    RegisterFreshItem(device, u"VelmoLight Today");
    TodayScreen screen;
    screen.LoadRegisteredItems();
    screen.SetReady();
    screen.Refresh();
    screen.Show();
    QWindow* window = velmo::device::gui::QtWindowOf(screen.Window());
    ASSERT_NE(window, nullptr);
    velmo::SettingsStore settings;
    int itemTop = TodayScreen::ItemsTop();

    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(5, itemTop + 5));  // on the picture
    EXPECT_EQ(settings.GetActiveState(), velmo::Active);
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(settings.GetActiveState(), velmo::ActiveBySchedule);

    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(120, itemTop + 10));  // on the text
    ASSERT_TRUE(log.WaitForLines(1));
    EXPECT_EQ(settings.GetActiveState(), velmo::ActiveBySchedule);

    // The item is drawn on the screen's background until the arrow keys choose it.
    QPoint background(RenderWindow(screen.Item(0).hwndCustom).width() - 2, 1);
    EXPECT_EQ(RenderWindow(screen.Item(0).hwndCustom).pixel(background), qRgb(255, 255, 255));
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
        // The Messaging line above the item takes its turn between.
        QTest::keyClick(window, key);
        EXPECT_EQ(RenderWindow(screen.Item(0).hwndCustom).pixel(background), qRgb(255, 255, 255));
        QTest::keyClick(window, key);
        QImage item = RenderWindow(screen.Item(0).hwndCustom);
        EXPECT_NE(item.pixel(background), qRgb(255, 255, 255));
        EXPECT_EQ(item.pixel(background), item.pixel(item.width() - 2, item.height() - 2));
    }
}

struct MessagingLineRow {
    const char* name;
    int unread;
    int read;
    const char* text;
    std::vector<Qt::Key> keys;  // pressed before a tap on the line; none taps nothing
    bool tap;
    bool starts;  // whether the Messaging program started
};

void PrintTo(const MessagingLineRow& row, std::ostream* out) { *out << row.name; }

class MessagingLine : public TodayScreenTest, public ::testing::WithParamInterface<MessagingLineRow> {};

TEST_P(MessagingLine, CountsTheUnreadInboxAndOpensMessaging) {
    const MessagingLineRow& row = GetParam();
    {
        velmo::device::MessageStore store;
        for (int i = 0; i < row.unread + row.read; ++i) {
            store.CreateMessage(u"Inbox", std::vector<velmo::device::Property>{
                                              velmo::device::Property::Text(PR_SUBJECT_W, u"Hi"),
                                              velmo::device::Property::Number(PR_MESSAGE_FLAGS, i < row.read ? 1 : 0)});
        }
    }
    velmo::test::StartLog log(device);
    auto program = device.Root() / "messaging";
    log.WriteProgram(program, "Messaging");
    RegisterFreshItem(device, u"VelmoLight Today");
    TodayScreen screen;
    screen.LoadRegisteredItems();
    screen.SetMessagingProgram({program.string()});
    screen.SetReady();
    screen.Refresh();
    screen.Show();
    EXPECT_EQ(screen.MessagingText().toStdString(), row.text);
    QWindow* window = velmo::device::gui::QtWindowOf(screen.Window());
    ASSERT_NE(window, nullptr);
    for (Qt::Key key : row.keys) QTest::keyClick(window, key);
    if (row.tap) QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(100, TodayScreen::HeaderHeight() + 5));
    std::vector<std::string> lines = log.LinesAfterSentinel();
    EXPECT_EQ(lines.size(), row.starts ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MessagingLine,
    ::testing::Values(
        MessagingLineRow{"NoneUnreadTapped", 0, 2, "No unread messages", {}, true, true},
        MessagingLineRow{
            "OneUnreadChosenByKeysAndReturn", 1, 1, "1 unread message", {Qt::Key_Up, Qt::Key_Return}, false, true},
        MessagingLineRow{"ThreeUnreadReturnOnTheItem", 3, 0, "3 unread messages", {Qt::Key_Return}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
