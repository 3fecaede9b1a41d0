#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QToolButton>

#include "DialogTestSupport.h"
#include "WidgetTestSupport.h"
#include "app/core/PoomContactSource.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/BlockedMessagesDialog.h"
#include "app/ui/ContactListDialog.h"
#include "app/ui/ExportImport.h"
#include "app/ui/FileChooserDialog.h"
#include "app/ui/NotifyEdit.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/ScheduleDialog.h"
#include "app/ui/StateSelectorCtrl.h"
#include "app/ui/TextRulesDialog.h"
#include "app/ui/TimePicker.h"
#include "app/ui/WindowPresence.h"
#include "common/ContactStateRebuild.h"
#include "device/ContactStore.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

class MainScreenTest : public testing::Test {
protected:
    void SetUp() override { appDir_ = device_.InstallAppPath(); }
    void TearDown() override { dialog_.reset(); }

    // Adds contacts to the device's address book, in this order.
    static void AddContacts(const std::vector<std::pair<std::u16string, std::u16string>>& names) {
        std::vector<device::ContactEntry> entries;
        for (const auto& [first, last] : names) {
            device::ContactEntry entry;
            entry[device::ContactField::FirstName] = first;
            entry[device::ContactField::LastName] = last;
            entries.push_back(entry);
        }
        device::ContactStore().AddAll(entries);
    }

    void Open(Platform platform = kBuildPlatform) {
        dialog_ = std::make_unique<ContactListDialog>(
            settings_, file_, [] { return std::make_unique<PoomContactSource>(); }, platform);
        dialog_->Create();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    }

    OwnerDataListView* List() const { return dialog_->List(); }
    QRect RowRect(int row) const { return List()->visualRect(List()->model()->index(row, 0)); }
    void TapRow(int row) { QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowRect(row).center()); }
    // The row as the screen shows it.
    QImage RowImage(int row) const {
        QImage whole = dialog_->grab().toImage();
        QRect rect = RowRect(row).translated(List()->viewport()->mapTo(dialog_.get(), QPoint(0, 0)));
        return whole.copy(rect);
    }
    std::int32_t StoredActionOfRow(int row) const {
        ContactRecord record;
        EXPECT_TRUE(dialog_->Contacts()->RowRecord(row, record));
        auto bytes = test::ReadFileBytes(appDir_ / "ContactsInfo.dat");
        std::int32_t action = -100;
        std::memcpy(&action, bytes.data() + 128 + 8 * dialog_->Contacts()->Rows()[row].recordIndex, 4);
        return action;
    }
    int RowOfName(const std::u16string& name) const {
        auto* contacts = const_cast<ContactList*>(dialog_->Contacts());
        for (int r = 0; r < contacts->RowCount(); ++r) {
            if (contacts->RowText(r) == name) return r;
        }
        return -1;
    }
    // Opens the View menu from its soft key and chooses the entry of a sub-menu.
    void ChooseFromView(int subMenu, unsigned command) {
        SoftKeyBar* bar = dialog_->MenuBar();
        QTest::mouseClick(bar->Key(0), Qt::LeftButton);
        QMenu* view = bar->SubMenu(0);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
        // The key that opens a sub-menu, as a user of the handheld's keypad would press it.
        QAction* entry = view->actions()[subMenu];
        view->setActiveAction(entry);
        QTest::keyClick(view, Qt::Key_Right);
        QMenu* sub = entry->menu();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
        QAction* target = bar->FindCommand(command);
        QTest::mouseClick(sub, Qt::LeftButton, {}, sub->actionGeometry(target).center());
        EXPECT_EVENTUALLY(!view->isVisible(), 5000);
    }
    // Chooses the entry of the Options menu, which opens a dialog of type Dialog, and hands
    // that dialog to handle, which must end it.
    template <typename Dialog>
    void ChooseOption(unsigned command, const std::function<void(Dialog&)>& handle) {
        SoftKeyBar* bar = dialog_->MenuBar();
        QTest::mouseClick(bar->Key(1), Qt::LeftButton);
        QMenu* options = bar->SubMenu(1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(options));
        QPoint entry = options->actionGeometry(bar->FindCommand(command)).center();
        EXPECT_TRUE(test::HandleModal<Dialog>([&] { QTest::mouseClick(options, Qt::LeftButton, {}, entry); }, handle));
    }
    static void PutInFront(QWidget& window) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    std::vector<bool> Checks(int subMenu) const {
        std::vector<bool> checks;
        for (QAction* action : dialog_->MenuBar()->SubMenu(0)->actions()[subMenu]->menu()->actions()) {
            checks.push_back(action->isChecked());
        }
        return checks;
    }

    test::TempDevice device_;
    std::filesystem::path appDir_;
    SettingsStore settings_;
    ContactStateFile file_;
    std::unique_ptr<ContactListDialog> dialog_;
};

