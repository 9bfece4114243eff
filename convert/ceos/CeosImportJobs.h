#pragma once
// The CEOS import's jobs for Run: the import through the raw import core with the
// leader's tags, the compressed SIR-C decoder, and the decoder's preview.

#include <string>

#include "raw/RawImportJobs.h"

class CMeterInfo;

struct SirCJob {
    ImportParams params;
    std::string outputFile;
    int compressed = 0;
    int groupBytes = 0;
};

// A preview of compressed SIR-C data: the decoder at the preview's step.
struct SirCPreviewJob {
    PreviewJob preview;
    int groupBytes = 4;
};

// Job functions for Run; each takes over and frees its heap job block.
void CeosImportWorker(void* job, CMeterInfo* meter);  // ImportJob
void SirCImportWorker(void* job, CMeterInfo* meter);  // SirCJob
void SirCPreviewWorker(void* job, CMeterInfo* meter);  // SirCPreviewJob
