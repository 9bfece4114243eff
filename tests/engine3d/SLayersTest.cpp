// The 3D viewer's raster layers: sample type casts, the reader factories, the
// raster layer file reader on files written by numpy (and proved by GDAL), and
// its refusal of malformed files.

#include "PythonCheck.h"
#include "SceneTestSupport.h"

#include "engine3d/files/SLayers.h"
#include <format/RDPFile.h>

#include <TempDir.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using testsupport::TempDir;

template <class T>
std::vector<unsigned char> Bytes(T v, int n = sizeof(T))
{
    std::vector<unsigned char> b(n);
    std::memcpy(b.data(), &v, n);
    return b;
}

// A raster layer file built in memory. Layers are laid out as a fresh file
// lays them: record, tag 0 header and payload, tag 1 header and payload, and a
// statistics tag after the pixels.
struct FileImage {
    std::vector<unsigned char> Data;
    std::vector<std::int64_t> Records, Tag0, Tag1, Pixels;

    std::int64_t Put(const void* p, std::size_t n)
    {
        const std::int64_t at = static_cast<std::int64_t>(Data.size());
        Data.insert(Data.end(), static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + n);
        return at;
    }
    template <class T>
    void Patch(std::int64_t at, T v)
    {
        std::memcpy(Data.data() + at, &v, sizeof v);
    }
    std::int32_t Size() const { return static_cast<std::int32_t>(Data.size()); }

    void Tags(std::int32_t W, std::int32_t H, std::int32_t Type, const std::vector<unsigned char>& Samples)
    {
        const std::int32_t first = Size();
        RDPTagHeader h0{kTagLayerHeader, first + 12, first + 36};
        Tag0.push_back(Put(&h0, 12));
        LayerHeaderTag fields{24, W, H, Type, 0, 1};
        Put(&fields, 24);
        RDPTagHeader h1{kTagPixels, first + 48, 0};
        Tag1.push_back(Put(&h1, 12));
        const std::int32_t length = static_cast<std::int32_t>(Samples.size()) + 4;
        Pixels.push_back(Put(&length, 4));
        Put(Samples.data(), Samples.size());
        Patch(Tag1.back() + 8, Size());
        RDPTagHeader h2{kTagStatistics, Size() + 12, 0};
        Put(&h2, 12);
        std::vector<unsigned char> statistics(1064);
        std::memcpy(statistics.data(), "\x28\x04\0\0", 4);
        Put(statistics.data(), statistics.size());
    }

    static FileImage Version3(const std::vector<std::tuple<int, int, int, std::vector<unsigned char>>>& Layers)
    {
        FileImage f;
        RDPFileHeader header{{'R', 'D', 'P', 'R'}, 3, 0};
        f.Put(&header, 12);
        for (std::size_t k = 0; k < Layers.size(); ++k) {
            const std::int32_t at = f.Size();
            if (k > 0)
                f.Patch(f.Records.back() + 8, at);
            RDPLayerRecord record{static_cast<std::int32_t>(k), at + 20, 0, 1, 0};
            f.Records.push_back(f.Put(&record, 20));
            const auto& [w, h, type, samples] = Layers[k];
            f.Tags(w, h, type, samples);
        }
        return f;
    }

