#include "app/ui/OwnerDataListView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "app/ui/HandheldDialog.h"
#include "app/ui/KeyCodes.h"

namespace velmo {

void OwnerDataListView::Model::Reset(int newCount) {
    beginResetModel();
    count = newCount;
    endResetModel();
}

void OwnerDataListView::Delegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    HandheldDialog* dialog = HandheldDialog::Of(view_);
    if (dialog == nullptr) return;
    unsigned state = 0;
    if (option.state & QStyle::State_Selected) state |= ODS_SELECTED;
    if ((option.state & QStyle::State_HasFocus) && view_->hasFocus()) state |= ODS_FOCUS;
    painter->save();
    dialog->SendDrawItem({HandheldDialog::ControlId(view_), index.row(), state, view_, painter, option.rect});
    painter->restore();
}

QSize OwnerDataListView::Delegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), view_->RowHeight());
}

OwnerDataListView::OwnerDataListView(QWidget* parent) : QListView(parent) {
    setModel(&model_);
    setItemDelegate(new Delegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(false);
    // The list scrolls by whole rows, as the handheld's does: its top row is never cut, and a
    // tap on the row cut by its bottom edge scrolls by rows until that row is whole.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

void OwnerDataListView::SetItemCount(int count) {
    model_.Reset(std::max(count, 0));
    // The mark outlives a new count, as the platform's list keeps it.
    if (mark_ >= 0 && mark_ < model_.count) SelectItem(mark_);
}

int OwnerDataListView::ItemCount() const { return model_.count; }

void OwnerDataListView::SetRowHeight(int height) {
    rowHeight_ = height;
    model_.Reset(model_.count);
}

void OwnerDataListView::SetSelectionMark(int item) {
    mark_ = item;
    if (item >= 0 && item < model_.count) SelectItem(item);
}

void OwnerDataListView::SelectItem(int item) {
    if (item < 0 || item >= model_.count) return;
    selectionModel()->setCurrentIndex(model_.index(item), QItemSelectionModel::ClearAndSelect);
    mark_ = item;
}

void OwnerDataListView::EnsureVisible(int item) {
    if (item >= 0 && item < model_.count) scrollTo(model_.index(item), QAbstractItemView::EnsureVisible);
}

void OwnerDataListView::RedrawItem(int item) {
    if (item >= 0 && item < model_.count) viewport()->update(visualRect(model_.index(item)));
}

void OwnerDataListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (current.isValid()) mark_ = current.row();
}

void OwnerDataListView::focusInEvent(QFocusEvent* event) {
    // Taking the focus gives the list a current item to draw the focus on, but chooses
    // nothing: a fresh list has no mark until a tap, a key or its dialog sets one.
    int mark = mark_;
    QListView::focusInEvent(event);
    mark_ = mark;
}

void OwnerDataListView::keyPressEvent(QKeyEvent* event) {
    if (HandheldDialog* dialog = HandheldDialog::Of(this)) {
        dialog->SendNotify({HandheldDialog::ControlId(this), LVN_KEYDOWN, -1, VirtualKeyOf(*event), event});
    }
    // The list itself only moves between its items; every other key was the dialog's.
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
            // With nothing chosen yet, the first of these chooses the first item, as the
            // handheld's list does, rather than moving on from an item nobody chose.
            if (hasFocus() && (mark_ < 0 || mark_ >= model_.count) && model_.count > 0) {
                SelectItem(0);
                EnsureVisible(0);
                break;
            }
            if (hasFocus()) QListView::keyPressEvent(event);
            break;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
            if (hasFocus()) QListView::keyPressEvent(event);
            break;
        default: break;
    }
}

void OwnerDataListView::mousePressEvent(QMouseEvent* event) {
    // The tap is reported before it moves the mark, so the dialog can tell a tap on the
    // chosen item from one that chooses an item.
    QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        if (HandheldDialog* dialog = HandheldDialog::Of(this)) {
            dialog->SendNotify({HandheldDialog::ControlId(this), NM_CLICK, index.row(), 0, nullptr});
        }
    }
    QListView::mousePressEvent(event);
    // A tap on the item that is already current moves no current item, yet chooses it.
    if (index.isValid() && event->button() == Qt::LeftButton) mark_ = index.row();
}

}  // namespace velmo