TEST_F(MainScreenTest, FirstLoadOfAnEmptyAddressBookShowsExactlyTheTwoBlueRows) {
    settings_.SetBlockedMsg(5);
    settings_.SetSilentMsg(3);
    Open();
    ASSERT_EQ(List()->ItemCount(), 2);
    for (int row : {0, 1}) {
        QImage image = RowImage(row);
        QRect text(29, 0, image.width() - 29, image.height());
        // The chosen row's text is black on the focus fill, which blue text would not stand out from.
        const bool chosen = List()->SelectionMark() == row;
        auto black = [](QColor c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; };
        EXPECT_GT(test::CountPixels(image, text, chosen ? black : test::IsBlue), 10) << "row " << row;
        EXPECT_EQ(test::CountPixels(image, text, chosen ? test::IsBlue : black), 0) << "row " << row;
        EXPECT_GT(test::CountPixels(image, QRect(1, 0, 26, 16), test::IsGreen), 5) << "row " << row;
    }
    EXPECT_EQ(test::ReadFileBytes(appDir_ / "ContactsInfo.dat").size(), 144u);
    EXPECT_EQ(settings_.GetBlockedMsg(), 0);
    EXPECT_EQ(settings_.GetSilentMsg(), 0);
    test::SaveScreenshot(*dialog_, "main-empty-address-book");
}

TEST_F(MainScreenTest, TapsOnTheSelectedRowStepTheActionAndStoreEachStepAtOnce) {
    AddContacts({{u"Ann", u"Adams"}});
    Open();
    TapRow(2);  // chooses the row and changes nothing
    ASSERT_EQ(List()->SelectionMark(), 2);
    std::vector<std::int32_t> steps{StoredActionOfRow(2)};
    for (int tap = 0; tap < 3; ++tap) {
        TapRow(2);
        steps.push_back(StoredActionOfRow(2));
        if (tap == 0) {
            QTest::qWait(20);
            EXPECT_GT(test::CountPixels(RowImage(2), QRect(1, 0, 26, 16), test::IsRed), 5);
        }
    }
    EXPECT_EQ(steps, (std::vector<std::int32_t>{Accept, Dismiss, SilentAccept, Accept}));
}

TEST_F(MainScreenTest, TheActionKeyStepsTheMarkedRow) {
    AddContacts({{u"Ann", u"Adams"}, {u"Bob", u"Baker"}});
    Open();
    QTest::keyClick(List(), Qt::Key_Down);
    QTest::keyClick(List(), Qt::Key_Down);
    ASSERT_EQ(List()->SelectionMark(), 2);
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(StoredActionOfRow(2), Dismiss);
    EXPECT_EQ(StoredActionOfRow(3), Accept);
}

TEST_F(MainScreenTest, AMissingAddressBookKeepsEveryActionUntilItIsBack) {
    AddContacts({{u"Ann", u"Adams"}});
    Open();
    TapRow(2);
    TapRow(2);  // Adams: Dismiss
    QTest::mouseClick(dialog_->DoneButton(), Qt::LeftButton);
    auto stored = test::ReadFileBytes(appDir_ / "ContactsInfo.dat");
    auto book = [this](const char* from, const char* to) {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::error_code ignored;
            std::filesystem::rename(device_.Root() / (std::string(from) + suffix),
                                    device_.Root() / (std::string(to) + suffix), ignored);
        }
    };
    book("contacts.db", "contacts.db.away");
    Open();
    EXPECT_EQ(List()->ItemCount(), 2);
    EXPECT_EQ(test::ReadFileBytes(appDir_ / "ContactsInfo.dat"), stored);
    QTest::mouseClick(dialog_->DoneButton(), Qt::LeftButton);

    book("contacts.db.away", "contacts.db");
    Open();
    ASSERT_EQ(List()->ItemCount(), 3);
    EXPECT_EQ(StoredActionOfRow(2), Dismiss);
}

TEST_F(MainScreenTest, ATapAfterAnotherWriterReplacedTheFileGoesIntoTheNewFile) {
    AddContacts({{u"Ann", u"Adams"}, {u"Bob", u"Baker"}});  // object identifiers 1 and 2
    Open();
    TapRow(2);  // Adams chosen
    // Another writer rebuilds ContactsInfo.dat in another order and dismisses Baker there.
    {
        ContactStateFile other;
        other.SetPath((appDir_ / "ContactsInfo.dat").u16string());
        ContactStateRebuild rebuilt = RebuildContactStates(other, {2, 1}, Accept);
        ASSERT_TRUE(rebuilt.saved);
        ASSERT_TRUE(other.SetAt(rebuilt.contactIndex[0], ContactRecord{Dismiss, 2}));
    }
    TapRow(2);  // Adams: Dismiss
    auto bytes = test::ReadFileBytes(appDir_ / "ContactsInfo.dat");
    ASSERT_EQ(bytes.size(), 128u + 4 * 8);
    std::vector<ContactRecord> entries(4);
    std::memcpy(entries.data(), bytes.data() + 128, 4 * 8);
    EXPECT_EQ(entries, (std::vector<ContactRecord>{{Accept, -1}, {Accept, -2}, {Dismiss, 2}, {Dismiss, 1}}));
    // The screen shows the new file: Baker's cross too.
    QTest::qWait(20);
    EXPECT_GT(test::CountPixels(test::OnScreen(*List()->viewport()).copy(RowRect(3)), QRect(1, 0, 26, 16), test::IsRed),
              5);
}

