#pragma once
// Typed settings store in place of the registry.
//
// A key path such as "SOFTWARE\Tolvek\Quorvex\Settings\General" (parts split at '\'
// or '/') names one INI file and one group in it: a leading "SOFTWARE" is dropped,
// the next two parts name the file (<config>/Tolvek/Quorvex.ini), the rest the group
// ("Settings/General"). <config> is $XDG_CONFIG_HOME, or ~/.config when it is unset.
// Values keep their type: a string, a 32-bit number or a block of bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

enum class SettingsRoot {
    CurrentUser
};

enum class SettingsType {
    String,
    Number,
    Binary
};

struct SettingsValue {
    SettingsType type = SettingsType::Binary;
    // String: the UTF-8 text and its terminating NUL; Number: 4 bytes, little-endian;
    // Binary: the bytes as stored.
    std::vector<unsigned char> bytes;
};

// One open key. It holds only the key's location, so copying is harmless.
class SettingsKey final {
public:
    // Opens an existing key for reading.
    bool Open(SettingsRoot root, std::string_view path);
    // Opens a key for reading and writing, creating it when it does not exist.
    bool Create(SettingsRoot root, std::string_view path);
    void Close();
    bool IsOpen() const { return m_open; }

    // Empty when the key is closed or the value is missing or unreadable.
    std::optional<SettingsValue> Value(std::string_view name) const;

    // Each answers false when the key is closed or read-only, the name is not a
    // valid value name, or the file cannot be written. A string is stored up to its
    // first NUL.
    bool SetString(std::string_view name, std::string_view text);
    bool SetNumber(std::string_view name, std::uint32_t number);
    bool SetBinary(std::string_view name, const void* data, std::size_t len);

    // The INI file and group that back a key path; false when the path is too short
    // to name a file (fewer than two parts after "SOFTWARE").
    static bool Locate(std::string_view path, std::string& file, std::string& group);
    // The user's configuration folder.
    static std::string Folder();

private:
    bool Store(std::string_view name, const std::string& encoded);

    bool m_open = false;
    bool m_writable = false;
    std::string m_file;
    std::string m_group;
};

}  // namespace plat
