#include "common/RegistryKey.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "device/Text.h"

namespace velmo {

RegistryKey::~RegistryKey() { Close(); }

void RegistryKey::SetPath(const char16_t* path) { basePath_ = path != nullptr ? path : u""; }

LONG RegistryKey::Create(const char16_t* fullPath) {
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
    DWORD disposition = 0;
    const LONG result = RegCreateKeyExW(root_, fullPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, &disposition);
    if (result != ERROR_SUCCESS) key_ = nullptr;
    return result;
}

bool RegistryKey::Open(const char16_t* subKey) {
    Close();
    // The key path lives in a MAX_PATH buffer, as on the handheld; a longer one cannot be named.
    std::array<char16_t, MAX_PATH> path{};
    const std::size_t subLength = device::Length(subKey);
    const bool separator = subKey != nullptr && subKey[0] != u'\\';
    if (basePath_.size() + (separator ? 1 : 0) + subLength >= MAX_PATH) return false;
    char16_t* end = std::copy(basePath_.begin(), basePath_.end(), path.data());
    if (separator) *end++ = u'\\';
    std::copy_n(subKey, subLength, end);

    if (RegOpenKeyExW(root_, path.data(), 0, KEY_ALL_ACCESS, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        Create(path.data());
    }
    DWORD largestValue = 0;
    if (key_ == nullptr || RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, &largestValue, nullptr, nullptr) != ERROR_SUCCESS) {
        Close();
        return false;
    }
    if (largestValue != 0) {
        // Zero-filled, and a failure rather than an exception when the value is too large to hold.
        buffer_.reset(new (std::nothrow) BYTE[largestValue]());
        if (!buffer_) {
            Close();
            return false;
        }
        bufferSize_ = largestValue;
    }
    return true;
}

void RegistryKey::Close() {
    buffer_.reset();
    bufferSize_ = 0;
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

bool RegistryKey::QueryIntoBuffer(const char16_t* name, DWORD& type, DWORD& size) {
    size = bufferSize_;
    type = REG_NONE;
    // A value that grew since Open reports success with no buffer to hold it, so the size is checked too.
    return RegQueryValueExW(key_, name, nullptr, &type, buffer_.get(), &size) == ERROR_SUCCESS && size <= bufferSize_;
}

bool RegistryKey::ReadDword(const char16_t* name, DWORD& value, const char16_t* subKey) {
    if (!Open(subKey)) return false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    // A REG_DWORD shorter than four bytes would be read past its end.
    const bool ok = QueryIntoBuffer(name, type, size) && type == REG_DWORD && size >= sizeof(DWORD);
    if (ok) std::memcpy(&value, buffer_.get(), sizeof(DWORD));
    Close();
    return ok;
}

bool RegistryKey::ReadShort(const char16_t* name, std::int16_t& value, const char16_t* subKey) {
    DWORD stored = 0;
    if (!ReadDword(name, stored, subKey)) return false;
    value = static_cast<std::int16_t>(static_cast<std::uint16_t>(stored & 0xFFFFu));
    return true;
}

bool RegistryKey::ReadString(const char16_t* name, char16_t* buffer, std::size_t length, const char16_t* subKey) {
    if (buffer == nullptr || length == 0) return false;
    if (!Open(subKey)) return false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    bool ok = QueryIntoBuffer(name, type, size) && type == REG_SZ;
    if (ok) {
        const std::size_t count = std::min<std::size_t>(size / sizeof(char16_t), length);
        if (count != 0) std::memcpy(buffer, buffer_.get(), count * sizeof(char16_t));
        const std::size_t end = static_cast<std::size_t>(std::find(buffer, buffer + count, u'\0') - buffer);
        if (end < count) {
            std::fill(buffer + end + 1, buffer + count, u'\0');
        } else if (count < length) {
            buffer[count] = u'\0';  // stored without its terminator, but it fits
        } else {
            buffer[0] = u'\0';  // a cut text would pass for a whole one
            ok = false;
        }
    }
    Close();
    return ok;
}

bool RegistryKey::ReadBytes(const char16_t* name, void* data, DWORD& size, const char16_t* subKey) {
    if (!Open(subKey)) return false;
    const bool ok = RegQueryValueExW(key_, name, nullptr, nullptr, static_cast<LPBYTE>(data), &size) == ERROR_SUCCESS;
    Close();
    return ok;
}

bool RegistryKey::Write(const char16_t* name, DWORD type, const void* data, DWORD size, const char16_t* subKey) {
    if (!Open(subKey)) return false;
    const bool ok = RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    Close();
    return ok;
}

bool RegistryKey::WriteValues(const std::vector<device::RegistryValue>& values, const char16_t* subKey) {
    if (!Open(subKey)) return false;
    const bool ok = device::WriteRegistryValues(key_, values) == ERROR_SUCCESS;
    Close();
    return ok;
}

bool RegistryKey::WriteDword(const char16_t* name, DWORD value, const char16_t* subKey) {
    return Write(name, REG_DWORD, &value, sizeof(value), subKey);
}

bool RegistryKey::WriteString(const char16_t* name, const char16_t* text, const char16_t* subKey) {
    if (text == nullptr) text = u"";
    const auto bytes = static_cast<DWORD>((device::Length(text) + 1) * sizeof(char16_t));
    return Write(name, REG_SZ, text, bytes, subKey);
}

bool RegistryKey::WriteBytes(const char16_t* name, const void* data, DWORD size, const char16_t* subKey) {
    return Write(name, REG_BINARY, data, size, subKey);
}

}  // namespace velmo
