#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QToolButton>

#include "DialogTestSupport.h"
#include "WidgetTestSupport.h"
#include "app/resources/AppIcon.h"
#include "app/resources/ListBitmap.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StateBitmap.h"
#include "app/resources/StringTable.h"
#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/ElidedText.h"
#include "app/ui/ImageList.h"
#include "app/ui/Painting.h"
#include "app/ui/StateSelectorCtrl.h"
#include "app/ui/TimeFormat.h"
#include "app/ui/WindowClasses.h"
#include "app/ui/WindowPresence.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

// A dialog that records the messages it gets.
class RecordingDialog : public HandheldDialog {
public:
    explicit RecordingDialog(QWidget* owner = nullptr) : HandheldDialog(owner, QStringLiteral("Recording")) {}
    std::vector<int> commands;
    std::vector<int> codes;  // each command's notification code
    std::vector<DrawItemInfo> draws;

protected:
    std::intptr_t OnCommand(int id, int code) override {
        commands.push_back(id);
        codes.push_back(code);
        return HandheldDialog::OnCommand(id, code);
    }
    bool OnDrawItem(const DrawItemInfo& info) override {
        draws.push_back(info);
        info.painter->fillRect(info.rect, QColor(230, 230, 230));
        return true;
    }
};

TEST(StringTable, HoldsTheTextsExactlyAsTheProgramShowsThem) {
    EXPECT_EQ(LoadStringResource(IDS_CAPTION), u"VelmoLight");
    EXPECT_EQ(LoadStringResource(IDS_ACTION_CHOICES), u"A\u0441cept;Silent accept;Dismiss;");
    EXPECT_EQ(LoadStringResource(IDS_SCHEDULE_RANGE), u"from %s to %s");
    EXPECT_EQ(LoadStringResource(IDS_SWITCH_TO_USER_SETTINGS),
              u"To change item state please switch to \"Items mode\" -> \"User settings\" from \"View\" menu.");
    EXPECT_TRUE(LoadStringResource(2).empty());
}

TEST(MenuTable, MainMenuHasViewAndOptionsWithTheirCommands) {
    const MenuResource* menu = FindMenuResource(IDR_MAIN_MENU);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->softKeys.size(), 2u);
    EXPECT_EQ(menu->softKeys[0].text, u"View");
    EXPECT_EQ(menu->softKeys[0].popup[0].popup[1].text, u"Active by shedule");
    EXPECT_EQ(menu->softKeys[0].popup[0].popup[1].command, 32792u);
    EXPECT_EQ(menu->softKeys[0].popup[1].popup[0].command, 32797u);
    EXPECT_EQ(menu->softKeys[1].popup.size(), 10u);
    EXPECT_TRUE(menu->softKeys[1].popup[1].IsSeparator());
    EXPECT_EQ(menu->softKeys[1].popup[4].text, u"Text rules...");
    EXPECT_EQ(menu->softKeys[1].popup[4].command, 32820u);
    EXPECT_EQ(menu->softKeys[1].popup[6].text, u"Export...");
    EXPECT_EQ(menu->softKeys[1].popup[7].command, 32831u);
    EXPECT_EQ(menu->softKeys[1].popup[9].text, u"About...");
    EXPECT_EQ(FindMenuResource(999), nullptr);
}

struct PictureRow {
    const char* name;
    Bitmap (*load)();
    int width;
    int height;
};

class PictureTest : public testing::TestWithParam<PictureRow> {};

