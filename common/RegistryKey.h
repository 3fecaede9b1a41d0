#pragma once
// Named values below one registry key of HKEY_LOCAL_MACHINE. Every value operation
// opens the key and closes it again, so another process's change is seen at once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/Registry.h"

namespace velmo {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Replaces the base path by a copy of path (a null path means none).
    void SetPath(const char16_t* path);

    // Creates (or opens) fullPath below the root and keeps it as the open key.
    LONG Create(const char16_t* fullPath);
    // Opens the base path followed by subKey, creating the key when it is missing,
    // and prepares a zero-filled buffer as large as the key's largest value.
    bool Open(const char16_t* subKey = nullptr);
    void Close();

    // The low 16 bits of a REG_DWORD, as a signed number.
    bool ReadShort(const char16_t* name, std::int16_t& value, const char16_t* subKey = nullptr);
    bool ReadDword(const char16_t* name, DWORD& value, const char16_t* subKey = nullptr);
    // A REG_SZ into buffer of length units. The buffer is always left terminated;
    // a value that does not fit fails and leaves it empty.
    bool ReadString(const char16_t* name, char16_t* buffer, std::size_t length, const char16_t* subKey = nullptr);
    // Any value into data, whose capacity is size bytes; size becomes the stored size.
    bool ReadBytes(const char16_t* name, void* data, DWORD& size, const char16_t* subKey = nullptr);

    bool WriteDword(const char16_t* name, DWORD value, const char16_t* subKey = nullptr);
    bool WriteString(const char16_t* name, const char16_t* text, const char16_t* subKey = nullptr);
    bool WriteBytes(const char16_t* name, const void* data, DWORD size, const char16_t* subKey = nullptr);
    // Every one of values in one transaction: all of them, or none.
    bool WriteValues(const std::vector<device::RegistryValue>& values, const char16_t* subKey = nullptr);

private:
    // Queries name into the value buffer; the stored type and size come back.
    bool QueryIntoBuffer(const char16_t* name, DWORD& type, DWORD& size);
    bool Write(const char16_t* name, DWORD type, const void* data, DWORD size, const char16_t* subKey);

    std::u16string basePath_;
    HKEY root_ = HKEY_LOCAL_MACHINE;
    HKEY key_ = nullptr;
    DWORD bufferSize_ = 0;
    std::unique_ptr<BYTE[]> buffer_;
};

}  // namespace velmo
