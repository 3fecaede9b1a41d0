#pragma once
// A new message or a reply: the recipient (a number, or a contact of the address book by
// name), the text, and beneath it how long the text is as SMS (characters of the room that
// the parts give, and the parts it goes out as). "Send" hands number and text to the
// device's sender and closes once the message is stored (sent, or waiting in the Outbox
// with the reason); "Cancel", Escape or the title bar's "ok" close without sending, asking
// first when there is text.

#include <functional>
#include <string>

#include "app/ui/MenuBarDialog.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace velmo::messaging {

class ComposeView : public MenuBarDialog {
    Q_OBJECT
public:
    struct Outcome {
        bool stored = false;  // in Sent, or in the Outbox to be sent again
        std::string problem;  // why it did not go, for the person to read; empty when it went
    };
    // Sends text to number.
    using Sender = std::function<Outcome(const std::u16string& number, const std::u16string& text)>;

    ComposeView(QWidget* owner, const std::u16string& recipient, Sender sender);

    QLineEdit* RecipientBox() const { return recipient_; }
    QPlainTextEdit* TextBox() const { return text_; }
    QLabel* LengthLabel() const { return length_; }
    // The number that the recipient box names: its digits and a leading '+', from a
    // "Name <number>" entry, a number typed, or the contact whose shown name was typed; empty for none.
    std::u16string RecipientNumber() const;

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    void OnLayout() override;
    // Closing without sending asks first when there is text to lose.
    void Close(int result) override;

private:
    void ShowLength();
    void Send();

    Sender sender_;
    std::u16string initialRecipient_;
    // Each contact's shown name with one of its numbers, as the completer offers them.
    std::vector<std::pair<std::u16string, std::u16string>> contacts_;
    QLabel* toLabel_ = nullptr;
    QLineEdit* recipient_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* length_ = nullptr;
};

// What the length line says of text, e.g. "12/160 characters, 1 message", "161/306 characters,
// 2 messages", or "160 characters left" before the first character.
QString LengthText(const std::u16string& text);

}  // namespace velmo::messaging
