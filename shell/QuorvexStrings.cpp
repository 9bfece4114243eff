#include "StringTable.h"

// The host program's string table; the libraries find these first.
namespace {
const plat::StringEntry kStrings[] = {
    {115, "SOFTWARE\\Tolvek\\Quorvex"},
};
const plat::StringTableRegistration kRegistration("Quorvex", kStrings, true);
}  // namespace

// Referenced from main so the linker keeps this unit of the static library.
void QuorvexRegisterStrings() {}
