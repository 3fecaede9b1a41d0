#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "DialogTestSupport.h"
#include "WidgetTestSupport.h"
#include "app/resources/MenuTable.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/TextRuleEditDialog.h"
#include "app/ui/TextRulesDialog.h"
#include "common/TextRuleFile.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

const TextRule kMum{Accept, false, TextRuleScope::Text, u"mum"};
const TextRule kCode{Dismiss, true, TextRuleScope::Both, u"^\\d{6}$"};
const TextRule kNews{SilentAccept, false, TextRuleScope::Sender, u"newsletter"};

// VelmoLight's text-rules screen on a fresh device, driven with taps and keys.
class RulesScreen {
public:
    RulesScreen() : appDir_(device_.InstallAppPath()) {}

    std::filesystem::path File() const { return appDir_ / "TextRules.dat"; }
    void Store(const std::vector<TextRule>& rules) {
        ASSERT_TRUE(WriteTextRules(device::ToUtf16(File().string()), rules));
    }
    void Open() {
        dialog_ = std::make_unique<TextRulesDialog>(nullptr, settings_);
        dialog_->Create();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    }
    TextRulesDialog& Dialog() { return *dialog_; }
    OwnerDataListView* List() const { return dialog_->List(); }
    QRect RowRect(int row) const { return List()->visualRect(List()->model()->index(row, 0)); }
    void TapRow(int row) { QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowRect(row).center()); }
    void MarkRow(int row) {
        // The offscreen platform gives no activation back when a dialog over this one closes.
        dialog_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
        List()->setFocus();
        List()->SelectItem(0);
        for (int step = 0; step < row; ++step) QTest::keyClick(List(), Qt::Key_Down);
        ASSERT_EQ(List()->SelectionMark(), row);
    }
    void Press(Qt::Key key) { QTest::keyClick(List(), key); }
    // Opens "Menu" from its soft key and taps the entry.
    void Choose(unsigned command) {
        SoftKeyBar* bar = dialog_->MenuBar();
        QTest::mouseClick(bar->Key(1), Qt::LeftButton);
        QMenu* menu = bar->SubMenu(1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(bar->FindCommand(command)).center());
    }
    // Which of "Menu"'s entries can be chosen, as it shows them when it opens.
    std::vector<bool> Offered(std::initializer_list<unsigned> commands) {
        SoftKeyBar* bar = dialog_->MenuBar();
        QTest::mouseClick(bar->Key(1), Qt::LeftButton);
        std::vector<bool> offered;
        for (unsigned command : commands) offered.push_back(bar->FindCommand(command)->isEnabled());
        bar->SubMenu(1)->close();
        return offered;
    }
    // Runs action, which opens a modal dialog of type Modal, and lets handle end it.
    template <typename Modal>
    void During(const std::function<void()>& action, const std::function<void(Modal&)>& handle) {
        EXPECT_TRUE(test::HandleModal<Modal>(action, handle));
    }

private:
    test::TempDevice device_;
    std::filesystem::path appDir_;
    SettingsStore settings_;
    std::unique_ptr<TextRulesDialog> dialog_;
};

// Picks an entry of a box with the keypad.
void Pick(QComboBox* box, int entry) {
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Home);
    for (int step = 0; step < entry; ++step) QTest::keyClick(box, Qt::Key_Down);
    ASSERT_EQ(box->currentIndex(), entry);
}

// Types a new pattern into the edit dialog, sets the boxes and taps its "OK".
std::function<void(TextRuleEditDialog&)> Enter(const QString& pattern, bool regex, int lookIn, int action) {
    return [=](TextRuleEditDialog& edit) {
        edit.Pattern()->selectAll();
        QTest::keyClicks(edit.Pattern(), pattern);
        if (edit.Regex()->isChecked() != regex) QTest::mouseClick(edit.Regex(), Qt::LeftButton);
        Pick(edit.Box(TextRuleEditDialog::IDC_LOOK_IN), lookIn);
        Pick(edit.Box(TextRuleEditDialog::IDC_ACTION), action);
        QTest::mouseClick(edit.MenuBar()->Key(0), Qt::LeftButton);
    };
}

std::function<void(QMessageBox&)> Answer(QMessageBox::StandardButton answer) {
    return [answer](QMessageBox& box) { box.button(answer)->click(); };
}

// ---------------------------------------------------------------------------------------------
// Each change made on the screen is on disk at once, in the order the list shows.

struct ChangeRow {
    const char* name;
    std::vector<TextRule> before;
    std::function<void(RulesScreen&)> change;
    std::vector<TextRule> after;
    int chosenAfter;
};
void PrintTo(const ChangeRow& row, std::ostream* out) { *out << row.name; }

class TextRulesChange : public testing::TestWithParam<ChangeRow> {};

