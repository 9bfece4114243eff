#include "FileProblems.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/File.h"
#include "format/RDPFile.h"
#include "format/RDPFileWalker.h"
#include "format/RDPLayerLayout.h"

namespace {

std::string SystemText(int error)
{
    return std::strerror(error);
}

struct FaultText {
    RDPLayoutFault fault;
    const char* text;
};

constexpr FaultText kFaultTexts[] = {
    {RDPLayoutFault::NoLayer, "Not a raster layer file, or its layer records are broken"},
    {RDPLayoutFault::NoHeader, "The layer's header is missing or cut short"},
    {RDPLayoutFault::BadShape, "The layer's size or sample type cannot be used"},
    {RDPLayoutFault::NoPixels, "The layer's samples are missing or cut short"},
    {RDPLayoutFault::NoStatistics, "The layer's statistics are missing"},
    {RDPLayoutFault::BadPreview, "The layer's preview is damaged"},
    {RDPLayoutFault::Overlap, "The layer's parts overlap the file's structure"},
};

std::string FolderOf(const std::string& file)
{
    const size_t cut = file.find_last_of('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : file.substr(0, cut);
}

}  // namespace

std::string LayerFileProblem(const std::string& file)
{
    if (file.empty())
        return "No file name was given";
    struct stat st {};
    if (stat(file.c_str(), &st) != 0)
        return SystemText(errno);
    if (S_ISDIR(st.st_mode))
        return SystemText(EISDIR);
    plat::File f;
    int error = 0;
    if (!f.Open(file.c_str(), plat::File::modeRead, &error))
        return SystemText(error != 0 ? error : EINVAL);
    RDPFileWalker walk(f);
    if (!walk.Valid())
        return kFaultTexts[0].text;
    RDPLayoutFault why = RDPLayoutFault::NoLayer;
    const auto layout = CheckLayer(walk, 0, &why);
    if (!layout) {
        for (const FaultText& row : kFaultTexts)
            if (row.fault == why)
                return row.text;
        return kFaultTexts[0].text;
    }
    StatisticsTag stats{};
    if (!walk.ReadAt(layout->statistics, &stats, sizeof stats.length + sizeof stats.computed))
        return "The layer's statistics are missing";
    if (stats.computed == 0)
        return "The layer's statistics have not been computed";
    return {};
}

std::string FileCreationProblem(const std::string& file, int osError)
{
    if (file.empty())
        return "No file name was given";
    struct stat st {};
    if (stat(file.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return SystemText(EISDIR);
        // A write-protected file is not replaced, whoever asks.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(file.c_str(), W_OK) != 0)
            return SystemText(EACCES);
    }
    const std::string folder = FolderOf(file);
    if (stat(folder.c_str(), &st) != 0)
        return SystemText(errno);
    if (!S_ISDIR(st.st_mode))
        return SystemText(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return SystemText(errno);
    struct statvfs fs {};
    if (statvfs(folder.c_str(), &fs) == 0) {
        if (fs.f_flag & ST_RDONLY)
            return SystemText(EROFS);
        if (fs.f_bavail == 0)
            return SystemText(ENOSPC);
    }
    if (osError != 0)
        return SystemText(osError);
    return "The file could not be written";
}

std::string ErrorBoxText(const std::string& head, const std::string& file, const std::string& reason)
{
    std::string text = head;
    for (const std::string* line : {&file, &reason})
        if (!line->empty())
            text += "\n" + *line;
    return text;
}
