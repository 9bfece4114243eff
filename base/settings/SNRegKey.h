#pragma once
// Key of the settings store, in the registry's terms the suite was written in.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/resources/Settings.h"

using DWORD = std::uint32_t;
using HKEY = plat::SettingsRoot;
inline constexpr HKEY HKEY_CURRENT_USER = plat::SettingsRoot::CurrentUser;

// Not copyable or movable: it stands for one open key.
class CSNRegKey final {
public:
    CSNRegKey() = default;
    virtual ~CSNRegKey();
    CSNRegKey(const CSNRegKey&) = delete;
    CSNRegKey& operator=(const CSNRegKey&) = delete;

    // Opens an existing key for reading. An open key is closed first. 1 on success.
    int Open(HKEY root, const char* subkey);
    // Opens the key for reading and writing, creating it and its missing parents.
    int Create(HKEY root, const char* subkey);
    void Close();

    // 1 and out := the stored text, up to its first NUL; 0 and out untouched when
    // the value cannot be read. The stored type is not checked.
    int GetStringValue(std::string& out, const char* name);
    int SetStringValue(const char* value, const char* name);
    // The first 4 bytes of the stored value (a shorter value is zero-extended); null
    // when it cannot be read. The stored type is not checked.
    std::unique_ptr<DWORD> GetDWORDValue(const char* name);
    int SetDWORDValue(const DWORD* value, const char* name);
    // The stored bytes (a string with its NUL); null when the value cannot be read.
    // size, when given, receives their count.
    std::unique_ptr<unsigned char[]> GetBinaryValue(const char* name, std::size_t* size = nullptr);
    int SetBinaryValue(const void* data, int len, const char* name);

private:
    plat::SettingsKey m_hKey;
};
