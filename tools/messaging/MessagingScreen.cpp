#include "tools/messaging/MessagingScreen.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "app/core/BlockedMessageRows.h"
#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/Painting.h"
#include "app/ui/SoftKeyBar.h"
#include "common/BlockedMessageMove.h"
#include "common/SettingsStore.h"
#include "common/trainer/SpamLearning.h"
#include "tools/messaging/MessageView.h"
#include "tools/messaging/MessagingMenus.h"

namespace velmo::messaging {

namespace {

constexpr std::uint32_t kRowLineColour = RGB(220, 220, 220);
constexpr std::uint32_t kHeaderColour = RGB(232, 238, 246);
constexpr std::uint32_t kNotSentColour = RGB(176, 0, 0);
constexpr int kHeaderHeight = 18;
// As long as the contact list's quick-find box waits for the first key, and after the last one.
constexpr int kQuickFindFirstKeyMs = 6000;
constexpr int kQuickFindIdleMs = 4000;
constexpr int kQuickFindMaxText = 79;

// One line of a message's text: its line breaks would push the rest out of the row, and its
// other control characters would draw as boxes. The blocked list writes its rows the same way.
QString OneLine(const std::u16string& text) { return QString::fromStdU16String(velmo::OneLine(text)); }

// How far accents over capitals ("É", "Å", "Й") rise above the font's ascent in its face.
int AccentRise(const QFontMetrics& metrics) {
    return std::max(0, -metrics.boundingRect(QStringLiteral("\u00C9\u00C5\u00D1\u0419")).top() - metrics.ascent());
}

// One line of a row at the bold font's full height, accents and descenders included.
int RowLineHeight() {
    QFontMetrics bold(BoldFont());
    return AccentRise(bold) + bold.height();
}

}  // namespace

MessagingScreen::MessagingScreen(QWidget* owner, Compose compose, Retry retry)
    : MenuBarDialog(owner, QStringLiteral("Messaging"), kCommandDone),
      compose_(std::move(compose)),
      retry_(std::move(retry)) {
    Body()->setFont(DialogFont());
    folderLabel_ = new QLabel(Body());
    folderLabel_->setTextFormat(Qt::PlainText);  // a folder's name from the store, never markup
    folderLabel_->setFont(BoldFont());
    folderLabel_->setAutoFillBackground(true);
    QPalette header = folderLabel_->palette();
    header.setColor(QPalette::Window, ColorFromRef(kHeaderColour));
    folderLabel_->setPalette(header);
    folderLabel_->setContentsMargins(3, 0, 3, 0);
    countLabel_ = new QLabel(Body());
    countLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    countLabel_->setContentsMargins(3, 0, 3, 0);
    list_ = new OwnerDataListView(Body());
    SetControlId(list_, IDC_MESSAGES);
    // Two and a half lines of the bold font, and never less than two lines at its full
    // height: the sender and time above, the text below.
    list_->SetRowHeight(std::max(QFontMetrics(BoldFont()).height() * 5 / 2, 2 * RowLineHeight() + 3));
    quickFind_ = new QLineEdit(Body());
    quickFind_->setMaxLength(kQuickFindMaxText);
    quickFind_->hide();
    quickFind_->installEventFilter(this);
    connect(quickFind_, &QLineEdit::textChanged, this, [this] { FindTyped(); });
}

MessagingScreen::~MessagingScreen() {
    // A menu still open would outlive its soft key bar by a moment and be handed the focus.
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

bool MessagingScreen::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    auto* bar = new SoftKeyBar(ListMenu(), this);
    SetMenuBar(bar);
    // The menu names what the chosen message allows whenever it opens.
    connect(bar->SubMenu(1), &QMenu::aboutToShow, this, [this] { UpdateMenu(); });
    Load();
    if (!rows_.empty()) list_->SelectItem(0);
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
    list_->setFocus(Qt::OtherFocusReason);
    return false;
}

void MessagingScreen::Load() {
    // The message chosen before stays chosen wherever it moved; when it is gone, the one that
    // took its place is.
    int mark = Chosen();
    device::EntryId chosen = mark >= 0 ? rows_[static_cast<std::size_t>(mark)].entryId : device::EntryId{};
    version_ = store_.ChangeCount();
    rows_ = LoadRows(store_, folder_);
    names_.Reload();
    list_->SetSelectionMark(-1);
    list_->SetItemCount(static_cast<int>(rows_.size()));
    if (!rows_.empty() && mark >= 0) {
        std::optional<std::size_t> found = FindRow(rows_, chosen);
        int row = found ? static_cast<int>(*found) : std::min(mark, static_cast<int>(rows_.size()) - 1);
        list_->SelectItem(row);
        list_->EnsureVisible(row);
    }
    std::size_t unread = static_cast<std::size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const MessageRow& row) { return !row.read; }));
    folderLabel_->setText(QString::fromStdU16String(folder_));
    countLabel_->setText(
        folder_ == u"Inbox" && unread > 0
            ? QStringLiteral("%1 unread").arg(unread)
            : QStringLiteral("%1 %2").arg(rows_.size()).arg(rows_.size() == 1 ? "message" : "messages"));
    list_->viewport()->update();
    UpdateMenu();
}

