#pragma once
// The TIFF import: the job that turns a window of a TIFF image into raster layer
// files, and the two entries other hosts call (probe and dialog-less import).
// An import's output is complete or absent: a failure or a cancel removes every
// layer file it made and writes no palette.

#include <string>
#include <vector>

#include "tiff/TIFFReader.h"

class COrderFile;
class CMeterInfo;
class CMeterInfoBase;
class CRDPLayer;

struct TiffImportJob {
    TiffImportJob(std::string input, std::string output, CTIFFReader tiff)
        : inputFile(std::move(input)), outputFile(std::move(output)), reader(std::move(tiff))
    {}

    std::string inputFile;
    std::string outputFile;
    int bytesPerPixel = 0;
    int outBytesPerPixel = 0;
    int separate = 0;  // three UINT8 planes, for 3-byte pixels
    CTIFFReader reader;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// What ProbeTIFFFile tells its caller.
struct ExternFileInfo {
    int width = 0;
    int height = 0;
    std::string formatName;
    std::string description;
};

// The names of the three planes: output's base + "_R", "_G", "_B" + its
// extension (from the last dot of the file's own name; none: the whole name).
std::vector<std::string> SeparatePlaneNames(const std::string& output);
// The files an import of job writes, in order.
std::vector<std::string> TiffOutputNames(const TiffImportJob& job);

// The text of a refusal: string id, and the reason on a line of its own.
std::string TiffRefusalText(int id, const std::string& reason);

// Reads and checks a TIFF for import: its directory, its tags, and whether its
// pixels can be imported. 0 with *bytesPerPixel set, or the id of the refusal's
// text (the reader's Refusal() says why).
int CheckTiffImport(CTIFFReader& reader, int* bytesPerPixel);
// Whether a window lies inside an image of width x height (nothing negative or empty).
bool TiffWindowFits(long long x, long long y, long long w, long long h, long long width, long long height);

// Fills the pixel memory of the layers (one, or three planes) from the job's
// window. 0, or -1 with error set ("" for a cancel).
int ReadTiffPixels(COrderFile* file, CRDPLayer* layers, CMeterInfoBase* meter, std::string* error,
                   const TiffImportJob& job);
// The conversion on the conversion road (ConversionJob.h): an output that is the
// input is refused, the outputs replace their files only when all are complete, and
// the strips are read through the descriptor the job opened. 0, or -1 with error
// set ("" for a cancel) and every old file as it was.
int TIFFToRdp(const TiffImportJob& job, CMeterInfoBase* meter, std::string* error);
// The job that Run starts: takes the heap TiffImportJob and shows a failure's text.
void TiffImportWorker(void* job, CMeterInfo* meter);

// 1 when file is a TIFF this library reads (info, when given, gets its size, the
// format name "TIFF" and an empty description), else 0.
int ProbeTIFFFile(const std::string& file, ExternFileInfo* info);
// Converts the whole image into one raster layer file. 0, or -1 with error set.
int ImportTIFFFile(const std::string& input, const std::string& output, CMeterInfoBase* meter, std::string* error);
