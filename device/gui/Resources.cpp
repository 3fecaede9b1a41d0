// Resources found through a module handle: the table that the module exports.

#include "device/gui/Resources.h"

#include <algorithm>

#include "device/Text.h"
#include "device/gui/Layer.h"

namespace velmo::device::gui {

const VelmoResourceTable* ResourcesOf(HINSTANCE instance) {
    return reinterpret_cast<const VelmoResourceTable*>(GetProcAddressW(instance, VelmoResourceTableName));
}

QImage BitmapResource(HINSTANCE instance, LPCWSTR name) {
    const VelmoResourceTable* table = ResourcesOf(instance);
    if (table == nullptr || name == nullptr || !IS_INTRESOURCE(name)) return QImage();
    auto id = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(name));
    const VelmoBitmapResource* end = table->bitmaps + table->bitmapCount;
    const VelmoBitmapResource* found =
        std::find_if(table->bitmaps, end, [id](const VelmoBitmapResource& b) { return b.id == id; });
    if (found == end) return QImage();
    VelmoBitmapPixels bitmap = found->pixels();
    if (bitmap.pixels == nullptr || bitmap.width <= 0 || bitmap.height <= 0) return QImage();
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
    for (int y = 0; y < bitmap.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width; ++x) row[x] = 0xFF000000u | bitmap.pixels[y * bitmap.width + x];
    }
    return image;
}

}  // namespace velmo::device::gui

extern "C" int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size) {
    const VelmoResourceTable* table = velmo::device::gui::ResourcesOf(instance);
    if (table == nullptr || buffer == nullptr || size <= 0) return 0;
    const VelmoStringResource* end = table->strings + table->stringCount;
    const VelmoStringResource* found =
        std::find_if(table->strings, end, [id](const VelmoStringResource& s) { return s.id == id; });
    if (found == end) return 0;
    std::size_t length = std::min(velmo::device::Length(found->text), static_cast<std::size_t>(size - 1));
    std::copy_n(found->text, length, buffer);
    buffer[length] = u'\0';
    return static_cast<int>(length);
}
