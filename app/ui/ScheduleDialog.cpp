#include "app/ui/ScheduleDialog.h"

#include <QLabel>

#include "app/resources/MenuTable.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/TimePicker.h"
#include "app/ui/WeekDayCtrl.h"
#include "app/ui/WindowClasses.h"
#include "common/SettingsStore.h"

namespace velmo {

namespace {

constexpr int IDC_START_LABEL = 132;
constexpr int IDC_END_LABEL = 92;
constexpr int IDC_DAYS_LABEL = 94;

constexpr int kLabelX = 4;
constexpr int kControlX = 70;
constexpr int kControlWidth = 81;
constexpr int kRowHeight = 11;

// A label at the left of its row; it may use the room up to the control, which the
// template leaves for the handheld's narrower face.
void AddLabel(QWidget* body, int id, const char* text, int y) {
    auto* label = new QLabel(QString::fromUtf8(text), body);
    HandheldDialog::SetControlId(label, id);
    label->setGeometry(DialogUnitsToPixels(kLabelX, y, kControlX - kLabelX, kRowHeight));
}

}  // namespace

ScheduleDialog::ScheduleDialog(QWidget* owner, SettingsStore& settings, Platform platform)
    : MenuBarDialog(owner, QStringLiteral("Schedule settings"), IDM_CANCEL), settings_(settings), platform_(platform) {
    Body()->setFont(DialogFont());
    // The controls of dialog 135, in its tab order.
    AddLabel(Body(), IDC_START_LABEL, "Start Time: ", 5);
    start_ = new TimePicker(Body());
    SetControlId(start_, IDC_START_TIME);
    start_->setGeometry(DialogUnitsToPixels(kControlX, 4, kControlWidth, kRowHeight));
    AddLabel(Body(), IDC_END_LABEL, "End Time:", 21);
    end_ = new TimePicker(Body());
    SetControlId(end_, IDC_END_TIME);
    end_->setGeometry(DialogUnitsToPixels(kControlX, 20, kControlWidth, kRowHeight));
    AddLabel(Body(), IDC_DAYS_LABEL, "Select week day: ", 37);
    days_ = qobject_cast<WeekDayCtrl*>(CreateWindowOfClass(QString::fromLatin1(kWeekDayCtrlClass), Body()));
    if (days_ != nullptr) {
        SetControlId(days_, IDC_WEEK_DAYS);
        days_->setGeometry(DialogUnitsToPixels(kControlX, 36, kControlWidth, kRowHeight));
    }
}

bool ScheduleDialog::OnInitDialog() {
    // Without its registered week-day class the dialog cannot be created.
    if (days_ == nullptr) {
        EndDialog(-1);
        return false;
    }
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, IDR_SCHEDULE_MENU);
    int version = platform_ == Platform::WindowsMobile5 ? kWindowsMobile5PickerVersion : kPocketPC2003PickerVersion;
    start_->SetVersion(version);
    end_->SetVersion(version);
    TimeOfDay start{}, end{};
    settings_.GetStartTime(start);
    settings_.GetEndTime(end);
    start_->SetTimeOfDay(start);
    end_->SetTimeOfDay(end);
    days_->SendMessage(WDM_SETDAYS, static_cast<std::intptr_t>(settings_.GetWeekDays()));
    return true;
}

std::intptr_t ScheduleDialog::OnMenuCommand(int id) {
    if (id != IDM_OK) return FALSE;
    settings_.SetStartTime(start_->GetTimeOfDay());
    settings_.SetEndTime(end_->GetTimeOfDay());
    settings_.SetWeekDays(static_cast<DWORD>(days_->SendMessage(WDM_GETDAYS, 0)));
    Close(IDM_OK);
    return TRUE;
}

}  // namespace velmo