    void Write(const std::string& Path) const
    {
        std::ofstream out(Path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
    }
};

std::vector<unsigned char> Ramp(int n)
{
    std::vector<unsigned char> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>(i + 1);
    return v;
}

std::unique_ptr<TSRDPFile> OpenFile(const std::string& Path, bool ReadOnly = true)
{
    std::unique_ptr<TSRDPFile> file(TSObject::Create<TSRDPFile>());
    file->Open(Path, 3, 0, ReadOnly);
    return file;
}

TSRDPLayer* LayerOf(TSRDPFile& File, int Index)
{
    return dynamic_cast<TSRDPLayer*>(File.GetLayer(Index));
}

std::vector<double> ReadDoubles(TSLayer& Layer, int Row, int Count)
{
    std::vector<double> row(Count, -12345.0);
    Layer.ReadRow(Row, row.data(), Count, 8, stFloat64);
    return row;
}

template <class D, class S>
D Cast(S Source, std::int32_t DestType, std::int32_t SourceType, D Fill = D{})
{
    D dest = Fill;
    CastSample(&dest, &Source, DestType, SourceType);
    return dest;
}

std::string ErrorText(const std::function<void()>& Action)
{
    try {
        Action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(SLayers, SampleTypeTables)
{
    const char* names[] = {" Unknow ",
                           " Unsigned Int 8-bit ",
                           " Signed Int 8-bit ",
                           " Unsigned Int 16-bit ",
                           " Signed Int 16-bit ",
                           " Unsigned Int 32-bit ",
                           " Signed Int 32-bit ",
                           " Unsigned Int 64-bit ",
                           " Signed Int 64-bit ",
                           " Float 32-bit ",
                           " Float 64-bit ",
                           " Float 80-bit "};
    const int sizes[] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 10};
    for (int t = 0; t < kSampleTypeCount; ++t) {
        EXPECT_STREQ(SampleTypeName(t), names[t]);
        EXPECT_EQ(SampleTypeSize(t), sizes[t]);
    }
    EXPECT_STREQ(SampleTypeName(12), "");
    EXPECT_EQ(SampleTypeSize(-1), 0);
    // File codes 1 to 16: the layer type of the (component) sample.
    const int layerTypes[] = {0, 1, 2, 3, 4, 5, 6, 9, 10, 9, 10, 1, 2, 3, 4, 5, 6, 0};
    for (int code = 0; code <= 17; ++code)
        EXPECT_EQ(SampleTypeOfFileType(code), layerTypes[code]) << code;
}

TEST(SLayers, CastSampleRoundsWrapsAndKeepsWidths)
{
    EXPECT_EQ(Cast<std::int16_t>(2.5, stSInt16, stFloat64), 2);  // ties to even
    EXPECT_EQ(Cast<std::int16_t>(3.5, stSInt16, stFloat64), 4);
    EXPECT_EQ(Cast<std::int16_t>(-2.5f, stSInt16, stFloat32), -2);
    EXPECT_EQ(Cast<std::uint8_t>(300.0, stUInt8, stFloat64), 44);  // wrapped, not clamped
    EXPECT_EQ(Cast<float>(std::uint16_t(65535), stFloat32, stUInt16), 65535.0f);
    EXPECT_EQ(Cast<float>(std::uint8_t(0xFF), stFloat32, stSInt8), -1.0f);
    EXPECT_EQ(Cast<std::uint8_t>(std::int32_t(-1), stUInt8, stSInt32), 0xFF);
    EXPECT_EQ(Cast<std::int64_t>(std::uint32_t(0xFFFFFFFF), stSInt64, stUInt32), 0xFFFFFFFFll);
    EXPECT_EQ(Cast<std::int64_t>(std::uint32_t(0xFFFFFFFF), stSInt64, stSInt32), -1);
    // Bit 63 of an unsigned 64-bit sample is no sign.
    EXPECT_EQ(Cast<double>(std::uint64_t(1) << 63, stFloat64, stUInt64), 9223372036854775808.0);
    EXPECT_EQ(Cast<double>(std::int64_t(-5), stFloat64, stSInt64), -5.0);

    // Values without a 64-bit integer give INT64_MIN, whose low bytes are 0.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {nan, inf, -inf, 1e19, -1e19, 9223372036854775808.0}) {
        EXPECT_EQ(Cast<std::int64_t>(v, stSInt64, stFloat64), INT64_MIN) << v;
        EXPECT_EQ(Cast<std::int16_t>(v, stSInt16, stFloat64, std::int16_t(7)), 0) << v;
    }
    EXPECT_EQ(Cast<std::int64_t>(-9223372036854775808.0, stSInt64, stFloat64), INT64_MIN);
    // A double beyond the float range becomes its infinity.
    EXPECT_EQ(Cast<float>(1e300, stFloat32, stFloat64), std::numeric_limits<float>::infinity());

    // The 80-bit float: ten bytes, nothing written past them.
    unsigned char wide[16];
    std::memset(wide, 0xAB, sizeof wide);
    const double third = 1.0 / 3.0;
    CastSample(wide, &third, stFloat80, stFloat64);
    for (int k = 10; k < 16; ++k)
        EXPECT_EQ(wide[k], 0xAB);
    EXPECT_EQ(Cast<double>(*reinterpret_cast<long double*>(wide), stFloat64, stFloat80), third);
    long double back = 0;
    std::memcpy(&back, wide, 10);
    EXPECT_EQ(static_cast<double>(back), third);

    // Unknown destinations write nothing; unknown sources below 1 read 0,
    // above 11 do nothing.
    EXPECT_EQ(Cast<std::int32_t>(5.0, 0, stFloat64, 77), 77);
    EXPECT_EQ(Cast<std::int32_t>(5.0, 12, stFloat64, 77), 77);
    EXPECT_EQ(Cast<std::int32_t>(5.0, stSInt32, 0, 77), 0);
    EXPECT_EQ(Cast<std::int32_t>(5.0, stSInt32, -3, 77), 0);
    EXPECT_EQ(Cast<std::int32_t>(5.0, stSInt32, 12, 77), 77);
}

TEST(SLayers, CreatorsAnswerByExtensionNewestFirst)
{
    ASSERT_NE(FindRegistryPath(LayerCreatorsKey(), "Creators"), nullptr);
    for (const char* name : {"/x/a.rdp", "/x/A.RDP", "b.Rdp"}) {
        std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(nullptr, name));
        EXPECT_NE(dynamic_cast<TSRDPFile*>(keeper.get()), nullptr) << name;
        EXPECT_TRUE(keeper && keeper->Closed());
    }
    for (const char* name : {"/x/a.tif", "/x/rdp", "/x/a.rdp.bak", ""})
        EXPECT_EQ(CreateForFile(nullptr, name), nullptr) << name;

