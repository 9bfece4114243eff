#pragma once
// The software raster target of the drawing system: an int32 depth buffer and
// up to three planes of 16-bit colour indices, each with a 65536-entry colour
// table, and the transfer curves from which those tables are built.
//
// A canvas is "released" (nothing allocated; drawing and painting do nothing)
// from construction until its first resize to a size other than 0 x 0, after
// Assign(nullptr) and after a failed allocation; its settings survive.
// Drawing calls take no lock: one thread draws at a time, and nothing resizes
// or releases the canvas meanwhile. Everything else locks the canvas.
//
// Tiled drawing: between BeginTiles and EndTiles the drawing calls queue their
// primitives, binned to the tiles (rectangles of the clip) they touch. The
// queue is drawn when it fills, at FlushTiles and at EndTiles: the tiles are
// shared among threads of the parallel loop, each tile drawn by one thread
// into its own part of the buffers, its primitives in the order they came.
// Every pixel gets the value drawing at once would give it, at any tile size
// and thread count. Other calls see only what has been drawn (Clear clears
// that); a resize or a release drops the queue.

#include "engine3d/render/SCnv3DProc.h"
#include "engine3d/model/SGeneral.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TSCnv3DIITransformer;

// One raster of the canvas. RowBytes is ElementSize * Width rounded up to 16,
// AllocSize is Height * RowBytes rounded up to 65536 (0: no memory).
struct TSCanvasBuffer {
    bool Exists = false;  // meaningful for the planes
    unsigned char* Data = nullptr;
    std::int64_t AllocSize = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t ElementSize = 0;
    std::int64_t RowBytes = 0;
};

// A block of the canvas: the edge rows or a colour table.
struct TSCanvasBlock {
    void* Data = nullptr;
    std::int64_t Size = 0;  // bytes
};

// A plane's value of a vertex, when enabled: the channels mixed with 20
// fraction bits (1.0 = 0x100000).
struct TSChannelMix {
    std::int32_t K1 = 0;
    std::int32_t K2 = 0;
    std::int32_t K3 = 0;
    std::uint8_t Enabled = 0;
};

// The inclusive pixel rectangle that drawing may touch.
struct TSCanvasClip {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

struct TSCanvasLimits {
    std::int32_t XMax = 0x10000000;
    std::int32_t XMin = 0;
    std::int32_t YMax = 0x10000000;
    std::int32_t YMin = 0;
    std::int32_t Far = 0x10000000;  // also the depth of a cleared cell
    std::int32_t Near = 1;
};

// Output bit i of a pixel takes bit Bit of channel Channel (1..3; others
// leave the bit clear).
struct TSBitLayoutEntry {
    std::int32_t Channel = 0;
    std::int32_t Bit = 0;
};
inline constexpr int kBitLayoutSize = 32;

// Where PaintTo writes: canvas row y lands in memory row y.
struct TSPaintTarget {
    void* Bits = nullptr;  // pixel row 0
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t BytesPerPixel = 0;  // 1..4
    std::int64_t RowBytes = 0;
};

inline constexpr std::int32_t kColorTableEntries = 65536;
inline constexpr std::uint16_t kBackgroundIndex = 65535;

class TSCanvas3D : public TPersistent {
    S_CLASS(TSCanvas3D)
public:
    TSCanvas3D();
    ~TSCanvas3D() override;

    // nullptr releases the canvas (settings kept); another canvas is copied
    // whole; anything else is refused with EAssignError.
    void Assign(TPersistent* Source) override;
    // Negative sizes count as 0; nothing when the size stays. A failed
    // allocation releases the canvas and raises EOutOfMemory.
    virtual void Resize(std::int32_t Width, std::int32_t Height);