TEST_F(MainScreenTest, DismissAllShowsTheCrossOnEveryRowAndATapOnlyExplains) {
    AddContacts({{u"Ann", u"Adams"}, {u"Bob", u"Baker"}});
    Open();
    TapRow(3);
    TapRow(3);  // Baker: Dismiss
    ChooseFromView(1, IDM_MODE_DISMISS_ALL);
    EXPECT_EQ(settings_.GetItemsState(), DismissAll);
    for (int row = 0; row < 4; ++row) {
        EXPECT_GT(test::CountPixels(RowImage(row), QRect(1, 0, 26, 16), test::IsRed), 5) << "row " << row;
    }
    auto before = test::ReadFileBytes(appDir_ / "ContactsInfo.dat");
    QString message = test::CloseMessageBoxDuring([this] { TapRow(3); });
    EXPECT_EQ(message,
              QStringLiteral(
                  "To change item state please switch to \"Items mode\" -> \"User settings\" from \"View\" menu."));
    EXPECT_EQ(test::ReadFileBytes(appDir_ / "ContactsInfo.dat"), before);

    ChooseFromView(1, IDM_MODE_USER_SETTINGS);
    EXPECT_GT(test::CountPixels(RowImage(2), QRect(1, 0, 26, 16), test::IsGreen), 5);
    EXPECT_GT(test::CountPixels(RowImage(3), QRect(1, 0, 26, 16), test::IsRed), 5);
}

TEST_F(MainScreenTest, TypingFindsAdamsBakerAndCarter) {
    AddContacts({{u"Cid", u"Carter"}, {u"Ann", u"Adams"}, {u"Bob", u"Baker"}});
    Open();
    struct Typing {
        std::vector<Qt::Key> keys;
        std::u16string found;
    };
    for (const Typing& typing : {Typing{{Qt::Key_B}, u"Baker Bob"}, Typing{{Qt::Key_Z, Qt::Key_Z}, u"Carter Cid"},
                                 Typing{{Qt::Key_A}, u"Adams Ann"}}) {
        ASSERT_TRUE(List()->hasFocus());
        QTest::keyClick(List(), typing.keys.front());
        ASSERT_TRUE(dialog_->QuickFindOpen());
        for (std::size_t k = 1; k < typing.keys.size(); ++k) QTest::keyClick(dialog_->QuickFindBox(), typing.keys[k]);
        EXPECT_EQ(dialog_->QuickFindBox()->text().size(), static_cast<int>(typing.keys.size()));
        EXPECT_EQ(List()->SelectionMark(), RowOfName(typing.found));
        // Emptying the box closes it and gives the list back its focus.
        for (std::size_t k = 0; k < typing.keys.size(); ++k)
            QTest::keyClick(dialog_->QuickFindBox(), Qt::Key_Backspace);
        EXPECT_FALSE(dialog_->QuickFindOpen());
    }
}

TEST_F(MainScreenTest, TheQuickFindBoxClosesFourSecondsAfterTheLastKey) {
    AddContacts({{u"Ann", u"Adams"}, {u"Bob", u"Baker"}});
    Open();
    int fullHeight = List()->height();
    QTest::keyClick(List(), Qt::Key_B);
    ASSERT_TRUE(dialog_->QuickFindBox()->isVisible());
    EXPECT_EQ(dialog_->TimerPeriod(ContactListDialog::kQuickFindTimer), 4000);
    EXPECT_EQ(List()->geometry().bottom() + 1, dialog_->QuickFindBox()->geometry().top());
    test::SaveScreenshot(*dialog_, "main-quick-find");
    QTest::qWait(3000);
    EXPECT_TRUE(dialog_->QuickFindOpen());
    EXPECT_EVENTUALLY(!dialog_->QuickFindOpen(), 2000);
    EXPECT_FALSE(dialog_->QuickFindBox()->isVisible());
    EXPECT_EQ(List()->height(), fullHeight);
    EXPECT_TRUE(List()->hasFocus());
    EXPECT_EQ(dialog_->TimerPeriod(ContactListDialog::kQuickFindTimer), 0);
}

TEST_F(MainScreenTest, AKeyThatTypesNothingOpensTheBoxForSixSeconds) {
    Open();
    QTest::keyClick(List(), Qt::Key_Shift);
    ASSERT_TRUE(dialog_->QuickFindOpen());
    EXPECT_TRUE(dialog_->QuickFindBox()->text().isEmpty());
    EXPECT_EQ(dialog_->TimerPeriod(ContactListDialog::kQuickFindTimer), 6000);
    // Behind another window the box gets no focus, and closes on time all the same.
    QWidget other;
    PutInFront(other);
    QTest::keyClick(List(), Qt::Key_Shift);
    EXPECT_EQ(dialog_->TimerPeriod(ContactListDialog::kQuickFindTimer), 6000);
    EXPECT_EVENTUALLY(!dialog_->QuickFindOpen(), 7000);
}

