#include <gtest/gtest.h>

#include <QLineEdit>
#include <QToolButton>
#include <tuple>

#include "DialogTestSupport.h"
#include "WidgetTestSupport.h"
#include "app/ui/ScheduleDialog.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/TimePicker.h"
#include "app/ui/WeekDayCtrl.h"
#include "device/Clock.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

using Clock = std::tuple<int, int, int>;  // hour, minute, second

class ScheduleDialogTest : public testing::Test {
protected:
    void SetUp() override { device_.InstallAppPath(); }

    void Open(Platform platform = kBuildPlatform) {
        dialog_ = std::make_unique<ScheduleDialog>(nullptr, settings_, platform);
        dialog_->Create();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    }
    WeekDayCtrl* Days() const { return dialog_->WeekDays(); }
    void TapOk() { QTest::mouseClick(dialog_->MenuBar()->Key(0), Qt::LeftButton); }
    Clock Start() {
        TimeOfDay time{};
        settings_.GetStartTime(time);
        return {time.hour, time.minute, time.second};
    }
    Clock End() {
        TimeOfDay time{};
        settings_.GetEndTime(time);
        return {time.hour, time.minute, time.second};
    }

    test::ScopedLocale locale_{"en_GB"};
    test::TempDevice device_;
    SettingsStore settings_;
    std::unique_ptr<ScheduleDialog> dialog_;
};

TEST_F(ScheduleDialogTest, ShowsTheDefaultsAndOkWritesThemAll) {
    Open();
    EXPECT_EQ(dialog_->Caption(), QStringLiteral("Schedule settings"));
    EXPECT_EQ(dialog_->StartPicker()->text(), QStringLiteral("21:00"));
    EXPECT_EQ(dialog_->EndPicker()->text(), QStringLiteral("08:00"));
    EXPECT_EQ(Days()->SendMessage(WDM_GETDAYS, 0), 31);
    test::SaveScreenshot(*dialog_, "schedule-defaults");
    TapOk();
    EXPECT_EQ(dialog_->result(), IDM_OK);
    EXPECT_TRUE(test::IsStored(settings_, StartTimeValue));
    EXPECT_TRUE(test::IsStored(settings_, EndTimeValue));
    EXPECT_TRUE(test::IsStored(settings_, WeekDaysValue));
    EXPECT_EQ(Start(), (Clock{21, 0, 0}));
    EXPECT_EQ(End(), (Clock{8, 0, 0}));
    EXPECT_EQ(settings_.GetWeekDays(), 31u);
}

TEST_F(ScheduleDialogTest, SecondsAndBitsAboveTheWeekAreKeptAndEqualTimesStayEqual) {
    settings_.SetStartTime({6, 30, 45});
    settings_.SetEndTime({6, 30, 45});
    settings_.SetWeekDays(0x80 | 0x05);
    Open();
    EXPECT_EQ(dialog_->StartPicker()->text(), QStringLiteral("06:30"));
    // A step of the hour keeps the minute and the seconds.
    dialog_->StartPicker()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dialog_->StartPicker(), Qt::Key_Home);
    QTest::keyClick(dialog_->StartPicker(), Qt::Key_Up);
    TapOk();
    EXPECT_EQ(Start(), (Clock{7, 30, 45}));
    EXPECT_EQ(End(), (Clock{6, 30, 45}));
    EXPECT_EQ(settings_.GetWeekDays(), 0x85u);
}

TEST_F(ScheduleDialogTest, AStoredTimeThatIsNoTimeLeavesThePickerAtTheMomentOfOpening) {
    settings_.SetStartTime({25, 0, 0});
    device::SetNowForTesting(device::TimePoint(std::chrono::hours(24 * 19000 + 13) + std::chrono::minutes(7)));
    {
        test::ScopedTimeZone zone("UTC");
        Open();
    }
    device::SetNowForTesting(std::nullopt);
    EXPECT_EQ(dialog_->StartPicker()->text(), QStringLiteral("13:07"));
}

TEST_F(ScheduleDialogTest, DaysPickedWithKeysAndTapsAreWrittenOnOk) {
    Open();
    WeekDayCtrl* days = Days();
    days->setFocus(Qt::TabFocusReason);
    QTest::keyClick(days, Qt::Key_Return);  // Monday off
    ASSERT_FALSE(dialog_->Ended()) << "Enter belongs to the control";
    QRect sunday = days->CellRect(6);
    QTest::mouseClick(days, Qt::LeftButton, {}, sunday.center());
    EXPECT_EQ(days->Data().FocusPosition(), 0);
    test::SaveScreenshot(*dialog_, "schedule-days-picked");
    TapOk();
    EXPECT_EQ(settings_.GetWeekDays(), (31u & ~1u) | 64u);
}

