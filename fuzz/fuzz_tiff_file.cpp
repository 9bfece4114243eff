// Arbitrary bytes as a TIFF file: the probe, then the dialog-less import of
// images up to a few megapixels into a scratch layer file.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tiff/TiffImport.h"

namespace {

std::string Scratch(const char* suffix)
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_tiff_XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0)
        close(fd);
    std::remove(pattern.c_str());
    return pattern + suffix;
}

void Write(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            abort();
        done += size_t(n);
    }
    close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string in = Scratch(".tif");
    static const std::string out = Scratch(".rdp");
    Write(in, data, size);
    ExternFileInfo info;
    if (ProbeTIFFFile(in, &info) != 1)
        return 0;
    if (std::int64_t(info.width) * info.height > (std::int64_t(4) << 20))
        return 0;
    std::string error;
    if (ImportTIFFFile(in, out, nullptr, &error) != 0) {
        // A refused import leaves nothing behind.
        if (access(out.c_str(), F_OK) == 0)
            abort();
        return 0;
    }
    std::remove(out.c_str());
    return 0;
}
