#include "engine3d/model/EngineUnits.h"

#include "engine3d/geometry/SBasis3D.h"
#include "engine3d/render/SCanvas3D.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3D.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SGeneral.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/files/SLayers.h"
#include "engine3d/files/SProject.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/scene/SScene3D.h"
#include "engine3d/scene/SSurfaces3D.h"
#include "engine3d/model/SThreads.h"

#include <mutex>

namespace {

// Each unit starts after the units it uses, and ends before them.
constexpr TSUnit kEngineUnits[] = {
    {"SGeneral", &SGeneralInitialization, &SGeneralFinalization},
    {"SRTDRegistry", &SRTDRegistryInitialization, &SRTDRegistryFinalization},
    {"SThreads", &SThreadsInitialization, &SThreadsFinalization},
    {"SProject", &SProjectInitialization, &SProjectFinalization},
    {"SInterface", &SInterfaceInitialization, &SInterfaceFinalization},
    {"SBasis3D", &SBasis3DInitialization, &SBasis3DFinalization},
    {"SCustom3D", &SCustom3DInitialization, &SCustom3DFinalization},
    {"SCustom3DLists", &SCustom3DListsInitialization, &SCustom3DListsFinalization},
    {"SCanvas3D", &SCanvas3DInitialization, &SCanvas3DFinalization},
    {"SScene3D", &SScene3DInitialization, &SScene3DFinalization},
    {"SClasses3D", &SClasses3DInitialization, &SClasses3DFinalization},
    {"SLayers", &SLayersInitialization, &SLayersFinalization},
    {"SSurfaces3D", &SSurfaces3DInitialization, &SSurfaces3DFinalization},
};

std::mutex gLock;
bool gRunning = false;

}  // namespace

void StartUnits(std::span<const TSUnit> Units)
{
    std::size_t started = 0;
    try {
        for (; started < Units.size(); ++started)
            Units[started].Initialization();
    } catch (...) {
        StopUnits(Units.first(started));
        throw;
    }
}

void StopUnits(std::span<const TSUnit> Units)
{
    for (std::size_t i = Units.size(); i-- > 0;)
        Units[i].Finalization();
}

std::span<const TSUnit> EngineUnits()
{
    return kEngineUnits;
}

void StartEngineUnits()
{
    std::lock_guard guard(gLock);
    if (gRunning)
        return;
    StartUnits(kEngineUnits);
    gRunning = true;
}

void StopEngineUnits()
{
    std::lock_guard guard(gLock);
    if (!gRunning)
        return;
    StopUnits(kEngineUnits);
    gRunning = false;
}