TEST_F(ScheduleDialogTest, RightSixTimesReachesTheLastCellAndTheSeventhLeavesTheControl) {
    Open();
    WeekDayCtrl* days = Days();
    days->setFocus(Qt::TabFocusReason);
    for (int press = 0; press < 6; ++press) QTest::keyClick(days, Qt::Key_Right);
    EXPECT_EQ(days->Data().FocusPosition(), 6);
    ASSERT_TRUE(days->hasFocus());
    QTest::keyClick(days, Qt::Key_Right);
    EXPECT_FALSE(days->hasFocus());
    EXPECT_TRUE(dialog_->StartPicker()->hasFocus());
    EXPECT_EQ(days->Data().FocusPosition(), 6);
}

TEST_F(ScheduleDialogTest, LeftOnTheFirstCellAndUpAndDownMoveTheFocusAway) {
    Open();
    WeekDayCtrl* days = Days();
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Down}) {
        days->setFocus(Qt::TabFocusReason);
        QTest::keyClick(days, key);
        EXPECT_FALSE(days->hasFocus()) << key;
    }
    days->setFocus(Qt::TabFocusReason);
    QTest::keyClick(days, Qt::Key_Left);
    EXPECT_TRUE(dialog_->EndPicker()->hasFocus());
    EXPECT_EQ(settings_.GetWeekDays(), 31u);
}

struct CloseRow {
    const char* name;
    int result;
    std::function<void(ScheduleDialog&)> close;
};

class ScheduleClosing : public ScheduleDialogTest, public testing::WithParamInterface<CloseRow> {};

TEST_P(ScheduleClosing, WritesNothingWhateverWasChanged) {
    Open();
    dialog_->StartPicker()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dialog_->StartPicker(), Qt::Key_Up);
    QTest::mouseClick(Days(), Qt::LeftButton, {}, Days()->CellRect(5).center());
    GetParam().close(*dialog_);
    EXPECT_TRUE(dialog_->Ended());
    EXPECT_EQ(dialog_->result(), GetParam().result);
    EXPECT_EQ(dialog_->MenuBar(), nullptr);
    EXPECT_FALSE(test::IsStored(settings_, StartTimeValue));
    EXPECT_FALSE(test::IsStored(settings_, EndTimeValue));
    EXPECT_FALSE(test::IsStored(settings_, WeekDaysValue));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ScheduleClosing,
    testing::Values(CloseRow{"Cancel", IDM_CANCEL,
                             [](ScheduleDialog& d) { QTest::mouseClick(d.MenuBar()->Key(1), Qt::LeftButton); }},
                    CloseRow{"DoneButton", IDOK,
                             [](ScheduleDialog& d) { QTest::mouseClick(d.DoneButton(), Qt::LeftButton); }},
                    CloseRow{"Window", kClosedByWindow, [](ScheduleDialog& d) { d.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct PlatformRow {
    const char* name;
    Platform platform;
    int pickerVersion;
    bool solidFrame;  // else a dotted one
};

class SchedulePlatform : public ScheduleDialogTest, public testing::WithParamInterface<PlatformRow> {};

TEST_P(SchedulePlatform, GivesThePickersItsControlsVersionAndTheControlItsFocusFrame) {
    UnregisterWeekDayCtrlClass();
    RegisterWeekDayCtrlClass(GetParam().platform);
    Open(GetParam().platform);
    EXPECT_EQ(dialog_->StartPicker()->Version(), GetParam().pickerVersion);
    EXPECT_EQ(dialog_->EndPicker()->Version(), GetParam().pickerVersion);
    Days()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Days(), Qt::Key_Right);
    test::SaveScreenshot(*dialog_, std::string("schedule-focused-") + GetParam().name);
    QImage picture = Days()->grab().toImage();
    int frameColours =
        test::CountPixels(picture, QRect(0, 0, picture.width(), 1), [](QColor c) { return c != QColor(Qt::white); });
    EXPECT_GT(frameColours, 0);
    EXPECT_EQ(frameColours == picture.width(), GetParam().solidFrame);
    UnregisterWeekDayCtrlClass();
    RegisterWeekDayCtrlClass();
}

INSTANTIATE_TEST_SUITE_P(Platforms, SchedulePlatform,
                         testing::Values(PlatformRow{"WindowsMobile5", Platform::WindowsMobile5, 0x20E, true},
                                         PlatformRow{"PocketPC2003", Platform::PocketPC2003, 0x20C, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScheduleDialogTest, CannotBeCreatedWithoutTheWeekDayClass) {
    UnregisterWeekDayCtrlClass();
    ScheduleDialog dialog(nullptr, settings_);
    EXPECT_EQ(dialog.DoModal(), -1);
    RegisterWeekDayCtrlClass();
}

}  // namespace
}  // namespace velmo
