#include <gtest/gtest.h>

#include <QVBoxLayout>

#include "WidgetTestSupport.h"
#include "app/core/WeekDayData.h"
#include "app/ui/Painting.h"
#include "app/ui/SystemColors.h"
#include "app/ui/WeekDayCtrl.h"
#include "app/ui/WindowConstants.h"

namespace velmo {
namespace {

constexpr CellBox kClient{0, 0, 125, 17};

struct HitRow {
    const char* name;
    bool focused;
    int x;
    int y;
    int cell;
};

class WeekDayHit : public testing::TestWithParam<HitRow> {};

TEST_P(WeekDayHit, FindsTheCellUnderThePoint) {
    EXPECT_EQ(WeekDayData::CellAt(kClient, GetParam().focused, GetParam().x, GetParam().y), GetParam().cell);
}

// 125 pixels less a margin of one on each side leave 123: cells of 17, the last pixel of
// each a separator line, and 4 pixels unused at the right.
INSTANTIATE_TEST_SUITE_P(
    Points, WeekDayHit,
    testing::Values(HitRow{"FirstPixelOfTheFirstCell", false, 1, 8, 0},
                    HitRow{"LastPixelOfTheFirstCell", false, 16, 8, 0},
                    HitRow{"SeparatorAfterTheFirstCell", false, 17, 8, -1}, HitRow{"SecondCell", false, 18, 8, 1},
                    HitRow{"LastCell", false, 118, 8, 6}, HitRow{"RightEdgeOfTheLastCell", false, 119, 8, -1},
                    HitRow{"UnusedAtTheRight", false, 121, 8, -1}, HitRow{"TopMargin", false, 5, 0, -1},
                    HitRow{"BottomMargin", false, 5, 16, -1}, HitRow{"FocusFrameTakesAPixel", true, 1, 8, -1},
                    HitRow{"FocusedFirstCell", true, 2, 8, 0}, HitRow{"FocusedSeparator", true, 18, 8, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WeekDayData, DialogCodesLetArrowsLeaveAtEitherEndAndKeepEnter) {
    WeekDayData data(0, {u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun"});
    EXPECT_EQ(data.DialogCode(std::nullopt), DLGC_WANTARROWS);
    EXPECT_EQ(data.DialogCode(VK_RETURN), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
    EXPECT_EQ(data.DialogCode(VK_LEFT), 0u);
    EXPECT_EQ(data.DialogCode(VK_RIGHT), DLGC_WANTARROWS);
    EXPECT_EQ(data.DialogCode(VK_UP), 0u);
    EXPECT_EQ(data.DialogCode(VK_DOWN), 0u);
    EXPECT_EQ(data.DialogCode(u'A'), DLGC_WANTARROWS);
    for (int step = 0; step < 10; ++step) data.KeyDown(VK_RIGHT);
    EXPECT_EQ(data.FocusPosition(), 6);
    EXPECT_EQ(data.DialogCode(VK_LEFT), DLGC_WANTARROWS);
    EXPECT_EQ(data.DialogCode(VK_RIGHT), 0u);
    EXPECT_FALSE(data.KeyDown(VK_SPACE));
    EXPECT_EQ(data.DayName(6), u"Sun");
}

TEST(WeekDayData, KeepsThreeUnitsOfEachName) {
    WeekDayData data(6, {u"Montag", u"D", u"", u"Donnerstag", u"Fr", u"Sa", u"Sonntag"});
    EXPECT_EQ(data.DayName(0), u"Mon");
    EXPECT_EQ(data.DayName(1), u"D");
    EXPECT_EQ(data.DayName(2), u"");
    EXPECT_EQ(data.CellLetter(0), u'S');  // the week starts on Sunday
    EXPECT_EQ(data.CellLetter(1), u'M');
}

// The control alone in a window, in the dialog's font, 125 x 17 pixels.
class WeekDayCtrlTest : public testing::Test {
protected:
    void Create(const char* locale, Platform platform = Platform::WindowsMobile5) {
        host_ = std::make_unique<QWidget>();
        host_->resize(160, 60);
        other_ = new QWidget(host_.get());
        other_->setFocusPolicy(Qt::StrongFocus);
        other_->setGeometry(0, 30, 20, 20);
        control_ = new WeekDayCtrl(host_.get(), QLocale(QString::fromLatin1(locale)), platform);
        control_->setGeometry(5, 5, kClient.right, kClient.bottom);
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
        other_->setFocus();
    }
    QImage Picture() const { return control_->grab().toImage(); }
    // Whether the cell shows the highlight around its letter.
    bool Highlighted(const QImage& picture, int cell) const {
        QRect rect = control_->CellRect(cell);
        QColor highlight = ColorFromRef(GetSysColor(COLOR_HIGHLIGHT));
        return test::CountPixels(picture, rect, [&](QColor c) { return c == highlight; }) >
               rect.width() * rect.height() / 2;
    }
    std::vector<bool> HighlightedCells() const {
        QImage picture = Picture();
        std::vector<bool> cells;
        for (int cell = 0; cell < WeekDayData::kCells; ++cell) cells.push_back(Highlighted(picture, cell));
        return cells;
    }
    QString Letters() const {
        QString letters;
        for (int cell = 0; cell < WeekDayData::kCells; ++cell) letters += QChar(control_->Data().CellLetter(cell));
        return letters;
    }
    std::uint32_t Mask() const { return static_cast<std::uint32_t>(control_->SendMessage(WDM_GETDAYS, 0)); }
    void Tap(int x) { QTest::mouseClick(control_, Qt::LeftButton, {}, QPoint(x, 8)); }

    std::unique_ptr<QWidget> host_;
    QWidget* other_ = nullptr;
    WeekDayCtrl* control_ = nullptr;
};

struct LocaleRow {
    const char* name;
    const char* locale;
    const char* letters;
    std::vector<bool> highlighted;  // with Monday to Friday chosen
};

class WeekDayLocale : public WeekDayCtrlTest, public testing::WithParamInterface<LocaleRow> {};

TEST_P(WeekDayLocale, StartsAtTheLocalesFirstDayAndHighlightsTheWorkingDays) {
    Create(GetParam().locale);
    control_->SendMessage(WDM_SETDAYS, 31);
    EXPECT_EQ(Letters(), QString::fromLatin1(GetParam().letters));
    EXPECT_EQ(HighlightedCells(), GetParam().highlighted);
    // The letters are drawn in the highlight's text colour on chosen days.
    QImage picture = Picture();
    QRect first = control_->CellRect(0);
    auto isWindowText = [](QColor c) { return c.lightness() < 100; };
    auto isHighlightText = [](QColor c) { return c.lightness() > 200; };
    EXPECT_GT(test::CountPixels(picture, first.adjusted(2, 2, -2, -2),
                                GetParam().highlighted[0] ? isHighlightText : isWindowText),
              5);
    test::SaveScreenshot(*control_, std::string("weekday-") + GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, WeekDayLocale,
    testing::Values(LocaleRow{"MondayFirst", "en_GB", "MTWTFSS", {true, true, true, true, true, false, false}},
                    LocaleRow{"SundayFirst", "en_US", "SMTWTFS", {false, true, true, true, true, true, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WeekDayCtrlTest, ATapTogglesItsCellButNotOnALineOrTheUnusedPixels) {
    Create("en_US");
    control_->SendMessage(WDM_SETDAYS, 0);
    Tap(17);   // the line after Sunday
    Tap(121);  // unused at the right
    EXPECT_EQ(Mask(), 0u);
    Tap(20);  // Monday, the second cell
    EXPECT_EQ(Mask(), 1u);
    EXPECT_TRUE(HighlightedCells()[1]);
    EXPECT_FALSE(control_->hasFocus());
    EXPECT_EQ(control_->Data().FocusPosition(), 0);
    Tap(110);  // Saturday
    EXPECT_EQ(Mask(), 1u | 32u);
    Tap(20);
    EXPECT_EQ(Mask(), 32u);
}

TEST_F(WeekDayCtrlTest, BitsAboveTheWeekSurviveEveryChange) {
    Create("en_GB");
    control_->SendMessage(WDM_SETDAYS, 0x80 | 0x01);
    control_->setFocus(Qt::TabFocusReason);
    QTest::keyClick(control_, Qt::Key_Return);  // Monday off
    Tap(20);                                    // Tuesday on
    EXPECT_EQ(Mask(), 0x80u | 0x02u);
    EXPECT_EQ(HighlightedCells(), (std::vector<bool>{false, true, false, false, false, false, false}));
}

TEST_F(WeekDayCtrlTest, EnterTogglesTheCursorsDayAndArrowsStopAtTheEnds) {
    Create("en_US");
    control_->SendMessage(WDM_SETDAYS, 31);
    control_->setFocus(Qt::TabFocusReason);
    QTest::keyClick(control_, Qt::Key_Right);
    QTest::keyClick(control_, Qt::Key_Right);  // Tuesday
    QTest::keyClick(control_, Qt::Key_Return);
    EXPECT_EQ(Mask(), 31u & ~2u);
    QTest::keyClick(control_, Qt::Key_Return);
    EXPECT_EQ(Mask(), 31u);
    QTest::keyClick(control_, Qt::Key_Left);
    QTest::keyClick(control_, Qt::Key_Left);
    EXPECT_EQ(control_->Data().FocusPosition(), 0);
    QTest::keyClick(control_, Qt::Key_Left);  // not the control's: it is at the first cell
    EXPECT_EQ(control_->Data().FocusPosition(), 0);
}

struct FrameRow {
    const char* name;
    Platform platform;
    bool solidHighlight;  // else a dotted frame
};

class WeekDayFocusFrame : public WeekDayCtrlTest, public testing::WithParamInterface<FrameRow> {};

TEST_P(WeekDayFocusFrame, SurroundsTheFocusedControlAndTheCursorIsDoubleRed) {
    Create("en_GB", GetParam().platform);
    QImage unfocused = Picture();
    control_->setFocus(Qt::TabFocusReason);
    QTest::keyClick(control_, Qt::Key_Right);
    QImage focused = Picture();
    QRect frame(0, 0, kClient.right, 1);
    QColor highlight = ColorFromRef(GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(test::CountPixels(unfocused, frame, [](QColor c) { return c != QColor(Qt::white); }), 0);
    if (GetParam().solidHighlight) {
        EXPECT_EQ(test::CountPixels(focused, frame, [&](QColor c) { return c == highlight; }), frame.width());
    } else {
        int black = test::CountPixels(focused, frame, [](QColor c) { return c == QColor(Qt::black); });
        EXPECT_GT(black, frame.width() / 3);
        EXPECT_LT(black, frame.width());
    }
    // The cursor on the second cell: an outer outline in dark red, an inner one in red.
    QRect cursor = control_->CellRect(1);
    EXPECT_EQ(focused.pixelColor(cursor.left(), cursor.center().y()), QColor(190, 0, 0));
    EXPECT_EQ(focused.pixelColor(cursor.right(), cursor.top()), QColor(190, 0, 0));
    EXPECT_EQ(focused.pixelColor(cursor.left() + 1, cursor.center().y()), QColor(255, 0, 0));
    EXPECT_EQ(focused.pixelColor(cursor.center().x(), cursor.bottom() - 1), QColor(255, 0, 0));
    // The line between the cells stays drawn.
    EXPECT_EQ(focused.pixelColor(cursor.right() + 1, cursor.center().y()), QColor(Qt::black));
    test::SaveScreenshot(*control_, std::string("weekday-focused-") + GetParam().name);

    other_->setFocus();
    EXPECT_EQ(Picture(), unfocused);
}

INSTANTIATE_TEST_SUITE_P(Platforms, WeekDayFocusFrame,
                         testing::Values(FrameRow{"WindowsMobile5", Platform::WindowsMobile5, true},
                                         FrameRow{"PocketPC2003", Platform::PocketPC2003, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmo
