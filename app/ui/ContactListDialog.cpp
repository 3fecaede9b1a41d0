#include "app/ui/ContactListDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWindow>

#include "app/resources/ListBitmap.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StateBitmap.h"
#include "app/resources/StringTable.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/BlockedMessagesDialog.h"
#include "app/ui/BoldFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/ExportImport.h"
#include "app/ui/NotifyEdit.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/Painting.h"
#include "app/ui/ScheduleDialog.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/StateSelectorCtrl.h"
#include "app/ui/TextRulesDialog.h"
#include "app/ui/TimeFormat.h"
#include "app/ui/WindowClasses.h"

namespace velmo {

namespace {

struct CommandValue {
    unsigned command;
    std::int16_t value;
};

constexpr CommandValue kProgramStateCommands[] = {
    {IDM_STATE_ACTIVE, Active}, {IDM_STATE_BY_SCHEDULE, ActiveBySchedule}, {IDM_STATE_DISABLED, Disabled}};
constexpr CommandValue kItemsModeCommands[] = {{IDM_MODE_USER_SETTINGS, UserSettings},
                                               {IDM_MODE_ACCEPT_ALL, AcceptAll},
                                               {IDM_MODE_SILENT_ACCEPT_ALL, SilentAcceptAll},
                                               {IDM_MODE_DISMISS_ALL, DismissAll}};

constexpr std::uint32_t kSelectorColour = RGB(230, 230, 230);
constexpr std::uint32_t kFixedRowColour = RGB(0, 0, 255);
constexpr int kIconLeft = 1;
constexpr int kRowTextLeft = 29;
constexpr int kSelectorIconLeft = 2;
constexpr int kSelectorTextLeft = 31;
constexpr std::size_t kQuickFindMaxText = 79;

QString ToQString(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }

// The string table's "from %s to %s" with the two times in place of its two "%s".
QString FormatScheduleRange(const QString& start, const QString& end) {
    QString pattern = ToQString(LoadStringResource(IDS_SCHEDULE_RANGE));
    QString result;
    const QString* next[] = {&start, &end};
    int used = 0;
    for (int i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == QLatin1Char('%') && i + 1 < pattern.size() && pattern[i + 1] == QLatin1Char('s') &&
            used < 2) {
            result += *next[used++];
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

}  // namespace

ContactListDialog::ContactListDialog(SettingsStore& settings, ContactStateFile& contactStates,
                                     AddressBookOpener openAddressBook, Platform platform)
    : HandheldDialog(nullptr, ToQString(LoadStringResource(IDS_CAPTION))),
      settings_(settings),
      contactStates_(contactStates),
      openAddressBook_(std::move(openAddressBook)),
      platform_(platform) {
    // The controls of dialog 129, in its tab order.
    selector_ = qobject_cast<StateSelectorCtrl*>(CreateWindowOfClass(QString::fromLatin1(kStateSelectorClass), Body()));
    if (selector_ != nullptr) {
        SetControlId(selector_, IDC_STATE_SELECTOR);
        selector_->setGeometry(DialogUnitsToPixels(1, 1, 154, 16));
    }
    list_ = new OwnerDataListView(Body());
    SetControlId(list_, IDC_CONTACTS);
    list_->setGeometry(DialogUnitsToPixels(1, 18, 154, 95));
    list_->SetRowHeight(kRowHeight);
    quickFind_ = new NotifyEdit(Body());
    SetControlId(quickFind_, IDC_QUICKFIND);
    quickFind_->setGeometry(DialogUnitsToPixels(1, 114, 154, 14));
    quickFind_->hide();
}

ContactListDialog::~ContactListDialog() = default;

bool ContactListDialog::OnInitDialog() {
    // Without its registered selector class the dialog cannot be created.
    if (selector_ == nullptr) {
        EndDialog(-1);
        return false;
    }
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    menuBar_ = CreateDialogMenuBar(*this, IDR_MAIN_MENU);
    // The check marks show what is stored when the menu opens, whoever changed it last.
    if (QMenu* view = menuBar_ != nullptr ? menuBar_->SubMenu(0) : nullptr) {
        connect(view, &QMenu::aboutToShow, this, [this] { ShowStoredState(); });
    }
    listIcons_ = ImageList(ListBitmap(), kListIconWidth, kMaskColour);
    stateIcons_ = ImageList(StateBitmap(), kStateIconWidth, kMaskColour);
    char16_t path[ContactStateFile::kPathUnits] = {};
    settings_.ContactsInfoPath(path);
    contactStates_.SetPath(path);

    list_->SetItemCount(contacts_ ? contacts_->RowCount() : 0);
    selector_->SendMessage(SSM_SETCOUNT, 3);
    ShowStoredState();
    list_->setFocus();
    list_->SetSelectionMark(0);
    // Shown before the slow steps: opening the address book and loading the list.
    BringToForeground();

    addressBook_ = openAddressBook_();
    contacts_ = std::make_unique<ContactList>(contactStates_, settings_, *addressBook_);
    LoadList();
    // Opening the program resets the counters that the Today item shows.
    settings_.SetSilentMsg(0);
    settings_.SetBlockedMsg(0);
    return false;
}

void ContactListDialog::Shutdown(int result) {
    CloseQuickFind();
    contacts_.reset();
    addressBook_.reset();
    contactStates_.Close();
    DestroyMenuBar();
    menuBar_ = nullptr;
    listIcons_ = ImageList();
    stateIcons_ = ImageList();
    list_->SetItemCount(0);
    EndDialog(result);
}

void ContactListDialog::LoadList() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    contacts_->Load();
    QApplication::restoreOverrideCursor();
    list_->SetItemCount(contacts_->RowCount());
}

std::intptr_t ContactListDialog::OnCommand(int id, int code) {
    for (const auto& entry : kProgramStateCommands) {
        if (static_cast<unsigned>(id) == entry.command) {
            SetProgramState(entry.value);
            return 0;
        }
    }
    for (const auto& entry : kItemsModeCommands) {
        if (static_cast<unsigned>(id) == entry.command) {
            SetItemsMode(entry.value);
            return 0;
        }
    }
    switch (id) {
        case IDOK:
        case IDCANCEL:
        case IDM_CANCEL:
        case IDM_EXIT: Shutdown(kClosedByCommand); return TRUE;
        case IDC_STATE_SELECTOR:
            // A tap steps from the state stored now, which the Today item or another program may have changed.
            if (code == SSN_STEPPING) {
                ShowStoredState();
            } else {
                SetProgramState(static_cast<std::int16_t>(selector_->SendMessage(SSM_GETSTATE, 0)));
            }
            return 0;
        case IDC_QUICKFIND: return OnQuickFindNotify(code);
        case IDM_BLOCKED_MESSAGES:
            BlockedMessagesDialog(this, settings_, platform_).DoModal();
            RepaintAfterDialog();
            return 0;
        case IDM_SCHEDULE:
            ScheduleDialog(nullptr, settings_, platform_).DoModal();
            RepaintAfterDialog();
            return TRUE;
        case IDM_OPTIONS:
            OptionsDialog(this, settings_).DoModal();
            AfterOptions();
            RepaintAfterDialog();
            return TRUE;
        case IDM_ABOUT:
            AboutDialog(this).DoModal();
            RepaintAfterDialog();
            return TRUE;
        case IDM_TEXT_RULES: TextRulesDialog(this, settings_).DoModal(); return TRUE;
        case IDM_EXPORT: RunExport(this, settings_); return TRUE;
        case IDM_IMPORT:
            if (RunImport(this, settings_)) AfterImport();
            return TRUE;
        default: return 0;
    }
}

void ContactListDialog::SetProgramState(std::int16_t state) {
    settings_.SetActiveState(state);
    RefreshCheckMarks();
    selector_->SendMessage(SSM_SETSTATE, state);
}

void ContactListDialog::SetItemsMode(std::int16_t mode) {
    settings_.SetItemsState(mode);
    RefreshCheckMarks();
    // Every row shows the new mode's picture at once.
    list_->viewport()->repaint();
}

void ContactListDialog::RefreshCheckMarks() {
    QMenu* view = menuBar_ != nullptr ? menuBar_->SubMenu(0) : nullptr;
    if (view == nullptr || view->actions().size() < 2) return;
    QMenu* states = view->actions()[0]->menu();
    QMenu* modes = view->actions()[1]->menu();
    std::int16_t state = settings_.GetActiveState();
    std::int16_t mode = settings_.GetItemsState();
    for (const auto& entry : kProgramStateCommands) CheckMenuItem(states, entry.command, entry.value == state);
    for (const auto& entry : kItemsModeCommands) CheckMenuItem(modes, entry.command, entry.value == mode);
}

void ContactListDialog::ShowStoredState() {
    selector_->SendMessage(SSM_SETSTATE, settings_.GetActiveState());
    RefreshCheckMarks();
    // The rows' pictures follow the items mode, which they read as they are drawn.
    list_->viewport()->update();
}

bool ContactListDialog::event(QEvent* event) {
    // Other programs change the state and the items mode while this screen is behind them.
    if (event->type() == QEvent::WindowActivate && menuBar_ != nullptr) ShowStoredState();
    // Uncovered or raised without being activated (no window manager hands the focus over),
    // the screen is exposed: its window is watched for that from its first showing.
    if (event->type() == QEvent::Show && windowHandle() != nullptr && !watchingExposure_) {
        watchingExposure_ = true;
        windowHandle()->installEventFilter(this);
    }
    return HandheldDialog::event(event);
}

bool ContactListDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && menuBar_ != nullptr && isVisible()) {
        ShowStoredState();
    }
    return HandheldDialog::eventFilter(watched, event);
}

