#include "app/ui/BlockedMessagesDialog.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <optional>

#include "app/core/BlockedMessageRows.h"
#include "app/core/InboxRestore.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/MessageDialog.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/Painting.h"
#include "app/ui/TimeFormat.h"
#include "common/SettingsStore.h"
#include "device/Clock.h"

namespace velmo {

namespace {

constexpr std::uint32_t kRowLineColour = RGB(255, 255, 255);

QString ToQString(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }

}  // namespace

BlockedMessagesDialog::BlockedMessagesDialog(QWidget* owner, SettingsStore& settings, Platform platform)
    : MenuBarDialog(owner, QStringLiteral("Blocked Messages"), IDM_DONE), settings_(settings), platform_(platform) {
    Body()->setFont(DialogFont());
    list_ = new OwnerDataListView(Body());
    SetControlId(list_, IDC_MESSAGES);
    list_->setGeometry(DialogUnitsToPixels(0, 0, 155, 174));
    // Two and a half lines of the bold font: the sender and date above, the text below.
    list_->SetRowHeight(QFontMetrics(BoldFont()).height() * 5 / 2);
    list_->viewport()->installEventFilter(this);
    CloseOnEscape();
}

bool BlockedMessagesDialog::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, IDR_BLOCKED_LIST_MENU);
    char16_t path[MAX_PATH] = {};
    settings_.MessagesPath(path);
    file_.SetPath(path);
    file_.Open();
    file_.Purge(PurgeAgeSeconds(settings_.GetDeleteTimeType()));
    FollowFile();
    list_->SetItemCount(static_cast<int>(order_.size()));
    SetTimer(kFollowTimer, kFollowMilliseconds);
    return true;
}

std::intptr_t BlockedMessagesDialog::OnMenuCommand(int id) {
    if (id != IDM_EMPTY) return FALSE;
    Empty();
    return TRUE;
}

bool BlockedMessagesDialog::OnDrawItem(const DrawItemInfo& info) {
    if (info.controlId != IDC_MESSAGES) return false;
    DrawRow(info);
    return true;
}

void BlockedMessagesDialog::DrawRow(const DrawItemInfo& info) {
    // A row whose record cannot be read stays empty.
    BlockedMessageRecord record;
    if (!RowRecord(info.itemId, record)) return;
    QPainter& painter = *info.painter;
    const QRect& row = info.rect;
    painter.setFont(info.item->font());
    if (info.itemState & ODS_SELECTED) {
        painter.fillRect(row, ColorFromRef(kSelectedRowColour));
        chosen_ = record;
    }

    QString date = DateText(record);
    QRect measured = row;
    DrawTextW(painter, date, measured, DT_CALCRECT);
    int dateWidth = measured.width();
    QRect dateArea(row.right() + 1 - dateWidth, row.top(), dateWidth, row.height());
    DrawTextW(painter, date, dateArea, DT_RIGHT);

    unsigned format = platform_ == Platform::WindowsMobile5 ? DT_END_ELLIPSIS : 0;
    QFont rowFont = painter.font();
    painter.setFont(BoldFont());
    QRect senderArea(row.left(), row.top(), row.width() - dateWidth, row.height());
    DrawTextW(painter, ToQString(OneLine(ShownSender(record))), senderArea, format);
    painter.setFont(rowFont);
    int middle = row.top() + row.height() / 2;
    QRect textArea(row.left(), middle, row.width(), row.bottom() + 1 - middle);
    DrawTextW(painter, ToQString(OneLine(MessageText(record))), textArea, format);

    painter.setPen(QPen(ColorFromRef(kRowLineColour), 0));
    painter.drawLine(row.left(), row.bottom(), row.right(), row.bottom());
}

std::intptr_t BlockedMessagesDialog::OnNotify(const ListNotification& notification) {
    if (notification.controlId != IDC_MESSAGES) return 0;
    switch (notification.code) {
        case LVN_ODFINDITEMW:
            // The list has no search by typing.
            return -1;
        case LVN_KEYDOWN:
            if (notification.virtualKey == VK_RETURN) OpenRow(list_->SelectionMark());
            return 0;
        case NM_CLICK:
            // The first tap chooses a row, a tap on the chosen row opens it.
            if (notification.item == list_->SelectionMark()) OpenRow(notification.item);
            return 0;
        default: return 0;
    }
}

QString BlockedMessagesDialog::DateText(const BlockedMessageRecord& record) {
    SYSTEMTIME delivered{};
    if (!device::FileTimeToLocalSystemTime(device::Join(record.deliveryTime), delivered)) return {};
    return FormatShortDate(delivered.wYear, delivered.wMonth, delivered.wDay);
}

