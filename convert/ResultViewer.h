#pragma once
// Opening a finished job's result in a new image viewer, the completion function of
// the import jobs ("View" on their progress window). The image viewer library
// installs the opener; without one, View opens nothing.

#include <string>

// Opens file in a new viewer without host, with a histogram stretch type.
using ResultOpener = void (*)(const std::string& file, int stretchType);
void SetResultOpener(ResultOpener opener);

// Completion function for Run: data is a heap std::string holding one result file,
// which this frees; the viewer uses stretch type 2.
void OpenResultInViewer(void* data);