TEST_P(PictureTest, HasItsSizeAndShowsTheBackgroundAtItsCorners) {
    Bitmap bitmap = GetParam().load();
    ASSERT_EQ(bitmap.width, GetParam().width);
    ASSERT_EQ(bitmap.height, GetParam().height);
    EXPECT_EQ(bitmap.At(0, 0), kMaskColour);
    int imageWidth = GetParam().width == 78 ? 26 : GetParam().width;
    ImageList list(bitmap, imageWidth, kMaskColour);
    ASSERT_EQ(list.Count(), GetParam().width / imageWidth);
    for (int i = 0; i < list.Count(); ++i) {
        QImage image = list.Image(i).toImage();
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "picture " << i;
        int drawn = test::CountPixels(image, image.rect(), [](QColor c) { return c.alpha() == 255; });
        EXPECT_GT(drawn, 30) << "picture " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, PictureTest,
                         testing::Values(PictureRow{"ListIcons152", &ListBitmap, 78, 16},
                                         PictureRow{"StateIcons153", &StateBitmap, 78, 16},
                                         PictureRow{"AppIcon101", &AppIcon, 32, 32}),
                         [](const testing::TestParamInfo<PictureRow>& info) { return info.param.name; });

TEST(PixelArt, RaggedRowsOrUnknownSymbolsGiveNoPicture) {
    const char* ragged[] = {"..", "."};
    EXPECT_EQ(DecodePixelArt(ragged, PicturePalette()).width, 0);
    const char* unknown[] = {".?"};
    EXPECT_TRUE(DecodePixelArt(unknown, PicturePalette()).pixels.empty());
}

TEST(StatePictures, ShowATickACrossAndAClock) {
    ImageList list(StateBitmap(), kStateIconWidth, kMaskColour);
    auto count = [&list](int i, const std::function<bool(QColor)>& pick) {
        QImage image = list.Image(i).toImage();
        return test::CountPixels(image, image.rect(), pick);
    };
    EXPECT_GT(count(0, test::IsGreen), 20);
    EXPECT_EQ(count(0, test::IsRed), 0);
    EXPECT_GT(count(1, test::IsRed), 20);
    EXPECT_GT(count(2, test::IsGreen), 10);
}

TEST(BoldFont, IsNinePointBoldSans) {
    EXPECT_EQ(BoldFontPixelHeight(96), 12);
    EXPECT_EQ(BoldFontPixelHeight(192), 24);
    EXPECT_EQ(BoldFontPixelHeight(131), 16);
    QFontInfo info(BoldFont());
    EXPECT_TRUE(info.bold());
    EXPECT_EQ(BoldFont().pixelSize(),
              BoldFontPixelHeight(static_cast<int>(qApp->primaryScreen()->logicalDotsPerInchY())));
    // The handheld's Tahoma-metric face where it is installed, not a far wider one; the
    // dialogs and the menus draw in it too.
    QString face = std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf") ? "Tahoma" : "DejaVu Sans";
    EXPECT_EQ(info.family(), face);
    EXPECT_EQ(QFontInfo(DialogFont()).family(), face);
    EXPECT_EQ(QFontInfo(QApplication::font()).family(), face);

    // Bold stems in the face the rest is drawn in, not the package's thin bold file.
    auto stemInk = [](QFont font, QFont::Weight weight) {
        font.setWeight(weight);
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.drawText(4, 15, QStringLiteral("l"));
        return test::CountPixels(image, QRect(0, 10, 20, 1), [](QColor c) { return c.lightness() < 200; });
    };
    EXPECT_GT(stemInk(BoldFont(), QFont::Bold), stemInk(BoldFont(), QFont::Normal));
}

TEST(HandheldFrame, FillsTheScreenAndItsDoneButtonSendsIdok) {
    test::TempDevice device;
    RecordingDialog dialog;
    InitFullScreenDialog(dialog, kFullScreenDialogFlags);
    dialog.Create();
    EXPECT_EQ(dialog.size(), QSize(kScreenWidth, kScreenHeight));
    ASSERT_TRUE(dialog.DoneButton()->isVisible());
    EXPECT_EQ(dialog.DoneButton()->text(), QStringLiteral("ok"));
    QTest::mouseClick(dialog.DoneButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.commands, std::vector<int>{IDOK});
    EXPECT_TRUE(dialog.Ended());
    EXPECT_EQ(dialog.result(), IDOK);
}

TEST(HandheldFrame, ADialogFollowsTheScreenItCovers) {
    test::TempDevice device;
    RecordingDialog owner;
    InitFullScreenDialog(owner, kFullScreenDialogFlags);
    owner.Create();
    owner.resize(320, 240);
    RecordingDialog child(&owner);
    InitFullScreenDialog(child, SHIDIF_SIZEDLGFULLSCREEN);
    EXPECT_EQ(child.size(), QSize(320, 240));
    EXPECT_FALSE(child.DoneButton()->isVisibleTo(&child));
}

TEST(HandheldFrame, SoftKeyCommandsReachTheDialogAndAMissingMenuGivesNoBar) {
    test::TempDevice device;
    RecordingDialog dialog;
    EXPECT_EQ(CreateDialogMenuBar(dialog, 999), nullptr);
    SoftKeyBar* bar = CreateDialogMenuBar(dialog, IDR_OPTIONS_MENU);
    ASSERT_NE(bar, nullptr);
    dialog.Create();
    ASSERT_EQ(bar->KeyCount(), 2);
    EXPECT_EQ(bar->Key(0)->text(), QStringLiteral("OK"));
    EXPECT_EQ(bar->SubMenu(0), nullptr);
    QTest::mouseClick(bar->Key(1), Qt::LeftButton);
    EXPECT_EQ(dialog.commands, std::vector<int>{IDM_CANCEL});
    EXPECT_GE(bar->geometry().top(), dialog.Body()->geometry().bottom());
}

TEST(HandheldFrame, AVeryNarrowScreenEndsTheCaptionAndTheSoftKeysInAnEllipsis) {
    test::TempDevice device;
    RecordingDialog dialog;
    InitFullScreenDialog(dialog, kFullScreenDialogFlags);
    SoftKeyBar* bar = CreateDialogMenuBar(dialog, IDR_OPTIONS_MENU);
    dialog.Create();
    dialog.resize(72, 120);
    ASSERT_TRUE(QTest::qWaitFor([&dialog] { return dialog.width() == 72; }));
    auto* caption = dialog.findChild<ElidedLabel*>();
    auto* cancel = qobject_cast<ElidedButton*>(bar->Key(1));
    ASSERT_TRUE(caption != nullptr && cancel != nullptr);
    EXPECT_EQ(caption->ShownText(), QStringLiteral("R\u2026"));
    EXPECT_EQ(cancel->ShownText(), QStringLiteral("C\u2026"));
    EXPECT_EQ(caption->text(), QStringLiteral("Recording"));
    test::SaveScreenshot(dialog, "frame-very-narrow");
}

TEST(HandheldFrame, ClosingTheWindowEndsWithSixteen) {
    test::TempDevice device;
    RecordingDialog dialog;
    dialog.Create();
    dialog.close();
    EXPECT_EQ(dialog.result(), kClosedByWindow);
}

TEST(DialogUtilities, ShowStringMessageShowsTheTableTextsAndAnswers) {
    test::TempDevice device;
    RecordingDialog dialog;
    dialog.Create();
    int answer = 0;
    QString text = test::CloseMessageBoxDuring([&] {
        answer = ShowStringMessage(&dialog, IDS_EMPTY_BLOCKED_QUESTION, IDS_CAPTION, MB_YESNO | MB_ICONQUESTION);
    });
    EXPECT_EQ(text, QStringLiteral("Remove all items from blocked messages list?"));
    EXPECT_TRUE(answer == IDYES || answer == IDNO);
}

struct StringMessage {
    const char* name;
    unsigned textId;
    unsigned flags;
};

class StringMessageBox : public testing::TestWithParam<StringMessage> {};

TEST_P(StringMessageBox, StaysInsideTheScreenAndBreaksLinesOnlyBetweenWords) {
    test::TempDevice device;
    RecordingDialog screen;
    InitFullScreenDialog(screen, kFullScreenDialogFlags);
    // Away from the desktop's edges, which would hide a box that leaves the screen.
    screen.move(100, 100);
    screen.Create();
    QString text = QString::fromStdU16String(std::u16string(LoadStringResource(GetParam().textId)));
    bool shown = test::HandleModal<QMessageBox>(
        [&] { ShowStringMessage(&screen, GetParam().textId, IDS_CAPTION, GetParam().flags); },
        [&](QMessageBox& box) {
            EXPECT_TRUE(QTest::qWaitFor([&box] { return box.isVisible(); }));
            EXPECT_LE(box.frameGeometry().width(), kScreenWidth);
            EXPECT_TRUE(screen.geometry().contains(box.geometry())) << box.geometry().x() << "," << box.geometry().y();
            EXPECT_EQ(box.text().replace(QLatin1Char('\n'), QLatin1Char(' ')), text);
            auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(label, nullptr);
            for (const QString& line : box.text().split(QLatin1Char('\n'))) {
                EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(line), label->width()) << line.toStdString();
            }
            test::SaveScreenshot(test::WithPopups(screen, {&box}), std::string("message-box-") + GetParam().name);
            box.buttons().first()->click();
        });
    EXPECT_TRUE(shown);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, StringMessageBox,
    testing::Values(StringMessage{"SwitchToUserSettings", IDS_SWITCH_TO_USER_SETTINGS, MB_ICONEXCLAMATION},
                    StringMessage{"EmptyQuestion", IDS_EMPTY_BLOCKED_QUESTION, MB_YESNO | MB_ICONQUESTION},
                    StringMessage{"RestoreConflict", IDS_RESTORE_FILE_CHANGED, MB_OK | MB_ICONEXCLAMATION},
                    StringMessage{"TextRuleError", IDS_TEXT_RULE_BAD_PATTERN, MB_OK | MB_ICONEXCLAMATION}),
    [](const testing::TestParamInfo<StringMessage>& info) { return info.param.name; });

