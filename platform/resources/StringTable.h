#pragma once
// String resources by id. Each module (program or library) registers its table;
// a look-up asks the host program's table first, then the asking module's, then
// every other module's in registration order.

#include <string>

namespace plat {

struct StringEntry {
    unsigned id;
    const char* text;  // UTF-8
};

// Adds a table to a module (a module may have several). The entries must outlive
// the registration.
void RegisterStrings(const char* module, const StringEntry* entries, size_t count, bool isHost = false);
void UnregisterStrings(const StringEntry* entries);

// Looks up id; found tells whether any table holds it. Returns "" when none does.
std::string LoadString(unsigned id, const char* module = nullptr, bool* found = nullptr);

// Registers a table for the lifetime of a static object.
class StringTableRegistration final {
public:
    template <size_t N>
    StringTableRegistration(const char* module, const StringEntry (&entries)[N], bool isHost = false)
        : m_entries(entries)
    {
        RegisterStrings(module, entries, N, isHost);
    }
    ~StringTableRegistration() { UnregisterStrings(m_entries); }
    StringTableRegistration(const StringTableRegistration&) = delete;
    StringTableRegistration& operator=(const StringTableRegistration&) = delete;

private:
    const StringEntry* m_entries;
};

}  // namespace plat
