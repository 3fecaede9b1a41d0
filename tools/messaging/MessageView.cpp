#include "tools/messaging/MessageView.h"

#include <QLabel>
#include <QPlainTextEdit>

#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/Painting.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/TimeFormat.h"
#include "device/Clock.h"
#include "device/Text.h"
#include "tools/messaging/MessagingMenus.h"
#include "tools/messaging/SendWords.h"

namespace velmo::messaging {

namespace {

QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }

constexpr std::uint32_t kNotSentColour = RGB(176, 0, 0);

}  // namespace

bool ConfirmDelete(QWidget* owner) {
    return ShowMessage(owner, QStringLiteral("Delete this message?"), QStringLiteral("Messaging"),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

QString MessageTime(std::uint64_t fileTime, bool full) {
    SYSTEMTIME at{};
    if (fileTime == 0 || !device::FileTimeToLocalSystemTime(fileTime, at)) return {};
    QString time = FormatTimeNoSeconds(at.wHour, at.wMinute, at.wSecond);
    QString date = FormatShortDate(at.wYear, at.wMonth, at.wDay);
    if (full) return time + QLatin1Char(' ') + date;
    SYSTEMTIME now = device::ToLocalSystemTime(device::Now());
    bool today = now.wYear == at.wYear && now.wMonth == at.wMonth && now.wDay == at.wDay;
    return today ? time : date;
}

MessageView::MessageView(QWidget* owner, const MessageRow& row, const QString& sender, bool canBlock, bool own)
    : MenuBarDialog(owner, QStringLiteral("Messaging"), kCommandDone), row_(row), canBlock_(canBlock), own_(own) {
    Body()->setFont(DialogFont());
    // A sender's name and number, never markup.
    sender_ = new QLabel(own ? QStringLiteral("To: ") + sender : sender, Body());
    sender_->setTextFormat(Qt::PlainText);
    sender_->setFont(BoldFont());
    sender_->setGeometry(DialogUnitsToPixels(1, 0, 154, 10));
    detail_ = new QLabel(Body());
    detail_->setTextFormat(Qt::PlainText);
    detail_->setGeometry(DialogUnitsToPixels(1, 11, 154, 10));
    if (!row_.failure.empty()) {
        reason_ = new QLabel(
            QStringLiteral("Not sent: ") + QString::fromStdString(PlainSendReason(device::ToUtf8(row_.failure))),
            Body());
        reason_->setTextFormat(Qt::PlainText);
        reason_->setWordWrap(true);
        QPalette warning = reason_->palette();
        warning.setColor(QPalette::WindowText, ColorFromRef(kNotSentColour));
        reason_->setPalette(warning);
    }
    text_ = new QPlainTextEdit(Body());
    text_->setReadOnly(true);
    text_->setFrameShape(QFrame::Box);
    text_->setGeometry(DialogUnitsToPixels(2, 24, 153, 86));
    CloseOnEscape();
}

bool MessageView::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    SoftKeyBar* bar = new SoftKeyBar(own_ ? OwnMessageMenu() : MessageMenu(), this);
    SetMenuBar(bar);
    if (QAction* toggle = bar->FindCommand(kCommandToggleRead)) {
        toggle->setText(row_.read ? QStringLiteral("Mark as unread") : QStringLiteral("Mark as read"));
    }
    if (QAction* block = bar->FindCommand(kCommandBlock)) block->setEnabled(canBlock_);
    // The number beside a name, so that a person sees who it really came from.
    QString address = ToQString(row_.address);
    QString detail = MessageTime(row_.time, true);
    if (!address.isEmpty() && !sender_->text().endsWith(address)) detail = address + QStringLiteral("  ") + detail;
    detail_->setText(detail);
    text_->setPlainText(ToQString(row_.text));
    text_->setFocus(Qt::OtherFocusReason);
    return false;
}

std::intptr_t MessageView::OnMenuCommand(int id) {
    switch (id) {
        case kCommandDelete:
            if (ConfirmDelete(this)) Close(id);
            return TRUE;
        case kCommandBlock:
            if (!canBlock_) return TRUE;
            [[fallthrough]];
        case kCommandReply:
        case kCommandToggleRead:
            if (own_) return TRUE;
            Close(id);
            return TRUE;
        default: return FALSE;
    }
}

void MessageView::OnLayout() {
    QRect client = Body()->rect();
    for (QWidget* line : {static_cast<QWidget*>(sender_), static_cast<QWidget*>(detail_)}) {
        QRect place = line->geometry();
        line->setGeometry(client.left() + 2, place.top(), client.width() - 4, place.height());
    }
    QRect text = text_->geometry();
    if (reason_ != nullptr) {
        // The reason stands apart from the text, above it, on as many lines as it needs.
        int top = detail_->geometry().bottom() + 3;
        int width = client.width() - 4;
        reason_->setGeometry(client.left() + 2, top, width, reason_->heightForWidth(width));
        text.setTop(reason_->geometry().bottom() + 4);
    }
    text_->setGeometry(client.left() + 1, text.top(), client.width() - 2, client.bottom() + 1 - text.top());
}

}  // namespace velmo::messaging
