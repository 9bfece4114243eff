#pragma once
// The ASCII import and export jobs on the conversion road (ConversionJob.h): the
// output replaces its file only when it is complete; a failure or a cancel leaves
// the old file as it was.

#include <string>

#include "ascii/AsciiText.h"

class CMeterInfo;
class CMeterInfoBase;
class CRDPLayer;

namespace plat {
class File;
}

// Points into a FLOAT32 layer file. 0, or -1 with error set ("" for a cancel).
int AsciiImportToRdp(const AsciiImportJob& job, CMeterInfoBase* meter, std::string* error);
// The job Run starts: takes the heap AsciiImportJob; a failure is shown in a box.
void AsciiImportWorker(void* job, CMeterInfo* meter);

struct AsciiExportJob {
    std::string input;
    std::string output;
    int layout = 1;  // 1 three columns, 2 matrix
    std::string delimiter = " ";
};

// The text of every row of layer into out; progress at each row (SetPos may throw).
void WriteAsciiColumns(const AsciiExportJob& job, CRDPLayer& layer, plat::File& out, CMeterInfoBase* meter);
void WriteAsciiMatrix(const AsciiExportJob& job, CRDPLayer& layer, plat::File& out, CMeterInfoBase* meter);

// A layer file as text. 0, or -1 with error set ("" for a cancel).
int AsciiExportToText(const AsciiExportJob& job, CMeterInfoBase* meter, std::string* error);
// The job Run starts: takes the heap AsciiExportJob; a failure is shown in a box.
void AsciiExportWorker(void* job, CMeterInfo* meter);