void ContactListDialog::OnBroughtForward() {
    if (menuBar_ != nullptr) ShowStoredState();
}

void ContactListDialog::RepaintAfterDialog() {
    // A full-screen dialog going away uncovers the whole screen, and what it changed (the
    // schedule's times, the name format) shows only when the selector and the list are
    // drawn again.
    update();
    selector_->update();
    list_->viewport()->update();
}

void ContactListDialog::AfterImport() {
    // The import replaced ContactsInfo.dat and may have changed every setting the screen shows.
    repaint();
    LoadList();
    ShowStoredState();
    RepaintAfterDialog();
}

void ContactListDialog::AfterOptions() {
    if (settings_.GetContactFormat() == contacts_->CachedFormat()) return;
    repaint();
    LoadList();
}

bool ContactListDialog::OnDrawItem(const DrawItemInfo& info) {
    switch (info.controlId) {
        case IDC_CONTACTS: DrawContactRow(info); return true;
        case IDC_STATE_SELECTOR: DrawStateSelector(info); return true;
        default: return false;
    }
}

void ContactListDialog::DrawContactRow(const DrawItemInfo& info) {
    int row = info.itemId;
    if (!contacts_ || row < 0 || row >= contacts_->RowCount()) return;
    QPainter& painter = *info.painter;
    const QRect& rect = info.rect;
    QString text = ToQString(contacts_->RowText(row));
    if (info.itemState & ODS_FOCUS) painter.fillRect(rect, ColorFromRef(kChosenRowColour));
    listIcons_.Draw(painter, contacts_->IconIndex(row, settings_.GetItemsState()), rect.left() + kIconLeft, rect.top());
    QRect textRect(QPoint(rect.left() + kRowTextLeft, rect.top()), rect.bottomRight());
    // On the focus fill the blue would be hard to read; there the fixed rows take the names' black.
    const bool onFill = (info.itemState & ODS_FOCUS) != 0;
    painter.setPen(ContactList::IsFixedRow(row) && !onFill ? ColorFromRef(kFixedRowColour) : QColor(Qt::black));
    painter.setFont(BoldFont());
    unsigned format = platform_ == Platform::WindowsMobile5 ? (DT_VCENTER | DT_END_ELLIPSIS) : DT_VCENTER;
    DrawTextW(painter, text, textRect, format);
}

