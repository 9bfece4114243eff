#pragma once
// The units of Halcyte3D start from one table: the engine's units first
// (engine3d/EngineUnits.h), then the viewer's own. They start once the
// application object exists, since some of them own windows.

#include "engine3d/model/EngineUnits.h"

#include <span>

// The viewer's own units in the order they start, after the engine's.
std::span<const TSUnit> Viewer3DUnits();
// Starts the engine's units, then the viewer's; nothing when they run already.
// A failure ends what had started and passes on.
void StartViewer3DUnits();
// Ends the viewer's units in reverse order, then the engine's.
void StopViewer3DUnits();
