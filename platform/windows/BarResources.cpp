#include "platform/windows/BarResources.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace plat {
namespace {

template <class T>
class Registry {
public:
    void Add(const char* module, const T& item, bool isHost)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_rows.push_back(Row{module ? module : "", &item, isHost});
    }

    void Remove(const T& item)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_rows.erase(std::remove_if(m_rows.begin(), m_rows.end(), [&](const Row& r) { return r.item == &item; }),
                     m_rows.end());
    }

    const T* Find(unsigned id, const char* module)
    {
        std::lock_guard<std::mutex> g(m_lock);
        for (const Row& r : m_rows)
            if (r.isHost && r.item->id == id)
                return r.item;
        if (module != nullptr)
            for (const Row& r : m_rows)
                if (r.module == module && r.item->id == id)
                    return r.item;
        for (const Row& r : m_rows)
            if (r.item->id == id)
                return r.item;
        return nullptr;
    }

private:
    struct Row {
        std::string module;
        const T* item;
        bool isHost;
    };
    std::mutex m_lock;
    std::vector<Row> m_rows;
};

Registry<MenuResource>& Menus()
{
    static Registry<MenuResource> r;
    return r;
}

Registry<ToolBarResource>& ToolBars()
{
    static Registry<ToolBarResource> r;
    return r;
}

Registry<CursorResource>& Cursors()
{
    static Registry<CursorResource> r;
    return r;
}

}  // namespace

void RegisterMenu(const char* module, const MenuResource& menu, bool isHost)
{
    Menus().Add(module, menu, isHost);
}
void UnregisterMenu(const MenuResource& menu)
{
    Menus().Remove(menu);
}
void RegisterToolBar(const char* module, const ToolBarResource& bar, bool isHost)
{
    ToolBars().Add(module, bar, isHost);
}
void UnregisterToolBar(const ToolBarResource& bar)
{
    ToolBars().Remove(bar);
}

const MenuResource* FindMenu(unsigned id, const char* module)
{
    return Menus().Find(id, module);
}
const ToolBarResource* FindToolBar(unsigned id, const char* module)
{
    return ToolBars().Find(id, module);
}
void RegisterCursor(const char* module, const CursorResource& cursor, bool isHost)
{
    Cursors().Add(module, cursor, isHost);
}
void UnregisterCursor(const CursorResource& cursor)
{
    Cursors().Remove(cursor);
}
const CursorResource* FindCursor(unsigned id, const char* module)
{
    return Cursors().Find(id, module);
}

BarResourceRegistration::BarResourceRegistration(const char* module, const MenuResource* menus, std::size_t menuCount,
                                                 const ToolBarResource* bars, std::size_t barCount, bool isHost)
    : m_menus(menus), m_menuCount(menuCount), m_bars(bars), m_barCount(barCount)
{
    for (std::size_t i = 0; i < menuCount; ++i)
        RegisterMenu(module, menus[i], isHost);
    for (std::size_t i = 0; i < barCount; ++i)
        RegisterToolBar(module, bars[i], isHost);
}

BarResourceRegistration::~BarResourceRegistration()
{
    for (std::size_t i = 0; i < m_menuCount; ++i)
        UnregisterMenu(m_menus[i]);
    for (std::size_t i = 0; i < m_barCount; ++i)
        UnregisterToolBar(m_bars[i]);
}

CursorRegistration::CursorRegistration(const char* module, const CursorResource* cursors, std::size_t count,
                                       bool isHost)
    : m_cursors(cursors), m_count(count)
{
    for (std::size_t i = 0; i < count; ++i)
        RegisterCursor(module, cursors[i], isHost);
}

CursorRegistration::~CursorRegistration()
{
    for (std::size_t i = 0; i < m_count; ++i)
        UnregisterCursor(m_cursors[i]);
}

}  // namespace plat
