#include "window/BitmapExport.h"

#include <cstring>
#include <exception>

#include "platform/errors/Exception.h"
#include "platform/files/ReplacingFile.h"
#include "view/RenderSource.h"

namespace {

void Put16(unsigned char* at, std::uint32_t v)
{
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* at, std::uint32_t v)
{
    Put16(at, v);
    Put16(at + 2, v >> 16);
}

}  // namespace

std::optional<BitmapFileSize> BitmapSizeFor(int width, int height)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    BitmapFileSize size;
    size.rowBytes = (3 * std::int64_t(width) + 3) / 4 * 4;
    size.fileSize = kBitmapHeadersSize + size.rowBytes * height;
    // The row size also travels as an int to the renderer.
    if (size.fileSize > std::int64_t(UINT32_MAX) || size.rowBytes > INT32_MAX)
        return std::nullopt;
    return size;
}

void WriteBitmapHeaders(unsigned char* at, int width, int height, std::uint32_t fileSize)
{
    std::memset(at, 0, kBitmapHeadersSize);
    Put16(at + 0, 0x4D42);  // "BM"
    Put32(at + 2, fileSize);
    Put32(at + 10, kBitmapHeadersSize);
    Put32(at + 14, 40);
    Put32(at + 18, std::uint32_t(width));
    Put32(at + 22, std::uint32_t(height));
    Put16(at + 26, 1);
    Put16(at + 28, 24);
    // Compression BI_RGB, image size, resolutions and colour counts stay 0.
}

BitmapWrite WriteBitmapFile(const std::string& path, const CRenderSource& source, CMeterInfoBase* meter)
{
    const int width = source.GetWidth(), height = source.GetHeight();
    const auto size = BitmapSizeFor(width, height);
    if (!size)
        return BitmapWrite::NotCreated;
    std::optional<plat::ReplacingFile> out;
    unsigned char* bytes = nullptr;
    try {
        out.emplace(path);
        bytes = static_cast<unsigned char*>(out->Map(size->fileSize, false).Data());
    } catch (plat::Exception* e) {
        e->Delete();
        return BitmapWrite::NotCreated;
    }
    if (bytes == nullptr)
        return BitmapWrite::NotCreated;
    WriteBitmapHeaders(bytes, width, height, std::uint32_t(size->fileSize));
    try {
        source.RenderRGB(0, 0, width, height, int(size->rowBytes), 1, 1.0, 0, bytes + kBitmapHeadersSize,
                         std::size_t(size->fileSize - kBitmapHeadersSize), meter);
    } catch (plat::Exception* e) {
        e->Delete();
        out->Discard();
        return BitmapWrite::Abandoned;
    } catch (...) {
        out->Discard();
        return BitmapWrite::Abandoned;
    }
    try {
        out->Commit();
    } catch (plat::Exception* e) {
        e->Delete();
        return BitmapWrite::NotCreated;
    }
    return BitmapWrite::Written;
}