    static void* seen = nullptr;
    const TSLayerCreator mine = [](void* Context, const std::string&) -> TSFileLayerKeeper* {
        seen = Context;
        return TSObject::Create<TSFileLayerKeeper>();
    };
    RegisterLayerCreator(mine);
    int context = 0;
    std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(&context, "a.rdp"));
    EXPECT_EQ(seen, &context);
    EXPECT_EQ(keeper->ClassType(), &TSFileLayerKeeper::ClassInfo);  // the newest creator is asked first
    UnregisterLayerCreator(mine);
    keeper.reset(CreateForFile(nullptr, "a.rdp"));
    EXPECT_EQ(keeper->ClassType(), &TSRDPFile::ClassInfo);
}

// Files of every type written by numpy, proved by GDAL, read here.
TEST(SLayers, ReadsWhatNumpyWroteAndGdalReads)
{
    TempDir dir;
    const std::string text = RunPythonCheck("rdp_layers.py", dir.Path());
    ASSERT_EQ(text, "ok 32\n");

    for (int code = 1; code <= 16; ++code)
        for (const bool v2 : {false, true}) {
            const std::string name = "t" + std::to_string(code) + (v2 ? "_v2" : "") + ".rdp";
            SCOPED_TRACE(name);
            std::ifstream in(dir.File(name) + ".f64", std::ios::binary);
            std::vector<double> expected(std::filesystem::file_size(dir.File(name) + ".f64") / 8);
            in.read(reinterpret_cast<char*>(expected.data()), static_cast<std::streamsize>(expected.size() * 8));

            std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(nullptr, dir.File(name)));
            ASSERT_NE(keeper, nullptr);
            keeper->Open(dir.File(name), 3, 0, true);
            ASSERT_FALSE(keeper->Closed());
            ASSERT_FALSE(keeper->IsFormatRefused());
            const bool complexFirst = code >= 9;
            const int parts = (complexFirst ? 2 : 1) + (v2 ? 0 : 2);
            ASSERT_EQ(keeper->Count(), parts);

            std::size_t next = 0;
            for (int k = 0; k < keeper->Count(); ++k) {
                TSLayer* layer = keeper->GetLayer(k);
                const bool first = k < (complexFirst ? 2 : 1);
                EXPECT_EQ(layer->Width(), first ? 5 : 4);
                EXPECT_EQ(layer->Height(), first ? 3 : 2);
                EXPECT_EQ(layer->SampleType(), SampleTypeOfFileType(code));
                layer->BeginUpdate();
                for (int row = 0; row < layer->Height(); ++row) {
                    // More than a row asked: a row given.
                    std::vector<double> got = ReadDoubles(*layer, row, layer->Width() + 3);
                    for (int i = 0; i < layer->Width(); ++i)
                        EXPECT_EQ(got[i], expected[next + i]) << "layer " << k << " row " << row << " col " << i;
                    EXPECT_EQ(got[layer->Width()], -12345.0);
                    // As the surface editor reads: 32-bit floats, step 4.
                    std::vector<float> floats(layer->Width());
                    layer->ReadRow(row, floats.data(), layer->Width(), 4, stFloat32);
                    for (int i = 0; i < layer->Width(); ++i)
                        EXPECT_EQ(floats[i], static_cast<float>(expected[next + i]));
                    next += layer->Width();
                }
            }
            EXPECT_EQ(next, expected.size());
        }
}