void MessagingScreen::Refresh() {
    // A contact added or renamed names its messages anew, as a message arriving does.
    if (store_.ChangeCount() != version_ || names_.Changed()) Load();
}

void MessagingScreen::ShowFolder(std::u16string folder) {
    CloseQuickFind();
    folder_ = std::move(folder);
    list_->SetSelectionMark(-1);
    rows_.clear();
    Load();
    if (!rows_.empty()) list_->SelectItem(0);
    UpdateMenu();
}

int MessagingScreen::Chosen() const {
    int mark = list_->SelectionMark();
    return mark >= 0 && mark < static_cast<int>(rows_.size()) ? mark : -1;
}

void MessagingScreen::UpdateMenu() {
    SoftKeyBar* bar = MenuBar();
    if (bar == nullptr) return;
    int row = Chosen();
    bool any = row >= 0;
    if (QAction* toggle = bar->FindCommand(kCommandToggleRead)) {
        toggle->setText(any && !rows_[static_cast<std::size_t>(row)].read ? QStringLiteral("Mark as read")
                                                                          : QStringLiteral("Mark as unread"));
        toggle->setEnabled(any);
    }
    for (unsigned command : {kCommandOpen, kCommandReply, kCommandDelete}) {
        if (QAction* action = bar->FindCommand(command)) action->setEnabled(any);
    }
    if (QAction* block = bar->FindCommand(kCommandBlock)) block->setEnabled(any && folder_ == u"Inbox");
    if (QAction* retry = bar->FindCommand(kCommandRetry)) retry->setVisible(retry_ && folder_ == u"Outbox");
    // One's own messages, sent or waiting, are neither answered nor unread.
    bool inbox = folder_ == u"Inbox";
    if (QAction* reply = bar->FindCommand(kCommandReply)) reply->setVisible(compose_ && inbox);
    if (QAction* toggle = bar->FindCommand(kCommandToggleRead)) toggle->setVisible(inbox);
    if (QAction* add = bar->FindCommand(kCommandNew)) add->setVisible(static_cast<bool>(compose_));
    const std::pair<unsigned, std::u16string_view> folders[] = {
        {kCommandInbox, u"Inbox"}, {kCommandSent, u"Sent"}, {kCommandOutbox, u"Outbox"}};
    for (const auto& [command, name] : folders) CheckMenuItem(bar->SubMenu(1), command, folder_ == name);
}

QString MessagingScreen::ShownTime(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    if (folder_ == u"Outbox") return QStringLiteral("Not sent");
    return MessageTime(rows_[static_cast<std::size_t>(row)].time, false);
}

QString MessagingScreen::ShownSender(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    const MessageRow& message = rows_[static_cast<std::size_t>(row)];
    return QString::fromStdU16String(names_.Shown(message.address, message.name));
}

