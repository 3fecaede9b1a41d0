// Device contexts, fonts and text, drawn with Qt into a top-level window's pixels.

#include <algorithm>
#include <cstring>
#include <utility>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

#include "device/Text.h"
#include "device/gui/HandheldFont.h"
#include "device/gui/Layer.h"
#include "device/gui/WindowLayer.h"

namespace velmo::device::gui {

namespace {

constexpr int kSystemFontPoints = 9;
constexpr char16_t kSystemFontFace[] = u"Tahoma";
constexpr int kDefaultFontPixels = 12;

HDC NewContext(HWND window, const QRegion& clip) {
    auto& layer = Layer::Get();
    auto context = std::make_unique<HDC__>();
    context->window = window;
    context->origin = window != nullptr ? ClientOrigin(window) : QPoint(0, 0);
    context->clip = clip;
    context->font = layer.systemFont;
    HDC handle = context.get();
    layer.contexts.emplace(handle, std::move(context));
    return handle;
}

// Ends a context; what it drew is shown when its window is still there.
void EndContext(HDC__* context) {
    auto& layer = Layer::Get();
    if (HWND__* window = layer.Window(context->window)) ScheduleShow(TopLevel(window));
    layer.contexts.erase(context);
}

QFont QtFont(const LOGFONTW& logFont) {
    std::size_t length = 0;
    while (length < LF_FACESIZE && logFont.lfFaceName[length] != u'\0') ++length;
    QString face = QString::fromUtf16(logFont.lfFaceName, static_cast<qsizetype>(length));
    // The handheld's own face stands for whichever font takes its place here.
    if (face.compare(QString::fromUtf16(kSystemFontFace), Qt::CaseInsensitive) == 0) face = HandheldFontFamily();
    QFont font(face);
    // Negative heights are character heights, positive ones cell heights; both are
    // taken as the pixel size, which is close enough for one line of text.
    int pixels = logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight;
    font.setPixelSize(pixels > 0 ? pixels : kDefaultFontPixels);
    font.setWeight(logFont.lfWeight <= 0 ? QFont::Normal
                                         : static_cast<QFont::Weight>(std::clamp<LONG>(logFont.lfWeight, 1, 1000)));
    font.setItalic(logFont.lfItalic != 0);
    font.setUnderline(logFont.lfUnderline != 0);
    font.setStrikeOut(logFont.lfStrikeOut != 0);
    return font;
}

int TextFlags(UINT format) {
    int flags = (format & DT_CENTER) != 0  ? Qt::AlignHCenter
                : (format & DT_RIGHT) != 0 ? Qt::AlignRight
                                           : Qt::AlignLeft;
    if ((format & DT_NOCLIP) != 0) flags |= Qt::TextDontClip;
    if ((format & DT_SINGLELINE) != 0) {
        flags |= Qt::TextSingleLine;
        flags |= (format & DT_VCENTER) != 0  ? Qt::AlignVCenter
                 : (format & DT_BOTTOM) != 0 ? Qt::AlignBottom
                                             : Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
        if ((format & DT_WORDBREAK) != 0) flags |= Qt::TextWordWrap;
    }
    return flags;
}

// Each line of text that is wider than width ends in an ellipsis, so that no glyph is cut.
QString Elided(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) line = metrics.elidedText(line, Qt::ElideRight, width);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

LOGFONTW FontOf(const HGDIOBJ__& object) {
    if (!object.stock) return object.font;
    LOGFONTW font{};
    font.lfHeight = -((kSystemFontPoints * Layer::Get().dpi + 36) / 72);
    font.lfWeight = FW_NORMAL;
    std::copy(std::begin(kSystemFontFace), std::end(kSystemFontFace), font.lfFaceName);
    return font;
}

bool PaintOn(HDC handle, const std::function<void(QPainter&)>& draw) {
    auto& layer = Layer::Get();
    HDC__* context = layer.Context(handle);
    HWND__* window = context != nullptr ? layer.Window(context->window) : nullptr;
    if (window == nullptr) return false;
    HWND__* top = TopLevel(window);
    {
        QPainter painter(&top->backing);
        painter.setClipRegion(context->clip);
        painter.translate(context->origin);
        draw(painter);
    }
    ScheduleShow(top);
    return true;
}

}  // namespace velmo::device::gui

using velmo::device::gui::Layer;

extern "C" {

HDC BeginPaint(HWND handle, PAINTSTRUCT* ps) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr || ps == nullptr) return nullptr;
    QRegion update = window->update;
    bool erase = window->erase;
    window->update = QRegion();
    window->erase = false;
    HDC dc = velmo::device::gui::NewContext(handle, velmo::device::gui::VisibleRegion(window) &
                                                        update.translated(velmo::device::gui::ClientOrigin(window)));
    *ps = PAINTSTRUCT{};
    ps->hdc = dc;
    QRect bounds = update.boundingRect();
    ps->rcPaint = RECT{bounds.left(), bounds.top(), bounds.left() + bounds.width(), bounds.top() + bounds.height()};
    ps->fErase = erase && SendMessageW(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0 ? TRUE : FALSE;
    return dc;
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* ps) {
    if (ps == nullptr) return FALSE;
    HDC__* context = Layer::Get().Context(ps->hdc);
    if (context == nullptr || context->window != handle) return FALSE;
    velmo::device::gui::EndContext(context);
    return TRUE;
}

HDC GetDC(HWND handle) {
    if (handle == nullptr) {
        return QGuiApplication::instance() != nullptr ? velmo::device::gui::NewContext(nullptr, QRegion()) : nullptr;
    }
    HWND__* window = Layer::Get().Window(handle);
    return window != nullptr ? velmo::device::gui::NewContext(handle, velmo::device::gui::VisibleRegion(window))
                             : nullptr;
}

int ReleaseDC(HWND handle, HDC dc) {
    HDC__* context = Layer::Get().Context(dc);
    if (context == nullptr || context->window != handle) return 0;
    velmo::device::gui::EndContext(context);
    return 1;
}

int GetDeviceCaps(HDC dc, int index) {
    if (Layer::Get().Context(dc) == nullptr) return 0;
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY: return Layer::Get().dpi;
        case HORZRES: return velmo::device::gui::ScreenSize().width();
        case VERTRES: return velmo::device::gui::ScreenSize().height();
        default: return 0;
    }
}