TEST(SLayers, ComplexSecondLayerTreeAndDescriptions)
{
    TempDir dir;
    std::vector<unsigned char> floats(4 * 2 * 8);
    for (int k = 0; k < 16; ++k) {
        const float v = static_cast<float>(k) + 0.5f;
        std::memcpy(floats.data() + 4 * k, &v, 4);
    }
    FileImage::Version3({{3, 2, 3, Ramp(12)}, {4, 2, 9, floats}}).Write(dir.File("two.rdp"));
    auto file = OpenFile(dir.File("two.rdp"));
    ASSERT_EQ(file->Count(), 3);
    EXPECT_EQ(file->LayerRecordCount(), 2);
    EXPECT_EQ(file->FileName(), dir.File("two.rdp"));
    EXPECT_FALSE(file->IsMapped());  // Open releases the mapping at once

    std::unique_ptr<TSDataBranch> tree(file->BuildTree());
    EXPECT_EQ(tree->Name(), "two.rdp");
    ASSERT_EQ(tree->Count(), 2);
    auto* first = dynamic_cast<TSDataBranch*>(tree->GetChild(0));
    auto* second = dynamic_cast<TSDataBranch*>(tree->GetChild(1));
    EXPECT_EQ(first->Name(), "Layer 1");
    EXPECT_EQ(first->Data().As<TSLayer>(), file->GetLayer(0));
    EXPECT_EQ(first->Count(), 0);
    EXPECT_EQ(second->Name(), "Layer 2");
    EXPECT_TRUE(second->Data().IsNil());
    ASSERT_EQ(second->Count(), 2);
    auto* real = dynamic_cast<TSDataBranch*>(second->GetChild(0));
    auto* image = dynamic_cast<TSDataBranch*>(second->GetChild(1));
    EXPECT_EQ(real->Name(), "Real");
    EXPECT_EQ(real->Data().As<TSLayer>(), file->GetLayer(1));
    EXPECT_EQ(image->Name(), "Image");
    EXPECT_EQ(image->Data().As<TSLayer>(), file->GetLayer(2));

    TSRDPLayer* re = LayerOf(*file, 1);
    TSRDPLayer* im = LayerOf(*file, 2);
    re->BeginUpdate();
    im->BeginUpdate();
    EXPECT_EQ(re->SampleType(), stFloat32);
    EXPECT_EQ(re->SampleStep(), 8);
    EXPECT_EQ(im->SampleStep(), 8);
    EXPECT_EQ(re->RowStep(), 32);
    EXPECT_EQ(im->Data() - re->Data(), 4);
    EXPECT_EQ(im->Component(), 1);
    EXPECT_EQ(im->LayerIndex(), 1);
    EXPECT_EQ(ReadDoubles(*re, 1, 4), (std::vector<double>{8.5, 10.5, 12.5, 14.5}));
    EXPECT_EQ(ReadDoubles(*im, 0, 4), (std::vector<double>{1.5, 3.5, 5.5, 7.5}));
    EXPECT_EQ(im->SampleAddress(1, 1), im->Data() + 32 + 8);
    EXPECT_EQ(im->SampleAddress(4, 0), nullptr);

    std::string s;
    im->GetDescription(s);
    EXPECT_EQ(s, "Layer 2.Image - 4 x 2 ( Float 32-bit )");
    LayerOf(*file, 0)->GetDescription(s);
    EXPECT_EQ(s, "Layer 1 - 3 x 2 ( Unsigned Int 16-bit )");

    std::unique_ptr<TSLayer> plain(TSObject::Create<TSLayer>());
    plain->SetName("Plain");
    plain->SetFormat(stFloat80, 7, 9);
    plain->GetDescription(s);
    EXPECT_EQ(s, "Plain - 7 x 9 ( Float 80-bit )");
    plain->SetFormat(12, 7, 9);
    plain->GetDescription(s);
    EXPECT_EQ(s, "Plain - 7 x 9");
}

