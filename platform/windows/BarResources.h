#pragma once
// Menu and tool-bar resources by id. Each module registers its tables; a look-up asks
// the host program's tables first, then the asking module's, then every other
// module's in registration order, as string look-ups do.

#include <cstddef>

namespace plat {

enum : unsigned {
    MF_POPUP = 0x10,   // the rows that follow one level deeper are its items
    MF_GRAYED = 0x01,  // disabled from the start
};

// One row of a menu. A separator has id 0 and no text.
struct MenuEntry {
    int depth;         // 0: a title of the bar (or an item of the outermost popup)
    unsigned id;       // command id; not read for a popup
    const char* text;  // UTF-8, "&" before the mnemonic; a tab before an accelerator text
    unsigned flags = 0;
};

struct MenuResource {
    unsigned id;
    const MenuEntry* entries;
    std::size_t count;
};

// A tool bar: the image strip of the same id holds one image per non-zero id, in order;
// id 0 is a separator. 0xC0C0C0 in the strip is transparent.
struct ToolBarResource {
    unsigned id;
    int imageWidth;
    int imageHeight;
    const char* const* strip;  // an XPM picture
    const unsigned* ids;
    std::size_t count;
};

// A cursor: an XPM picture ("None" is transparent) and its hot spot.
struct CursorResource {
    unsigned id;
    const char* const* picture;
    int hotX;
    int hotY;
};

// The tables must outlive their registration.
void RegisterMenu(const char* module, const MenuResource& menu, bool isHost = false);
void UnregisterMenu(const MenuResource& menu);
void RegisterToolBar(const char* module, const ToolBarResource& bar, bool isHost = false);
void UnregisterToolBar(const ToolBarResource& bar);
void RegisterCursor(const char* module, const CursorResource& cursor, bool isHost = false);
void UnregisterCursor(const CursorResource& cursor);

// Null when no module has that id.
const MenuResource* FindMenu(unsigned id, const char* module = nullptr);
const ToolBarResource* FindToolBar(unsigned id, const char* module = nullptr);
const CursorResource* FindCursor(unsigned id, const char* module = nullptr);

// Registers resources for the lifetime of a static object.
class BarResourceRegistration final {
public:
    BarResourceRegistration(const char* module, const MenuResource* menus, std::size_t menuCount,
                            const ToolBarResource* bars, std::size_t barCount, bool isHost = false);
    ~BarResourceRegistration();
    BarResourceRegistration(const BarResourceRegistration&) = delete;
    BarResourceRegistration& operator=(const BarResourceRegistration&) = delete;

private:
    const MenuResource* m_menus;
    std::size_t m_menuCount;
    const ToolBarResource* m_bars;
    std::size_t m_barCount;
};

// Registers cursors for the lifetime of a static object.
class CursorRegistration final {
public:
    CursorRegistration(const char* module, const CursorResource* cursors, std::size_t count, bool isHost = false);
    ~CursorRegistration();
    CursorRegistration(const CursorRegistration&) = delete;
    CursorRegistration& operator=(const CursorRegistration&) = delete;

private:
    const CursorResource* m_cursors;
    std::size_t m_count;
};

}  // namespace plat
