#include "viewer3d/drawing/SDrawing3D.h"

#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/model/SThreads.h"
#include "platform/threads/GuiThread.h"
#include "platform/threads/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <utility>

namespace {

constexpr char kCaption[] = "Standart Viewer 3D";
constexpr std::int64_t kMaxBufferBytes = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kCurveTop = 32768;

std::atomic<TSViewerFactory> gViewerFactory{nullptr};

// A run of pixel bits: Count bits of output Channel from bit From upwards.
struct TSLayoutRun {
    std::int32_t Channel;
    std::int32_t From;
    std::int32_t Count;
};

void AddRuns(TSBitLayout& Layout, std::initializer_list<TSLayoutRun> Runs)
{
    std::size_t at = 0;
    for (const TSLayoutRun& run : Runs)
        for (std::int32_t i = 0; i < run.Count; ++i)
            Layout[at++] = {run.Channel, run.From + i};
}

// Rounded to nearest, ties to even, as the pipeline's conversions do.
std::int32_t RoundEven(double V)
{
    return static_cast<std::int32_t>(std::nearbyint(V));
}

std::int32_t CoordinateToCanvas(double V)
{
    if (V >= 1073741824.0)
        return 0x40000000;
    if (V <= -1073741824.0)
        return -0x40000000;
    if (std::isnan(V))
        return 0;
    return RoundEven(V);
}

std::int32_t ColourToCanvas(double V)
{
    if (V >= 1.0)
        return kCurveTop;
    // Below 0 is dark: a negative index would wrap into the bright or background entries.
    if (!(V > 0.0))
        return 0;
    return RoundEven(V * kCurveTop);
}

TSColor3 Clamped(const TSColor3& Colour)
{
    TSColor3 out{};
    for (std::size_t i = 0; i < 3; ++i)
        out[i] = Colour[i] >= 1.0 ? 1.0 : (Colour[i] > 0.0 ? Colour[i] : 0.0);
    return out;
}

std::uint32_t Channel16(double V)
{
    return static_cast<std::uint32_t>(RoundEven(V * 65535));
}

std::uint8_t Byte255(double V)
{
    return static_cast<std::uint8_t>(std::clamp(RoundEven(V * 255), 0, 255));
}

// Whether a bitmap (up to 4 bytes a pixel, rows of whole 32-bit words) and
// the canvas's depth buffer (4 bytes a pixel, rows of 16 bytes) of this size
// stay within 2^31 - 1 bytes.
bool SizeFits(std::int32_t Width, std::int32_t Height)
{
    const std::int64_t bitmapRow = (std::int64_t(Width) * 4 + 3) / 4 * 4;
    const std::int64_t depthRow = (std::int64_t(Width) * 4 + 15) / 16 * 16;
    return std::max(bitmapRow, depthRow) * Height <= kMaxBufferBytes;
}

// BeginUpdate .. EndUpdate around Body, closed when it raises too.
template <class Body>
void InUpdate(TSDrawingSystem3D& System, Body&& body)
{
    System.BeginUpdate();
    try {
        body();
    } catch (...) {
        System.EndUpdate();
        throw;
    }
    System.EndUpdate();
}

}  // namespace

TSBitLayout PixelFormatLayout(TSPixelFormat Format)
{
    TSBitLayout layout{};
    switch (Format) {
    case 1:
        AddRuns(layout, {{coRed, 8, 8}});
        break;
    case 2:
        AddRuns(layout, {{coBlue, 11, 5}, {coGreen, 11, 5}, {coRed, 11, 5}});
        break;
    case 3:
        AddRuns(layout, {{coBlue, 11, 5}, {coGreen, 10, 6}, {coRed, 11, 5}});
        break;
    case 4:
    case 5:
        AddRuns(layout, {{coBlue, 8, 8}, {coGreen, 8, 8}, {coRed, 8, 8}});
        break;
    case 6:
        AddRuns(layout, {{coBlue, 6, 10}, {coGreen, 5, 11}, {coRed, 5, 11}});
        break;
    default:
        break;
    }
    return layout;
}

std::int32_t PixelFormatBytes(TSPixelFormat Format)
{
    static constexpr std::int32_t kBytes[kPixelFormatCount] = {0, 1, 2, 2, 3, 4, 4};
    return Format >= 0 && Format < kPixelFormatCount ? kBytes[Format] : 0;
}

void SetViewerFactory(TSViewerFactory Factory)
{
    gViewerFactory = Factory;
}

