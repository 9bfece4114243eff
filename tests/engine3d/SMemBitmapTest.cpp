#include "Command.h"
#include "EngineTestSupport.h"
#include "TempDir.h"

#include "engine3d/render/SMemBitmap.h"
#include "engine3d/render/SMemBitmapView.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TSMemoryBitmap> Bitmap(TSPixelFormat Format, std::int32_t W, std::int32_t H)
{
    std::unique_ptr<TSMemoryBitmap> b(TSObject::Create<TSMemoryBitmap>());
    b->SetPixelFormat(Format);
    b->SetSize(W, H);
    return b;
}

std::vector<std::uint8_t> ReadFile(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& Path, const std::string& Text)
{
    std::ofstream(Path, std::ios::binary) << Text;
}

template <class T>
T At(const std::vector<std::uint8_t>& Bytes, std::size_t Offset)
{
    T v{};
    std::memcpy(&v, Bytes.data() + Offset, sizeof v);
    return v;
}

std::string SaveError(TSMemoryBitmap& B, const std::string& Path)
{
    try {
        B.SaveToFile(Path);
    } catch (const ELibraryError& e) {
        return e.what();
    }
    return "saved";
}

// Channel bit counts and the channel values of the pixel at (X, Y), Y from the top.
struct Channels {
    int Bits[3];
    std::uint16_t Value[3];
};

Channels PixelChannels(const TSMemoryBitmap& B, int X, int Y)
{
    const auto* row = static_cast<const std::uint8_t*>(B.Bits()) + (B.GetDimension(1) - 1 - Y) * B.GetRowBytes();
    std::uint32_t p = 0;
    std::memcpy(&p, row + X * PixelFormatBits(B.PixelFormat()) / 8, PixelFormatBits(B.PixelFormat()) / 8);
    switch (B.PixelFormat()) {
    case 1: {
        const std::uint8_t* quad = B.Info() + 40 + 4 * (p & 0xFF);
        return {{8, 8, 8}, {quad[2], quad[1], quad[0]}};
    }
    case 2:
        return {{5, 5, 5}, {std::uint16_t((p >> 10) & 31), std::uint16_t((p >> 5) & 31), std::uint16_t(p & 31)}};
    case 3:
        return {{5, 6, 5}, {std::uint16_t((p >> 11) & 31), std::uint16_t((p >> 5) & 63), std::uint16_t(p & 31)}};
    case 4:
    case 5:
        return {{8, 8, 8}, {std::uint16_t((p >> 16) & 255), std::uint16_t((p >> 8) & 255), std::uint16_t(p & 255)}};
    default:
        return {{11, 11, 10}, {std::uint16_t(p >> 21), std::uint16_t((p >> 10) & 2047), std::uint16_t(p & 1023)}};
    }
}

void FillRandom(TSMemoryBitmap& B, std::mt19937& Random)
{
    auto* bits = static_cast<std::uint8_t*>(B.Bits());
    for (std::int64_t i = 0; i < B.GetImageSize(); ++i)
        bits[i] = std::uint8_t(Random());
}

std::vector<TSPaletteEntry> RandomPalette(std::mt19937& Random)
{
    std::vector<TSPaletteEntry> p(256);
    for (auto& e : p)
        e = {std::uint8_t(Random()), std::uint8_t(Random()), std::uint8_t(Random()), 0};
    return p;
}

}  // namespace

TEST(SMemBitmap, NewBitmapHasNoPixels)
{
    auto b = Bitmap(0, 0, 0);
    EXPECT_EQ(b->PixelFormat(), 0);
    EXPECT_EQ(b->Bits(), nullptr);
    EXPECT_EQ(b->Palette(), nullptr);
    EXPECT_EQ(b->GetDimension(0), 0);
    EXPECT_EQ(b->GetDimension(2), 0);
    b->SetSize(10, 10);
    EXPECT_EQ(b->Bits(), nullptr);  // format 0 has no pixels
    EXPECT_EQ(b->GetDimension(1), 10);
    b->SetPixelFormat(7);
    b->SetPixelFormat(-1);
    EXPECT_EQ(b->PixelFormat(), 0);
    b->SetPixelFormat(4);
    EXPECT_NE(b->Bits(), nullptr);
    b->SetSize(0, 0);
    EXPECT_EQ(b->Bits(), nullptr);
    b->SetSize(-1, 5);
    EXPECT_EQ(b->GetDimension(1), 0);
}

