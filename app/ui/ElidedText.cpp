#include "app/ui/ElidedText.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace velmo {

QString ElidedLabel::ShownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElidedLabel::minimumSizeHint() const { return QSize(0, QLabel::minimumSizeHint().height()); }

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(), ShownText(),
                          foregroundRole());
}

QString ElidedButton::ShownText() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return fontMetrics().elidedText(text(), Qt::ElideRight, TextArea(option).width());
}

QSize ElidedButton::minimumSizeHint() const { return QSize(0, QPushButton::minimumSizeHint().height()); }

QRect ElidedButton::TextArea(const QStyleOptionButton& option) const {
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void ElidedButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = fontMetrics().elidedText(text(), Qt::ElideRight, TextArea(option).width());
    painter.drawControl(QStyle::CE_PushButton, option);
}

}  // namespace velmo
