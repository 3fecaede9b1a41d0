#pragma once
// "Text rules" (dialog 170): the user's text rules in the order in which they are tried,
// each with the picture of its action, its pattern and a mark when it is a regular
// expression. "Menu" adds, edits, deletes and moves them; each change is written to
// TextRules.dat at once, so the handler uses it from the next message on.

#include <vector>

#include "app/ui/ImageList.h"
#include "app/ui/MenuBarDialog.h"
#include "common/TextRuleFile.h"

class QLabel;

namespace velmo {

class OwnerDataListView;
class SettingsStore;

class TextRulesDialog : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 170;
    static constexpr int IDC_RULES = 1010;
    static constexpr int IDC_NO_RULES = 1011;
    static constexpr int kRowHeight = 20;

    TextRulesDialog(QWidget* owner, SettingsStore& settings);

    OwnerDataListView* List() const { return list_; }
    const std::vector<TextRule>& Rules() const { return rules_; }

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    bool OnDrawItem(const DrawItemInfo& info) override;
    std::intptr_t OnNotify(const ListNotification& notification) override;
    void OnLayout() override;

private:
    void DrawRow(const DrawItemInfo& info);
    void New();
    void Edit(int row);
    void Delete(int row);
    void Move(int row, int to);
    // Writes rules and shows them with row chosen; on failure says so and keeps what was shown.
    bool Save(std::vector<TextRule> rules, int row);
    void Show(int row);
    int ChosenRow() const;

    SettingsStore& settings_;
    OwnerDataListView* list_ = nullptr;
    QLabel* noRules_ = nullptr;
    ImageList icons_;
    std::vector<TextRule> rules_;
};

}  // namespace velmo
