// The standard drawing system: vertices to canvas points, colour tables per
// pixel format, presenting into the bitmap, set-up and its stream record.

#include "Viewer3DTestSupport.h"

#include "TempDir.h"

#include "viewer3d/drawing/SDrawing3D.h"

#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/model/SThreads.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/scene/SSurfaces3D.h"
#include "engine3d/render/SMemBitmapView.h"
#include "platform/threads/ParallelFor.h"

#include <QImage>

#include <cmath>
#include <cstring>
#include <functional>
#include <fstream>
#include <memory>
#include <vector>

namespace {

class BytesStream final : public TSObjectsStream {
public:
    std::vector<unsigned char> Bytes;
    std::int32_t Pos = 0;

    void SetPosition(std::int32_t Position) override { Pos = Position; }
    std::int32_t GetPosition() override { return Pos; }
    std::int64_t Remaining() const override { return std::int64_t(Bytes.size()) - Pos; }
    void Read(void* Buffer, std::int32_t Count) override
    {
        if (Count < 0 || std::size_t(Pos) + std::size_t(Count) > Bytes.size())
            throw EStreamError("read past the end");
        std::memcpy(Buffer, Bytes.data() + Pos, std::size_t(Count));
        Pos += Count;
    }
    void Write(const void* Buffer, std::int32_t Count) override
    {
        const auto* p = static_cast<const unsigned char*>(Buffer);
        if (std::size_t(Pos) + std::size_t(Count) > Bytes.size())
            Bytes.resize(std::size_t(Pos) + std::size_t(Count));
        std::memcpy(Bytes.data() + Pos, p, std::size_t(Count));
        Pos += Count;
    }
};

struct Offscreen {
    std::unique_ptr<TSDrawingSystem3D> System{TSDrawingSystem3D::CreateOffscreen(nullptr)};
    TSDrawingSystem3D* operator->() const { return System.get(); }
};

// Counts the events of a drawing system.
struct EventLog {
    std::vector<std::int32_t> Codes;
    void Event(TObject*, std::int32_t Code, TSParam) { Codes.push_back(Code); }
    int Count(std::int32_t Code) const { return int(std::count(Codes.begin(), Codes.end(), Code)); }
};

TSVertex3D V(double X, double Y, double R, double G, double B)
{
    return {X, Y, 100, R, G, B};
}

// A square of side 2 * Half around the centre in one colour, as two triangles.
void DrawSquare(TSDrawingSystem3D& S, double Half, double R, double G, double B)
{
    S.BeginDraw(0);
    S.DrawTriangle(V(-Half, -Half, R, G, B), V(Half, -Half, R, G, B), V(Half, Half, R, G, B));
    S.DrawTriangle(V(-Half, -Half, R, G, B), V(Half, Half, R, G, B), V(-Half, Half, R, G, B));
    S.EndDraw(0);
}

// The bitmap's pixel at (X, Y) in bitmap rows (row 0 first in memory).
std::uint32_t Pixel(const TSDrawingSystem3D& S, int X, int Y)
{
    const TSMemoryBitmap& b = *S.Bitmap();
    const int bytes = PixelFormatBytes(b.PixelFormat());
    const auto* at = static_cast<const unsigned char*>(b.Bits()) + Y * b.GetRowBytes() + X * bytes;
    std::uint32_t v = 0;
    std::memcpy(&v, at, std::size_t(bytes));
    return v;
}

}  // namespace

class DrawingSystemTest : public Viewer3DTest {};