void ContactListDialog::DrawStateSelector(const DrawItemInfo& info) {
    QPainter& painter = *info.painter;
    const QRect& rect = info.rect;
    painter.fillRect(rect, ColorFromRef(kSelectorColour));
    int icon = -1;
    unsigned text = 0;
    switch (info.itemId) {
        case Active:
            icon = 0;
            text = IDS_STATE_ACTIVE;
            break;
        case ActiveBySchedule:
            icon = 2;
            text = IDS_STATE_SCHEDULE;
            break;
        case Disabled:
            icon = 1;
            text = IDS_STATE_DISABLED;
            break;
        default: return;
    }
    int height = rect.height();
    stateIcons_.Draw(painter, icon, rect.left() + kSelectorIconLeft,
                     rect.top() + (height - stateIcons_.ImageSize().height()) / 2);
    painter.setFont(BoldFont());
    painter.setPen(Qt::black);
    int left = rect.left() + kSelectorTextLeft;
    int width = rect.right() + 1 - left;
    if (info.itemId != ActiveBySchedule) {
        QRect area(left, rect.top(), width, height);
        DrawTextW(painter, ToQString(LoadStringResource(text)), area, DT_VCENTER);
        return;
    }
    QRect upper(left, rect.top(), width, height / 2);
    DrawTextW(painter, ToQString(LoadStringResource(text)), upper, DT_VCENTER);
    // The schedule is read at every paint, so the line follows its settings.
    TimeOfDay start{}, end{};
    settings_.GetStartTime(start);
    settings_.GetEndTime(end);
    QRect lower(left, rect.top() + height - height / 2, width, height / 2);
    DrawTextW(painter,
              FormatScheduleRange(FormatTimeNoSeconds(start.hour, start.minute, start.second),
                                  FormatTimeNoSeconds(end.hour, end.minute, end.second)),
              lower, DT_VCENTER);
}

