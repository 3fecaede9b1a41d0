#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <functional>

#include "DialogTestSupport.h"
#include "WidgetTestSupport.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/SoftKeyBar.h"
#include "common/BlockedMessageFile.h"
#include "common/SettingsStore.h"
#include "device/Clock.h"
#include "device/ContactStore.h"
#include "device/MessageStore.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"
#include "tools/messaging/ComposeView.h"
#include "tools/messaging/MessageView.h"
#include "tools/messaging/MessagingMenus.h"
#include "tools/messaging/MessagingScreen.h"
#include "tools/messaging/SendWords.h"
#include "tools/messaging/SmsLength.h"

namespace velmo::messaging {
namespace {

using namespace std::chrono_literals;

const device::TimePoint kNow = device::TimePoint(std::chrono::sys_days(std::chrono::year(2024) / 3 / 5)) + 12h + 30min;

void Store(device::MessageStore& store, const char16_t* number, const char16_t* name, const char16_t* text,
           device::TimePoint delivered, bool read) {
    std::vector<device::Property> properties{
        device::Property::Text(PR_SENDER_EMAIL_ADDRESS_W, number), device::Property::Text(PR_SUBJECT_W, text),
        device::Property::Time(PR_MESSAGE_DELIVERY_TIME, device::Split(device::ToFileTime(delivered))),
        device::Property::Number(PR_MESSAGE_FLAGS, read ? MSGFLAG_READ : 0)};
    if (*name != u'\0') properties.push_back(device::Property::Text(PR_SENDER_NAME_W, name));
    store.CreateMessage(u"Inbox", properties);
}

void AddContact(const char16_t* first, const char16_t* last, const char16_t* mobile) {
    device::ContactEntry contact;
    contact[device::ContactField::FirstName] = first;
    contact[device::ContactField::LastName] = last;
    contact[device::ContactField::MobileTelephoneNumber] = mobile;
    device::ContactStore().Add(contact);
}

// What a row of the table does to the screen, by keys and taps alone, and what it saw.
class Driver {
public:
    MessagingScreen* screen = nullptr;
    QString opened;                        // the sender a message view showed
    std::vector<std::u16string> composed;  // the recipients a compose screen was started for