TEST_F(DrawingSystemTest, NewOneHasTheDefaultsAndPresentsNothingInFormatZero)
{
    Offscreen s;
    EXPECT_EQ(s->Width(), 128);
    EXPECT_EQ(s->Height(), 128);
    EXPECT_EQ(s->CenterX(), 64);
    EXPECT_EQ(s->CenterY(), 64);
    EXPECT_EQ(s->ColorDepth(), 0);
    for (int o = 1; o <= 3; ++o) {
        EXPECT_EQ(s->ColorSource(o), o);
        EXPECT_TRUE(s->GetChannelEnabled(o));
        ASSERT_EQ(s->Curve(o)->Count(), 2);
        EXPECT_EQ(s->Curve(o)->GetPointX(1), 32768);
        EXPECT_EQ(s->Curve(o)->GetPointY(1), 65535);
    }
    EXPECT_FALSE(s->GetChannelEnabled(0));
    EXPECT_FALSE(s->GetChannelEnabled(4));
    EXPECT_EQ(s->BackgroundColor(), (TSColor3{0, 0, 0}));
    EXPECT_EQ(s->StartPaletteColor(), (TSColor3{0, 0, 0}));
    EXPECT_EQ(s->EndPaletteColor(), (TSColor3{1, 1, 1}));
    EXPECT_EQ(s->Viewer(), nullptr);
    EventLog log;
    s->Events.Add(TSEventHandler::Of<&EventLog::Event>(&log));
    s->Present();
    EXPECT_EQ(log.Count(ecPresented), 0);
    // The palette is there in every format: ramp black to white, background black.
    const TSPalette* pal = s->Bitmap()->Palette();
    ASSERT_NE(pal, nullptr);
    EXPECT_EQ(pal->Entries[64].Red, 0);
    EXPECT_EQ(pal->Entries[191].Red, 255);
    EXPECT_EQ(pal->Entries[128].Green, 129);
    EXPECT_EQ(pal->Entries[192].Blue, 0);
    s->Events.Remove(TSEventHandler::Of<&EventLog::Event>(&log));
}

TEST_F(DrawingSystemTest, VertexToCanvasRoundsClampsAndShifts)
{
    struct Case {
        double In;
        std::int32_t Coordinate;  // x in, canvas x - centre out
        double Colour;
        std::int32_t Index;
    };
    const Case cases[] = {
        {0, 0, 0.5, 16384},
        {1.5, 2, 1.0, 32768},
        {2.5, 2, 1.7, 32768},
        {-1.5, -2, -1.0, 0},  // below 0 is dark, not bright
        {5e9, 0x40000000, -1.0 / 32768, 0},
        {-5e9, -0x40000000, 0.25, 8192},
        {1073741824.0, 0x40000000, 0.9999999, 32768},
    };
    for (const Case& c : cases) {
        TSCanvasPoint p;
        TSDrawingSystem3D::VertexToCanvas(TSVertex3D{c.In, c.In, c.In, c.Colour, c.Colour, c.Colour}, 64, 32, p);
        SCOPED_TRACE(c.In);
        EXPECT_EQ(p.X, std::int32_t(std::uint32_t(c.Coordinate) + 64u));
        EXPECT_EQ(p.Y, std::int32_t(std::uint32_t(c.Coordinate) + 32u));
        EXPECT_EQ(p.Z, c.Coordinate);
        EXPECT_EQ(p.C1, c.Index);
        EXPECT_EQ(p.C2, c.Index);
        EXPECT_EQ(p.C3, c.Index);
    }
}

TEST_F(DrawingSystemTest, LayoutsPerFormat)
{
    struct Run {
        std::int32_t Channel, From, Count;
    };
    struct Case {
        TSPixelFormat Format;
        std::vector<Run> Runs;
        int Bytes;
    };
    const Case cases[] = {
        {0, {}, 0},
        {1, {{1, 8, 8}}, 1},
        {2, {{3, 11, 5}, {2, 11, 5}, {1, 11, 5}}, 2},
        {3, {{3, 11, 5}, {2, 10, 6}, {1, 11, 5}}, 2},
        {4, {{3, 8, 8}, {2, 8, 8}, {1, 8, 8}}, 3},
        {5, {{3, 8, 8}, {2, 8, 8}, {1, 8, 8}}, 4},
        {6, {{3, 6, 10}, {2, 5, 11}, {1, 5, 11}}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Format);
        TSBitLayout want{};
        std::size_t at = 0;
        for (const Run& r : c.Runs)
            for (int i = 0; i < r.Count; ++i)
                want[at++] = {r.Channel, r.From + i};
        const TSBitLayout got = PixelFormatLayout(c.Format);
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].Channel, want[i].Channel) << i;
            EXPECT_EQ(got[i].Bit, want[i].Bit) << i;
        }
        EXPECT_EQ(PixelFormatBytes(c.Format), c.Bytes);
    }
}

