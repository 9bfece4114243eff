// Point constructions, ties and text models: bounds and the centre frame, the point
// storage, lighting and attenuation of a drawn point, the ties and their mask, the
// model texts (the usual layout, a decimal-comma locale, hostile texts) and the
// records through a memory stream and a project file.

#include "PythonCheck.h"
#include "RowProject.h"
#include "SceneTestSupport.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SClasses3DPoints.h"
#include "engine3d/model/SRTDRegistry.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include <stdlib.h>

namespace fs = std::filesystem;

namespace {

// Keeps every primitive it is given.
class TTieRecorder final : public TSCustomDrawSystem3D {
    S_CLASS(TTieRecorder)
public:
    using TSCustomDrawSystem3D::DrawLine;
    using TSCustomDrawSystem3D::DrawPoint;
    using TSCustomDrawSystem3D::DrawTriangle;
    std::vector<TSVertex3DSingle> Points;
    std::vector<std::pair<TSVertex3DSingle, TSVertex3DSingle>> Lines;
    int Triangles = 0;
    int SmoothCalls = 0;

    void DrawPoint(const TSVertex3DSingle& P) override { Points.push_back(P); }
    void DrawLine(const TSVertex3DSingle& A, const TSVertex3DSingle& B) override { Lines.emplace_back(A, B); }
    void DrawTriangle(const TSVertex3DSingle&, const TSVertex3DSingle&, const TSVertex3DSingle&) override
    {
        ++Triangles;
    }
    void SetSmooth(bool Value) override
    {
        ++SmoothCalls;
        TSCustomDrawSystem3D::SetSmooth(Value);
    }
};

}  // namespace

constinit const TSClassInfo TTieRecorder::ClassInfo{"TTieRecorder", &TSCustomDrawSystem3D::ClassInfo,
                                                    &TSNewObject<TTieRecorder>};

namespace {

TSVector3D Widen(const TSVector3DSingle& V)
{
    return {V.X, V.Y, V.Z};
}

void SetPoint(TSCustomPointConstruction3D& C, int I, TSVector3DSingle P, TSVector3DSingle N = {},
              TSVector3DSingle Intensity = {1, 1, 1})
{
    TSPoint3DRecord* point = C.GetPoint(I);
    ASSERT_NE(point, nullptr);
    point->Position = P;
    point->Normal = N;
    point->Intensity = Intensity;
}

const std::vector<std::string> kTwoPoints = {
    " Points Count : 2", "  Point 0",    "   p : 1 2 3", "   n : 0 0 1",    "   i : 1 1 1", "  Point 1",
    "   p : 4 5 6",      "   n : 0 0 1", "   i : 1 1 1", " Ties Count : 1", "  Tie 0",      "   l : 0 1",
};

class PointConstructions : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        for (TSClass c : kClasses)
            RegisterRTDClass(c);
        std::string pattern = (fs::temp_directory_path() / "points3d-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
        for (auto c = std::rbegin(kClasses); c != std::rend(kClasses); ++c)
            UnregisterRTDClass(*c);
        SceneTest::TearDown();
    }

    static constexpr TSClass kClasses[] = {&TRowProject::ClassInfo, &TSCustomPointConstruction3D::ClassInfo,
                                           &TSTiesConstruction3D::ClassInfo};
    std::string m_dir;
};

