#pragma once
// The description of a binary raster file and the window to cut from it, and the
// reader that copies that window, every step-th record and pixel, into a new raster
// layer file. Shared by the raw and the CEOS imports, for imports and previews.

#include <cstdint>
#include <string>

class CMeterInfoBase;
class ConversionJob;

// How a ReadToRdp call ended, beyond its result.
struct ReadOutcome {
    // The data file ended before the window did: the samples it lacks are 0.
    bool shortInput = false;
};

struct ImportParams {
    std::string dataFile;
    int headerSize = 0;    // bytes before the first record
    int prefixSize = 0;    // bytes of each record before its first pixel
    int recordLength = 0;  // from the start of one record to the next
    int records = 0;       // the file's records, where known; the reader does not use it
    int layers = 1;
    int pixelsPerRecord = 0;
    int components = 1;     // 1 real, 2 complex (real part first)
    int componentSize = 1;  // bytes
    int pixelSize = 1;      // components x component size, set again by the reader
    int componentType = 0;  // a real sample type code, 1 to 8
    int byteOrder = 1;      // 1 Intel, 2 Motorola
    int windowX = 0;
    int windowY = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    int leaderFlag = 0;  // CEOS import only
    int productKind = 0;
    std::string leaderFile;
    int step = 1;  // sampling step, at least 1

    // Copies the window into a new raster layer file (creation flags 7): layer row r
    // holds pixels 0, step, 2 step, ... of record windowY + r x step, from pixel
    // windowX on. 1 when the file was written, 0 when not; a description that would
    // give no pixels, or reads before the data, is refused before anything is made.
    // Bytes the data file does not hold read as 0 (outcome->shortInput). The output
    // is a conversion job's (ConversionJob.h): an output that is the data file is
    // refused, and a cancel from meter or a failure leaves any old file of that name
    // as it was. Runs on the job's worker thread.
    int ReadToRdp(const std::string& outputFile, CMeterInfoBase* meter, ReadOutcome* outcome = nullptr);
    // The same into output of an open job, reading its input (the data file; the
    // dataFile field is not opened again). The job is left to commit: on 0 it is
    // discarded when it goes.
    int ReadToRdp(ConversionJob& job, int input, int output, CMeterInfoBase* meter, ReadOutcome* outcome = nullptr);

    // Whether the description can be read at all: the reasons ReadToRdp refuses
    // before it makes anything.
    bool Readable() const;
    // The sample type code of the layer: the component type, or its complex counterpart.
    int LayerType() const;
    // The file offset of the first byte of window pixel 0 of layer row r.
    std::int64_t RowOffset(std::int64_t r) const;
};