std::intptr_t ContactListDialog::OnNotify(const ListNotification& notification) {
    if (notification.controlId != IDC_CONTACTS) return 0;
    if (notification.code == NM_CLICK) {
        if (notification.item == list_->SelectionMark()) ChangeRowAction(notification.item);
        return 0;
    }
    if (notification.code != LVN_KEYDOWN) return 0;
    unsigned key = notification.virtualKey;
    switch (key) {
        case VK_RETURN:
            if (list_->SelectionMark() != -1) ChangeRowAction(list_->SelectionMark());
            break;
        case VK_UP:
            if (list_->SelectionMark() == 0) selector_->setFocus(Qt::OtherFocusReason);
            break;
        case VK_LEFT:
        case VK_RIGHT: selector_->setFocus(Qt::OtherFocusReason); break;
        case VK_F1:
        case VK_F1 + 1:
            // The soft keys' codes, when the window's shortcuts did not take them first.
            PressSoftKey(static_cast<int>(key - VK_F1));
            break;
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_HOME:
        case VK_END:
            // The list moves by itself; these keys type nothing to search for.
            break;
        default:
            if (key < 128 || QChar(static_cast<char16_t>(key)).isLetterOrNumber()) OpenQuickFind(notification.key);
            break;
    }
    return 0;
}

void ContactListDialog::ChangeRowAction(int row) {
    switch (contacts_->ChangeAction(row)) {
        case ContactList::Change::NeedsUserSettings:
            ShowStringMessage(this, IDS_SWITCH_TO_USER_SETTINGS, IDS_CAPTION, MB_ICONEXCLAMATION);
            break;
        case ContactList::Change::Changed: list_->RedrawItem(row); break;
        case ContactList::Change::RowsRebound: list_->viewport()->update(); break;
        case ContactList::Change::NotChangeable: break;
    }
}

void ContactListDialog::OpenQuickFind(const QKeyEvent* key) {
    QRect box = quickFind_->geometry();
    QRect list = list_->geometry();
    list_->setGeometry(list.left(), list.top(), list.width(), box.top() - list.top());
    quickFind_->clear();
    quickFindOpen_ = true;
    quickFind_->show();
    quickFind_->setFocus(Qt::OtherFocusReason);
    // A window without the keyboard focus gives the box none: it closes on time all the same.
    if (!quickFind_->hasFocus()) SetTimer(kQuickFindTimer, kQuickFindFirstKeyMs);
    if (key != nullptr && !key->text().isEmpty()) {
        QKeyEvent typed(QEvent::KeyPress, key->key(), key->modifiers(), key->text());
        QApplication::sendEvent(quickFind_, &typed);
    }
}

std::intptr_t ContactListDialog::OnQuickFindNotify(int code) {
    switch (code) {
        case EN_SETFOCUS: SetTimer(kQuickFindTimer, kQuickFindFirstKeyMs); break;
        case EN_UPDATE: {
            SetTimer(kQuickFindTimer, kQuickFindIdleMs);
            QString text = quickFind_->text().left(kQuickFindMaxText);
            if (text.isEmpty()) {
                CloseQuickFind();
                break;
            }
            int row = contacts_ ? contacts_->FindRow(text.toStdU16String()) : 0;
            list_->SelectItem(row);
            list_->EnsureVisible(row);
            list_->RedrawItem(row);
            break;
        }
        case EN_KILLFOCUS: CloseQuickFind(); break;
        default: break;
    }
    return 0;
}

void ContactListDialog::OnTimer(int) { CloseQuickFind(); }

void ContactListDialog::CloseQuickFind() {
    if (!quickFindOpen_) return;
    quickFindOpen_ = false;
    quickFind_->hide();
    list_->setFocus(Qt::OtherFocusReason);
    QRect list = list_->geometry();
    list_->setGeometry(list.left(), list.top(), Body()->width() - list.left(), Body()->height() - list.top());
    KillTimer(kQuickFindTimer);
}

void ContactListDialog::OnLayout() {
    QRect client = Body()->rect();
    QRect box = quickFind_->geometry();
    quickFind_->setGeometry(box.left(), client.bottom() + 1 - box.height(), client.right() + 1 - box.left(),
                            box.height());
    QRect list = list_->geometry();
    // While quick-find is open the list ends where the box begins.
    int listBottom = quickFindOpen_ ? quickFind_->geometry().top() : client.bottom() + 1;
    list_->setGeometry(list.left(), list.top(), client.right() + 1 - list.left(), listBottom - list.top());
    if (selector_ != nullptr) {
        QRect selector = selector_->geometry();
        selector_->setGeometry(selector.left(), selector.top(), client.right() + 1 - selector.left(),
                               selector.height());
    }
}

}  // namespace velmo