// Background (0, 0, 1) and a white, a (0.5, 0.25, 1) and a grey square per
// format: the pixel words at the centre and in a corner.
TEST_F(DrawingSystemTest, PresentsPixelsAndBackgroundPerFormat)
{
    struct Case {
        TSPixelFormat Format;
        double R, G, B;
        std::uint32_t Drawn;
        std::uint32_t Background;
    };
    const Case cases[] = {
        {5, 1, 1, 1, 0x00FFFFFF, 0x000000FF},
        {5, 0.5, 0.25, 1, 0x008040FF, 0x000000FF},
        {5, 0.5, 0.5, 0.5, 0x00808080, 0x000000FF},
        {4, 0.5, 0.5, 0.5, 0x00808080, 0x000000FF},
        {3, 0.5, 0.5, 0.5, 0x8410, 0x001F},
        {2, 1, 1, 1, 0x7FFF, 0x001F},
        {6, 0.5, 0.5, 0.5, 0x80100200, 0x000003FF},
        {1, 0.5, 0.5, 0.5, 128, 192},
        {1, 1, 1, 1, 191, 192},
        {1, 0, 0, 0, 64, 192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Format << " " << c.R);
        Offscreen s;
        s->SetSize(64, 64);
        s->SetBackgroundColor({0, 0, 1});
        s->SetColorDepth(c.Format);
        // Planes 2 and 3 add nothing in format 1 but the background.
        s->Canvas()->SetChannelEnabled(2, true);
        s->Canvas()->SetChannelEnabled(3, true);
        s->ApplyChannelSetup();
        EXPECT_EQ(s->ColorDepth(), c.Format);
        DrawSquare(*s.System, 10, c.R, c.G, c.B);
        EXPECT_EQ(Pixel(*s.System, 32, 32), c.Drawn);
        EXPECT_EQ(Pixel(*s.System, 1, 1), c.Background);
    }
}

TEST_F(DrawingSystemTest, DisabledChannelsGiveOnlyTheirBackground)
{
    Offscreen s;
    s->SetSize(64, 64);
    s->SetColorDepth(5);
    s->Canvas()->SetChannelEnabled(2, true);
    s->Canvas()->SetChannelEnabled(3, true);
    s->SetChannelEnabled(2, false);
    s->SetChannelEnabled(3, false);
    DrawSquare(*s.System, 10, 0.5, 0.5, 0.5);
    EXPECT_EQ(Pixel(*s.System, 32, 32), 0x00800000u);
    // A source outside 0..3 counts as none.
    s->SetColorSource(coRed, 7);
    EXPECT_EQ(s->ColorSource(coRed), 0);
    DrawSquare(*s.System, 10, 0.5, 0.5, 0.5);
    EXPECT_EQ(Pixel(*s.System, 32, 32), 0u);
}

TEST_F(DrawingSystemTest, SetSizeResizesPresentsAndAsksForOneRedraw)
{
    Offscreen s;
    s->SetColorDepth(5);
    EventLog log;
    s->Events.Add(TSEventHandler::Of<&EventLog::Event>(&log));
    s->SetSize(200, 100);
    EXPECT_EQ(s->CenterX(), 100);
    EXPECT_EQ(s->CenterY(), 50);
    EXPECT_EQ(s->Bitmap()->GetDimension(0), 200);
    EXPECT_EQ(s->Bitmap()->GetDimension(1), 100);
    EXPECT_EQ(s->Canvas()->Width(), 200);
    EXPECT_EQ(log.Count(ecInvalidate), 1);
    EXPECT_EQ(log.Count(ecPresented), 1);
    EXPECT_EQ(log.Count(ecDrawUpdateBegin), 1);
    EXPECT_EQ(log.Count(ecDrawUpdateEnd), 1);
    // Negative, or a bitmap or depth buffer past 2^31 - 1 bytes: ignored.
    const std::pair<int, int> refused[] = {{-1, 10}, {10, -1}, {32768, 16384}, {1 << 30, 2}};
    for (auto [w, h] : refused) {
        s->SetSize(w, h);
        EXPECT_EQ(s->Width(), 200);
        EXPECT_EQ(s->Height(), 100);
    }
    s->Events.Remove(TSEventHandler::Of<&EventLog::Event>(&log));
}

