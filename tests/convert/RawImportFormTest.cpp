// The raw import dialog's arithmetic: component lists, Execute's checks, the derived
// sizes, the preview frame's window and the preview rate.

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "layer/DataTypes.h"
#include "raw/RawImportForm.h"
#include "raw/RawStrings.h"

TEST(RawImportForm, ComponentListsAndRemapping)
{
    const std::vector<int> scalar = {UINT8, SINT8, UINT16, SINT16, UINT32, SINT32, FLOAT32, FLOAT64};
    const std::vector<int> complex = {SINT8, SINT16, SINT32, FLOAT32, FLOAT64};
    ASSERT_EQ(ComponentListSize(0), int(scalar.size()));
    ASSERT_EQ(ComponentListSize(1), int(complex.size()));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ComponentTypeAt(0, i), scalar[std::size_t(i)]);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ComponentTypeAt(1, i), complex[std::size_t(i)]);
    EXPECT_EQ(ComponentTypeAt(0, 8), 0);
    EXPECT_EQ(ComponentTypeAt(1, -1), 0);

    const int toComplex[] = {0, 0, 1, 1, 2, 2, 3, 4};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(RemapComponentPosition(0, i), toComplex[i]) << i;
    const int toScalar[] = {1, 3, 5, 6, 7};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(RemapComponentPosition(1, i), toScalar[i]) << i;
    EXPECT_EQ(RemapComponentPosition(0, -1), -1);
    EXPECT_EQ(RemapComponentPosition(1, 5), -1);
    // Scalar FLOAT32 to complex and back stays FLOAT32.
    const int there = RemapComponentPosition(0, 6);
    EXPECT_EQ(ComponentTypeAt(1, there), FLOAT32);
    EXPECT_EQ(ComponentTypeAt(0, RemapComponentPosition(1, there)), FLOAT32);
}

TEST(RawImportForm, DerivedSizes)
{
    RawImportFields f;
    f.pixelsPerRecord = 1000;
    f.dataKind = 1;
    f.componentPos = 1;  // SINT16 components
    f.prefixSize = 12;
    EXPECT_EQ(f.MinimumRecordLength(), 4012);
    EXPECT_EQ(f.LayerType(), CSINT16);
    f.windowWidth = 1000;
    f.windowHeight = 600;
    EXPECT_EQ(f.NewFileSize(), 2400000u);
    f.dataKind = 0;
    f.componentPos = 7;  // FLOAT64
    f.windowWidth = 65536;
    f.windowHeight = 65536;
    EXPECT_EQ(f.NewFileSize(), 34359738368u);
    f.componentPos = -1;
    EXPECT_EQ(f.LayerType(), 0);
    EXPECT_EQ(f.NewFileSize(), 0u);
}

