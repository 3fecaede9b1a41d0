#include <cstdio>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "device/ErrorText.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "device/VisibleText.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

using device::ToUtf16;
using device::ToUtf8;

struct KeyName {
    HKEY root;
    std::string rootName;
    std::u16string path;  // below the root, backslash-separated, may be empty
};

// "HKLM\Software\Apps" or "HKEY_CLASSES_ROOT/CLSID": every path names its root, so that a
// mistyped root is never taken for a key below another one.
KeyName ParseKey(const std::string& text) {
    std::string normal = text;
    for (char& c : normal) {
        if (c == '/') c = '\\';
    }
    while (!normal.empty() && normal.front() == '\\') normal.erase(0, 1);
    std::string first = normal.substr(0, normal.find('\\'));
    std::string upper = first;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Root {
        const char* longName;
        const char* shortName;
        HKEY key;
    };
    const Root roots[] = {{"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
                          {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
                          {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER}};
    std::string accepted;
    for (const auto& root : roots) {
        if (upper == root.longName || upper == root.shortName) {
            std::string rest = normal.size() > first.size() ? normal.substr(first.size() + 1) : std::string();
            return {root.key, root.longName, ToUtf16(rest)};
        }
        accepted += std::string(accepted.empty() ? "" : ", ") + root.longName + " (" + root.shortName + ")";
    }
    throw UsageError("the key " + text + " starts with \"" + first + "\", which is no root; a key path starts with " +
                     accepted + ", as in HKLM\\Software\\Apps\\VelmoLight");
}

std::string FullName(const KeyName& key) {
    return key.path.empty() ? key.rootName : key.rootName + "\\" + ToUtf8(key.path);
}

std::string Describe(LONG rc) {
    // The database's own words tell a full disk from a damaged file.
    std::string what = device::Win32ErrorText(rc);
    if (std::string why = device::RegistryDatabaseError(); !why.empty()) what += ": " + why;
    return what;
}

}  // namespace

std::string RegistryErrorText(std::int32_t rc) { return Describe(rc); }

std::runtime_error AppPathNotSet(const std::u16string& appPath) {
    std::string why = device::RegistryDatabaseError();
    return std::runtime_error("cannot set \"AppPath\" to " + ToUtf8(appPath) + (why.empty() ? "" : ": " + why));
}

namespace {

class OpenKey {
public:
    // Opens the key, or with create makes it when missing and says so on standard output.
    OpenKey(const KeyName& name, bool create) {
        DWORD disposition = REG_OPENED_EXISTING_KEY;
        LONG rc = create ? RegCreateKeyExW(name.root, name.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                           &disposition)
                         : RegOpenKeyExW(name.root, name.path.c_str(), 0, KEY_ALL_ACCESS, &key_);
        if (rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
            std::cout << "created the key " << FullName(name) << "\n";
        }
        if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_BADKEY) {
            throw UsageError("no key " + FullName(name) + ": " + Describe(rc));
        }
        if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot open " + FullName(name) + ": " + Describe(rc));
    }
    ~OpenKey() { RegCloseKey(key_); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string TypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return "REG_NONE";
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        default: return "type " + std::to_string(type);
    }
}

std::string FormatData(DWORD type, const std::vector<BYTE>& data) {
    std::ostringstream out;
    if (type == REG_DWORD && data.size() == 4) {
        DWORD value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                      static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
        out << value << " (0x" << std::hex << std::setw(8) << std::setfill('0') << value << ")";
    } else if ((type == REG_SZ || type == REG_EXPAND_SZ) && data.size() % 2 == 0) {
        std::u16string text(data.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
        }
        if (auto end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
        out << '"' << device::VisibleText(ToUtf8(text)) << '"';
    } else {
        for (std::size_t i = 0; i < data.size(); ++i) {
            out << (i ? " " : "") << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(data[i]);
        }
        if (data.empty()) out << "(empty)";
    }
    return out.str();
}

std::string DisplayName(const std::u16string& name) { return name.empty() ? "@" : device::VisibleText(ToUtf8(name)); }

void PrintValues(HKEY key, const std::string& indent) {
    for (DWORD index = 0;; ++index) {
        std::u16string name(16384, u'\0');
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, nullptr, &size);
        if (rc == ERROR_NO_MORE_ITEMS) return;
        if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot list values: " + Describe(rc));
        name.resize(nameLength);
        std::vector<BYTE> data(size);
        nameLength = 16384;
        std::u16string again(16384, u'\0');
        rc = RegEnumValueW(key, index, again.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot read a value: " + Describe(rc));
        data.resize(size);
        std::cout << indent << DisplayName(name) << "  " << TypeName(type) << "  " << FormatData(type, data) << "\n";
    }
}

void PrintTree(HKEY key, const std::string& name, const std::string& indent) {
    std::cout << indent << name << "\n";
    PrintValues(key, indent + "    ");
    for (DWORD index = 0;; ++index) {
        char16_t child[256];
        DWORD length = 256;
        LONG rc = RegEnumKeyExW(key, index, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return;
        if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot list keys: " + Describe(rc));
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, child, 0, KEY_ALL_ACCESS, &sub) == ERROR_SUCCESS) {
            PrintTree(sub, device::VisibleText(ToUtf8(std::u16string(child, length))), indent + "  ");
            RegCloseKey(sub);
        }
    }
}

std::u16string ValueName(const std::string& text) { return text == "@" ? std::u16string() : ToUtf16(text); }

std::vector<BYTE> ParseHex(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw UsageError("--binary takes hexadecimal bytes (e.g. 15000000 or \"15 00 00 00\"), not '" + text + "'");
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) throw UsageError("--binary needs an even number of hexadecimal digits");
    std::vector<BYTE> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<BYTE>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

DWORD ParseDword(const std::string& text) {
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < -2147483648LL || value > 4294967295LL) {
        throw UsageError("--dword takes a 32-bit number (decimal, negative or 0x hexadecimal), not '" + text + "'");
    }
    return static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
}

}  // namespace

