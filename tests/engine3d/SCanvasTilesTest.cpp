// Tiled drawing of the canvas: the same picture as drawing at once, at any tile
// size and thread count, and a stop that drops the rest of the queue.

#include "engine3d/render/SCanvas3D.h"
#include "engine3d/model/SClassLib.h"
#include "platform/threads/ParallelFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 203;
constexpr std::int32_t kHeight = 157;

struct Primitive {
    int Kind;  // 1 point, 2 line, 3 triangle
    bool Smooth;
    TSCanvasPoint P[3];
};

// Small triangles, triangles across the canvas and far outside it, lines and
// points; a quarter of the vertices at one depth, so ties decide pixels.
std::vector<Primitive> RandomScene(unsigned Seed, int Count)
{
    std::mt19937 rng(Seed);
    auto coordinate = [&](int Limit) -> std::int32_t {
        const unsigned k = rng() % 10;
        if (k == 0)
            return std::int32_t(rng());
        if (k < 3)
            return std::int32_t(rng() % 2000) - 1000;
        return std::int32_t(rng() % unsigned(Limit + 40)) - 20;
    };
    std::vector<Primitive> out;
    for (int i = 0; i < Count; ++i) {
        Primitive p{};
        const std::int32_t bx = std::int32_t(rng() % (kWidth + 40)) - 20;
        const std::int32_t by = std::int32_t(rng() % (kHeight + 40)) - 20;
        const bool small = rng() % 3 != 0;
        for (auto& q : p.P) {
            q.X = small ? bx + std::int32_t(rng() % 9) - 4 : coordinate(kWidth);
            q.Y = small ? by + std::int32_t(rng() % 9) - 4 : coordinate(kHeight);
            q.Z = rng() % 4 == 0 ? 5000 : std::int32_t(rng() % 100000) + (rng() % 50 == 0 ? -10 : 1);
            q.C1 = std::int32_t(rng() % 40000);
            q.C2 = std::int32_t(rng() % 40000);
            q.C3 = std::int32_t(rng());
        }
        p.Smooth = rng() % 2 != 0;
        const unsigned kind = rng() % 10;
        p.Kind = kind == 0 ? 1 : kind < 3 ? 2 : 3;
        out.push_back(p);
    }
    return out;
}

// Rows far taller and wider than the canvas, each crossing every band.
std::vector<Primitive> CrossingScene()
{
    std::vector<Primitive> out;
    for (int i = 0; i < 40; ++i) {
        Primitive t{3, i % 2 == 0, {}};
        t.P[0] = {-50 + i, -30, 100 + i, 1000, 2000, 3000};
        t.P[1] = {kWidth + 60, 20 + 3 * i, 100, 30000, 200, 7};
        t.P[2] = {10 + 4 * i, kHeight + 80, 900 - i, 5, 60000, 12345};
        out.push_back(t);
        Primitive l{2, i % 3 == 0, {}};
        l.P[0] = {-100 + 7 * i, -40, 50, 100, 200, 300};
        l.P[1] = {kWidth + 100 - 9 * i, kHeight + 40, 50, 32768, 0, 9};
        out.push_back(l);
    }
    return out;
}

struct Picture {
    std::vector<std::int32_t> Depth;
    std::vector<std::uint16_t> Planes[3];
    bool operator==(const Picture&) const = default;
};

void Draw(TSCanvas3D& C, const std::vector<Primitive>& Scene)
{
    for (const Primitive& p : Scene) {
        C.Smooth = p.Smooth ? 1 : 0;
        if (p.Kind == 1)
            C.DrawPoint(p.P[0]);
        else if (p.Kind == 2)
            C.DrawLine(p.P[0], p.P[1]);
        else
            C.DrawTriangle(p.P[0], p.P[1], p.P[2]);
    }
}

std::unique_ptr<TSCanvas3D> NewCanvas()
{
    auto c = std::make_unique<TSCanvas3D>();
    c->Resize(kWidth, kHeight);
    c->SetChannelEnabled(2, true);
    c->SetChannelEnabled(3, true);
    c->Clear();
    return c;
}

Picture Read(const TSCanvas3D& C)
{
    Picture p;
    for (int y = 0; y < C.Height(); ++y) {
        const auto* z = reinterpret_cast<const std::int32_t*>(C.ZBuffer().Data + y * C.ZBuffer().RowBytes);
        p.Depth.insert(p.Depth.end(), z, z + C.Width());
        for (int k = 0; k < 3; ++k) {
            const auto* v = reinterpret_cast<const std::uint16_t*>(C.Plane(k + 1).Data + y * C.Plane(k + 1).RowBytes);
            p.Planes[k].insert(p.Planes[k].end(), v, v + C.Width());
        }
    }
    return p;
}

Picture AtOnce(const std::vector<Primitive>& Scene)
{
    auto c = NewCanvas();
    Draw(*c, Scene);
    return Read(*c);
}

Picture Tiled(const std::vector<Primitive>& Scene, int Threads, std::int32_t TileWidth, std::int32_t TileHeight)
{
    auto c = NewCanvas();
    c->BeginTiles(Threads, TileWidth, TileHeight);
    EXPECT_EQ(c->IsTiled(), Threads > 1 || TileWidth != 0 || TileHeight != 0);
    Draw(*c, Scene);
    c->EndTiles();
    EXPECT_FALSE(c->IsTiled());
    return Read(*c);
}

}  // namespace