TEST(DialogUtilities, ApplyBoldFontGivesTheControlTheBoldFont) {
    test::TempDevice device;
    RecordingDialog dialog;
    auto* label = new QLabel(dialog.Body());
    HandheldDialog::SetControlId(label, 132);
    ApplyBoldFont(dialog, 132);
    EXPECT_EQ(label->font(), BoldFont());
    EXPECT_EQ(DialogUnitsToPixels(1, 18, 154, 95), QRect(1, 29, 231, 154));
}

TEST(WindowClasses, OnlyRegisteredClassesCanBeCreated) {
    EXPECT_FALSE(RegisterStateSelectorClass());  // registered by the test program already
    QWidget parent;
    EXPECT_EQ(CreateWindowOfClass(QStringLiteral("wndClass_Unknown"), &parent), nullptr);
    QWidget* selector = CreateWindowOfClass(QString::fromLatin1(kStateSelectorClass), &parent);
    ASSERT_NE(qobject_cast<StateSelectorCtrl*>(selector), nullptr);
    EXPECT_EQ(selector->property("windowClass").toString(), QStringLiteral("wndClass_StateSelectorCtrl"));
}

class StateSelectorTest : public testing::Test {
protected:
    void SetUp() override {
        selector_ = new StateSelectorCtrl(dialog_.Body());
        HandheldDialog::SetControlId(selector_, 1002);
        selector_->setGeometry(1, 1, 200, 26);
        dialog_.Create();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
        selector_->clearFocus();  // the dialog gave its only control the focus
        selector_->installEventFilter(&paints_);
        QApplication::processEvents();
        paints_.count = 0;
    }
    // Paint events the selector receives once the event loop has run.
    int PaintsAfterEvents() {
        QApplication::processEvents();
        return std::exchange(paints_.count, 0);
    }
    struct PaintCounter : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++count;
            return false;
        }
    };

    test::TempDevice device_;
    RecordingDialog dialog_;
    StateSelectorCtrl* selector_ = nullptr;
    PaintCounter paints_;
};

