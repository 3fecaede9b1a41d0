#include "app/ui/Painting.h"

#include <QFontMetrics>
#include <QStringList>
#include <algorithm>

#include "app/ui/WindowConstants.h"

namespace velmo {

QColor ColorFromRef(std::uint32_t colorRef) {
    return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                  static_cast<int>((colorRef >> 16) & 0xFF));
}

namespace {

// The line's width with its ink: glyphs at fractional positions can end a pixel past the
// rounded advance, and a line set against a right edge would lose that pixel.
int InkWidth(const QFontMetrics& metrics, const QString& line) {
    return std::max(metrics.horizontalAdvance(line), metrics.boundingRect(line).right() + 1);
}

// How far the line's ink rises above the font's ascent: accents over capitals ("É", "Å", "Й")
// in some faces, which a line set at the ascent would lose to the top of its rectangle.
int RiseAboveAscent(const QFontMetrics& metrics, const QString& line) {
    return std::max(0, -metrics.boundingRect(line).top() - metrics.ascent());
}

}  // namespace

int DrawTextW(QPainter& painter, const QString& text, QRect& rect, unsigned format) {
    QFontMetrics metrics(painter.font());
    QStringList lines;
    if (format & DT_SINGLELINE) {
        lines
            << QString(text).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    } else {
        lines = QString(text).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    }
    if (format & DT_END_ELLIPSIS) {
        for (auto& line : lines) line = metrics.elidedText(line, Qt::ElideRight, rect.width());
    }
    int lineHeight = metrics.height();
    int height = lineHeight * static_cast<int>(lines.size());
    if (format & DT_CALCRECT) {
        int width = 0;
        for (const auto& line : lines) width = std::max(width, InkWidth(metrics, line));
        rect.setSize(QSize(width, height));
        return height;
    }

    int rise = 0;
    for (const auto& line : lines) rise = std::max(rise, RiseAboveAscent(metrics, line));
    int top = rect.top() + rise;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect.top() + rise + (rect.height() - lineHeight - rise) / 2;
        else if (format & DT_BOTTOM)
            top = rect.bottom() + 1 - lineHeight;
    }
    painter.save();
    if (!(format & DT_NOCLIP)) painter.setClipRect(rect, Qt::IntersectClip);
    for (const auto& line : lines) {
        int width = metrics.horizontalAdvance(line);
        int left = rect.left();
        if (format & DT_CENTER)
            left = rect.left() + (rect.width() - width) / 2;
        else if (format & DT_RIGHT)
            left = rect.right() + 1 - InkWidth(metrics, line);
        painter.drawText(QPoint(left, top + metrics.ascent()), line);
        top += lineHeight;
    }
    painter.restore();
    return height;
}

void DrawFocusRect(QPainter& painter, const QRect& rect) {
    painter.save();
    painter.setPen(QPen(Qt::black, 0, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
}

}  // namespace velmo
