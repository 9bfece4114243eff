#include "files/TempFiles.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/MappedFile.h"
#include "platform/threads/SharedCounter.h"
#include "VarnokApp.h"
#include "files/FileNames.h"
#include "settings/SNRegKey.h"

namespace {

std::string CurrentFolder()
{
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? std::string(".") : cwd.string();
}

std::string FullPath(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

// Reads the header; false when the file is not a regular file or is too short.
bool ReadTempInfo(const std::string& path, CTempInfoStruct& info)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    unsigned char buf[kTempInfoSize];
    size_t got = 0;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (ok && got < sizeof buf) {
        const ssize_t r = pread(fd, buf + got, sizeof buf - got, static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            ok = false;
        else
            got += static_cast<size_t>(r);
    }
    close(fd);
    if (ok)
        info = CTempInfoStruct::Load(buf);
    return ok;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The header holds only the low 32 bits of a time.
std::int32_t Time32(std::time_t t)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(t)));
}

// A candidate serves the source when it is another file of the expected length
// (any when negative) whose header carries the source's modification time.
bool IsValidCache(const std::string& candidate, const struct stat& source, std::int64_t length)
{
    struct stat st {};
    if (stat(candidate.c_str(), &st) != 0 || SameFile(st, source))
        return false;
    if (length >= 0 && std::int64_t(st.st_size) != length)
        return false;
    CTempInfoStruct info;
    return ReadTempInfo(candidate, info) && Time32(info.m_time) == Time32(source.st_mtim.tv_sec);
}

}  // namespace

void CTempInfoStruct::Store(unsigned char* dst) const
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &m_flag, sizeof bits);
    for (int i = 0; i < 8; ++i)
        dst[i] = static_cast<unsigned char>(bits >> (8 * i));
    const auto t = static_cast<std::uint32_t>(Time32(m_time));
    for (int i = 0; i < 4; ++i)
        dst[8 + i] = static_cast<unsigned char>(t >> (8 * i));
}

CTempInfoStruct CTempInfoStruct::Load(const unsigned char* src)
{
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | src[i];
    double flag = 0;
    std::memcpy(&flag, &bits, sizeof flag);
    std::uint32_t t = 0;
    for (int i = 3; i >= 0; --i)
        t = (t << 8) | src[8 + i];
    return CTempInfoStruct(flag, static_cast<std::int32_t>(t));
}

std::string GetNotExistFileName(const char* dir)
{
    std::string folder = dir == nullptr || *dir == '\0' ? CurrentFolder() : std::string(dir);
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    for (;;) {
        const std::string candidate =
            folder + "/##TEMP" + std::to_string(plat::NextSharedCount("Varnok.tempnames")) + "##.rdp";
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            return candidate;
        }
        if (errno != EEXIST && errno != EINTR)
            return candidate;
    }
}

CTempInfoStruct GetTMPInfo(const std::string& cacheFile)
{
    CTempInfoStruct info(2.0, 0);
    if (!ReadTempInfo(cacheFile, info))
        return CTempInfoStruct(2.0, 0);
    return info;
}

float GetTMPFlag(const std::string& source)
{
    return static_cast<float>(GetTMPInfo(GetFileNameWOExt(source) + ".tmp").m_flag);
}

std::string FindTMPFile(const std::string& source, int tmf, std::int64_t length)
{
    const char* ext = tmf != 0 ? ".tmf" : ".tmp";
    struct stat st {};
    if (source.empty() || stat(source.c_str(), &st) != 0)
        return {};

    std::string tempDir;
    {
        CSNRegKey key;
        if (key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
            key.GetStringValue(tempDir, "TempDir");
    }

    const std::string base = GetFileNameWOExt(source);
    const std::string beside = base + ext;
    if (IsValidCache(beside, st, length))
        return FullPath(beside);

    if (!tempDir.empty()) {
        const std::string inTemp = TempDirCacheName(tempDir, source, ext);
        if (IsValidCache(inTemp, st, length))
            return FullPath(inTemp);
    }
    return {};
}

std::string TempDirCacheName(const std::string& tempDir, const std::string& source, const char* ext)
{
    std::string full = plat::MappedFile::FullPath(source);
    if (full.empty())
        full = FullPath(source);
    // FNV-1a: the same name in every process and every run.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : full) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", unsigned(std::uint32_t(hash ^ (hash >> 32))));
    const std::string base = GetFileNameWOExt(source);
    const size_t slash = base.rfind('/');
    std::string folder = tempDir;
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder + "/" + (slash == std::string::npos ? base : base.substr(slash + 1)) + "-" + digits + ext;
}

bool TMPFlagMatches(double stored, double k)
{
    return std::fabs(stored - k) <= 0.0001;
}

int DeleteTMPFiles(int which, const std::string& file)
{
    if (file.empty())
        return 0;
    struct stat source {};
    const bool exists = stat(file.c_str(), &source) == 0;
    const std::string base = GetFileNameWOExt(exists ? FullPath(file) : file);
    int deleted = 0;
    for (const auto& [ext, wanted] :
         {std::pair{".tmp", which == 0 || which == 1}, std::pair{".tmf", which == 0 || which == 2}}) {
        if (!wanted)
            continue;
        const std::string cache = base + ext;
        struct stat st {};
        if (exists && stat(cache.c_str(), &st) == 0 && SameFile(st, source))
            continue;
        if (unlink(cache.c_str()) == 0)
            deleted = 1;
    }
    return deleted;
}
