#include "app/ui/TextRulesDialog.h"

#include <QLabel>
#include <QPainter>
#include <algorithm>

#include "app/core/OptionChoices.h"
#include "app/resources/ListBitmap.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/Painting.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/TextRuleEditDialog.h"
#include "common/SettingsStore.h"

namespace velmo {

namespace {

constexpr std::uint32_t kRegexMarkColour = RGB(0, 0, 255);
constexpr int kIconLeft = 1;
constexpr int kTextLeft = 29;
constexpr int kMarkMargin = 3;
const QString kRegexMark = QStringLiteral(".*");

// A new rule dismisses what it finds in the message text: what users add rules for most.
const TextRule kNewRule{Dismiss, false, TextRuleScope::Text, u""};

}  // namespace

TextRulesDialog::TextRulesDialog(QWidget* owner, SettingsStore& settings)
    : MenuBarDialog(owner, QStringLiteral("Text rules"), IDM_DONE),
      settings_(settings),
      icons_(ListBitmap(), kListIconWidth, kMaskColour) {
    Body()->setFont(DialogFont());
    list_ = new OwnerDataListView(Body());
    SetControlId(list_, IDC_RULES);
    list_->setGeometry(DialogUnitsToPixels(0, 0, 155, 174));
    list_->SetRowHeight(kRowHeight);
    noRules_ = new QLabel(QString::fromStdU16String(std::u16string(LoadStringResource(IDS_NO_TEXT_RULES))), Body());
    SetControlId(noRules_, IDC_NO_RULES);
    noRules_->setWordWrap(true);
    noRules_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    noRules_->setContentsMargins(6, 6, 6, 6);
    noRules_->setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool TextRulesDialog::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, IDR_TEXT_RULES_MENU);
    char16_t path[MAX_PATH] = {};
    if (TextRulesPath(settings_, path)) rules_ = ReadTextRules(path);
    Show(0);
    list_->setFocus();
    return false;
}

std::intptr_t TextRulesDialog::OnMenuCommand(int id) {
    switch (id) {
        case IDM_RULE_NEW: New(); return TRUE;
        case IDM_RULE_EDIT: Edit(ChosenRow()); return TRUE;
        case IDM_RULE_DELETE: Delete(ChosenRow()); return TRUE;
        case IDM_RULE_MOVE_UP: Move(ChosenRow(), ChosenRow() - 1); return TRUE;
        case IDM_RULE_MOVE_DOWN: Move(ChosenRow(), ChosenRow() + 1); return TRUE;
        default: return FALSE;
    }
}

int TextRulesDialog::ChosenRow() const {
    const int row = list_->SelectionMark();
    return row >= 0 && row < static_cast<int>(rules_.size()) ? row : -1;
}

void TextRulesDialog::Show(int row) {
    list_->SetItemCount(static_cast<int>(rules_.size()));
    noRules_->setVisible(rules_.empty());
    // With no rule there is nothing to edit, delete or move: only New is offered.
    if (SoftKeyBar* bar = MenuBar()) {
        for (unsigned command : {IDM_RULE_EDIT, IDM_RULE_DELETE, IDM_RULE_MOVE_UP, IDM_RULE_MOVE_DOWN}) {
            if (QAction* action = bar->FindCommand(command)) action->setEnabled(!rules_.empty());
        }
    }
    if (!rules_.empty()) {
        row = std::clamp(row, 0, static_cast<int>(rules_.size()) - 1);
        list_->SelectItem(row);
        list_->EnsureVisible(row);
    }
    list_->viewport()->update();
}

bool TextRulesDialog::Save(std::vector<TextRule> rules, int row) {
    char16_t path[MAX_PATH] = {};
    if (!TextRulesPath(settings_, path) || !WriteTextRules(path, rules)) {
        ShowStringMessage(this, IDS_TEXT_RULES_NOT_SAVED, IDS_CAPTION, MB_ICONEXCLAMATION);
        return false;
    }
    rules_ = std::move(rules);
    Show(row);
    return true;
}