TEST_F(MainScreenTest, MenuCheckMarksAndTheSelectorMoveTogether) {
    Open();
    EXPECT_EQ(Checks(0), (std::vector<bool>{false, false, true}));  // Disabled by default
    EXPECT_EQ(Checks(1), (std::vector<bool>{true, false, false, false}));

    ChooseFromView(0, IDM_STATE_ACTIVE);
    EXPECT_EQ(settings_.GetActiveState(), Active);
    EXPECT_EQ(Checks(0), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(dialog_->Selector()->SendMessage(SSM_GETSTATE, 0), Active);

    QTest::mouseClick(dialog_->Selector(), Qt::LeftButton);
    EXPECT_EVENTUALLY(settings_.GetActiveState() == ActiveBySchedule, 5000);
    EXPECT_EQ(Checks(0), (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(dialog_->Selector()->hasFocus());

    ChooseFromView(1, IDM_MODE_SILENT_ACCEPT_ALL);
    EXPECT_EQ(settings_.GetItemsState(), SilentAcceptAll);
    EXPECT_EQ(Checks(1), (std::vector<bool>{false, false, true, false}));

    // Brought to the front by a second start while already active, it shows what another program stored.
    settings_.SetActiveState(Disabled);
    settings_.SetItemsState(DismissAll);
    std::unique_ptr<ForeignWindow> running = ForeignWindow::Find(QStringLiteral("VelmoLight"));
    ASSERT_NE(running, nullptr);
    ASSERT_TRUE(running->SetForeground());
    EXPECT_EVENTUALLY(dialog_->Selector()->SendMessage(SSM_GETSTATE, 0) == Disabled, 3000);
    EXPECT_EQ(Checks(1), (std::vector<bool>{false, false, false, true}));
}

TEST_F(MainScreenTest, TheViewMenuOpensUpwardFromItsSoftKey) {
    Open();
    SoftKeyBar* bar = dialog_->MenuBar();
    QTest::mouseClick(bar->Key(0), Qt::LeftButton);
    QMenu* view = bar->SubMenu(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    EXPECT_LE(view->geometry().bottom(), bar->mapToGlobal(QPoint(0, 0)).y());
    test::SaveScreenshot(*dialog_, "main-view-menu-key");
    test::SaveScreenshot(*view, "main-view-menu");
    test::SaveScreenshotWithPopup(*dialog_, *view, "main-view-menu-open");
    view->close();
    QTest::mouseClick(bar->Key(1), Qt::LeftButton);
    QMenu* options = bar->SubMenu(1);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(options));
    EXPECT_LE(options->geometry().bottom(), bar->mapToGlobal(QPoint(0, 0)).y());
    EXPECT_EQ(options->geometry().right(), bar->mapToGlobal(QPoint(bar->width() - 1, 0)).x());
    options->close();
}

TEST_F(MainScreenTest, TheScreenShowsTheNewScheduleOnceItsDialogCloses) {
    test::ScopedLocale locale("en_GB");
    settings_.SetActiveState(ActiveBySchedule);
    Open();
    QTest::qWait(50);
    QImage before = test::OnScreen(*dialog_->Selector());
    ChooseOption<ScheduleDialog>(IDM_SCHEDULE, [](ScheduleDialog& d) {
        d.StartPicker()->SetTimeOfDay(TimeOfDay{6, 30, 0});
        QTest::mouseClick(d.MenuBar()->Key(0), Qt::LeftButton);  // OK
    });
    QTest::qWait(50);
    QImage shown = test::OnScreen(*dialog_->Selector());
    EXPECT_NE(shown, before);
    EXPECT_EQ(shown, test::Rendered(*dialog_->Selector()));
}

// A soft key's code pressed wherever the focus is on the main screen.
struct SoftKeyCode {
    const char* name;
    Qt::Key key;
    bool onSelector;        // the focus is on the state selector, else on the list
    int softKey;            // whose popup opens
    unsigned closed = 0;    // the Options entry whose dialog closes first; IDS_ for a message box
    bool inactive = false;  // another window is in front, so the screen's shortcuts miss the key
};

class MainScreenSoftKeys : public MainScreenTest, public testing::WithParamInterface<SoftKeyCode> {};

TEST_P(MainScreenSoftKeys, OpenTheirPopupInsteadOfQuickFind) {
    AddContacts({{u"Ann", u"Adams"}});
    Open();
    QWidget* focus = GetParam().onSelector ? static_cast<QWidget*>(dialog_->Selector()) : List();
    List()->SelectItem(2);
    focus->setFocus();
    auto done = [](HandheldDialog& d) { QTest::mouseClick(d.DoneButton(), Qt::LeftButton); };
    if (GetParam().closed == IDS_SWITCH_TO_USER_SETTINGS) {
        settings_.SetItemsState(DismissAll);
        EXPECT_FALSE(test::CloseMessageBoxDuring([this] { TapRow(2); }).isEmpty());
    } else if (GetParam().closed != 0) {
        ChooseOption<HandheldDialog>(GetParam().closed, done);
    }
    // The main screen has the keyboard focus back, on the control and the row it had.
    ASSERT_EVENTUALLY(QApplication::focusWidget() == focus, 2000);
    EXPECT_EQ(List()->currentIndex().row(), 2);
    QWidget other;
    if (GetParam().inactive) PutInFront(other);
    QTest::keyClick(focus, GetParam().key);
    QMenu* popup = dialog_->MenuBar()->SubMenu(GetParam().softKey);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
    EXPECT_FALSE(dialog_->MenuBar()->SubMenu(1 - GetParam().softKey)->isVisible());
    EXPECT_FALSE(dialog_->QuickFindOpen());
    popup->close();
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MainScreenSoftKeys,
    testing::Values(SoftKeyCode{"F1OnTheList", Qt::Key_F1, false, 0}, SoftKeyCode{"F2OnTheList", Qt::Key_F2, false, 1},
                    SoftKeyCode{"F1OnTheSelector", Qt::Key_F1, true, 0},
                    SoftKeyCode{"F2OnTheSelector", Qt::Key_F2, true, 1},
                    SoftKeyCode{"F1AfterOptions", Qt::Key_F1, false, 0, IDM_OPTIONS},
                    SoftKeyCode{"F2AfterSchedule", Qt::Key_F2, false, 1, IDM_SCHEDULE},
                    SoftKeyCode{"F1OnTheSelectorAfterAbout", Qt::Key_F1, true, 0, IDM_ABOUT},
                    SoftKeyCode{"F2AfterTheBlockedList", Qt::Key_F2, false, 1, IDM_BLOCKED_MESSAGES},
                    SoftKeyCode{"F1AfterAMessageBox", Qt::Key_F1, false, 0, IDS_SWITCH_TO_USER_SETTINGS},
                    SoftKeyCode{"F2ToTheListOfAWindowBehind", Qt::Key_F2, false, 1, 0, true}),
    [](const testing::TestParamInfo<SoftKeyCode>& info) { return info.param.name; });

// A key that moves through a long list, from a row to the row it reaches.
struct ListMove {
    const char* name;
    Qt::Key key;
    int from;  // -1 for the last row
    int to;    // -1 for the last row; kPage for one page below the first row
};
constexpr int kPage = -2;

class MainScreenListKeys : public MainScreenTest, public testing::WithParamInterface<ListMove> {};

TEST_P(MainScreenListKeys, MoveTheMarkWithoutQuickFind) {
    std::vector<std::pair<std::u16string, std::u16string>> names;
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) names.push_back({u"Pat", std::u16string(3, letter)});
    AddContacts(names);
    Open();
    int last = List()->ItemCount() - 1;
    int page = List()->viewport()->height() / ContactListDialog::kRowHeight;
    auto row = [&](int r) { return r == -1 ? last : r == kPage ? page : r; };
    List()->SelectItem(row(GetParam().from));
    QTest::keyClick(List(), GetParam().key);
    // A page is what the list shows; whether a row cut by its bottom edge counts is the list's.
    int slack = GetParam().to == kPage || GetParam().from == kPage ? 1 : 0;
    EXPECT_NEAR(List()->SelectionMark(), row(GetParam().to), slack);
    EXPECT_FALSE(dialog_->QuickFindOpen());
    EXPECT_TRUE(List()->hasFocus());
}

INSTANTIATE_TEST_SUITE_P(Keys, MainScreenListKeys,
                         testing::Values(ListMove{"PageDown", Qt::Key_PageDown, 0, kPage},
                                         ListMove{"PageUp", Qt::Key_PageUp, kPage, 0},
                                         ListMove{"End", Qt::Key_End, 0, -1}, ListMove{"Home", Qt::Key_Home, -1, 0}),
                         [](const testing::TestParamInfo<ListMove>& info) { return info.param.name; });

TEST_F(MainScreenTest, ATapOnTheRowCutByTheBottomChoosesItAndTheNextTapThereStepsIt) {
    std::vector<std::pair<std::u16string, std::u16string>> names;
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) names.push_back({u"Pat", std::u16string(3, letter)});
    AddContacts(names);
    Open();
    QPoint finger(List()->viewport()->width() / 2, List()->viewport()->height() - 2);
    int under = List()->indexAt(finger).row();
    ASSERT_GE(under, 2);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, finger);
    // The list scrolls by whole rows until the chosen row is in sight, once the tap cannot be a double tap.
    EXPECT_EVENTUALLY(RowRect(under).top() >= 0 && RowRect(under).bottom() < List()->viewport()->height(), 5000);
    EXPECT_EQ(List()->verticalScrollBar()->value() * ContactListDialog::kRowHeight, -RowRect(0).top());
    QTest::qWait(QApplication::doubleClickInterval());
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowRect(under).center());
    EXPECT_EQ(StoredActionOfRow(under), Dismiss);
}

