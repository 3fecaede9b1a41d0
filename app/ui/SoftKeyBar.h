#pragma once
// The menu bar at the bottom of the screen: two soft keys built from a menu resource,
// each a command of its own or a popup that opens upward from the key.

#include <QMenu>
#include <QPushButton>
#include <QWidget>
#include <vector>

#include "app/resources/MenuTable.h"

namespace velmo {

class SoftKeyBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 26;

    SoftKeyBar(const MenuResource& menu, QWidget* parent);

    int MenuId() const { return menuId_; }
    int KeyCount() const { return static_cast<int>(keys_.size()); }
    QPushButton* Key(int index) const { return keys_[static_cast<std::size_t>(index)]; }
    // The popup of soft key index (SHCMBM_GETSUBMENU), or null when the key is a command.
    QMenu* SubMenu(int index) const;
    // Opens the popup of soft key index above the key.
    void OpenPopup(int index);
    // The entry with the command anywhere in the bar's popups, or null.
    QAction* FindCommand(unsigned command) const;

signals:
    void Command(int id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* BuildMenu(std::span<const MenuItem> items, QWidget* parent);
    // Moves a menu that would leave the screen (the window above the bar) inside it.
    void KeepOnScreen(QMenu& menu) const;

    int menuId_;
    std::vector<QPushButton*> keys_;
    std::vector<QMenu*> popups_;
    QStyle* menuStyle_ = nullptr;
};

// Checks or unchecks the entry with the command in menu or its sub-menus (CheckMenuItem
// by command); false when there is no such entry.
bool CheckMenuItem(QMenu* menu, unsigned command, bool checked);

}  // namespace velmo
