#pragma once
// The interface registry: what the user interface may do with the objects of
// each class. Under the branch "SInterfaces" of registry key 0 every class has
// a node with key nodes: its command routines, caption, category tree and icon
// indices. Editing commands travel as one record to the routines of the
// object's class, then of its ancestors, and last to the default handler.

#include "engine3d/model/SRTDRegistry.h"

#include <cstdint>
#include <span>
#include <string>

// Keys of a class node.
enum TSInterfaceKey : std::int32_t {
    ikCommands = -1,
    ikCaption = -2,
    ikCategories = -3,
    ikImage64 = -4,
    ikImage32 = -5,
    ikImage16 = -6,
};

// Editing commands; what Param carries is given with each.
enum TSInterfaceCommand : std::int32_t {
    icOpen = 1,        // not read
    icCaption = 2,     // std::string* (out)
    icCategories = 3,  // TSBranch* (in/out)
    icRename = 4,      // const std::string* (in)
    icGetText = 5,     // std::string* (out)
    icDescribe = 6,    // TSDataBranch* (in/out)
    icImage64 = 7,     // the result
    icImage32 = 8,     // the result
    icImage16 = 9,     // the result
    icPopupMenu = 11,  // the window side's menu (a QMenu* in the 3D program)
};

// Process code that opens an object's editor; sent to the depository, or to
// the object itself.
inline constexpr std::int32_t ocOpenEditor = 4098;

// One editing command.
struct TSCommandRecord {
    // Set by the dispatcher to the class it was asked for.
    TSClass Class = nullptr;
    // The project document the command runs in.
    TObject* Project = nullptr;
    TObject* Object = nullptr;
    // The object's parameter set, which opens its editor; nullptr when none.
    TSObject* Depository = nullptr;
    std::int32_t Command = 0;
    TSParam Param = 0;
};

// A command routine: 0 or above when it handled the command (which ends the
// dispatch), negative when not.
using TSInterfaceRoutine = std::int32_t (*)(TSCommandRecord* Record);

// The key node of Class, made with the branch and the class node when Create;
// nullptr for a nil Class or, without Create, when anything is missing.
TSDataBranch* GetInterfaceEntry(TSClass Class, std::int32_t Key, bool Create);

// The routine's node; nullptr for a nil class or routine and for the default
// handler. A routine registered twice keeps its one node.
TSDataBranch* RegisterInterfaceHandler(TSClass Class, TSInterfaceRoutine Routine);
void UnregisterInterfaceHandler(TSClass Class, TSInterfaceRoutine Routine);

void SetInterfaceCaption(TSClass Class, const std::string& Caption);
// The class's own caption, or its class name when it has none.
void GetInterfaceCaption(TSClass Class, std::string& S);
// The icon index of Class for Size 64, 32 or 16; -1 otherwise or when none.
std::int32_t GetInterfaceImage(std::int32_t Size, TSClass Class);

// Offers Record to the routines of Class, newest first, then to those of each
// ancestor, then to the default handler. -1 for nil or the root class.
std::int32_t DispatchInterfaceCommand(TSClass Class, TSCommandRecord& Record);

// What every command does when no routine answers it; always 0.
std::int32_t DefaultInterfaceHandler(TSCommandRecord* Record);

void InterfaceRename(TObject* Object, const std::string& NewName);
// S is emptied, then receives the object's display text.
void InterfaceGetText(TObject* Object, std::string& S);
void InterfaceFillBranch(TSClass Class, TSBranch* Branch);

// Puts "Open", a separator, "Cut", "Copy" and "Paste" at the top of the menu
// in Record.Param, through the window side's inserter (none: no entries). "Open" of any edit menu runs command icOpen with
// the record of the most recently built one, unless its object, project or
// depository, when change objects, have been destroyed since; the other three
// do nothing.
void BuildEditMenu(TSCommandRecord& Record);

// The edit menu's entries in order; Tag 0 is a separator. The window side puts
// them into its menu and reports a chosen entry with ClickEditMenuEntry.
struct TSEditMenuEntry {
    const char* Text;
    std::int32_t Tag;
};
std::span<const TSEditMenuEntry> EditMenuEntries();
void ClickEditMenuEntry(std::int32_t Tag);
using TSEditMenuInserter = void (*)(void* Menu);
void SetEditMenuInserter(TSEditMenuInserter Insert);

// Start and end of the unit (EngineUnits.h): the edit menus' click object and
// the "SInterfaces" branch.
void SInterfaceInitialization();
void SInterfaceFinalization();
