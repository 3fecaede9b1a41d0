#include "app/ui/FileChooserDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <algorithm>

#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/OwnerDataListView.h"
#include "app/ui/Painting.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TimeFormat.h"

namespace velmo {

namespace {

constexpr std::uint32_t kFolderColour = RGB(240, 200, 80);
constexpr std::uint32_t kFolderEdgeColour = RGB(160, 120, 20);
constexpr int kMargin = 4;
constexpr int kFieldHeight = 20;
constexpr int kLabelWidth = 42;
constexpr int kTextLeft = 22;
const QString kUp = QStringLiteral("..");
const QString kSuffix = QStringLiteral("json");

QString TableText(unsigned id) { return QString::fromStdU16String(std::u16string(LoadStringResource(id))); }

// A folder's picture, drawn rather than taken from a bitmap: a tab over a yellow body.
void DrawFolder(QPainter& painter, const QRect& row) {
    const int top = row.top() + (row.height() - 11) / 2;
    painter.setPen(QPen(ColorFromRef(kFolderEdgeColour), 0));
    painter.setBrush(ColorFromRef(kFolderColour));
    painter.drawRect(row.left() + 3, top, 6, 2);
    painter.drawRect(row.left() + 3, top + 2, 14, 9);
    painter.setBrush(Qt::NoBrush);
}

}  // namespace

FileChooserDialog::FileChooserDialog(QWidget* owner, Purpose purpose, const QString& folder)
    : MenuBarDialog(owner, TableText(purpose == Purpose::Export ? IDS_EXPORT_TITLE : IDS_IMPORT_TITLE), IDM_CANCEL),
      purpose_(purpose),
      folder_(QDir(folder).absolutePath()) {
    Body()->setFont(DialogFont());
    if (purpose_ == Purpose::Export) {
        nameLabel_ = new QLabel(QStringLiteral("Name:"), Body());
        name_ = new QLineEdit(Body());
        SetControlId(name_, IDC_NAME);
        connect(name_, &QLineEdit::returnPressed, this, [this] { Accept(); });
    }
    folderLabel_ = new QLabel(QStringLiteral("Folder:"), Body());
    folderText_ = new QLabel(Body());
    folderText_->setTextFormat(Qt::PlainText);  // a folder's name, never markup
    SetControlId(folderText_, IDC_FOLDER);
    folderText_->setFont(BoldFont());
    typeLabel_ = new QLabel(QStringLiteral("Type:"), Body());
    typeText_ = new QLabel(TableText(IDS_EXPORT_FILE_TYPE), Body());
    list_ = new OwnerDataListView(Body());
    SetControlId(list_, IDC_FILES);
    list_->SetRowHeight(kRowHeight);
    list_->setFrameShape(QFrame::Box);
}

bool FileChooserDialog::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, IDR_FILE_CHOOSER_MENU);
    CloseOnEscape();
    ShowFolder(folder_);
    if (name_ != nullptr)
        name_->setFocus();
    else
        list_->setFocus();
    return false;
}

void FileChooserDialog::ShowFolder(const QString& folder, const QString& chosen) {
    folder_ = QDir::cleanPath(QDir(folder).absolutePath());
    entries_.clear();
    QDir dir(folder_);
    if (!dir.isRoot()) entries_.push_back({kUp, true, {}});
    for (const QFileInfo& info : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        entries_.push_back({info.fileName(), true, {}});
    }
    // The newest file first: an import most often wants the export just made.
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.") + kSuffix}, QDir::Files, QDir::Time)) {
        entries_.push_back({info.fileName(), false, info.lastModified()});
    }
    list_->SetSelectionMark(-1);
    list_->SetItemCount(static_cast<int>(entries_.size()));
    // A row is always chosen, so that Enter or OK has something to act on.
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name == chosen; });
    if (found == entries_.end()) {
        found = std::find_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.folder; });
    }
    if (!entries_.empty()) {
        const int row = found != entries_.end() ? static_cast<int>(found - entries_.begin()) : 0;
        list_->SelectItem(row);
        list_->EnsureVisible(row);
    }
    list_->viewport()->update();
    OnLayout();
}

QString FileChooserDialog::RowText(int row) const {
    if (row < 0 || row >= static_cast<int>(entries_.size())) return {};
    return entries_[static_cast<std::size_t>(row)].name;
}

void FileChooserDialog::OpenRow(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const Entry& entry = entries_[static_cast<std::size_t>(row)];
    if (entry.folder) {
        // Going up, the folder just left stays chosen, so that a second step goes back into it.
        const QString left = entry.name == kUp ? QFileInfo(folder_).fileName() : QString();
        ShowFolder(QDir(folder_).absoluteFilePath(entry.name), left);
        return;
    }
    if (name_ != nullptr) name_->setText(entry.name);
    Choose(QDir(folder_).absoluteFilePath(entry.name));
}

std::intptr_t FileChooserDialog::OnMenuCommand(int id) {
    if (id != IDM_OK) return FALSE;
    Accept();
    return TRUE;
}