// A sub-menu of "View", with the setting that decides its checked entry.
struct ViewSubMenu {
    const char* name;
    int subMenu;
    std::int16_t state;
    std::int16_t mode;
    int checked;  // the entry that carries the check mark
};

class MainScreenViewSubMenus : public MainScreenTest, public testing::WithParamInterface<ViewSubMenu> {};

TEST_P(MainScreenViewSubMenus, OpenInsideTheScreenWithACheckMarkOnlyBesideTheChosenEntry) {
    settings_.SetActiveState(GetParam().state);
    settings_.SetItemsState(GetParam().mode);
    Open();
    SoftKeyBar* bar = dialog_->MenuBar();
    QTest::mouseClick(bar->Key(0), Qt::LeftButton);
    QMenu* view = bar->SubMenu(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    QAction* entry = view->actions()[GetParam().subMenu];
    view->setActiveAction(entry);
    QTest::keyClick(view, Qt::Key_Right);
    QMenu* sub = entry->menu();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
    QTest::qWait(20);
    EXPECT_TRUE(dialog_->geometry().contains(view->geometry()));
    EXPECT_TRUE(dialog_->geometry().contains(sub->geometry()))
        << sub->geometry().x() << "," << sub->geometry().y() << " " << sub->width() << "x" << sub->height();
    QRect parentEntry = view->actionGeometry(entry).translated(view->geometry().topLeft());
    EXPECT_FALSE(sub->geometry().intersects(parentEntry));
    test::SaveScreenshot(test::WithPopups(*dialog_, {view, sub}), std::string("main-view-") + GetParam().name);

    sub->setActiveAction(nullptr);
    QImage picture = sub->grab().toImage();
    const QList<QAction*> entries = sub->actions();
    for (int i = 0; i < entries.size(); ++i) {
        QRect row = sub->actionGeometry(entries[i]);
        QColor background = picture.pixelColor(row.right() - 3, row.center().y());
        QRect checkColumn(row.left() + 2, row.top() + 3, 18, row.height() - 6);
        int marks = test::CountPixels(picture, checkColumn, [&background](QColor c) {
            return std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                       std::abs(c.blue() - background.blue()) >
                   90;
        });
        if (i == GetParam().checked) {
            EXPECT_GT(marks, 8) << "entry " << i;
        } else {
            EXPECT_EQ(marks, 0) << "entry " << i;
        }
    }
    sub->close();
    view->close();
}

INSTANTIATE_TEST_SUITE_P(SubMenus, MainScreenViewSubMenus,
                         testing::Values(ViewSubMenu{"ProgramState", 0, Disabled, UserSettings, 2},
                                         ViewSubMenu{"ItemsMode", 1, Active, DismissAll, 3}),
                         [](const testing::TestParamInfo<ViewSubMenu>& info) { return info.param.name; });

TEST_F(MainScreenTest, ArrowsMoveTheFocusBetweenListAndSelector) {
    AddContacts({{u"Ann", u"Adams"}});
    Open();
    settings_.SetActiveState(Disabled);
    QTest::keyClick(List(), Qt::Key_Up);  // on row 0
    ASSERT_TRUE(dialog_->Selector()->hasFocus());
    QTest::keyClick(dialog_->Selector(), Qt::Key_Return);
    EXPECT_EVENTUALLY(settings_.GetActiveState() == Active, 5000);
    QTest::keyClick(dialog_->Selector(), Qt::Key_Down);
    EXPECT_TRUE(List()->hasFocus());
    EXPECT_EQ(settings_.GetActiveState(), Active);
    QTest::keyClick(List(), Qt::Key_Down);
    QTest::keyClick(List(), Qt::Key_Right);
    EXPECT_TRUE(dialog_->Selector()->hasFocus());
}

TEST_F(MainScreenTest, TheDoneButtonAndExitEndTheProgramAndCloseTheFile) {
    Open();
    QTest::mouseClick(dialog_->DoneButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog_->Ended());
    EXPECT_EQ(dialog_->result(), ContactListDialog::kClosedByCommand);
    EXPECT_EQ(file_.Count(), 0);
    EXPECT_EQ(dialog_->MenuBar(), nullptr);

    Open();
    dialog_->close();
    EXPECT_EQ(dialog_->result(), kClosedByWindow);
}

TEST_F(MainScreenTest, TheOptionsMenuOpensEachDialogOverTheMainScreen) {
    Open();
    auto doneKey = [](HandheldDialog& d) { QTest::mouseClick(d.MenuBar()->Key(0), Qt::LeftButton); };
    auto cancelKey = [](HandheldDialog& d) { QTest::mouseClick(d.MenuBar()->Key(1), Qt::LeftButton); };
    ChooseOption<BlockedMessagesDialog>(IDM_BLOCKED_MESSAGES, [&](BlockedMessagesDialog& d) {
        EXPECT_EQ(d.parentWidget(), dialog_.get());
        doneKey(d);
    });
    ChooseOption<ScheduleDialog>(IDM_SCHEDULE, [&](ScheduleDialog& d) {
        EXPECT_EQ(d.parentWidget(), nullptr);
        cancelKey(d);
    });
    ChooseOption<OptionsDialog>(IDM_OPTIONS, [&](OptionsDialog& d) {
        EXPECT_EQ(d.parentWidget(), dialog_.get());
        cancelKey(d);
    });
    ChooseOption<AboutDialog>(IDM_ABOUT, [&](AboutDialog& d) {
        EXPECT_EQ(d.parentWidget(), dialog_.get());
        doneKey(d);
    });
    ChooseOption<TextRulesDialog>(IDM_TEXT_RULES, [&](TextRulesDialog& d) {
        EXPECT_EQ(d.parentWidget(), dialog_.get());
        doneKey(d);
    });
    EXPECT_FALSE(dialog_->Ended());
}

// Chooses the Options entry and answers each modal window it opens in turn: the chooser
// with the keys of choose, the question with its button of that text; every message box's
// text is kept, and each window must fit the screen.
std::vector<QString> ChooseWithFile(SoftKeyBar* bar, unsigned command,
                                    const std::function<void(FileChooserDialog&)>& choose, const QString& button) {
    std::vector<QString> said;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            EXPECT_LE(modal->width(), kScreenWidth);
        }
        if (auto* files = qobject_cast<FileChooserDialog*>(modal); files != nullptr && files->isVisible()) {
            test::SaveScreenshot(*files, command == IDM_EXPORT ? "export-chooser" : "import-chooser");
            choose(*files);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
            said.push_back(box->text());
            // The caption on a bar of its own, which no window manager draws.
            auto* title = box->findChild<QLabel*>(QStringLiteral("MessageTitle"));
            EXPECT_TRUE(title != nullptr && title->text() == QStringLiteral("VelmoLight"));
            test::SaveScreenshot(*box, "export-import-box-" + std::to_string(said.size()));
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == button) b->click();
            }
            if (box->isVisible()) box->accept();
        }
    });
    poll.start();
    QTest::mouseClick(bar->Key(1), Qt::LeftButton);
    QMenu* options = bar->SubMenu(1);
    if (!QTest::qWaitForWindowExposed(options)) return said;
    QTest::mouseClick(options, Qt::LeftButton, {}, options->actionGeometry(bar->FindCommand(command)).center());
    return said;
}

