#pragma once
// What the segment-save tests share: the outside check of a saved window through
// GDAL, and closing the progress windows the save jobs leave waiting for OK.

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "platform/dialogs/Dialog.h"
#include "RasterViewTestSupport.h"
#include "format/RDPFileWalker.h"
#include "format/RDPLayerLayout.h"
#include "jobs/MeterDialog.h"

namespace rvtest {

using testsupport::CommandOutput;

// Offset of layer 0's first sample.
inline std::int64_t PixelOffset(const std::string& path)
{
    std::vector<unsigned char> bytes = ReadAll(path);
    RDPFileWalker walk(bytes.data(), std::int64_t(bytes.size()));
    const auto layout = CheckLayer(walk, 0);
    return layout ? layout->pixels + 4 : -1;
}

// The command that has GDAL and numpy compare segment (width x height) with the
// window at (left, top) of source (sourceW x sourceH); it prints "OK" when they match.
inline std::string SegmentCheckCommand(const std::string& gdalType, const std::string& source, int sourceW, int sourceH,
                                       const std::string& segment, int width, int height, int left, int top)
{
    return std::string("/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer/segment_check.py ") + gdalType + " '" +
           source + "' " + std::to_string(PixelOffset(source)) + " " + std::to_string(sourceW) + " " +
           std::to_string(sourceH) + " '" + segment + "' " + std::to_string(PixelOffset(segment)) + " " +
           std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(left) + " " +
           std::to_string(top);
}

// Finished progress windows wait for OK; this closes them.
inline void CloseProgressWindows()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dlg = dynamic_cast<plat::Dialog*>(w); dlg && dlg->Handle().IsWindow())
            dlg->Handle().SendMessage(CMeterDialog::WM_METER_CLOSE);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace rvtest
