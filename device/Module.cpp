#include "device/Module.h"

#include <dlfcn.h>
#include <link.h>

#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceRoot.h"
#include "device/Text.h"

namespace {

struct LoadedModule {
    HMODULE handle;
    void* library;  // what dlopen answered
    unsigned references;
};

// The libraries that LoadLibraryW loaded and not yet freed, shared by every thread.
class ModuleTable {
public:
    HMODULE Add(void* library) {
        HMODULE handle = HandleOf(library);
        std::lock_guard lock(mutex_);
        for (auto& module : modules_) {
            if (module.library == library) {
                ++module.references;
                return handle;
            }
        }
        modules_.push_back({handle, library, 1});
        return handle;
    }

    void* Library(HMODULE handle) {
        std::lock_guard lock(mutex_);
        for (const auto& module : modules_) {
            if (module.handle == handle) return module.library;
        }
        return nullptr;
    }

    bool Release(HMODULE handle) {
        void* library = nullptr;
        {
            std::lock_guard lock(mutex_);
            auto it = modules_.begin();
            while (it != modules_.end() && it->handle != handle) ++it;
            if (it == modules_.end()) return false;
            library = it->library;
            if (--it->references == 0) modules_.erase(it);
        }
        // dlopen counted every LoadLibraryW, so each FreeLibrary gives one back.
        return dlclose(library) == 0;
    }

private:
    static HMODULE HandleOf(void* library) {
        link_map* map = nullptr;
        if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return nullptr;
        return velmo::device::ModuleOfAddress(map->l_ld);
    }

    std::mutex mutex_;
    std::vector<LoadedModule> modules_;
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
    void* library = dlopen(LibraryFile(lpLibFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    HMODULE handle = Modules().Add(library);
    if (handle == nullptr) dlclose(library);
    return handle;
}

extern "C" FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName) {
    if (lpProcName == nullptr) return nullptr;
    void* library = Modules().Library(hModule);
    if (library == nullptr) return nullptr;
    void* symbol = dlsym(library, velmo::device::ToUtf8(lpProcName).c_str());
    // dlsym also searches the libraries this one depends on; only its own exports count.
    if (symbol == nullptr || velmo::device::ModuleOfAddress(symbol) != hModule) return nullptr;
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" BOOL FreeLibrary(HMODULE hLibModule) { return Modules().Release(hLibModule) ? TRUE : FALSE; }

namespace velmo::device {

HMODULE ModuleOfAddress(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

}  // namespace velmo::device