HGDIOBJ GetStockObject(int index) { return index == SYSTEM_FONT ? Layer::Get().systemFont : nullptr; }

int GetObjectW(HGDIOBJ handle, int size, LPVOID out) {
    HGDIOBJ__* object = Layer::Get().Object(handle);
    if (object == nullptr) return 0;
    if (out == nullptr) return static_cast<int>(sizeof(LOGFONTW));
    if (size <= 0) return 0;
    LOGFONTW font = velmo::device::gui::FontOf(*object);
    int copied = std::min(size, static_cast<int>(sizeof font));
    std::memcpy(out, &font, static_cast<std::size_t>(copied));
    return copied;
}

HFONT CreateFontIndirectW(const LOGFONTW* logFont) {
    if (logFont == nullptr) return nullptr;
    auto object = std::make_unique<HGDIOBJ__>(HGDIOBJ__{*logFont, false});
    HFONT handle = object.get();
    Layer::Get().objects.emplace(handle, std::move(object));
    return handle;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
    auto& layer = Layer::Get();
    HDC__* context = layer.Context(dc);
    if (context == nullptr || layer.Object(handle) == nullptr) return nullptr;
    HGDIOBJ previous = context->font;
    context->font = handle;
    return previous;
}

BOOL DeleteObject(HGDIOBJ handle) {
    auto& layer = Layer::Get();
    HGDIOBJ__* object = layer.Object(handle);
    if (object == nullptr) return FALSE;
    if (!object->stock) layer.objects.erase(handle);
    return TRUE;
}

int SetBkMode(HDC dc, int mode) {
    HDC__* context = Layer::Get().Context(dc);
    if (context == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    return std::exchange(context->bkMode, mode);
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    HDC__* context = Layer::Get().Context(dc);
    if (context == nullptr) return CLR_INVALID;
    return std::exchange(context->textColor, color);
}

int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    auto& layer = Layer::Get();
    HDC__* context = layer.Context(dc);
    if (context == nullptr || text == nullptr || rect == nullptr) return 0;
    std::size_t length = count < 0 ? velmo::device::Length(text) : static_cast<std::size_t>(count);
    QString string = QString::fromUtf16(text, static_cast<qsizetype>(length));
    // A font deleted while selected falls back to the system font rather than failing.
    HGDIOBJ__* fontObject = layer.Object(context->font);
    QFont font =
        velmo::device::gui::QtFont(velmo::device::gui::FontOf(fontObject != nullptr ? *fontObject : *layer.systemFont));
    QRect area(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    int flags = velmo::device::gui::TextFlags(format);
    if ((format & DT_END_ELLIPSIS) != 0 && (format & DT_WORDBREAK) == 0) {
        string = velmo::device::gui::Elided(string, QFontMetrics(font), area.width());
    }
    QRect bounds = QFontMetrics(font).boundingRect(area, flags, string);
    COLORREF color = context->textColor;
    bool opaque = context->bkMode == OPAQUE;
    velmo::device::gui::PaintOn(dc, [&](QPainter& painter) {
        if ((format & DT_NOCLIP) == 0) painter.setClipRect(area, Qt::IntersectClip);
        if (opaque) painter.fillRect(bounds, Qt::white);
        painter.setFont(font);
        painter.setPen(QColor(GetRValue(color), GetGValue(color), GetBValue(color)));
        painter.drawText(area, flags, string);
    });
    return bounds.height();
}

}  // extern "C"
