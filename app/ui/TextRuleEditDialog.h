#pragma once
// "Text rule" (dialog 171): one text rule's pattern, whether it is a regular expression,
// where it looks and its action. "OK" accepts the rule only when its pattern can be used,
// and otherwise says why; "Cancel", the title bar's Done button and closing change nothing.

#include "app/ui/MenuBarDialog.h"
#include "common/TextRuleFile.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace velmo {

class TextRuleEditDialog : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 171;
    static constexpr int IDC_PATTERN = 1021;
    static constexpr int IDC_REGEX = 1022;
    static constexpr int IDC_LOOK_IN = 1024;
    static constexpr int IDC_ACTION = 1026;

    // The dialog starts from rule; DoModal answers IDM_OK when the user accepted the changes.
    TextRuleEditDialog(QWidget* owner, TextRule rule);

    const TextRule& Rule() const { return rule_; }
    QLineEdit* Pattern() const;
    QCheckBox* Regex() const;
    QComboBox* Box(int controlId) const;

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;

private:
    TextRule rule_;
};

}  // namespace velmo