TEST(SLayers, MappingFollowsUpdatesAndClosing)
{
    TempDir dir;
    FileImage::Version3({{4, 2, 1, Ramp(8)}}).Write(dir.File("a.rdp"));
    auto file = OpenFile(dir.File("a.rdp"));
    TSRDPLayer* layer = LayerOf(*file, 0);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->Data(), nullptr);  // not mapped: nothing to read
    EXPECT_EQ(ReadDoubles(*layer, 0, 1)[0], -12345.0);

    layer->BeginUpdate();
    EXPECT_TRUE(file->IsMapped());
    EXPECT_TRUE(layer->IsUpdating());
    EXPECT_EQ(ReadDoubles(*layer, 1, 4), (std::vector<double>{5, 6, 7, 8}));
    EXPECT_EQ(ReadDoubles(*layer, 2, 4)[0], -12345.0);  // outside the rows
    EXPECT_EQ(ReadDoubles(*layer, -1, 4)[0], -12345.0);
    layer->EndUpdate();
    // The mapping is gone and with it the layer's data: a row read does nothing.
    EXPECT_FALSE(file->IsMapped());
    EXPECT_EQ(layer->Data(), nullptr);
    EXPECT_EQ(ReadDoubles(*layer, 1, 4)[0], -12345.0);

    // Opening the open name again changes nothing; the layers stay.
    file->Open(dir.File("a.rdp"), 3, 0, true);
    EXPECT_EQ(file->GetLayer(0), layer);
    // A file that is not there leaves the keeper as it is.
    file->Open(dir.File("missing.rdp"), 3, 0, true);
    EXPECT_EQ(file->FileName(), dir.File("a.rdp"));

    EventLog events;
    file->Events.Add(events.Handler());
    file->Close(false);
    EXPECT_FALSE(file->Closed());
    file->Close(true);
    EXPECT_TRUE(file->Closed());
    EXPECT_EQ(file->Count(), 0);
    EXPECT_EQ(file->FileName(), "");
    EXPECT_EQ(file->Tree()->Count(), 0);
    EXPECT_EQ(file->Tree()->Name(), "");
    EXPECT_FALSE(events.Codes().empty());
    const std::size_t seen = events.Codes().size();
    file->Close(true);  // already closed
    EXPECT_EQ(events.Codes().size(), seen);
    file->Events.Remove(events.Handler());

    // A relative name is kept as an absolute, normalised path.
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::create_directory(dir.File("sub"));
    std::filesystem::current_path(dir.Path());
    auto relative = OpenFile("./sub/../a.rdp");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(relative->FileName(), dir.File("a.rdp"));
    EXPECT_EQ(relative->Count(), 1);
}

// The file is read again at every mapping: a layer whose update maps a file
// that now holds fewer layers survives, bound to nothing.
TEST(SLayers, FileChangedOnDiskBetweenMappings)
{
    TempDir dir;
    FileImage::Version3({{2, 1, 1, Ramp(2)}, {1, 1, 9, std::vector<unsigned char>(8)}}).Write(dir.File("c.rdp"));
    auto file = OpenFile(dir.File("c.rdp"));
    ASSERT_EQ(file->Count(), 3);
    TSLayer* first = file->GetLayer(0);
    TSLayer* image = file->GetLayer(2);

    FileImage::Version3({{3, 1, 3, Ramp(6)}}).Write(dir.File("new.rdp"));
    std::filesystem::rename(dir.File("new.rdp"), dir.File("c.rdp"));
    image->BeginUpdate();
    EXPECT_EQ(file->GetLayer(2), image);
    EXPECT_EQ(file->LayerRecordCount(), 1);
    EXPECT_EQ(image->Width(), 0);
    EXPECT_EQ(dynamic_cast<TSRDPLayer*>(image)->Data(), nullptr);
    EXPECT_EQ(ReadDoubles(*image, 0, 1)[0], -12345.0);
    EXPECT_EQ(file->Tree()->Count(), 1);
    // The first layer is now the new file's.
    EXPECT_EQ(file->GetLayer(0), first);
    EXPECT_EQ(first->SampleType(), stUInt16);
    EXPECT_EQ(ReadDoubles(*first, 0, 3), (std::vector<double>{513, 1027, 1541}));
    image->EndUpdate();
}

