#include "platform/resources/StringTable.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace plat {
namespace {

struct Module {
    std::string name;
    const StringEntry* entries;
    size_t count;
    bool isHost;
};

std::mutex& Lock()
{
    static std::mutex m;
    return m;
}

std::vector<Module>& Modules()
{
    static std::vector<Module> modules;
    return modules;
}

const char* Find(const Module& m, unsigned id)
{
    for (size_t i = 0; i < m.count; ++i)
        if (m.entries[i].id == id)
            return m.entries[i].text;
    return nullptr;
}

}  // namespace

void RegisterStrings(const char* module, const StringEntry* entries, size_t count, bool isHost)
{
    std::lock_guard<std::mutex> g(Lock());
    auto& mods = Modules();
    mods.push_back(Module{module, entries, count, isHost});
}

void UnregisterStrings(const StringEntry* entries)
{
    std::lock_guard<std::mutex> g(Lock());
    auto& mods = Modules();
    mods.erase(std::remove_if(mods.begin(), mods.end(), [&](const Module& m) { return m.entries == entries; }),
               mods.end());
}

std::string LoadString(unsigned id, const char* module, bool* found)
{
    std::lock_guard<std::mutex> g(Lock());
    const auto& mods = Modules();
    const char* text = nullptr;
    for (const auto& m : mods)
        if (m.isHost && (text = Find(m, id)) != nullptr)
            break;
    if (text == nullptr && module != nullptr)
        for (const auto& m : mods)
            if (m.name == module && (text = Find(m, id)) != nullptr)
                break;
    if (text == nullptr)
        for (const auto& m : mods)
            if ((text = Find(m, id)) != nullptr)
                break;
    if (found)
        *found = text != nullptr;
    return text ? std::string(text) : std::string();
}

}  // namespace plat