// Takes the file's records and their order afresh when it changed since the rows were sorted:
// a message appended meanwhile takes its place by its time, and the chosen message stays
// chosen. True when it did.
bool BlockedMessagesDialog::FollowFile() {
    const std::uint32_t count = file_.Count();
    if (count == order_.size() && file_.Generation() == orderGeneration_) return false;
    order_ = NewestFirst(file_);
    orderGeneration_ = file_.Generation();
    return true;
}

bool BlockedMessagesDialog::Resync() {
    const int mark = list_->SelectionMark();
    // The message to keep chosen is the one on the list's mark in the rows as they were shown,
    // which a key may have moved since the last paint. While the file has only grown, the rows
    // shown still name their records; after a purge, a restore or a cut only the last one
    // drawn chosen is known.
    std::optional<BlockedMessageRecord> marked = chosen_;
    if (BlockedMessageRecord shown; mark >= 0 && file_.Generation() == orderGeneration_ &&
                                    file_.Count() >= order_.size() && RowRecord(mark, shown)) {
        marked = shown;
    }
    if (!FollowFile()) return false;
    {
        list_->SetItemCount(static_cast<int>(order_.size()));
        int row = -1;
        for (std::size_t r = 0; marked && mark >= 0 && r < order_.size() && row < 0; ++r) {
            BlockedMessageRecord record;
            if (file_.ReadAt(order_[r], record) && std::memcmp(&record, &*marked, sizeof record) == 0) {
                row = static_cast<int>(r);
            }
        }
        if (row >= 0) {
            list_->SelectItem(row);
            list_->EnsureVisible(row);
        }
        list_->viewport()->update();
    }
    return true;
}

bool BlockedMessagesDialog::eventFilter(QObject* watched, QEvent* event) {
    // Every row of one paint comes from one reading of the file: a paint that finds it
    // changed draws nothing and asks for another with the new rows.
    if (list_ != nullptr && watched == list_->viewport() && event->type() == QEvent::Paint && Resync()) return true;
    return MenuBarDialog::eventFilter(watched, event);
}

const std::vector<std::uint32_t>& BlockedMessagesDialog::Order() { return order_; }

bool BlockedMessagesDialog::RowRecord(int row, BlockedMessageRecord& record) {
    std::optional<std::uint32_t> index = RecordOfRow(Order(), row);
    return index && file_.ReadAt(*index, record);
}

void BlockedMessagesDialog::OpenRow(int row) {
    // Rows that no longer show the file are drawn anew before any of them is opened.
    if (Resync()) return;
    std::optional<std::uint32_t> index = RecordOfRow(Order(), row);
    BlockedMessageRecord record;
    if (!index || !file_.ReadAt(*index, record)) return;
    auto restore = [this, &index, &record] {
        RestoreResult result = RestoreToInbox(file_, *index, record);
        // Another process may have changed the file under the view: the rows behind the
        // message that explains it are drawn again from the file as it is now.
        if (result != RestoreResult::Restored) {
            order_.clear();
            FollowFile();
            list_->SetItemCount(static_cast<int>(order_.size()));
            list_->viewport()->update();
        }
        return result;
    };
    if (MessageDialog(this, record, file_.WholeSubject(record), restore).DoModal() != IDM_RESTORE) return;
    // The next older message moves up into the restored one's row; the last row has none below it.
    FollowFile();
    int count = static_cast<int>(order_.size());
    chosen_.reset();
    list_->SetItemCount(count);
    list_->SelectItem(std::min(row, count - 1));
}

void BlockedMessagesDialog::Empty() {
    if (ShowStringMessage(this, IDS_EMPTY_BLOCKED_QUESTION, IDS_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    file_.Clear();
    FollowFile();
    chosen_.reset();
    list_->SetItemCount(static_cast<int>(order_.size()));
}

void BlockedMessagesDialog::OnLayout() { list_->setGeometry(Body()->rect()); }

void BlockedMessagesDialog::OnTimer(int timerId) {
    // A message appended meanwhile comes to the screen with the next paint, which takes the
    // file's rows afresh; nothing waits for a key to ask for one.
    if (timerId != kFollowTimer || !file_.IsOpen()) return;
    if (file_.Count() != order_.size() || file_.Generation() != orderGeneration_) list_->viewport()->update();
}

void BlockedMessagesDialog::Close(int result) {
    KillTimer(kFollowTimer);
    list_->SetItemCount(0);
    file_.Close();
    MenuBarDialog::Close(result);
}

}  // namespace velmo
