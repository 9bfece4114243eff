// The height-field surface: its grid, decimation, node updates, primitives,
// lighting (checked against numpy), persistence and cancellation.

#include "PythonCheck.h"
#include "SceneTestSupport.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/scene/SSurfaces3D.h"
#include "engine3d/model/SThreads.h"

#include <TempDir.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;

// A drawing system that keeps every primitive it is given.
class TPrimitiveRecorder final : public TSCustomDrawSystem3D {
    S_CLASS(TPrimitiveRecorder)
public:
    using TSCustomDrawSystem3D::DrawLine;
    using TSCustomDrawSystem3D::DrawPoint;
    using TSCustomDrawSystem3D::DrawTriangle;
    std::vector<TSVertex3DSingle> Points;
    std::vector<std::vector<TSVertex3DSingle>> Lines, Triangles;
    std::vector<bool> SmoothSeen;

    void SetSmooth(bool Value) override
    {
        SmoothSeen.push_back(Value);
        TSCustomDrawSystem3D::SetSmooth(Value);
    }
    void DrawPoint(const TSVertex3DSingle& P) override { Points.push_back(P); }
    void DrawLine(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2) override { Lines.push_back({P1, P2}); }
    void DrawTriangle(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3) override
    {
        Triangles.push_back({P1, P2, P3});
    }
};

constinit const TSClassInfo TPrimitiveRecorder::ClassInfo{"TPrimitiveRecorder", &TSCustomDrawSystem3D::ClassInfo,
                                                          &TSNewObject<TPrimitiveRecorder>};

// A slow camera that asks its drawing to stop when it projects its first point.
class TStoppingCamera final : public TSEyeSystem3D {
    S_CLASS(TStoppingCamera)
public:
    using TSEyeSystem3D::ProjectPoint;
    std::atomic<TSThread*> Stop{nullptr};
    void ProjectPoint(const TSVector3DSingle& Local, TSVector3DSingle& Projected) override
    {
        if (TSThread* t = Stop.exchange(nullptr))
            t->RequestTerminate();
        // About two microseconds a point: the pass lasts long enough to be stopped.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(2);
        while (std::chrono::steady_clock::now() < until) {
        }
        TSEyeSystem3D::ProjectPoint(Local, Projected);
    }
};

constinit const TSClassInfo TStoppingCamera::ClassInfo{"TStoppingCamera", &TSEyeSystem3D::ClassInfo,
                                                       &TSNewObject<TStoppingCamera>};

// A law that counts how often it shades.
class TCountingLaw final : public TSSimpleDiffuseReflection {
    S_CLASS(TCountingLaw)
public:
    int Shaded = 0;
    void ShadeVertex() override
    {
        ++Shaded;
        TSSimpleDiffuseReflection::ShadeVertex();
    }
};

constinit const TSClassInfo TCountingLaw::ClassInfo{"TCountingLaw", &TSSimpleDiffuseReflection::ClassInfo,
                                                    &TSNewObject<TCountingLaw>};

// Node (i, j) tagged by its place: position (i, j, 0), vertex (i, j).
void TagNodes(TSSurface3D& S)
{
    for (int j = 0; j < S.Height(); ++j)
        for (int i = 0; i < S.Width(); ++i) {
            S.Node(i, j).Position = {float(i), float(j), 0};
            S.Node(i, j).Vertex.X = float(i);
            S.Node(i, j).Vertex.Y = float(j);
        }
}

std::string At(const TSVertex3DSingle& V)
{
    return std::to_string(int(V.X)) + std::to_string(int(V.Y));
}

std::vector<std::int32_t> NodeEvents(EventLog& Log)
{
    std::vector<std::int32_t> codes;
    for (const auto& [code, param] : Log.Codes())
        if (code == ecBeginChange || code == ecEndChange || code == ecNodesUpdateBegin || code == ecNodesUpdateEnd)
            codes.push_back(code);
    return codes;
}

TSMatrix3D FrameWithXAxis(TSVector3D X)
{
    NormalizeVector3D(X, X);
    TSVector3D up{0, 1, 0}, Y, Z;
    CrossProduct3D(up, X, Z);
    NormalizeVector3D(Z, Z);
    CrossProduct3D(Z, X, Y);
    return {{X.X, Y.X, Z.X, X.Y, Y.Y, Z.Y, X.Z, Y.Z, Z.Z}};
}

struct DrawJob {
    std::function<void(TSThread*)> Body;
    void Run(TSThread* Thread, TSThreadParams*) { Body(Thread); }
    TSThreadJob Handle() { return TSThreadJob::Of<&DrawJob::Run>(this); }
};

}  // namespace

