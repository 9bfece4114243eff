#pragma once
// Joining two real raster layer files into a complex one and dividing a complex
// file into two real ones, as amplitude and phase or as real and imaginary parts.
// The jobs run on the conversion road (ConversionJob.h): outputs replace their
// files together at the end, or not at all.
//
// Integer results saturate: a value is truncated toward zero and clamped to the
// component type's range (NaN gives 0).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMeterInfo;
class CMeterInfoBase;

// The record a complex job runs on; the job frees it.
struct ComplexJob {
    std::string component1;
    std::string component2;
    std::string complex;
    int interpretation = 0;  // 0 amplitude and phase, 1 real and imaginary
    int write1 = 1;          // divide: write component #1
    int write2 = 1;          // divide: write component #2
};

// What the dialog's Execute asks for: full paths ("" for a field left empty).
struct ComplexRequest {
    int action = 1;  // 0 join, 1 divide
    int interpretation = 0;
    std::string component1;
    std::string component2;
    std::string complex;
    int write1 = 1;
    int write2 = 1;
};

// The outcome of Execute's checks: a refusal's reason, or the job with the files
// it reads and writes (outputs in the order View opens them).
struct ComplexCheck {
    std::string reason;
    std::unique_ptr<ComplexJob> job;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};
// Names are compared as files: "./a.rdp" and "a.rdp", or a link and its target,
// are one file; names differing only in letter case are two.
ComplexCheck CheckComplexExecute(const ComplexRequest& request);

// The real component type of a complex type (0 for any other code).
int ComplexComponentType(int complexType);

// n pixels of two real rows a and b of type into the complex row out (the complex
// counterpart of type): real and imaginary copied, or amplitude a and phase b (in
// radians) turned into a cos b and a sin b. False for a type that is not real.
bool JoinComplexRow(int type, int interpretation, const void* a, const void* b, void* out, std::int64_t n);
// n pixels of the complex row in of complexType into component #1 (real part, or
// the amplitude in the component type) and component #2 (imaginary part, or the
// phase in [0, 2 pi) as FLOAT64); a null row is not written. False for a type that
// is not complex.
bool DivideComplexRow(int complexType, int interpretation, const void* in, void* out1, void* out2, std::int64_t n);

// The jobs. 0, or -1 with error set ("" for a cancel).
int JoinComplexFiles(const ComplexJob& job, CMeterInfoBase* meter, std::string* error);
int DivideComplexFile(const ComplexJob& job, CMeterInfoBase* meter, std::string* error);

// The workers Run starts: each takes its heap ComplexJob and shows a failure in a box.
void JoinComplexWorker(void* job, CMeterInfo* meter);
void DivideComplexWorker(void* job, CMeterInfo* meter);
