#pragma once
// The handheld's drawing calls on a QPainter, keeping their geometry: text drawn as
// DrawTextW lays it out, focus frames, colours given as COLORREF.

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>
#include <cstdint>

namespace velmo {

QColor ColorFromRef(std::uint32_t colorRef);

// Lays out and draws text in rect with the DT_ flags of WindowConstants.h, in the
// painter's font and pen colour, always on a transparent background. Vertical centring
// and bottom alignment apply to single-line text only; other text starts at the top,
// one line per line break. Unless DT_NOCLIP, nothing is drawn outside rect. With
// DT_CALCRECT nothing is drawn and rect becomes the size of the text. Returns the height
// of the text.
int DrawTextW(QPainter& painter, const QString& text, QRect& rect, unsigned format);

// The dotted frame that marks the keyboard focus, along the edge of rect.
void DrawFocusRect(QPainter& painter, const QRect& rect);

}  // namespace velmo
