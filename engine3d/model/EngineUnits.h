#pragma once
// The engine's units start and end from one table, never from static objects:
// a static library's object file that nothing refers to is left out of the
// program, and with it whatever its static objects would have registered.
// A program calls StartEngineUnits once its application object exists and
// StopEngineUnits before that object goes.

#include <span>

// A unit's start and end. An end must not throw.
struct TSUnit {
    const char* Name = "";
    void (*Initialization)() = nullptr;
    void (*Finalization)() = nullptr;
};

// Starts Units in order. When one fails, those already started end in reverse
// order and the error passes on.
void StartUnits(std::span<const TSUnit> Units);
// Ends Units in reverse order.
void StopUnits(std::span<const TSUnit> Units);

// The engine's units in the order they start.
std::span<const TSUnit> EngineUnits();
// Starts the engine's units; nothing when they run already.
void StartEngineUnits();
// Ends them in reverse order; nothing when they do not run.
void StopEngineUnits();
