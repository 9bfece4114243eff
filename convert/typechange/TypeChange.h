#pragma once
// Conversion of a raster layer file into a new file of another sample type, the
// source's value range [minimum, maximum] mapped linearly onto a chosen range.
// Complex sources keep each pixel's phase and map its magnitude. Mapped values
// are stored saturating: integers truncated toward zero and clamped to the new
// type's range (NaN gives 0). The job runs on the conversion road.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "conversion/ConversionJob.h"
#include "layer/RDPLayer.h"

class CMeterInfo;
class CMeterInfoBase;

// The range a sample type's values may take (complex types: each part); false,
// with nothing set, for a code outside 1 to 16.
bool TypeRange(int type, double* lower, double* upper);
// newMin = min and newMax = max, each moved to the type's bound when outside the
// range; codes outside 1 to 16 change nothing.
void GetTypeRange(double min, double max, double* newMin, double* newMax, int type);
// -1 below the type's range, 1 above, 0 inside (and for codes outside 1 to 16).
int CheckTypeRange(double value, int type);

// The new types offered for a source type: the eight real types for a real
// source, the five signed complex types for a complex one; empty for 0 (no input).
std::vector<int> NewTypeList(int sourceType);
// The entries the list shows before an input is chosen.
std::vector<std::string> TemplateTypeNames();
// Position of type in list; -1 when it is not there.
int NewTypeIndex(const std::vector<int>& list, int type);

// The source's minimum and maximum from its statistics tag; false when the tag is
// missing or shorter than a whole statistics record.
bool ReadTypeChangeStatistics(const std::string& path, double* min, double* max);

// What the dialog's Execute checks.
struct TypeChangeRequest {
    std::string input;
    std::string output;
    int newType = 0;
    double newMin = 0.0;
    double newMax = 0.0;
    double sourceMin = 0.0;
    double sourceMax = 0.0;
};
// 0 when the job may start, else the id of the refusal's text. Input and output
// are compared as files.
unsigned CheckTypeChangeExecute(const TypeChangeRequest& request);

// v -> offset + v * scale. A source of one value (|max - min| < 1e-7) maps onto
// the new minimum: scale newMin / min, or, for the minimum 0, scale 0 and offset
// newMin.
struct TypeChangeMap {
    double scale = 1.0;
    double offset = 0.0;
};
TypeChangeMap TypeChangeMapping(double min, double max, double newMin, double newMax);

// n samples of srcType at src mapped into n samples of dstType at dst. A complex
// source keeps each pixel's phase: its magnitude m becomes offset + m x scale (m
// below 1e-7 gives 0); into a real type the mapped magnitude is stored, a real
// source into a complex type gives an imaginary part 0. scratch holds 2 n doubles.
// False for an unknown type.
bool MapTypeChangeRow(int srcType, const void* src, int dstType, void* dst, std::int64_t n, TypeChangeMap map,
                      double* scratch);

// The record the job runs on. The dialog opens the source and creates the new
// file in the job's output (PrepareTypeChange); from then on both layers and the
// files belong to the job.
struct TypeChangeJob {
    // The files outlive the layers bound in them.
    std::unique_ptr<ConversionJob> files;
    int out = -1;
    CRDPLayer source;
    CRDPLayer destination;
    std::string input;
    std::string output;
    int newType = 0;
    double newMin = 0.0;
    double newMax = 0.0;
    int equal = 0;
};
// Opens the source, the job's files and the new layer; "" on success, else the
// text of the failure (nothing is left behind).
std::string PrepareTypeChange(TypeChangeJob& job);
// Converts every row, closes both layers, copies the user tags and commits.
// 0, or -1 with error set ("" for a cancel); on failure the new file is gone.
int RunTypeChange(TypeChangeJob& job, CMeterInfoBase* meter, std::string* error);
// The worker Run starts: takes the heap TypeChangeJob.
void TypeChangeWorker(void* job, CMeterInfo* meter);
