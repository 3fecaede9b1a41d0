#pragma once
// One blocked message in full (dialog 151): when it arrived, who sent it, whether the spam
// filter judged it spam and with which score, and its text in a read-only box. It works on its own copy of the record
// and never touches the file: "Restore" asks its owner to put the message back and closes with IDM_RESTORE once done.

#include <functional>
#include <string>

#include "app/ui/MenuBarDialog.h"
#include "common/BlockedMessageFile.h"
#include "common/BlockedMessageRestore.h"

class QLabel;
class QPlainTextEdit;

namespace velmo {

class MessageDialog : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 151;
    static constexpr int IDC_TEXT = 1004;
    static constexpr int IDC_TIME = 1005;
    static constexpr int IDC_SENDER = 1006;
    static constexpr int IDC_SPAM = 1007;
    static constexpr int IDC_NUMBER = 1008;

    // text is the message's whole text, of which the record may hold only the start.
    MessageDialog(QWidget* owner, const BlockedMessageRecord& record, std::u16string text,
                  std::function<RestoreResult()> restore = {});

    QLabel* TimeLabel() const { return time_; }
    QLabel* SenderLabel() const { return sender_; }
    // The sender's number beside the name; empty when the sender is known by the number alone.
    QLabel* NumberLabel() const { return number_; }
    QPlainTextEdit* TextBox() const { return text_; }
    // Null unless the message was dismissed as spam.
    QLabel* SpamLabel() const { return spam_; }
    QLabel* SpamReasonsLabel() const { return reasons_; }

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    void OnLayout() override;

private:
    void ShowSender();

    BlockedMessageRecord record_;
    std::u16string wholeText_;
    std::function<RestoreResult()> restore_;
    QLabel* time_ = nullptr;
    QLabel* sender_ = nullptr;
    QLabel* number_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* spam_ = nullptr;
    QLabel* reasons_ = nullptr;  // the features that weighed most, one a line, under spam_
};

}  // namespace velmo
