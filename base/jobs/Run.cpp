#include "jobs/Run.h"

#include "files/MemoryMap.h"
#include "jobs/ThreadList.h"

void Run(std::string name, void (*job)(void*, CMeterInfo*), void* data, void (*done)(void*), void* doneData)
{
    GlobalThreadList().RunThread(std::move(name), job, data, done, doneData, 1);
}

void Run(std::string name, void (*job)(void*, CMeterInfo*), void* data)
{
    GlobalThreadList().RunThread(std::move(name), job, data, nullptr, nullptr, 1);
}

void Run(std::string name, void (*job)(void*), void* data)
{
    GlobalThreadList().RunThread(std::move(name), job, data, 1);
}

void TerminateAllThreads()
{
    // A job still running past the wait may be using a mapping: those stay until exit.
    if (GlobalThreadList().TerminateAll())
        DeleteAllMapping();
}