TEST(SSurface3D, GridSizesAndKeptNodes)
{
    auto s = Make<TSSurface3D>();
    EXPECT_TRUE(s->IsEmpty());
    EXPECT_EQ(s->CenterFrame()->Name(), "Center Point");
    EXPECT_EQ(s->CenterFrame()->Parent(), s->Frame());
    s->SetGridSize(10, 3);
    EXPECT_EQ(s->RowStride(), 768);
    EXPECT_EQ(s->ArraySize(), 12288);
    EXPECT_FALSE(s->IsEmpty());
    s->SetGridSize(0, 5);
    EXPECT_TRUE(s->IsEmpty());
    EXPECT_EQ(s->Height(), 5);
    s->SetGridSize(-3, -1);
    EXPECT_EQ(s->Width(), 0);
    EXPECT_EQ(s->Height(), 0);

    s->SetGridSize(2, 2);
    s->BeginUpdate();
    s->Node(1, 1).Position = {1, 2, 3};
    s->Node(1, 1).Color = {0.5f, 0.25f, 1};
    s->EndUpdate();
    s->SetGridSize(20, 3);
    EXPECT_EQ(s->Node(1, 1).Position.Z, 3);
    EXPECT_EQ(s->Node(1, 1).Color.X, 0.5f);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 20; ++i)
            if (!(i == 1 && j == 1))
                EXPECT_EQ(s->Node(i, j).Position.Z, 0) << i << "," << j;

    // A node cut off by a narrower grid does not come back with a wider one.
    s->Node(19, 0).Position.Z = 9;
    s->SetGridSize(18, 3);
    s->SetGridSize(20, 3);
    EXPECT_EQ(s->Node(19, 0).Position.Z, 0);
    s->Node(5, 2).Position.Z = 7;
    s->SetGridSize(20, 2);
    s->SetGridSize(20, 3);
    EXPECT_EQ(s->Node(5, 2).Position.Z, 0);
    s->Node(1, 1).Position.Z = 3;
    s->SetGridSize(40, 40);  // wider rows: the node moves with its row
    EXPECT_EQ(s->Node(1, 1).Position.Z, 3);
    EXPECT_EQ(s->RowStride(), 48 * 48);

    // Too large for the int32 size of a saved array: refused, nothing changed.
    EventLog log;
    s->Events.Add(log.Handler());
    for (auto [w, h] : {std::pair{65536, 65536}, std::pair{16, 2796208}, std::pair{INT32_MAX, INT32_MAX}}) {
        EXPECT_THROW(s->SetGridSize(w, h), EOutOfMemory);
        EXPECT_EQ(s->Width(), 40);
        EXPECT_EQ(s->Node(1, 1).Position.Z, 3);
    }
    EXPECT_TRUE(log.Codes().empty());
    s->Events.Remove(log.Handler());
}

TEST(SSurface3D, NodeUpdatesAnnounceAndRecomputeBounds)
{
    auto s = Make<TSSurface3D>();
    EventLog log;
    s->Events.Add(log.Handler());
    s->FreeNodes();  // empty: no node update
    EXPECT_TRUE(NodeEvents(log).empty());

    s->SetGridSize(3, 2);
    EXPECT_EQ(NodeEvents(log), (std::vector<std::int32_t>{4, 4096, 4097, 5}));
    log.Entries.clear();
    s->BeginUpdate(7);
    s->BeginUpdate(8);  // nested: silent
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i)
            s->Node(i, j).Position = {float(10 * i), float(-5 * j), float(i * j)};
    s->EndUpdate(8);
    TSVector3D lower, upper;
    s->GetLowerBound(lower);
    EXPECT_TRUE(Near(lower, {0, 0, 0}));  // still the zero grid's: the update is open
    s->EndUpdate(9);
    EXPECT_EQ(log.Codes(), (std::vector<std::pair<std::int32_t, TSParam>>{{4, 0}, {4096, 7}, {4097, 9}, {5, 0}}));
    s->GetLowerBound(lower);
    s->GetUpperBound(upper);
    EXPECT_TRUE(Near(lower, {0, -5, 0}));
    EXPECT_TRUE(Near(upper, {20, 0, 2}));
    EXPECT_TRUE(Near(s->CenterFrame()->Origin(), {10, -2.5, 1}));

    // The centre follows the surface's frame.
    s->Frame()->SetPlacement(IdentityMatrix(), {100, 0, 0});
    EXPECT_TRUE(Near(s->CenterFrame()->Origin(), {110, -2.5, 1}));

    log.Entries.clear();
    s->FreeNodes();
    EXPECT_EQ(NodeEvents(log), (std::vector<std::int32_t>{4, 4096, 4097, 5}));
    EXPECT_TRUE(s->IsEmpty());
    s->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {1, 1, 1}));
    s->Events.Remove(log.Handler());
}

