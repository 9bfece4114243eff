#pragma once
// Why a file could not be shown or made, in words for an error box. The box names the
// file and the reason on lines of their own below its first line.

#include <string>

// A file and what went wrong with it.
struct FileFailure {
    std::string file;
    std::string reason;
};

// Why file cannot be bound as a raster layer: the system's reason when it cannot be
// read, or what is wrong with its contents; empty when it looks like a layer that binds.
std::string LayerFileProblem(const std::string& file);

// Why file could not be made: the system's reason for the folder or the file, else
// osError's text (0: a general reason).
std::string FileCreationProblem(const std::string& file, int osError);

// head, then file and reason each on a line of its own when not empty.
std::string ErrorBoxText(const std::string& head, const std::string& file, const std::string& reason);