constinit const TSClassInfo TSDrawingSystem3D::ClassInfo{"TSDrawingSystem3D", &TSCustomDrawSystem3D::ClassInfo,
                                                         &TSDrawingSystem3D::NewWithViewer};

TSObject* TSDrawingSystem3D::NewWithViewer(TObject* Owner)
{
    std::unique_ptr<TSDrawingSystem3D> system(static_cast<TSDrawingSystem3D*>(NewInstance<TSDrawingSystem3D>(Owner)));
    if (TSViewerFactory factory = gViewerFactory.load())
        system->m_viewer = factory(system.get());
    return system.release();
}

TSDrawingSystem3D* TSDrawingSystem3D::CreateOffscreen(TObject* Owner)
{
    return static_cast<TSDrawingSystem3D*>(NewInstance<TSDrawingSystem3D>(Owner));
}

void TSDrawingSystem3D::Initialize()
{
    TSCustomDrawSystem3D::Initialize();
    m_updateCount = 0;
    m_colorSource = {1, 2, 3};
    m_width = 0;
    m_height = 0;
    m_colorDepth = 0;
    m_channelEnabled = {true, true, true};
    m_bitLayout = {};
    m_background = {0, 0, 0};
    m_startPalette = {0, 0, 0};
    m_endPalette = {1, 1, 1};
    m_bitmap = TSObject::Create<TSMemoryBitmap>(this);
    m_canvas = new TSCanvas3D();
    for (auto& curve : m_curves) {
        curve = new TSCnv3DIITransformer();
        curve->AddPoint(0, 0);
        curve->AddPoint(kCurveTop, 65535);
    }
    Events.Add(TSEventHandler::Of<&TSDrawingSystem3D::Relay>(this));
    BuildPalette();
    SetSize(128, 128);
}

TSDrawingSystem3D::~TSDrawingSystem3D()
{
    Finalize();
    // The window unbinds itself; windows go on the GUI thread.
    if (TSViewerLink* viewer = std::exchange(m_viewer, nullptr))
        plat::CallOnGuiThread([viewer] { delete viewer; });
    SetViewerWindow({});
    Events.Remove(TSEventHandler::Of<&TSDrawingSystem3D::Relay>(this));
    for (auto& curve : m_curves)
        delete std::exchange(curve, nullptr);
    delete std::exchange(m_canvas, nullptr);
    delete std::exchange(m_bitmap, nullptr);
}

void TSDrawingSystem3D::SetViewerWindow(plat::WindowHandle Window)
{
    std::lock_guard guard(m_relayLock);
    m_viewerWindow = std::move(Window);
}

void TSDrawingSystem3D::Relay(TObject*, std::int32_t Code, TSParam Param)
{
    if (Code != ecEndChange && Code != ecChanged && Code != ecPresented)
        return;
    plat::WindowHandle window;
    {
        std::lock_guard guard(m_relayLock);
        window = m_viewerWindow;
    }
    if (window)
        window.PostMessage(plat::WM_USER, static_cast<plat::WParam>(Code), Param);
}

// ---------------------------------------------------------------------------
// Updates and changes

void TSDrawingSystem3D::BeginUpdate()
{
    if (IsDestroying())
        return;
    TSObjectLock guard(*this);
    if (++m_updateCount == 1)
        DoUpdateBegin();
}

void TSDrawingSystem3D::EndUpdate()
{
    if (IsDestroying())
        return;
    TSObjectLock guard(*this);
    if (m_updateCount.load() <= 0)
        return;
    --m_updateCount;
    ApplyChannelSetup();
    if (m_updateCount.load() == 0)
        DoUpdateEnd();
}

void TSDrawingSystem3D::DoUpdateBegin()
{
    Events.Notify(this, ecDrawUpdateBegin, 0);
}

void TSDrawingSystem3D::DoUpdateEnd()
{
    Events.Notify(this, ecDrawUpdateEnd, 0);
}

void TSDrawingSystem3D::DoPresented()
{
    Events.Notify(this, ecPresented, 0);
}

void TSDrawingSystem3D::DoBeginChange(std::int32_t Param)
{
    BeginUpdate();
    TSCustomDrawSystem3D::DoBeginChange(Param);
}

void TSDrawingSystem3D::DoEndChange(std::int32_t Param)
{
    if (!IsDestroying() && Enabled())
        Events.Notify(this, ecInvalidate, reinterpret_cast<TSParam>(this));
    TSCustomDrawSystem3D::DoEndChange(Param);
    EndUpdate();
}

