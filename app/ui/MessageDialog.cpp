#include "app/ui/MessageDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <utility>

#include "app/core/BlockedMessageRows.h"
#include "app/core/InboxRestore.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/TimeFormat.h"
#include "common/SettingsStore.h"
#include "common/SpamModelFile.h"
#include "common/SpamScoreFile.h"
#include "common/trainer/SpamExplanation.h"
#include "common/trainer/SpamLearning.h"
#include "device/Clock.h"

namespace velmo {

namespace {

QString ToQString(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }

}  // namespace

MessageDialog::MessageDialog(QWidget* owner, const BlockedMessageRecord& record, std::u16string text,
                             std::function<RestoreResult()> restore)
    : MenuBarDialog(owner, QStringLiteral("Blocked Messages"), IDM_DONE),
      record_(record),
      wholeText_(std::move(text)),
      restore_(std::move(restore)) {
    Body()->setFont(DialogFont());
    time_ = new QLabel(Body());
    SetControlId(time_, IDC_TIME);
    time_->setGeometry(DialogUnitsToPixels(1, 0, 128, 10));
    sender_ = new QLabel(Body());
    sender_->setTextFormat(Qt::PlainText);  // a sender's name, never markup
    SetControlId(sender_, IDC_SENDER);
    sender_->setGeometry(DialogUnitsToPixels(1, 11, 128, 10));
    sender_->setTextFormat(Qt::PlainText);
    number_ = new QLabel(Body());
    SetControlId(number_, IDC_NUMBER);
    number_->setTextFormat(Qt::PlainText);
    number_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The score lives beside Mesages.dat, whose records have no room for it.
    SettingsStore settings;
    char16_t scores[MAX_PATH] = {};
    const std::optional<double> score =
        SpamScoresPath(settings, scores) ? FindSpamScore(scores, record_) : std::nullopt;
    if (score) {
        spam_ = new QLabel(Body());
        SetControlId(spam_, IDC_SPAM);
        spam_->setGeometry(DialogUnitsToPixels(1, 22, 128, 10));
        spam_->setText(ToQString(LoadStringResource(IDS_JUDGED_SPAM))
                           .replace(QStringLiteral("%s"), QString::number(*score, 'f', 2)));
    }
    // Why, when the model and its names are still those of the verdict's kind.
    std::vector<SpamReason> reasons;
    if (score) reasons = ExplainSpamWithFile(DeviceSpamFile(SpamModelFileName), wholeText_);
    const int reasonsHeight = 9 * static_cast<int>(reasons.size());
    if (!reasons.empty()) {
        QStringList lines;
        for (const SpamReason& reason : reasons) {
            lines << ToQString(reason.name) + QStringLiteral(" +") + QString::number(reason.weight, 'f', 1);
        }
        reasons_ = new QLabel(Body());
        reasons_->setText(lines.join(QLatin1Char('\n')));
        reasons_->setGeometry(DialogUnitsToPixels(1, 32, 128, reasonsHeight));
    }
    text_ = new QPlainTextEdit(Body());
    SetControlId(text_, IDC_TEXT);
    text_->setReadOnly(true);
    text_->setFrameShape(QFrame::Box);
    text_->setGeometry(
        DialogUnitsToPixels(2, (score ? 33 : 24) + reasonsHeight, 153, (score ? 77 : 86) - reasonsHeight));
    CloseOnEscape();
}

bool MessageDialog::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, restore_ ? IDR_BLOCKED_MESSAGE_RESTORE_MENU : IDR_BLOCKED_MESSAGE_MENU);
    ApplyBoldFont(*this, IDC_SENDER);
    ApplyBoldFont(*this, IDC_TIME);
    // The record keeps the moment in UTC; the user reads it in the device's local time.
    SYSTEMTIME delivered{};
    if (device::FileTimeToLocalSystemTime(device::Join(record_.deliveryTime), delivered)) {
        time_->setText(FormatTimeNoSeconds(delivered.wHour, delivered.wMinute, delivered.wSecond) + QLatin1Char(' ') +
                       FormatShortDate(delivered.wYear, delivered.wMonth, delivered.wDay));
    }
    ShowSender();
    text_->setPlainText(ToQString(wholeText_));
    return true;
}

std::intptr_t MessageDialog::OnMenuCommand(int id) {
    if (id != IDM_RESTORE || !restore_) return FALSE;
    RestoreResult result = restore_();
    if (result == RestoreResult::Restored) {
        Close(IDM_RESTORE);
    } else {
        // The view stays open: the message is still where it was, and the user reads why.
        ShowStringMessage(this, RestoreFailureText(result), IDS_CAPTION, MB_OK | MB_ICONEXCLAMATION);
    }
    return TRUE;
}

void MessageDialog::OnLayout() {
    // The text reaches the bottom, and it and the sender end one pixel inside each side.
    QRect client = Body()->rect();
    QRect text = text_->geometry();
    text_->setGeometry(client.left() + 1, text.top(), client.width() - 2, client.bottom() + 1 - text.top());
    QRect sender = sender_->geometry();
    sender_->setGeometry(client.left() + 1, sender.top(), client.width() - 2, sender.height());
    ShowSender();
}

void MessageDialog::ShowSender() {
    // The number stands at the right of the sender's line, taking at most half of it; the name
    // gets the rest and ends in an ellipsis when it needs more.
    QString name = ToQString(OneLine(ShownSender(record_)));
    QString number = ToQString(OneLine(SenderNumber(record_)));
    QRect line = sender_->geometry();
    QFontMetrics metrics(sender_->font());
    int gap = number.isEmpty() ? 0 : metrics.horizontalAdvance(QLatin1Char(' ')) * 2;
    // A pixel to spare: the advance is rounded, and a number that fits must not be elided.
    int wanted = number.isEmpty() ? 0 : metrics.horizontalAdvance(number) + 1;
    int numberWidth = std::min(wanted, line.width() / 2);
    number_->setFont(sender_->font());
    number_->setGeometry(line.right() + 1 - numberWidth, line.top(), numberWidth, line.height());
    number_->setText(wanted <= numberWidth ? number : metrics.elidedText(number, Qt::ElideRight, numberWidth));
    sender_->setGeometry(line.left(), line.top(), line.width(), line.height());
    sender_->setText(metrics.elidedText(name, Qt::ElideRight, line.width() - numberWidth - gap));
}

}  // namespace velmo