std::intptr_t MessagingScreen::OnMenuCommand(int id) {
    int row = Chosen();
    switch (id) {
        case kCommandOpen: OpenRow(row); return TRUE;
        case kCommandReply:
            if (row >= 0 && folder_ == u"Inbox") StartCompose(rows_[static_cast<std::size_t>(row)].address);
            return TRUE;
        case kCommandToggleRead:
            if (folder_ == u"Inbox") ToggleRead(row);
            return TRUE;
        case kCommandDelete: DeleteRow(row, true); return TRUE;
        case kCommandBlock: BlockRow(row); return TRUE;
        case kCommandNew: StartCompose({}); return TRUE;
        case kCommandRetry: RetryOutbox(); return TRUE;
        case kCommandInbox: ShowFolder(u"Inbox"); return TRUE;
        case kCommandSent: ShowFolder(u"Sent"); return TRUE;
        case kCommandOutbox: ShowFolder(u"Outbox"); return TRUE;
        default: return FALSE;
    }
}

void MessagingScreen::OpenRow(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    MessageRow message = rows_[static_cast<std::size_t>(row)];
    if (!message.read && SetRead(store_.Interface(), message.entryId, true)) {
        message.read = true;
        Load();
    }
    bool inbox = folder_ == u"Inbox";
    int command = MessageView(this, message, ShownSender(row), inbox, !inbox).DoModal();
    // The rows may have moved while the view was open; the message is found again by its identifier.
    Load();
    std::optional<std::size_t> found = FindRow(rows_, message.entryId);
    if (!found) return;
    int now = static_cast<int>(*found);
    list_->SelectItem(now);
    switch (command) {
        case kCommandReply: StartCompose(message.address); break;
        case kCommandToggleRead: ToggleRead(now); break;
        case kCommandDelete: DeleteRow(now, false); break;
        case kCommandBlock: BlockRow(now); break;
        default: break;
    }
}

void MessagingScreen::ToggleRead(int row) {
    if (row < 0) return;
    const MessageRow& message = rows_[static_cast<std::size_t>(row)];
    if (!SetRead(store_.Interface(), message.entryId, !message.read)) {
        ShowMessage(this, QStringLiteral("The message cannot be changed."), QStringLiteral("Messaging"),
                    MB_OK | MB_ICONEXCLAMATION);
    }
    Load();
}

void MessagingScreen::DeleteRow(int row, bool ask) {
    if (row < 0) return;
    if (ask && !ConfirmDelete(this)) return;
    if (!DeleteMessage(store_.Interface(), store_.FolderEntryId(folder_),
                       rows_[static_cast<std::size_t>(row)].entryId)) {
        ShowMessage(this, QStringLiteral("The message cannot be deleted."), QStringLiteral("Messaging"),
                    MB_OK | MB_ICONEXCLAMATION);
    }
    Load();
}

void MessagingScreen::BlockRow(int row) {
    if (row < 0 || folder_ != u"Inbox") return;
    SettingsStore settings;
    QString problem;
    const MessageRow& message = rows_[static_cast<std::size_t>(row)];
    switch (BlockStoredMessage(settings, store_.Interface(), store_.InboxEntryId(), message.entryId)) {
        case BlockResult::Blocked: {
            // While the spam filter is on, a message the person blocks teaches it spam.
            std::string error;
            if (LearnFromUser(true, message.text, error) == UserLesson::Failed) {
                problem = QStringLiteral("The spam filter could not learn from the message: ") +
                          QString::fromStdString(error);
            }
            break;
        }
        case BlockResult::NotFound: problem = QStringLiteral("The message is no longer in the Inbox."); break;
        case BlockResult::NotAppended:
            problem = QStringLiteral("The blocked messages cannot be written; the message stays in the Inbox.");
            break;
        case BlockResult::NotDeleted:
            problem = QStringLiteral("The message is among the blocked messages, but it cannot be deleted here.");
            break;
    }
    if (!problem.isEmpty()) ShowMessage(this, problem, QStringLiteral("Messaging"), MB_OK | MB_ICONEXCLAMATION);
    Load();
}