// ---------------------------------------------------------------------------
// Colour tables and presenting

void TSDrawingSystem3D::ApplyChannelSetup()
{
    TSObjectLock guard(*this);
    if (IsChanging())
        return;
    ApplyChannel(1);
    ApplyChannel(2);
    ApplyChannel(3);
    RemapToRamp();
    Present();
}

void TSDrawingSystem3D::ApplyChannel(std::int32_t Channel)
{
    if (Channel < 1 || Channel > 3)
        return;
    const TSCnv3DIITransformer* curves[3] = {};
    if (m_channelEnabled[static_cast<std::size_t>(Channel - 1)])
        for (std::size_t o = 0; o < 3; ++o)
            if (m_colorSource[o] == Channel)
                curves[o] = m_curves[o];
    m_canvas->SetChannelCurves(Channel, curves[0], curves[1], curves[2], m_bitLayout.data());
}

void TSDrawingSystem3D::RemapToRamp()
{
    if (ColorDepth() != 1)
        return;
    // Only the plane that feeds red carries the ramp; the others add nothing
    // at drawn pixels, so their ORed entries cannot move the index.
    const std::int32_t p = m_colorSource[coRed - 1];
    if (p < 1 || p > 3 || !m_channelEnabled[static_cast<std::size_t>(p - 1)])
        return;
    m_canvas->Lock();
    if (std::uint32_t* table = m_canvas->GetColorTable(p))
        for (std::int32_t i = 0; i <= kCurveTop; ++i)
            table[i] = 64 + (table[i] >> 1);
    m_canvas->Unlock();
}

void TSDrawingSystem3D::Present()
{
    if (IsDestroying() || IsChanging())
        return;
    {
        std::lock_guard paint(m_bitmap->Canvas());
        const TSPixelFormat format = m_bitmap->PixelFormat();
        if (format == 0 || m_bitmap->Bits() == nullptr)
            return;
        const TSPaintTarget target{m_bitmap->Bits(), m_bitmap->GetDimension(0), m_bitmap->GetDimension(1),
                                   PixelFormatBytes(format), m_bitmap->GetRowBytes()};
        m_canvas->PaintTo(&target, 0, 0, 0, 0, target.Width, target.Height);
    }
    DoPresented();
}

void TSDrawingSystem3D::BuildPalette()
{
    TSPaletteEntry entries[129];
    const TSColor3 start = StartPaletteColor();
    const TSColor3 end = EndPaletteColor();
    const TSColor3 background = BackgroundColor();
    for (int i = 0; i < 128; ++i) {
        double c[3];
        for (std::size_t k = 0; k < 3; ++k)
            c[k] = i * ((end[k] - start[k]) / 127) + start[k];
        entries[i] = {Byte255(c[0]), Byte255(c[1]), Byte255(c[2]), 0};
    }
    entries[128] = {Byte255(background[0]), Byte255(background[1]), Byte255(background[2]), 0};
    m_bitmap->SetPaletteEntries(64, 129, entries);
}

// ---------------------------------------------------------------------------
// Set-up

void TSDrawingSystem3D::ApplyBackground(const TSColor3& Colour)
{
    if (ColorDepth() == 1)
        m_canvas->SetBackgroundPixel(192);
    else
        m_canvas->SetBackgroundChannels(Channel16(Colour[0]), Channel16(Colour[1]), Channel16(Colour[2]),
                                        m_bitLayout.data());
}

void TSDrawingSystem3D::SetColorDepth(TSPixelFormat Format)
{
    if (Format < 0 || Format >= kPixelFormatCount)
        return;
    TSObjectLock guard(*this);
    InUpdate(*this, [&] {
        if (Format != ColorDepth()) {
            m_bitmap->SetPixelFormat(Format);
            m_colorDepth = m_bitmap->PixelFormat();
            if (Format != 0)
                m_bitLayout = PixelFormatLayout(m_colorDepth.load());
        }
        ApplyBackground(m_background);
        BuildPalette();
    });
}

void TSDrawingSystem3D::SetBackgroundColor(const TSColor3& Colour)
{
    const TSColor3 colour = Clamped(Colour);
    TSObjectLock guard(*this);
    if (colour == m_background)
        return;
    InUpdate(*this, [&] {
        ApplyBackground(colour);
        m_background = colour;
        BuildPalette();
    });
}

