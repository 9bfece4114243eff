#include "viewer3d/Viewer3DUnits.h"

#include "engine3d/model/SInterfaceMenu.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/drawing/SDrawing3D.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/forms/SNavigator3DUn.h"
#include "viewer3d/forms/SThreadFormUn.h"
#include "viewer3d/forms/SViewer3DUn.h"
#include "viewer3d/editors/SAmbientLight3DUn.h"
#include "viewer3d/editors/SDiffuseReflectionUn.h"
#include "viewer3d/editors/SEyeSystem3DUn.h"
#include "viewer3d/editors/SPointSpringLight3DUn.h"
#include "viewer3d/editors/SSurface3DUn.h"

#include <mutex>

namespace {

// Each unit starts after the units it uses, and ends before them.
constexpr TSUnit kViewer3DUnits[] = {
    {"SInterfaceMenu", &SInterfaceMenuInitialization, &SInterfaceMenuFinalization},
    {"SFlatCaption", &SFlatCaptionInitialization, &SFlatCaptionFinalization},
    {"SThreadFormUn", &SThreadFormUnInitialization, &SThreadFormUnFinalization},
    {"SDrawing3D", &SDrawing3DInitialization, &SDrawing3DFinalization},
    {"SViewer3DUn", &SViewer3DUnInitialization, &SViewer3DUnFinalization},
    {"HcProject3D", &HcProject3DInitialization, &HcProject3DFinalization},
    {"SAmbientLight3DUn", &SAmbientLight3DUnInitialization, &SAmbientLight3DUnFinalization},
    {"SPointSpringLight3DUn", &SPointSpringLight3DUnInitialization, &SPointSpringLight3DUnFinalization},
    {"SEyeSystem3DUn", &SEyeSystem3DUnInitialization, &SEyeSystem3DUnFinalization},
    {"SDiffuseReflectionUn", &SDiffuseReflectionUnInitialization, &SDiffuseReflectionUnFinalization},
    {"SSurface3DUn", &SSurface3DUnInitialization, &SSurface3DUnFinalization},
    {"SNavigator3DUn", &SNavigator3DUnInitialization, &SNavigator3DUnFinalization},
};

std::mutex gLock;
bool gRunning = false;

}  // namespace

std::span<const TSUnit> Viewer3DUnits()
{
    return kViewer3DUnits;
}

void StartViewer3DUnits()
{
    std::lock_guard guard(gLock);
    if (gRunning)
        return;
    StartEngineUnits();
    try {
        StartUnits(kViewer3DUnits);
    } catch (...) {
        StopEngineUnits();
        throw;
    }
    gRunning = true;
}

void StopViewer3DUnits()
{
    std::lock_guard guard(gLock);
    if (!gRunning)
        return;
    StopUnits(kViewer3DUnits);
    StopEngineUnits();
    gRunning = false;
}
