#pragma once
// A metered job that writes its output row by row until released, and removes the
// output when it is cancelled: what every job that writes a file must do.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/errors/Exception.h"
#include "jobs/MeterInfo.h"
#include "layer/RDPExcept.h"

namespace testsupport {

struct Writer {
    std::filesystem::path output;
    std::atomic<bool> release = false;  // lets the job finish
    std::atomic<bool> writing = false;
    std::atomic<bool> removed = false;
};

inline void WriteRows(void* data, CMeterInfo* meter)
{
    auto* w = static_cast<Writer*>(data);
    std::ofstream out(w->output);
    try {
        for (int row = 0;; ++row) {
            out << "row " << row << "\n";
            meter->SetPos(row % 100);
            w->writing = true;
            if (w->release)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } catch (plat::Exception* e) {
        std::string msg;
        const int cause = GetError(e, msg);
        out.close();
        std::filesystem::remove(w->output);
        w->removed = true;
        if (cause != RDP_CANCEL)
            throw;
        e->Delete();
    }
}

}  // namespace testsupport
