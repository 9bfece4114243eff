#include "tiff/TIFFReader.h"

#include <climits>

#include "files/OrderFile.h"
#include "layer/DataTypes.h"
#include "tiff/TiffStrings.h"

namespace {

enum TiffTag : std::uint16_t {
    TAG_WIDTH = 256,
    TAG_HEIGHT = 257,
    TAG_BITS = 258,
    TAG_COMPRESSION = 259,
    TAG_PHOTOMETRIC = 262,
    TAG_STRIP_OFFSETS = 273,
    TAG_SAMPLES = 277,
    TAG_ROWS_PER_STRIP = 278,
    TAG_STRIP_BYTE_COUNTS = 279,
    TAG_PLANAR = 284,
    TAG_PREDICTOR = 317,
    TAG_COLOR_MAP = 320,
    TAG_SAMPLE_FORMAT = 339,
};

std::uint32_t Get(const unsigned char* p, int size, int byteOrder)
{
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | p[byteOrder == 2 ? i : size - 1 - i];
    return v;
}

constexpr std::size_t kEntryBytes = 12;

}  // namespace

bool CTIFFReader::Refuse(std::string why)
{
    m_refusal = std::move(why);
    return false;
}

int CTIFFReader::ReadDirectory()
{
    m_refusal.clear();
    m_directory = TIFFDirectory{};
    COrderFile file;
    if (!file.Open(m_fileName.c_str(), plat::File::modeRead)) {
        Refuse("the file cannot be opened");
        return 1;
    }
    m_fileSize = file.GetLength();
    unsigned char head[8];
    if (!TiffReadAt(file, 0, head, sizeof head))
        return Refuse("the file is shorter than a TIFF header"), -1;
    m_mark = std::uint16_t(head[0] | head[1] << 8);
    if (m_mark == 0x4949)
        m_byteOrder = 1;
    else if (m_mark == 0x4D4D)
        m_byteOrder = 2;
    else
        return Refuse("the file does not begin with II or MM"), -1;
    m_version = std::uint16_t(Get(head + 2, 2, m_byteOrder));
    if (m_version != 42)
        return Refuse(m_version == 43 ? "BigTIFF (version 43) is not read"
                                      : "TIFF version " + std::to_string(m_version)),
               -1;
    m_firstDirectory = Get(head + 4, 4, m_byteOrder);
    unsigned char countBytes[2];
    if (m_firstDirectory < 8 || std::int64_t(m_firstDirectory) + 2 > m_fileSize ||
        !TiffReadAt(file, m_firstDirectory, countBytes, 2))
        return Refuse("the first directory at " + std::to_string(m_firstDirectory) + " lies outside the file"), -1;
    const std::uint32_t count = Get(countBytes, 2, m_byteOrder);
    if (count == 0)
        return Refuse("the first directory has no entries"), -1;
    const std::int64_t bytes = std::int64_t(count) * kEntryBytes;
    std::vector<unsigned char> block(std::size_t(count) * kEntryBytes);
    if (std::int64_t(m_firstDirectory) + 2 + bytes > m_fileSize ||
        !TiffReadAt(file, std::int64_t(m_firstDirectory) + 2, block.data(), block.size()))
        return Refuse("the " + std::to_string(count) + " directory entries reach past the end of the file"), -1;

    m_directory.SetCount(int(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* p = block.data() + std::size_t(i) * kEntryBytes;
        TIFFDirEntry& e = m_directory.entries[i];
        e.tag = std::uint16_t(Get(p, 2, m_byteOrder));
        e.type = std::uint16_t(Get(p + 2, 2, m_byteOrder));
        e.count = Get(p + 4, 4, m_byteOrder);
        std::copy(p + 8, p + 12, e.field);
        if (e.type == TIFF_BYTE && e.count == 1)
            e.value = p[8];
        else if (e.type == TIFF_SHORT && e.count == 1)
            e.value = Get(p + 8, 2, m_byteOrder);
        else
            e.value = Get(p + 8, 4, m_byteOrder);
    }
    return 0;
}

int CTIFFReader::InterpretTags()
{
    if (m_directory.entries.empty()) {
        if (m_refusal.empty())
            Refuse("no directory was read");
        return 0;
    }
    m_refusal.clear();
    COrderFile file;
    if (!file.Open(m_fileName.c_str(), plat::File::modeRead))
        return Refuse("the file cannot be opened"), 0;
    // Every check below is against the file as it is now.
    m_fileSize = file.GetLength();

    m_width = m_height = m_photometric = m_colorMapEntries = m_samples = m_stripCount = 0;
    m_compression = 1;
    m_rowsPerStrip = 0;
    m_predictor = m_planar = 1;
    m_haveSamplesTag = m_haveByteCounts = false;
    m_colorMap.clear();
    m_bits.clear();
    m_stripOffsets.clear();
    m_stripByteCounts.clear();
    m_sampleFormat.clear();
    bool haveBits = false;
    bool haveRowsPerStrip = false;

    std::vector<std::uint32_t> values;
    auto toShorts = [&](std::vector<std::uint16_t>& out, std::uint16_t tag) {
        out.clear();
        for (std::uint32_t v : values) {
            if (v > 0xFFFF)
                return Refuse("tag " + std::to_string(tag) + " holds a value above 65535");
            out.push_back(std::uint16_t(v));
        }
        return true;
    };
    for (const TIFFDirEntry& e : m_directory.entries) {
        switch (e.tag) {
        case TAG_WIDTH:
        case TAG_HEIGHT:
        case TAG_BITS:
        case TAG_COMPRESSION:
        case TAG_PHOTOMETRIC:
        case TAG_STRIP_OFFSETS:
        case TAG_SAMPLES:
        case TAG_ROWS_PER_STRIP:
        case TAG_STRIP_BYTE_COUNTS:
        case TAG_PLANAR:
        case TAG_PREDICTOR:
        case TAG_COLOR_MAP:
        case TAG_SAMPLE_FORMAT:
            break;
        default:
            continue;  // every other tag, of whatever field type, is stepped over
        }
        std::string why;
        if (!e.FetchValues(values, file, m_fileSize, m_byteOrder, &why))
            return Refuse(why), 0;
        if (values.empty())
            return Refuse("tag " + std::to_string(e.tag) + " has no value"), 0;
        const std::uint32_t v = values[0];
        switch (e.tag) {
        case TAG_WIDTH:
            m_width = v;
            break;
        case TAG_HEIGHT:
            m_height = v;
            break;
        case TAG_BITS:
            if (!toShorts(m_bits, e.tag))
                return 0;
            haveBits = true;
            break;
        case TAG_COMPRESSION:
            m_compression = v;
            break;
        case TAG_PHOTOMETRIC:
            m_photometric = v & 0xFFFF;
            break;
        case TAG_STRIP_OFFSETS:
            m_stripOffsets = values;
            break;
        case TAG_SAMPLES:
            m_samples = v & 0xFFFF;
            m_haveSamplesTag = true;
            break;
        case TAG_ROWS_PER_STRIP:
            m_rowsPerStrip = v;
            haveRowsPerStrip = true;
            break;
        case TAG_STRIP_BYTE_COUNTS:
            m_stripByteCounts = values;
            m_haveByteCounts = true;
            break;
        case TAG_PLANAR:
            m_planar = v;
            break;
        case TAG_PREDICTOR:
            m_predictor = v;
            break;
        case TAG_COLOR_MAP:
            if (values.size() % 3 != 0)
                return Refuse("the colour map has " + std::to_string(values.size()) + " values, not three per entry"),
                       0;
            if (!toShorts(m_colorMap, e.tag))
                return 0;
            m_colorMapEntries = std::uint32_t(values.size() / 3);
            break;
        case TAG_SAMPLE_FORMAT:
            if (!toShorts(m_sampleFormat, e.tag))
                return 0;
            break;
        }
    }

    if (m_width == 0 || m_height == 0)
        return Refuse("the image has no width or height"), 0;
    if (m_width > std::uint32_t(INT_MAX) || m_height > std::uint32_t(INT_MAX))
        return Refuse("the image is " + std::to_string(m_width) + " x " + std::to_string(m_height) + " pixels"), 0;
    if (!m_haveSamplesTag)
        m_samples = haveBits ? std::uint32_t(m_bits.size()) : 1;
    if (m_samples == 0)
        return Refuse("the image has no samples"), 0;
    if (!haveBits)
        m_bits.assign(m_samples, 1);  // the standard's default
    if (m_bits.size() != m_samples)
        return Refuse(std::to_string(m_bits.size()) + " BitsPerSample values for " + std::to_string(m_samples) +
                      " samples"),
               0;
    if (haveRowsPerStrip && m_rowsPerStrip == 0)
        return Refuse("RowsPerStrip is 0"), 0;
    if (!haveRowsPerStrip || m_rowsPerStrip > m_height)
        m_rowsPerStrip = m_height;
    const std::uint32_t strips = (m_height - 1) / m_rowsPerStrip + 1;
    if (m_stripOffsets.size() < strips)
        return Refuse(std::to_string(m_stripOffsets.size()) + " strip offsets for " + std::to_string(strips) +
                      " strips"),
               0;
    if (m_haveByteCounts) {
        if (m_stripByteCounts.size() != m_stripOffsets.size())
            return Refuse(std::to_string(m_stripOffsets.size()) + " strip offsets but " +
                          std::to_string(m_stripByteCounts.size()) + " strip byte counts"),
                   0;
    } else if (m_stripOffsets.size() == 1) {
        // One strip without its byte count: the whole image uncompressed, or the
        // rest of the file for compressed data.
        std::uint64_t depth = 0;
        for (std::uint16_t b : m_bits)
            depth += b;
        const std::uint64_t whole = std::uint64_t(m_width) * m_height * depth / 8;
        const std::int64_t rest = std::max<std::int64_t>(0, m_fileSize - std::int64_t(m_stripOffsets[0]));
        const std::uint64_t count = m_compression == 1 ? whole : std::min<std::uint64_t>(whole, std::uint64_t(rest));
        if (count > 0xFFFFFFFFu)
            return Refuse("the single strip would hold " + std::to_string(count) + " bytes"), 0;
        m_stripByteCounts.assign(1, std::uint32_t(count));
    } else {
        return Refuse(std::to_string(m_stripOffsets.size()) + " strips without StripByteCounts"), 0;
    }
    for (std::uint32_t s = 0; s < strips; ++s) {
        if (std::int64_t(m_stripOffsets[s]) + m_stripByteCounts[s] > m_fileSize)
            return Refuse("strip " + std::to_string(s) + " (" + std::to_string(m_stripByteCounts[s]) + " bytes at " +
                          std::to_string(m_stripOffsets[s]) + ") reaches past the end of the file"),
                   0;
    }
    m_stripCount = std::uint32_t(m_stripOffsets.size());
    return 1;
}

int CTIFFReader::GetDepth() const
{
    long long depth = 0;
    for (std::uint16_t b : m_bits)
        depth += b;
    return depth > INT_MAX ? INT_MAX : int(depth);
}

int CTIFFReader::CheckInput(int* bytesPerPixel)
{
    auto refuse = [&](int id, std::string why) {
        Refuse(std::move(why));
        return id;
    };
    if (m_stripCount == 0 || m_bits.empty() || m_rowsPerStrip == 0)
        return refuse(IDS_TIFF_INVALID, "the tags have not been interpreted");
    const int depth = GetDepth();
    if (depth % 8 != 0)
        return refuse(IDS_TIFF_UNKNOWN_TYPE, "depth " + std::to_string(depth) + " bits");
    const int bpp = depth / 8;
    if (bytesPerPixel)
        *bytesPerPixel = bpp;
    if (m_compression != 1 && m_compression != 5)
        return refuse(IDS_TIFF_UNSUPPORTED, "compression " + std::to_string(m_compression));
    if (m_predictor != 1)
        return refuse(IDS_TIFF_UNSUPPORTED, "predictor " + std::to_string(m_predictor));
    if (m_planar != 1 && !(m_planar == 2 && m_samples == 1))
        return refuse(IDS_TIFF_UNSUPPORTED, "planar configuration " + std::to_string(m_planar));
    const int bits = m_bits[0];
    for (std::uint16_t b : m_bits) {
        if (b != bits || (b != 8 && b != 16 && b != 32 && b != 64))
            return refuse(IDS_TIFF_UNSUPPORTED, "samples of " + std::to_string(b) + " bits");
    }
    const int format = m_sampleFormat.empty() ? 1 : m_sampleFormat[0];
    for (std::uint16_t f : m_sampleFormat) {
        if (f != format)
            return refuse(IDS_TIFF_UNSUPPORTED, "samples of several formats");
    }
    if (m_samples == 1) {
        const bool ok = (format == 1 || format == 2) ? bits <= 32 : (format == 3 && bits >= 32);
        if (!ok)
            return refuse(IDS_TIFF_UNSUPPORTED,
                          "sample format " + std::to_string(format) + " of " + std::to_string(bits) + " bits");
    } else {
        if (format != 1)
            return refuse(IDS_TIFF_UNSUPPORTED, "sample format " + std::to_string(format) + " of several samples");
        if (bpp == 3 ? m_compression != 1 : (bpp != 2 && bpp != 4))
            return refuse(IDS_TIFF_UNSUPPORTED, std::to_string(m_samples) + " samples of " + std::to_string(bits) +
                                                    " bits" + (bpp == 3 ? " compressed" : ""));
    }
    // The layer is width x height samples of bpp bytes.
    const std::int64_t rowBytes = std::int64_t(m_width) * bpp;
    if (std::int64_t(m_height) > (std::int64_t(1) << 62) / rowBytes)
        return refuse(IDS_TIFF_INVALID, "the image is too large");
    // Every strip must be able to give its rows: uncompressed byte for byte; in
    // LZW each code takes at least 9 bits and yields at most 4096 bytes.
    const std::uint32_t strips = (m_height - 1) / m_rowsPerStrip + 1;
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::uint32_t rows = std::min(m_rowsPerStrip, m_height - s * m_rowsPerStrip);
        const std::int64_t bytes = m_stripByteCounts[s];
        const std::int64_t most = m_compression == 1 ? bytes : bytes * 8 / 9 * 4096;
        if (most < rowBytes * rows)
            return refuse(IDS_TIFF_INVALID, "strip " + std::to_string(s) + " holds " + std::to_string(bytes) +
                                                " bytes for " + std::to_string(rows) + " rows of " +
                                                std::to_string(rowBytes));
    }
    m_refusal.clear();
    return 0;
}

int CTIFFReader::LayerType(int outBytesPerPixel) const
{
    if (m_samples != 1)
        return outBytesPerPixel == 3 ? UINT8 : GetUnsignedTypeBySize(outBytesPerPixel);
    const int format = m_sampleFormat.empty() ? 1 : m_sampleFormat[0];
    switch (m_bits.empty() ? 0 : m_bits[0]) {
    case 8:
        return format == 2 ? SINT8 : UINT8;
    case 16:
        return format == 2 ? SINT16 : UINT16;
    case 32:
        return format == 3 ? FLOAT32 : format == 2 ? SINT32 : UINT32;
    case 64:
        return format == 3 ? FLOAT64 : 0;
    default:
        return 0;
    }
}

int CTIFFReader::SampleBytes() const
{
    return m_bits.empty() ? 1 : m_bits[0] / 8;
}
