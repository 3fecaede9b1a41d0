// Arbitrary registry values, of any type and size, under the names the settings store
// reads: every getter must stay inside its buffers, fall back to its default for what it
// cannot use, and leave the data-file paths either whole and terminated or empty. The
// decision that reads the schedule and states must answer for every hour of the week.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>

#include "common/SettingsStore.h"
#include "device/Registry.h"
#include "handler/Decision.h"

namespace {

constexpr const char16_t* kNames[] = {
    velmo::AppPathValue,        velmo::ActiveStateValue, velmo::ItemsStateValue, velmo::DefActionTypeValue,
    velmo::ContactFormatValue,  velmo::StartTimeValue,   velmo::EndTimeValue,    velmo::WeekDaysValue,
    velmo::DeleteTimeTypeValue, velmo::BlockedMsgValue,  velmo::SilentMsgValue,
};
constexpr DWORD kTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ};

// The device for the whole run, in memory where the system offers it; removed at exit.
void UseScratchDevice() {
    static bool ready = false;
    if (ready) return;
    static std::string dir = (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                        : std::filesystem::temp_directory_path()) /
                             "velmo-fuzz-settings-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) std::abort();
    setenv("VELMO_DEVICE", dir.c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    });
    ready = true;
}

void Require(bool condition) {
    if (!condition) std::abort();
}

std::size_t Terminated(const char16_t* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != u'\0') ++length;
    Require(length < capacity);
    return length;
}

// The data-file path is the stored directory and the name, or nothing at all.
void CheckPath(bool ok, const char16_t* path, std::u16string_view name) {
    std::size_t length = Terminated(path, MAX_PATH);
    if (!ok) {
        Require(length == 0);
        return;
    }
    Require(length >= name.size() && std::u16string_view(path, length).substr(length - name.size()) == name);
}

}  // namespace

// The input is a list of values: a byte naming the value, a byte choosing its type, two
// bytes of size (little-endian) and then that many bytes of data, as far as they go.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UseScratchDevice();
    velmo::SettingsStore store;
    HKEY key = nullptr;
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, velmo::SettingsKeyPath);
    Require(RegCreateKeyExW(HKEY_LOCAL_MACHINE, velmo::SettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    for (std::size_t at = 0; at + 4 <= size;) {
        const char16_t* name = kNames[data[at] % std::size(kNames)];
        DWORD type = kTypes[data[at + 1] % std::size(kTypes)];
        std::size_t length = std::min<std::size_t>(data[at + 2] | (data[at + 3] << 8), size - at - 4);
        RegSetValueExW(key, name, 0, type, data + at + 4, static_cast<DWORD>(length));
        at += 4 + length;
    }
    RegCloseKey(key);

    // A guard past each buffer shows any write beyond it.
    std::array<char16_t, MAX_PATH + 8> path;
    path.fill(u'#');
    bool read = store.GetAppPath(path.data());
    if (read) Terminated(path.data(), MAX_PATH);
    Require(path[MAX_PATH] == u'#');
    CheckPath(store.ContactsInfoPath(path.data()), path.data(), velmo::ContactsInfoFileName);
    CheckPath(store.MessagesPath(path.data()), path.data(), velmo::MessagesFileName);
    Require(path[MAX_PATH] == u'#');

    velmo::TimeOfDay time{};
    store.GetEndTime(time);
    store.GetDeleteTimeType();
    Require(velmo::PurgeAgeSeconds(store.GetDeleteTimeType()) >= 86400);
    store.GetDefActionType();
    store.GetContactFormat();
    store.GetBlockedMsg();
    store.GetSilentMsg();
    velmo::DecisionSettings decision = velmo::ReadDecisionSettings(store);
    for (std::uint16_t day = 0; day < 7; ++day) {
        for (std::uint16_t hour = 0; hour < 24; ++hour) {
            velmo::IsFilteringActiveNow(decision, velmo::LocalTimeNow{hour, 30, 0, day});
        }
    }
    return 0;
}
