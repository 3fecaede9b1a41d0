// VelmoToday driven through its window messages inside a Today screen of this process.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include <QFontInfo>
#include <QPoint>

#include "ItemHost.h"
#include "common/SettingsStore.h"
#include "device/Text.h"
#include "device/gui/HandheldFont.h"
#include "device/gui/WindowLayer.h"
#include "support/FileHelpers.h"

namespace {

using velmo::SettingsStore;
using velmo::test::Draw;
using velmo::test::ItemHost;
using velmo::test::StartLog;
using velmo::test::TempDevice;

constexpr QRect kPictureArea(1, 2, 26, 16);  // at 96 DPI
constexpr int kTextLeft = 32;

bool IsWhite(const QImage& image, int x, int y) { return image.pixel(x, y) == qRgb(255, 255, 255); }

// The state picture at index drawn alone on white, as the item should show it.
QImage ExpectedPicture(HINSTANCE library, int index) {
    HIMAGELIST pictures = ImageList_LoadImage(library, MAKEINTRESOURCEW(153), 26, 0, 0x00FFFFFF, IMAGE_BITMAP, 0);
    QImage image = Draw(QSize(26, 16), [&](HDC dc) { ImageList_Draw(pictures, index, dc, 0, 0, ILD_TRANSPARENT); });
    ImageList_Destroy(pictures);
    return image;
}

// The item's line of text drawn alone: bold, 8 points, from x = textLeft, at the top.
QImage ExpectedText(QSize size, const std::u16string& text, int dpi = 96, int textLeft = kTextLeft) {
    return Draw(size, [&](HDC dc) {
        LOGFONTW font{};
        GetObjectW(GetStockObject(SYSTEM_FONT), sizeof font, &font);
        font.lfWeight = FW_BOLD;
        font.lfHeight = -static_cast<LONG>(dpi / 9.0 + 0.5);
        HFONT bold = CreateFontIndirectW(&font);
        SetBkMode(dc, TRANSPARENT);
        SelectObject(dc, bold);
        RECT area{textLeft, 0, size.width(), size.height()};
        DrawTextW(dc, text.c_str(), -1, &area, DT_VCENTER);
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(bold);
    });
}

QImage TextPart(const QImage& item) { return item.copy(28, 0, item.width() - 28, item.height()); }

// The smallest rectangle around every pixel that is not white, within area.
QRect InkBounds(const QImage& image, QRect area) {
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!IsWhite(image, x, y)) bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

class TodayItem : public ::testing::Test {
protected:
    TempDevice device;
    SettingsStore settings;
};

struct HeightRow {
    const char* name;
    int dpi;
    DWORD height;
};

void PrintTo(const HeightRow& row, std::ostream* out) { *out << row.name; }

class ItemHeight : public TodayItem, public ::testing::WithParamInterface<HeightRow> {};

TEST_P(ItemHeight, FirstQueryAnswersTrueAndSetsTheHeightThenNothingChanged) {
    ItemHost host(device, GetParam().dpi);
    EXPECT_EQ(host.Query(), TRUE);
    EXPECT_EQ(host.Record().cyp, GetParam().height);
    EXPECT_EQ(host.Query(), FALSE);
    EXPECT_EQ(host.Record().cyp, GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, ItemHeight,
                         ::testing::Values(HeightRow{"At96Dpi", 96, 21}, HeightRow{"At192Dpi", 192, 42}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CountRow {
    const char* name;
    std::int16_t blockedBefore;
    std::int16_t silentBefore;
    std::int16_t blockedAfter;
    std::int16_t silentAfter;
    BOOL changed;
};

void PrintTo(const CountRow& row, std::ostream* out) { *out << row.name; }

class CountRefresh : public TodayItem, public ::testing::WithParamInterface<CountRow> {};

TEST_P(CountRefresh, QueryAnswersTrueExactlyWhenACountDiffersFromTheOneDrawn) {
    const CountRow& row = GetParam();
    ItemHost host(device);
    settings.SetBlockedMsg(row.blockedBefore);
    settings.SetSilentMsg(row.silentBefore);
    host.Query();
    host.Render();
    settings.SetBlockedMsg(row.blockedAfter);
    settings.SetSilentMsg(row.silentAfter);
    EXPECT_EQ(host.Query(), row.changed);
    EXPECT_EQ(host.Query(), FALSE);
    QImage item = host.Render();
    std::u16string text = u"Blocked: " + velmo::device::ToUtf16(std::to_string(row.blockedAfter)) +
                          u" Silently accepted: " + velmo::device::ToUtf16(std::to_string(row.silentAfter));
    EXPECT_EQ(TextPart(item), TextPart(ExpectedText(item.size(), text)));
}

INSTANTIATE_TEST_SUITE_P(Counts, CountRefresh,
                         ::testing::Values(CountRow{"BlockedRaised", 0, 0, 2, 0, TRUE},
                                           CountRow{"NonZeroUnchanged", 2, 1, 2, 1, FALSE},
                                           CountRow{"ResetToZero", 4, 3, 0, 0, TRUE},
                                           CountRow{"SilentDroppedToZero", 0, 1, 0, 0, TRUE},
                                           CountRow{"ZeroUnchanged", 0, 0, 0, 0, FALSE}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TodayItem, StateOrItemsModeChangedElsewhereAnswersTrueOnce) {
    ItemHost host(device);
    host.Query();
    settings.SetItemsState(velmo::DismissAll);
    EXPECT_EQ(host.Query(), TRUE);
    EXPECT_EQ(host.Query(), FALSE);
    settings.SetActiveState(velmo::Active);
    EXPECT_EQ(host.Query(), TRUE);
    EXPECT_EQ(host.Query(), FALSE);
}

TEST_F(TodayItem, NullItemAnswersFalseAndStoresNothing) {
    ItemHost host(device);
    host.Record().cyp = 21;
    EXPECT_EQ(host.Query(nullptr), FALSE);
    // Had the null query read and cached the settings, nothing would differ now.
    EXPECT_EQ(host.Query(), TRUE);
}

TEST_F(TodayItem, NothingRefreshesBeforeTheShellIsReady) {
    ItemHost host(device, 96, false);
    EXPECT_EQ(host.Query(), FALSE);
    EXPECT_EQ(host.Record().cyp, 0u);
    host.screen.SetReady();
    EXPECT_EQ(host.Query(), TRUE);
    EXPECT_EQ(host.Record().cyp, 21u);
}

TEST_F(TodayItem, PictureSitsAtOneTwoAndTextStartsAtThirtyTwo) {
    ItemHost host(device);
    settings.SetBlockedMsg(12);
    settings.SetSilentMsg(3);
    host.Query();
    QImage item = host.Render();
    ASSERT_EQ(item.size(), QSize(240, 21));
    EXPECT_EQ(item.copy(kPictureArea), ExpectedPicture(host.Record().hinstDLL, 1));  // Disabled: the cross
    int firstText = -1;
    for (int x = 0; x < item.width() && firstText < 0; ++x) {
        for (int y = 0; y < item.height(); ++y) {
            if (!IsWhite(item, x, y) && !kPictureArea.contains(x, y)) {
                firstText = x;
                break;
            }
        }
    }
    EXPECT_GE(firstText, kTextLeft);
    EXPECT_LE(firstText, kTextLeft + 2);  // the first glyph's own left bearing
    EXPECT_EQ(TextPart(item), TextPart(ExpectedText(item.size(), u"Blocked: 12 Silently accepted: 3")));
}

TEST_F(TodayItem, CounterAbove32767ShowsAsNegative) {
    ItemHost host(device);
    settings.WriteDword(u"BlockedMsg", 40000);
    host.Query();
    QImage item = host.Render();
    EXPECT_EQ(TextPart(item), TextPart(ExpectedText(item.size(), u"Blocked: -25536 Silently accepted: 0")));
}

struct WidthRow {
    const char* name;
    int dpi;
    int textLeft;
};

void PrintTo(const WidthRow& row, std::ostream* out) { *out << row.name; }

class LongestLine : public TodayItem, public ::testing::WithParamInterface<WidthRow> {};

TEST_P(LongestLine, FitsTheItemOrEndsInAnEllipsisInTheHandheldFace) {
    const WidthRow& row = GetParam();
    // The Tahoma-metric face where it is installed, and Qt really draws with it.
    QString family = velmo::device::gui::HandheldFontFamily();
    EXPECT_EQ(family, std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf") ? "Tahoma" : "DejaVu Sans");
    EXPECT_EQ(QFontInfo(QFont(family)).family(), family);

    ItemHost host(device, row.dpi);
    settings.SetBlockedMsg(32767);
    settings.SetSilentMsg(32767);
    host.Query();
    QImage item = host.Render();
    // The line drawn whole, or cut before some glyph and ended with an ellipsis, on a
    // canvas wide enough that nothing of it is clipped.
    const std::u16string line = u"Blocked: 32767 Silently accepted: 32767";
    QSize canvas(4 * item.width(), item.height());
    QRect beyondItem(item.width(), 0, canvas.width() - item.width(), item.height());
    std::optional<std::size_t> shown;
    for (std::size_t length = line.size(); length > 0 && !shown; --length) {
        std::u16string candidate = length == line.size() ? line : line.substr(0, length) + u"\u2026";
        QImage whole = ExpectedText(canvas, candidate, row.dpi, row.textLeft);
        QRect text(row.textLeft, 0, item.width() - row.textLeft, item.height());
        if (InkBounds(whole, beyondItem).isNull() && whole.copy(text) == item.copy(text)) {
            shown = length;
        }
    }
    EXPECT_TRUE(shown.has_value()) << "the line is cut inside a glyph";
}

INSTANTIATE_TEST_SUITE_P(Resolutions, LongestLine,
                         ::testing::Values(WidthRow{"At96Dpi", 96, 32}, WidthRow{"At192Dpi", 192, 64}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PictureRow {
    const char* name;
    int dpi;
    QRect picture;  // centred in the state box at the item's scale
    int textLeft;
};

void PrintTo(const PictureRow& row, std::ostream* out) { *out << row.name; }

class PictureScale : public TodayItem, public ::testing::WithParamInterface<PictureRow> {};

TEST_P(PictureScale, PictureGrowsWithTheItemCentredInItsBoxAndLeftOfTheText) {
    const PictureRow& row = GetParam();
    ItemHost host(device, row.dpi);
    host.Query();
    QImage item = host.Render();
    QImage atNinetySix = ExpectedPicture(host.Record().hinstDLL, 1);  // Disabled: the cross
    QRect ink96 = InkBounds(atNinetySix, atNinetySix.rect());
    // Everything left of the text is the picture, and it lies in its rectangle.
    QRect ink = InkBounds(item, QRect(0, 0, row.textLeft, item.height()));
    EXPECT_TRUE(row.picture.contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
    auto scaled = [&row](int v) { return v * row.dpi / 96; };
    EXPECT_NEAR(ink.left(), row.picture.left() + scaled(ink96.left()), 1);
    EXPECT_NEAR(ink.top(), row.picture.top() + scaled(ink96.top()), 1);
    EXPECT_NEAR(ink.width(), scaled(ink96.width()), 1);
    EXPECT_NEAR(ink.height(), scaled(ink96.height()), 1);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PictureScale,
                         ::testing::Values(PictureRow{"At96Dpi", 96, QRect(1, 2, 26, 16), 32},
                                           PictureRow{"At192DpiTwiceTheSize", 192, QRect(2, 4, 52, 32), 64},
                                           PictureRow{"At48DpiHalfTheSize", 48, QRect(1, 1, 13, 8), 16}),
                         [](const auto& info) { return std::string(info.param.name); });

struct StepRow {
    const char* name;
    std::optional<std::int16_t> stored;  // none: "ActiveState" missing
    std::int16_t next;
    int pictureBefore;
    int pictureAfter;
    bool writeFails = false;
};

void PrintTo(const StepRow& row, std::ostream* out) { *out << row.name; }

class StateStep : public TodayItem, public ::testing::WithParamInterface<StepRow> {};

TEST_P(StateStep, TapOnThePictureStoresTheNextStateAndDrawsIt) {
    const StepRow& row = GetParam();
    if (row.stored) settings.SetActiveState(*row.stored);
    ItemHost host(device);
    host.Query();
    EXPECT_EQ(host.Render().copy(kPictureArea), ExpectedPicture(host.Record().hinstDLL, row.pictureBefore));
    {
        std::optional<velmo::test::ScopedFileSizeLimit> registryFull;
        if (row.writeFails) registryFull.emplace(0);
        host.Press(1, 1);
    }
    EXPECT_EQ(settings.GetActiveState(), row.next);
    EXPECT_EQ(host.Render().copy(kPictureArea), ExpectedPicture(host.Record().hinstDLL, row.pictureAfter));
}

INSTANTIATE_TEST_SUITE_P(States, StateStep,
                         ::testing::Values(StepRow{"MissingReadsAsDisabled", std::nullopt, 0, 1, 0},
                                           StepRow{"ActiveToSchedule", 0, 1, 0, 2},
                                           StepRow{"ScheduleToDisabled", 1, 2, 2, 1},
                                           StepRow{"DisabledToActive", 2, 0, 1, 0},
                                           StepRow{"UnknownFiveDrawnDisabledToActive", 5, 0, 1, 0},
                                           StepRow{"NegativeDrawnDisabledToActive", -2, 0, 1, 0},
                                           StepRow{"FailedWriteStaysActive", 0, 0, 0, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TapRow {
    const char* name;
    int dpi;
    std::optional<QPoint> press;
    std::optional<QPoint> release;
    bool actionKey;
    bool steps;
    bool starts;
};

void PrintTo(const TapRow& row, std::ostream* out) { *out << row.name; }

class Taps : public TodayItem, public ::testing::WithParamInterface<TapRow> {};

TEST_P(Taps, StepTheStateInsideThePictureAndStartTheProgramOutside) {
    const TapRow& row = GetParam();
    StartLog log(device);
    log.WriteProgram(device.InstallAppPath() / "VelmoLight.exe", "VelmoLight");
    ItemHost host(device, row.dpi);
    host.Query();
    if (row.press) host.Press(row.press->x(), row.press->y());
    if (row.release) host.Release(row.release->x(), row.release->y());
    if (row.actionKey) host.Action();

    EXPECT_EQ(settings.GetActiveState(), row.steps ? velmo::Active : velmo::Disabled);
    if (row.starts) {
        ASSERT_TRUE(log.WaitForLines(1));
        // Started with the device's environment.
        EXPECT_EQ(log.Lines(), std::vector<std::string>{"VelmoLight " + device.Root().string()});
    } else {
        EXPECT_EQ(log.LinesAfterSentinel(), std::vector<std::string>{"sentinel " + device.Root().string()});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, Taps,
    ::testing::Values(TapRow{"OnThePicture", 96, QPoint(1, 1), QPoint(1, 1), false, true, false},
                      TapRow{"RightEdgeIsOutside", 96, QPoint(28, 10), QPoint(28, 10), false, false, true},
                      TapRow{"BottomEdgeIsOutside", 96, QPoint(10, 19), QPoint(10, 19), false, false, true},
                      TapRow{"PressInsideReleaseOutside", 96, QPoint(5, 5), QPoint(100, 10), false, true, true},
                      TapRow{"PressOutsideReleaseInside", 96, QPoint(100, 10), QPoint(5, 5), false, false, false},
                      TapRow{"ActionKey", 96, std::nullopt, std::nullopt, true, true, false},
                      TapRow{"PictureGrowsAt192Dpi", 192, QPoint(40, 30), QPoint(40, 30), false, true, false},
                      TapRow{"RightEdgeAt192Dpi", 192, QPoint(56, 20), QPoint(56, 20), false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A directory path of exactly length characters, ending in a slash, below root.
std::filesystem::path DirectoryOfLength(const std::filesystem::path& root, std::size_t length) {
    std::string path = root.string() + "/";
    while (length - path.size() > 60) path += std::string(50, 'd') + "/";
    path += std::string(length - path.size() - 1, 'e') + "/";
    return path;
}

struct PathRow {
    const char* name;
    std::optional<std::size_t> programPathLength;  // none: "AppPath" missing
    bool starts;
};

void PrintTo(const PathRow& row, std::ostream* out) { *out << row.name; }

class ProgramPath : public TodayItem, public ::testing::WithParamInterface<PathRow> {};

TEST_P(ProgramPath, StartsOnlyAProgramPathThatIsSetAndFits) {
    const PathRow& row = GetParam();
    StartLog log(device);
    if (row.programPathLength) {
        std::string program = "VelmoLight.exe";
        auto directory = DirectoryOfLength(device.Root(), *row.programPathLength - program.size());
        std::string whole = (directory / program).string();
        log.WriteProgram(whole, "VelmoLight");
        // What the path cut to its buffer would name.
        if (whole.size() >= MAX_PATH) log.WriteProgram(whole.substr(0, MAX_PATH - 1), "cut");
        settings.SetAppPath(velmo::device::ToUtf16(directory.string()).c_str());
    }
    ItemHost host(device);
    host.Press(100, 10);
    host.Release(100, 10);
    if (row.starts) {
        ASSERT_TRUE(log.WaitForLines(1));
        EXPECT_EQ(log.Lines().at(0).rfind("VelmoLight ", 0), 0u);
    } else {
        EXPECT_EQ(log.LinesAfterSentinel(), std::vector<std::string>{"sentinel " + device.Root().string()});
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ProgramPath,
                         ::testing::Values(PathRow{"AppPathMissing", std::nullopt, false},
                                           PathRow{"FitsWithItsTerminator", MAX_PATH - 1, true},
                                           PathRow{"OneUnitTooLong", MAX_PATH, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TodayItem, ClassIsRegisteredWhileTheLibraryIsLoaded) {
    HMODULE library = LoadLibraryW(velmo::device::ToUtf16(velmo::test::FreshItemLibrary(device).string()).c_str());
    ASSERT_NE(library, nullptr);
    WNDCLASSW again{};
    again.lpfnWndProc = DefWindowProcW;
    again.hInstance = library;
    again.lpszClassName = u"_wndClass_VelmoToday";
    EXPECT_EQ(RegisterClassW(&again), 0);  // taken by the library
    FreeLibrary(library);
    EXPECT_NE(RegisterClassW(&again), 0);  // given back at unload
    EXPECT_TRUE(UnregisterClassW(again.lpszClassName, again.hInstance));
}

TEST_F(TodayItem, WindowMadeAgainDrawsAgainAndKeepsTheCache) {
    ItemHost host(device);
    host.Query();
    DestroyWindow(host.Window());
    auto initialize =
        reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(GetProcAddressW(host.Record().hinstDLL, u"InitializeCustomItem"));
    host.Record().hwndCustom = initialize(&host.Record(), host.screen.Window());
    ASSERT_NE(host.Record().hwndCustom, nullptr);
    EXPECT_EQ(host.Query(), FALSE);  // the cached values outlived the window
    EXPECT_EQ(host.Render().copy(kPictureArea), ExpectedPicture(host.Record().hinstDLL, 1));
}

}  // namespace