TEST(SMemBitmap, LayoutsAndSavedFiles)
{
    testsupport::TempDir dir;
    struct Case {
        TSPixelFormat format;
        std::int32_t w, h;
        std::int64_t rowBytes, mapping;
        std::size_t offset;
        std::uint32_t compression;
        std::vector<std::uint32_t> masks;
    };
    const Case cases[] = {
        {4, 100, 10, 300, 0x80000, 58, 0, {}},
        {1, 3, 3, 4, 0x80000, 1078, 0, {}},
        {2, 5, 2, 12, 0x80000, 58, 0, {}},
        {3, 3, 1, 8, 0x80000, 70, 3, {0xF800, 0x07E0, 0x001F, 0}},
        {5, 1000, 200, 4000, 0x100000, 70, 3, {0xFF0000, 0xFF00, 0xFF, 0}},
        {6, 2, 2, 8, 0x80000, 70, 3, {0xFFE00000, 0x1FFC00, 0x3FF, 0}},
    };
    std::mt19937 random(3);
    for (const Case& c : cases) {
        auto b = Bitmap(c.format, c.w, c.h);
        const auto palette = RandomPalette(random);
        b->SetPaletteEntries(0, 256, palette.data());
        FillRandom(*b, random);
        EXPECT_EQ(b->GetRowBytes(), c.rowBytes) << c.format;
        EXPECT_EQ(b->GetImageSize(), c.rowBytes * c.h) << c.format;
        EXPECT_EQ(b->MappingSize(), c.mapping) << c.format;
        const std::string path = dir.File("f" + std::to_string(c.format) + ".bmp");
        b->SaveToFile(path);
        const auto file = ReadFile(path);
        ASSERT_EQ(file.size(), c.offset + std::size_t(c.rowBytes * c.h)) << c.format;
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(At<std::uint32_t>(file, 2), file.size());
        EXPECT_EQ(At<std::uint32_t>(file, 10), c.offset);
        EXPECT_EQ(At<std::uint32_t>(file, 14), 40u);
        EXPECT_EQ(At<std::int32_t>(file, 18), c.w);
        EXPECT_EQ(At<std::int32_t>(file, 22), c.h);
        EXPECT_EQ(At<std::uint16_t>(file, 28), PixelFormatBits(c.format));
        EXPECT_EQ(At<std::uint32_t>(file, 30), c.compression);
        for (std::size_t i = 0; i < c.masks.size(); ++i)
            EXPECT_EQ(At<std::uint32_t>(file, 54 + 4 * i), c.masks[i]) << c.format;
        if (c.format == 1)
            for (int i = 0; i < 256; ++i) {
                EXPECT_EQ(file[54 + 4 * i], palette[i].Blue);
                EXPECT_EQ(file[54 + 4 * i + 2], palette[i].Red);
            }
        EXPECT_EQ(std::memcmp(file.data() + c.offset, b->Bits(), std::size_t(b->GetImageSize())), 0) << c.format;
    }
}

TEST(SMemBitmap, PixelBufferGrowsInHalfMegabyteSteps)
{
    auto b = Bitmap(5, 256, 512);  // exactly 0x80000 bytes
    EXPECT_EQ(b->MappingSize(), 0x80000);
    void* bits = b->Bits();
    std::memset(bits, 0x5A, 16);
    b->SetSize(250, 500);
    EXPECT_EQ(b->MappingSize(), 0x80000);
    EXPECT_EQ(b->Bits(), bits);  // the same buffer
    b->SetSize(257, 512);
    EXPECT_EQ(b->MappingSize(), 0x100000);
    b->SetPixelFormat(1);
    EXPECT_EQ(b->MappingSize(), 0x80000);
    // Beyond 2^31 - 1 bytes: refused, no pixels, format and size kept.
    EXPECT_THROW(b->SetSize(50000, 50000), EOutOfMemory);
    EXPECT_EQ(b->Bits(), nullptr);
    EXPECT_EQ(b->GetDimension(0), 50000);
    EXPECT_FALSE(b->IsChanging());
    b->SetSize(10, 10);
    EXPECT_NE(b->Bits(), nullptr);
}

