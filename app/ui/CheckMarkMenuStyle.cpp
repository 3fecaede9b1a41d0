#include "app/ui/CheckMarkMenuStyle.h"

#include <QPainter>
#include <QStyleOptionMenuItem>
#include <iterator>

namespace velmo {

namespace {

// The tick's corners within its 12 x 10 box, left to right.
constexpr QPointF kTick[] = {{1.0, 5.0}, {4.5, 8.5}, {11.0, 1.5}};
constexpr int kTickWidth = 12;
constexpr int kTickHeight = 10;
constexpr int kTickLeft = 5;

}  // namespace

void CheckMarkMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || item == nullptr || item->checkType == QStyleOptionMenuItem::NotCheckable) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The entry is drawn without its indicator; the column for it stays, as the menu
    // still holds checkable entries.
    QStyleOptionMenuItem plain(*item);
    plain.checkType = QStyleOptionMenuItem::NotCheckable;
    plain.checked = false;
    plain.state &= ~(State_On | State_Off);
    QProxyStyle::drawControl(element, &plain, painter, widget);
    if (!item->checked) return;
    bool selected = (item->state & State_Selected) && (item->state & State_Enabled);
    QRect box(item->rect.left() + kTickLeft, item->rect.center().y() - kTickHeight / 2, kTickWidth, kTickHeight);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(item->palette.color(selected ? QPalette::HighlightedText : QPalette::WindowText), 2.0,
                         Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->translate(box.topLeft());
    painter->drawPolyline(kTick, static_cast<int>(std::size(kTick)));
    painter->restore();
}

}  // namespace velmo