TEST_F(PointConstructions, BoundsStorageAndTheCentreFrame)
{
    auto c = Make<TSCustomPointConstruction3D>();
    TSVector3D lo, hi;
    c->GetLowerBound(lo);
    c->GetUpperBound(hi);
    EXPECT_TRUE(Near(lo, {-1, -1, -1}) && Near(hi, {1, 1, 1}));
    ASSERT_NE(c->CenterFrame(), nullptr);
    EXPECT_EQ(c->CenterFrame()->Name(), "Center Point");
    EXPECT_EQ(c->CenterFrame()->Parent(), c->Frame());

    const TSMatrix3D turn = Rotation({1, 2, 3}, 0.7);
    c->Frame()->SetPlacement(turn, {10, -20, 30});
    EventLog log;
    c->Events.Add(log.Handler());
    c->BeginUpdate(5);
    c->SetCount(2);
    SetPoint(*c, 0, {0, 0, 0});
    SetPoint(*c, 1, {2, 4, -6});
    c->EndUpdate(6);
    c->GetLowerBound(lo);
    c->GetUpperBound(hi);
    EXPECT_TRUE(Near(lo, {0, 0, -6})) << lo.X << " " << lo.Y << " " << lo.Z;
    EXPECT_TRUE(Near(hi, {2, 4, 0}));
    TSVector3D centre;
    c->Frame()->PointToWorld({1, 2, -3}, centre);
    EXPECT_TRUE(Near(c->CenterFrame()->Origin(), centre, 1e-9));
    EXPECT_TRUE(Near(c->CenterFrame()->Matrix(), turn, 1e-12));
    // One bracket: 4096 with the first Param, 4097 with the last, and nothing nested.
    int begins = 0, ends = 0;
    for (auto [code, param] : log.Codes()) {
        if (code == ecPointsUpdateBegin) {
            ++begins;
            EXPECT_EQ(param, 5);
        } else if (code == ecPointsUpdateEnd) {
            ++ends;
            EXPECT_EQ(param, 6);
        }
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    c->Events.Remove(log.Handler());

    // Seventeen points take two blocks; new points are zero, also after a shrink.
    SetPoint(*c, 1, {7, 7, 7}, {1, 1, 1}, {2, 2, 2});
    c->SetCount(1);
    c->SetCount(17);
    EXPECT_EQ(c->Count(), 17);
    EXPECT_EQ(c->Capacity(), 32);
    const TSPoint3DRecord zero{};
    for (int i = 1; i < 17; ++i) {
        const TSPoint3DRecord* p = c->GetPoint(i);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(std::memcmp(p, &zero, sizeof *p), 0) << i;
    }
    EXPECT_EQ(c->GetPoint(17), nullptr);
    EXPECT_EQ(c->GetPoint(-1), nullptr);
    // Past 2^31 - 1 bytes: refused, nothing changed.
    EXPECT_THROW(c->SetCount(std::numeric_limits<std::int32_t>::max() / 60 + 1), EOutOfMemory);
    EXPECT_EQ(c->Count(), 17);
    c->SetCount(-4);
    EXPECT_EQ(c->Count(), 0);
    c->GetLowerBound(lo);
    EXPECT_TRUE(Near(lo, {-1, -1, -1}));
}

TEST_F(PointConstructions, LightingModesAndAttenuation)
{
    auto c = Make<TSCustomPointConstruction3D>();
    EXPECT_EQ(c->Lighting(), 1);
    c->SetLighting(5);
    EXPECT_EQ(c->Lighting(), 1);
    c->SetLighting(-1);
    EXPECT_EQ(c->Lighting(), 0);

    // The default eye at the world origin looks down -Z of the world.
    auto eye = Make<TSEyeSystem3D>();
    auto recorder = Make<TTieRecorder>();
    TSRenderContext context;
    context.Camera = eye.get();
    context.DrawSystem = recorder.get();
    const struct {
        TSVector3DSingle position;
        double attenuation[3];
        double factor;
    } cases[] = {
        {{1, 0.5f, -2}, {1, 0, 0}, 1.0},
        {{0, 0, -2}, {0, 0, 1}, 0.25},
        {{0, 0.5f, 0}, {0, 0, 1}, 1.0},
        {{3, 4, 0}, {1, 1, 0}, 1.0 / 6},
    };
    for (const auto& k : cases) {
        c->SetAttenuation(k.attenuation[0], k.attenuation[1], k.attenuation[2]);
        c->SetCount(1);
        SetPoint(*c, 0, k.position, {}, {0.5f, 0.25f, 1});
        recorder->Points.clear();
        c->Draw(context);
        ASSERT_EQ(recorder->Points.size(), 1u);
        const TSVertex3DSingle v = recorder->Points[0];
        EXPECT_FLOAT_EQ(v.R, static_cast<float>(0.5 * k.factor)) << k.position.X;
        EXPECT_FLOAT_EQ(v.G, static_cast<float>(0.25 * k.factor));
        EXPECT_FLOAT_EQ(v.B, static_cast<float>(1.0 * k.factor));
        TSVector3DSingle projected;
        eye->ProjectWorldPoint(k.position, projected);
        EXPECT_EQ(v.X, projected.X);
        EXPECT_EQ(v.Y, projected.Y);
        EXPECT_EQ(v.Z, projected.Z);
    }
    // By hand: (1, 0.5, -2) lies at depth 2 in front of the eye.
    c->SetAttenuation(1, 0, 0);
    SetPoint(*c, 0, {1, 0.5f, -2});
    recorder->Points.clear();
    c->Draw(context);
    ASSERT_EQ(recorder->Points.size(), 1u);
    EXPECT_FLOAT_EQ(recorder->Points[0].X, 500);
    EXPECT_FLOAT_EQ(recorder->Points[0].Y, 250);
    EXPECT_FLOAT_EQ(recorder->Points[0].Z, 2000);

    // Lit: an ambient light through the construction's own copy of the law.
    auto lights = Make<TSCustomLightSystem3DList>();
    auto* ambient = TSObject::Create<TSAmbientLight3D>();
    ambient->SetColor({0.2, 0.4, 0.6});
    lights->Add(ambient);
    auto law = Make<TSSimpleDiffuseReflection>();
    c->SetReflectionLaw(law.get());
    ASSERT_NE(c->ReflectionLaw(), nullptr);
    EXPECT_NE(c->ReflectionLaw(), law.get()) << "a copy";
    c->SetLighting(1);
    c->SetAttenuation(0, 0, 1);
    SetPoint(*c, 0, {0, 0, -2}, {0, 0, 1}, {1, 0.5f, 2});
    context.Lights = lights.get();
    recorder->Points.clear();
    c->Draw(context);
    ASSERT_EQ(recorder->Points.size(), 1u);
    EXPECT_NEAR(recorder->Points[0].R, 0.2 * 0.25 * 1, 1e-6);
    EXPECT_NEAR(recorder->Points[0].G, 0.4 * 0.25 * 0.5, 1e-6);
    EXPECT_NEAR(recorder->Points[0].B, 0.6 * 0.25 * 2, 1e-6);
    // Invisible: computed, not drawn; disabled: neither.
    c->SetVisible(false);
    recorder->Points.clear();
    c->Draw(context);
    EXPECT_TRUE(recorder->Points.empty());
    lights->Clear();
}

TEST_F(PointConstructions, TiesDrawByTheirMask)
{
    auto c = Make<TSTiesConstruction3D>();
    c->LoadFromStrings(kTwoPoints);
    auto* point = new TSSimplePointTie3D;
    point->SetIndex(0, 1);
    auto* triangle = new TSSimpleTriangleTie3D;
    triangle->SetIndex(0, 0);
    triangle->SetIndex(1, 1);
    triangle->SetIndex(2, 0);
    auto* outside = new TSSimpleLineTie3D;
    outside->SetIndex(0, 0);
    outside->SetIndex(1, 9);
    EXPECT_EQ(c->AddTie(point), 1);
    EXPECT_EQ(c->AddTie(triangle), 2);
    EXPECT_EQ(c->AddTie(outside), 3);
    EXPECT_EQ(c->AddTie(point), 1) << "added twice: the same index";
    EXPECT_EQ(c->AddTie(nullptr), -1);
    auto other = Make<TSTiesConstruction3D>();
    EXPECT_EQ(other->AddTie(point), -1) << "owned by another";
    EXPECT_EQ(other->TieCount(), 0);
    EXPECT_EQ(c->IndexOfTie(triangle), 2);
    TSSimplePointTie3D stranger;
    EXPECT_EQ(c->IndexOfTie(&stranger), -1);
    EXPECT_EQ(c->IndexOfTie(nullptr), -1);

    auto eye = Make<TSEyeSystem3D>();
    auto recorder = Make<TTieRecorder>();
    TSRenderContext context;
    context.Camera = eye.get();
    context.DrawSystem = recorder.get();
    c->SetLighting(0);
    const struct {
        std::int32_t mask;
        std::size_t points, lines;
        int triangles;
    } masks[] = {{7, 1, 1, 1}, {2, 0, 1, 0}, {1, 1, 0, 0}, {4, 0, 0, 1}, {0, 2, 0, 0}};
    for (const auto& m : masks) {
        c->SetTieMask(m.mask);
        recorder->Points.clear();
        recorder->Lines.clear();
        recorder->Triangles = 0;
        c->Draw(context);
        EXPECT_EQ(recorder->Points.size(), m.points) << m.mask;
        EXPECT_EQ(recorder->Lines.size(), m.lines) << m.mask;
        EXPECT_EQ(recorder->Triangles, m.triangles) << m.mask;
    }
    c->SetTieMask(2);
    c->SetSmooth(true);
    recorder->Lines.clear();
    c->Draw(context);
    ASSERT_EQ(recorder->Lines.size(), 1u);
    EXPECT_TRUE(recorder->Smooth());
    EXPECT_EQ(recorder->Lines[0].first.X, c->GetPoint(0)->Vertex.X);
    EXPECT_EQ(recorder->Lines[0].second.X, c->GetPoint(1)->Vertex.X);
    c->SetTieCount(1);
    EXPECT_EQ(c->TieCount(), 1);
    EXPECT_EQ(c->GetTie(1), nullptr);
}

TEST_F(PointConstructions, ModelTextsInTheNavigatorsLayout)
{
    // In every locale, a decimal-comma one included where the system has one.
    std::vector<const char*> locales = {"C"};
    for (const char* name : {"de_DE.UTF-8", "ru_RU.UTF-8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name) != nullptr) {
            locales.push_back(name);
            break;
        }
    std::setlocale(LC_ALL, "C");
    for (const char* name : locales) {
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr);
        auto c = Make<TSTiesConstruction3D>();
        c->LoadFromStrings(kTwoPoints);
        ASSERT_EQ(c->Count(), 2) << name;
        EXPECT_TRUE(Near(Widen(c->GetPoint(0)->Position), {1, 2, 3}));
        EXPECT_TRUE(Near(Widen(c->GetPoint(1)->Position), {4, 5, 6}));
        EXPECT_TRUE(Near(Widen(c->GetPoint(1)->Normal), {0, 0, 1}));
        EXPECT_TRUE(Near(Widen(c->GetPoint(1)->Intensity), {1, 1, 1}));
        ASSERT_EQ(c->TieCount(), 1);
        const TSCustomTie3D* tie = c->GetTie(0);
        ASSERT_NE(dynamic_cast<const TSSimpleLineTie3D*>(tie), nullptr);
        EXPECT_EQ(tie->Index(0), 0);
        EXPECT_EQ(tie->Index(1), 1);
        EXPECT_EQ(tie->Owner(), c.get());
        c->LoadFromText(" Points Count : 1\n  Point 0\n   p : 0.9659 -0.5 1e-3\n   n : 0 0 0\n   i : 1 1 1\n");
        ASSERT_EQ(c->Count(), 1) << name;
        EXPECT_EQ(c->GetPoint(0)->Position.X, 0.9659f);
        EXPECT_EQ(c->GetPoint(0)->Position.Y, -0.5f);
        EXPECT_EQ(c->GetPoint(0)->Position.Z, 0.001f);
        EXPECT_EQ(c->TieCount(), 0);
    }
    std::setlocale(LC_ALL, "C");
}

// Hostile and broken texts: each loads what it can or fails with its text, and never
// reads past its end.
TEST_F(PointConstructions, HostileModelTexts)
{
    const std::string point = "Point 0\np : 1 2 3\nn : 4 5 6\ni : 7 8 9\n";
    const struct {
        const char* name;
        std::string text;
        const char* error;  // nullptr: loads
        int points;
        int ties;
    } cases[] = {
        {"no points label", "Ties Count : 1\nTie 0\nl : 0 1\n", nullptr, 0, 0},
        {"label at the very end", "Points Count :", nullptr, 0, 0},
        {"partial P matches first", "Points Count : 1\nPivot Pole Point 0\np : 1 2 3\nn : 4 5 6\ni : 7 8 9\n", nullptr,
         1, 0},
        {"negative count", "Points Count : -5\n" + point, nullptr, 0, 0},
        {"count beyond the text", "Points Count : 2000000000\n" + point, "Invalid Value", 0, 0},
        {"tie count beyond the text", "Points Count : 1\n" + point + "Ties Count : 99999\nTie 0\np : 0\n",
         "Invalid Value", 0, 0},
        {"second point lacks n", "Points Count : 2\n" + point + "Point 1\np : 1 1 1\ni : 2 2 2\n", nullptr, 2, 0},
        {"text ends after a Tie line", "Points Count : 1\n" + point + "Ties Count : 1\nTie 0\n", nullptr, 1, 0},
        {"unknown tie letter", "Points Count : 1\n" + point + "Ties Count : 2\nTie 0\nq : 0\nTie 1\np : 0\n", nullptr,
         1, 1},
        {"bytes of 128 and up split tokens",
         "Points Count : 1\nPoint 0\np : 1\x80\xff"
         "2 3\nn : 0 0 0\ni : 1 1 1\n",
         nullptr, 1, 0},
        {"NUL between numbers",
         std::string("Points Count : 1\nPoint 0\np : 1\0"
                     "2 3\nn : 0 0 0\ni : 1 1 1\n",
                     48),
         nullptr, 1, 0},
        {"nan", "Points Count : 1\nPoint 0\np : nan 0 0\n", "'nan' is not a valid floating point value", 0, 0},
        {"infinite", "Points Count : 1\nPoint 0\np : 1e999 0 0\n", "'1e999' is not a valid floating point value", 0, 0},
        {"decimal comma", "Points Count : 1\nPoint 0\np : 0,5 0 0\n", "'0,5' is not a valid floating point value", 0,
         0},
        {"malformed count", "Points Count : 12x\n", "'12x' is not a valid integer value", 0, 0},
        {"count out of range", "Points Count : 99999999999\n", "'99999999999' is not a valid integer value", 0, 0},
        {"numbers missing at the end", "Points Count : 1\nPoint 0\np : 1", nullptr, 1, 0},
    };
    for (const auto& k : cases) {
        auto c = Make<TSTiesConstruction3D>();
        c->LoadFromStrings(kTwoPoints);
        const std::string error = ErrorOf([&] { c->LoadFromText(k.text); });
        if (k.error == nullptr) {
            EXPECT_EQ(error, "no error") << k.name;
            EXPECT_EQ(c->Count(), k.points) << k.name;
            EXPECT_EQ(c->TieCount(), k.ties) << k.name;
        } else {
            EXPECT_NE(error.find(k.error), std::string::npos) << k.name << ": " << error;
        }
        EXPECT_EQ(c->UpdateCount(), 0) << k.name << ": the bracket closes on every way out";
    }
    // What the partial reads leave.
    auto c = Make<TSTiesConstruction3D>();
    c->LoadFromText("Points Count : 2\n" + point + "Point 1\np : 1 1 1\ni : 2 2 2\n");
    EXPECT_TRUE(Near(Widen(c->GetPoint(0)->Intensity), {7, 8, 9}));
    EXPECT_TRUE(Near(Widen(c->GetPoint(1)->Position), {1, 1, 1}));
    EXPECT_TRUE(Near(Widen(c->GetPoint(1)->Normal), {0, 0, 0}));
    EXPECT_TRUE(Near(Widen(c->GetPoint(1)->Intensity), {0, 0, 0}));
    c->LoadFromText("Points Count : 1\nPoint 0\np : 1\x80\xff"
                    "2 3\nn : 0 0 0\ni : 1 1 1\n");
    EXPECT_TRUE(Near(Widen(c->GetPoint(0)->Position), {1, 2, 3}));
    c->LoadFromText("Points Count : 1\nPivot Pole Point 0\np : 1 2 3\nn : 4 5 6\ni : 7 8 9\n");
    EXPECT_TRUE(Near(Widen(c->GetPoint(0)->Normal), {4, 5, 6}));
}

TEST_F(PointConstructions, RecordsThroughAStreamAndAProjectFile)
{
    auto c = Make<TSTiesConstruction3D>();
    c->SetName("Model");
    c->LoadFromStrings(kTwoPoints);
    c->AddTie(new TSSimpleTriangleTie3D);
    c->SetTieCount(4);  // an empty entry at the end
    c->SetSmooth(true);
    c->SetTieMask(6);
    c->SetLighting(0);
    c->SetAttenuation(0.5, 0.25, 0.125);
    auto law = Make<TSSimpleDiffuseReflection>();
    law->SetAttenuation(0.1, 0.2, 0.3);
    c->SetReflectionLaw(law.get());

    // Busy while an update is open.
    c->BeginUpdate(0);
    MemoryStream busy;
    const std::string refused = ErrorOf([&] { c->Save(&busy); });
    EXPECT_NE(refused.find("( Type - TSTiesConstruction3D )"), std::string::npos) << refused;
    EXPECT_NE(refused.find("Can't save : Busy"), std::string::npos) << refused;
    c->EndUpdate(0);

    auto project = Make<TRowProject>();
    project->Items.emplace_back(c.release());
    project->Items.emplace_back(TSObject::Create<TSCustomConstruction3D>());
    static_cast<TSCustomChangeObject*>(project->Items[1].get())->SetName("Model");
    const std::string path = m_dir + "/points.hcp";
    project->SaveToFileName(path);
    ASSERT_EQ(project->Written.size(), 2u);

    auto loaded = Make<TRowProject>();
    loaded->LoadFromFileName(path);
    ASSERT_EQ(loaded->Items.size(), 2u);
    auto* back = loaded->Item<TSTiesConstruction3D>(0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Name(), "Model");
    ASSERT_EQ(back->Count(), 2);
    EXPECT_TRUE(Near(Widen(back->GetPoint(1)->Position), {4, 5, 6}));
    EXPECT_EQ(back->Lighting(), 0);
    double k[3];
    back->GetAttenuation(k[0], k[1], k[2]);
    EXPECT_EQ(k[0], 0.5);
    EXPECT_EQ(k[1], 0.25);
    EXPECT_EQ(k[2], 0.125);
    auto* backLaw = dynamic_cast<TSSimpleDiffuseReflection*>(back->ReflectionLaw());
    ASSERT_NE(backLaw, nullptr);
    EXPECT_EQ(backLaw->AttenuationQuadratic(), 0.3);
    EXPECT_TRUE(back->Smooth());
    EXPECT_EQ(back->TieMask(), 6);
    ASSERT_EQ(back->TieCount(), 4);
    EXPECT_NE(dynamic_cast<TSSimpleLineTie3D*>(back->GetTie(0)), nullptr);
    EXPECT_NE(dynamic_cast<TSSimpleTriangleTie3D*>(back->GetTie(1)), nullptr);
    EXPECT_EQ(back->GetTie(1)->Index(2), -1);
    EXPECT_EQ(back->GetTie(3), nullptr);
    EXPECT_EQ(back->GetTie(0)->Owner(), back);
    ASSERT_NE(back->CenterFrame(), nullptr);
    EXPECT_EQ(back->CenterFrame()->Name(), "Center Point");
    EXPECT_EQ(back->CenterFrame()->Parent(), back->Frame()) << "linked under the construction's frame again";
    EXPECT_EQ(back->Frame()->ChildCount(), 1);
    TSVector3D centre;
    back->Frame()->PointToWorld({2.5, 3.5, 4.5}, centre);
    EXPECT_TRUE(Near(back->CenterFrame()->Origin(), centre, 1e-9));

    // Our record, byte for byte, through a memory stream: what loads saves equal. A
    // record read without a link has not attached the centre frame's slot yet.
    auto record = [](TSObject* Object) {
        MemoryStream out;
        out.WriteObject(Object);
        return out.Bytes;
    };
    auto read = [](const std::vector<unsigned char>& Bytes) {
        MemoryStream in;
        in.Known = {&TSTiesConstruction3D::ClassInfo, &TSBasis3D::ClassInfo, &TSSimpleDiffuseReflection::ClassInfo};
        in.Bytes = Bytes;
        TSObject* made = nullptr;
        in.ReadObject(made, &TSTiesConstruction3D::ClassInfo);
        return std::unique_ptr<TSObject>(made);
    };
    const std::vector<unsigned char> first = record(back);
    const auto copy = read(first);
    ASSERT_NE(copy, nullptr);
    const std::vector<unsigned char> second = record(copy.get());
    EXPECT_EQ(first.size(), second.size() + 4) << "the linked child's identity";
    const auto again = read(second);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(record(again.get()) == second);
}

TEST_F(PointConstructions, LoadRefusesCountsTheRecordCannotHold)
{
    auto c = Make<TSTiesConstruction3D>();
    c->LoadFromStrings(kTwoPoints);
    MemoryStream saved;
    saved.Known = {&TSTiesConstruction3D::ClassInfo, &TSBasis3D::ClassInfo, &TSSimpleDiffuseReflection::ClassInfo};
    c->Save(&saved);
    // The point count follows the base data; find it by its value and the first record.
    std::size_t at = 0;
    for (std::size_t i = 0; i + 8 <= saved.Bytes.size(); ++i) {
        std::int32_t v;
        std::memcpy(&v, saved.Bytes.data() + i, 4);
        float x;
        std::memcpy(&x, saved.Bytes.data() + i + 4, 4);
        if (v == 2 && x == 1.0f) {
            at = i;
            break;
        }
    }
    ASSERT_NE(at, 0u);
    for (std::int32_t bad : {-1, 1000000, std::numeric_limits<std::int32_t>::max()}) {
        MemoryStream s;
        s.Known = saved.Known;
        s.Bytes = saved.Bytes;
        std::memcpy(s.Bytes.data() + at, &bad, 4);
        auto target = Make<TSTiesConstruction3D>();
        const std::string error = ErrorOf([&] { target->Load(&s); });
        EXPECT_NE(error.find("Can't load : Invalid Value"), std::string::npos) << bad << ": " << error;
        EXPECT_LE(target->Capacity(), 16) << "nothing allocated for " << bad;
    }
    // The tie count is the last int32 before the tie entries.
    MemoryStream s;
    s.Known = saved.Known;
    s.Bytes = saved.Bytes;
    const std::size_t tieCount = s.Bytes.size() - 4 * 3 - 4;
    std::int32_t stored;
    std::memcpy(&stored, s.Bytes.data() + tieCount, 4);
    ASSERT_EQ(stored, 1);
    const std::int32_t huge = 1 << 29;
    std::memcpy(s.Bytes.data() + tieCount, &huge, 4);
    auto target = Make<TSTiesConstruction3D>();
    EXPECT_NE(ErrorOf([&] { target->Load(&s); }).find("Invalid Value"), std::string::npos);
    EXPECT_EQ(target->TieCount(), 0);
}

// A record whose frame matrix cannot be inverted loads, draws nothing odd and goes
// again without an error leaving its destructor; the centre frame stays at the origin.
TEST_F(PointConstructions, AFrameThatCannotBeInvertedIsNoCrash)
{
    auto c = Make<TSTiesConstruction3D>();
    c->LoadFromStrings(kTwoPoints);
    MemoryStream saved;
    saved.Known = {&TSTiesConstruction3D::ClassInfo, &TSBasis3D::ClassInfo, &TSSimpleDiffuseReflection::ClassInfo};
    saved.WriteObject(c.get());
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::size_t at = 0;
    for (; at + sizeof identity <= saved.Bytes.size(); ++at)
        if (std::memcmp(saved.Bytes.data() + at, identity, sizeof identity) == 0)
            break;
    ASSERT_LT(at + sizeof identity, saved.Bytes.size());
    std::memset(saved.Bytes.data() + at, 0, sizeof identity);
    saved.Pos = 0;
    TSObject* loaded = nullptr;
    EXPECT_EQ(ErrorOf([&] { saved.ReadObject(loaded, &TSTiesConstruction3D::ClassInfo); }), "no error");
    auto* back = dynamic_cast<TSTiesConstruction3D*>(loaded);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Count(), 2);
    EXPECT_EQ(ErrorOf([&] { back->SetCount(3); }), "no error");
    delete loaded;
}

// Drawn vertices against numpy (points_reference.py): points of a turned, moved frame
// seen by the default eye, lit by a flat and a point light through the diffuse law
// and attenuated by distance, then unlit; and a model of random float32 values that
// Python wrote loads to the same bits.
TEST_F(PointConstructions, VerticesAndModelsAsNumpy)
{
    auto c = Make<TSTiesConstruction3D>();
    const TSMatrix3D turn = Rotation({1, 1, 0}, 0.4);
    c->Frame()->SetPlacement(turn, {0.5, -0.3, -6});
    c->SetAttenuation(0.5, 0.1, 0.02);
    const TSVector3DSingle points[][3] = {
        {{0, 0, 0}, {0, 0, 1}, {1, 1, 1}},
        {{1, -0.5f, 0.25f}, {0.2f, 0.1f, 2}, {0.5f, 0.75f, 1}},
        {{-1, 1, -1}, {-0.3f, 0.2f, 1}, {2, 1, 0.5f}},
        {{0.75f, 0.75f, 0.5f}, {0, 0.4f, 1}, {1, 0.25f, 0.5f}},
        {{-0.6f, -0.9f, 0.1f}, {0.1f, -0.3f, 0.9f}, {0.3f, 0.6f, 0.9f}},
    };
    c->BeginUpdate(0);
    c->SetCount(std::size(points));
    for (std::size_t i = 0; i < std::size(points); ++i)
        SetPoint(*c, int(i), points[i][0], points[i][1], points[i][2]);
    c->EndUpdate(0);
    c->SetTieMask(0);

    auto lights = Make<TSCustomLightSystem3DList>();
    auto* flat = TSObject::Create<TSFlatSpringLight3D>();
    const TSMatrix3D flatTurn = Rotation({0, 1, 0}, 1.7707963267948966);
    flat->Frame()->SetPlacement(flatTurn, {});
    flat->SetColor(0.6, 0.5, 0.4);
    lights->Add(flat);
    auto* spot = TSObject::Create<TSPointSpringLight3D>();
    const TSMatrix3D spotTurn = Rotation({0, 1, 0}, 1.5707963267948966);
    spot->Frame()->SetPlacement(spotTurn, {0, 2, 0});
    spot->SetColor(0.9, 0.8, 1.0);
    spot->SetAttenuation(1, 0.1, 0.01);
    spot->SetSpot(1.5, -1);
    lights->Add(spot);
    auto law = Make<TSSimpleDiffuseReflection>();
    c->SetReflectionLaw(law.get());

    auto eye = Make<TSEyeSystem3D>();
    auto recorder = Make<TTieRecorder>();
    TSRenderContext context;
    context.Camera = eye.get();
    context.DrawSystem = recorder.get();
    context.Lights = lights.get();

    std::ostringstream json;
    json.precision(17);
    auto matrix = [&](const TSMatrix3D& m) {
        json << "[";
        for (int k = 0; k < 9; ++k)
            json << (k ? "," : "") << m.M[k];
        json << "]";
    };
    auto vector = [&](double x, double y, double z) { json << "[" << x << "," << y << "," << z << "]"; };
    json << "[";
    for (int lighting : {1, 0}) {
        c->SetLighting(lighting);
        recorder->Points.clear();
        c->Draw(context);
        ASSERT_EQ(recorder->Points.size(), std::size(points));
        json << (lighting == 1 ? "" : ",") << "{\"lighting\":" << lighting << ",\"frame_matrix\":";
        matrix(c->Frame()->Matrix());
        json << ",\"frame_origin\":";
        const TSVector3D o = c->Frame()->Origin();
        vector(o.X, o.Y, o.Z);
        json << ",\"attenuation\":[0.5,0.1,0.02],\"camera_matrix\":";
        matrix(eye->Frame()->Matrix());
        json << ",\"camera_origin\":";
        const TSVector3D e = eye->Frame()->Origin();
        vector(e.X, e.Y, e.Z);
        json << ",\"screen\":" << eye->ScreenDistance() << ",\"depth\":" << eye->DepthScale();
        json << ",\"law_att\":[" << law->AttenuationConstant() << "," << law->AttenuationLinear() << ","
             << law->AttenuationQuadratic() << "],\"law_rad\":[" << law->RadiationConstant() << ","
             << law->RadiationLinear() << "," << law->RadiationQuadratic() << "]";
        json << ",\"flat_matrix\":";
        matrix(flat->Frame()->Matrix());
        json << ",\"flat_color\":[0.6,0.5,0.4],\"point_matrix\":";
        matrix(spot->Frame()->Matrix());
        json << ",\"point_origin\":[0,2,0],\"point_color\":[0.9,0.8,1.0],\"point_att\":[1,0.1,0.01],"
                "\"point_spot\":[1.5,-1],\"points\":[";
        for (std::size_t i = 0; i < std::size(points); ++i) {
            const TSVertex3DSingle& v = recorder->Points[i];
            json << (i ? "," : "") << "{\"p\":";
            vector(points[i][0].X, points[i][0].Y, points[i][0].Z);
            json << ",\"n\":";
            vector(points[i][1].X, points[i][1].Y, points[i][1].Z);
            json << ",\"i\":";
            vector(points[i][2].X, points[i][2].Y, points[i][2].Z);
            json << ",\"vertex\":[" << v.X << "," << v.Y << "," << v.Z << "," << v.R << "," << v.G << "," << v.B
                 << "]}";
            // Lit points are not black: the check below compares real colours.
            if (lighting == 1) {
                EXPECT_GT(v.R + v.G + v.B, 0.05f) << i;
            }
        }
        json << "]}";
    }
    json << "]";
    lights->Clear();
    {
        std::ofstream out(m_dir + "/scene.json");
        out << json.str();
    }
    EXPECT_EQ(RunPythonCheck("points_reference.py", m_dir), "OK\n");

    // The random model Python wrote.
    std::ifstream modelFile(m_dir + "/model.txt", std::ios::binary);
    const std::string model((std::istreambuf_iterator<char>(modelFile)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(model.empty());
    c->LoadFromText(model);
    std::ifstream bitsFile(m_dir + "/model_bits.txt");
    std::string line;
    int i = 0;
    for (; std::getline(bitsFile, line); ++i) {
        std::istringstream words(line);
        const TSPoint3DRecord* p = c->GetPoint(i);
        ASSERT_NE(p, nullptr) << i;
        const float* values[] = {&p->Position.X, &p->Position.Y,  &p->Position.Z,  &p->Normal.X,   &p->Normal.Y,
                                 &p->Normal.Z,   &p->Intensity.X, &p->Intensity.Y, &p->Intensity.Z};
        for (const float* value : values) {
            std::uint32_t want = 0, got = 0;
            words >> std::hex >> want;
            std::memcpy(&got, value, 4);
            EXPECT_EQ(got, want) << "point " << i;
        }
    }
    EXPECT_EQ(i, c->Count());
    ASSERT_EQ(c->TieCount(), 2);
    EXPECT_EQ(c->GetTie(0)->Index(1), 8);
    EXPECT_EQ(c->GetTie(1)->Kind(), 4);
    EXPECT_EQ(c->GetTie(1)->Index(2), 3);
}

}  // namespace