    // Every depth Far, every index of every existing plane the background.
    void Clear();
    bool GetChannelEnabled(std::int32_t Channel) const;
    // Channel 1..3. A new plane holds index 0 until the next Clear.
    void SetChannelEnabled(std::int32_t Channel, bool Enabled);
    // The plane's 65536 entries, or nullptr.
    std::uint32_t* GetColorTable(std::int32_t Channel) const;
    void SetBackgroundPixel(std::uint32_t Value);
    void SetBackgroundChannels(std::uint32_t C1, std::uint32_t C2, std::uint32_t C3, const TSBitLayoutEntry* Layout);
    // Rebuilds the plane's table from up to three curves placed by Layout.
    void SetChannelCurves(std::int32_t Channel, const TSCnv3DIITransformer* Curve1, const TSCnv3DIITransformer* Curve2,
                          const TSCnv3DIITransformer* Curve3, const TSBitLayoutEntry* Layout);
    // The OR of the existing planes' table values, cut to the target.
    void PaintTo(const TSPaintTarget* Target, std::int32_t SrcX, std::int32_t SrcY, std::int32_t DstX,
                 std::int32_t DstY, std::int32_t Width, std::int32_t Height);

    void DrawPoint(const TSCanvasPoint& P);
    void DrawLine(const TSCanvasPoint& P1, const TSCanvasPoint& P2);
    void DrawTriangle(const TSCanvasPoint& P1, const TSCanvasPoint& P2, const TSCanvasPoint& P3);

    // Triangles Indices[3 i], Indices[3 i + 1], Indices[3 i + 2] of Points for
    // i below Count, as that many DrawTriangle calls; tiled, their set-up and
    // binning also run on the parallel loop. Indices must lie in Points;
    // without Indices triangle i is Points[3 i] .. Points[3 i + 2].
    void DrawTriangles(const TSCanvasPoint* Points, const std::uint32_t* Indices, std::int64_t Count);

    // Threads <= 1 with no tile size given draws at once. A size of 0 picks
    // one; a width or height below 0 counts as the clip's.
    void BeginTiles(int Threads, std::int32_t TileWidth = 0, std::int32_t TileHeight = 0);
    void FlushTiles();
    // Flushes and draws at once again.
    void EndTiles();
    bool IsTiled() const { return m_queue != nullptr && m_tiled; }
    // Runs on the calling thread between tiles of a flush; an exception from
    // it drops the rest of the queue and leaves the flush.
    void SetStopCheck(void (*Check)(void*), void* Data);

    // Interpolate plane values along lines and across triangles; the drawing
    // system writes it directly.
    std::uint8_t Smooth = 0;
    // The pixel of index 65535 in every table.
    std::uint32_t Background() const { return m_background; }

    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }
    bool IsReleased() const { return m_released; }