TEST_F(DrawingSystemTest, ColoursAreClampedAndFeedThePalette)
{
    Offscreen s;
    s->SetBackgroundColor({1.2, -0.1, 0.5});
    EXPECT_EQ(s->BackgroundColor(), (TSColor3{1.0, 0.0, 0.5}));
    s->SetStartPaletteColor({1, 0, 0});
    s->SetEndPaletteColor({0, 0, 2});
    EXPECT_EQ(s->EndPaletteColor(), (TSColor3{0, 0, 1}));
    const TSPalette* pal = s->Bitmap()->Palette();
    EXPECT_EQ(pal->Entries[64].Red, 255);
    EXPECT_EQ(pal->Entries[191].Blue, 255);
    EXPECT_EQ(pal->Entries[191].Red, 0);
    EXPECT_EQ(pal->Entries[192].Red, 255);
    EXPECT_EQ(pal->Entries[192].Blue, 128);
}

TEST_F(DrawingSystemTest, DrawQuadDrawsOnlyItsFirstTriangle)
{
    Offscreen s;
    s->SetSize(64, 64);
    s->SetColorDepth(5);
    s->BeginDraw(0);
    s->DrawQuad(V(-10, -10, 1, 1, 1), V(10, -10, 1, 1, 1), V(10, 10, 1, 1, 1), V(-10, 10, 1, 1, 1));
    s->EndDraw(0);
    // Only plane 1, which feeds red, exists in a new canvas.
    EXPECT_EQ(Pixel(*s.System, 40, 26), 0x00FF0000u);  // below the diagonal
    EXPECT_EQ(Pixel(*s.System, 24, 38), 0u);           // above it
}

TEST_F(DrawingSystemTest, StreamRecordRoundTripsAndRefusesBadValues)
{
    Offscreen a;
    a->SetName("View");
    a->SetSize(80, 60);
    a->SetColorDepth(3);
    a->SetColorSource(coBlue, 1);
    a->SetChannelEnabled(2, false);
    a->Canvas()->SetChannelEnabled(3, true);
    a->SetBackgroundColor({0.25, 0.5, 0.75});
    a->Curve(coGreen)->AddPoint(16384, 1000);
    BytesStream stream;
    const std::int32_t saved = a->Save(&stream);
    EXPECT_EQ(saved, std::int32_t(stream.Bytes.size()));

    Offscreen b;
    stream.Pos = 0;
    EXPECT_EQ(b->Load(&stream), saved);
    EXPECT_EQ(b->Name(), "View");
    EXPECT_EQ(b->Width(), 80);
    EXPECT_EQ(b->Height(), 60);
    EXPECT_EQ(b->ColorDepth(), 3);
    EXPECT_EQ(b->ColorSource(coBlue), 1);
    EXPECT_FALSE(b->GetChannelEnabled(2));
    EXPECT_TRUE(b->Canvas()->GetChannelEnabled(3));
    EXPECT_FALSE(b->Canvas()->GetChannelEnabled(2));
    EXPECT_EQ(b->BackgroundColor(), (TSColor3{0.25, 0.5, 0.75}));
    EXPECT_EQ(b->Curve(coGreen)->Count(), 3);

    // Width at 4 + name, height, format after it.
    const std::size_t fields = 4 + a->Name().size() + 4 + 12;
    struct Bad {
        std::size_t Offset;
        std::int32_t Value;
    };
    const Bad bads[] = {{fields + 8, 7}, {fields + 8, -1}, {fields, -1}, {fields + 4, -1}, {fields, 1 << 25}};
    for (const Bad& bad : bads) {
        SCOPED_TRACE(bad.Offset);
        BytesStream broken;
        broken.Bytes = stream.Bytes;
        std::memcpy(broken.Bytes.data() + bad.Offset, &bad.Value, 4);
        broken.Pos = 0;
        Offscreen c;
        try {
            c->Load(&broken);
            ADD_FAILURE() << "loaded";
        } catch (const EStreamError& e) {
            EXPECT_NE(std::string(e.what()).find("Can't load : Invalid Value"), std::string::npos) << e.what();
        }
    }
}

