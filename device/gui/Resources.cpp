// Resources found through a module handle, which is the module's dlopen handle.

#include "device/gui/Resources.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>

#include "device/Text.h"
#include "device/gui/Layer.h"

namespace velmo::device::gui {

const VelmoResourceTable* ResourcesOf(HINSTANCE instance) {
    if (instance == nullptr) return nullptr;
    void* symbol = dlsym(instance, VELMO_RESOURCE_TABLE_NAME);
    if (symbol == nullptr) return nullptr;
    // dlsym also searches the module's dependencies; only the module's own table counts.
    Dl_info info;
    link_map* owner = nullptr;
    if (dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
        owner != reinterpret_cast<link_map*>(instance)) {
        return nullptr;
    }
    return static_cast<const VelmoResourceTable*>(symbol);
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

extern "C" {

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size) {
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

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
    if (module == nullptr) return FALSE;
    *module = nullptr;
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0 || name == nullptr) return FALSE;
    Dl_info info;
    link_map* map = nullptr;
    if (dladdr1(name, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || map == nullptr) return FALSE;
    // In this C library a dlopen handle is the module's link map.
    *module = reinterpret_cast<HMODULE>(map);
    return TRUE;
}

}  // extern "C"
