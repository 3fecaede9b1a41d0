#include "device/TodayItems.h"

#include <stdexcept>

#include "device/Registry.h"
#include "device/Text.h"

namespace velmo::device {

namespace {

std::u16string ItemKey(std::u16string_view name) {
    if (name.empty() || name.find(u'\\') != std::u16string_view::npos) {
        throw std::runtime_error("not a Today item name: \"" + ToUtf8(name) + "\"");
    }
    return std::u16string(TodayItemsKey) + u"\\" + std::u16string(name);
}

class Key {
public:
    explicit Key(HKEY key) : key_(key) {}
    ~Key() { RegCloseKey(key_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_;
};

void Check(LONG rc, const std::string& what) {
    if (rc != ERROR_SUCCESS) throw std::runtime_error(what + " (registry error " + std::to_string(rc) + ")");
}

DWORD ReadDword(HKEY key, const char16_t* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return 0;
    }
    return value;
}

std::u16string ReadText(HKEY key, const char16_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return {};
    std::u16string text(size / sizeof(char16_t), u'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
        return {};
    }
    text.resize(Length(text.c_str()));
    return text;
}

}  // namespace

void RegisterTodayItem(std::u16string_view name, std::u16string_view dllPath) {
    std::u16string path = ItemKey(name);
    HKEY raw = nullptr;
    Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr),
          "cannot create the Today item key");
    Key key(raw);
    std::u16string dll(dllPath);
    Check(RegSetValueExW(key.get(), u"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                         static_cast<DWORD>((dll.size() + 1) * sizeof(char16_t))),
          "cannot write the Today item's library");
    const DWORD type = TodayCustomItemType, enabled = 1;
    Check(RegSetValueExW(key.get(), u"Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type), sizeof type),
          "cannot write the Today item's type");
    Check(RegSetValueExW(key.get(), u"Enabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enabled), sizeof enabled),
          "cannot enable the Today item");
}

bool UnregisterTodayItem(std::u16string_view name) {
    LONG rc = RegDeleteKeyW(HKEY_LOCAL_MACHINE, ItemKey(name).c_str());
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    Check(rc, "cannot remove the Today item");
    return true;
}

std::vector<TodayItemEntry> RegisteredTodayItems() {
    std::vector<TodayItemEntry> items;
    HKEY raw = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, TodayItemsKey, 0, KEY_READ, &raw);
    if (rc == ERROR_FILE_NOT_FOUND) return items;
    Check(rc, "cannot open the Today items");
    Key list(raw);
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        rc = RegEnumKeyExW(list.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        Check(rc, "cannot list the Today items");
        HKEY itemRaw = nullptr;
        Check(RegOpenKeyExW(list.get(), name, 0, KEY_READ, &itemRaw), "cannot open a Today item");
        Key item(itemRaw);
        items.push_back({std::u16string(name, length), ReadText(item.get(), u"DLL"), ReadDword(item.get(), u"Type"),
                         ReadDword(item.get(), u"Enabled") != 0});
    }
    return items;
}

}  // namespace velmo::device
