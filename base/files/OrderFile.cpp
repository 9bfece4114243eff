#include "files/OrderFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/errors/Exception.h"
#include "layer/DataTypes.h"

COrderFile::COrderFile(const char* name, unsigned flags) : plat::File(name, flags) {}

unsigned COrderFile::Read(void* buf, unsigned n)
{
    return plat::File::Read(buf, n);
}

unsigned COrderFile::ItemBytes(unsigned size, unsigned count) const
{
    const std::uint64_t bytes = std::uint64_t(size) * count;
    if (bytes > std::numeric_limits<unsigned>::max())
        throw new plat::FileException(plat::FileException::genericException, EOVERFLOW, GetFilePath());
    return unsigned(bytes);
}

unsigned COrderFile::Read(void* buf, unsigned size, unsigned count)
{
    if (size == 0)
        return 0;
    return Read(buf, ItemBytes(size, count)) / size;
}

unsigned COrderFile::Read(void* buf, unsigned size, unsigned count, int order)
{
    if (size == 0)
        return 0;
    std::vector<unsigned char> block(ItemBytes(size, count));
    const unsigned whole = Read(block.data(), size, count);
    if (whole < count)
        return whole;
    if (order == kReverseOrder && (size == 2 || size == 4 || size == 8))
        SwapBytesArray(block.data(), int(size), int(count));
    if (!block.empty())
        std::memcpy(buf, block.data(), block.size());
    return count;
}
