#pragma once
// Completion functions of the conversion jobs: "View" on a finished job's progress
// window opens its results in new image viewers, without host, sigma 2.0 and the
// double-dispersion stretch. Each takes its data (made with new) and frees it; a
// result whose viewer cannot be made is passed over silently.

#include <string>
#include <vector>

// Takes the place of the viewers (tests install one; null restores them): called with
// each result and the histogram stretch type its viewer would get.
using ResultOpener = void (*)(const std::string& file, int stretchType);
void SetResultOpener(ResultOpener opener);
// The installed one, null when results open in viewers.
ResultOpener InstalledResultOpener();

// The results of a job that writes several files, in the order they open.
struct ResultFileList {
    std::vector<std::string> names;
    int stretchType = 2;  // of each viewer: 2 double dispersion (sigma 2.0), 0 automatic
};

// data: a std::string* holding one result path.
void OpenResultInViewer(void* data);
// data: a ResultFileList*.
void OpenResultsInViewer(void* data);