TEST_F(StateSelectorTest, KeepsStateAndCountAndRepaintsOnlyOnAChange) {
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 0);
    selector_->SendMessage(SSM_SETSTATE, 0);
    EXPECT_EQ(PaintsAfterEvents(), 0);
    selector_->SendMessage(SSM_SETSTATE, 7);  // not checked against the count
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 7);
    EXPECT_EQ(PaintsAfterEvents(), 1);
    selector_->SendMessage(SSM_SETCOUNT, 3);
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 0);
    EXPECT_EQ(PaintsAfterEvents(), 1);
    selector_->SendMessage(SSM_SETSTATE, 1);
    PaintsAfterEvents();
    selector_->SendMessage(SSM_SETCOUNT, 2);
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 1);
    EXPECT_EQ(PaintsAfterEvents(), 0);
    selector_->SendMessage(SSM_SETSTATE, 2);
    PaintsAfterEvents();
    selector_->SendMessage(SSM_SETCOUNT, 2);
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 0);
    EXPECT_EQ(PaintsAfterEvents(), 1);
}

TEST_F(StateSelectorTest, ATapAdvancesWrapsAndPostsACommandWithoutTakingTheFocus) {
    QTest::mouseClick(selector_, Qt::LeftButton);  // count 0: stays at 0
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 0);
    // The dialog hears of the step before it (sent), and of the new state after it (posted).
    EXPECT_EQ(dialog_.codes, std::vector<int>{SSN_STEPPING});
    QApplication::processEvents();
    EXPECT_EQ(dialog_.commands, (std::vector<int>{1002, 1002}));
    EXPECT_EQ(dialog_.codes, (std::vector<int>{SSN_STEPPING, 0}));
    selector_->SendMessage(SSM_SETCOUNT, 3);
    std::vector<std::intptr_t> states;
    for (int tap = 0; tap < 3; ++tap) {
        QTest::mouseClick(selector_, Qt::LeftButton);
        states.push_back(selector_->SendMessage(SSM_GETSTATE, 0));
    }
    EXPECT_EQ(states, (std::vector<std::intptr_t>{1, 2, 0}));
    EXPECT_FALSE(selector_->hasFocus());
}

TEST_F(StateSelectorTest, TheActionKeyAdvancesAndArrowsStayWithTheDialog) {
    selector_->SendMessage(SSM_SETCOUNT, 3);
    selector_->setFocus();
    QTest::keyClick(selector_, Qt::Key_Return);
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 1);
    QTest::keyClick(selector_, Qt::Key_Right);
    EXPECT_EQ(selector_->SendMessage(SSM_GETSTATE, 0), 1);
}

