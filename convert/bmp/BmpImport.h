#pragma once
// The bitmap import job on the conversion road (ConversionJob.h): one UINT8 layer
// with the palette of an 8-bit bitmap, or three UINT8 layers (red, green, blue);
// every layer replaces its file only when all are complete.

#include <string>

#include "bmp/BmpFormat.h"

class CMeterInfo;
class CMeterInfoBase;
class CRDPLayer;

struct BmpImportJob {
    std::string input;
    std::string output;
    std::string red;
    std::string green;
    std::string blue;
    int bitCount = 0;  // as the dialog saw it; a file changed since is refused
};

// The files the job writes, in order.
std::vector<std::string> BmpOutputNames(const BmpImportJob& job);

// The converters: fill the layers (one, or red, green and blue) from the mapped
// file, row by row, progress at each row (SetPos may throw).
void ImportBmp8(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers);
void ImportBmp16(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers);
void ImportBmp24(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers);
void ImportBmp32(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers);

// The whole import. 0, or -1 with error set ("" for a cancel) and every old file
// as it was.
int BmpToRdp(const BmpImportJob& job, CMeterInfoBase* meter, std::string* error);
// The job Run starts: takes the heap BmpImportJob; a failure is shown in a box.
void BmpImportWorker(void* job, CMeterInfo* meter);