TEST(SSurface3D, DecimationSteps)
{
    struct Case {
        int width, height, gridStep;
        int stepX, stepY, rowsPerProgress, progressSteps;
    };
    const Case cases[] = {
        {100, 100, 20, 13, 13, 125, 1}, {100, 100, 10, 10, 10, 100, 1},
        {5, 5, 1, 1, 1, 200, 1},        {1000, 30, 1, 1, 1, 1, 30},  // 1000 sampled columns: one row a step
        {100, 400, 1, 1, 1, 10, 40},                                 // 100 sampled columns: ten rows a step
        {100, 400, 0, 1, 1, 10, 40},                                 // a step below 1 counts as 1
        {100, 400, -4, 1, 1, 10, 40},   {64, 9, 8, 8, 2, 125, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " step " + std::to_string(c.gridStep));
        auto s = Make<TSSurface3D>();
        s->SetGridSize(c.width, c.height);
        TSSurfaceDrawSettings settings;
        settings.GridStep = c.gridStep;
        s->ApplyDrawSettings(&settings);
        EXPECT_EQ(s->GridStep(), c.gridStep);  // stored as given
        EXPECT_EQ(s->StepX(), c.stepX);
        EXPECT_EQ(s->StepY(), c.stepY);
        EXPECT_EQ(s->ByteStepX(), c.stepX * 48);
        EXPECT_EQ(s->ByteStepY(), std::int64_t(c.stepY) * s->RowStride());
        EXPECT_EQ(s->RowsPerProgressStep(), c.rowsPerProgress);
        EXPECT_EQ(s->ProgressSteps(), c.progressSteps);
    }
}

TEST(SSurface3D, SettersClipAndCompare)
{
    auto s = Make<TSSurface3D>();
    EventLog log;
    s->Events.Add(log.Handler());
    s->SetLighting(2);
    EXPECT_EQ(s->Lighting(), 1);
    EXPECT_TRUE(log.Codes().empty());
    s->SetLighting(-5);
    EXPECT_EQ(s->Lighting(), 0);
    s->SetDrawMode(4);
    EXPECT_EQ(s->DrawMode(), 3);
    s->SetDrawMode(-1);
    EXPECT_EQ(s->DrawMode(), 0);
    log.Entries.clear();
    s->SetAttenuation(1, 0, 0);  // unchanged
    s->SetSmooth(false);
    EXPECT_TRUE(log.Codes().empty());
    s->SetSmooth(true);
    EXPECT_EQ(log.Codes(), (std::vector<std::pair<std::int32_t, TSParam>>{{4, 0}, {4100, 0}, {5, 0}}));

    TSSurfaceDrawSettings settings{false, false, false, 9, -2, 3};
    s->ApplyDrawSettings(&settings);
    EXPECT_FALSE(s->Enabled());
    EXPECT_FALSE(s->Visible());
    EXPECT_FALSE(s->Smooth());
    EXPECT_EQ(s->Lighting(), 1);
    EXPECT_EQ(s->DrawMode(), 1);
    EXPECT_EQ(s->GridStep(), 3);
    s->Events.Remove(log.Handler());
}

TEST(SSurface3D, LinesAndTrianglesOfAThreeByThreeGrid)
{
    auto s = Make<TSSurface3D>();
    auto ds = Make<TPrimitiveRecorder>();
    s->SetGridSize(3, 3);
    TagNodes(*s);
    TSRenderContext context;
    context.DrawSystem = ds.get();

    s->SetDrawMode(sdLines);
    s->SetSmooth(true);
    s->EmitPrimitives(context);
    std::vector<std::string> lines;
    for (const auto& l : ds->Lines)
        lines.push_back(At(l[0]) + "-" + At(l[1]));
    EXPECT_EQ(lines, (std::vector<std::string>{"00-10", "00-01", "10-20", "10-11", "20-21",  // first cell row
                                               "01-11", "01-02", "11-21", "11-12", "21-22",  // second
                                               "02-12", "12-22"}));                          // bottom edge
    EXPECT_EQ(ds->SmoothSeen, (std::vector<bool>{true}));

    s->SetDrawMode(sdTriangles);
    s->EmitPrimitives(context);
    std::vector<std::string> triangles;
    for (const auto& t : ds->Triangles)
        triangles.push_back(At(t[0]) + At(t[1]) + At(t[2]));
    // Cells (0, 0) and (1, 1) split along Q2-Q3, cells (1, 0) and (0, 1) along Q1-Q4.
    EXPECT_EQ(triangles, (std::vector<std::string>{"001001", "111001", "102021", "101121",  //
                                                   "011112", "010212", "112112", "222112"}));

    s->SetDrawMode(sdPoints);
    s->EmitPrimitives(context);
    EXPECT_EQ(ds->Points.size(), 9u);
    EXPECT_EQ(At(ds->Points[5]), "21");
}