TEST_P(TextRulesChange, IsWrittenAtOnce) {
    RulesScreen screen;
    screen.Store(GetParam().before);
    screen.Open();
    GetParam().change(screen);
    EXPECT_EQ(test::ReadFileBytes(screen.File()), SerializeTextRules(GetParam().after));
    EXPECT_EQ(screen.Dialog().Rules(), GetParam().after);
    EXPECT_EQ(screen.List()->ItemCount(), static_cast<int>(GetParam().after.size()));
    EXPECT_EQ(screen.List()->SelectionMark(), GetParam().chosenAfter);
    EXPECT_FALSE(screen.Dialog().Ended());
}

INSTANTIATE_TEST_SUITE_P(
    TextRulesDialog, TextRulesChange,
    testing::Values(ChangeRow{"NewFromTheMenu",
                              {kMum},
                              [](RulesScreen& s) {
                                  s.During<TextRuleEditDialog>([&] { s.Choose(IDM_RULE_NEW); },
                                                               Enter(QStringLiteral("You have WON"), false, 2, 1));
                              },
                              {kMum, {SilentAccept, false, TextRuleScope::Both, u"You have WON"}},
                              1},
                    ChangeRow{"EditWithEnter",
                              {kMum, kNews},
                              [](RulesScreen& s) {
                                  s.MarkRow(1);
                                  s.During<TextRuleEditDialog>([&] { s.Press(Qt::Key_Return); },
                                                               Enter(QStringLiteral("^\\d{6}$"), true, 2, 2));
                              },
                              {kMum, kCode},
                              1},
                    ChangeRow{"EditWithATapOnTheChosenRow",
                              {kMum, kNews},
                              [](RulesScreen& s) {
                                  s.MarkRow(0);
                                  s.TapRow(1);  // chooses the row only
                                  s.During<TextRuleEditDialog>([&] { s.TapRow(1); },
                                                               Enter(QStringLiteral("news"), false, 1, 0));
                              },
                              {kMum, {Accept, false, TextRuleScope::Sender, u"news"}},
                              1},
                    ChangeRow{"CancelChangesNothing",
                              {kMum},
                              [](RulesScreen& s) {
                                  s.During<TextRuleEditDialog>(
                                      [&] { s.Choose(IDM_RULE_EDIT); },
                                      [](TextRuleEditDialog& edit) {
                                          QTest::keyClicks(edit.Pattern(), QStringLiteral("my"));
                                          QTest::mouseClick(edit.MenuBar()->Key(1), Qt::LeftButton);
                                      });
                              },
                              {kMum},
                              0},
                    ChangeRow{"DeleteConfirmed",
                              {kMum, kCode, kNews},
                              [](RulesScreen& s) {
                                  s.MarkRow(1);
                                  s.During<QMessageBox>([&] { s.Choose(IDM_RULE_DELETE); }, Answer(QMessageBox::Yes));
                              },
                              {kMum, kNews},
                              1},
                    ChangeRow{"DeleteKeyDeclined",
                              {kMum, kCode, kNews},
                              [](RulesScreen& s) {
                                  s.MarkRow(2);
                                  s.During<QMessageBox>([&] { s.Press(Qt::Key_Delete); }, Answer(QMessageBox::No));
                              },
                              {kMum, kCode, kNews},
                              2},
                    ChangeRow{"MoveUp",
                              {kMum, kCode, kNews},
                              [](RulesScreen& s) {
                                  s.MarkRow(2);
                                  s.Choose(IDM_RULE_MOVE_UP);
                              },
                              {kMum, kNews, kCode},
                              1},
                    ChangeRow{"MoveDownFromTheLastRowStays",
                              {kMum, kCode, kNews},
                              [](RulesScreen& s) {
                                  s.MarkRow(2);
                                  s.Choose(IDM_RULE_MOVE_DOWN);
                              },
                              {kMum, kCode, kNews},
                              2},
                    ChangeRow{"WithNoRuleOnlyNewIsOffered",
                              {},
                              [](RulesScreen& s) {
                                  EXPECT_EQ(s.Offered({IDM_RULE_NEW, IDM_RULE_EDIT, IDM_RULE_DELETE, IDM_RULE_MOVE_UP}),
                                            (std::vector<bool>{true, false, false, false}));
                              },
                              {},
                              -1},
                    ChangeRow{"NoSixtyFifthRule", std::vector<TextRule>(64, kMum),
                              [](RulesScreen& s) {
                                  s.During<QMessageBox>(
                                      [&] { s.Choose(IDM_RULE_NEW); },
                                      [](QMessageBox& box) {
                                          EXPECT_TRUE(box.text().contains(QStringLiteral("64 text rules")))
                                              << box.text().toStdString();
                                          box.buttons().first()->click();
                                      });
                              },
                              std::vector<TextRule>(64, kMum), 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The edit dialog accepts only a pattern the handler can use, and says why it refuses one.

struct PatternRow {
    const char* name;
    QString pattern;
    bool regex;
    QString refusal;  // part of the message shown; empty when the rule is accepted
};
void PrintTo(const PatternRow& row, std::ostream* out) { *out << row.name; }

class TextRuleEditOk : public testing::TestWithParam<PatternRow> {};

TEST_P(TextRuleEditOk, AcceptsOnlyAUsablePattern) {
    test::TempDevice device;
    TextRuleEditDialog edit(nullptr, kMum);
    edit.Create();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    EXPECT_EQ(edit.Pattern()->text(), QStringLiteral("mum"));
    EXPECT_EQ(edit.Box(TextRuleEditDialog::IDC_ACTION)->currentText(), QStringLiteral("A\u0441cept"));
    edit.Pattern()->clear();
    QTest::keyClicks(edit.Pattern(), GetParam().pattern);
    if (GetParam().regex) QTest::mouseClick(edit.Regex(), Qt::LeftButton);

    QString shown = test::CloseMessageBoxDuring([&] { QTest::mouseClick(edit.MenuBar()->Key(0), Qt::LeftButton); });

    if (GetParam().refusal.isEmpty()) {
        EXPECT_EQ(shown, QString());
        EXPECT_TRUE(edit.Ended());
        EXPECT_EQ(edit.Rule(),
                  (TextRule{Accept, GetParam().regex, TextRuleScope::Text, GetParam().pattern.toStdU16String()}));
    } else {
        EXPECT_TRUE(shown.contains(GetParam().refusal)) << shown.toStdString();
        EXPECT_FALSE(edit.Ended());
        EXPECT_EQ(edit.Rule(), kMum);
    }
}

INSTANTIATE_TEST_SUITE_P(
    TextRulesDialog, TextRuleEditOk,
    testing::Values(PatternRow{"PlainWordsWithRegexSigns", QStringLiteral("(50% off"), false, {}},
                    PatternRow{"GoodRegex", QStringLiteral("^[A-Z]{3,}$"), true, {}},
                    PatternRow{"Empty", QString(), false, QStringLiteral("Please enter")},
                    PatternRow{"UnclosedGroup", QStringLiteral("(prize"), true, QStringLiteral("missing )")},
                    PatternRow{"BackReference", QStringLiteral("(a)\\1"), true, QStringLiteral("invalid escape")}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// What the screens show.

TEST(TextRulesDialogLook, RowsShowTheActionPictureThePatternAndAMarkForRegularExpressions) {
    RulesScreen screen;
    screen.Store({kMum, kCode, kNews});
    screen.Open();
    test::SaveScreenshot(screen.Dialog(), "text-rules");
    EXPECT_EQ(screen.Dialog().Caption(), QStringLiteral("Text rules"));
    EXPECT_FALSE(screen.Dialog().DlgItem(TextRulesDialog::IDC_NO_RULES)->isVisible());
    screen.MarkRow(2);  // the chosen row's colour stays off the two rows looked at
    const std::vector<QImage> rows = {screen.List()->viewport()->grab(screen.RowRect(0)).toImage(),
                                      screen.List()->viewport()->grab(screen.RowRect(1)).toImage()};
    const QRect icon(1, 0, 26, rows[0].height());
    const QRect mark(rows[0].width() - 20, 0, 20, rows[0].height());
    EXPECT_GT(test::CountPixels(rows[0], icon, test::IsGreen), 5) << "Accept";
    EXPECT_GT(test::CountPixels(rows[1], icon, test::IsRed), 5) << "Dismiss";
    EXPECT_EQ(test::CountPixels(rows[0], mark, test::IsBlue), 0) << "plain words carry no mark";
    EXPECT_GT(test::CountPixels(rows[1], mark, test::IsBlue), 2) << "the regular expression's mark";
    EXPECT_GT(
        test::CountPixels(rows[0], QRect(29, 0, 40, rows[0].height()), [](QColor c) { return c.lightness() < 80; }), 10)
        << "the pattern's text";

    screen.MarkRow(1);
    screen.During<TextRuleEditDialog>(
        [&] { screen.Choose(IDM_RULE_EDIT); },
        [](TextRuleEditDialog& edit) {
            EXPECT_EQ(edit.Caption(), QStringLiteral("Text rule"));
            EXPECT_TRUE(edit.Regex()->isChecked());
            EXPECT_EQ(edit.Box(TextRuleEditDialog::IDC_LOOK_IN)->currentText(), QStringLiteral("Text or sender"));
            EXPECT_EQ(edit.Box(TextRuleEditDialog::IDC_ACTION)->currentText(), QStringLiteral("Dismiss"));
            test::SaveScreenshot(edit, "text-rule-edit");
            QTest::mouseClick(edit.MenuBar()->Key(1), Qt::LeftButton);
        });
}

TEST(TextRulesDialogLook, WithoutRulesExplainsHowToAddOne) {
    RulesScreen screen;
    screen.Open();
    test::SaveScreenshot(screen.Dialog(), "text-rules-empty");
    EXPECT_EQ(screen.List()->ItemCount(), 0);
    auto* hint = qobject_cast<QLabel*>(screen.Dialog().DlgItem(TextRulesDialog::IDC_NO_RULES));
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().contains(QStringLiteral("New..."))) << hint->text().toStdString();
    EXPECT_FALSE(std::filesystem::exists(screen.File())) << "opening writes nothing";
}

}  // namespace
}  // namespace velmo
