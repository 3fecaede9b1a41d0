#include <gtest/gtest.h>

#include <QComboBox>
#include <QToolButton>

#include "DialogTestSupport.h"
#include "WidgetTestSupport.h"
#include "app/core/OptionChoices.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/SoftKeyBar.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

TEST(OptionChoices, EveryNameBeforeASemicolonIsAnEntryAndTheRestIsNot) {
    EXPECT_EQ(SplitChoices(u"A\u0441cept;Silent accept;Dismiss;"),
              (std::vector<std::u16string>{u"A\u0441cept", u"Silent accept", u"Dismiss"}));
    EXPECT_EQ(SplitChoices(u";one;;two;tail"), (std::vector<std::u16string>{u"", u"one", u"", u"two"}));
    EXPECT_TRUE(SplitChoices(u"no separator").empty());
    // The resource buffer holds 254 units: a separator beyond them ends no entry.
    std::u16string longText(253, u'x');
    EXPECT_EQ(SplitChoices(longText + u";").size(), 1u);
    EXPECT_TRUE(SplitChoices(longText + u"x;").empty());
}

TEST(OptionChoices, TheActionBoxListsAcceptSilentAcceptDismiss) {
    const std::int32_t actionAt[] = {Accept, SilentAccept, Dismiss};
    for (int position = 0; position < 3; ++position) {
        EXPECT_EQ(ActionAtPosition(position), actionAt[position]);
        EXPECT_EQ(PositionOfAction(actionAt[position]), position);
    }
    EXPECT_EQ(ActionAtPosition(-1), -1);
    EXPECT_EQ(ActionAtPosition(3), -1);
    EXPECT_EQ(PositionOfAction(3), -1);
    EXPECT_EQ(PositionOfAction(-1), -1);
}

class OptionsDialogTest : public testing::Test {
protected:
    void SetUp() override { device_.InstallAppPath(); }

    void Open() {
        dialog_ = std::make_unique<OptionsDialog>(nullptr, settings_);
        dialog_->Create();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    }
    QComboBox* Box(int id) const { return dialog_->Box(id); }
    // Picks an entry with the keypad, as the user of the handheld does.
    void Pick(int id, int entry) {
        QComboBox* box = Box(id);
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box, Qt::Key_Home);
        for (int step = 0; step < entry; ++step) QTest::keyClick(box, Qt::Key_Down);
        ASSERT_EQ(box->currentIndex(), entry);
    }
    void TapOk() { QTest::mouseClick(dialog_->MenuBar()->Key(0), Qt::LeftButton); }
    std::vector<QString> Entries(int id) const {
        std::vector<QString> entries;
        for (int i = 0; i < Box(id)->count(); ++i) entries.push_back(Box(id)->itemText(i));
        return entries;
    }

    test::TempDevice device_;
    SettingsStore settings_;
    std::unique_ptr<OptionsDialog> dialog_;
};

TEST_F(OptionsDialogTest, WithNothingStoredShowsTheDefaultsFromTheStringTable) {
    Open();
    EXPECT_EQ(dialog_->Caption(), QStringLiteral("Options"));
    EXPECT_EQ(Entries(OptionsDialog::IDC_DEFAULT_ACTION),
              (std::vector<QString>{QStringLiteral("A\u0441cept"), QStringLiteral("Silent accept"),
                                    QStringLiteral("Dismiss")}));
    EXPECT_EQ(Entries(OptionsDialog::IDC_CONTACT_FORMAT).size(), 5u);
    EXPECT_EQ(Entries(OptionsDialog::IDC_DELETE_TIME),
              (std::vector<QString>{QStringLiteral("1 day"), QStringLiteral("3 days"), QStringLiteral("1 week"),
                                    QStringLiteral("2 weeks"), QStringLiteral("1 month")}));
    EXPECT_EQ(Box(OptionsDialog::IDC_DEFAULT_ACTION)->currentText(), QStringLiteral("A\u0441cept"));
    EXPECT_EQ(Box(OptionsDialog::IDC_CONTACT_FORMAT)->currentText(), QStringLiteral("<LastName> <First Name>"));
    EXPECT_EQ(Box(OptionsDialog::IDC_DELETE_TIME)->currentText(), QStringLiteral("2 weeks"));
    for (int id :
         {OptionsDialog::IDC_DEFAULT_ACTION, OptionsDialog::IDC_CONTACT_FORMAT, OptionsDialog::IDC_DELETE_TIME}) {
        EXPECT_FALSE(Box(id)->isEditable()) << id;
    }
    EXPECT_EQ(dialog_->MenuBar()->Key(0)->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog_->MenuBar()->Key(1)->text(), QStringLiteral("Cancel"));
    test::SaveScreenshot(*dialog_, "options-defaults");
}

