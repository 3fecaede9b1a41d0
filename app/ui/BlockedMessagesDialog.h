#pragma once
// "Blocked Messages" (dialog 149): one row per message that the handler dismissed, the
// latest delivered at the top. Opening it purges the messages older than the user's age; Enter or
// a tap on the chosen row shows the message, from which "Restore" puts it back in the
// Inbox; "Empty" removes them all once confirmed.

#include <optional>
#include <vector>
#include "app/core/Platform.h"
#include "app/ui/MenuBarDialog.h"

#include "common/BlockedMessageFile.h"

namespace velmo {

class OwnerDataListView;
class SettingsStore;

class BlockedMessagesDialog : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 149;
    static constexpr int IDC_MESSAGES = 1003;
    static constexpr std::uint32_t kSelectedRowColour = kChosenRowColour;
    // How often the open list looks whether the handler appended a message meanwhile.
    static constexpr int kFollowTimer = 1;
    static constexpr int kFollowMilliseconds = 1000;

    BlockedMessagesDialog(QWidget* owner, SettingsStore& settings, Platform platform = kBuildPlatform);

    OwnerDataListView* List() const { return list_; }
    // The date a row shows for record: its delivery, in the device's local time.
    static QString DateText(const BlockedMessageRecord& record);

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    bool OnDrawItem(const DrawItemInfo& info) override;
    std::intptr_t OnNotify(const ListNotification& notification) override;
    void OnLayout() override;
    void OnTimer(int timerId) override;
    void Close(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool FollowFile();
    bool Resync();
    const std::vector<std::uint32_t>& Order();
    bool RowRecord(int row, BlockedMessageRecord& record);
    void DrawRow(const DrawItemInfo& info);
    void OpenRow(int row);
    void Empty();

    SettingsStore& settings_;
    Platform platform_;
    OwnerDataListView* list_ = nullptr;
    // Open from the dialog's opening to its closing.
    BlockedMessageFile file_;
    // The records in row order, sorted again before a paint when the file has changed.
    std::vector<std::uint32_t> order_;
    std::uint64_t orderGeneration_ = 0;
    // The message of the chosen row as last drawn, chosen again after the rows are sorted anew.
    std::optional<BlockedMessageRecord> chosen_;
};

}  // namespace velmo
