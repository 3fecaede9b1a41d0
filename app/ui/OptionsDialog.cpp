#include "app/ui/OptionsDialog.h"

#include <QComboBox>
#include <QLabel>

#include "app/core/OptionChoices.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "common/SettingsStore.h"

namespace velmo {

namespace {

// A label and the box below it, placed in dialog units.
struct BoxTemplate {
    int labelId;
    const char* label;
    int labelX, labelY, labelWidth, labelHeight;
    int boxId;
    unsigned choices;  // the string-table entry that lists the box's entries
    int boxY;
};

constexpr BoxTemplate kBoxes[] = {
    {132, "Default message action: ", 4, 9, 115, 8, OptionsDialog::IDC_DEFAULT_ACTION, IDS_ACTION_CHOICES, 20},
    {92, "Select contact list format:", 3, 41, 145, 8, OptionsDialog::IDC_CONTACT_FORMAT, IDS_CONTACT_FORMATS, 53},
    {94, "Delete message in trash after:", 3, 74, 140, 12, OptionsDialog::IDC_DELETE_TIME, IDS_DELETE_TIMES, 86},
    {148, "Suspected spam from unknown senders", 3, 106, 150, 8, OptionsDialog::IDC_SPAM_ACTION, IDS_SPAM_CHOICES, 118},
};
constexpr int kBoxX = 6;
constexpr int kBoxWidth = 136;
constexpr int kBoxHeight = 12;

}  // namespace

OptionsDialog::OptionsDialog(QWidget* owner, SettingsStore& settings)
    : MenuBarDialog(owner, QStringLiteral("Options"), IDM_CANCEL), settings_(settings) {
    Body()->setFont(DialogFont());
    // The controls of dialog 143, in its tab order.
    for (const BoxTemplate& entry : kBoxes) {
        auto* label = new QLabel(QString::fromUtf8(entry.label), Body());
        SetControlId(label, entry.labelId);
        label->setGeometry(DialogUnitsToPixels(entry.labelX, entry.labelY, entry.labelWidth, entry.labelHeight));
        // A list to choose from: what the user could type would name no setting.
        auto* box = new QComboBox(Body());
        box->setEditable(false);
        SetControlId(box, entry.boxId);
        box->setGeometry(DialogUnitsToPixels(kBoxX, entry.boxY, kBoxWidth, kBoxHeight));
    }
}

QComboBox* OptionsDialog::Box(int controlId) const { return qobject_cast<QComboBox*>(DlgItem(controlId)); }

bool OptionsDialog::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, IDR_OPTIONS_MENU);
    for (const BoxTemplate& entry : kBoxes) {
        for (const std::u16string& choice : SplitChoices(LoadStringResource(entry.choices))) {
            Box(entry.boxId)->addItem(QString::fromStdU16String(choice));
        }
    }
    // A stored value without an entry selects nothing.
    auto select = [this](int id, int entry) {
        QComboBox* box = Box(id);
        box->setCurrentIndex(entry >= 0 && entry < box->count() ? entry : -1);
    };
    select(IDC_DEFAULT_ACTION, PositionOfAction(settings_.GetDefActionType()));
    select(IDC_CONTACT_FORMAT, settings_.GetContactFormat());
    select(IDC_DELETE_TIME, settings_.GetDeleteTimeType());
    select(IDC_SPAM_ACTION, PositionOfSpamAction(settings_.GetSpamAction()));
    return true;
}

std::intptr_t OptionsDialog::OnMenuCommand(int id) {
    if (id != IDM_OK) return FALSE;
    // A box with nothing selected leaves its setting as it is.
    if (int action = ActionAtPosition(Box(IDC_DEFAULT_ACTION)->currentIndex()); action >= 0) {
        settings_.SetDefActionType(static_cast<std::int16_t>(action));
    }
    if (int format = Box(IDC_CONTACT_FORMAT)->currentIndex(); format >= 0) {
        settings_.SetContactFormat(static_cast<std::int16_t>(format));
    }
    if (int age = Box(IDC_DELETE_TIME)->currentIndex(); age >= 0) {
        settings_.SetDeleteTimeType(static_cast<std::int16_t>(age));
    }
    if (int spam = SpamActionAtPosition(Box(IDC_SPAM_ACTION)->currentIndex());
        spam >= 0 && spam != settings_.GetSpamAction()) {
        settings_.SetSpamAction(spam);
    }
    Close(IDM_OK);
    return TRUE;
}

}  // namespace velmo