void TSDrawingSystem3D::SetPaletteColor(TSColor3& Stored, const TSColor3& Colour)
{
    const TSColor3 colour = Clamped(Colour);
    TSObjectLock guard(*this);
    TSObjectLock bitmap(*m_bitmap);
    if (colour == Stored)
        return;
    auto store = [&] {
        Stored = colour;
        BuildPalette();
    };
    // Only the 256-colour picture shows the ramp.
    if (ColorDepth() == 1)
        InUpdate(*this, store);
    else
        store();
}

void TSDrawingSystem3D::SetStartPaletteColor(const TSColor3& Colour)
{
    SetPaletteColor(m_startPalette, Colour);
}

void TSDrawingSystem3D::SetEndPaletteColor(const TSColor3& Colour)
{
    SetPaletteColor(m_endPalette, Colour);
}

void TSDrawingSystem3D::SetSize(std::int32_t Width, std::int32_t Height)
{
    if (Width < 0 || Height < 0 || !SizeFits(Width, Height))
        return;
    TSObjectLock guard(*this);
    if (Width == m_width.load() && Height == m_height.load())
        return;
    InChange(*this, false, [&] {
        m_width = 0;
        m_height = 0;
        m_bitmap->SetSize(Width, Height);
        m_canvas->Resize(Width, Height);
        m_width = Width;
        m_height = Height;
        m_colorDepth = m_bitmap->PixelFormat();
        m_centerX = Width / 2;
        m_centerY = Height / 2;
    });
}

bool TSDrawingSystem3D::GetChannelEnabled(std::int32_t Channel) const
{
    if (Channel < 1 || Channel > 3)
        return false;
    TSObjectLock guard(*this);
    return m_channelEnabled[static_cast<std::size_t>(Channel - 1)];
}

void TSDrawingSystem3D::SetChannelEnabled(std::int32_t Channel, bool Value)
{
    if (Channel < 1 || Channel > 3)
        return;
    TSObjectLock guard(*this);
    bool& flag = m_channelEnabled[static_cast<std::size_t>(Channel - 1)];
    if (flag == Value)
        return;
    InUpdate(*this, [&] { flag = Value; });
}

void TSDrawingSystem3D::SetColorSource(std::int32_t Output, std::int32_t Source)
{
    if (Output < 1 || Output > 3)
        return;
    if (Source < 0 || Source > 3)
        Source = 0;
    TSObjectLock guard(*this);
    std::int32_t& source = m_colorSource[static_cast<std::size_t>(Output - 1)];
    if (source == Source)
        return;
    InUpdate(*this, [&] { source = Source; });
}

std::int32_t TSDrawingSystem3D::ColorSource(std::int32_t Output) const
{
    if (Output < 1 || Output > 3)
        return 0;
    TSObjectLock guard(*this);
    return m_colorSource[static_cast<std::size_t>(Output - 1)];
}

TSCnv3DIITransformer* TSDrawingSystem3D::Curve(std::int32_t Output) const
{
    return Output >= 1 && Output <= 3 ? m_curves[static_cast<std::size_t>(Output - 1)] : nullptr;
}

TSColor3 TSDrawingSystem3D::BackgroundColor() const
{
    TSObjectLock guard(*this);
    return m_background;
}

TSColor3 TSDrawingSystem3D::StartPaletteColor() const
{
    TSObjectLock guard(*this);
    return m_startPalette;
}

TSColor3 TSDrawingSystem3D::EndPaletteColor() const
{
    TSObjectLock guard(*this);
    return m_endPalette;
}

TSBitLayout TSDrawingSystem3D::BitLayout() const
{
    TSObjectLock guard(*this);
    return m_bitLayout;
}

// ---------------------------------------------------------------------------
// Drawing

void TSDrawingSystem3D::VertexToCanvas(const TSVertex3D& V, std::int32_t CenterX, std::int32_t CenterY,
                                       TSCanvasPoint& P)
{
    // Wraps like the integer sums it stands for; never undefined.
    P.X = static_cast<std::int32_t>(static_cast<std::uint32_t>(CoordinateToCanvas(V.X)) +
                                    static_cast<std::uint32_t>(CenterX));
    P.Y = static_cast<std::int32_t>(static_cast<std::uint32_t>(CoordinateToCanvas(V.Y)) +
                                    static_cast<std::uint32_t>(CenterY));
    P.Z = CoordinateToCanvas(V.Z);
    P.C1 = ColourToCanvas(V.R);
    P.C2 = ColourToCanvas(V.G);
    P.C3 = ColourToCanvas(V.B);
}

