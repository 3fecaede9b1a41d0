#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <fstream>

#include "DialogTestSupport.h"
#include "WidgetTestSupport.h"
#include "app/core/BlockedMessageRows.h"
#include "app/resources/StringTable.h"
#include "app/ui/BlockedMessagesDialog.h"
#include "app/ui/BoldFont.h"
#include "app/ui/MessageDialog.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/Painting.h"
#include "app/ui/SoftKeyBar.h"
#include "common/SpamModelFile.h"
#include "common/SpamScoreFile.h"
#include "common/trainer/SpamExplanation.h"
#include "device/Clock.h"
#include "device/MessageStore.h"
#include "device/SmsTransport.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/StoredTimeRows.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

using namespace std::chrono_literals;

// 2024-03-05 23:30:15 UTC: already the 6th in central Europe.
const device::TimePoint kNow =
    device::TimePoint(std::chrono::sys_days(std::chrono::year(2024) / 3 / 5)) + 23h + 30min + 15s;

TEST(BlockedMessageRows, TheNewestRecordIsAtTheTopAndRowsPastTheRecordsShowNone) {
    // In the order of arrival: records 1 and 3 delivered at the same moment, record 2 first of all.
    const std::vector<std::uint32_t> order = NewestFirst(std::vector<std::uint64_t>{20, 30, 10, 30});
    EXPECT_EQ(order, (std::vector<std::uint32_t>{3, 1, 0, 2}));
    EXPECT_EQ(RecordOfRow(order, 0), 3u);
    EXPECT_EQ(RecordOfRow(order, 3), 2u);
    EXPECT_EQ(RecordOfRow(order, 4), std::nullopt);
    EXPECT_EQ(RecordOfRow(order, -1), std::nullopt);
    EXPECT_EQ(RecordOfRow({}, 0), std::nullopt);
}

TEST(BlockedMessageRows, TheSenderIsTheNameOrElseTheAddressAndNoTextRunsPastItsField) {
    BlockedMessageRecord named = MakeBlockedMessageRecord(u"+4915112345", u"Hi", u"Ann", {});
    BlockedMessageRecord unnamed = MakeBlockedMessageRecord(u"+4915112345", u"Hi", nullptr, {});
    EXPECT_EQ(ShownSender(named), u"Ann");
    EXPECT_EQ(ShownSender(unnamed), u"+4915112345");
    BlockedMessageRecord unterminated{};
    std::fill(std::begin(unterminated.subject), std::end(unterminated.subject), u'x');
    std::fill(std::begin(unterminated.senderAddress), std::end(unterminated.senderAddress), u'7');
    EXPECT_EQ(MessageText(unterminated).size(), 256u);
    EXPECT_EQ(ShownSender(unterminated).size(), 32u);
    EXPECT_EQ(SenderNumber(named), u"+4915112345");
    EXPECT_EQ(SenderNumber(unnamed), u"");
    EXPECT_EQ(OneLine(u"See you\r\non\tFriday\n\x1b[31mnow\a"), u"See you on Friday \\e[31mnow\\x07");
}

class BlockedMessagesDialogTest : public testing::Test {
protected:
    void SetUp() override {
        appDir_ = device_.InstallAppPath();
        device::SetNowForTesting(kNow);
    }
    void TearDown() override {
        dialog_.reset();
        device::SetNowForTesting(std::nullopt);
    }