    const std::string& Name() const { return m_name; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    const TSCanvasClip& Clip() const { return m_clip; }
    const TSCanvasLimits& Limits() const { return m_limits; }
    const TSChannelMix& Mix(std::int32_t Channel) const { return m_mix[Channel - 1]; }
    const TSCanvasBuffer& ZBuffer() const { return m_zBuffer; }
    const TSCanvasBuffer& Plane(std::int32_t Channel) const { return m_planes[Channel - 1]; }
    const TSCanvasBlock& Edges() const { return m_edges; }

protected:
    void SetReleased(bool Release);
    void Reallocate(std::int32_t Width, std::int32_t Height);
    void ResizeBuffer(TSCanvasBuffer& Buffer, std::int32_t Width, std::int32_t Height, std::uint32_t Fill);
    void ResizeBlock(TSCanvasBlock& Block, std::int64_t Size);
    void ResetBuffers();
    void BuildColorTable(std::int32_t Channel, std::uint32_t (*Fn)(const TSCanvas3D&, std::int32_t));
    static std::uint32_t DefaultColor(const TSCanvas3D& Canvas, std::int32_t Index);
    struct RowSpan;
    struct Window;
    struct Queue;
    void ScanEdge(const TSCanvasPoint& From, const TSCanvasPoint& To, int Side, const RowSpan& Rows) const;
    void DrawPointIn(const TSCanvasPoint& P, const Window& W) const;
    void DrawLineIn(const TSCanvasPoint& P1, const TSCanvasPoint& P2, bool SmoothLine, const Window& W) const;
    void DrawTriangleIn(const TSCanvasPoint& P1, const TSCanvasPoint& P2, const TSCanvasPoint& P3, bool SmoothFill,
                        const Window& W, TSEdgeRow* Edges) const;
    // Queues a primitive touching rows Top..Bottom and columns Left..Right.
    void Enqueue(int Kind, const TSCanvasPoint* P1, const TSCanvasPoint* P2, const TSCanvasPoint* P3,
                 std::int32_t Left, std::int32_t Top, std::int32_t Right, std::int32_t Bottom);
    void PlanTiles();
    void DropQueue();

private:
    void FreeAll();
    std::int32_t PlaneValue(std::int32_t Plane, const TSCanvasPoint& P) const;
    bool ClipEmpty() const { return m_clip.Left > m_clip.Right || m_clip.Top > m_clip.Bottom; }
    TSEdgeRow* EdgeRows() const { return static_cast<TSEdgeRow*>(m_edges.Data); }

    std::string m_name;
    bool m_released = true;
    mutable std::recursive_mutex m_lock;
    TSCanvasBuffer m_zBuffer{.ElementSize = 4};
    TSCanvasBuffer m_planes[3]{{.Exists = true, .ElementSize = 2}, {.ElementSize = 2}, {.ElementSize = 2}};
    TSCanvasBlock m_edges;
    TSCanvasBlock m_colorTables[3];
    TSChannelMix m_mix[3]{{0x100000, 0, 0, 0}, {0, 0x100000, 0, 0}, {0, 0, 0x100000, 0}};
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    TSCanvasClip m_clip;
    TSCanvasLimits m_limits;
    std::uint32_t m_background = 0;
    std::unique_ptr<Queue> m_queue;
    bool m_tiled = false;
    void (*m_stopCheck)(void*) = nullptr;
    void* m_stopData = nullptr;
};

// A transfer curve: integer points (X, Y) sorted by X, evaluated piecewise
// linearly. X is a channel value (0..32768), Y a 16-bit output value.
// Mutations lock; reads do not.
class TSCnv3DIITransformer : public TPersistent {
    S_CLASS(TSCnv3DIITransformer)
public:
    static constexpr std::int32_t MaxCount = 65535;

    TSCnv3DIITransformer() = default;
    ~TSCnv3DIITransformer() override = default;

    // nullptr clears; another transformer's table is copied; anything else is
    // refused with EAssignError.
    void Assign(TPersistent* Source) override;
    void Clear();
    // N < 0 counts as 0; ignored above MaxCount. New points copy the one
    // before them, or are (0, 0) in an empty table.
    void SetCount(std::int32_t N);
    std::int32_t Count() const { return m_count; }
    // Inserts the point in X order (after points of the same X); its index,
    // or -1 when the table is full.
    std::int32_t AddPoint(std::int32_t X, std::int32_t Y);
    void DeletePoint(std::int32_t Index);
    // Moves the point to (X, Y) and into X order; its new index, or -1 for a
    // bad Index.
    std::int32_t MovePoint(std::int32_t Index, std::int32_t X, std::int32_t Y);
    // 0 for an empty table; Index clamped to the table.
    std::int32_t GetPointX(std::int32_t Index) const;
    std::int32_t GetPointY(std::int32_t Index) const;
    std::int32_t FindIndex(std::int32_t X) const;
    std::int32_t Evaluate(std::int32_t X) const;
    const TSIntPair* Points() const { return m_points.data(); }
    std::int32_t Capacity() const { return static_cast<std::int32_t>(m_points.size()); }

    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }

    // int32 Count, then Count pairs of int32 X, Y. A nullptr stream only
    // measures. Answers 4 + 8 * Count.
    std::int32_t SaveToStream(TSObjectsStream* Stream) const;
    // A count below 0, above MaxCount or beyond the stream's bytes is refused
    // with EStreamError "... Can't load : Invalid Value". 0 for a nullptr stream.
    std::int32_t LoadFromStream(TSObjectsStream* Stream);

private:
    mutable std::recursive_mutex m_lock;
    std::vector<TSIntPair> m_points;  // the capacity, in blocks of 4 points
    std::int32_t m_count = 0;
};

// "Global List of SCanvas3D" while the unit runs, else nullptr.
TSObjectsList* GlobalCanvasesList();

void SCanvas3DInitialization();
void SCanvas3DFinalization();