void TSDrawingSystem3D::VertexToCanvas(const TSVertex3D& V, TSCanvasPoint& P) const
{
    VertexToCanvas(V, m_centerX.load(), m_centerY.load(), P);
}

void TSDrawingSystem3D::VertexToCanvas(const TSVertex3DSingle& V, TSCanvasPoint& P) const
{
    VertexToCanvas(TSVertex3D{V.X, V.Y, V.Z, V.R, V.G, V.B}, P);
}

void TSDrawingSystem3D::SetSmooth(bool Value)
{
    m_canvas->Smooth = Value ? 1 : 0;
    TSCustomDrawSystem3D::SetSmooth(Value);
}

void TSDrawingSystem3D::Clear()
{
    m_canvas->Clear();
    Present();
}

void TSDrawingSystem3D::DoBeginDraw(std::int32_t Param)
{
    m_canvas->Clear();
    // The picture is drawn in tiles on every core the parallel loop may use;
    // a stop asked of the job that draws it ends a flush of the tiles.
    if (TSThread* thread = TSThread::Current())
        m_canvas->SetStopCheck([](void* Thread) { static_cast<TSThread*>(Thread)->CheckTerminated(); }, thread);
    else
        m_canvas->SetStopCheck(nullptr, nullptr);
    m_canvas->BeginTiles(plat::ParallelThreads());
    TSCustomDrawSystem3D::DoBeginDraw(Param);
}

void TSDrawingSystem3D::DoEndDraw(std::int32_t Param)
{
    // A stopped flush drops the rest of the picture; the end still runs and
    // the stop passes on after it.
    std::exception_ptr stopped;
    try {
        m_canvas->EndTiles();
    } catch (...) {
        stopped = std::current_exception();
        m_canvas->EndTiles();
    }
    m_canvas->SetStopCheck(nullptr, nullptr);
    TSCustomDrawSystem3D::DoEndDraw(Param);
    Present();
    if (stopped)
        std::rethrow_exception(stopped);
}

namespace {

template <class Vertex>
TSCanvasPoint ToCanvas(const TSDrawingSystem3D& System, const Vertex& V)
{
    TSCanvasPoint p;
    System.VertexToCanvas(V, p);
    return p;
}

}  // namespace

void TSDrawingSystem3D::DrawPoint(const TSVertex3DSingle& P)
{
    m_canvas->DrawPoint(ToCanvas(*this, P));
}

void TSDrawingSystem3D::DrawPoint(const TSVertex3D& P)
{
    m_canvas->DrawPoint(ToCanvas(*this, P));
}

void TSDrawingSystem3D::DrawLine(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2)
{
    m_canvas->DrawLine(ToCanvas(*this, P1), ToCanvas(*this, P2));
}

void TSDrawingSystem3D::DrawLine(const TSVertex3D& P1, const TSVertex3D& P2)
{
    m_canvas->DrawLine(ToCanvas(*this, P1), ToCanvas(*this, P2));
}

void TSDrawingSystem3D::DrawTriangle(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3)
{
    m_canvas->DrawTriangle(ToCanvas(*this, P1), ToCanvas(*this, P2), ToCanvas(*this, P3));
}

void TSDrawingSystem3D::DrawTriangle(const TSVertex3D& P1, const TSVertex3D& P2, const TSVertex3D& P3)
{
    m_canvas->DrawTriangle(ToCanvas(*this, P1), ToCanvas(*this, P2), ToCanvas(*this, P3));
}