TEST_F(MainScreenTest, ExportAndImportChooseTheFileByKeysAndSayWhatWasDone) {
    AddContacts({{u"Ann", u"Lee"}});
    settings_.SetActiveState(Active);
    Open();
    SoftKeyBar* bar = dialog_->MenuBar();
    QTest::mouseClick(bar->Key(1), Qt::LeftButton);
    QMenu* options = bar->SubMenu(1);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(options));
    test::SaveScreenshotWithPopup(*dialog_, *options, "main-options-menu-open");
    options->close();

    // A folder's path typed as the name opens that folder; the name then gets ".json". The
    // path is longer than a line of the box, which breaks it rather than growing wider.
    const auto kept = device_.Root() / "exports-of-this-handheld-kept-for-a-rainy-day";
    std::filesystem::create_directory(kept);
    const QString folder = QString::fromStdString(kept.string());
    const QString file = folder + QStringLiteral("/moved.json");
    auto typeName = [&](FileChooserDialog& d) {
        for (const QString& typed : {folder, QStringLiteral("moved")}) {
            QTest::keyClicks(d.Name(), typed);
            QTest::keyClick(d.Name(), Qt::Key_Return);
        }
    };
    auto said = ChooseWithFile(bar, IDM_EXPORT, typeName, {});
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].remove(QLatin1Char('\n')).right(file.size()), file);
    EXPECT_EVENTUALLY(QApplication::focusWidget() == List(), 2000);
    settings_.SetActiveState(Disabled);
    settings_.SetWeekDays(1);

    // Replacing the file is asked first; "No" leaves the chooser open, Escape leaves it.
    said = ChooseWithFile(
        bar, IDM_EXPORT,
        [](FileChooserDialog& d) {
            QTest::keyClicks(d.Name(), QStringLiteral("moved"));
            QString asked;
            EXPECT_TRUE(test::HandleModal<QMessageBox>([&] { QTest::keyClick(d.Name(), Qt::Key_Return); },
                                                       [&](QMessageBox& box) {
                                                           asked = box.text();
                                                           box.button(QMessageBox::No)->click();
                                                       }));
            EXPECT_TRUE(asked.contains(QStringLiteral("Replace it?"))) << asked.toStdString();
            EXPECT_TRUE(d.isVisible());
            QTest::keyClick(d.Name(), Qt::Key_Escape);
        },
        {});
    EXPECT_TRUE(said.empty());

    // The chooser opens where the last file was; End chooses the one .json file below the folders.
    auto lastRow = [](FileChooserDialog& d) {
        QTest::keyClick(d.List(), Qt::Key_Home);
        QTest::keyClick(d.List(), Qt::Key_End);
        EXPECT_EQ(d.RowText(d.List()->SelectionMark()), QStringLiteral("moved.json"));
        QTest::keyClick(d.List(), Qt::Key_Return);
    };
    said = ChooseWithFile(bar, IDM_IMPORT, lastRow, QStringLiteral("Merge"));
    ASSERT_EQ(said.size(), 2u);
    // The box breaks its lines to the screen's width.
    EXPECT_EQ(said[1].simplified(),
              QStringLiteral("Imported.\nsettings: imported (except the program's folder and the counts of blocked "
                             "and silently accepted messages)\n"
                             "contacts' actions: 1 matched in the address book\n"
                             "text rules: 0 added, 0 in all\nblocked messages: 0 added")
                  .simplified());
    EXPECT_EVENTUALLY(QApplication::focusWidget() == List(), 2000);
    EXPECT_EQ(settings_.GetActiveState(), Active);
    EXPECT_EQ(settings_.GetWeekDays(), 31u);
    EXPECT_EQ(Checks(0), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(dialog_->Selector()->SendMessage(SSM_GETSTATE, 0), Active);
    EXPECT_FALSE(dialog_->Ended());
    // A refusal's box says once that nothing was imported, under its first line.
    EXPECT_EQ(ImportSaid("\"AppPath\" cannot be read: there is no program directory to import into; nothing was "
                         "imported\n"),
              QStringLiteral("the program's folder cannot be read: there is no program directory to import into"));
}