void TextRulesDialog::New() {
    if (rules_.size() >= MaxTextRules) {
        ShowStringMessage(this, IDS_TEXT_RULES_FULL, IDS_CAPTION, MB_ICONEXCLAMATION);
        return;
    }
    TextRuleEditDialog edit(this, kNewRule);
    if (edit.DoModal() != IDM_OK) return;
    std::vector<TextRule> rules = rules_;
    rules.push_back(edit.Rule());
    Save(std::move(rules), static_cast<int>(rules_.size()));
}

void TextRulesDialog::Edit(int row) {
    if (row < 0) return;
    TextRuleEditDialog edit(this, rules_[static_cast<std::size_t>(row)]);
    if (edit.DoModal() != IDM_OK) return;
    std::vector<TextRule> rules = rules_;
    rules[static_cast<std::size_t>(row)] = edit.Rule();
    Save(std::move(rules), row);
}

void TextRulesDialog::Delete(int row) {
    if (row < 0) return;
    if (ShowStringMessage(this, IDS_DELETE_TEXT_RULE_QUESTION, IDS_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    std::vector<TextRule> rules = rules_;
    rules.erase(rules.begin() + row);
    Save(std::move(rules), row);
}

void TextRulesDialog::Move(int row, int to) {
    if (row < 0 || to < 0 || to >= static_cast<int>(rules_.size())) return;
    std::vector<TextRule> rules = rules_;
    std::swap(rules[static_cast<std::size_t>(row)], rules[static_cast<std::size_t>(to)]);
    Save(std::move(rules), to);
}

bool TextRulesDialog::OnDrawItem(const DrawItemInfo& info) {
    if (info.controlId != IDC_RULES) return false;
    DrawRow(info);
    return true;
}

void TextRulesDialog::DrawRow(const DrawItemInfo& info) {
    if (info.itemId < 0 || info.itemId >= static_cast<int>(rules_.size())) return;
    const TextRule& rule = rules_[static_cast<std::size_t>(info.itemId)];
    QPainter& painter = *info.painter;
    const QRect& row = info.rect;
    if (info.itemState & ODS_SELECTED) painter.fillRect(row, ColorFromRef(kChosenRowColour));
    // The pictures follow the action box's order: Accept, Silent accept, Dismiss.
    icons_.Draw(painter, PositionOfAction(rule.action), row.left() + kIconLeft,
                row.top() + (row.height() - icons_.ImageSize().height()) / 2);

    int markWidth = 0;
    if (rule.regex) {
        painter.setFont(BoldFont());
        QRect measured = row;
        DrawTextW(painter, kRegexMark, measured, DT_CALCRECT);
        markWidth = measured.width() + 2 * kMarkMargin;
        QRect markArea(row.right() + 1 - markWidth, row.top(), markWidth, row.height());
        // On the chosen row's fill the blue would be hard to read; it takes the names' black there.
        painter.setPen((info.itemState & ODS_SELECTED) ? QColor(Qt::black) : ColorFromRef(kRegexMarkColour));
        DrawTextW(painter, kRegexMark, markArea, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    // The pattern is drawn as the contact list draws names.
    painter.setFont(BoldFont());
    painter.setPen(QColor(Qt::black));
    QRect textArea(row.left() + kTextLeft, row.top(), row.width() - kTextLeft - markWidth, row.height());
    DrawTextW(painter, QString::fromStdU16String(rule.pattern), textArea, DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

std::intptr_t TextRulesDialog::OnNotify(const ListNotification& notification) {
    if (notification.controlId != IDC_RULES) return 0;
    switch (notification.code) {
        case LVN_ODFINDITEMW: return -1;
        case LVN_KEYDOWN:
            if (notification.virtualKey == VK_RETURN) Edit(ChosenRow());
            if (notification.virtualKey == VK_DELETE) Delete(ChosenRow());
            return 0;
        case NM_CLICK:
            // As in the other lists: the first tap chooses a row, a tap on the chosen row opens it.
            if (notification.item >= 0 && notification.item == list_->SelectionMark()) Edit(notification.item);
            return 0;
        default: return 0;
    }
}

void TextRulesDialog::OnLayout() {
    list_->setGeometry(Body()->rect());
    noRules_->setGeometry(Body()->rect());
}

}  // namespace velmo