TEST(SSurface3D, DrawsThroughTheCameraWithDecimation)
{
    auto s = Make<TSSurface3D>();
    auto camera = Make<TSEyeSystem3D>();
    auto ds = Make<TPrimitiveRecorder>();
    s->SetGridSize(17, 9);
    s->BeginUpdate();
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 17; ++i) {
            s->Node(i, j).Position = {float(i), float(j), -1000};
            s->Node(i, j).Color = {1, 0.5f, 0.25f};
        }
    s->EndUpdate();
    s->SetLighting(slNoLight);
    s->SetDrawMode(sdPoints);
    TSSurfaceDrawSettings settings{true, true, false, 0, 1, 2};
    s->ApplyDrawSettings(&settings);
    s->Frame()->SetPlacement(IdentityMatrix(), {10, 20, 0});
    TSRenderContext context;
    context.Camera = camera.get();
    context.DrawSystem = ds.get();
    s->Draw(context);
    // Step 2 across 17 columns (0, 2, .. 16) and, cut to keep about eight
    // nodes, 2 down 9 rows (0, 2, 4, 6, 8).
    ASSERT_EQ(s->StepY(), 2);
    ASSERT_EQ(ds->Points.size(), 45u);
    EXPECT_FLOAT_EQ(ds->Points[11].X, 14.0f);  // node (4, 2) at world (14, 22, -1000)
    EXPECT_FLOAT_EQ(ds->Points[11].Y, 22.0f);
    EXPECT_FLOAT_EQ(ds->Points[11].Z, 1e6f);
    EXPECT_FLOAT_EQ(ds->Points[11].R, 1.0f);
    EXPECT_FLOAT_EQ(ds->Points[11].G, 0.5f);

    // Invisible: computed, nothing drawn; disabled: nothing at all.
    ds->Points.clear();
    s->SetVisible(false);
    s->Draw(context);
    EXPECT_TRUE(ds->Points.empty());

    // Any other mode: the construction's one white point at the frame origin.
    s->SetVisible(true);
    s->SetDrawMode(0);
    s->Frame()->SetPlacement(IdentityMatrix(), {10, 20, -500});
    s->Draw(context);
    ASSERT_EQ(ds->Points.size(), 1u);
    EXPECT_FLOAT_EQ(ds->Points[0].X, 20.0f);
    EXPECT_FLOAT_EQ(ds->Points[0].R, 1.0f);
}

// A grid large enough for the parallel passes: every node lands where it should.
TEST(SSurface3D, LargeGridProjectsEveryNode)
{
    const int side = 300;
    auto s = Make<TSSurface3D>();
    s->SetGridSize(side, side);
    s->BeginUpdate();
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i)
            s->Node(i, j).Position = {float(i), float(-j), float(-1000 - i - j)};
    s->EndUpdate();
    s->SetLighting(slNoLight);
    s->SetDrawMode(sdPoints);
    s->Frame()->SetPlacement(Rotation({0, 0, 1}, M_PI / 2), {5, 0, 0});
    auto camera = Make<TSEyeSystem3D>();
    camera->Frame()->Transform(IdentityMatrix(), {0, 0, 100});
    auto ds = Make<TPrimitiveRecorder>();
    TSRenderContext context;
    context.Camera = camera.get();
    context.DrawSystem = ds.get();
    s->Draw(context);
    ASSERT_EQ(ds->Points.size(), std::size_t(side) * side);
    int wrong = 0;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            // Turned a quarter about Z: (x, y) -> (-y, x), then moved by (5, 0, 0);
            // the camera at z = 100 looks down -Z.
            const double x = j + 5.0, y = i, depth = 1100.0 + i + j;
            const TSVertex3DSingle& p = ds->Points[std::size_t(j) * side + i];
            if (std::abs(p.X - x * 1000 / depth) > 1e-3 || std::abs(p.Y - y * 1000 / depth) > 1e-3 ||
                std::abs(p.Z - depth * 1000) > 1)
                ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(SSurface3D, DistanceAttenuationAndUnlitColours)
{
    struct Case {
        double constant, linear, quadratic;
        float factor;
    };
    const Case cases[] = {
        {0, 0.01, 0, 0.2f},   // a = 5
        {0, 0.001, 0, 1.0f},  // a = 0.5: never brightened
        {1, 0, 0, 1.0f},
        {0, 0, 1e-5, 0.4f},  // a = 2.5
    };
    for (const Case& c : cases) {
        auto s = Make<TSSurface3D>();
        auto camera = Make<TSEyeSystem3D>();
        auto ds = Make<TPrimitiveRecorder>();
        auto law = Make<TCountingLaw>();
        s->SetGridSize(1, 1);
        s->Node(0, 0).Position = {300, 0, -400};  // 500 from the camera
        s->Node(0, 0).Color = {0.5f, 1, 0.25f};
        s->SetReflectionLaw(law.get());
        s->SetLighting(slNoLight);
        s->SetDrawMode(sdPoints);
        s->SetAttenuation(c.constant, c.linear, c.quadratic);
        TSRenderContext context;
        context.Camera = camera.get();
        context.DrawSystem = ds.get();
        s->Draw(context);
        ASSERT_EQ(ds->Points.size(), 1u);
        EXPECT_FLOAT_EQ(ds->Points[0].R, 0.5f * c.factor);
        EXPECT_FLOAT_EQ(ds->Points[0].G, 1.0f * c.factor);
        EXPECT_FLOAT_EQ(ds->Points[0].B, 0.25f * c.factor);
        EXPECT_EQ(dynamic_cast<TCountingLaw*>(s->ReflectionLaw())->Shaded, 0);  // no law asked
    }
}