TEST_F(MainScreenTest, OptionsReloadsAndSortsTheListOnlyWhenTheNameFormatChanged) {
    AddContacts({{u"Zed", u"Adams"}, {u"Amy", u"Young"}});
    Open();
    ASSERT_EQ(RowOfName(u"Adams Zed"), 2);
    TapRow(3);
    TapRow(3);  // Young: Dismiss, stored in place
    // Picks the format entry, if any, and leaves with the soft key; true when the list was
    // loaded again, which replaces ContactsInfo.dat by a new file.
    auto reloadedAfterOptions = [this](int format, int key) {
        auto fileId = [this] {
            struct stat status {};
            stat((appDir_ / "ContactsInfo.dat").c_str(), &status);
            return status.st_ino;
        };
        auto before = fileId();
        ChooseOption<OptionsDialog>(IDM_OPTIONS, [&](OptionsDialog& d) {
            if (format >= 0) d.Box(OptionsDialog::IDC_CONTACT_FORMAT)->setCurrentIndex(format);
            QTest::mouseClick(d.MenuBar()->Key(key), Qt::LeftButton);
        });
        return fileId() != before;
    };
    EXPECT_FALSE(reloadedAfterOptions(-1, 0));         // OK, nothing changed
    EXPECT_FALSE(reloadedAfterOptions(FirstLast, 1));  // Cancel
    EXPECT_EQ(RowOfName(u"Adams Zed"), 2);

    // A contact that another process adds meanwhile is listed with the default action of the load.
    auto added = test::RunProcess(test::BinPath("velmo-device").string(), {"contacts", "add", "--first", "Bea"});
    ASSERT_EQ(added.exitCode, 0) << added.errors;
    settings_.SetDefActionType(SilentAccept);
    EXPECT_TRUE(reloadedAfterOptions(FirstLast, 0));
    EXPECT_EQ(settings_.GetContactFormat(), FirstLast);
    EXPECT_EQ(RowOfName(u"Amy Young"), 2);
    EXPECT_EQ(StoredActionOfRow(2), Dismiss);
    ASSERT_EQ(RowOfName(u"Bea"), 3);
    EXPECT_EQ(StoredActionOfRow(3), SilentAccept);
}

