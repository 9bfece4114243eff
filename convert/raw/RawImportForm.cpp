#include "raw/RawImportForm.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "layer/DataTypes.h"
#include "raw/RawStrings.h"

namespace {

const int kScalarTypes[] = {UINT8, SINT8, UINT16, SINT16, UINT32, SINT32, FLOAT32, FLOAT64};
const int kComplexTypes[] = {SINT8, SINT16, SINT32, FLOAT32, FLOAT64};
// Where each position goes when the kind changes.
const int kScalarToComplex[] = {0, 0, 1, 1, 2, 2, 3, 4};
const int kComplexToScalar[] = {1, 3, 5, 6, 7};

std::uint64_t Unsigned(int v)
{
    return std::uint64_t(std::uint32_t(v));
}

}  // namespace

int ComponentListSize(int kind)
{
    return kind == 0 ? int(std::size(kScalarTypes)) : kind == 1 ? int(std::size(kComplexTypes)) : 0;
}

int ComponentTypeAt(int kind, int pos)
{
    if (pos < 0 || pos >= ComponentListSize(kind))
        return 0;
    return kind == 0 ? kScalarTypes[pos] : kComplexTypes[pos];
}

int RemapComponentPosition(int fromKind, int pos)
{
    if (pos < 0 || pos >= ComponentListSize(fromKind))
        return -1;
    return fromKind == 0 ? kScalarToComplex[pos] : kComplexToScalar[pos];
}

int RawImportFields::LayerType() const
{
    const int type = ComponentType();
    return type == 0 ? 0 : GetComplexType(type, Components());
}

std::int64_t RawImportFields::MinimumRecordLength() const
{
    return std::int64_t(GetDataTypeSize(ComponentType())) * pixelsPerRecord * Components() + prefixSize;
}

std::uint64_t RawImportFields::NewFileSize() const
{
    return std::uint64_t(GetDataTypeSize(LayerType())) * Unsigned(windowWidth) * Unsigned(windowHeight);
}

unsigned RawImportFields::CheckExecute() const
{
    if (pixelsPerRecord == 0)
        return IDS_RAW_NEED_IMAGE_WIDTH;
    if (windowWidth == 0)
        return IDS_RAW_NEED_WINDOW_WIDTH;
    if (windowHeight == 0)
        return IDS_RAW_NEED_WINDOW_HEIGHT;
    // A negative length is no length at all.
    const std::uint64_t minimum = std::uint64_t(GetDataTypeSize(ComponentType())) * Unsigned(pixelsPerRecord) *
                                      std::uint64_t(Components()) +
                                  Unsigned(prefixSize);
    if (recordLength < 0 || Unsigned(recordLength) < minimum)
        return IDS_RAW_BAD_RECORD_LENGTH;
    if (Unsigned(windowWidth) > Unsigned(pixelsPerRecord))
        return IDS_RAW_WINDOW_TOO_WIDE;
    if (Unsigned(windowX) >= Unsigned(pixelsPerRecord))
        return IDS_RAW_WINDOW_X_OUTSIDE;
    // The window stays inside the data.
    if (Unsigned(windowX) + Unsigned(windowWidth) > Unsigned(pixelsPerRecord))
        return IDS_RAW_WINDOW_TOO_WIDE;
    if (Unsigned(windowY) + Unsigned(windowHeight) > Unsigned(records))
        return IDS_RAW_WINDOW_TOO_HIGH;
    return 0;
}

ImportParams RawImportFields::Params(const std::string& dataFile) const
{
    ImportParams p;
    p.dataFile = dataFile;
    p.headerSize = headerSize;
    p.prefixSize = prefixSize;
    p.recordLength = recordLength;
    p.records = records;
    p.layers = 1;
    p.pixelsPerRecord = pixelsPerRecord;
    p.components = Components();
    p.componentSize = GetDataTypeSize(ComponentType());
    p.pixelSize = p.components * p.componentSize;
    p.componentType = ComponentType();
    p.byteOrder = byteOrder == 0 ? 1 : 2;
    p.windowX = windowX;
    p.windowY = windowY;
    p.windowWidth = windowWidth;
    p.windowHeight = windowHeight;
    p.step = 1;
    return p;
}

ImportParams RawImportFields::PreviewParams(const std::string& dataFile, int step) const
{
    ImportParams p = Params(dataFile);
    p.windowX = 0;
    p.windowY = 0;
    p.windowWidth = pixelsPerRecord;
    p.windowHeight = records;
    p.step = step;
    return p;
}

DataWindow FrameToWindow(const PreviewFrame& frame, int step)
{
    DataWindow w;
    w.x = std::int64_t(step) * frame.left;
    w.y = std::int64_t(step) * frame.top;
    w.width = std::int64_t(step) * (std::int64_t(frame.right) - frame.left + 1);
    w.height = std::int64_t(step) * (std::int64_t(frame.bottom) - frame.top + 1);
    return w;
}

int PreviewRate::Half() const
{
    return std::min(width, height) / 2;
}

bool PreviewRate::Valid(long long rate) const
{
    return rate >= 1 && rate <= std::min(width, height);
}

std::uint64_t PreviewRate::InitialSize() const
{
    return Unsigned(width) * Unsigned(height) * Unsigned(pixelSize);
}

std::uint64_t PreviewRate::NewSize(int rate) const
{
    return Unsigned(NewWidth(rate)) * Unsigned(NewHeight(rate)) * Unsigned(pixelSize);
}

long long ReadDecimal(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE)
        return 0;
    while (*end == ' ' || *end == '\t')
        ++end;
    return *end == 0 ? value : 0;
}