    std::filesystem::path DataFile() const { return appDir_ / "Mesages.dat"; }
    void Append(const char16_t* address, const char16_t* text, const char16_t* name, std::chrono::seconds age) {
        BlockedMessageFile file;
        file.SetPath((appDir_ / "Mesages.dat").u16string());
        file.Open();
        ASSERT_TRUE(
            file.Append(MakeBlockedMessageRecord(address, text, name, device::Split(device::ToFileTime(kNow - age)))));
    }
    void Open(Platform platform = kBuildPlatform) {
        dialog_ = std::make_unique<BlockedMessagesDialog>(nullptr, settings_, platform);
        dialog_->Create();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    }
    OwnerDataListView* List() const { return dialog_->List(); }
    QRect RowRect(int row) const { return List()->visualRect(List()->model()->index(row, 0)); }
    void TapRow(int row) { QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowRect(row).center()); }
    QImage RowImage(int row) const { return List()->viewport()->grab(RowRect(row)).toImage(); }
    void MarkRow(int row) {
        // The offscreen platform has no window manager to give the dialog back its activation
        // when a message dialog closes over it.
        dialog_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
        ASSERT_TRUE(List()->hasFocus());
        List()->SelectItem(0);
        for (int step = 0; step < row; ++step) QTest::keyClick(List(), Qt::Key_Down);
        ASSERT_EQ(List()->SelectionMark(), row);
    }
    // The sender that the message dialog shows for what happens, or empty when none opens.
    QString OpenedSender(const std::function<void()>& action) {
        QString sender;
        test::HandleModal<MessageDialog>(action, [&sender](MessageDialog& message) {
            sender = test::ReadOnScreen(*message.SenderLabel());
            QTest::mouseClick(message.MenuBar()->Key(0), Qt::LeftButton);
        });
        return sender;
    }
    // Chooses "Empty" and answers its question; the question's text.
    QString Empty(QMessageBox::StandardButton answer) {
        QString question;
        test::HandleModal<QMessageBox>([this] { QTest::mouseClick(dialog_->MenuBar()->Key(1), Qt::LeftButton); },
                                       [&](QMessageBox& box) {
                                           question = box.windowTitle() + QLatin1Char('|') +
                                                      box.text().replace(QLatin1Char('\n'), QLatin1Char(' '));
                                           box.button(answer)->click();
                                       });
        return question;
    }

    test::ScopedLocale locale_{"en_GB"};
    test::ScopedTimeZone zone_{test::kOneHourEast};
    test::TempDevice device_;
    std::filesystem::path appDir_;
    SettingsStore settings_;
    std::unique_ptr<BlockedMessagesDialog> dialog_;
};

TEST_F(BlockedMessagesDialogTest, RowsReadNewestFirstAndEnterOrASecondTapOpensTheRow) {
    Append(u"+111", u"first", u"A", 3h);
    Append(u"+222", u"second", u"B", 2h);
    Append(u"+333", u"third", u"C", 1h);
    Append(u"+444", u"arrived last, delivered first", u"D", 4h);
    Open();
    ASSERT_EQ(List()->ItemCount(), 4);
    test::SaveScreenshot(*dialog_, "blocked-list");
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Down);
    EXPECT_EQ(List()->SelectionMark(), 0) << "with nothing chosen, Down chooses the newest";
    std::vector<QString> senders;
    for (int row = 0; row < 4; ++row) {
        MarkRow(row);
        senders.push_back(OpenedSender([this] { QTest::keyClick(List(), Qt::Key_Return); }));
    }
    EXPECT_EQ(senders, (std::vector<QString>{QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("A"),
                                             QStringLiteral("D")}));

    EXPECT_EQ(OpenedSender([this] { TapRow(0); }), QString()) << "the first tap only chooses the row";
    EXPECT_EQ(List()->SelectionMark(), 0);
    EXPECT_EQ(OpenedSender([this] { TapRow(0); }), QStringLiteral("C"));
    EXPECT_FALSE(dialog_->Ended());

    // A message that arrives while the list is open takes its row at the next paint, and C stays chosen.
    List()->viewport()->repaint();
    Append(u"+555", u"arrived while open", u"E", 30min);
    List()->viewport()->repaint();
    QApplication::processEvents();
    EXPECT_EQ(List()->ItemCount(), 5);
    EXPECT_EQ(List()->SelectionMark(), 1);
    // The key that brings the next arrival to the screen acts on the rows it was pressed on:
    // Down goes from C to B, which F's row above pushes to row 3.
    Append(u"+666", u"arrived while open too", u"F", 20min);
    QTest::keyClick(List(), Qt::Key_Down);
    List()->viewport()->repaint();
    QApplication::processEvents();
    EXPECT_EQ(List()->ItemCount(), 6);
    EXPECT_EQ(List()->SelectionMark(), 3);
    // Nor does a new arrival wait for a key or a paint to be asked for.
    Append(u"+777", u"arrived with no key pressed", u"G", 10min);
    EXPECT_EVENTUALLY(List()->ItemCount() == 7, 5000);
}

