#pragma once
// A one-line edit box that reports focus and text changes to its dialog as the edit
// notifications EN_SETFOCUS, EN_KILLFOCUS and EN_UPDATE.

#include <QLineEdit>

namespace velmo {

class NotifyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit NotifyEdit(QWidget* parent);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Notify(int code);
};

}  // namespace velmo