void AddRegistryCommands(CLI::App& app) {
    auto* registry = app.add_subcommand("registry", "Read and change the device's registry");
    registry->require_subcommand(1);

    auto* list = registry->add_subcommand("list", "Show a key with its values and every key below it");
    auto listKey = std::make_shared<std::string>();
    list->add_option("KEY", *listKey, "Key path, e.g. HKLM\\Software\\Apps\\VelmoLight (default: every root)");
    list->callback([listKey] {
        device::UseRegistryReadOnly();
        std::vector<KeyName> keys;
        if (listKey->empty()) {
            keys = {ParseKey("HKEY_CLASSES_ROOT"), ParseKey("HKEY_LOCAL_MACHINE")};
        } else {
            keys = {ParseKey(*listKey)};
        }
        RequireDevice();
        for (const auto& name : keys) {
            OpenKey key(name, false);
            PrintTree(key.get(), FullName(name), "");
        }
    });

    auto* get = registry->add_subcommand("get", "Show one value of a key, or all of them");
    auto getKey = std::make_shared<std::string>();
    auto getValue = std::make_shared<std::optional<std::string>>();
    get->add_option("KEY", *getKey, "Key path")->required();
    get->add_option("VALUE", *getValue, "Value name (@ for the default value)");
    get->callback([getKey, getValue] {
        device::UseRegistryReadOnly();
        KeyName name = ParseKey(*getKey);
        RequireDevice();
        OpenKey key(name, false);
        if (!getValue->has_value()) {
            PrintValues(key.get(), "");
            return;
        }
        std::u16string value = ValueName(**getValue);
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExW(key.get(), value.c_str(), nullptr, &type, nullptr, &size);
        std::vector<BYTE> data(size);
        if (rc == ERROR_SUCCESS) rc = RegQueryValueExW(key.get(), value.c_str(), nullptr, &type, data.data(), &size);
        if (rc == ERROR_FILE_NOT_FOUND) throw UsageError("no value " + **getValue + " in " + FullName(name));
        if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot read " + **getValue + ": " + Describe(rc));
        data.resize(size);
        std::cout << TypeName(type) << "  " << FormatData(type, data) << "\n";
    });

    auto* set = registry->add_subcommand("set", "Write a value, creating the key when needed");
    auto setKey = std::make_shared<std::string>();
    auto setValue = std::make_shared<std::string>();
    auto dword = std::make_shared<std::optional<std::string>>();
    auto sz = std::make_shared<std::optional<std::string>>();
    auto binary = std::make_shared<std::optional<std::string>>();
    set->add_option("KEY", *setKey, "Key path")->required();
    set->add_option("VALUE", *setValue, "Value name (@ for the default value)")->required();
    auto* dwordOption = set->add_option("--dword", *dword, "REG_DWORD: a 32-bit number");
    auto* szOption = set->add_option("--sz", *sz, "REG_SZ: text");
    auto* binaryOption = set->add_option("--binary", *binary, "REG_BINARY: hexadecimal bytes");
    dwordOption->excludes(szOption)->excludes(binaryOption);
    szOption->excludes(binaryOption);
    set->callback([=] {
        std::vector<BYTE> data;
        DWORD type = 0;
        if (dword->has_value()) {
            DWORD number = ParseDword(**dword);
            type = REG_DWORD;
            for (int i = 0; i < 4; ++i) data.push_back(static_cast<BYTE>(number >> (8 * i)));
        } else if (sz->has_value()) {
            type = REG_SZ;
            std::u16string text = ToUtf16(**sz);
            for (char16_t unit : text) {
                data.push_back(static_cast<BYTE>(unit & 0xFF));
                data.push_back(static_cast<BYTE>(unit >> 8));
            }
            data.push_back(0);
            data.push_back(0);
        } else if (binary->has_value()) {
            type = REG_BINARY;
            data = ParseHex(**binary);
        } else {
            throw UsageError("set needs the value's type and data: --dword N, --sz TEXT or --binary HEX");
        }
        KeyName name = ParseKey(*setKey);
        OpenKey key(name, true);
        std::u16string value = ValueName(*setValue);
        LONG rc = RegSetValueExW(key.get(), value.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
        if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot write " + *setValue + ": " + Describe(rc));
    });

    auto* del = registry->add_subcommand("delete", "Delete a value, or a key with everything below it");
    auto delKey = std::make_shared<std::string>();
    auto delValue = std::make_shared<std::optional<std::string>>();
    del->add_option("KEY", *delKey, "Key path")->required();
    del->add_option("VALUE", *delValue, "Value name (@ for the default value)");
    del->callback([delKey, delValue] {
        KeyName name = ParseKey(*delKey);
        if (delValue->has_value()) {
            OpenKey key(name, false);
            std::u16string value = ValueName(**delValue);
            LONG rc = RegDeleteValueW(key.get(), value.c_str());
            if (rc == ERROR_FILE_NOT_FOUND) throw UsageError("no value " + **delValue + " in " + FullName(name));
            if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot delete " + **delValue + ": " + Describe(rc));
            return;
        }
        if (name.path.empty()) throw UsageError("a root key cannot be deleted");
        LONG rc = RegDeleteKeyW(name.root, name.path.c_str());
        if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_BADKEY) {
            throw UsageError("no key " + FullName(name) + ": " + Describe(rc));
        }
        if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot delete " + FullName(name) + ": " + Describe(rc));
    });
}

}  // namespace velmo::cli
