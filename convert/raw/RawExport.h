#pragma once
// The raw export: a layer of a raster layer file as headerless rows of its own
// samples, with an optional text file (code page 1251) that says where they came
// from. Output and info file replace their files only when the rows are complete;
// a failure or a cancel leaves both as they were.

#include <string>

class CMeterInfo;
class CMeterInfoBase;

struct RawExportJob {
    std::string inputFile;
    std::string outputFile;
    int saveInfo = 1;
};

// Settings key of the raw export (under the application key).
std::string RawExportKey();
// "Save Info" as the export reads it: "0" off, anything else or no key on.
int ReadRawSaveInfo();

// The info file's text in UTF-8: the four parts, the names as they stand.
std::string RawInfoText(const std::string& input, const std::string& output, int width, int height, int type);
// text in code page 1251; a character it lacks becomes '?'.
std::string ToCodePage1251(const std::string& utf8);
// The name of the info file of output.
inline std::string RawInfoName(const std::string& output) { return output + ".txt"; }

// The export on the conversion road. 0, or -1 with error set ("" for a cancel).
int RunRawExport(const RawExportJob& job, CMeterInfoBase* meter, std::string* error);
// The job Run starts: takes the heap RawExportJob and shows a failure's text.
void RawExportWorker(void* job, CMeterInfo* meter);
// Starts the export of input into output with the stored setting.
int ExportRaw(const char* output, const char* input);
