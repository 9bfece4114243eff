// Start-up of the engine's test program: the units run from before the first
// test to after the last, started once the application object exists.

#include "engine3d/model/EngineUnits.h"
#include "engine3d/model/SInterfaceMenu.h"

#include <gtest/gtest.h>

namespace {

class EngineUnitsEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        StartEngineUnits();
        SInterfaceMenuInitialization();
    }
    void TearDown() override
    {
        SInterfaceMenuFinalization();
        StopEngineUnits();
    }
};

::testing::Environment* const gEngineUnits = ::testing::AddGlobalTestEnvironment(new EngineUnitsEnvironment);

}  // namespace
