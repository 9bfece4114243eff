#pragma once
// Names of temporary layer files, and the display cache files of a raster layer file
// (".tmp" for real data and amplitude, ".tmf" for phase) with their 12-byte header.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

inline constexpr std::size_t kTempInfoSize = 12;

// Header at offset 0 of a display cache file: the writer's flag (the viewer keeps
// its stretch factor there) as a little-endian double at 0, and the source file's
// modification time as a little-endian 32-bit signed count of seconds since 1970 at 8.
struct CTempInfoStruct final {
    CTempInfoStruct() = default;
    CTempInfoStruct(double flag, std::time_t time) : m_flag(flag), m_time(time) {}
    CTempInfoStruct(const CTempInfoStruct&) = default;
    CTempInfoStruct& operator=(const CTempInfoStruct&) = default;

    // Writes the 12 header bytes to dst (the time keeps its low 32 bits).
    void Store(unsigned char* dst) const;
    // Reads 12 header bytes from src.
    static CTempInfoStruct Load(const unsigned char* src);

    double m_flag = 2.0;
    std::time_t m_time = 0;
};

// A fresh name dir + "/##TEMP" + n + "##.rdp", n drawn from a counter shared by all
// the user's processes; dir null or empty is the current folder, one trailing '/' is
// dropped. The file is created empty and exclusively, so no other caller gets the
// same name: the caller replaces it with its content, or removes it when unused.
// Only when the folder does not take the file (missing, not writable) is the name
// answered without a file; the caller's own creation then fails.
std::string GetNotExistFileName(const char* dir);

// The flag of the ".tmp" cache next to source (its time is not checked); 2.0 when
// that header cannot be read.
float GetTMPFlag(const std::string& source);

// The header of cacheFile; {2.0, 0} when the file cannot be read or is shorter than
// the header.
CTempInfoStruct GetTMPInfo(const std::string& cacheFile);

// Name of a cache of source in the cache folder tempDir: tempDir + "/" + the source's
// name without its extension + "-" + 8 hex digits of a hash of the source's full path
// (symbolic links resolved) + ext. Caches of equally named files in other folders
// never share a name there.
std::string TempDirCacheName(const std::string& tempDir, const std::string& source, const char* ext);

// The full path of a valid cache of source (".tmf" when tmf is not 0, else ".tmp"):
// first next to the source, then in the "TempDir" folder of the settings. Valid
// means its header's time is the source's modification time and, when length is
// given (not negative), that the file holds exactly length bytes: a cache cut
// short is not valid. Empty when there is none, or when the source's status
// cannot be read.
std::string FindTMPFile(const std::string& source, int tmf, std::int64_t length = -1);

// Whether a cache built with stretch factor stored serves the factor k (they differ
// by at most 0.0001).
bool TMPFlagMatches(double stored, double k);

// Deletes the cache files next to file: ".tmp" when which is 0 or 1, ".tmf" when it
// is 0 or 2. Their base is file without its extension (the full path when file
// exists). The source itself is never deleted. 1 when at least one was deleted.
int DeleteTMPFiles(int which, const std::string& file);