TEST_F(DrawingSystemTest, ClassIsRegisteredWithItsCaption)
{
    EXPECT_EQ(FindRTDClass("TSDrawingSystem3D"), &TSDrawingSystem3D::ClassInfo);
}

// The picture in a bitmap file, read by the outside tools: a white 21 x 21
// square on blue, in each format.
TEST_F(DrawingSystemTest, SavedBitmapReadsBackInOutsideTools)
{
    testsupport::TempDir dir;
    const TSPixelFormat formats[] = {1, 3, 4, 5, 6};
    for (TSPixelFormat format : formats) {
        SCOPED_TRACE(format);
        Offscreen s;
        s->SetSize(64, 64);
        s->SetBackgroundColor({0, 0, 1});
        s->SetColorDepth(format);
        s->Canvas()->SetChannelEnabled(2, true);
        s->Canvas()->SetChannelEnabled(3, true);
        s->ApplyChannelSetup();
        DrawSquare(*s.System, 10, 1, 1, 1);
        const std::string path = dir.Path() + "/pic" + std::to_string(format) + ".bmp";
        s->Bitmap()->SaveToFile(path);
        // Expected channel values, top row first (bitmap row 0 is the bottom).
        static constexpr int kBits[7][3] = {{0, 0, 0}, {8, 8, 8}, {5, 5, 5},   {5, 6, 5},
                                            {8, 8, 8}, {8, 8, 8}, {11, 11, 10}};
        const int* bits = kBits[format];
        std::vector<std::int32_t> head{64, 64, bits[0], bits[1], bits[2]};
        std::vector<std::uint16_t> px;
        int drawn = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const bool in = Pixel(*s.System, x, 63 - y) != Pixel(*s.System, 0, 0);
                drawn += in;
                for (int k = 0; k < 3; ++k) {
                    const int full = (1 << bits[k]) - 1;
                    px.push_back(std::uint16_t(in ? full : (k == 2 ? full : 0)));
                }
            }
        EXPECT_EQ(drawn, 21 * 21);
        const std::string expected = dir.Path() + "/want" + std::to_string(format);
        {
            std::ofstream out(expected, std::ios::binary);
            out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size() * 4));
            out.write(reinterpret_cast<const char*>(px.data()), std::streamsize(px.size() * 2));
        }
        const std::string cmd = "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/engine3d/bmp_check.py '" + path + "' '" +
                                expected + "' " + std::to_string(format) + " 2>&1";
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char line[512] = {};
        std::string answer;
        while (std::fgets(line, sizeof line, p))
            answer += line;
        ::pclose(p);
        EXPECT_EQ(answer, "ok\n");
    }
}

namespace {

struct StopJob {
    std::function<void(TSThread*)> Body;
    void Run(TSThread* Thread, TSThreadParams*) { Body(Thread); }
    TSThreadJob Handle() { return TSThreadJob::Of<&StopJob::Run>(this); }
};

}  // namespace

