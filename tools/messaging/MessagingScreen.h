#pragma once
// The device's Messaging screen: the messages of one folder (the Inbox first), newest first
// by delivery time, one row each with the sender as the phone names them, the time and the
// start of the text, unread ones in bold. Enter or a tap opens a message in full and marks
// it read; "Delete" asks first; "Menu" marks, deletes, moves to the blocked messages,
// switches folders and starts a new message. Typing jumps to a sender as the contact
// list's quick-find does. Every two seconds the screen looks whether the store changed and
// shows it as it is now, keeping the chosen message chosen.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/MenuBarDialog.h"
#include "device/MessageStore.h"
#include "tools/messaging/MessageRows.h"
#include "tools/messaging/SenderNames.h"

class QLabel;
class QLineEdit;

namespace velmo {
class OwnerDataListView;
}  // namespace velmo

namespace velmo::messaging {

class MessagingScreen : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDC_MESSAGES = 2001;
    static constexpr int kRefreshTimer = 1;
    static constexpr int kQuickFindTimer = 2;
    static constexpr int kRefreshMilliseconds = 2000;

    // What a compose screen is started with: the recipient's number, empty for a new message.
    using Compose = std::function<void(QWidget* owner, const std::u16string& recipient)>;

    // Hands the Outbox to the modem again: empty when every message went, else why not.
    using Retry = std::function<std::string()>;

    explicit MessagingScreen(QWidget* owner = nullptr, Compose compose = {}, Retry retry = {});
    ~MessagingScreen() override;

    OwnerDataListView* List() const { return list_; }
    QLineEdit* QuickFindBox() const { return quickFind_; }
    QLabel* FolderLabel() const { return folderLabel_; }
    const std::u16string& Folder() const { return folder_; }
    const std::vector<MessageRow>& Rows() const { return rows_; }
    // The sender of row as the screen shows it.
    QString ShownSender(int row);
    // What row shows at the right of its sender: the time, or "Not sent" in the Outbox.
    QString ShownTime(int row) const;
    // Looks at the store now, as the timer does.
    void Refresh();

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    bool OnDrawItem(const DrawItemInfo& info) override;
    std::intptr_t OnNotify(const ListNotification& notification) override;
    void OnTimer(int timerId) override;
    void OnLayout() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Load();
    void ShowFolder(std::u16string folder);
    void OpenRow(int row);
    void ToggleRead(int row);
    void DeleteRow(int row, bool ask);
    void BlockRow(int row);
    void StartCompose(const std::u16string& recipient);
    void UpdateMenu();
    int Chosen() const;
    void OpenQuickFind(const QKeyEvent* key);
    void FindTyped();
    void CloseQuickFind();

    void RetryOutbox();

    Compose compose_;
    Retry retry_;
    device::MessageStore store_;
    SenderNames names_;
    std::u16string folder_ = u"Inbox";
    std::vector<MessageRow> rows_;
    std::int64_t version_ = -1;
    QLabel* folderLabel_ = nullptr;
    QLabel* countLabel_ = nullptr;
    OwnerDataListView* list_ = nullptr;
    QLineEdit* quickFind_ = nullptr;
    bool quickFindOpen_ = false;
};

}  // namespace velmo::messaging
