// Texts of the common controls.

#include "platform/resources/StringTable.h"
#include "VarnokModule.h"
#include "controls/DisEditFilter.h"

namespace {

const plat::StringEntry kStrings[] = {
    {disedit::IDS_BAD_DAY, "Incorrect date is entered !"},
    {disedit::IDS_BAD_MONTH, "Incorrect month is entered !"},
    {disedit::IDS_BAD_YEAR, "Incorrect year is entered !"},
};
const plat::StringTableRegistration kRegistration(kVarnokModule, kStrings);

}  // namespace