// Another program cuts the file short while a layer is mapped: the rows that
// are gone end in an error naming the file, those still there read as before.
TEST(SLayers, FileCutShortUnderAReaderGivesAnError)
{
    TempDir dir;
    const int W = 4096, H = 8;
    std::vector<unsigned char> samples(std::size_t(W) * H);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<unsigned char>(i / W + 1);
    FileImage image = FileImage::Version3({{W, H, 1, samples}});
    const std::string path = dir.File("cut.rdp");
    image.Write(path);
    auto file = OpenFile(path);
    TSLayer* layer = file->GetLayer(0);
    ASSERT_NE(layer, nullptr);
    layer->BeginUpdate();
    EXPECT_EQ(ReadDoubles(*layer, 7, 1)[0], 8.0);
    ASSERT_EQ(::truncate(path.c_str(), image.Pixels[0] + 4 + 2 * W), 0);
    EXPECT_EQ(ReadDoubles(*layer, 0, 1)[0], 1.0);
    for (int round = 0; round < 2; ++round) {
        const std::string why = ErrorText([&] { ReadDoubles(*layer, 7, W); });
        EXPECT_NE(why.find("cut short"), std::string::npos) << why;
        EXPECT_NE(why.find("cut.rdp"), std::string::npos) << why;
    }
    layer->EndUpdate();
}

TEST(SLayers, WritesOnlyThroughAWritableMapping)
{
    TempDir dir;
    FileImage image = FileImage::Version3({{3, 1, 4, Ramp(6)}});
    image.Write(dir.File("w.rdp"));
    const std::int16_t values[3] = {-7, 300, 12};
    {
        auto reader = OpenFile(dir.File("w.rdp"), true);
        TSLayer* layer = reader->GetLayer(0);
        layer->BeginUpdate();
        layer->WriteRow(0, values, 3, 2, stSInt16);
        EXPECT_EQ(ReadDoubles(*layer, 0, 3), (std::vector<double>{513, 1027, 1541}));
    }
    auto writer = OpenFile(dir.File("w.rdp"), false);
    EXPECT_FALSE(writer->ReadOnly());
    TSLayer* layer = writer->GetLayer(0);
    layer->BeginUpdate();
    layer->WriteRow(0, values, 3, 2, stSInt16);
    EXPECT_EQ(ReadDoubles(*layer, 0, 3), (std::vector<double>{-7, 300, 12}));
    std::ifstream in(dir.File("w.rdp"), std::ios::binary);
    std::vector<unsigned char> disk((std::istreambuf_iterator<char>(in)), {});
    std::int16_t stored[3];
    std::memcpy(stored, disk.data() + image.Pixels[0] + 4, 6);
    EXPECT_EQ(stored[1], 300);
}