void MessagingScreen::StartCompose(const std::u16string& recipient) {
    if (!compose_) return;
    compose_(this, recipient);
    // What was sent may have landed in Sent or the Outbox.
    Load();
}

void MessagingScreen::RetryOutbox() {
    if (!retry_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string problem = retry_();
    QApplication::restoreOverrideCursor();
    Load();
    if (!problem.empty()) {
        ShowMessage(this, QString::fromStdString(problem), QStringLiteral("Messaging"), MB_OK | MB_ICONEXCLAMATION);
    }
}

bool MessagingScreen::OnDrawItem(const DrawItemInfo& info) {
    if (info.controlId != IDC_MESSAGES || info.itemId < 0 || info.itemId >= static_cast<int>(rows_.size())) {
        return false;
    }
    const MessageRow& message = rows_[static_cast<std::size_t>(info.itemId)];
    QPainter& painter = *info.painter;
    const QRect& row = info.rect;
    bool selected = (info.itemState & ODS_SELECTED) != 0;
    if (selected) painter.fillRect(row, ColorFromRef(kChosenRowColour));
    painter.setPen(selected ? Qt::white : Qt::black);
    QFont regular = info.item->font();
    // Unread messages stand out by a bold sender, time and text.
    QFont strong = message.read ? regular : BoldFont();
    QRect inside = row.adjusted(3, 0, -3, 0);

    // Both lines are set on baselines of their own, at the bold font's full height: a name
    // with an accented capital stays level with the time, and descenders stay in the row.
    painter.setFont(strong);
    QFontMetrics metrics(strong);
    const int rise = AccentRise(QFontMetrics(BoldFont()));
    const int firstBaseline = row.top() + 1 + rise + metrics.ascent();
    const int secondBaseline = firstBaseline + RowLineHeight() + 1;
    painter.save();
    painter.setClipRect(row.adjusted(0, 0, 0, -1));
    QString time = ShownTime(info.itemId);
    // A message waiting in the Outbox says so where the others show their time.
    if (folder_ == u"Outbox" && !selected) painter.setPen(ColorFromRef(kNotSentColour));
    int timeWidth = std::max(metrics.horizontalAdvance(time), metrics.boundingRect(time).right() + 1);
    painter.drawText(QPoint(inside.right() + 1 - timeWidth, firstBaseline), time);
    painter.setPen(selected ? Qt::white : Qt::black);
    int senderWidth = inside.width() - timeWidth - 4;
    painter.drawText(QPoint(inside.left(), firstBaseline),
                     metrics.elidedText(ShownSender(info.itemId), Qt::ElideRight, senderWidth));
    painter.drawText(QPoint(inside.left(), secondBaseline),
                     metrics.elidedText(OneLine(message.text), Qt::ElideRight, inside.width()));
    painter.restore();

    painter.setPen(QPen(ColorFromRef(kRowLineColour), 0));
    painter.drawLine(row.left(), row.bottom(), row.right(), row.bottom());
    return true;
}

std::intptr_t MessagingScreen::OnNotify(const ListNotification& notification) {
    if (notification.controlId != IDC_MESSAGES) return 0;
    switch (notification.code) {
        case NM_CLICK: {
            // The list moves its mark once the tap is over; the message opens after that.
            int row = notification.item;
            QTimer::singleShot(0, this, [this, row] {
                list_->SelectItem(row);
                OpenRow(row);
            });
            return 0;
        }
        case LVN_KEYDOWN: break;
        default: return 0;
    }
    unsigned key = notification.virtualKey;
    switch (key) {
        case VK_RETURN: OpenRow(Chosen()); break;
        case VK_DELETE: DeleteRow(Chosen(), true); break;
        case VK_F1:
        case VK_F1 + 1: PressSoftKey(static_cast<int>(key - VK_F1)); break;
        case VK_UP:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_HOME:
        case VK_END:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_ESCAPE: break;
        default:
            if (notification.key != nullptr && !notification.key->text().trimmed().isEmpty()) {
                OpenQuickFind(notification.key);
            }
            break;
    }
    // The menu names what the chosen message allows, after the list moved its mark.
    QTimer::singleShot(0, this, [this] { UpdateMenu(); });
    return 0;
}

void MessagingScreen::OpenQuickFind(const QKeyEvent* key) {
    // What the last search left is cleared while the box is still closed: emptied once open,
    // it would close the search it is about to start.
    quickFind_->clear();
    quickFindOpen_ = true;
    OnLayout();
    quickFind_->show();
    quickFind_->setFocus(Qt::OtherFocusReason);
    SetTimer(kQuickFindTimer, kQuickFindFirstKeyMs);
    if (key != nullptr) quickFind_->insert(key->text());
}

void MessagingScreen::FindTyped() {
    if (!quickFindOpen_) return;
    SetTimer(kQuickFindTimer, kQuickFindIdleMs);
    QString text = quickFind_->text();
    if (text.isEmpty()) {
        CloseQuickFind();
        return;
    }
    // A sender that starts with what was typed, else one that holds it, else a text that does.
    auto first = [this](const std::function<bool(int)>& matches) {
        for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
            if (matches(row)) return row;
        }
        return -1;
    };
    int row = first([&](int r) { return ShownSender(r).startsWith(text, Qt::CaseInsensitive); });
    if (row < 0) row = first([&](int r) { return ShownSender(r).contains(text, Qt::CaseInsensitive); });
    if (row < 0) {
        row = first([&](int r) {
            return QString::fromStdU16String(rows_[static_cast<std::size_t>(r)].text)
                .contains(text, Qt::CaseInsensitive);
        });
    }
    if (row < 0) return;
    list_->SelectItem(row);
    list_->EnsureVisible(row);
    UpdateMenu();
}

