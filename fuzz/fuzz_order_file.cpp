// Arbitrary bytes read through COrderFile: items of 1 to 9 bytes, in host or
// reversed order, in counts that may run past the end. A whole read holds the
// file's next bytes (reversed per item when asked); a short one leaves the
// buffer untouched and says how many items the file still held.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/errors/Exception.h"
#include "FuzzSupport.h"
#include "files/OrderFile.h"

namespace {

const std::string& ScratchFile()
{
    static const std::string path = fuzzsupport::ScratchName("fuzz_order") + "/input.bin";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first bytes say how to read, the rest is the file.
    if (size < 4)
        return 0;
    const size_t plan = std::min<size_t>(size / 4, 16);
    const uint8_t* file = data + plan;
    const size_t fileSize = size - plan;
    const std::string& path = ScratchFile();
    fuzzsupport::WriteFile(path, file, fileSize);

    COrderFile f;
    if (!f.Open(path.c_str(), plat::File::modeRead))
        abort();
    size_t at = 0;
    std::vector<uint8_t> buf;
    try {
        for (size_t i = 0; i < plan; ++i) {
            const unsigned itemSize = 1 + (data[i] & 7) + ((data[i] >> 7) & 1);
            const unsigned count = (data[i] >> 3) & 15;
            const int order = (data[i] & 64) ? COrderFile::kReverseOrder : 1;
            const size_t want = size_t(itemSize) * count;
            buf.assign(want + 1, 0xA5);
            const unsigned got = f.Read(buf.data(), itemSize, count, order);
            const size_t left = fileSize - at;
            if (want <= left) {
                FUZZ_CHECK(got == count);
                for (unsigned k = 0; k < count; ++k) {
                    const uint8_t* item = file + at + size_t(k) * itemSize;
                    const bool reverse =
                        order == COrderFile::kReverseOrder && (itemSize == 2 || itemSize == 4 || itemSize == 8);
                    for (unsigned b = 0; b < itemSize; ++b)
                        FUZZ_CHECK(buf[size_t(k) * itemSize + b] == item[reverse ? itemSize - 1 - b : b]);
                }
                at += want;
            } else {
                FUZZ_CHECK(got == left / itemSize);
                FUZZ_CHECK(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0xA5; }));
                at = fileSize;  // the short read took what was left
            }
            FUZZ_CHECK(buf[want] == 0xA5);
            FUZZ_CHECK(uint64_t(f.GetPosition()) == at);
        }
    } catch (plat::Exception* e) {
        e->Delete();
        FUZZ_CHECK(!"a read of a readable file threw");
    }
    return 0;
}
