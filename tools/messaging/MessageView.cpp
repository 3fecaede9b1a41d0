#include "tools/messaging/MessageView.h"

#include <QLabel>
#include <QPlainTextEdit>

#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/TimeFormat.h"
#include "device/Clock.h"
#include "tools/messaging/MessagingMenus.h"

namespace velmo::messaging {

namespace {

QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }

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

MessageView::MessageView(QWidget* owner, const MessageRow& row, const QString& sender, bool canBlock)
    : MenuBarDialog(owner, QStringLiteral("Messaging"), kCommandDone), row_(row), canBlock_(canBlock) {
    Body()->setFont(DialogFont());
    // A sender's name and number, never markup.
    sender_ = new QLabel(sender, Body());
    sender_->setTextFormat(Qt::PlainText);
    sender_->setFont(BoldFont());
    sender_->setGeometry(DialogUnitsToPixels(1, 0, 154, 10));
    detail_ = new QLabel(Body());
    detail_->setTextFormat(Qt::PlainText);
    detail_->setGeometry(DialogUnitsToPixels(1, 11, 154, 10));
    text_ = new QPlainTextEdit(Body());
    text_->setReadOnly(true);
    text_->setFrameShape(QFrame::Box);
    text_->setGeometry(DialogUnitsToPixels(2, 24, 153, 86));
    CloseOnEscape();
}

bool MessageView::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    SoftKeyBar* bar = new SoftKeyBar(MessageMenu(), this);
    SetMenuBar(bar);
    if (QAction* toggle = bar->FindCommand(kCommandToggleRead)) {
        toggle->setText(row_.read ? QStringLiteral("Mark as unread") : QStringLiteral("Mark as read"));
    }
    if (QAction* block = bar->FindCommand(kCommandBlock)) block->setEnabled(canBlock_);
    // The number beside a name, so that a person sees who it really came from.
    QString address = ToQString(row_.address);
    QString detail = MessageTime(row_.time, true);
    if (!address.isEmpty() && address != sender_->text()) detail = address + QStringLiteral("  ") + detail;
    detail_->setText(detail);
    QString text = ToQString(row_.text);
    if (!row_.failure.empty()) text += QStringLiteral("\n\n(Not sent: ") + ToQString(row_.failure) + QLatin1Char(')');
    text_->setPlainText(text);
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
        case kCommandToggleRead: Close(id); return TRUE;
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
    text_->setGeometry(client.left() + 1, text.top(), client.width() - 2, client.bottom() + 1 - text.top());
}

}  // namespace velmo::messaging
