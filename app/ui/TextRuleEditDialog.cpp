#include "app/ui/TextRuleEditDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "app/core/OptionChoices.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "common/TextRuleMatcher.h"

namespace velmo {

namespace {

// The look-in box lists the message text, the sender, and both, in this order.
constexpr TextRuleScope kScopes[] = {TextRuleScope::Text, TextRuleScope::Sender, TextRuleScope::Both};

QString TableText(unsigned id) { return QString::fromStdU16String(std::u16string(LoadStringResource(id))); }

void AddLabel(QWidget* body, const char* text, int y) {
    auto* label = new QLabel(QString::fromUtf8(text), body);
    label->setGeometry(DialogUnitsToPixels(3, y, 145, 8));
}

}  // namespace

TextRuleEditDialog::TextRuleEditDialog(QWidget* owner, TextRule rule)
    : MenuBarDialog(owner, QStringLiteral("Text rule"), IDM_CANCEL), rule_(std::move(rule)) {
    Body()->setFont(DialogFont());
    AddLabel(Body(), "Words or pattern to look for:", 6);
    auto* pattern = new QLineEdit(Body());
    SetControlId(pattern, IDC_PATTERN);
    pattern->setMaxLength(static_cast<int>(MaxTextRulePatternUnits));
    pattern->setGeometry(DialogUnitsToPixels(6, 17, 142, 12));
    auto* regex = new QCheckBox(QStringLiteral("Regular expression"), Body());
    SetControlId(regex, IDC_REGEX);
    regex->setGeometry(DialogUnitsToPixels(6, 33, 142, 10));
    AddLabel(Body(), "Look in:", 50);
    auto* lookIn = new QComboBox(Body());
    SetControlId(lookIn, IDC_LOOK_IN);
    lookIn->setGeometry(DialogUnitsToPixels(6, 61, 136, 12));
    AddLabel(Body(), "Action:", 80);
    auto* action = new QComboBox(Body());
    SetControlId(action, IDC_ACTION);
    action->setGeometry(DialogUnitsToPixels(6, 91, 136, 12));
}

QLineEdit* TextRuleEditDialog::Pattern() const { return qobject_cast<QLineEdit*>(DlgItem(IDC_PATTERN)); }
QCheckBox* TextRuleEditDialog::Regex() const { return qobject_cast<QCheckBox*>(DlgItem(IDC_REGEX)); }
QComboBox* TextRuleEditDialog::Box(int controlId) const { return qobject_cast<QComboBox*>(DlgItem(controlId)); }

bool TextRuleEditDialog::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, IDR_TEXT_RULE_EDIT_MENU);
    for (const std::u16string& choice : SplitChoices(LoadStringResource(IDS_TEXT_RULE_SCOPES))) {
        Box(IDC_LOOK_IN)->addItem(QString::fromStdU16String(choice));
    }
    for (const std::u16string& choice : SplitChoices(LoadStringResource(IDS_ACTION_CHOICES))) {
        Box(IDC_ACTION)->addItem(QString::fromStdU16String(choice));
    }
    Pattern()->setText(QString::fromStdU16String(rule_.pattern));
    Regex()->setChecked(rule_.regex);
    Box(IDC_LOOK_IN)
        ->setCurrentIndex(
            static_cast<int>(std::find(std::begin(kScopes), std::end(kScopes), rule_.lookIn) - std::begin(kScopes)));
    Box(IDC_ACTION)->setCurrentIndex(PositionOfAction(rule_.action));
    Pattern()->setFocus();
    return false;
}

std::intptr_t TextRuleEditDialog::OnMenuCommand(int id) {
    if (id != IDM_OK) return FALSE;
    const int scope = Box(IDC_LOOK_IN)->currentIndex();
    const std::int32_t action = ActionAtPosition(Box(IDC_ACTION)->currentIndex());
    TextRule edited{action >= 0 ? action : rule_.action, Regex()->isChecked(),
                    scope >= 0 && scope < 3 ? kScopes[scope] : rule_.lookIn, Pattern()->text().toStdU16String()};
    if (edited.pattern.empty()) {
        ShowStringMessage(this, IDS_TEXT_RULE_NO_PATTERN, IDS_CAPTION, MB_ICONEXCLAMATION);
        // The pattern is what the user has to mend.
        Pattern()->setFocus(Qt::OtherFocusReason);
        return TRUE;
    }
    // A pattern refused now cannot silently fail to screen anything later.
    if (const std::string error = TextRulePatternError(edited); !error.empty()) {
        ShowMessage(this, TableText(IDS_TEXT_RULE_BAD_PATTERN) + QStringLiteral("\n") + QString::fromStdString(error),
                    TableText(IDS_CAPTION), MB_OK | MB_ICONEXCLAMATION);
        Pattern()->setFocus(Qt::OtherFocusReason);
        return TRUE;
    }
    rule_ = std::move(edited);
    Close(IDM_OK);
    return TRUE;
}

}  // namespace velmo