TEST(SSurface3D, ReflectionLawCopies)
{
    auto s = Make<TSSurface3D>();
    auto law = Make<TSSimpleDiffuseReflection>();
    law->SetAttenuation(1, 0, 0);
    s->SetReflectionLaw(law.get());
    TSCustomReflectionLaw* held = s->ReflectionLaw();
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held, law.get());  // never the caller's law
    EXPECT_EQ(dynamic_cast<TSSimpleDiffuseReflection*>(held)->AttenuationConstant(), 1);

    auto other = Make<TSSimpleDiffuseReflection>();
    other->SetAttenuation(0.25, 0.75, 0);
    s->SetReflectionLaw(other.get());
    EXPECT_EQ(s->ReflectionLaw(), held);  // same class: values copied in
    EXPECT_EQ(dynamic_cast<TSSimpleDiffuseReflection*>(held)->AttenuationLinear(), 0.75);

    // A change of the held law is a change of the surface.
    EventLog log;
    s->Events.Add(log.Handler());
    dynamic_cast<TSSimpleDiffuseReflection*>(held)->SetRadiation(0.5, 0, 0);
    EXPECT_EQ(log.Codes(), (std::vector<std::pair<std::int32_t, TSParam>>{{4, 0}, {4100, 0}, {5, 0}}));
    s->Events.Remove(log.Handler());

    auto counting = Make<TCountingLaw>();
    s->SetReflectionLaw(counting.get());
    EXPECT_NE(s->ReflectionLaw(), held);  // another class: replaced by a copy
    EXPECT_EQ(s->ReflectionLaw()->ClassType(), &TCountingLaw::ClassInfo);
    s->SetReflectionLaw(nullptr);
    EXPECT_EQ(s->ReflectionLaw(), nullptr);
}

// A tilted plane and a paraboloid lit by ambient, flat and point lights: what
// reaches the drawing system is what numpy computes from the formulas.
TEST(SSurface3D, LitSurfacesMatchNumpy)
{
    TempDir dir;
    struct Case {
        const char* shape;
        int width, height, step;
    };
    const Case cases[] = {
        {R"({"kind": "plane", "c": -1000, "a": 0.3, "b": -0.2})", 7, 5, 1},
        {R"({"kind": "paraboloid", "c": -1000, "a": 0.002})", 7, 6, 1},
        {R"({"kind": "paraboloid", "c": -1200, "a": -0.001})", 17, 11, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        const double x0 = -60, dx = 20, y0 = -40, dy = 16;
        const TSVector3D flatDirection{0.3, -0.2, -1};
        const TSVector3D pointPosition{50, 80, -200};
        std::ostringstream scene;
        scene << R"({"width": )" << c.width << R"(, "height": )" << c.height << R"(, "step": )" << c.step
              << R"(, "x0": )" << x0 << R"(, "dx": )" << dx << R"(, "y0": )" << y0 << R"(, "dy": )" << dy
              << R"(, "colour": [0.9, 0.6, 0.3], "shape": )" << c.shape
              << R"(, "attenuation": [1, 0.0005, 0], "camera": [1000, 1000], "ambient": [0.1, 0.05, 0.2])"
              << R"(, "flat": {"colour": [0.8, 0.7, 0.6], "direction": [0.3, -0.2, -1]})"
              << R"(, "point": {"colour": [1, 0.9, 0.5], "position": [50, 80, -200], "attenuation": [1, 0.001, 0]}})";
        std::ofstream(dir.File("scene.json")) << scene.str();
        std::istringstream expected(RunPythonCheck("surface_reference.py", dir.File("scene.json")));

        auto lights = Make<TSCustomLightSystem3DList>();
        auto* ambient = TSObject::Create<TSAmbientLight3D>();
        ambient->SetColor({0.1, 0.05, 0.2});
        lights->Add(ambient);
        auto* flat = TSObject::Create<TSFlatSpringLight3D>();
        flat->Frame()->SetPlacement(FrameWithXAxis(flatDirection), {});
        flat->SetColor(0.8, 0.7, 0.6);
        lights->Add(flat);
        auto* point = TSObject::Create<TSPointSpringLight3D>();
        point->Frame()->SetPlacement(IdentityMatrix(), pointPosition);
        point->SetColor(1, 0.9, 0.5);
        point->SetAttenuation(1, 0.001, 0);
        lights->Add(point);

        auto s = Make<TSSurface3D>();
        auto law = Make<TSSimpleDiffuseReflection>();
        s->SetReflectionLaw(law.get());
        s->SetAttenuation(1, 0.0005, 0);
        s->SetDrawMode(sdPoints);
        TSSurfaceDrawSettings settings{true, true, false, 1, 1, c.step};
        s->ApplyDrawSettings(&settings);
        s->SetGridSize(c.width, c.height);
        s->BeginUpdate();
        const bool plane = std::string(c.shape).find("plane") != std::string::npos;
        for (int j = 0; j < c.height; ++j)
            for (int i = 0; i < c.width; ++i) {
                const double x = x0 + dx * i, y = y0 + dy * j;
                const double z =
                    plane ? -1000 + 0.3 * x - 0.2 * y
                          : (c.step == 1 ? -1000 + 0.002 * (x * x + y * y) : -1200 - 0.001 * (x * x + y * y));
                s->Node(i, j).Position = {float(x), float(y), float(z)};
                s->Node(i, j).Color = {0.9f, 0.6f, 0.3f};
            }
        s->EndUpdate();
        ASSERT_EQ(s->StepX(), c.step);

        auto camera = Make<TSEyeSystem3D>();
        auto ds = Make<TPrimitiveRecorder>();
        TSRenderContext context;
        context.Camera = camera.get();
        context.Lights = lights.get();
        context.DrawSystem = ds.get();
        s->Draw(context);

        int n = 0;
        for (const TSVertex3DSingle& v : ds->Points) {
            double want[6];
            for (double& w : want)
                expected >> w;
            ASSERT_TRUE(expected) << "numpy gave fewer nodes";
            const double got[6] = {v.X, v.Y, v.Z, v.R, v.G, v.B};
            for (int k = 0; k < 6; ++k)
                EXPECT_NEAR(got[k], want[k], 2e-5 * std::max(1.0, std::abs(want[k]))) << "node " << n << " value " << k;
            ++n;
        }
        EXPECT_EQ(n, ((c.width + c.step - 1) / c.step) * ((c.height + c.step - 1) / c.step));
        double extra;
        EXPECT_FALSE(expected >> extra) << "numpy gave more nodes";
        lights->Clear();
    }
}

TEST(SSurface3D, SavesAndLoadsNodesByteForByte)
{
    auto s = Make<TSSurface3D>();
    s->SetGridSize(3, 2);
    s->BeginUpdate();
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i) {
            s->Node(i, j).Position = {float(i), float(j), float(i * j) + 0.5f};
            s->Node(i, j).Color = {0.1f * i, 0.2f * j, 0.3f};
            s->Node(i, j).Vertex.R = 7;  // working values travel with the array
        }
    s->EndUpdate();
    auto law = Make<TSSimpleDiffuseReflection>();
    law->SetAttenuation(0.25, 0.5, 0.125);
    s->SetReflectionLaw(law.get());
    s->SetAttenuation(1, 0.002, 0.0001);
    TSSurfaceDrawSettings settings{true, true, true, 0, 2, 5};
    s->ApplyDrawSettings(&settings);

    // Saving during a node update is refused.
    s->BeginUpdate();
    EXPECT_NE(ErrorOf([&] {
                  MemoryStream busy;
                  s->Save(&busy);
              }).find("Can't save : Busy"),
              std::string::npos);
    s->EndUpdate();

    MemoryStream base;
    const std::int32_t baseSize = s->TSCustomConstruction3D::Save(&base);
    MemoryStream stream;
    stream.Known = {&TSSimpleDiffuseReflection::ClassInfo, &TSBasis3D::ClassInfo};
    const std::int32_t saved = s->Save(&stream);
    EXPECT_EQ(saved, static_cast<std::int32_t>(stream.Bytes.size()));
    // Mark the record as carrying its nodes, and append them with a surplus.
    const std::int32_t flagsAt = baseSize + 20;
    EXPECT_EQ(stream.Bytes[flagsAt], 1);  // Smooth
    stream.Bytes[flagsAt] |= 2;
    const std::int32_t stored = s->ArraySize() + 96;
    stream.Pos = static_cast<std::int32_t>(stream.Bytes.size());
    stream.Write(&stored, 4);
    stream.Write(s->NodeArray(), s->ArraySize());
    std::vector<unsigned char> surplus(96, 0xEE);
    stream.Write(surplus.data(), 96);
    const std::int32_t sentinel = 0x5A5A5A5A;
    stream.Write(&sentinel, 4);

    stream.Pos = 0;
    auto loaded = Make<TSSurface3D>();
    EXPECT_EQ(loaded->Load(&stream), saved + 4 + stored);
    std::int32_t after = 0;
    stream.Read(&after, 4);
    EXPECT_EQ(after, sentinel);  // the surplus was skipped
    EXPECT_TRUE(loaded->StoreNodes());
    EXPECT_EQ(loaded->Width(), 3);
    EXPECT_EQ(loaded->Height(), 2);
    EXPECT_EQ(loaded->GridStep(), 5);
    EXPECT_EQ(loaded->Lighting(), 0);
    EXPECT_EQ(loaded->DrawMode(), 2);
    EXPECT_TRUE(loaded->Smooth());
    EXPECT_EQ(loaded->AttenuationLinear(), 0.002);
    EXPECT_EQ(loaded->AttenuationQuadratic(), 0.0001);
    auto* loadedLaw = dynamic_cast<TSSimpleDiffuseReflection*>(loaded->ReflectionLaw());
    ASSERT_NE(loadedLaw, nullptr);
    EXPECT_EQ(loadedLaw->AttenuationQuadratic(), 0.125);
    ASSERT_EQ(loaded->ArraySize(), s->ArraySize());
    EXPECT_EQ(std::memcmp(loaded->NodeArray(), s->NodeArray(), s->ArraySize()), 0);
    TSVector3D upper;
    loaded->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {2, 1, 2.5}));  // the bounds of the loaded nodes

    // With StoreNodes the array goes out as it lies in memory.
    MemoryStream again;
    again.Known = stream.Known;
    const std::int32_t resaved = loaded->Save(&again);
    ASSERT_EQ(resaved, static_cast<std::int32_t>(again.Bytes.size()));
    const std::size_t tail = again.Bytes.size() - s->ArraySize() - 4;
    std::int32_t size = 0;
    std::memcpy(&size, again.Bytes.data() + tail, 4);
    EXPECT_EQ(size, s->ArraySize());
    EXPECT_EQ(std::memcmp(again.Bytes.data() + tail + 4, s->NodeArray(), s->ArraySize()), 0);

    // Bad values in the record.
    struct Bad {
        const char* name;
        std::function<void(std::vector<unsigned char>&)> spoil;
        const char* error;
    };
    auto putInt = [](std::vector<unsigned char>& b, std::size_t at, std::int32_t v) {
        std::memcpy(b.data() + at, &v, 4);
    };
    const Bad bad[] = {
        {"negative width", [&](auto& b) { putInt(b, baseSize, -1); }, "Can't load : Invalid Value"},
        {"negative height", [&](auto& b) { putInt(b, baseSize + 4, -3); }, "Can't load : Invalid Value"},
        {"array beyond int32",
         [&](auto& b) {
             putInt(b, baseSize, 65536);
             putInt(b, baseSize + 4, 65536);
         },
         "Can't load : Invalid Value"},
        {"negative stored size", [&](auto& b) { putInt(b, saved, -4); }, "Can't load : Invalid Value"},
        {"stored size past the record", [&](auto& b) { putInt(b, saved, 1 << 20); }, "Can't load : Invalid Value"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        MemoryStream spoilt;
        spoilt.Known = stream.Known;
        spoilt.Bytes = stream.Bytes;
        b.spoil(spoilt.Bytes);
        auto target = Make<TSSurface3D>();
        EXPECT_NE(ErrorOf([&] { target->Load(&spoilt); }).find(b.error), std::string::npos);
    }
    // A centre frame record that yields no frame (a class the stream does not
    // know: the last frame record is the centre's).
    MemoryStream noFrame;
    noFrame.Known = stream.Known;
    noFrame.Bytes = stream.Bytes;
    const std::string frameClass = "TSBasis3D";
    auto last = std::find_end(noFrame.Bytes.begin(), noFrame.Bytes.end(), frameClass.begin(), frameClass.end());
    ASSERT_NE(last, noFrame.Bytes.end());
    std::copy_n("TSBasisXX", 9, last);
    auto target = Make<TSSurface3D>();
    EXPECT_NE(ErrorOf([&] { target->Load(&noFrame); }).find("Can't load : Invalid Object"), std::string::npos);
}

TEST(SSurface3D, CancelledRenderStopsBetweenRows)
{
    auto s = Make<TSSurface3D>();
    s->SetGridSize(100, 100);
    s->BeginUpdate();
    for (int j = 0; j < 100; ++j)
        for (int i = 0; i < 100; ++i) {
            s->Node(i, j).Position = {float(i), float(j), -1000};
            s->Node(i, j).Color = {1, 1, 1};
        }
    s->EndUpdate();
    s->SetLighting(slNoLight);
    ASSERT_EQ(s->RowsPerProgressStep(), 10);
    ASSERT_EQ(s->ProgressSteps(), 10);

    std::unique_ptr<TSThread> thread(TSObject::Create<TSThread>());
    auto camera = Make<TSEyeSystem3D>();
    auto ds = Make<TPrimitiveRecorder>();
    TSRenderContext context;
    context.Camera = camera.get();
    context.DrawSystem = ds.get();
    context.Thread = thread.get();

    // A full picture first: progress runs to the end of each pass.
    bool finished = false;
    DrawJob whole{[&](TSThread*) {
        s->Draw(context);
        finished = true;
    }};
    ASSERT_TRUE(thread->RunSynchronously(nullptr, whole.Handle()));
    EXPECT_TRUE(finished);
    EXPECT_EQ(ds->Triangles.size(), 99u * 99u * 2u);
    EXPECT_EQ(thread->Progress(), 1000000);

    // Stopped after the third progress step of the lighting pass.
    ds->Triangles.clear();
    for (int j = 0; j < 100; ++j)
        for (int i = 0; i < 100; ++i)
            s->Node(i, j).Vertex.R = -1;
    int steps = 0;
    struct Stopper {
        TSThread* Thread;
        int* Steps;
        void On(TObject*, std::int32_t Code, TSParam)
        {
            if (Code == ecThreadProgress && ++*Steps == 3)
                Thread->RequestTerminate();
        }
    } stopper{thread.get(), &steps};
    thread->Events.Add(TSEventHandler::Of<&Stopper::On>(&stopper));
    finished = false;
    DrawJob stopped{[&](TSThread*) {
        s->Draw(context);
        finished = true;
    }};
    ASSERT_TRUE(thread->RunSynchronously(nullptr, stopped.Handle()));
    thread->Events.Remove(TSEventHandler::Of<&Stopper::On>(&stopper));
    EXPECT_FALSE(finished);
    EXPECT_TRUE(ds->Triangles.empty());
    // Lighting stopped at a progress step: whole blocks of ten rows lit, the rest not.
    int lit = 0;
    while (lit < 100 && s->Node(0, lit).Vertex.R == 1.0f)
        ++lit;
    EXPECT_GT(lit, 0);
    EXPECT_LT(lit, 100);
    EXPECT_EQ(lit % 10, 0);
    for (int j = lit; j < 100; ++j)
        EXPECT_EQ(s->Node(99, j).Vertex.R, -1.0f) << j;
}

// The parallel passes look at a stop request between their pieces: a stop
// asked before or during the pass ends it.
TEST(SSurface3D, TransformAndProjectionPassesStopWhenAsked)
{
    const int n = 600;
    auto s = Make<TSSurface3D>();
    s->SetGridSize(n, n);
    s->BeginUpdate();
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s->Node(i, j).Position = {float(i), float(j), -1000};
    s->EndUpdate();
    std::unique_ptr<TSThread> thread(TSObject::Create<TSThread>());
    for (bool project : {false, true}) {
        SCOPED_TRACE(project ? "projection" : "transform");
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                s->Node(i, j).Vertex.X = -7;
        bool finished = false;
        auto camera = Make<TStoppingCamera>();
        auto ds = Make<TPrimitiveRecorder>();
        TSRenderContext context;
        context.Camera = camera.get();
        context.DrawSystem = ds.get();
        context.Thread = thread.get();
        DrawJob pass{[&](TSThread* t) {
            if (project) {
                camera->Stop = t;
                s->SetLighting(slNoLight);
                s->Draw(context);
            } else {
                t->RequestTerminate();
                s->TransformNodes(t);
            }
            finished = true;
        }};
        ASSERT_TRUE(thread->RunSynchronously(nullptr, pass.Handle()));
        EXPECT_FALSE(finished);
        EXPECT_EQ(thread->State(), tsAborted);
        // The projection stopped part-way: some rows keep what the transform gave
        // them. (The transform itself is too quick to be caught part-way.)
        if (project) {
            int untouched = 0;
            for (int j = 0; j < n; ++j)
                untouched += s->Node(n - 1, j).Vertex.X == float(n - 1);
            EXPECT_GT(untouched, 0);
        }
    }
}

TEST(SSurface3D, RegisteredAsStandardObject)
{
    EXPECT_EQ(FindRTDClass("TSSurface3D"), &TSSurface3D::ClassInfo);
    std::string caption;
    GetInterfaceCaption(&TSSurface3D::ClassInfo, caption);
    EXPECT_EQ(caption, "Surface 3D");
    TSDataBranch* tree = GetInterfaceEntry(&TSCustomConstruction3DList::ClassInfo, ikCategories, false);
    ASSERT_NE(tree, nullptr);
    TSDataBranch* entry = tree->FindPath("Standart Objects\\Surface 3D", true, '\\');
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Data().AsClass(), &TSSurface3D::ClassInfo);
    auto s = Make<TSSurface3D>();
    EXPECT_GE(GlobalConstructionsList()->IndexOf(s.get()), 0);
}
