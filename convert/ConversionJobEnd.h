#pragma once
// The end of every converter job: what its progress window says last, whether it
// offers "View", and what View opens.

#include <string>
#include <vector>

class CMeterInfo;

struct ConversionEnd {
    bool done = false;                 // the job committed its outputs
    std::string text;                  // the window's last text; "" leaves it
    std::string endText;               // in place of "Operation completed !"; "" leaves it
    std::vector<std::string> outputs;  // the files the job wrote, in the order View opens them
};

// Ends the job's progress window (meter may be null): its text and end text, and
// "View" only when the job is done and every output exists; otherwise the window
// closes at the end of the job. Runs on the job's thread.
void EndConversionJob(CMeterInfo* meter, const ConversionEnd& end);

// Inside a catch block: the text the exception being handled shows at the end of
// a job ("" for a cancel, which ends silently). Frees a caught plat::Exception.
std::string ConversionFailureText();

// Tells a job's failure in a box; an empty text (a cancel) ends silently.
void ShowConversionFailure(const std::string& text);

// Starts a converter's job with a progress window whose View opens each of outputs
// in an image viewer of its own with stretchType (2: double dispersion, sigma 2.0;
// 0: automatic). The job owns data from the moment this returns. GUI thread.
void RunConversion(const std::string& name, void (*job)(void*, CMeterInfo*), void* data,
                   std::vector<std::string> outputs, int stretchType);