TEST_F(MainScreenTest, LongNamesEndInAnEllipsisOnWindowsMobile5Only) {
    AddContacts({{u"Bartholomew-Maximilian", u"Featherstonehaugh-Wolfeschlegel"}, {u"Al", u"Bo"}});
    Open(Platform::WindowsMobile5);
    int longRow = RowOfName(u"Featherstonehaugh-Wolfeschlegel Bartholomew-Maximilian");
    int shortRow = RowOfName(u"Bo Al");
    QImage longWm5 = RowImage(longRow);
    QImage shortWm5 = RowImage(shortRow);
    test::SaveScreenshot(*dialog_, "main-long-name-wm5");
    dialog_.reset();
    Open(Platform::PocketPC2003);
    test::SaveScreenshot(*dialog_, "main-long-name-ppc2003");
    EXPECT_NE(RowImage(longRow), longWm5);
    EXPECT_EQ(RowImage(shortRow), shortWm5);
}

struct ScreenState {
    const char* name;
    std::int16_t state;
    std::int16_t mode;
};

class MainScreenPictures : public MainScreenTest, public testing::WithParamInterface<ScreenState> {};

TEST_P(MainScreenPictures, AreSavedForEachStateAndItemsMode) {
    AddContacts({{u"Ann", u"Adams"}, {u"Bob", u"Baker"}, {u"Cid", u"Carter"}, {u"", u"Acme Ltd"}});
    settings_.SetActiveState(GetParam().state);
    Open();
    TapRow(3);
    TapRow(3);  // one contact dismissed
    TapRow(4);
    TapRow(4);
    TapRow(4);  // one silently accepted
    settings_.SetItemsState(GetParam().mode);
    dialog_->repaint();
    QImage selector = dialog_->Selector()->grab().toImage();
    EXPECT_GT(test::CountPixels(selector, selector.rect(), [](QColor c) { return c == QColor(230, 230, 230); }), 100);
    test::SaveScreenshot(*dialog_, std::string("main-") + GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(States, MainScreenPictures,
                         testing::Values(ScreenState{"active", Active, UserSettings},
                                         ScreenState{"by-schedule", ActiveBySchedule, UserSettings},
                                         ScreenState{"disabled", Disabled, UserSettings},
                                         ScreenState{"accept-all", Active, AcceptAll},
                                         ScreenState{"silent-accept-all", Active, SilentAcceptAll},
                                         ScreenState{"dismiss-all", Active, DismissAll}),
                         [](const testing::TestParamInfo<ScreenState>& info) {
                             std::string name = info.param.name;
                             std::erase(name, '-');
                             return name;
                         });

}  // namespace
}  // namespace velmo
