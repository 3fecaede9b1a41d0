#pragma once
// The title bar's caption and the soft keys' texts: on a screen too narrow for them
// they end in an ellipsis instead of being cut off mid-letter, and they do not hold the
// window wider than the screen.

#include <QLabel>
#include <QPushButton>

namespace velmo {

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The text as drawn at the label's present width.
    QString ShownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class ElidedButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    // The text as drawn at the button's present width.
    QString ShownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect TextArea(const QStyleOptionButton& option) const;
};

}  // namespace velmo