TEST(SLayers, VersionTwoAndRefusedHeaders)
{
    TempDir dir;
    FileImage v2 = FileImage::Version3({{2, 2, 3, Ramp(8)}});
    // Version 2: no layer record, the tag chain starts at 12.
    FileImage two;
    RDPFileHeader header{{'R', 'D', 'P', 'R'}, 2, 0};
    two.Put(&header, 12);
    two.Tags(2, 2, 3, Ramp(8));
    two.Write(dir.File("v2.rdp"));
    auto file = OpenFile(dir.File("v2.rdp"));
    ASSERT_EQ(file->Count(), 1);
    EXPECT_EQ(file->LayerRecordCount(), 1);
    file->GetLayer(0)->BeginUpdate();
    EXPECT_EQ(file->LayerRecordAddress(0) - LayerOf(*file, 0)->Data(), 12 - (12 + 36 + 12 + 4));
    EXPECT_EQ(file->LayerRecordAddress(1), nullptr);
    EXPECT_EQ(ReadDoubles(*file->GetLayer(0), 1, 2), (std::vector<double>{1541, 2055}));

    struct Refused {
        const char* name;
        std::vector<unsigned char> bytes;
    };
    const Refused refused[] = {
        {"empty", {}},
        {"eleven bytes", {'R', 'D', 'P', 'R', 3, 0, 0, 0, 0, 0, 0}},
        {"wrong magic", {'R', 'D', 'P', 'X', 3, 0, 0, 0, 0, 0, 0, 0}},
        {"version 4", {'R', 'D', 'P', 'R', 4, 0, 0, 0, 0, 0, 0, 0}},
        {"version 1", {'R', 'D', 'P', 'R', 1, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.name);
        std::ofstream(dir.File("r.rdp"), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(r.bytes.data()), static_cast<std::streamsize>(r.bytes.size()));
        auto f = OpenFile(dir.File("r.rdp"));
        EXPECT_FALSE(f->Closed());
        EXPECT_TRUE(f->IsFormatRefused());
        EXPECT_EQ(f->Count(), 0);
        EXPECT_EQ(f->LayerRecordAddress(0), nullptr);
    }
    // Twelve bytes of a good header: accepted, one record too short to read.
    std::ofstream(dir.File("h.rdp"), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(v2.Data.data()), 12);
    auto h = OpenFile(dir.File("h.rdp"));
    EXPECT_FALSE(h->IsFormatRefused());
    EXPECT_EQ(h->Count(), 0);
}

TEST(SLayers, SizeLimitAsSparseFiles)
{
    TempDir dir;
    const std::string path = dir.File("big.rdp");
    FileImage image = FileImage::Version3({{2, 1, 1, Ramp(2)}});
    image.Write(path);
    ASSERT_EQ(::truncate(path.c_str(), TSRDPFile::MaxFileSize - 1), 0);
    auto mapped = OpenFile(path);
    EXPECT_FALSE(mapped->Closed());
    ASSERT_EQ(mapped->Count(), 1);
    mapped->GetLayer(0)->BeginUpdate();
    EXPECT_EQ(mapped->FileSize(), TSRDPFile::MaxFileSize - 1);
    EXPECT_EQ(ReadDoubles(*mapped->GetLayer(0), 0, 2), (std::vector<double>{1, 2}));

    ASSERT_EQ(::truncate(path.c_str(), TSRDPFile::MaxFileSize), 0);
    std::unique_ptr<TSRDPFile> file(TSObject::Create<TSRDPFile>());
    EXPECT_EQ(ErrorText([&] { file->Open(path, 3, 0, true); }), "File \"" + path + "\" is very large");
    // The keeper stays closed without layers but keeps the name, so the same
    // name opens nothing again.
    EXPECT_TRUE(file->Closed());
    EXPECT_EQ(file->Count(), 0);
    EXPECT_FALSE(file->IsMapped());
    EXPECT_EQ(file->FileName(), path);
    EXPECT_EQ(ErrorText([&] { file->Open(path, 3, 0, true); }), "no error");

    // A file that cannot be opened raises the system's error.
    image.Write(dir.File("locked.rdp"));
    ::chmod(dir.File("locked.rdp").c_str(), 0);
    if (::access(dir.File("locked.rdp").c_str(), R_OK) != 0) {
        std::unique_ptr<TSRDPFile> locked(TSObject::Create<TSRDPFile>());
        try {
            locked->Open(dir.File("locked.rdp"), 3, 0, true);
            ADD_FAILURE() << "no error";
        } catch (const EOSError& e) {
            EXPECT_EQ(e.ErrorCode, EACCES);
        }
        EXPECT_TRUE(locked->Closed());
    }
}

// Malformed files: the layer keeps what can be read, and reads nothing else.
TEST(SLayers, MalformedFilesAreReadNoFurtherThanTheyHold)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::function<void(FileImage&)> spoil;
        int layers;  // layer objects
        int width;   // of layer 0
        bool data;   // layer 0 has data
    };
    const Case cases[] = {
        {"intact", [](FileImage&) {}, 1, 4, true},
        {"short pixel payload", [](FileImage& f) { f.Patch<std::int32_t>(f.Pixels[0], 4 * 2 + 3); }, 1, 4, false},
        {"huge width and height",
         [](FileImage& f) {
             f.Patch<std::int32_t>(f.Tag0[0] + 16, INT32_MAX);
             f.Patch<std::int32_t>(f.Tag0[0] + 20, INT32_MAX);
         },
         1, INT32_MAX, false},
        {"negative height", [](FileImage& f) { f.Patch<std::int32_t>(f.Tag0[0] + 20, -1); }, 1, 4, false},
        {"negative width and height",
         [](FileImage& f) {
             f.Patch<std::int32_t>(f.Tag0[0] + 16, -4);
             f.Patch<std::int32_t>(f.Tag0[0] + 20, -2);
         },
         1, -4, false},
        {"negative stored length", [](FileImage& f) { f.Patch<std::int32_t>(f.Pixels[0], -100); }, 1, 4, false},
        {"unknown type", [](FileImage& f) { f.Patch<std::int32_t>(f.Tag0[0] + 24, 17); }, 1, 4, false},
        {"pixel payload last", [](FileImage& f) { f.Data.resize(f.Pixels[0] + 12); }, 1, 4, false},
        {"pixel header across the end", [](FileImage& f) { f.Patch<std::int32_t>(f.Tag0[0] + 8, f.Size() - 6); }, 1, 4,
         false},
        {"pixel payload outside", [](FileImage& f) { f.Patch<std::int32_t>(f.Tag1[0] + 4, f.Size() + 100); }, 1, 4,
         false},
        {"pixel payload's length across the end",
         [](FileImage& f) { f.Patch<std::int32_t>(f.Tag1[0] + 4, f.Size() - 2); }, 1, 4, false},
        {"first tag across the end", [](FileImage& f) { f.Patch<std::int32_t>(f.Records[0] + 4, f.Size() - 8); }, 1, 0,
         false},
        {"layer header across the end", [](FileImage& f) { f.Patch<std::int32_t>(f.Tag0[0] + 4, f.Size() - 10); }, 1, 0,
         false},
        {"looping tag chain",
         [](FileImage& f) {
             f.Patch<std::int32_t>(f.Tag0[0], 99);
             f.Patch<std::int32_t>(f.Tag0[0] + 8, static_cast<std::int32_t>(f.Tag0[0]));
         },
         1, 0, false},
        {"record across the end", [](FileImage& f) { f.Data.resize(30); }, 0, 0, false},
        {"looping record chain", [](FileImage& f) { f.Patch<std::int32_t>(f.Records[0] + 8, 12); }, 1, 4, true},
        {"record chain leaving the file", [](FileImage& f) { f.Patch<std::int32_t>(f.Records[0] + 8, 1 << 30); }, 1, 4,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileImage f = FileImage::Version3({{4, 2, 1, Ramp(8)}});
        c.spoil(f);
        f.Write(dir.File("m.rdp"));
        auto file = OpenFile(dir.File("m.rdp"));
        ASSERT_EQ(file->Count(), c.layers);
        if (c.layers == 0)
            continue;
        TSRDPLayer* layer = LayerOf(*file, 0);
        layer->BeginUpdate();
        EXPECT_EQ(layer->Width(), c.width);
        EXPECT_EQ(layer->Data() != nullptr, c.data);
        if (!c.data)
            EXPECT_EQ(ReadDoubles(*layer, 0, 4)[0], -12345.0);
    }

    // Two records that point at each other count twice, not forever.
    FileImage two = FileImage::Version3({{4, 2, 1, Ramp(8)}, {2, 1, 1, Ramp(2)}});
    two.Patch<std::int32_t>(two.Records[1] + 8, 12);
    two.Write(dir.File("loop.rdp"));
    EXPECT_EQ(OpenFile(dir.File("loop.rdp"))->LayerRecordCount(), 2);
}