TEST_F(DrawingSystemTest, StopDuringTheLastFlushEndsThePictureAndPassesOn)
{
    if (plat::ParallelThreads() < 2)
        GTEST_SKIP() << "one core: pictures are drawn at once";
    Offscreen s;
    s->SetSize(200, 200);
    s->SetColorDepth(5);
    // Queued triangles over the whole picture; the stop comes before the
    // end, where they are drawn: the first tiles' end drops the rest.
    auto draw = [&](TSThread* Thread, bool Stop) {
        s->BeginDraw(0);
        for (int i = 0; i < 400; ++i) {
            s->DrawTriangle(TSVertex3D{-300, -300, 100.0 - i / 8.0, 1, 1, 1}, TSVertex3D{300, -300, 100, 1, 1, 1},
                            TSVertex3D{0, 600, 100, 1, 1, 1});
        }
        if (Stop)
            Thread->RequestTerminate();
        s->EndDraw(0);
    };
    std::unique_ptr<TSThread> thread(TSObject::Create<TSThread>());
    bool ended = false;
    StopJob whole{[&](TSThread* Thread) {
        draw(Thread, false);
        ended = true;
    }};
    ASSERT_TRUE(thread->RunSynchronously(nullptr, whole.Handle()));
    EXPECT_TRUE(ended);
    EXPECT_EQ(thread->State(), tsDone);
    const QImage full = MemoryBitmapImage(*s->Bitmap());

    ended = false;
    StopJob stopped{[&](TSThread* Thread) {
        draw(Thread, true);
        ended = true;
    }};
    ASSERT_TRUE(thread->RunSynchronously(nullptr, stopped.Handle()));
    EXPECT_FALSE(ended);
    EXPECT_EQ(thread->State(), tsAborted);
    const QImage part = MemoryBitmapImage(*s->Bitmap());
    int same = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            same += part.pixel(x, y) == full.pixel(x, y);
    EXPECT_LT(same, 200 * 200 / 2);
    // The next picture is whole again.
    ASSERT_TRUE(thread->RunSynchronously(nullptr, whole.Handle()));
    EXPECT_TRUE(ended);
    EXPECT_EQ(MemoryBitmapImage(*s->Bitmap()), full);
}

TEST_F(DrawingSystemTest, LitSurfaceIsTheSamePictureOnAnyThreadCount)
{
    // A wavy 120 x 90 surface, lit head-on, in a picture smaller than it so
    // that triangles cross the tiles and leave the canvas.
    std::unique_ptr<TSSurface3D> surface(TSObject::Create<TSSurface3D>());
    surface->SetGridSize(120, 90);
    surface->BeginUpdate();
    for (int j = 0; j < 90; ++j)
        for (int i = 0; i < 120; ++i) {
            surface->Node(i, j).Position = {float(i - 60) * 1.3f, float(j - 45) * 1.3f,
                                            -100 + 6 * std::sin(i / 7.0f) * std::cos(j / 5.0f)};
            surface->Node(i, j).Color = {0.9f, 0.6f, 0.3f};
        }
    surface->EndUpdate();
    std::unique_ptr<TSSimpleDiffuseReflection> law(TSObject::Create<TSSimpleDiffuseReflection>());
    surface->SetReflectionLaw(law.get());
    std::unique_ptr<TSCustomLightSystem3DList> lights(TSObject::Create<TSCustomLightSystem3DList>());
    auto* light = TSObject::Create<TSFlatSpringLight3D>();
    light->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});
    lights->Add(light);
    std::unique_ptr<TSEyeSystem3D> camera(TSObject::Create<TSEyeSystem3D>());
    camera->SetScreenDistance(100);
    Offscreen s;
    s->SetSize(131, 97);
    s->SetColorDepth(5);
    s->Canvas()->SetChannelEnabled(2, true);
    s->Canvas()->SetChannelEnabled(3, true);
    s->ApplyChannelSetup();
    auto picture = [&](int Threads, bool Smooth) {
        plat::SetParallelThreadLimit(Threads);
        surface->SetSmooth(Smooth);
        TSRenderContext context;
        context.Camera = camera.get();
        context.Lights = lights.get();
        context.DrawSystem = s.System.get();
        s->BeginDraw(0);
        surface->Draw(context);
        s->EndDraw(0);
        plat::SetParallelThreadLimit(0);
        return MemoryBitmapImage(*s->Bitmap());
    };
    for (bool smooth : {false, true}) {
        const QImage one = picture(1, smooth);
        int drawn = 0;
        for (int y = 0; y < one.height(); ++y)
            for (int x = 0; x < one.width(); ++x)
                drawn += (one.pixel(x, y) & 0xFFFFFF) != 0;
        EXPECT_GT(drawn, 131 * 97 / 2);
        for (int threads : {2, 3, plat::ParallelThreads()})
            EXPECT_EQ(picture(threads, smooth), one) << "threads " << threads << ", smooth " << smooth;
    }
    lights->Clear();
}
