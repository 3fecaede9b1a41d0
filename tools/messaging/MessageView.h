#pragma once
// One message in full: who sent it (as the phone names them, with the number beside a
// name), when it came, and its whole text; for one's own message whom it is to and, when it
// waits in the Outbox, why it was not sent. The view changes nothing itself: it closes with
// the command the person chose (Reply, Mark as unread, Delete once confirmed, Move to
// blocked messages), or kCommandDone, and its owner carries the command out.

#include "app/ui/MenuBarDialog.h"
#include "tools/messaging/MessageRows.h"

class QLabel;
class QPlainTextEdit;

namespace velmo::messaging {

class MessageView : public MenuBarDialog {
    Q_OBJECT
public:
    // canBlock: whether "Move to blocked messages" is offered (Inbox messages only); own: a
    // message of Sent or the Outbox, which is neither answered nor marked unread.
    MessageView(QWidget* owner, const MessageRow& row, const QString& sender, bool canBlock, bool own = false);

    QLabel* SenderLabel() const { return sender_; }
    QLabel* DetailLabel() const { return detail_; }
    // Why a message of the Outbox was not sent; null when nothing was tried.
    QLabel* ReasonLabel() const { return reason_; }
    QPlainTextEdit* TextBox() const { return text_; }

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    void OnLayout() override;

private:
    MessageRow row_;
    bool canBlock_;
    bool own_;
    QLabel* sender_ = nullptr;
    QLabel* detail_ = nullptr;
    QLabel* reason_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
};

// Asks whether to delete the message; true for Yes.
bool ConfirmDelete(QWidget* owner);
// The time of a message as a row or a view shows it, in the device's local time: the time
// of day for a message of today, else the date; with both when full.
QString MessageTime(std::uint64_t fileTime, bool full);

}  // namespace velmo::messaging