TEST(RawImportForm, ADataKindOutOfRangeHasOneComponentAndNoType)
{
    for (int kind : {2, -1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        SCOPED_TRACE(kind);
        RawImportFields f;
        f.dataKind = kind;
        f.componentPos = 1;
        f.pixelsPerRecord = 3;
        f.prefixSize = 7;
        f.recordLength = 7;
        f.records = 2;
        f.windowWidth = 3;
        f.windowHeight = 2;
        EXPECT_EQ(f.Components(), 1);
        EXPECT_EQ(f.ComponentType(), 0);
        EXPECT_EQ(f.LayerType(), 0);
        EXPECT_EQ(f.MinimumRecordLength(), 7);
        EXPECT_EQ(f.NewFileSize(), 0u);
        // Without a component type the checks pass, but the reader makes nothing of it.
        EXPECT_EQ(f.CheckExecute(), 0u);
        ImportParams p = f.Params("data.raw");
        p.pixelSize = p.components * p.componentSize;
        EXPECT_FALSE(p.Readable());
    }
}

TEST(RawImportForm, ExecuteChecksInOrder)
{
    RawImportFields good;
    good.pixelsPerRecord = 100;
    good.records = 50;
    good.componentPos = 3;  // SINT16
    good.recordLength = 212;
    good.prefixSize = 12;
    good.windowWidth = 100;
    good.windowHeight = 50;
    struct Case {
        const char* name;
        void (*set)(RawImportFields&);
        unsigned id;
    };
    const Case cases[] = {
        {"whole image", [](RawImportFields&) {}, 0},
        {"no image width", [](RawImportFields& f) { f.pixelsPerRecord = 0; }, IDS_RAW_NEED_IMAGE_WIDTH},
        {"no window width", [](RawImportFields& f) { f.windowWidth = 0; }, IDS_RAW_NEED_WINDOW_WIDTH},
        {"no window height", [](RawImportFields& f) { f.windowHeight = 0; }, IDS_RAW_NEED_WINDOW_HEIGHT},
        {"record one byte short", [](RawImportFields& f) { f.recordLength = 211; }, IDS_RAW_BAD_RECORD_LENGTH},
        {"longer record", [](RawImportFields& f) { f.recordLength = 4000; }, 0},
        {"negative record length", [](RawImportFields& f) { f.recordLength = -1; }, IDS_RAW_BAD_RECORD_LENGTH},
        {"negative prefix", [](RawImportFields& f) { f.prefixSize = -12; }, IDS_RAW_BAD_RECORD_LENGTH},
        {"window wider than the record", [](RawImportFields& f) { f.windowWidth = 101; }, IDS_RAW_WINDOW_TOO_WIDE},
        {"X at the record end", [](RawImportFields& f) { f.windowX = 100; f.windowWidth = 1; },
         IDS_RAW_WINDOW_X_OUTSIDE},
        {"negative X", [](RawImportFields& f) { f.windowX = -1; f.windowWidth = 1; }, IDS_RAW_WINDOW_X_OUTSIDE},
        {"X 10 with the whole width", [](RawImportFields& f) { f.windowX = 10; }, IDS_RAW_WINDOW_TOO_WIDE},
        {"X + width at the end", [](RawImportFields& f) { f.windowX = 10; f.windowWidth = 90; }, 0},
        {"negative width", [](RawImportFields& f) { f.windowWidth = -5; }, IDS_RAW_WINDOW_TOO_WIDE},
        {"Y + height past the records", [](RawImportFields& f) { f.windowY = 1; }, IDS_RAW_WINDOW_TOO_HIGH},
        {"Y + height at the end", [](RawImportFields& f) { f.windowY = 10; f.windowHeight = 40; }, 0},
        {"negative Y", [](RawImportFields& f) { f.windowY = -1; f.windowHeight = 1; }, IDS_RAW_WINDOW_TOO_HIGH},
        {"huge sums do not wrap",
         [](RawImportFields& f) {
             f.pixelsPerRecord = std::numeric_limits<int>::max();
             f.recordLength = std::numeric_limits<int>::max();
             f.componentPos = 0;
             f.prefixSize = 0;
             f.windowX = std::numeric_limits<int>::max() - 1;
             f.windowWidth = 2;
         },
         IDS_RAW_WINDOW_TOO_WIDE},
        {"no records", [](RawImportFields& f) { f.records = 0; }, IDS_RAW_WINDOW_TOO_HIGH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawImportFields f = good;
        c.set(f);
        EXPECT_EQ(f.CheckExecute(), c.id);
    }
    EXPECT_EQ(LoadRawString(IDS_RAW_WINDOW_TOO_HIGH), "Invalid height of window being cut: \nexceeding overall file height");
}

TEST(RawImportForm, ParamsOfImportAndPreview)
{
    RawImportFields f;
    f.pixelsPerRecord = 1000;
    f.records = 600;
    f.headerSize = 1024;
    f.prefixSize = 12;
    f.recordLength = 4100;
    f.dataKind = 1;
    f.componentPos = 3;  // FLOAT32 components
    f.byteOrder = 1;
    f.windowX = 10;
    f.windowY = 20;
    f.windowWidth = 300;
    f.windowHeight = 400;
    const ImportParams p = f.Params("in.raw");
    EXPECT_EQ(p.dataFile, "in.raw");
    EXPECT_EQ(p.headerSize, 1024);
    EXPECT_EQ(p.prefixSize, 12);
    EXPECT_EQ(p.recordLength, 4100);
    EXPECT_EQ(p.layers, 1);
    EXPECT_EQ(p.pixelsPerRecord, 1000);
    EXPECT_EQ(p.components, 2);
    EXPECT_EQ(p.componentSize, 4);
    EXPECT_EQ(p.pixelSize, 8);
    EXPECT_EQ(p.componentType, FLOAT32);
    EXPECT_EQ(p.byteOrder, 2);
    EXPECT_EQ(p.LayerType(), CFLOAT32);
    EXPECT_EQ(p.windowX, 10);
    EXPECT_EQ(p.windowY, 20);
    EXPECT_EQ(p.windowWidth, 300);
    EXPECT_EQ(p.windowHeight, 400);
    EXPECT_EQ(p.step, 1);
    const ImportParams q = f.PreviewParams("in.raw", 20);
    EXPECT_EQ(q.windowX, 0);
    EXPECT_EQ(q.windowY, 0);
    EXPECT_EQ(q.windowWidth, 1000);
    EXPECT_EQ(q.windowHeight, 600);
    EXPECT_EQ(q.records, 600);
    EXPECT_EQ(q.step, 20);
}

TEST(RawImportForm, FrameToWindowCountsBothEdges)
{
    // Left 10, top 5, 20 x 15 preview pixels at step 20.
    const DataWindow w = FrameToWindow(PreviewFrame{10, 5, 29, 19}, 20);
    EXPECT_EQ(w.x, 200);
    EXPECT_EQ(w.y, 100);
    EXPECT_EQ(w.width, 400);
    EXPECT_EQ(w.height, 300);
    // A frame over the whole 50 x 30 preview of a 1000 x 600 image is the whole image.
    const DataWindow all = FrameToWindow(PreviewFrame{0, 0, 49, 29}, 20);
    EXPECT_EQ(all.width, 1000);
    EXPECT_EQ(all.height, 600);
    const DataWindow one = FrameToWindow(PreviewFrame{3, 4, 3, 4}, 1);
    EXPECT_EQ(one.width, 1);
    EXPECT_EQ(one.height, 1);
}

TEST(RawImportForm, PreviewRate)
{
    const PreviewRate image{2, 1000, 600};
    EXPECT_EQ(image.Half(), 300);
    EXPECT_EQ(image.NewWidth(20), 50);
    EXPECT_EQ(image.NewHeight(20), 30);
    EXPECT_EQ(image.InitialSize(), 1200000u);
    EXPECT_EQ(image.NewSize(20), 3000u);
    struct Case {
        long long rate;
        bool valid;
    };
    for (const Case& c : {Case{0, false}, Case{-3, false}, Case{1, true}, Case{300, true}, Case{600, true},
                          Case{601, false}, Case{1LL << 40, false}})
        EXPECT_EQ(image.Valid(c.rate), c.valid) << c.rate;
    EXPECT_EQ((PreviewRate{1, 1000, 3}).Half(), 1);
    EXPECT_EQ((PreviewRate{1, 1000, 4}).Half(), 2);

    struct Text {
        const char* text;
        long long value;
    };
    for (const Text& t : {Text{"12", 12}, Text{" 7 ", 7}, Text{"", 0}, Text{"abc", 0}, Text{"12abc", 0},
                          Text{"-4", -4}, Text{"99999999999999999999999", 0}})
        EXPECT_EQ(ReadDecimal(t.text), t.value) << t.text;
}
