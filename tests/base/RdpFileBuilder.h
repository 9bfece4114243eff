#pragma once
// Builds raster layer files byte by byte for tests, following the on-disk layout
// (fresh one-layer files, appended layers, user tags), and a scratch folder that
// removes itself.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "TempDir.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"

namespace rdptest {

using Bytes = std::vector<unsigned char>;

using testsupport::TempDir;

inline Bytes Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::int64_t FileSize(const std::string& path)
{
    std::error_code ec;
    auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : std::int64_t(n);
}

// A user tag's payload: length word, copy flag, then body.
inline Bytes UserPayload(std::int32_t copyFlag, std::string_view body)
{
    Bytes p(8 + body.size());
    const std::int32_t len = std::int32_t(p.size());
    std::memcpy(p.data(), &len, 4);
    std::memcpy(p.data() + 4, &copyFlag, 4);
    std::memcpy(p.data() + 8, body.data(), body.size());
    return p;
}

// A payload of the given length: the length word, then zero bytes.
inline Bytes ZeroPayload(std::int32_t length)
{
    Bytes p(size_t(length), 0);
    std::memcpy(p.data(), &length, 4);
    return p;
}

class RdpFileBuilder final {
public:
    Bytes bytes;

    // Only the 12-byte file header.
    explicit RdpFileBuilder(std::int32_t version = kRDPVersion3)
    {
        AppendBytes(kRDPMagic, 4);
        Append32(version);
        Append32(0);
    }

    // Laid out as a freshly created one-layer file: tags 0 and 1, four spare bytes,
    // tag 2, then tag 3 for a complex type and tag 4 with a preview.
    static RdpFileBuilder Fresh(int w, int h, int type, bool preview = false)
    {
        RdpFileBuilder b;
        const std::int64_t p = PixelBytes(w, h, type);
        b.Append32(0), b.Append32(32), b.Append32(0), b.Append32(1), b.Append32(0);
        b.AppendHeader(0, 44, 68);
        b.AppendLayerHeaderTag(w, h, type);
        b.AppendHeader(1, 80, 0);
        b.Append32(std::int32_t(p + 4));
        b.AppendZeros(p + 4);
        b.AddReservedTags(0, type, preview);
        return b;
    }

    // A version-2 file: the tag chain of its one layer starts at 12.
    static RdpFileBuilder Version2(int w, int h, int type)
    {
        RdpFileBuilder b(kRDPVersion2);
        const std::int64_t p = PixelBytes(w, h, type);
        b.AppendHeader(0, 24, 48);
        b.AppendLayerHeaderTag(w, h, type);
        b.AppendHeader(1, 60, 0);
        b.Append32(std::int32_t(p + 4));
        b.AppendZeros(p);
        b.AddReservedTags(0, type, false);
        return b;
    }

    // Appends a layer laid out as the layer-append does; returns its record offset.
    std::int64_t AddLayer(int w, int h, int type, bool preview = false)
    {
        const std::int64_t e = Size();
        const std::int32_t n = LayerCount();
        Put32(RecordOffset(n - 1) + 8, std::int32_t(e));
        Append32(n), Append32(std::int32_t(e + 20)), Append32(0), Append32(1), Append32(0);
        AppendHeader(0, std::int32_t(e + 32), std::int32_t(e + 56));
        AppendLayerHeaderTag(w, h, type);
        AppendHeader(1, std::int32_t(e + 68), 0);
        const std::int64_t p = PixelBytes(w, h, type);
        Append32(std::int32_t(p + 4));
        AppendZeros(p);
        AddReservedTags(n, type, preview);
        return e;
    }

    // Appends a header and payload at the end, linked behind the layer's last tag
    // header; returns the header's offset.
    std::int64_t AddTag(int layer, std::int32_t tag, const Bytes& payload)
    {
        const std::int64_t e = Size();
        Put32(LastTagHeader(layer) + 8, std::int32_t(e));
        AppendHeader(tag, std::int32_t(e + 12), 0);
        AppendBytes(payload.data(), payload.size());
        return e;
    }

    std::int64_t Size() const { return std::int64_t(bytes.size()); }

    void Put32(std::int64_t at, std::int32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
    std::int32_t Get32(std::int64_t at) const
    {
        std::int32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    }
    std::int64_t Append32(std::int32_t v) { return AppendBytes(&v, 4); }
    std::int64_t AppendZeros(std::int64_t n)
    {
        const std::int64_t at = Size();
        bytes.resize(bytes.size() + size_t(n), 0);
        return at;
    }
    std::int64_t AppendBytes(const void* p, size_t n)
    {
        const std::int64_t at = Size();
        const auto* c = static_cast<const unsigned char*>(p);
        bytes.insert(bytes.end(), c, c + n);
        return at;
    }
    std::int64_t AppendHeader(std::int32_t tag, std::int32_t payload, std::int32_t next)
    {
        const std::int64_t at = Append32(tag);
        Append32(payload), Append32(next);
        return at;
    }

    // Offsets found by following the builder's own (well-formed) chains.
    std::int64_t RecordOffset(int layer) const
    {
        std::int64_t at = 12;
        for (int i = 0; i < layer; ++i)
            at = Get32(at + 8);
        return at;
    }
    std::int32_t LayerCount() const
    {
        std::int32_t n = 1;
        for (std::int64_t at = 12; Get32(at + 8) != 0; at = Get32(at + 8))
            ++n;
        return n;
    }
    std::int64_t FirstTagHeader(int layer) const
    {
        return Get32(4) == kRDPVersion2 ? 12 : Get32(RecordOffset(layer) + 4);
    }
    std::int64_t TagHeader(int layer, std::int32_t tag) const
    {
        std::int64_t at = FirstTagHeader(layer);
        while (Get32(at) != tag)
            at = Get32(at + 8);
        return at;
    }
    std::int64_t LastTagHeader(int layer) const
    {
        std::int64_t at = FirstTagHeader(layer);
        while (Get32(at + 8) != 0)
            at = Get32(at + 8);
        return at;
    }

    void Save(const std::string& path) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        ASSERT_TRUE(out.good()) << path;
    }

    static std::int64_t PixelBytes(int w, int h, int type) { return std::int64_t(w) * h * GetDataTypeSize(type); }

private:
    void AppendLayerHeaderTag(int w, int h, int type)
    {
        Append32(24), Append32(w), Append32(h), Append32(type), Append32(0), Append32(1);
    }
    void AddReservedTags(int layer, int type, bool preview)
    {
        AddTag(layer, kTagStatistics, ZeroPayload(sizeof(StatisticsTag)));
        if (IsComplexType(type))
            AddTag(layer, kTagPhaseStatistics, ZeroPayload(sizeof(StatisticsTag)));
        if (preview)
            AddTag(layer, kTagPreview, ZeroPayload(IsComplexType(type) ? kPreviewLengthComplex : kPreviewLengthReal));
    }
};

// Fixture with a scratch folder to save built files into.
class FileTest : public ::testing::Test {
protected:
    TempDir dir;

    std::string Save(const RdpFileBuilder& b, const std::string& name = "a.rdp")
    {
        const std::string path = dir.File(name);
        b.Save(path);
        return path;
    }
    // Files and folders left in the scratch folder.
    int Entries() const
    {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
            (void)e;
            ++n;
        }
        return n;
    }
};

// Cause of the exception f throws; -1 when it throws none.
inline int CauseOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (plat::Exception* e) {
        std::string msg;
        const int cause = GetError(e, msg);
        e->Delete();
        return cause;
    }
    return -1;
}

}  // namespace rdptest