TEST(SMemBitmap, PaletteEntries)
{
    auto b = Bitmap(1, 4, 4);
    std::vector<TSPaletteEntry> entries(20, TSPaletteEntry{10, 20, 30, 0});
    b->SetPaletteEntries(250, 20, entries.data());
    ASSERT_NE(b->Palette(), nullptr);
    EXPECT_EQ(b->Palette()->Entries[249].Red, 0);
    EXPECT_EQ(b->Palette()->Entries[250].Red, 10);
    EXPECT_EQ(b->Palette()->Entries[255].Blue, 30);
    EXPECT_EQ(b->Info()[40 + 4 * 255], 30);  // format 1: the colour table follows
    EXPECT_EQ(b->Info()[40 + 4 * 255 + 2], 10);
    const std::vector<TSPaletteEntry> other(4, TSPaletteEntry{1, 2, 3, 0});
    b->SetPaletteEntries(256, 4, other.data());
    b->SetPaletteEntries(-1, 4, other.data());
    EXPECT_EQ(b->Palette()->Entries[0].Red, 0);
    EXPECT_EQ(b->Palette()->Entries[255].Red, 10);

    // Format 5: the palette changes, the masks stay.
    testsupport::TempDir dir;
    auto c = Bitmap(5, 3, 2);
    c->SetPaletteEntries(0, 4, other.data());
    EXPECT_EQ(c->Palette()->Entries[3].Green, 2);
    c->SaveToFile(dir.File("c.bmp"));
    const auto file = ReadFile(dir.File("c.bmp"));
    EXPECT_EQ(At<std::uint32_t>(file, 54), 0xFF0000u);
    EXPECT_EQ(At<std::uint32_t>(file, 58), 0xFF00u);
    EXPECT_EQ(At<std::uint32_t>(file, 62), 0xFFu);

    c->CopyPalette(nullptr);
    EXPECT_EQ(c->Palette(), nullptr);
    c->CopyPalette(b->Palette());
    EXPECT_EQ(c->Palette()->Entries[252].Green, 20);
}

TEST(SMemBitmap, AssignCopiesFormatSizePaletteAndPixels)
{
    std::mt19937 random(5);
    auto source = Bitmap(1, 7, 3);
    const auto palette = RandomPalette(random);
    source->SetPaletteEntries(0, 256, palette.data());
    FillRandom(*source, random);
    auto b = Bitmap(5, 100, 100);
    EventLog log;
    b->Events.Add(log.Handler());
    b->Assign(source.get());
    EXPECT_EQ(b->PixelFormat(), 1);
    EXPECT_EQ(b->GetDimension(0), 7);
    EXPECT_EQ(b->GetDimension(1), 3);
    ASSERT_NE(b->Palette(), nullptr);
    EXPECT_EQ(std::memcmp(b->Palette(), source->Palette(), sizeof(TSPalette)), 0);
    EXPECT_EQ(std::memcmp(b->Info(), source->Info(), kBitmapInfoBytes), 0);
    EXPECT_EQ(std::memcmp(b->Bits(), source->Bits(), std::size_t(source->GetImageSize())), 0);
    EXPECT_EQ(log.Codes().front().first, ecBeginChange);
    EXPECT_EQ(log.Codes().back().first, ecEndChange);
    // Anything but another bitmap is ignored.
    b->Assign(nullptr);
    b->Assign(b.get());
    EXPECT_EQ(b->GetDimension(0), 7);
    b->Events.Remove(log.Handler());
}

TEST(SMemBitmap, RefusedSaveLeavesTheFileAlone)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("old.bmp");
    struct Case {
        const char* name;
        TSPixelFormat format;
        std::int32_t w, h;
        bool changing;
        const char* reason;
    };
    const Case cases[] = {
        {"format 0", 0, 5, 5, false, "Can't save : Invalid Value"},
        {"no size", 4, 0, 0, false, "Can't save : Invalid Value"},
        {"changing", 4, 5, 5, true, "Can't save : Busy"},
    };
    for (const Case& c : cases) {
        WriteFile(path, "old contents");
        auto b = Bitmap(c.format, c.w, c.h);
        if (c.changing)
            b->BeginChange();
        const std::string error = SaveError(*b, path);
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find("TSMemoryBitmap"), std::string::npos) << error;
        const auto file = ReadFile(path);
        EXPECT_EQ(std::string(file.begin(), file.end()), "old contents") << c.name;
        if (c.changing)
            b->EndChange();
    }
    // A target that may not be replaced, and a folder that does not exist, raise the OS error.
    auto b = Bitmap(4, 3, 3);
    ::chmod(path.c_str(), 0444);
    EXPECT_NE(SaveError(*b, path).find(path), std::string::npos);
    EXPECT_NE(SaveError(*b, dir.File("none/x.bmp")).find("none/x.bmp"), std::string::npos);
    const auto file = ReadFile(path);
    EXPECT_EQ(std::string(file.begin(), file.end()), "old contents");
}

