#pragma once
// A virtual, owner-drawn list: it holds only a number of items and a selection mark;
// its dialog draws each visible item and hears of taps and keys as list notifications.

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

namespace velmo {

class OwnerDataListView : public QListView {
    Q_OBJECT
public:
    explicit OwnerDataListView(QWidget* parent);

    void SetItemCount(int count);
    int ItemCount() const;
    void SetRowHeight(int height);
    int RowHeight() const { return rowHeight_; }

    // The item last chosen by a tap, a key or the dialog; -1 for none.
    int SelectionMark() const { return mark_; }
    void SetSelectionMark(int item);
    // Makes the item the selected and focused one and the selection mark.
    void SelectItem(int item);
    void EnsureVisible(int item);
    void RedrawItem(int item);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // The dialog finds items itself; the list has no type-ahead.
    void keyboardSearch(const QString&) override {}

private:
    class Model : public QAbstractListModel {
    public:
        int count = 0;
        int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count; }
        QVariant data(const QModelIndex&, int) const override { return {}; }
        void Reset(int newCount);
    };
    class Delegate : public QStyledItemDelegate {
    public:
        explicit Delegate(OwnerDataListView* view) : QStyledItemDelegate(view), view_(view) {}
        void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
        QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    private:
        OwnerDataListView* view_;
    };

    Model model_;
    int rowHeight_ = 20;
    int mark_ = -1;
};

}  // namespace velmo