TEST_F(BlockedMessagesDialogTest, AFreshListHasNoMarkSoTheFirstTapOnTheTopRowOnlyChoosesIt) {
    Append(u"+111", u"first", u"A", 2h);
    Append(u"+222", u"second", u"<font color=red size=6>B</font>", 1h);
    Open();
    EXPECT_EQ(List()->SelectionMark(), -1);
    EXPECT_EQ(OpenedSender([this] { QTest::keyClick(List(), Qt::Key_Return); }), QString());
    EXPECT_EQ(OpenedSender([this] { TapRow(0); }), QString());
    EXPECT_EQ(List()->SelectionMark(), 0);
    // A sender's markup is shown as written, never obeyed.
    EXPECT_EQ(OpenedSender([this] { TapRow(0); }), QStringLiteral("<font color=red size=6>B</font>"));
}

// A key that ends a dialog as its "Done" soft key does.
struct DoneKey {
    const char* name;
    bool messageView;  // in the message view opened from the list, else in the list
    Qt::Key key;
};

class BlockedMessagesDoneKey : public BlockedMessagesDialogTest, public testing::WithParamInterface<DoneKey> {};

TEST_P(BlockedMessagesDoneKey, EndsTheDialogAsDoneDoes) {
    Append(u"+111", u"first", u"A", 1h);
    Open();
    if (!GetParam().messageView) {
        QTest::keyClick(List(), GetParam().key);
        EXPECT_TRUE(dialog_->Ended());
        EXPECT_EQ(dialog_->result(), IDM_DONE);
        return;
    }
    MarkRow(0);
    int result = 0;
    bool opened = test::HandleModal<MessageDialog>([this] { QTest::keyClick(List(), Qt::Key_Return); },
                                                   [&](MessageDialog& message) {
                                                       EXPECT_TRUE(QTest::qWaitForWindowActive(&message));
                                                       QTest::keyClick(message.TextBox(), GetParam().key);
                                                       result = message.result();
                                                       // A key that did not end the message leaves it to the window.
                                                       if (!message.Ended()) message.close();
                                                   });
    EXPECT_TRUE(opened);
    EXPECT_EQ(result, IDM_DONE);
    EXPECT_FALSE(dialog_->Ended());
}

INSTANTIATE_TEST_SUITE_P(Keys, BlockedMessagesDoneKey,
                         testing::Values(DoneKey{"EscapeInTheList", false, Qt::Key_Escape},
                                         DoneKey{"LeftSoftKeyInTheList", false, Qt::Key_F1},
                                         DoneKey{"EscapeInTheMessage", true, Qt::Key_Escape},
                                         DoneKey{"LeftSoftKeyInTheMessage", true, Qt::Key_F1}),
                         [](const testing::TestParamInfo<DoneKey>& info) { return info.param.name; });

