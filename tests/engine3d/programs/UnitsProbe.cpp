// A program that refers to no unit of the engine but the registry, the object
// lists and the unit table, and asks for what the other units register. Every
// problem is one line on the standard output; the exit status is 0 when there
// is none. It links the engine's core alone, without Qt.

#include "engine3d/model/EngineUnits.h"
#include "engine3d/model/SRTDRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

int gProblems = 0;

void Check(bool Ok, const char* What)
{
    if (!Ok) {
        std::printf("%s\n", What);
        ++gProblems;
    }
}

std::set<std::string> ListNames()
{
    std::set<std::string> names;
    if (TSObjectsList* lists = GlobalObjectsLists()) {
        lists->Lock();
        for (std::int32_t i = 0; i < lists->Count(); ++i)
            if (auto* list = dynamic_cast<TSObjectsList*>(lists->GetItem(i)))
                names.insert(list->Name());
        lists->Unlock();
    }
    return names;
}

void CheckRunning(const char* When)
{
    std::printf("%s\n", When);
    const TSClass project = FindRTDClass("tsproject");
    Check(project != nullptr, "TSProject not registered");
    Check(project != nullptr && std::string(project->Name) == "TSProject", "wrong class for TSProject");
    Check(project != nullptr && project->InheritsFrom(&TSCustomChangeObject::ClassInfo),
          "TSProject is no change object");
    Check(FindRegistryPath(0, "Classes\\TObject\\TPersistent\\TSObject\\TSCustomChangeObject\\TSProject") != nullptr,
          "no class path to TSProject");
    Check(FindRTDClass("TSDataBranch") == &TSDataBranch::ClassInfo, "TSDataBranch not registered");
    Check(FindRTDClass("TSRDPFile") != nullptr, "TSRDPFile not registered");
    Check(FindRTDClass("TSSurface3D") != nullptr, "TSSurface3D not registered");
    if (const TSClass keeper = FindRTDClass("TSFileLayerKeeper")) {
        const TSDataBranch* creators = FindRegistryPath(reinterpret_cast<TSRegistryKey>(keeper), "Creators");
        Check(creators != nullptr && creators->Count() == 1, "no \".rdp\" reader factory");
    } else {
        Check(false, "TSFileLayerKeeper not registered");
    }
    const std::set<std::string> lists = ListNames();
    Check(lists.contains("Global List of SThread"), "no thread list");
    Check(lists.contains("Global List of SProjects"), "no project list");
    Check(!EngineString(sObjectCaption).empty(), "no engine texts");
}

void CheckEnded()
{
    std::printf("ended\n");
    Check(RTDRegistry() == nullptr, "registry outlives its unit");
    Check(FindRTDClass("TSProject") == nullptr, "class found after the end");
    Check(RegisterRTDClass(&TSDataBranch::ClassInfo) == nullptr, "registration after the end");
    Check(GlobalObjectsLists() == nullptr, "object lists outlive their unit");
    Check(EngineString(sObjectCaption).empty(), "engine texts outlive their unit");
}

}  // namespace

int main(int argc, char** argv)
{
    Check(FindRTDClass("TSProject") == nullptr, "class found before the start");
    Check(RTDRegistry() == nullptr, "registry before its unit");

    StartEngineUnits();
    StartEngineUnits();  // a second start changes nothing
    CheckRunning("started");
    StopEngineUnits();
    StopEngineUnits();
    CheckEnded();

    // The units can start again after their end.
    StartEngineUnits();
    CheckRunning("started again");
    StopEngineUnits();
    CheckEnded();
    return gProblems == 0 ? 0 : 1;
}