struct ActionRow {
    const char* name;
    std::int16_t stored;
    const char* shown;  // empty: nothing selected
};

class OptionsActionBox : public OptionsDialogTest, public testing::WithParamInterface<ActionRow> {};

TEST_P(OptionsActionBox, ShowsTheStoredActionsEntry) {
    settings_.SetDefActionType(GetParam().stored);
    Open();
    EXPECT_EQ(Box(OptionsDialog::IDC_DEFAULT_ACTION)->currentText(), QString::fromUtf8(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(Stored, OptionsActionBox,
                         testing::Values(ActionRow{"Accept", Accept, "A\u0441cept"},
                                         ActionRow{"SilentAccept", SilentAccept, "Silent accept"},
                                         ActionRow{"Dismiss", Dismiss, "Dismiss"}, ActionRow{"Unknown", 7, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PickRow {
    const char* name;
    int position;
    std::int16_t stored;
};

class OptionsActionPick : public OptionsDialogTest, public testing::WithParamInterface<PickRow> {};

TEST_P(OptionsActionPick, OkStoresThePickedEntrysAction) {
    settings_.SetDefActionType(Dismiss);
    Open();
    Pick(OptionsDialog::IDC_DEFAULT_ACTION, GetParam().position);
    TapOk();
    EXPECT_TRUE(dialog_->Ended());
    EXPECT_EQ(dialog_->result(), IDM_OK);
    EXPECT_EQ(settings_.GetDefActionType(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Positions, OptionsActionPick,
                         testing::Values(PickRow{"Accept", 0, Accept}, PickRow{"SilentAccept", 1, SilentAccept},
                                         PickRow{"Dismiss", 2, Dismiss}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OptionsDialogTest, OkWritesAllThreeValuesEvenUnchanged) {
    Open();
    TapOk();
    EXPECT_TRUE(test::IsStored(settings_, DefActionTypeValue));
    EXPECT_TRUE(test::IsStored(settings_, ContactFormatValue));
    EXPECT_TRUE(test::IsStored(settings_, DeleteTimeTypeValue));
    EXPECT_EQ(settings_.GetDefActionType(), Accept);
    EXPECT_EQ(settings_.GetContactFormat(), LastFirst);
    EXPECT_EQ(settings_.GetDeleteTimeType(), TwoWeeks);
}

TEST_F(OptionsDialogTest, OkWritesTheFormatAndAgeByEntryIndex) {
    Open();
    Pick(OptionsDialog::IDC_CONTACT_FORMAT, 4);
    Pick(OptionsDialog::IDC_DELETE_TIME, 0);
    TapOk();
    EXPECT_EQ(settings_.GetContactFormat(), FirstCommaLast);
    EXPECT_EQ(settings_.GetDeleteTimeType(), OneDay);
}

TEST_F(OptionsDialogTest, ABoxWithoutAnEntryForItsValueLeavesTheValueAsItIs) {
    settings_.SetDefActionType(5);
    settings_.SetContactFormat(9);
    settings_.SetDeleteTimeType(-3);
    Open();
    for (int id :
         {OptionsDialog::IDC_DEFAULT_ACTION, OptionsDialog::IDC_CONTACT_FORMAT, OptionsDialog::IDC_DELETE_TIME}) {
        EXPECT_EQ(Box(id)->currentIndex(), -1) << id;
    }
    test::SaveScreenshot(*dialog_, "options-values-without-entries");
    Pick(OptionsDialog::IDC_DELETE_TIME, 2);
    TapOk();
    EXPECT_EQ(settings_.GetDefActionType(), 5);
    EXPECT_EQ(settings_.GetContactFormat(), 9);
    EXPECT_EQ(settings_.GetDeleteTimeType(), OneWeek);
}

struct CloseRow {
    const char* name;
    int result;
    std::function<void(OptionsDialog&)> close;
};

class OptionsClosing : public OptionsDialogTest, public testing::WithParamInterface<CloseRow> {};

TEST_P(OptionsClosing, WritesNothingWhateverWasPicked) {
    Open();
    Pick(OptionsDialog::IDC_DEFAULT_ACTION, 2);
    Pick(OptionsDialog::IDC_CONTACT_FORMAT, 3);
    Pick(OptionsDialog::IDC_DELETE_TIME, 4);
    GetParam().close(*dialog_);
    EXPECT_TRUE(dialog_->Ended());
    EXPECT_EQ(dialog_->result(), GetParam().result);
    EXPECT_EQ(dialog_->MenuBar(), nullptr);
    EXPECT_FALSE(test::IsStored(settings_, DefActionTypeValue));
    EXPECT_FALSE(test::IsStored(settings_, ContactFormatValue));
    EXPECT_FALSE(test::IsStored(settings_, DeleteTimeTypeValue));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, OptionsClosing,
    testing::Values(CloseRow{"Cancel", IDM_CANCEL,
                             [](OptionsDialog& d) { QTest::mouseClick(d.MenuBar()->Key(1), Qt::LeftButton); }},
                    CloseRow{"DoneButton", IDOK,
                             [](OptionsDialog& d) { QTest::mouseClick(d.DoneButton(), Qt::LeftButton); }},
                    CloseRow{"Escape", IDCANCEL, [](OptionsDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
                    CloseRow{"Window", kClosedByWindow, [](OptionsDialog& d) { d.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct SpamPickRow {
    const char* name;
    DWORD stored;  // 0: "SpamAction" missing
    int position;
    DWORD written;  // 0: left missing
};

class OptionsSpamBox : public OptionsDialogTest, public testing::WithParamInterface<SpamPickRow> {};

// The spam box shows the stored action and OK writes a changed one; off stays unwritten when it was.
TEST_P(OptionsSpamBox, OkStoresAChangedSpamAction) {
    const SpamPickRow& row = GetParam();
    if (row.stored != 0) settings_.WriteDword(SpamActionValue, row.stored);
    Open();
    EXPECT_EQ(
        Entries(OptionsDialog::IDC_SPAM_ACTION),
        (std::vector<QString>{QStringLiteral("Off"), QStringLiteral("Dismiss"), QStringLiteral("Silent accept")}));
    EXPECT_EQ(Box(OptionsDialog::IDC_SPAM_ACTION)->currentIndex(), PositionOfSpamAction(settings_.GetSpamAction()));
    Pick(OptionsDialog::IDC_SPAM_ACTION, row.position);
    TapOk();
    DWORD written = 0;
    EXPECT_EQ(settings_.ReadDword(SpamActionValue, written), row.written != 0 || row.stored != 0);
    EXPECT_EQ(written, row.written);
}

INSTANTIATE_TEST_SUITE_P(Picks, OptionsSpamBox,
                         testing::Values(SpamPickRow{"OffStaysMissing", 0, 0, 0}, SpamPickRow{"Dismiss", 0, 1, Dismiss},
                                         SpamPickRow{"SilentAccept", 0, 2, SilentAccept},
                                         SpamPickRow{"OffReplacesDismiss", Dismiss, 0, 0},
                                         SpamPickRow{"UnknownValueShowsOff", 9, 2, SilentAccept}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmo
