#include "app/ui/SoftKeyBar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <algorithm>

#include "app/ui/BoldFont.h"
#include "app/ui/CheckMarkMenuStyle.h"
#include "app/ui/ElidedText.h"

namespace velmo {

namespace {

QAction* FindIn(const QMenu* menu, unsigned command) {
    if (menu == nullptr) return nullptr;
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr) {
            if (QAction* found = FindIn(action->menu(), command)) return found;
        } else if (!action->isSeparator() && action->data().toUInt() == command) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace

SoftKeyBar::SoftKeyBar(const MenuResource& menu, QWidget* parent)
    : QWidget(parent), menuId_(static_cast<int>(menu.id)) {
    setObjectName(QStringLiteral("SoftKeyBar"));
    menuStyle_ = new CheckMarkMenuStyle;
    menuStyle_->setParent(this);
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "#SoftKeyBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #5a6878, stop:1 #26303c); }"
        "#SoftKeyBar QPushButton { color: white; border: none; background: transparent; padding: 0 8px; }"
        "#SoftKeyBar QPushButton:pressed { background: #3c8cdc; }"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (std::size_t i = 0; i < menu.softKeys.size(); ++i) {
        const MenuItem& item = menu.softKeys[i];
        auto* key = new ElidedButton(this);
        key->setText(QString::fromStdU16String(std::u16string(item.text)));
        key->setFont(BoldFont());
        key->setFocusPolicy(Qt::NoFocus);
        key->setAutoDefault(false);
        key->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        // The left key's text sits at the left edge, the right key's at the right edge.
        key->setStyleSheet(i == 0 ? QStringLiteral("text-align: left;") : QStringLiteral("text-align: right;"));
        QMenu* popup = item.IsPopup() ? BuildMenu(item.popup, this) : nullptr;
        popups_.push_back(popup);
        int index = static_cast<int>(i);
        unsigned command = item.command;
        connect(key, &QPushButton::clicked, this, [this, index, command] {
            if (popups_[static_cast<std::size_t>(index)] != nullptr) {
                OpenPopup(index);
            } else {
                emit Command(static_cast<int>(command));
            }
        });
        keys_.push_back(key);
        layout->addWidget(key, 1);
    }
}

QMenu* SoftKeyBar::BuildMenu(std::span<const MenuItem> items, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setStyle(menuStyle_);
    menu->installEventFilter(this);
    for (const MenuItem& item : items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
            continue;
        }
        QString text = QString::fromStdU16String(std::u16string(item.text));
        if (item.IsPopup()) {
            QMenu* sub = BuildMenu(item.popup, menu);
            sub->setTitle(text);
            menu->addMenu(sub);
            continue;
        }
        QAction* action = menu->addAction(text);
        action->setData(item.command);
        connect(action, &QAction::triggered, this, [this, action](bool checked) {
            // A check mark changes only when the program sets it, not by the tap itself.
            if (action->isCheckable()) action->setChecked(!checked);
            emit Command(static_cast<int>(action->data().toUInt()));
        });
    }
    return menu;
}

bool SoftKeyBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        if (auto* menu = qobject_cast<QMenu*>(watched)) KeepOnScreen(*menu);
    }
    return QWidget::eventFilter(watched, event);
}

void SoftKeyBar::KeepOnScreen(QMenu& menu) const {
    // A sub-menu opens beside its parent menu, which on the narrow screen is mostly
    // outside it; there it covers part of its parent instead, as on the handheld.
    QRect screen = window()->geometry();
    QRect placed = menu.geometry();
    int width = std::min(placed.width(), screen.width());
    int height = std::min(placed.height(), screen.height());
    int left = std::clamp(placed.left(), screen.left(), screen.right() + 1 - width);
    int top = std::clamp(placed.top(), screen.top(), screen.bottom() + 1 - height);
    QRect inside(left, top, width, height);
    // Moved over its parent menu, a sub-menu goes above the entry it opened from, or below
    // it, so that the entry stays in sight.
    if (auto* parent = qobject_cast<QMenu*>(menu.parentWidget()); parent != nullptr && menu.menuAction() != nullptr) {
        QRect entry = parent->actionGeometry(menu.menuAction());
        entry.moveTopLeft(parent->mapToGlobal(entry.topLeft()));
        if (inside.intersects(entry)) {
            if (entry.top() - screen.top() >= height) {
                inside.moveBottom(entry.top() - 1);
            } else if (screen.bottom() - entry.bottom() >= height) {
                inside.moveTop(entry.bottom() + 1);
            }
        }
    }
    if (inside != placed) menu.setGeometry(inside);
}

QMenu* SoftKeyBar::SubMenu(int index) const {
    if (index < 0 || index >= KeyCount()) return nullptr;
    return popups_[static_cast<std::size_t>(index)];
}

void SoftKeyBar::OpenPopup(int index) {
    QMenu* popup = SubMenu(index);
    if (popup == nullptr) return;
    QPushButton* key = Key(index);
    QSize size = popup->sizeHint();
    // Popups open upward from the bar; the right key's popup ends at the right edge.
    int left = index == 0 ? key->x() : key->x() + key->width() - size.width();
    popup->popup(mapToGlobal(QPoint(left, -size.height())));
}

QAction* SoftKeyBar::FindCommand(unsigned command) const {
    for (QMenu* popup : popups_) {
        if (QAction* found = FindIn(popup, command)) return found;
    }
    return nullptr;
}

bool CheckMenuItem(QMenu* menu, unsigned command, bool checked) {
    QAction* action = FindIn(menu, command);
    if (action == nullptr) return false;
    action->setCheckable(true);
    action->setChecked(checked);
    return true;
}

}  // namespace velmo