void MessagingScreen::CloseQuickFind() {
    if (!quickFindOpen_) return;
    quickFindOpen_ = false;
    KillTimer(kQuickFindTimer);
    quickFind_->hide();
    OnLayout();
    list_->setFocus(Qt::OtherFocusReason);
}

bool MessagingScreen::eventFilter(QObject* watched, QEvent* event) {
    if (watched == quickFind_) {
        if (event->type() == QEvent::FocusOut && quickFindOpen_) {
            QTimer::singleShot(0, this, [this] { CloseQuickFind(); });
        } else if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            switch (key->key()) {
                case Qt::Key_Escape: CloseQuickFind(); return true;
                case Qt::Key_Return:
                case Qt::Key_Enter:
                    CloseQuickFind();
                    OpenRow(Chosen());
                    return true;
                case Qt::Key_Up:
                case Qt::Key_Down:
                    CloseQuickFind();
                    QApplication::sendEvent(list_, event);
                    return true;
                default: break;
            }
        }
    }
    return MenuBarDialog::eventFilter(watched, event);
}

void MessagingScreen::OnTimer(int timerId) {
    if (timerId == kQuickFindTimer) {
        CloseQuickFind();
    } else if (timerId == kRefreshTimer) {
        Refresh();
    }
}

void MessagingScreen::OnLayout() {
    QRect client = Body()->rect();
    int half = client.width() / 2;
    folderLabel_->setGeometry(0, 0, client.width(), kHeaderHeight);
    countLabel_->setGeometry(half, 0, client.width() - half, kHeaderHeight);
    countLabel_->raise();
    int boxHeight = quickFind_->sizeHint().height();
    int listBottom = quickFindOpen_ ? client.bottom() + 1 - boxHeight : client.bottom() + 1;
    quickFind_->setGeometry(0, client.bottom() + 1 - boxHeight, client.width(), boxHeight);
    list_->setGeometry(0, kHeaderHeight, client.width(), listBottom - kHeaderHeight);
}

}  // namespace velmo::messaging
