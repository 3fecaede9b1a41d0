#pragma once
// Menus as the handheld draws them: a checked entry carries a check mark beside its text,
// an unchecked one nothing, so that the entries of a choice do not read as a row of
// independent check boxes.

#include <QProxyStyle>

namespace velmo {

class CheckMarkMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};

}  // namespace velmo
