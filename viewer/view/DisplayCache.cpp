#include "view/DisplayCache.h"

#include "VarnokApp.h"
#include "files/FileNames.h"
#include "files/TempFiles.h"
#include "pyramid/DisplayPyramid.h"
#include "settings/SNRegKey.h"

namespace {

const char* Extension(int phase)
{
    return phase != 0 ? ".tmf" : ".tmp";
}

}  // namespace

std::int64_t DisplayCacheLength(int width, int height)
{
    return GetDisplayCacheSize(width, height);
}

std::string CacheNameBeside(const std::string& source, int phase)
{
    return GetFileNameWOExt(source) + Extension(phase);
}

std::string CacheNameInTempDir(const std::string& tempDir, const std::string& source, int phase)
{
    return TempDirCacheName(tempDir, source, Extension(phase));
}

std::string ReadTempDirSetting()
{
    std::string tempDir;
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
        key.GetStringValue(tempDir, "TempDir");
    key.Close();
    return tempDir;
}