void FileChooserDialog::Accept() {
    if (name_ == nullptr || (list_->hasFocus() && name_->text().trimmed().isEmpty())) {
        OpenRow(list_->SelectionMark());
        return;
    }
    const QString name = name_->text().trimmed();
    if (name.isEmpty()) {
        ShowStringMessage(this, IDS_EXPORT_NO_NAME, IDS_CAPTION, MB_ICONEXCLAMATION);
        name_->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A name may be a path of its own; one that names a folder opens that folder.
    QString path = QDir::cleanPath(QDir(folder_).absoluteFilePath(name));
    if (QFileInfo(path).isDir()) {
        ShowFolder(path);
        name_->clear();
        return;
    }
    if (QFileInfo(path).suffix().compare(kSuffix, Qt::CaseInsensitive) != 0) path += QStringLiteral(".") + kSuffix;
    Choose(path);
}

void FileChooserDialog::Choose(const QString& path) {
    if (purpose_ == Purpose::Export && QFileInfo::exists(path)) {
        const QString question = TableText(IDS_EXPORT_REPLACE_QUESTION).replace(QStringLiteral("%s"), path);
        if (ShowMessage(this, question, TableText(IDS_CAPTION), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    }
    chosen_ = path;
    Close(IDM_OK);
}

bool FileChooserDialog::OnDrawItem(const DrawItemInfo& info) {
    if (info.controlId != IDC_FILES || info.itemId < 0 || info.itemId >= static_cast<int>(entries_.size())) {
        return false;
    }
    const Entry& entry = entries_[static_cast<std::size_t>(info.itemId)];
    QPainter& painter = *info.painter;
    const QRect& row = info.rect;
    const bool chosen = (info.itemState & ODS_SELECTED) != 0;
    if (chosen) painter.fillRect(row, ColorFromRef(kChosenRowColour));
    painter.setPen(ColorFromRef(GetSysColor(chosen ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT)));
    int dateWidth = 0;
    if (!entry.folder) {
        const QDate day = entry.modified.date();
        const QString date = FormatShortDate(day.year(), day.month(), day.day());
        painter.setFont(info.item->font());
        QRect measured = row;
        DrawTextW(painter, date, measured, DT_CALCRECT);
        dateWidth = measured.width() + kMargin;
        QRect dateArea(row.right() + 1 - dateWidth, row.top(), dateWidth - kMargin / 2, row.height());
        DrawTextW(painter, date, dateArea, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    } else {
        DrawFolder(painter, row);
        painter.setPen(ColorFromRef(GetSysColor(chosen ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT)));
    }
    painter.setFont(BoldFont());
    const int left = entry.folder ? kTextLeft : kMargin;
    QRect nameArea(row.left() + left, row.top(), row.width() - left - dateWidth - kMargin, row.height());
    DrawTextW(painter, entry.name, nameArea, DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    return true;
}

std::intptr_t FileChooserDialog::OnNotify(const ListNotification& notification) {
    if (notification.controlId != IDC_FILES) return 0;
    switch (notification.code) {
        case LVN_ODFINDITEMW: return -1;
        case LVN_KEYDOWN:
            if (notification.virtualKey == VK_RETURN) OpenRow(list_->SelectionMark());
            if (notification.virtualKey == VK_BACK && !QDir(folder_).isRoot()) OpenRow(0);
            return 0;
        case NM_CLICK:
            // As in the other lists: the first tap chooses a row, a tap on the chosen row opens it.
            if (notification.item >= 0 && notification.item == list_->SelectionMark()) OpenRow(notification.item);
            return 0;
        default: return 0;
    }
}

void FileChooserDialog::OnLayout() {
    const QRect body = Body()->rect();
    const int width = body.width() - 2 * kMargin;
    int top = kMargin;
    if (name_ != nullptr) {
        nameLabel_->setGeometry(kMargin, top, kLabelWidth, kFieldHeight);
        name_->setGeometry(kMargin + kLabelWidth, top, width - kLabelWidth, kFieldHeight);
        top += kFieldHeight + kMargin;
    }
    folderLabel_->setGeometry(kMargin, top, kLabelWidth, kFieldHeight);
    const int textWidth = width - kLabelWidth;
    folderText_->setGeometry(kMargin + kLabelWidth, top, textWidth, kFieldHeight);
    // The end of a long path says most about where the file goes, so the middle gives way.
    folderText_->setText(folderText_->fontMetrics().elidedText(folder_, Qt::ElideMiddle, textWidth));
    top += kFieldHeight;
    typeLabel_->setGeometry(kMargin, top, kLabelWidth, kFieldHeight);
    typeText_->setGeometry(kMargin + kLabelWidth, top, textWidth, kFieldHeight);
    top += kFieldHeight + kMargin;
    list_->setGeometry(kMargin, top, width, body.bottom() + 1 - kMargin - top);
}

}  // namespace velmo
