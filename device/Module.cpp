#include "device/Module.h"

#include <dlfcn.h>
#include <link.h>

#include <map>
#include <mutex>
#include <string>

#include "device/DeviceRoot.h"
#include "device/Text.h"

namespace {

// The libraries that LoadLibraryW loaded and not yet freed, with their load counts, so that
// a stale or foreign handle is refused rather than handed to the dynamic loader.
class ModuleTable {
public:
    void Add(HMODULE module) {
        std::lock_guard lock(mutex_);
        ++loads_[module];
    }

    bool Holds(HMODULE module) {
        std::lock_guard lock(mutex_);
        return loads_.contains(module);
    }

    bool Release(HMODULE module) {
        {
            std::lock_guard lock(mutex_);
            auto found = loads_.find(module);
            if (found == loads_.end()) return false;
            if (--found->second == 0) loads_.erase(found);
        }
        // dlopen counted every LoadLibraryW, so each FreeLibrary gives one back.
        return dlclose(module) == 0;
    }

private:
    std::mutex mutex_;
    std::map<HMODULE, unsigned> loads_;
};

ModuleTable& Modules() {
    static ModuleTable table;
    return table;
}

std::string LibraryFile(std::u16string_view name) {
    if (name.find(u'/') != std::u16string_view::npos) return velmo::device::ToUtf8(name);
    return (velmo::device::WindowsDirectory() / velmo::device::ToUtf8(name)).string();
}

}  // namespace

extern "C" HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    if (lpLibFileName == nullptr || *lpLibFileName == u'\0') return nullptr;
    std::string file;
    try {
        file = LibraryFile(lpLibFileName);
    } catch (const velmo::device::NoDeviceRoot&) {
        return nullptr;  // no Windows directory to look in
    }
    auto module = static_cast<HMODULE>(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (module != nullptr) Modules().Add(module);
    return module;
}

extern "C" FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName) {
    if (lpProcName == nullptr || !Modules().Holds(hModule)) return nullptr;
    void* symbol = dlsym(hModule, velmo::device::ToUtf8(lpProcName).c_str());
    // dlsym also searches the libraries this one depends on; only its own exports count.
    if (symbol == nullptr || velmo::device::ModuleOfAddress(symbol) != hModule) return nullptr;
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" BOOL FreeLibrary(HMODULE hLibModule) { return Modules().Release(hLibModule) ? TRUE : FALSE; }

namespace velmo::device {

HMODULE ModuleOfAddress(const void* address) {
    Dl_info info{};
    link_map* map = nullptr;
    // In this C library a dlopen handle is the module's link map.
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return nullptr;
    return reinterpret_cast<HMODULE>(map);
}

}  // namespace velmo::device