    OwnerDataListView* List() const { return screen->List(); }
    void Key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    void Down(int times) {
        for (int i = 0; i < times; ++i) Key(Qt::Key_Down);
    }
    void Type(const QString& text) {
        for (QChar c : text) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    void Tap(int row) {
        QRect place = List()->visualRect(List()->model()->index(row, 0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, place.center());
    }
    // Opens the right soft key's menu with F2 and walks to the entry (in a sub-menu after
    // "/") with the arrow keys, then presses Enter.
    void Menu(const QString& path, QWidget* where = nullptr) {
        QTest::keyClick(where != nullptr ? where : QApplication::focusWidget(), Qt::Key_F2);
        for (const QString& entry : path.split(QLatin1Char('/'))) {
            QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr) << path.toStdString();
            for (int step = 0; step < 12 && (menu->activeAction() == nullptr || menu->activeAction()->text() != entry);
                 ++step) {
                QTest::keyClick(menu, Qt::Key_Down);
            }
            ASSERT_EQ(menu->activeAction()->text(), entry);
            QTest::keyClick(menu, entry == path.section(QLatin1Char('/'), -1) ? Qt::Key_Return : Qt::Key_Right);
        }
    }
    // Runs action, answering the message box it shows.
    void Answer(const std::function<void()>& action, QMessageBox::StandardButton answer) {
        test::HandleModal<QMessageBox>(action, [answer](QMessageBox& box) { box.button(answer)->click(); });
    }
    // The lowest row of dark ink in the upper half of a list row, between the columns from and to.
    int InkBottom(int row, int from, int to) const {
        QRect place = List()->visualRect(List()->model()->index(row, 0));
        QImage image = List()->viewport()->grab(place).toImage();
        for (int y = image.height() / 2; y >= 0; --y) {
            if (test::CountPixels(image, QRect(from, y, to - from, 1), [](QColor c) { return c.lightness() < 128; }))
                return y;
        }
        return -1;
    }
    // Runs action, which opens a message, and then does inView there (Escape by default).
    void View(const std::function<void()>& action, const std::function<void(MessageView&)>& inView = {}) {
        // A tap opens the message once the list has taken the tap: the events run meanwhile.
        auto open = [&action] {
            action();
            QTest::qWait(50);
        };
        test::HandleModal<MessageView>(open, [&](MessageView& view) {
            opened = test::ReadOnScreen(*view.SenderLabel());
            test::SaveScreenshot(view, "messaging-message");
            if (inView) {
                inView(view);
            } else {
                QTest::keyClick(view.TextBox(), Qt::Key_Escape);
            }
        });
    }
};

struct KeyRow {
    const char* name;
    std::function<void(Driver&)> act;
    std::vector<const char*> senders;  // the Inbox's rows afterwards, from the top
    const char* chosen;                // the chosen row's sender, "" for none
    const char* opened;                // what a message view showed, "" for none
    std::vector<bool> read;            // the rows' read marks
    std::size_t blocked;               // records in Mesages.dat
    std::vector<std::u16string> composed;
};

void PrintTo(const KeyRow& row, std::ostream* out) { *out << row.name; }

class MessagingKeys : public testing::TestWithParam<KeyRow> {
protected:
    void SetUp() override {
        appDir_ = device_.InstallAppPath();
        device::SetNowForTesting(kNow);
        // Not the device's default, which would show "Berg Anna".
        SettingsStore().SetContactFormat(FirstLast);
        AddContact(u"Anna", u"Berg", u"+1 555 0100");
        device::MessageStore store;
        Store(store, u"+15550100", u"", u"Lunch at noon?", kNow - 2h, false);
        Store(store, u"+15550123", u"", u"See you\non Friday", kNow - 26h, true);
        Store(store, u"+15550199", u"Prize Desk", u"You have won", kNow - 1h, false);
        screen_ = std::make_unique<MessagingScreen>(
            nullptr, [this](QWidget*, const std::u16string& to) { driver_.composed.push_back(to); });
        driver_.screen = screen_.get();
        screen_->Create();
        ASSERT_TRUE(QTest::qWaitForWindowActive(screen_.get()));
    }
    void TearDown() override {
        screen_.reset();
        device::SetNowForTesting(std::nullopt);
    }

