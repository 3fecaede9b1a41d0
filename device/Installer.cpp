#include "device/Installer.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "device/DeviceRoot.h"
#include "device/ErrorText.h"
#include "device/Module.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "device/TodayItems.h"

namespace velmo::device {

namespace {

namespace fs = std::filesystem;

constexpr const char* HandlerFile = "VelmoHandler.dll";
constexpr const char* TodayFile = "VelmoToday.dll";
constexpr const char* ProgramFile = "VelmoLight.exe";
constexpr const char16_t* TodayItemName = u"VelmoLight Today";

struct InstalledFile {
    const char* name;
    fs::path (*directory)();
};
constexpr InstalledFile Deliverables[] = {
    {HandlerFile, WindowsDirectory},
    {TodayFile, WindowsDirectory},
    {ProgramFile, ProgramDirectory},
};

// A copy that takes the place of an older one in one rename, so that a process that has
// the older one loaded keeps running it undisturbed.
void CopyInto(const fs::path& source, const fs::path& target) {
    fs::path temporary = target;
    temporary += ".new-" + std::to_string(::getpid());
    fs::copy_file(source, temporary, fs::copy_options::overwrite_existing);
    std::error_code error;
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        throw std::runtime_error("cannot install " + target.string() + ": " + error.message());
    }
}

// Calls one of the installed handler's registration exports in the loaded library.
void CallHandlerExport(const char16_t* name) {
    fs::path library = WindowsDirectory() / HandlerFile;
    HMODULE module = LoadLibraryW(ToUtf16(library.string()).c_str());
    if (module == nullptr) throw std::runtime_error("cannot load " + library.string());
    using Export = HRESULT (*)();
    auto call = reinterpret_cast<Export>(GetProcAddressW(module, name));
    HRESULT result = call != nullptr ? call() : E_FAIL;
    FreeLibrary(module);
    if (call == nullptr) throw std::runtime_error(library.string() + " has no export " + ToUtf8(name));
    if (FAILED(result)) {
        throw std::runtime_error(ToUtf8(name) + " of " + library.string() + " failed with " + HresultText(result));
    }
}

void WriteAppPath(const fs::path& directory) {
    std::u16string path = ToUtf16(directory.string() + "/");
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, u"AppPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                            static_cast<DWORD>((path.size() + 1) * sizeof(char16_t)));
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot write \"AppPath\": " + Win32ErrorText(rc));
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    std::error_code error;
    auto size = fs::file_size(a, error);
    if (error || fs::file_size(b, error) != size || error) return false;
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    std::array<char, 65536> one{}, other{};
    while (first && second) {
        first.read(one.data(), one.size());
        second.read(other.data(), other.size());
        if (first.gcount() != second.gcount() ||
            !std::equal(one.begin(), one.begin() + first.gcount(), other.begin())) {
            return false;
        }
    }
    return first.eof() && second.eof();
}

}  // namespace

bool InstalledFrom(const fs::path& binDir) {
    if (!fs::exists(WindowsDirectory() / HandlerFile)) return false;
    for (const auto& file : Deliverables) {
        fs::path source = binDir / file.name;
        if (fs::exists(source) && !SameBytes(source, file.directory() / file.name)) return false;
    }
    return true;
}

std::vector<std::string> Install(const fs::path& binDir) {
    if (!fs::exists(binDir / HandlerFile)) {
        throw std::runtime_error((binDir / HandlerFile).string() + " is missing: build it first");
    }
    EnsureDeviceRoot();
    std::vector<std::string> steps;
    for (const auto& file : Deliverables) {
        fs::path source = binDir / file.name;
        if (!fs::exists(source)) {
            steps.push_back(std::string(file.name) + " is not built; not installed");
            continue;
        }
        fs::create_directories(file.directory());
        CopyInto(source, file.directory() / file.name);
        steps.push_back("copied " + std::string(file.name) + " to " + file.directory().string());
    }
    if (fs::exists(binDir / TodayFile)) {
        RegisterTodayItem(TodayItemName, ToUtf16((WindowsDirectory() / TodayFile).string()));
        steps.push_back("registered VelmoToday.dll as the Today item \"" + ToUtf8(TodayItemName) + "\"");
    }
    if (!fs::exists(binDir / ProgramFile)) {
        fs::create_directories(ProgramDirectory());
        WriteAppPath(ProgramDirectory());
        steps.push_back("\"AppPath\" set to " + ProgramDirectory().string() + "/");
    }
    CallHandlerExport(u"DllRegisterServer");
    steps.push_back("registered VelmoHandler.dll (DllRegisterServer)");
    return steps;
}

std::vector<std::string> Uninstall() {
    std::vector<std::string> steps;
    if (fs::exists(WindowsDirectory() / HandlerFile)) {
        CallHandlerExport(u"DllUnregisterServer");
        steps.push_back("unregistered VelmoHandler.dll (DllUnregisterServer)");
    }
    if (UnregisterTodayItem(TodayItemName)) steps.push_back("unregistered the Today item");
    for (const auto& file : Deliverables) {
        fs::path installed = file.directory() / file.name;
        if (fs::remove(installed)) steps.push_back("removed " + installed.string());
    }
    if (steps.empty()) steps.push_back("nothing was installed");
    return steps;
}

}  // namespace velmo::device
