#include "app/ui/StateSelectorCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "app/ui/HandheldDialog.h"
#include "app/ui/Painting.h"
#include "app/ui/WindowClasses.h"

namespace velmo {

StateSelectorCtrl::StateSelectorCtrl(QWidget* parent) : QWidget(parent) {
    // A tab stop that a tap does not focus.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

std::intptr_t StateSelectorCtrl::SendMessage(unsigned message, std::intptr_t wParam) {
    switch (message) {
        case SSM_GETSTATE: return data_.Current();
        case SSM_SETSTATE:
            if (data_.SetCurrent(static_cast<std::int32_t>(wParam))) update();
            return 0;
        case SSM_SETCOUNT:
            if (data_.SetCount(static_cast<std::int32_t>(wParam))) update();
            return 0;
        default: return 0;
    }
}

void StateSelectorCtrl::Advance() {
    HandheldDialog* dialog = HandheldDialog::Of(this);
    if (dialog != nullptr) dialog->SendCommand(HandheldDialog::ControlId(this), SSN_STEPPING);
    data_.Advance();
    update();
    if (dialog != nullptr) dialog->PostCommand(HandheldDialog::ControlId(this), 0);
}

void StateSelectorCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    QRect area = rect();
    if (hasFocus()) {
        DrawFocusRect(painter, area);
        area.adjust(1, 1, -1, -1);
    }
    area.adjust(1, 1, -1, -1);
    if (HandheldDialog* dialog = HandheldDialog::Of(this)) {
        dialog->SendDrawItem({HandheldDialog::ControlId(this), data_.Current(), 0, this, &painter, area});
    }
}

void StateSelectorCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Advance();
}

void StateSelectorCtrl::keyPressEvent(QKeyEvent* event) {
    // Only the action key belongs to the control; arrows and the rest go to the dialog.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Advance();
        return;
    }
    event->ignore();
}

void StateSelectorCtrl::focusInEvent(QFocusEvent*) { update(); }

void StateSelectorCtrl::focusOutEvent(QFocusEvent*) { update(); }

bool RegisterStateSelectorClass() {
    return RegisterWindowClass(QString::fromLatin1(kStateSelectorClass),
                               [](QWidget* parent) { return new StateSelectorCtrl(parent); });
}

bool UnregisterStateSelectorClass() { return UnregisterWindowClass(QString::fromLatin1(kStateSelectorClass)); }

}  // namespace velmo