TEST(SMemBitmap, SaveAnnouncesItsStartAndEnd)
{
    testsupport::TempDir dir;
    auto b = Bitmap(4, 2, 2);
    EventLog log;
    b->Events.Add(log.Handler());
    b->SaveToFile(dir.File("a.bmp"));
    // A failed write announces its end as well.
    EXPECT_THROW(b->SaveToFile(dir.File("none/a.bmp")), EOSError);
    using Codes = std::vector<std::pair<std::int32_t, TSParam>>;
    EXPECT_EQ(log.Codes(), (Codes{{4096, 0}, {4097, 0}, {4096, 0}, {4097, 0}}));
    b->Events.Remove(log.Handler());
}

// Every format with odd widths, read back by an independent header parser
// and by ImageMagick, pixel by pixel.
TEST(SMemBitmap, FilesReadBackByImageMagick)
{
    testsupport::TempDir dir;
    std::mt19937 random(11);
    const std::pair<int, int> sizes[] = {{7, 5}, {1, 3}, {13, 2}};
    for (TSPixelFormat format = 1; format <= 6; ++format)
        for (const auto& [w, h] : sizes) {
            auto b = Bitmap(format, w, h);
            const auto palette = RandomPalette(random);
            b->SetPaletteEntries(0, 256, palette.data());
            FillRandom(*b, random);
            const std::string name = "f" + std::to_string(format) + "_" + std::to_string(w);
            const std::string path = dir.File(name + ".bmp");
            b->SaveToFile(path);
            std::vector<std::int32_t> header = {w, h};
            std::vector<std::uint16_t> values;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const Channels c = PixelChannels(*b, x, y);
                    if (values.empty())
                        header.insert(header.end(), std::begin(c.Bits), std::end(c.Bits));
                    values.insert(values.end(), std::begin(c.Value), std::end(c.Value));
                }
            {
                std::ofstream out(dir.File(name + ".expected"), std::ios::binary);
                out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size() * 4));
                out.write(reinterpret_cast<const char*>(values.data()), std::streamsize(values.size() * 2));
            }
            const std::string cmd = "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/engine3d/bmp_check.py '" + path +
                                    "' '" + dir.File(name + ".expected") + "' " + std::to_string(format) + " 2>&1";
            const testsupport::CommandResult run = testsupport::RunCommand(cmd);
            EXPECT_EQ(run.status, 0) << name << ": " << run.output;
            EXPECT_EQ(run.output, "ok\n") << name;
        }
}

TEST(SMemBitmap, ImageForTheScreen)
{
    std::mt19937 random(13);
    const QImage::Format formats[] = {QImage::Format_Invalid, QImage::Format_Indexed8, QImage::Format_RGB555,
                                      QImage::Format_RGB16,   QImage::Format_BGR888,   QImage::Format_RGB32,
                                      QImage::Format_RGB32};
    for (TSPixelFormat format = 1; format <= 6; ++format) {
        auto b = Bitmap(format, 5, 3);
        const auto palette = RandomPalette(random);
        b->SetPaletteEntries(0, 256, palette.data());
        FillRandom(*b, random);
        const QImage image = MemoryBitmapImage(*b);
        ASSERT_EQ(image.format(), formats[format]) << format;
        ASSERT_EQ(image.size(), QSize(5, 3));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const Channels c = PixelChannels(*b, x, y);
                const QRgb q = image.pixel(x, y);
                const int got[3] = {qRed(q), qGreen(q), qBlue(q)};
                for (int k = 0; k < 3; ++k) {
                    // The top bits of each channel, as many as both carry.
                    const int bits = std::min(8, c.Bits[k]);
                    EXPECT_EQ(got[k] >> (8 - bits), c.Value[k] >> (c.Bits[k] - bits))
                        << "format " << format << " at " << x << "," << y << " channel " << k;
                }
            }
    }
    EXPECT_TRUE(MemoryBitmapImage(*Bitmap(0, 5, 5)).isNull());
    EXPECT_TRUE(MemoryBitmapImage(*Bitmap(4, 0, 5)).isNull());
}

TEST(SMemBitmap, ScreenPixelFormat)
{
    const std::pair<int, TSPixelFormat> depths[] = {{8, 1},  {15, 2}, {16, 3}, {24, 4},
                                                    {32, 5}, {4, 0},  {1, 0},  {30, 0}};
    for (const auto& [depth, format] : depths)
        EXPECT_EQ(PixelFormatOfDepth(depth), format) << depth;
    std::int32_t w = -1, h = -1;
    const TSPixelFormat format = GetScreenPixelFormat(w, h);
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(format, PixelFormatOfDepth(screen->depth()));
    EXPECT_EQ(w, screen->size().width());
    EXPECT_EQ(h, screen->size().height());
}