// A tag is found after at most 10000 links along its chain.
TEST(SLayers, TagChainIsFollowedForTenThousandLinks)
{
    TempDir dir;
    for (const int links : {TSRDPFile::MaxLinks, TSRDPFile::MaxLinks + 1}) {
        SCOPED_TRACE(links);
        FileImage f;
        RDPFileHeader header{{'R', 'D', 'P', 'R'}, 3, 0};
        f.Put(&header, 12);
        RDPLayerRecord record{0, 32, 0, 1, 0};
        f.Put(&record, 20);
        // links headers of another tag, then tag 0's header.
        for (int k = 0; k < links; ++k) {
            RDPTagHeader other{99, 0, f.Size() + 12};
            f.Put(&other, 12);
        }
        RDPTagHeader h0{0, f.Size() + 12, 0};
        f.Put(&h0, 12);
        LayerHeaderTag fields{24, 6, 5, 1, 0, 1};
        f.Put(&fields, 24);
        f.Write(dir.File("chain.rdp"));
        auto file = OpenFile(dir.File("chain.rdp"));
        ASSERT_EQ(file->Count(), 1);
        file->GetLayer(0)->BeginUpdate();
        EXPECT_EQ(file->GetLayer(0)->Width(), links == TSRDPFile::MaxLinks ? 6 : 0);
    }
}