    test::ScopedLocale locale_{"en_GB"};
    test::TempDevice device_;
    std::filesystem::path appDir_;
    std::unique_ptr<MessagingScreen> screen_;
    Driver driver_;
};

TEST_P(MessagingKeys, ReachesEveryCommand) {
    const KeyRow& row = GetParam();
    row.act(driver_);
    test::SaveScreenshot(*screen_, std::string("messaging-") + row.name);
    std::vector<std::string> senders;
    std::vector<bool> read;
    for (int i = 0; i < static_cast<int>(screen_->Rows().size()); ++i) {
        senders.push_back(screen_->ShownSender(i).toStdString());
        read.push_back(screen_->Rows()[static_cast<std::size_t>(i)].read);
    }
    EXPECT_EQ(senders, std::vector<std::string>(row.senders.begin(), row.senders.end()));
    EXPECT_EQ(screen_->ShownSender(screen_->List()->SelectionMark()).toStdString(), row.chosen);
    EXPECT_EQ(driver_.opened.toStdString(), row.opened);
    EXPECT_EQ(read, row.read);
    auto data = appDir_ / "Mesages.dat";
    EXPECT_EQ(std::filesystem::exists(data) ? (std::filesystem::file_size(data) - 4) / 840 : 0, row.blocked);
    EXPECT_EQ(driver_.composed, row.composed);
    EXPECT_FALSE(screen_->Ended());
}

const std::vector<const char*> kAll{"Prize Desk", "Anna Berg", "+15550123"};

INSTANTIATE_TEST_SUITE_P(
    Rows, MessagingKeys,
    testing::Values(
        KeyRow{"AsOpened", [](Driver&) {}, kAll, "Prize Desk", "", {false, false, true}, 0, {}},
        KeyRow{"EnterOpensTheChosenAndMarksItRead",
               [](Driver& d) { d.View([&d] { d.Down(1), d.Key(Qt::Key_Return); }); },
               kAll,
               "Anna Berg",
               "Anna Berg",
               {false, true, true},
               0,
               {}},
        KeyRow{"ATapOpens",
               [](Driver& d) { d.View([&d] { d.Tap(2); }); },
               kAll,
               "+15550123",
               "+15550123",
               {false, false, true},
               0,
               {}},
        KeyRow{"DeleteAsksAndNoKeepsIt",
               [](Driver& d) { d.Answer([&d] { d.Key(Qt::Key_F1); }, QMessageBox::No); },
               kAll,
               "Prize Desk",
               "",
               {false, false, true},
               0,
               {}},
        KeyRow{"DeleteKeyAndYesTheNextMovesUp",
               [](Driver& d) { d.Answer([&d] { d.Key(Qt::Key_Delete); }, QMessageBox::Yes); },
               {"Anna Berg", "+15550123"},
               "Anna Berg",
               "",
               {false, true},
               0,
               {}},
        KeyRow{"MenuMarksAsUnread",
               [](Driver& d) { d.Key(Qt::Key_End), d.Menu(QStringLiteral("Mark as unread")); },
               kAll,
               "+15550123",
               "",
               {false, false, false},
               0,
               {}},
        KeyRow{"MenuMovesToBlockedMessages",
               [](Driver& d) { d.Menu(QStringLiteral("Move to blocked messages")); },
               {"Anna Berg", "+15550123"},
               "Anna Berg",
               "",
               {false, true},
               1,
               {}},
        KeyRow{"TypingJumpsToTheSender",
               [](Driver& d) { d.Key(Qt::Key_Home), d.Type(QStringLiteral("an")); },
               kAll,
               "Anna Berg",
               "",
               {false, false, true},
               0,
               {}},
        KeyRow{"TypingFindsANumberAfterASearchTimedOut",
               [](Driver& d) {
                   d.Type(QStringLiteral("an"));
                   d.screen->SetTimer(MessagingScreen::kQuickFindTimer, 1);  // hurried, not waited for
                   QTest::qWait(30);
                   d.Type(QStringLiteral("+1555012"));
                   d.Key(Qt::Key_Escape);  // closes the search, not the screen
               },
               kAll,
               "+15550123",
               "",
               {false, false, true},
               0,
               {}},
        KeyRow{
            "TheOutboxSaysNotSentAndWhyAndOffersNoReply",
            [](Driver& d) {
                std::vector<device::Property> waiting{
                    device::Property::Text(0x0E04001F, u"+15550100"),
                    device::Property::Text(PR_SUBJECT_W, u"Running late"),
                    device::Property::Text(PROP_TAG(PT_UNICODE, 0x8101), u"ModemManager has no modem with messaging"),
                    device::Property::Number(PR_MESSAGE_FLAGS, MSGFLAG_READ)};
                device::MessageStore().CreateMessage(u"Outbox", waiting);
                d.Menu(QStringLiteral("Folders/Outbox"));
                EXPECT_EQ(d.screen->ShownTime(0), QStringLiteral("Not sent"));
                EXPECT_FALSE(d.screen->MenuBar()->FindCommand(kCommandReply)->isVisible());
                d.View([&d] { d.Key(Qt::Key_Return); },
                       [](MessageView& view) {
                           EXPECT_EQ(view.ReasonLabel()->text(), QStringLiteral("Not sent: No modem with messaging"));
                           EXPECT_EQ(view.TextBox()->toPlainText(), QStringLiteral("Running late"));
                           EXPECT_EQ(view.MenuBar()->FindCommand(kCommandReply), nullptr);
                           QTest::keyClick(view.TextBox(), Qt::Key_Escape);
                       });
            },
            {"Anna Berg"},
            "Anna Berg",
            "To: Anna Berg",
            {true},
            0,
            {}},
        KeyRow{"ReplyInTheViewComposesToTheSender",
               [](Driver& d) {
                   d.View([&d] { d.Down(1), d.Key(Qt::Key_Return); },
                          [](MessageView& view) { QTest::keyClick(view.TextBox(), Qt::Key_F1); });
               },
               kAll,
               "Anna Berg",
               "Anna Berg",
               {false, true, true},
               0,
               {u"+15550100"}},
        KeyRow{"BlockInTheView",
               [](Driver& d) {
                   d.View(
                       [&d] { d.Key(Qt::Key_Return); },
                       [&d](MessageView& view) { d.Menu(QStringLiteral("Move to blocked messages"), view.TextBox()); });
               },
               {"Anna Berg", "+15550123"},
               "Anna Berg",
               "Prize Desk",
               {false, true},
               1,
               {}},
        KeyRow{"CancelAsksBeforeAWrittenTextIsLost",
               [](Driver& d) {
                   ComposeView compose(d.screen, u"+15550100", {});
                   compose.Create();
                   QTest::keyClicks(compose.TextBox(), QStringLiteral("Hi"));
                   d.Answer([&] { QTest::mouseClick(compose.MenuBar()->Key(1), Qt::LeftButton); }, QMessageBox::No);
                   EXPECT_FALSE(compose.Ended());
                   d.Answer([&] { QTest::mouseClick(compose.DoneButton(), Qt::LeftButton); }, QMessageBox::Yes);
                   EXPECT_TRUE(compose.Ended());
               },
               kAll,
               "Prize Desk",
               "",
               {false, false, true},
               0,
               {}},
        KeyRow{"NewFromTheMenu",
               [](Driver& d) { d.Menu(QStringLiteral("New...")); },
               kAll,
               "Prize Desk",
               "",
               {false, false, true},
               0,
               {u""}},
        KeyRow{"AMessageArrivingKeepsTheChosenOne",
               [](Driver& d) {
                   d.Down(1);
                   device::MessageStore other;
                   Store(other, u"+15550777", u"", u"Just now", kNow, false);
                   d.screen->Refresh();
               },
               {"+15550777", "Prize Desk", "Anna Berg", "+15550123"},
               "Anna Berg",
               "",
               {false, false, false, true},
               0,
               {}},
        KeyRow{"AnAccentedNameStandsLevelWithTheTime",
               [](Driver& d) {
                   device::MessageStore other;
                   Store(other, u"+15550777", u"\u00C9mile \u00C5berg", u"Just now", kNow - 30min, false);
                   d.screen->Refresh();
                   EXPECT_EQ(d.InkBottom(0, 0, 40), d.InkBottom(0, d.List()->width() - 40, d.List()->width()));
               },
               {"\u00C9mile \u00C5berg", "Prize Desk", "Anna Berg", "+15550123"},
               "Prize Desk",
               "",
               {false, false, false, true},
               0,
               {}},
        KeyRow{"AContactAddedNamesItsMessagesAtTheNextRefresh",
               [](Driver& d) { AddContact(u"Carl", u"Dunn", u"+1 555 0123"), d.screen->Refresh(); },
               {"Prize Desk", "Anna Berg", "Carl Dunn"},
               "Prize Desk",
               "",
               {false, false, true},
               0,
               {}},
        KeyRow{"AStrangersMarkupIsShownAsWritten",
               [](Driver& d) {
                   device::MessageStore other;
                   Store(other, u"<b>Bank</b>", u"<h1>Mum</h1>", u"<img src=file:///etc/passwd>", kNow, false);
                   d.screen->Refresh();
                   d.View([&d] { d.Key(Qt::Key_Home), d.Key(Qt::Key_Return); },
                          [](MessageView& view) {
                              test::SaveScreenshot(view, "messaging-markup");
                              EXPECT_TRUE(test::ReadOnScreen(*view.DetailLabel()).startsWith("<b>Bank</b>  "));
                              QTest::keyClick(view.TextBox(), Qt::Key_Escape);
                          });
               },
               {"<h1>Mum</h1>", "Prize Desk", "Anna Berg", "+15550123"},
               "<h1>Mum</h1>",
               "<h1>Mum</h1>",
               {true, false, false, true},
               0,
               {}},
        KeyRow{
            "SentFolderFromTheMenu", [](Driver& d) { d.Menu(QStringLiteral("Folders/Sent")); }, {}, "", "", {}, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LengthRow {
    const char* name;
    std::u16string text;
    bool unicode;
    std::size_t units;
    std::size_t parts;
    const char* shown;  // the compose screen's length line
};

void PrintTo(const LengthRow& row, std::ostream* out) { *out << row.name; }

class SmsLengthRows : public testing::TestWithParam<LengthRow> {};

TEST_P(SmsLengthRows, CountsAsTheNetworkSplitsIt) {
    const LengthRow& row = GetParam();
    SmsLength length = MeasureSms(row.text);
    EXPECT_EQ(length.unicode, row.unicode);
    EXPECT_EQ(length.units, row.units);
    EXPECT_EQ(length.parts, row.parts);
    EXPECT_EQ(LengthText(row.text).toStdString(), row.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SmsLengthRows,
    testing::Values(
        LengthRow{"Empty", u"", false, 0, 1, "160 characters left"},
        LengthRow{"FullGsm", std::u16string(160, u'a'), false, 160, 1, "160/160 characters, 1 message"},
        LengthRow{"OneGsmPastOne", std::u16string(161, u'a'), false, 161, 2, "161/306 characters, 2 messages"},
        LengthRow{"ThreeGsmParts", std::u16string(307, u'e'), false, 307, 3, "307/459 characters, 3 messages"},
        LengthRow{"ExtensionCountsTwice", u"€[]", false, 6, 1, "6/160 characters, 1 message"},
        // The euro's two septets would straddle the first part's end: they begin the second.
        LengthRow{"ExtensionNotSplit", std::u16string(152, u'a') + u"€" + std::u16string(152, u'a'), false, 306, 3,
                  "306/459 characters, 3 messages"},
        LengthRow{"FullUcs2", std::u16string(70, u'ж'), true, 70, 1, "70/70 characters, 1 message (Unicode)"},
        LengthRow{"Ucs2PastOne", std::u16string(71, u'ж'), true, 71, 2, "71/134 characters, 2 messages (Unicode)"},
        LengthRow{"SurrogatePairNotSplit", std::u16string(66, u'ж') + u"\U0001F600" + std::u16string(66, u'ж'), true,
                  134, 3, "134/201 characters, 3 messages (Unicode)"}),
    [](const auto& info) { return std::string(info.param.name); });

// What the sender said (one reason, or a retry's output), and what the screen tells the person.
struct WordsRow {
    const char* name;
    const char* said;
    bool retry;
    const char* shown;
};

void PrintTo(const WordsRow& row, std::ostream* out) { *out << row.name; }

class SendWordsRows : public testing::TestWithParam<WordsRow> {};

TEST_P(SendWordsRows, SayWhatItMeans) {
    const WordsRow& row = GetParam();
    EXPECT_EQ(row.retry ? RetrySummary(row.said) : PlainSendReason(row.said), row.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SendWordsRows,
    testing::Values(
        WordsRow{"NoSystemBus",
                 "no system bus (Failed to connect to socket /run/dbus/system_bus_socket: No such file or directory)",
                 false, "No modem: ModemManager is not running"},
        WordsRow{"Refused",
                 "modem /org/freedesktop/ModemManager1/Modem/0 did not send it "
                 "(org.freedesktop.ModemManager1.Error.Core.Failed: No network)",
                 false, "The modem refused the message: No network"},
        WordsRow{"RetryOneOfThree",
                 "sent to +1 \"a\": in Sent\n"
                 "not sent to +2 \"b\": ModemManager has no modem with messaging; left in the Outbox\n"
                 "not sent to +3 \"c\": ModemManager has no modem with messaging; left in the Outbox\n",
                 true, "1 of 3 messages were sent.\nNo modem with messaging.\nThe others wait in the Outbox."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmo::messaging
