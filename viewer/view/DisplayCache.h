#pragma once
// Names and size of the display cache file of a raster layer file: beside the
// source ("<source without extension>.tmp", ".tmf" for phase), or in the "TempDir"
// folder of the settings under a name that carries a hash of the source's path.

#include <cstdint>
#include <string>

// Whole length of the cache of a width x height layer: header, display histogram
// and pyramid levels.
std::int64_t DisplayCacheLength(int width, int height);

// The cache's name beside the source.
std::string CacheNameBeside(const std::string& source, int phase);

// The cache's name in tempDir.
std::string CacheNameInTempDir(const std::string& tempDir, const std::string& source, int phase);

// The "TempDir" setting; empty when it is not set.
std::string ReadTempDirSetting();
