#pragma once
// The CEOS imports as conversion jobs: the data file's window into a raster layer
// file tagged from the leader, and the compressed SIR-C decoder. Run on a job's
// worker thread; the outputs are written as temporaries and committed at the end,
// so a failure or a cancel leaves any old file as it was.

#include <string>

#include "raw/ImportParams.h"

class CMeterInfoBase;

// How an import ended.
struct CeosOutcome {
    int result = 0;           // 1 written
    bool shortInput = false;  // the data file ended before the window did
    std::string error;        // why nothing was written, when there is a reason to tell
};

// The window through the raw import core, then the leader's tags (none when the
// leader cannot be opened or is too large for tag 300).
CeosOutcome CeosImportToRdp(const ImportParams& params, const std::string& output, CMeterInfoBase* meter);

// Compressed SIR-C (4 bytes a pixel) decoded into complex doubles, every step-th
// record and pixel of the window. Nothing for another group size.
CeosOutcome SirCImportToRdp(const ImportParams& params, const std::string& output, int groupBytes,
                            CMeterInfoBase* meter);

// The pixel of a compressed SIR-C group (four signed bytes).
void DecodeSirCPixel(const signed char group[4], double* re, double* im);

// Whether a window fits the image: X + W within the pixels per line, Y + H within
// the records, W and H at least 1, X and Y not negative.
bool CeosWindowFits(int x, int y, int width, int height, int pixelsPerLine, int records);
