// Image lists: a strip of equal pictures from a bitmap resource, drawn one at a time.

#include <algorithm>

#include <QPainter>

#include "device/gui/Layer.h"
#include "device/gui/WindowLayer.h"

using velmo::device::gui::Layer;

extern "C" {

HIMAGELIST ImageList_LoadImage(HINSTANCE instance, LPCWSTR name, int cx, int, COLORREF mask, UINT type, UINT) {
    if (type != IMAGE_BITMAP || cx <= 0) return nullptr;
    QImage bitmap = velmo::device::gui::BitmapResource(instance, name);
    if (bitmap.isNull() || bitmap.width() < cx) return nullptr;
    // The handheld keeps bitmaps in 16-bit colour; the mask colour is compared after
    // the same reduction.
    QImage strip = bitmap.copy(0, 0, bitmap.width() / cx * cx, bitmap.height())
                       .convertToFormat(QImage::Format_RGB16)
                       .convertToFormat(QImage::Format_ARGB32);
    if (mask != CLR_NONE) {
        QImage probe(1, 1, QImage::Format_RGB16);
        probe.fill(QColor(GetRValue(mask), GetGValue(mask), GetBValue(mask)));
        QRgb key = probe.pixel(0, 0);
        for (int y = 0; y < strip.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(strip.scanLine(y));
            for (int x = 0; x < strip.width(); ++x) {
                if (row[x] == key) row[x] = qRgba(0, 0, 0, 0);
            }
        }
    }
    auto list = std::make_unique<HIMAGELIST__>(HIMAGELIST__{strip, cx, strip.height()});
    HIMAGELIST handle = list.get();
    Layer::Get().imageLists.emplace(handle, std::move(list));
    return handle;
}

BOOL ImageList_Draw(HIMAGELIST handle, int index, HDC dc, int x, int y, UINT style) {
    return ImageList_DrawEx(handle, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

BOOL ImageList_DrawEx(HIMAGELIST handle, int index, HDC dc, int x, int y, int dx, int dy, COLORREF, COLORREF,
                      UINT style) {
    HIMAGELIST__* list = Layer::Get().ImageList(handle);
    if (list == nullptr || index < 0 || index >= list->strip.width() / list->cx || dx < 0 || dy < 0) return FALSE;
    int width = dx == 0 ? list->cx : dx;
    int height = dy == 0 ? list->cy : dy;
    QRect picture(index * list->cx, 0, list->cx, list->cy);
    bool drawn = velmo::device::gui::PaintOn(dc, [&](QPainter& painter) {
        if ((style & ILD_SCALE) != 0) {
            // Nearest pixels, as the handheld stretches its bitmaps: no blurred edges.
            painter.drawImage(QRect(x, y, width, height), list->strip, picture);
        } else {
            painter.drawImage(QPoint(x, y), list->strip,
                              QRect(picture.topLeft(), QSize(std::min(width, list->cx), std::min(height, list->cy))));
        }
    });
    return drawn ? TRUE : FALSE;
}

BOOL ImageList_GetIconSize(HIMAGELIST handle, int* cx, int* cy) {
    HIMAGELIST__* list = Layer::Get().ImageList(handle);
    if (list == nullptr || cx == nullptr || cy == nullptr) return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

BOOL ImageList_Destroy(HIMAGELIST handle) { return Layer::Get().imageLists.erase(handle) != 0 ? TRUE : FALSE; }

}  // extern "C"
