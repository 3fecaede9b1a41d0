#include "app/ui/NotifyEdit.h"

#include "app/ui/HandheldDialog.h"

namespace velmo {

NotifyEdit::NotifyEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { Notify(EN_UPDATE); });
}

void NotifyEdit::Notify(int code) {
    if (HandheldDialog* dialog = HandheldDialog::Of(this)) dialog->SendCommand(HandheldDialog::ControlId(this), code);
}

void NotifyEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    Notify(EN_SETFOCUS);
}

void NotifyEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    Notify(EN_KILLFOCUS);
}

}  // namespace velmo
