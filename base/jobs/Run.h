#pragma once
// Named jobs on worker threads of the process-wide job list. The job owns its data
// block from the moment Run returns; Run neither copies nor frees it.

#include <string>

class CMeterInfo;

// A metered job whose progress window offers View: done(doneData) runs on the GUI
// thread when it is pressed. GUI thread.
void Run(std::string name, void (*job)(void*, CMeterInfo*), void* data, void (*done)(void*), void* doneData);
// A metered job without completion function.
void Run(std::string name, void (*job)(void*, CMeterInfo*), void* data);
// A plain job: no progress window.
void Run(std::string name, void (*job)(void*), void* data);

// Stops every job of the global list (see CThreadList::TerminateAll); once all have
// ended, frees every mapping of the registry.
void TerminateAllThreads();
