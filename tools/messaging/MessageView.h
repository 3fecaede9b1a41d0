#pragma once
// One message in full: who sent it (as the phone names them, with the number beside a
// name), when it came, and its whole text. The view changes nothing itself: it closes with
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
    // canBlock: whether "Move to blocked messages" is offered (Inbox messages only).
    MessageView(QWidget* owner, const MessageRow& row, const QString& sender, bool canBlock);

    QLabel* SenderLabel() const { return sender_; }
    QLabel* DetailLabel() const { return detail_; }
    QPlainTextEdit* TextBox() const { return text_; }

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    void OnLayout() override;

private:
    MessageRow row_;
    bool canBlock_;
    QLabel* sender_ = nullptr;
    QLabel* detail_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
};

// Asks whether to delete the message; true for Yes.
bool ConfirmDelete(QWidget* owner);
// The time of a message as a row or a view shows it, in the device's local time: the time
// of day for a message of today, else the date; with both when full.
QString MessageTime(std::uint64_t fileTime, bool full);

}  // namespace velmo::messaging