void TSDrawingSystem3D::DrawTriangles(const TSVertex3DSingle* const* Vertices, std::int64_t Count)
{
    if (Count <= 0)
        return;
    try {
        m_points.resize(std::size_t(Count) * 3);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    const std::int32_t cx = m_centerX.load(), cy = m_centerY.load();
    TSCanvasPoint* points = m_points.data();
    plat::ParallelFor(Count * 3, 1 << 14, m_canvas->IsTiled() ? plat::ParallelThreads() : 1,
                      [&](std::int64_t Begin, std::int64_t End, int) {
                          for (std::int64_t k = Begin; k < End; ++k) {
                              const TSVertex3DSingle& v = *Vertices[k];
                              VertexToCanvas(TSVertex3D{v.X, v.Y, v.Z, v.R, v.G, v.B}, cx, cy, points[k]);
                          }
                      });
    m_canvas->DrawTriangles(points, nullptr, Count);
}

void TSDrawingSystem3D::DrawQuad(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3,
                                 const TSVertex3DSingle&)
{
    DrawTriangle(P1, P2, P3);
}

void TSDrawingSystem3D::DrawQuad(const TSVertex3D& P1, const TSVertex3D& P2, const TSVertex3D& P3, const TSVertex3D&)
{
    DrawTriangle(P1, P2, P3);
}

// ---------------------------------------------------------------------------
// Stream

std::int32_t TSDrawingSystem3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    std::int32_t total = TSCustomDrawSystem3D::Save(Stream);
    for (std::int32_t source : m_colorSource)
        Stream->WriteInt32(source);
    Stream->WriteInt32(m_width.load());
    Stream->WriteInt32(m_height.load());
    Stream->WriteInt32(m_colorDepth.load());
    std::int32_t flags = 0;
    for (int i = 0; i < 3; ++i) {
        if (m_channelEnabled[static_cast<std::size_t>(i)])
            flags |= 1 << i;
        if (m_canvas->GetChannelEnabled(i + 1))
            flags |= 8 << i;
    }
    Stream->WriteInt32(flags);
    total += 28;
    Stream->Write(m_bitLayout.data(), static_cast<std::int32_t>(sizeof(m_bitLayout)));
    Stream->Write(m_background.data(), 24);
    Stream->Write(m_startPalette.data(), 24);
    Stream->Write(m_endPalette.data(), 24);
    total += 328;
    for (TSCnv3DIITransformer* curve : m_curves)
        total += curve->SaveToStream(Stream);
    if (m_viewer != nullptr) {
        total += m_viewer->SaveState(Stream);
    } else {
        // A drawing system without window keeps the record's shape.
        const std::uint8_t empty[kViewerStateBytes] = {};
        Stream->Write(empty, kViewerStateBytes);
        total += kViewerStateBytes;
    }
    return total;
}

std::int32_t TSDrawingSystem3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    SetSize(0, 0);
    std::int32_t total = TSCustomDrawSystem3D::Load(Stream);
    std::array<std::int32_t, 3> sources{};
    for (std::int32_t& source : sources)
        source = Stream->ReadInt32();
    const std::int32_t width = Stream->ReadInt32();
    const std::int32_t height = Stream->ReadInt32();
    const std::int32_t format = Stream->ReadInt32();
    if (width < 0 || height < 0 || format < 0 || format >= kPixelFormatCount || !SizeFits(width, height))
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
    const std::int32_t flags = Stream->ReadInt32();
    total += 28;
    for (std::size_t i = 0; i < 3; ++i)
        m_colorSource[i] = sources[i] >= 0 && sources[i] <= 3 ? sources[i] : 0;
    for (int i = 0; i < 3; ++i) {
        m_channelEnabled[static_cast<std::size_t>(i)] = (flags & (1 << i)) != 0;
        m_canvas->SetChannelEnabled(i + 1, (flags & (8 << i)) != 0);
    }
    Stream->Read(m_bitLayout.data(), static_cast<std::int32_t>(sizeof(m_bitLayout)));
    TSColor3 colours[3];
    for (TSColor3& colour : colours)
        Stream->Read(colour.data(), 24);
    m_background = Clamped(colours[0]);
    m_startPalette = Clamped(colours[1]);
    m_endPalette = Clamped(colours[2]);
    total += 328;
    for (TSCnv3DIITransformer* curve : m_curves)
        total += curve->LoadFromStream(Stream);
    SetColorDepth(format);
    SetSize(width, height);
    if (m_viewer != nullptr) {
        total += m_viewer->LoadState(Stream);
    } else {
        std::uint8_t skipped[kViewerStateBytes];
        Stream->Read(skipped, kViewerStateBytes);
        total += kViewerStateBytes;
    }
    return total;
}

// ---------------------------------------------------------------------------
// The unit

void SDrawing3DInitialization()
{
    RegisterRTDClass(&TSDrawingSystem3D::ClassInfo);
    SetInterfaceCaption(&TSDrawingSystem3D::ClassInfo, kCaption);
}

void SDrawing3DFinalization()
{
    UnregisterRTDClass(&TSDrawingSystem3D::ClassInfo);
}