TEST_F(StateSelectorTest, TheParentDrawsInsideOnePixelOrTwoWithTheFocusFrame) {
    dialog_.draws.clear();
    selector_->repaint();
    ASSERT_FALSE(dialog_.draws.empty());
    EXPECT_EQ(dialog_.draws.back().rect, QRect(1, 1, 198, 24));
    EXPECT_EQ(dialog_.draws.back().controlId, 1002);
    QImage plain = selector_->grab().toImage();
    EXPECT_EQ(plain.pixelColor(0, 5), QColor(Qt::white));
    EXPECT_EQ(plain.pixelColor(1, 5), QColor(230, 230, 230));

    selector_->setFocus();
    dialog_.draws.clear();
    selector_->repaint();
    ASSERT_FALSE(dialog_.draws.empty());
    EXPECT_EQ(dialog_.draws.back().rect, QRect(2, 2, 196, 22));
    QImage focused = selector_->grab().toImage();
    EXPECT_EQ(focused.pixelColor(1, 5), QColor(Qt::white));
    EXPECT_EQ(focused.pixelColor(2, 5), QColor(230, 230, 230));
}

TEST(TimeFormat, LeavesOutTheSecondsOfTheLocalesShortFormat) {
    QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(FormatTimeNoSeconds(21, 0, 30), QStringLiteral("21:00"));
    EXPECT_EQ(FormatTimeNoSeconds(8, 5, 0), QStringLiteral("08:05"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(FormatTimeNoSeconds(21, 0, 0).remove(QChar(0x202F)).remove(QLatin1Char(' ')), QStringLiteral("9:00PM"));
    EXPECT_TRUE(FormatTimeNoSeconds(25, 0, 0).isEmpty());
    QLocale::setDefault(previous);
}

TEST(DrawText, EndEllipsisCutsEachLineAndVerticalCentringNeedsASingleLine) {
    QImage image(120, 40, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(BoldFont());
    QRect area(0, 0, 60, 40);
    QRect measured = area;
    int height = DrawTextW(painter, QStringLiteral("Featherstonehaugh"), measured, DT_CALCRECT);
    EXPECT_GT(measured.width(), 60);
    EXPECT_EQ(measured.height(), height);

    auto drawn = [&painter, &image](const QString& text, QRect rect, unsigned format) {
        image.fill(Qt::white);
        DrawTextW(painter, text, rect, format);
        return image.copy();
    };
    QFontMetrics metrics(BoldFont());
    QImage elided = drawn(QStringLiteral("Featherstonehaugh"), area, DT_END_ELLIPSIS);
    EXPECT_EQ(elided, drawn(metrics.elidedText(QStringLiteral("Featherstonehaugh"), Qt::ElideRight, 60), area, 0));
    QImage cut = drawn(QStringLiteral("Featherstonehaugh"), area, 0);
    EXPECT_NE(cut, elided);
    EXPECT_EQ(test::CountPixels(cut, QRect(60, 0, 60, 40), [](QColor c) { return c != Qt::white; }), 0);
    // Without a single line, vertical centring is not applied: the text starts at the top.
    EXPECT_EQ(drawn(QStringLiteral("Top"), area, DT_VCENTER), drawn(QStringLiteral("Top"), area, 0));
    EXPECT_NE(drawn(QStringLiteral("Mid"), area, DT_VCENTER | DT_SINGLELINE), drawn(QStringLiteral("Mid"), area, 0));
}

TEST(WindowPresence, ACaptionIsFoundOnItsOwnDeviceOnlyAndBroughtForward) {
    test::TempDevice device;
    EXPECT_EQ(ForeignWindow::Find(QStringLiteral("Recording")), nullptr);
    RecordingDialog dialog;
    dialog.Create();
    QWidget other;
    other.show();
    other.activateWindow();
    EXPECT_EVENTUALLY(other.isActiveWindow(), 5000);
    auto found = ForeignWindow::Find(QStringLiteral("Recording"));
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(found->SetForeground());
    EXPECT_EVENTUALLY(dialog.isActiveWindow(), 5000);
    {
        test::TempDevice elsewhere;
        EXPECT_EQ(ForeignWindow::Find(QStringLiteral("Recording")), nullptr);
    }
}

TEST(WindowPresence, ASecondStartRestoresAMinimisedWindow) {
    test::TempDevice device;
    RecordingDialog dialog;
    dialog.Create();
    dialog.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&dialog] { return dialog.isMinimized(); }));
    auto found = ForeignWindow::Find(QStringLiteral("Recording"));
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(found->SetForeground());
    EXPECT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.isMinimized(); }));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&dialog] { return dialog.isActiveWindow(); }));
}

}  // namespace
}  // namespace velmo