TEST_F(BlockedMessagesDialogTest, TheMessageShowsLocalTimeWithoutSecondsTheAddressForNoNameAndTheText) {
    Append(u"+4917012345", u"Call me back\r\nplease", nullptr, 0s);
    Open();
    MarkRow(0);
    bool opened = test::HandleModal<MessageDialog>(
        [this] { QTest::keyClick(List(), Qt::Key_Return); },
        [](MessageDialog& message) {
            EXPECT_EQ(message.Caption(), QStringLiteral("Blocked Messages"));
            EXPECT_EQ(message.TimeLabel()->text(), QStringLiteral("00:30 06/03/2024"));
            EXPECT_EQ(message.SenderLabel()->text(), QStringLiteral("+4917012345"));
            EXPECT_TRUE(message.SenderLabel()->font().bold());
            EXPECT_TRUE(message.TimeLabel()->font().bold());
            EXPECT_EQ(message.TextBox()->toPlainText(),
                      QStringLiteral("Call me back\r\nplease").replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            EXPECT_TRUE(message.TextBox()->isReadOnly());
            QRect body = message.Body()->rect();
            QRect text = message.TextBox()->geometry();
            EXPECT_EQ(text.left(), 1);
            EXPECT_EQ(text.right(), body.right() - 1);
            EXPECT_EQ(text.bottom(), body.bottom());
            test::SaveScreenshot(message, "blocked-message");
            QTest::mouseClick(message.DoneButton(), Qt::LeftButton);
            EXPECT_EQ(message.result(), IDOK);
        });
    EXPECT_TRUE(opened);
}

// A message the model judged spam says so under its sender, with the three features that
// weighed most, one a line, named from the file the trainer wrote beside the model.
TEST_F(BlockedMessagesDialogTest, AMessageJudgedSpamSaysWhyUnderItsScore) {
    const std::u16string text = u"WINNER! Claim your £1000 prize at https://prize-claim.top/win now";
    const std::vector<LabelledMessage> messages{{true, text},
                                                {true, u"Claim £500 cash at https://cash.top/x"},
                                                {false, u"See you at lunch"},
                                                {false, u"Call me when you are home"}};
    SpamModel model;
    std::string error;
    ASSERT_TRUE(TrainSpamModel(messages, SpamTrainingOptions{}, model, error)) << error;
    const std::string path = (appDir_ / "SpamModel.dat").string();
    ASSERT_TRUE(WriteSpamModel(device::ToUtf16(path), model));
    ASSERT_TRUE(WriteSpamNames(SpamNamesPath(path), model, messages));
    Append(u"+447700900555", text.c_str(), nullptr, 0s);
    const BlockedMessageRecord record =
        MakeBlockedMessageRecord(u"+447700900555", text.c_str(), nullptr, device::Split(device::ToFileTime(kNow)));
    ASSERT_TRUE(AppendSpamScore((appDir_ / "SpamScores.dat").u16string(), record, 0.99));
    Open();
    MarkRow(0);
    bool opened = test::HandleModal<MessageDialog>(
        [this] { QTest::keyClick(List(), Qt::Key_Return); },
        [](MessageDialog& message) {
            EXPECT_EQ(message.SpamLabel()->text(), QStringLiteral("judged spam, score 0.99"));
            ASSERT_NE(message.SpamReasonsLabel(), nullptr);
            const QStringList lines = message.SpamReasonsLabel()->text().split(QLatin1Char('\n'));
            EXPECT_EQ(lines.size(), 3);
            for (const QString& line : lines) EXPECT_TRUE(line.contains(QStringLiteral(" +"))) << line.toStdString();
            EXPECT_GE(message.TextBox()->geometry().top(), message.SpamReasonsLabel()->geometry().bottom());
            test::SaveScreenshot(message, "blocked-message-spam");
            QTest::mouseClick(message.DoneButton(), Qt::LeftButton);
        });
    EXPECT_TRUE(opened);
}

class BlockedMessageTimes : public BlockedMessagesDialogTest,
                            public testing::WithParamInterface<test::StoredTimeRow> {};

TEST_P(BlockedMessageTimes, TheRowAndTheMessageShowTheStoredTimeExactly) {
    const std::string& local = GetParam().local;  // YYYY-MM-DD HH:MM:SS
    const QString date =
        QString::fromStdString(local.substr(8, 2) + "/" + local.substr(5, 2) + "/" + local.substr(0, 4));
    BlockedMessageRecord record = MakeBlockedMessageRecord(u"+1", u"Hi", u"Ann", device::Split(GetParam().fileTime));
    EXPECT_EQ(BlockedMessagesDialog::DateText(record), date);
    MessageDialog message(nullptr, record, u"");
    message.Create();
    EXPECT_EQ(message.TimeLabel()->text(), QString::fromStdString(local.substr(11, 5)) + QLatin1Char(' ') + date);
}

INSTANTIATE_TEST_SUITE_P(Rows, BlockedMessageTimes, testing::ValuesIn(test::kStoredTimeRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlockedMessagesDialogTest, OpeningOnceRemovesTheRecordsOlderThanThePurgeAge) {
    settings_.SetDeleteTimeType(OneDay);
    Append(u"+1", u"old", u"Old", 72h);
    Append(u"+2", u"older than a day", u"Day", 48h);
    Append(u"+3", u"young", u"Young", 1h);
    Open();
    EXPECT_EQ(List()->ItemCount(), 1);
    QTest::mouseClick(dialog_->MenuBar()->Key(0), Qt::LeftButton);  // Done
    EXPECT_EQ(dialog_->result(), IDM_DONE);
    auto bytes = test::ReadFileBytes(DataFile());
    ASSERT_EQ(bytes.size(), 844u);
    BlockedMessageRecord kept;
    std::memcpy(&kept, bytes.data() + 4, sizeof kept);
    EXPECT_EQ(ShownSender(kept), u"Young");
}

TEST_F(BlockedMessagesDialogTest, EmptyAnsweredNoKeepsEveryRecordAndYesLeavesNone) {
    Append(u"+1", u"one", u"A", 2h);
    Append(u"+2", u"two", u"B", 1h);
    Open();
    auto before = test::ReadFileBytes(DataFile());
    EXPECT_EQ(Empty(QMessageBox::No), QStringLiteral("VelmoLight|Remove all items from blocked messages list?"));
    EXPECT_EQ(test::ReadFileBytes(DataFile()), before);
    EXPECT_EQ(List()->ItemCount(), 2);

    Empty(QMessageBox::Yes);
    EXPECT_FALSE(dialog_->Ended());
    EXPECT_EQ(List()->ItemCount(), 0);
    EXPECT_EQ(test::ReadFileBytes(DataFile()).size(), 4u);
    dialog_->close();
    EXPECT_EQ(dialog_->result(), kClosedByWindow);

    Open();
    EXPECT_EQ(List()->ItemCount(), 0);
}

TEST_F(BlockedMessagesDialogTest, ARowWhoseRecordIsGoneDrawsNothingAndDoesNotOpen) {
    Append(u"+1", u"one", u"A", 3h);
    Append(u"+2", u"two", u"B", 2h);
    Append(u"+3", u"three", u"C", 1h);
    Open();
    // Another process cuts the file to its oldest record while the list is open.
    std::filesystem::resize_file(DataFile(), 4 + 840);
    MarkRow(2);
    List()->viewport()->repaint();
    EXPECT_EQ(test::CountPixels(RowImage(2), RowImage(2).rect(), [](QColor c) { return c != QColor(Qt::white); }), 0);
    EXPECT_EQ(OpenedSender([this] { QTest::keyClick(List(), Qt::Key_Return); }), QString());
    MarkRow(0);
    EXPECT_EQ(OpenedSender([this] { QTest::keyClick(List(), Qt::Key_Return); }), QStringLiteral("A"));
}

TEST_F(BlockedMessagesDialogTest, TheChosenRowIsFilledAndEveryRowEndsInAWhiteLine) {
    Append(u"+1", u"Hi", u"Ann", 1h);
    Append(u"+2", u"Yo", u"Bob", 1h);
    Open();
    MarkRow(0);
    List()->viewport()->repaint();
    QColor fill = ColorFromRef(BlockedMessagesDialog::kSelectedRowColour);
    QImage chosen = RowImage(0);
    QImage other = RowImage(1);
    EXPECT_EQ(List()->RowHeight(), QFontMetrics(BoldFont()).height() * 5 / 2);
    EXPECT_EQ(chosen.height(), List()->RowHeight());
    auto isFill = [&fill](QColor c) { return c == fill; };
    EXPECT_GT(test::CountPixels(chosen, chosen.rect(), isFill), chosen.width() * chosen.height() / 2);
    EXPECT_EQ(test::CountPixels(other, other.rect(), isFill), 0);
    QRect bottomLine(0, chosen.height() - 1, chosen.width(), 1);
    EXPECT_EQ(test::CountPixels(chosen, bottomLine, [](QColor c) { return c == QColor(Qt::white); }), chosen.width());
    // Sender at the left and date at the right of the upper half; the text in the lower.
    auto isText = [](QColor c) { return c.lightness() < 60; };
    int half = chosen.height() / 2;
    EXPECT_GT(test::CountPixels(chosen, QRect(0, 0, 30, half), isText), 5);
    EXPECT_GT(test::CountPixels(chosen, QRect(chosen.width() - 30, 0, 30, half), isText), 5);
    EXPECT_GT(test::CountPixels(chosen, QRect(0, half, 30, chosen.height() - half - 1), isText), 5);
    EXPECT_EQ(test::CountPixels(chosen, QRect(chosen.width() - 30, half, 30, chosen.height() - half - 1), isText), 0);

    // The date reaches the right edge with every column of its ink.
    int inkColumns = 0;
    for (int x = other.width() - 80; x < other.width(); ++x) {
        inkColumns += test::CountPixels(other, QRect(x, 0, 1, half), [](QColor c) { return c.lightness() < 250; }) > 0;
    }
    EXPECT_EQ(inkColumns, QFontMetrics(List()->font()).boundingRect(QStringLiteral("06/03/2024")).width());
}

TEST_F(BlockedMessagesDialogTest, LongSendersEndInAnEllipsisOnWindowsMobile5Only) {
    Append(u"+1", u"short", u"Al", 2h);
    Append(u"+2", u"short", u"Bartholomew-Maximilian Featherstonehaugh-Wolfeschlegel", 1h);
    Open(Platform::WindowsMobile5);
    QImage longWm5 = RowImage(0);
    QImage shortWm5 = RowImage(1);
    test::SaveScreenshot(*dialog_, "blocked-long-sender-wm5");
    dialog_.reset();
    Open(Platform::PocketPC2003);
    test::SaveScreenshot(*dialog_, "blocked-long-sender-ppc2003");
    EXPECT_NE(RowImage(0), longWm5);
    EXPECT_EQ(RowImage(1), shortWm5);
    // The message view ends the name in an ellipsis and shows the number beside it.
    MarkRow(0);
    test::HandleModal<MessageDialog>([this] { QTest::keyClick(List(), Qt::Key_Return); },
                                     [](MessageDialog& message) {
                                         EXPECT_TRUE(message.SenderLabel()->text().endsWith(QChar(0x2026)));
                                         EXPECT_EQ(message.NumberLabel()->text(), QStringLiteral("+2"));
                                         QRect number = message.NumberLabel()->geometry();
                                         EXPECT_EQ(number.right(), message.Body()->rect().right() - 1);
                                         test::SaveScreenshot(message, "blocked-message-long-sender");
                                         QTest::keyClick(message.TextBox(), Qt::Key_Escape);
                                     });
}

// ---- Restore

enum class Disturbance { None, DamagedMessageStore, FileChangedUnderTheView };

struct RestoreRow {
    const char* name;
    int row;
    Disturbance disturbance;
    unsigned failureText;  // 0 when the restore succeeds
    int chosenAfter;       // the list's selection once the view is closed
};

// A delivery time as the transport's input holds it, in FILETIME's unit.
device::FileTimePoint Arrived(device::TimePoint instant) {
    return std::chrono::time_point_cast<device::FileTimeTicks>(instant);
}

class RestoreTest : public BlockedMessagesDialogTest, public testing::WithParamInterface<RestoreRow> {
protected:
    // Three dismissed messages, the oldest first, as the transport had received them.
    const std::vector<device::IncomingSms> sms_{
        {u"+1 555 0100", u"Ada Marsh", u"Report tomorrow.", Arrived(kNow - 3h)},
        {u"+1 555 0110", u"", u"Depot closes at nine.", Arrived(kNow - 2h)},
        {u"+1 555 0199", u"Prize Desk", u"You have won a cruise!", Arrived(kNow - 1h)},
    };
};

TEST_P(RestoreTest, RestorePutsTheMessageBackInTheInboxAndTakesItsRowAway) {
    const RestoreRow& row = GetParam();
    for (const auto& sms : sms_) {
        auto age = std::chrono::duration_cast<std::chrono::seconds>(kNow - *sms.deliveryTime);
        Append(sms.number.c_str(), sms.text.c_str(), sms.name.c_str(), age);
    }
    const std::vector<std::uint8_t> before = test::ReadFileBytes(DataFile());
    if (row.disturbance == Disturbance::DamagedMessageStore) {
        std::ofstream(device_.Root() / "messages.db") << std::string(4096, 'x');
    }
    Open();
    MarkRow(row.row);
    const std::size_t index = sms_.size() - 1 - static_cast<std::size_t>(row.row);
    QString failure;
    bool closedByRestore = false;
    // Nothing here returns early: the view must be closed for the test to go on.
    auto restoreFromTheView = [&](MessageDialog& message) {
        EXPECT_EQ(message.MenuBar()->KeyCount(), 2);
        EXPECT_EQ(message.MenuBar()->Key(1)->text(), QStringLiteral("Restore"));
        EXPECT_EQ(LoadStringResource(IDS_RESTORE), u"Restore");
        if (row.row == 0) test::SaveScreenshot(message, "blocked-message-restore");
        if (row.disturbance == Disturbance::FileChangedUnderTheView) {
            // Another process restores the oldest message meanwhile; the records move down by one.
            BlockedMessageFile other;
            other.SetPath(DataFile().u16string());
            other.Open();
            BlockedMessageRecord oldest{};
            EXPECT_TRUE(other.ReadAt(0, oldest));
            EXPECT_EQ(other.Remove(0, oldest), BlockedMessageFile::RemoveResult::Removed);
        }
        QPushButton* restore = message.MenuBar()->Key(message.MenuBar()->KeyCount() - 1);
        failure = test::CloseMessageBoxDuring([restore] { QTest::mouseClick(restore, Qt::LeftButton); });
        closedByRestore = message.Ended();
        if (!closedByRestore) QTest::mouseClick(message.DoneButton(), Qt::LeftButton);
    };
    ASSERT_TRUE(
        test::HandleModal<MessageDialog>([this] { QTest::keyClick(List(), Qt::Key_Return); }, restoreFromTheView));

    std::vector<device::StoredMessage> inbox;
    if (row.disturbance != Disturbance::DamagedMessageStore) inbox = device::MessageStore().ListFolder(u"Inbox");
    std::vector<std::uint8_t> after = test::ReadFileBytes(DataFile());
    if (row.failureText == 0) {
        EXPECT_TRUE(closedByRestore);
        EXPECT_EQ(failure, QString());
        ASSERT_EQ(inbox.size(), 1u);
        auto sorted = [](std::vector<device::Property> properties) {
            std::erase_if(properties, [](const device::Property& p) { return p.tag == PR_ENTRYID; });
            std::sort(properties.begin(), properties.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
            return properties;
        };
        std::vector<device::Property> restored = sorted(inbox[0].properties);
        std::vector<device::Property> received = sorted(device::SmsProperties(sms_[index]));
        ASSERT_EQ(restored.size(), received.size());
        for (std::size_t i = 0; i < restored.size(); ++i) {
            EXPECT_EQ(restored[i].tag, received[i].tag);
            EXPECT_EQ(restored[i].value, received[i].value) << std::hex << restored[i].tag;
        }
        std::vector<std::uint8_t> expected = before;
        auto removed = expected.begin() + static_cast<std::ptrdiff_t>(4 + index * 840);
        expected.erase(removed, removed + 840);
        EXPECT_EQ(after, expected) << "840 bytes shorter, the other records as they were";
        EXPECT_EQ(List()->ItemCount(), 2);
    } else {
        EXPECT_FALSE(closedByRestore);
        EXPECT_EQ(failure, QString::fromStdU16String(std::u16string(LoadStringResource(row.failureText))));
        EXPECT_TRUE(inbox.empty());
        if (row.disturbance == Disturbance::DamagedMessageStore) {
            EXPECT_EQ(after, before);
        } else {
            EXPECT_EQ(after.size(), before.size() - 840) << "only the other process's restore changed the file";
        }
        // The rows are those of the file as it is now, all of them drawn again.
        EXPECT_EQ(List()->ItemCount(), static_cast<int>((after.size() - 4) / 840));
        QTest::qWait(20);
        EXPECT_EQ(test::OnScreen(*List()->viewport()), test::Rendered(*List()->viewport()));
    }
    EXPECT_EVENTUALLY(QApplication::focusWidget() == List(), 2000);
    EXPECT_EQ(List()->SelectionMark(), row.chosenAfter);
    EXPECT_FALSE(dialog_->Ended());
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreTest,
                         testing::Values(RestoreRow{"TheTopRowGivesItsPlaceToTheNextOlder", 0, Disturbance::None, 0, 0},
                                         RestoreRow{"TheMiddleRow", 1, Disturbance::None, 0, 1},
                                         RestoreRow{"TheLastRowLeavesTheOneAboveChosen", 2, Disturbance::None, 0, 1},
                                         RestoreRow{"ADamagedMessageStoreRemovesNothing", 1,
                                                    Disturbance::DamagedMessageStore, IDS_RESTORE_NO_INBOX, 1},
                                         RestoreRow{"AFileChangedUnderTheViewRestoresNothing", 1,
                                                    Disturbance::FileChangedUnderTheView, IDS_RESTORE_FILE_CHANGED, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmo
