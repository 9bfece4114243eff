// The standard camera, lights and diffuse law: projections and lighting
// against numpy (Classes3DTable.h, written by classes3d_table.py), the spot
// shape, the setters' events, Assign, the records through a project file and
// the registration.

#include "Classes3DTable.h"
#include "RowProject.h"
#include "SceneTestSupport.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/files/SProject.h"
#include "engine3d/model/SRTDRegistry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include <stdlib.h>

namespace fs = std::filesystem;

namespace {

using Events = std::vector<std::pair<std::int32_t, TSParam>>;

}  // namespace

namespace {

class StandardClasses : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        RegisterRTDClass(&TRowProject::ClassInfo);
        std::string pattern = (fs::temp_directory_path() / "classes3d-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
        UnregisterRTDClass(&TRowProject::ClassInfo);
        SceneTest::TearDown();
    }

    std::string m_dir;
};

bool Close(double A, double B, double Relative)
{
    return std::abs(A - B) <= Relative * std::max(1.0, std::abs(B));
}

bool Close(const TSVector3D& A, const TSVector3D& B, double Relative)
{
    return Close(A.X, B.X, Relative) && Close(A.Y, B.Y, Relative) && Close(A.Z, B.Z, Relative);
}

TSVector3D Widen(const TSVector3DSingle& V)
{
    return {V.X, V.Y, V.Z};
}

TSVector3DSingle Narrow(const TSVector3D& V)
{
    return {static_cast<float>(V.X), static_cast<float>(V.Y), static_cast<float>(V.Z)};
}

// The lights of one row, in a lights list, and a law set up as the row says.
struct LitVertex {
    std::unique_ptr<TSCustomLightSystem3DList> Lights = Make<TSCustomLightSystem3DList>();
    std::unique_ptr<TSSimpleDiffuseReflection> Law = Make<TSSimpleDiffuseReflection>();
    TSAmbientLight3D* Ambient = nullptr;
    TSFlatSpringLight3D* Flat = nullptr;
    TSPointSpringLight3D* Point = nullptr;
    TSVector3DSingle Position, Normal, View, Color;

    explicit LitVertex(const LightingRow& R)
    {
        if (R.HasAmbient) {
            Ambient = TSObject::Create<TSAmbientLight3D>();
            Ambient->SetColor(R.Ambient);
            Lights->Add(Ambient);
        }
        if (R.HasFlat) {
            Flat = TSObject::Create<TSFlatSpringLight3D>();
            Flat->Frame()->SetPlacement(R.FlatMatrix, {});
            Flat->SetColor(R.FlatColor.X, R.FlatColor.Y, R.FlatColor.Z);
            Lights->Add(Flat);
        }
        if (R.HasPoint) {
            Point = TSObject::Create<TSPointSpringLight3D>();
            Point->Frame()->SetPlacement(R.PointMatrix, R.PointOrigin);
            Point->SetColor(R.PointColor.X, R.PointColor.Y, R.PointColor.Z);
            Point->SetAttenuation(R.PointAttenuation[0], R.PointAttenuation[1], R.PointAttenuation[2]);
            Point->SetSpot(R.PointSpot[0], R.PointSpot[1]);
            Lights->Add(Point);
        }
        Law->SetAttenuation(R.LawAttenuation[0], R.LawAttenuation[1], R.LawAttenuation[2]);
        Law->SetRadiation(R.LawRadiation[0], R.LawRadiation[1], R.LawRadiation[2]);
        Law->UseNormals = R.UseNormals;
        Position = Narrow(R.Vertex);
        Normal = Narrow(R.Normal);
        View = Narrow(R.View);
        Law->Lights = Lights.get();
        Law->VertexPosition = &Position;
        Law->VertexNormal = &Normal;
        Law->ViewDirection = &View;
        Law->VertexColor = &Color;
    }
    ~LitVertex() { Lights->Clear(); }
};

}  // namespace

TEST_F(StandardClasses, EyeSystemProjectsAsNumpy)
{
    for (const ProjectionRow& r : kProjectionTable) {
        SCOPED_TRACE(testing::Message() << "D " << r.D << " world " << r.World.X << " " << r.World.Y << " "
                                        << r.World.Z);
        auto eye = Make<TSEyeSystem3D>();
        eye->SetScreenDistance(r.D);
        eye->SetDepthScale(r.S);
        eye->Frame()->SetPlacement(r.Matrix, r.Origin);
        TSVector3DSingle single;
        eye->ProjectWorldPoint(Narrow(r.World), single);
        EXPECT_TRUE(Close(Widen(single), r.Expected, 1e-4)) << single.X << " " << single.Y << " " << single.Z;
        TSVector3D local;
        eye->Frame()->PointFromWorld(r.World, local);
        TSVector3D projected;
        eye->ProjectPoint(local, projected);
        EXPECT_TRUE(Close(projected, r.Expected, 1e-9));
    }
}

TEST_F(StandardClasses, DefaultEyeSystem)
{
    auto eye = Make<TSEyeSystem3D>();
    EXPECT_EQ(eye->ScreenDistance(), 1000.0);
    EXPECT_EQ(eye->DepthScale(), 1000.0);
    EXPECT_FALSE(eye->Visible());
    TSMatrix3D flip = IdentityMatrix();
    flip(2, 2) = -1;
    EXPECT_TRUE(Near(eye->Frame()->Matrix(), flip, 0));
    // Points of the camera's own frame, in both forms.
    const std::pair<TSVector3D, TSVector3D> cases[] = {
        {{1, 2, 4}, {250, 500, 4000}},
        {{1, 2, 0}, {0, 0, 0}},
        {{1, 2, -4}, {-250, -500, -4000}},
    };
    for (const auto& [local, expected] : cases) {
        TSVector3D projected;
        eye->ProjectPoint(local, projected);
        EXPECT_TRUE(Near(projected, expected, 0));
        TSVector3DSingle single;
        eye->ProjectPoint(Narrow(local), single);
        EXPECT_TRUE(Near(Widen(single), expected, 0));
    }
    TSVector3D lower, upper;
    eye->SetScreenDistance(20);
    eye->GetLowerBound(lower);
    eye->GetUpperBound(upper);
    EXPECT_TRUE(Near(lower, {-20, -20, -20}, 0));
    EXPECT_TRUE(Near(upper, {20, 20, 20}, 0));
}

TEST_F(StandardClasses, LightingAsNumpyInBothForms)
{
    for (const LightingRow& r : kLightingTable) {
        SCOPED_TRACE(r.What);
        LitVertex v(r);
        v.Color = {9, 9, 9};
        v.Law->ShadeVertex();
        EXPECT_TRUE(Close(Widen(v.Color), r.Expected, 2e-5))
            << v.Color.X << " " << v.Color.Y << " " << v.Color.Z << " expected " << r.Expected.X << " " << r.Expected.Y
            << " " << r.Expected.Z;
        EXPECT_TRUE(std::isfinite(v.Color.X) && std::isfinite(v.Color.Y) && std::isfinite(v.Color.Z));

        // The double form of the lights, weighted by the viewing cosine here.
        v.Color = {};
        const TSVector3D position = Widen(v.Position);
        TSLightingRequest request{&position, v.Law.get(), nullptr};
        v.Lights->LightVertex(request);
        const double k =
            v.Law->Radiate(r.UseNormals ? -(r.Normal.X * v.View.X + r.Normal.Y * v.View.Y + r.Normal.Z * v.View.Z) : 1);
        const TSVector3D doubled{v.Color.X * k, v.Color.Y * k, v.Color.Z * k};
        EXPECT_TRUE(Close(doubled, r.Expected, 2e-5));
    }
}

TEST_F(StandardClasses, ThreeLightsAtOnceFollowTheClosedFormula)
{
    const LightingRow* row = nullptr;
    for (const LightingRow& r : kLightingTable)
        if (std::string(r.What) == "ambient, flat and point at once")
            row = &r;
    ASSERT_NE(row, nullptr);
    LitVertex v(*row);
    v.Law->ShadeVertex();

    // With the default law: ambient + flat·clamp(0.5 + 0.5c) + point·spot/a·clamp(0.5 + 0.5c).
    auto clamp01 = [](double x) { return std::max(0.0, std::min(1.0, x)); };
    const TSVector3D n = Widen(v.Normal);
    const TSVector3D direction = v.Flat->Direction();
    const double cFlat = -DotProduct3D(direction, n);
    TSVector3D u;
    SubVector3D(Widen(v.Position), v.Point->Position(), u);
    const double d = NormalizeVector3D(u, u);
    const auto p = v.Point->Snapshot();
    const double spot = v.Point->SpotFactor(DotProduct3D(u, v.Point->Axis()));
    const double a = (p.Quadratic * d + p.Linear) * d + p.Constant;
    const double cPoint = -DotProduct3D(u, n);
    const TSVector3D ambient = v.Ambient->Color();
    const TSVector3D flat = v.Flat->Color();
    for (int k = 0; k < 3; ++k) {
        const double expected =
            ambient[k] + flat[k] * clamp01(0.5 + 0.5 * cFlat) + p.Color[k] * spot / a * clamp01(0.5 + 0.5 * cPoint);
        const double got = k == 0 ? v.Color.X : k == 1 ? v.Color.Y : v.Color.Z;
        EXPECT_NEAR(got, expected, 2e-6) << "channel " << k;
        EXPECT_NEAR(got, row->Expected[k], 2e-6) << "channel " << k;
    }
}

TEST_F(StandardClasses, SpotFactorAndLawClamps)
{
    auto light = Make<TSPointSpringLight3D>();
    struct Case {
        double Exponent, CutOff, Cos, Expected;
    };
    const Case cases[] = {
        {0, -1, -1, 1},  // the defaults light every direction
        {2, -1, 0.5, std::exp(-1.0)},
        {0, 0.5, 0.4, 0},  // below the cut-off
        {0, 0.5, 0.5, 1},  // at the cut-off
        {-3, -1, 0.2, 1},  // a negative exponent gives no spot shape
        {1, -1, 1, 1},
    };
    for (const Case& c : cases) {
        light->SetSpot(c.Exponent, c.CutOff);
        EXPECT_NEAR(light->SpotFactor(c.Cos), c.Expected, 1e-15) << c.Exponent << " " << c.CutOff << " " << c.Cos;
    }

    auto law = Make<TSSimpleDiffuseReflection>();
    EXPECT_EQ(law->Attenuate(3), 1);
    EXPECT_EQ(law->Attenuate(-2), 0);
    EXPECT_EQ(law->Attenuate(0), 0.5);
    EXPECT_EQ(law->Radiate(-5), 1);
    law->SetRadiation(0, 0, 1);
    EXPECT_EQ(law->Radiate(0.5), 0.25);
    EXPECT_EQ(law->Radiate(2), 1);
}

TEST_F(StandardClasses, LawWithoutItsVertexFieldsAddsNothing)
{
    auto law = Make<TSSimpleDiffuseReflection>();
    auto ambient = Make<TSAmbientLight3D>();
    ambient->SetColor({1, 1, 1});
    law->AddAmbient(TSVector3D{1, 1, 1});
    law->AddRed(TSVector3DSingle{0, 0, -1}, 1.0f);
    law->ShadeVertex();
    // A light asked without a law or a position lights nothing.
    TSLightingRequestSingle request{};
    auto point = Make<TSPointSpringLight3D>();
    point->LightVertex(request);
    ambient->LightVertex(request);
    TSVector3DSingle color{5, 5, 5};
    law->VertexColor = &color;
    law->AddBlue(TSVector3D{0, 0, -1}, 0.5);
    // Without a normal the cosine counts as 1.
    EXPECT_EQ(color.Z, 5.5f);
}

TEST_F(StandardClasses, LightsFollowTheirFrames)
{
    // The logs outlive the objects they hear.
    EventLog flatLog, pointLog, eyeLog;
    auto flat = Make<TSFlatSpringLight3D>();
    auto point = Make<TSPointSpringLight3D>();
    EXPECT_TRUE(Near(flat->Direction(), {1, 0, 0}, 0));
    EXPECT_TRUE(Near(point->Axis(), {1, 0, 0}, 0));
    flat->Events.Add(flatLog.Handler());
    point->Events.Add(pointLog.Handler());
    const TSMatrix3D turn = Rotation({0, 0, 1}, std::numbers::pi / 2);
    TSMatrix3D scaled = turn;
    ScaleMatrix3D(turn, scaled, 3);
    flat->Frame()->SetPlacement(scaled, {5, 6, 7});
    point->Frame()->SetPlacement(scaled, {5, 6, 7});
    EXPECT_TRUE(Near(flat->Direction(), {0, 1, 0}));
    EXPECT_TRUE(Near(point->Axis(), {0, 1, 0}));
    EXPECT_TRUE(Near(point->Position(), {5, 6, 7}, 0));
    const Events moved = {{ecUpdateBegin, 0}, {ecInvalidate, 0}, {ecUpdateEnd, 0}};
    EXPECT_EQ(flatLog.Codes(), moved);
    EXPECT_EQ(pointLog.Codes(), moved);

    // The camera names itself while invisible, and asks with 0 when visible.
    auto eye = Make<TSEyeSystem3D>();
    eye->Events.Add(eyeLog.Handler());
    eye->Frame()->Transform(IdentityMatrix(), {1, 0, 0});
    eye->SetVisible(true);
    eyeLog.Entries.clear();
    eye->Frame()->Transform(IdentityMatrix(), {1, 0, 0});
    EXPECT_EQ(eyeLog.Codes(), (Events{{ecUpdateBegin, 0}, {ecInvalidate, 0}, {ecUpdateEnd, 0}}));
    eye->SetVisible(false);
    eyeLog.Entries.clear();
    eye->Frame()->Transform(IdentityMatrix(), {1, 0, 0});
    const auto self = reinterpret_cast<TSParam>(eye.get());
    EXPECT_EQ(eyeLog.Codes(), (Events{{ecUpdateBegin, 0}, {ecInvalidate, self}, {ecUpdateEnd, 0}}));
}

TEST_F(StandardClasses, SettersAnnounceOnlyAChange)
{
    EventLog log;
    auto eye = Make<TSEyeSystem3D>();
    auto ambient = Make<TSAmbientLight3D>();
    auto flat = Make<TSFlatSpringLight3D>();
    auto point = Make<TSPointSpringLight3D>();
    auto law = Make<TSSimpleDiffuseReflection>();
    const TSParam self = reinterpret_cast<TSParam>(eye.get());
    struct Case {
        const char* What;
        TSCustomChangeObject* Object;
        std::function<void()> Same, Other;
        TSParam InvalidateParam;
    };
    const Case cases[] = {
        {"screen distance", eye.get(), [&] { eye->SetScreenDistance(1000); }, [&] { eye->SetScreenDistance(500); },
         self},
        {"depth scale", eye.get(), [&] { eye->SetDepthScale(1000); }, [&] { eye->SetDepthScale(2); }, self},
        {"ambient colour", ambient.get(),
         [&] {
             ambient->SetColor({0, 0, 0});
         },
         [&] {
             ambient->SetColor({0, 0, 0.5});
         },
         0},
        {"flat colour", flat.get(), [&] { flat->SetColor(1, 1, 1); }, [&] { flat->SetColor(1, 0.5, 1); }, 0},
        {"point colour", point.get(), [&] { point->SetColor(1, 1, 1); }, [&] { point->SetColor(0, 1, 1); }, 0},
        {"point attenuation", point.get(), [&] { point->SetAttenuation(1, 0, 0); },
         [&] { point->SetAttenuation(1, 0, 0.25); }, 0},
        {"spot", point.get(), [&] { point->SetSpot(0, -1); }, [&] { point->SetSpot(0, -0.5); }, 0},
        {"law attenuation", law.get(), [&] { law->SetAttenuation(0.5, 0.5, 0); },
         [&] { law->SetAttenuation(0.5, 0.5, 1e-300); }, 0},
        {"law radiation", law.get(), [&] { law->SetRadiation(1, 0, 0); }, [&] { law->SetRadiation(-1, 0, 0); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        log.Entries.clear();
        c.Object->Events.Add(log.Handler());
        c.Same();
        EXPECT_TRUE(log.Codes().empty());
        c.Other();
        EXPECT_EQ(log.Codes(), (Events{{ecBeginChange, 0}, {ecInvalidate, c.InvalidateParam}, {ecEndChange, 0}}));
        c.Object->Events.Remove(log.Handler());
    }
    // A disabled light or camera changes without asking to be drawn.
    flat->SetEnabled(false);
    eye->SetEnabled(false);
    log.Entries.clear();
    flat->Events.Add(log.Handler());
    eye->Events.Add(log.Handler());
    flat->SetColor(0, 0, 0);
    eye->SetScreenDistance(1);
    EXPECT_EQ(log.Codes(), (Events{{ecBeginChange, 0}, {ecEndChange, 0}, {ecBeginChange, 0}, {ecEndChange, 0}}));
    EXPECT_EQ(eye->ScreenDistance(), 1);
    EXPECT_TRUE(Near(flat->Color(), {0, 0, 0}, 0));
}

TEST_F(StandardClasses, AssignCopiesTheLawAndTheEye)
{
    EventLog log, eyeLog;
    auto source = Make<TSSimpleDiffuseReflection>();
    source->SetName("source law");
    source->SetAttenuation(1, 0, 0);
    source->SetRadiation(1, 0, 0);
    auto law = Make<TSSimpleDiffuseReflection>();
    law->SetAttenuation(1, 1, 1);
    law->SetRadiation(1, 1, 1);
    law->Events.Add(log.Handler());
    law->Assign(source.get());
    EXPECT_EQ(law->Name(), "source law");
    EXPECT_EQ(law->AttenuationLinear(), 0);
    EXPECT_EQ(law->AttenuationQuadratic(), 0);
    EXPECT_EQ(law->RadiationLinear(), 0);
    EXPECT_EQ(log.Codes(), (Events{{ecBeginChange, 0}, {ecChanged, 0}, {ecInvalidate, 0}, {ecEndChange, 0}}));
    log.Entries.clear();
    law->Assign(source.get());
    EXPECT_EQ(log.Codes(), (Events{{ecBeginChange, 0}, {ecEndChange, 0}}));
    log.Entries.clear();
    law->Assign(nullptr);
    EXPECT_TRUE(log.Codes().empty());
    auto eye = Make<TSEyeSystem3D>();
    EXPECT_THROW(law->Assign(eye.get()), EAssignError);

    auto other = Make<TSEyeSystem3D>();
    other->SetScreenDistance(12);
    other->SetDepthScale(34);
    other->SetName("other eye");
    eye->Events.Add(eyeLog.Handler());
    eye->Assign(other.get());
    EXPECT_EQ(eye->ScreenDistance(), 12);
    EXPECT_EQ(eye->DepthScale(), 34);
    EXPECT_NE(eye->Name(), "other eye");
    const auto self = reinterpret_cast<TSParam>(eye.get());
    EXPECT_EQ(eyeLog.Codes(), (Events{{ecBeginChange, 0}, {ecInvalidate, self}, {ecEndChange, 0}}));
    eyeLog.Entries.clear();
    eye->Assign(law.get());  // ignored without error
    EXPECT_TRUE(eyeLog.Codes().empty());
}

TEST_F(StandardClasses, RecordsThroughAProjectFile)
{
    auto project = Make<TRowProject>();
    auto add = [&](TSObject* Object) { project->Items.emplace_back(Object); };
    // Each class beside an object of its base class with the same name: the
    // records differ by the class's own bytes.
    auto* eye = TSObject::Create<TSEyeSystem3D>();
    eye->SetScreenDistance(250.5);
    eye->SetDepthScale(-3);
    auto* ambient = TSObject::Create<TSAmbientLight3D>();
    ambient->SetColor({0.25, -0.5, 2});
    auto* flat = TSObject::Create<TSFlatSpringLight3D>();
    flat->SetColor(0.125, 0.25, 0.375);
    flat->Frame()->SetPlacement(Rotation({0, 1, 0}, 0.5), {1, 2, 3});
    auto* point = TSObject::Create<TSPointSpringLight3D>();
    point->SetColor(0.5, 0.75, 1);
    point->SetAttenuation(2, 0.5, 0.25);
    point->SetSpot(3, 0.125);
    point->Frame()->SetPlacement(Rotation({1, 1, 0}, 1.25), {-4, 5, -6});
    auto* law = TSObject::Create<TSSimpleDiffuseReflection>();
    law->SetAttenuation(0.25, 0.5, 0.75);
    law->SetRadiation(1, 2, 3);
    law->UseNormals = false;
    const std::pair<TSObject*, TSClass> pairs[] = {
        {eye, &TSCustomProjectionSystem3D::ClassInfo}, {ambient, &TSCustomLightSystem3D::ClassInfo},
        {flat, &TSCustomLightSystem3D::ClassInfo},     {point, &TSCustomLightSystem3D::ClassInfo},
        {law, &TSCustomReflectionLaw::ClassInfo},
    };
    for (const auto& [object, baseClass] : pairs) {
        add(object);
        auto* base = static_cast<TSCustomChangeObject*>(TSObject::Create(baseClass));
        base->SetName(static_cast<TSCustomChangeObject*>(object)->Name());
        add(base);
    }
    const std::string path = m_dir + "/classes.hcp";
    project->SaveToFileName(path);
    ASSERT_EQ(project->Written.size(), 10u);
    const std::int32_t own[] = {16, 24, 24, 64, 48};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(project->Written[2 * i] - project->Written[2 * i + 1], own[i]) << project->Items[2 * i]->ClassName();

    auto loaded = Make<TRowProject>();
    loaded->LoadFromFileName(path);
    ASSERT_EQ(loaded->Items.size(), 10u);
    auto* eye2 = loaded->Item<TSEyeSystem3D>(0);
    auto* ambient2 = loaded->Item<TSAmbientLight3D>(2);
    auto* flat2 = loaded->Item<TSFlatSpringLight3D>(4);
    auto* point2 = loaded->Item<TSPointSpringLight3D>(6);
    auto* law2 = loaded->Item<TSSimpleDiffuseReflection>(8);
    ASSERT_TRUE(eye2 && ambient2 && flat2 && point2 && law2);
    EXPECT_EQ(eye2->ScreenDistance(), 250.5);
    EXPECT_EQ(eye2->DepthScale(), -3);
    EXPECT_TRUE(Near(ambient2->Color(), {0.25, -0.5, 2}, 0));
    EXPECT_TRUE(Near(flat2->Color(), {0.125, 0.25, 0.375}, 0));
    // Direction, position and axis come from the loaded frames.
    EXPECT_TRUE(Near(flat2->Direction(), flat->Direction()));
    const auto p = point2->Snapshot();
    EXPECT_TRUE(Near(p.Color, {0.5, 0.75, 1}, 0));
    EXPECT_EQ(p.Constant, 2);
    EXPECT_EQ(p.Linear, 0.5);
    EXPECT_EQ(p.Quadratic, 0.25);
    EXPECT_EQ(p.SpotExponent, 3);
    EXPECT_EQ(p.SpotCutOff, 0.125);
    EXPECT_TRUE(Near(p.Position, {-4, 5, -6}));
    EXPECT_TRUE(Near(p.Axis, point->Axis()));
    EXPECT_EQ(law2->AttenuationConstant(), 0.25);
    EXPECT_EQ(law2->AttenuationLinear(), 0.5);
    EXPECT_EQ(law2->AttenuationQuadratic(), 0.75);
    EXPECT_EQ(law2->RadiationConstant(), 1);
    EXPECT_EQ(law2->RadiationLinear(), 2);
    EXPECT_EQ(law2->RadiationQuadratic(), 3);
    // Not saved.
    EXPECT_TRUE(law2->UseNormals);

    // Both directions refuse a nil stream.
    for (TSObject* object : {static_cast<TSObject*>(eye), static_cast<TSObject*>(ambient), static_cast<TSObject*>(flat),
                             static_cast<TSObject*>(point), static_cast<TSObject*>(law)}) {
        EXPECT_EQ(object->Save(nullptr), -1);
        EXPECT_EQ(object->Load(nullptr), -1);
    }
}

TEST_F(StandardClasses, RegisteredWithCaptionsAndCategories)
{
    const std::pair<const char*, const char*> classes[] = {
        {"TSEyeSystem3D", "Eye System"},
        {"TSAmbientLight3D", "Ambient Light"},
        {"TSFlatSpringLight3D", "Flat Spring Light"},
        {"TSPointSpringLight3D", "Point Spring Light"},
        {"TSSimpleDiffuseReflection", "Simple Diffuse Reflection"},
    };
    for (const auto& [name, caption] : classes) {
        const TSClass cls = FindRTDClass(name);
        ASSERT_NE(cls, nullptr) << name;
        std::string text;
        GetInterfaceCaption(cls, text);
        EXPECT_EQ(text, caption);
    }
    struct Entry {
        TSClass List;
        const char* Path;
        TSClass Class;
    };
    const Entry entries[] = {
        {&TSCustomProjectionSystem3DList::ClassInfo, "Standart Objects\\Eye System", &TSEyeSystem3D::ClassInfo},
        {&TSCustomLightSystem3DList::ClassInfo, "Standart Objects\\Ambient Light", &TSAmbientLight3D::ClassInfo},
        {&TSCustomLightSystem3DList::ClassInfo, "Standart Objects\\Flat Spring Light", &TSFlatSpringLight3D::ClassInfo},
        {&TSCustomLightSystem3DList::ClassInfo, "Standart Objects\\Point Spring Light",
         &TSPointSpringLight3D::ClassInfo},
    };
    for (const Entry& e : entries) {
        std::lock_guard guard(TreeLock());
        TSDataBranch* tree = GetInterfaceEntry(e.List, ikCategories, false);
        ASSERT_NE(tree, nullptr);
        TSDataBranch* node = tree->FindPath(e.Path, true, '\\');
        ASSERT_NE(node, nullptr) << e.Path;
        EXPECT_EQ(node->Data().AsClass(), e.Class);
    }
    // The lists' own entries stay beside them.
    std::lock_guard guard(TreeLock());
    TSDataBranch* lights = GetInterfaceEntry(&TSCustomLightSystem3DList::ClassInfo, ikCategories, false);
    EXPECT_NE(lights->FindPath("Standart Objects\\Custom Light System 3D List", true, '\\'), nullptr);
}