TEST(SCanvasTiles, SamePictureAtEveryTileSizeAndThreadCount)
{
    const int all = plat::ParallelThreads();
    struct Tiling {
        std::int32_t Width, Height;
    };
    // Full-width bands (an odd count with a short last one, and single rows),
    // small and large tiles, one row of tiles, the automatic size.
    const Tiling tilings[] = {{-1, 13}, {-1, 1}, {7, 5}, {2, 3}, {64, 64}, {16, -1}, {0, 0}};
    const struct {
        const char* Name;
        std::vector<Primitive> Scene;
    } scenes[] = {{"random 1", RandomScene(1, 2000)},
                  {"random 2", RandomScene(2, 2000)},
                  {"crossing", CrossingScene()}};
    for (const auto& scene : scenes) {
        const Picture reference = AtOnce(scene.Scene);
        for (int threads : {1, 2, 3, all})
            for (const Tiling& t : tilings) {
                SCOPED_TRACE(std::string(scene.Name) + ", threads " + std::to_string(threads) + ", tile " +
                             std::to_string(t.Width) + " x " + std::to_string(t.Height));
                EXPECT_TRUE(Tiled(scene.Scene, threads, t.Width, t.Height) == reference);
            }
    }
}

TEST(SCanvasTiles, TriangleListsDrawLikeSingleTriangles)
{
    std::vector<TSCanvasPoint> points;
    std::vector<std::uint32_t> indices;
    std::vector<Primitive> single;
    for (const Primitive& p : RandomScene(3, 3000)) {
        if (p.Kind != 3)
            continue;
        for (const TSCanvasPoint& q : p.P) {
            indices.push_back(std::uint32_t(points.size()));
            points.push_back(q);
        }
        single.push_back(p);
        single.back().Smooth = true;
    }
    const Picture reference = AtOnce(single);
    for (int threads : {1, 3, plat::ParallelThreads()})
        for (std::int32_t side : {0, 5}) {
            SCOPED_TRACE("threads " + std::to_string(threads) + ", tile side " + std::to_string(side));
            auto c = NewCanvas();
            c->Smooth = 1;
            c->BeginTiles(threads, side, side);
            c->DrawTriangles(points.data(), indices.data(), std::int64_t(indices.size() / 3));
            c->EndTiles();
            EXPECT_TRUE(Read(*c) == reference);
        }
}

TEST(SCanvasTiles, OneThreadWithoutTileSizeDrawsAtOnce)
{
    auto c = NewCanvas();
    c->BeginTiles(1);
    EXPECT_FALSE(c->IsTiled());
    const TSCanvasPoint p{5, 6, 10, 100, 200, 300};
    c->DrawPoint(p);
    EXPECT_EQ(Read(*c).Depth[6 * kWidth + 5], 10);
}

TEST(SCanvasTiles, QueueReachesTheBuffersAtFlushAndResizeDropsIt)
{
    auto c = NewCanvas();
    c->BeginTiles(2, 16, 16);
    const TSCanvasPoint p{5, 6, 10, 100, 200, 300};
    c->DrawPoint(p);
    EXPECT_EQ(Read(*c).Depth[6 * kWidth + 5], c->Limits().Far);
    c->FlushTiles();
    EXPECT_EQ(Read(*c).Depth[6 * kWidth + 5], 10);

    // Queued before a resize: dropped; the tiles follow the new size.
    const TSCanvasPoint q{7, 8, 10, 100, 200, 300};
    c->DrawPoint(q);
    c->Resize(kWidth + 30, kHeight + 20);
    c->Clear();
    const TSCanvasPoint r{kWidth + 20, kHeight + 10, 10, 1, 2, 3};
    c->DrawPoint(r);
    c->EndTiles();
    const auto& z = c->ZBuffer();
    auto depth = [&](int X, int Y) { return reinterpret_cast<const std::int32_t*>(z.Data + Y * z.RowBytes)[X]; };
    EXPECT_EQ(depth(7, 8), c->Limits().Far);
    EXPECT_EQ(depth(kWidth + 20, kHeight + 10), 10);
}

TEST(SCanvasTiles, StopCheckEndsAFlushAndDropsTheRest)
{
    // Every triangle covers the whole canvas; the check stops the flush at
    // its first call, so most tiles stay untouched.
    auto c = NewCanvas();
    int calls = 0;
    struct Stop {
        static void Check(void* Data)
        {
            ++*static_cast<int*>(Data);
            throw EAbort();
        }
    };
    c->SetStopCheck(&Stop::Check, &calls);
    c->BeginTiles(2, 8, 8);
    for (int i = 0; i < 50; ++i) {
        const TSCanvasPoint a{-10, -10, 100 - i, 1, 1, 1}, b{kWidth + 10, -10, 100 - i, 1, 1, 1},
            d{kWidth / 2, kHeight * 3, 100 - i, 1, 1, 1};
        c->DrawTriangle(a, b, d);
    }
    EXPECT_THROW(c->FlushTiles(), EAbort);
    EXPECT_EQ(calls, 1);
    c->SetStopCheck(nullptr, nullptr);
    c->EndTiles();  // nothing left to draw
    const Picture p = Read(*c);
    const auto untouched = std::count(p.Depth.begin(), p.Depth.end(), c->Limits().Far);
    EXPECT_GT(untouched, std::int64_t(kWidth) * kHeight / 2);
}
