// The surface editor: the channel computations on a plain node array (and
// against a numpy model), the Apply decision, the depository's stream, and
// the window applying on its worker thread, broken off, failing, closed or
// deleted while it runs.

#include "Command.h"
#include "EditorTestSupport.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "TempDir.h"
#include "Viewer3DTestSupport.h"

#include "viewer3d/editors/SDiffuseReflectionUn.h"
#include "viewer3d/editors/SSurface3DUn.h"
#include "viewer3d/forms/SFinderReflectionUn.h"
#include "viewer3d/editors/SurfaceChannels.h"
#include "viewer3d/forms/SDepositoryComponent.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/files/SLayers.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SSurfaces3D.h"

#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using editortest::BytesStream;
using editortest::EventLog;

namespace {

// ---------------------------------------------------------------------------
// A layer file of the test's own: ".scripted" names; rows of value row + 1,
// read slowly or failing at a row, as the test sets.

struct Script {
    static inline std::atomic<int> Width{8};
    static inline std::atomic<int> Height{8};
    static inline std::atomic<int> FailAtRow{-1};
    static inline std::atomic<int> MicrosPerRow{0};
    static inline std::atomic<int> RowsRead{0};
    static void Reset()
    {
        Width = 8;
        Height = 8;
        FailAtRow = -1;
        MicrosPerRow = 0;
        RowsRead = 0;
    }
};

class TScriptedLayer final : public TSLayer {
    S_CLASS(TScriptedLayer)
public:
    void Shape() { StoreFormat(stFloat32, Script::Width, Script::Height); }
    void ReadRow(std::int32_t Row, void* Buffer, std::int32_t Count, std::int32_t, std::int32_t) override
    {
        if (Row == Script::FailAtRow)
            throw EStreamError("the test's layer failed at row " + std::to_string(Row));
        if (Script::MicrosPerRow > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(Script::MicrosPerRow.load()));
        auto* out = static_cast<float*>(Buffer);
        for (std::int32_t i = 0; i < std::min(Count, Width()); ++i)
            out[i] = float(Row + 1);
        ++Script::RowsRead;
    }
};
constinit const TSClassInfo TScriptedLayer::ClassInfo{"TScriptedLayer", &TSLayer::ClassInfo,
                                                      &TSNewObject<TScriptedLayer>};

class TScriptedKeeper final : public TSFileLayerKeeper {
    S_CLASS(TScriptedKeeper)
public:
    ~TScriptedKeeper() override { delete m_layer; }
    void Open(const std::string& FileName, std::uint32_t, std::uint32_t, bool) override
    {
        StoreFileName(FileName);
        delete m_layer;
        m_layer = TSObject::Create<TScriptedLayer>();
        m_layer->Shape();
        StoreCount(1);
        StoreClosed(false);
    }
    TSLayer* GetLayer(std::int32_t Index) override { return Index == 0 ? m_layer : nullptr; }

private:
    TScriptedLayer* m_layer = nullptr;
};
constinit const TSClassInfo TScriptedKeeper::ClassInfo{"TScriptedKeeper", &TSFileLayerKeeper::ClassInfo,
                                                       &TSNewObject<TScriptedKeeper>};

TSFileLayerKeeper* ScriptedCreator(void*, const std::string& Name)
{
    return Name.ends_with(".scripted") ? TSObject::Create<TScriptedKeeper>() : nullptr;
}

// ---------------------------------------------------------------------------
// Plain node arrays

struct Grid {
    std::int32_t X, Y;
    std::vector<float> Nodes;  // 12 floats a node
    Grid(std::int32_t X_, std::int32_t Y_) : X(X_), Y(Y_), Nodes(std::size_t(X_) * std::size_t(Y_) * 12, -99.0f) {}
    TSNodeChannel Channel(std::int32_t K)
    {
        return {reinterpret_cast<unsigned char*>(Nodes.data()), std::int64_t(X) * 48, X, Y, K, 12};
    }
    float At(std::int32_t I, std::int32_t J, std::int32_t K) const
    {
        return Nodes[(std::size_t(J) * std::size_t(X) + std::size_t(I)) * 12 + std::size_t(K)];
    }
};

TSLayerRowReader RowsOf(const std::vector<std::vector<float>>& Rows)
{
    return [&Rows](std::int32_t Row, float* Buffer) {
        std::copy(Rows[std::size_t(Row)].begin(), Rows[std::size_t(Row)].end(), Buffer);
    };
}

TEST(SurfaceChannels, LinearFillAndTheEdgeCases)
{
    Grid g(3, 2);
    int rows = 0;
    LinearFillChannel(g.Channel(0), 0, 1, [&] { ++rows; });
    LinearFillChannel(g.Channel(2), 0, 5, {});
    EXPECT_EQ(rows, 2);
    for (int j = 0; j < 2; ++j) {
        EXPECT_EQ(g.At(0, j, 0), 0.0f);
        EXPECT_EQ(g.At(1, j, 0), 0.5f);
        EXPECT_EQ(g.At(2, j, 0), 1.0f);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(g.At(i, j, 2), 5.0f);
        EXPECT_EQ(g.At(0, j, 1), -99.0f);  // other channels untouched
    }
    LinearFillChannel(g.Channel(1), 2, 4, {});
    EXPECT_EQ(g.At(2, 0, 1), 2.0f);
    EXPECT_EQ(g.At(0, 1, 1), 4.0f);
}

TEST(SurfaceChannels, ResamplingEnlargesByRepeatingAndReducesByAveraging)
{
    const std::vector<std::vector<float>> two = {{1, 2}, {3, 4}};
    Grid up(4, 4);
    ResampleChannel(up.Channel(2), 2, 2, RowsOf(two), {});
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(up.At(i, j, 2), two[std::size_t(j / 2)][std::size_t(i / 2)]) << i << "," << j;

    std::vector<std::vector<float>> four(4, std::vector<float>(4));
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            four[std::size_t(j)][std::size_t(i)] = float(j * 4 + i);
    Grid down(2, 2);
    int rows = 0;
    ResampleChannel(down.Channel(0), 4, 4, RowsOf(four), [&] { ++rows; });
    EXPECT_EQ(rows, 2);
    EXPECT_FLOAT_EQ(down.At(0, 0, 0), (0 + 1 + 4 + 5) / 4.0f);
    EXPECT_FLOAT_EQ(down.At(1, 1, 0), (10 + 11 + 14 + 15) / 4.0f);

    // A layer without rows or columns changes nothing.
    Grid none(2, 2);
    ResampleChannel(none.Channel(0), 4, 0, RowsOf(four), {});
    ResampleChannel(none.Channel(0), 0, 4, RowsOf(four), {});
    EXPECT_EQ(none.At(0, 0, 0), -99.0f);
    EXPECT_TRUE(ResamplePieces(0, 3).empty());
}

TEST(SurfaceChannels, MinMaxMapsTheFiniteRange)
{
    Grid g(2, 2);
    const float values[4] = {NAN, 2, 4, 6};
    for (int k = 0; k < 4; ++k)
        g.Nodes[std::size_t(k) * 12 + 3] = values[k];
    int rows = 0;
    MinMaxChannel(g.Channel(3), 0, 1, [&] { ++rows; });
    EXPECT_EQ(rows, 4);  // two passes
    EXPECT_TRUE(std::isnan(g.At(0, 0, 3)));
    EXPECT_FLOAT_EQ(g.At(1, 0, 3), 0.0f);
    EXPECT_FLOAT_EQ(g.At(0, 1, 3), 0.5f);
    EXPECT_FLOAT_EQ(g.At(1, 1, 3), 1.0f);

    // All equal, or nothing finite: every value becomes Max.
    for (float v : {7.0f, float(NAN)}) {
        Grid flat(2, 1);
        for (int k = 0; k < 2; ++k)
            flat.Nodes[std::size_t(k) * 12] = v;
        MinMaxChannel(flat.Channel(0), 0, 3, {});
        EXPECT_EQ(flat.At(0, 0, 0), 3.0f);
        EXPECT_EQ(flat.At(1, 0, 0), 3.0f);
    }
}

TEST(SurfaceChannels, ApplyPlanAndGridLimit)
{
    const std::array<bool, 6> all{true, true, true, true, true, true};
    const std::array<bool, 6> none{};
    std::array<bool, 6> zDiffers = all;
    zDiffers[2] = false;
    std::array<bool, 6> blueStale{};
    blueStale[5] = true;
    struct Row {
        std::int32_t W, H, X, Y;
        std::array<bool, 6> Same, Stale;
        TSSurfaceApplyPlan Plan;
    } rows[] = {
        {10, 10, 10, 10, all, none, {false, false, {}}},
        {10, 10, 11, 10, all, none, {true, true, all}},
        {10, 10, 10, 10, zDiffers, none, {false, true, {false, false, true, false, false, false}}},
        {10, 10, 10, 10, all, blueStale, {false, true, {false, false, false, false, false, true}}},
        {0, 0, 0, 0, all, none, {false, false, {}}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PlanSurfaceApply(r.W, r.H, r.X, r.Y, r.Same, r.Stale), r.Plan) << r.X;

    EXPECT_TRUE(SurfaceGridFits(0, 0));
    EXPECT_TRUE(SurfaceGridFits(1000, 1000));
    EXPECT_TRUE(SurfaceGridFits(6688, 6688));
    EXPECT_FALSE(SurfaceGridFits(6700, 6700));
    EXPECT_FALSE(SurfaceGridFits(-1, 5));
    EXPECT_FALSE(SurfaceGridFits(2147483647, 16));
}

// ---------------------------------------------------------------------------
// The depository in a project

class SurfaceEditor : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        Script::Reset();
        RegisterRTDClass(&TScriptedKeeper::ClassInfo);
        RegisterLayerCreator(&ScriptedCreator);
        Project.reset(TSObject::Create<THalcyte3DProject>());
        Project->SetName("P");
        TSCreateObjectRecord request{nullptr, &TSSurface3D::ClassInfo, nullptr};
        ASSERT_EQ(Project->Process(pcCreateObject, reinterpret_cast<TSParam>(&request)), 0);
        Surface = dynamic_cast<TSSurface3D*>(request.Created);
        ASSERT_NE(Surface, nullptr);
        Surface->SetName("Hill");
        Depository = dynamic_cast<TSSurface3D_Depository*>(Project->FindDepository(Surface));
        ASSERT_NE(Depository, nullptr);
    }
    void TearDown() override
    {
        Project.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        testsupport::PumpUntil([] { return false; }, 20ms);
        UnregisterLayerCreator(&ScriptedCreator);
        Viewer3DTest::TearDown();
    }
    TSSurface3DForm* Open()
    {
        Project->Process(pcOpenEditor, reinterpret_cast<TSParam>(Surface));
        return Depository->Form();
    }
    bool WaitApplied() const
    {
        return testsupport::PumpUntil(
            [this] { return Depository == nullptr || (!Depository->Busy() && !Depository->ApplyRunning()); }, 30s);
    }
    // A source with the surface's grid and channel z from the scripted layer.
    void Scripted(TSSurface3D_Depository& Source, std::int32_t X, std::int32_t Y)
    {
        Source.XCount = X;
        Source.YCount = Y;
        Source.Channels[2].FromFile = 1;
        Source.Channels[2].FileName = "/layer.scripted";
        Source.Channels[2].LayerIndex = 0;
        Source.Channels[2].Min = 0;
        Source.Channels[2].Max = 1;
    }

    std::unique_ptr<THalcyte3DProject> Project;
    TSSurface3D* Surface = nullptr;
    TSSurface3D_Depository* Depository = nullptr;
};

TEST_F(SurfaceEditor, NumpyLayersThroughTheChannelsEqualTheModel)
{
    testsupport::TempDir dir;
    ASSERT_EQ(testsupport::CommandOutput("/usr/bin/python3 " SUITE_SOURCE_DIR
                                         "/tests/viewer3d/surface_channels.py layers '" +
                                         dir.Path() + "' 2>&1"),
              "ok\n");
    std::ifstream cases(dir.File("cases.txt"));
    std::string line;
    int count = 0;
    while (std::getline(cases, line)) {
        std::istringstream in(line);
        std::string name, file;
        std::int32_t x = 0, y = 0, ch = 0;
        double lo = 0, hi = 0;
        in >> name >> file >> x >> y >> ch >> lo >> hi;
        ASSERT_TRUE(in) << line;
        Surface->SetGridSize(x, y);
        TSSurfaceChannel& c = Depository->Channels[std::size_t(ch)];
        c.FromFile = file == "-" ? 0 : 1;
        c.FileName = file == "-" ? "" : file;
        c.LayerIndex = 0;
        c.Min = lo;
        c.Max = hi;
        Depository->TranslateLayer(nullptr, ch);
        std::vector<float> values;
        for (std::int32_t j = 0; j < y; ++j)
            for (std::int32_t i = 0; i < x; ++i)
                values.push_back(reinterpret_cast<const float*>(&Surface->Node(i, j))[ch]);
        std::ofstream(dir.File(name + ".nodes"), std::ios::binary)
            .write(reinterpret_cast<const char*>(values.data()), std::streamsize(values.size() * 4));
        ++count;
    }
    EXPECT_GT(count, 0);
    EXPECT_EQ(testsupport::CommandOutput("/usr/bin/python3 " SUITE_SOURCE_DIR
                                         "/tests/viewer3d/surface_channels.py check '" +
                                         dir.Path() + "' 2>&1"),
              "ok\n");
}

TEST_F(SurfaceEditor, ApplyRecomputesOnlyWhatChanged)
{
    std::unique_ptr<TSSurface3D_Depository> source(TSObject::Create<TSSurface3D_Depository>());
    source->Assign(Depository);
    source->XCount = 4;
    source->YCount = 3;
    Depository->ApplySettings(nullptr, source.get());
    EXPECT_EQ(Surface->Width(), 4);
    EXPECT_EQ(Surface->Node(3, 2).Position.Z, 1.0f);  // linear z: Max

    EventLog log;
    Surface->Events.Add(log.Handler());
    // Nothing changed: no node update, no redraw.
    Depository->ApplySettings(nullptr, source.get());
    EXPECT_EQ(log.Count(ecNodesUpdateBegin), 0);
    EXPECT_EQ(log.Count(4100), 0);
    // Records only: a redraw, no node update (the surface already draws as
    // the new record says).
    Surface->SetLighting(0);
    log.Clear();
    source->SetRecordCount(1);
    Depository->ApplySettings(nullptr, source.get());
    EXPECT_EQ(log.Count(ecNodesUpdateBegin), 0);
    EXPECT_EQ(log.Count(4100), 1);
    // One channel.
    log.Clear();
    source->Channels[4].Max = 0.25;
    Surface->Node(0, 0).Color.X = 9;  // red: not recomputed
    Depository->ApplySettings(nullptr, source.get());
    EXPECT_EQ(log.Count(4100), 1);
    EXPECT_EQ(Surface->Node(1, 1).Color.Y, 0.25f);
    EXPECT_EQ(Surface->Node(0, 0).Color.X, 9.0f);
    // XCount alone: all six.
    log.Clear();
    source->XCount = 5;
    Depository->ApplySettings(nullptr, source.get());
    EXPECT_EQ(Surface->Node(0, 0).Color.X, 1.0f);
    EXPECT_EQ(Surface->Node(4, 0).Position.X, 1.0f);
    EXPECT_GE(log.Count(4100), 1);  // the new grid asks for a picture as well
    EXPECT_EQ(log.Count(ecNodesUpdateBegin), 1);
    Surface->Events.Remove(log.Handler());

    // A surface without records keeps its settings.
    Depository->SetRecordCount(0);
    Surface->SetDrawMode(1);
    Depository->ApplyRecord();
    EXPECT_EQ(Surface->DrawMode(), 1);
}

TEST_F(SurfaceEditor, TheStreamAndItsRefusals)
{
    Depository->XCount = 3;
    Depository->YCount = 2;
    Depository->Channels[1].FileName = "abc";
    Depository->ReflectionNote = "note";
    BytesStream inherited;
    std::unique_ptr<TSSurface3D_Depository> bare(TSObject::Create<TSSurface3D_Depository>());
    const std::int32_t base = bare->TSDepositoryCustomConstruction3D::Save(&inherited);
    BytesStream s;
    const std::int32_t strings = 6 * 4 + 3 + 4 + 4;  // six file names, one "abc", the note
    EXPECT_EQ(Depository->Save(&s), base + 8 + 6 * 24 + strings + 56);
    EXPECT_EQ(std::int32_t(s.Bytes.size()), base + 8 + 6 * 24 + strings + 56);
    s.Pos = 0;
    std::unique_ptr<TSSurface3D_Depository> back(TSObject::Create<TSSurface3D_Depository>());
    EXPECT_EQ(back->Load(&s), std::int32_t(s.Bytes.size()));
    EXPECT_EQ(back->XCount, 3);
    EXPECT_EQ(back->Channels[1].FileName, "abc");
    EXPECT_EQ(back->ReflectionNote, "note");
    EXPECT_EQ(back->Attenuation[0], 1.0);

    // Negative counts and indices, grids no surface can hold: "Invalid Value".
    const std::size_t xAt = std::size_t(base);
    const std::size_t layerAt = xAt + 8 + 20;
    for (auto [at, value] : {std::pair{xAt, -1}, std::pair{xAt + 4, -5}, std::pair{layerAt, -1},
                             std::pair{xAt, 100000}}) {
        BytesStream bad;
        bad.Bytes = s.Bytes;
        if (at == xAt && value == 100000) {
            std::memcpy(bad.Bytes.data() + at, &value, 4);
            std::memcpy(bad.Bytes.data() + at + 4, &value, 4);
        } else {
            std::memcpy(bad.Bytes.data() + at, &value, 4);
        }
        bad.Pos = 0;
        try {
            back->Load(&bad);
            ADD_FAILURE() << "loaded " << value << " at " << at;
        } catch (const EStreamError& e) {
            EXPECT_NE(std::string(e.what()).find("Can't load : Invalid Value"), std::string::npos) << e.what();
        }
    }

    // Busy: neither saves nor loads.
    Depository->SetBusy(true);
    for (const bool saving : {true, false}) {
        try {
            BytesStream t;
            t.Bytes = s.Bytes;
            saving ? Depository->Save(&t) : Depository->Load(&t);
            ADD_FAILURE() << "not refused";
        } catch (const EInvalidOperation& e) {
            EXPECT_NE(std::string(e.what()).find(saving ? "Can't save : Busy" : "Can't load : Busy"),
                      std::string::npos);
        }
    }
    Depository->SetBusy(false);
}

TEST_F(SurfaceEditor, FilesMovedWithTheProjectAreFoundOthersBecomeLinearFills)
{
    testsupport::TempDir dir;
    const std::string before = dir.File("before");
    std::filesystem::create_directory(before);
    ASSERT_EQ(testsupport::CommandOutput("/usr/bin/python3 " SUITE_SOURCE_DIR
                                         "/tests/viewer3d/surface_channels.py layers '" +
                                         before + "' 2>&1"),
              "ok\n");
    std::unique_ptr<TSSurface3D_Depository> source(TSObject::Create<TSSurface3D_Depository>());
    source->Assign(Depository);
    source->XCount = 4;
    source->YCount = 4;
    for (int ch : {2, 3}) {
        source->Channels[std::size_t(ch)].FromFile = 1;
        source->Channels[std::size_t(ch)].LayerIndex = 0;
    }
    source->Channels[2].FileName = before + "/a2x2.rdp";
    source->Channels[3].FileName = before + "/gone.rdp";
    Depository->ApplySettings(nullptr, source.get());
    Project->SaveToFileName(before + "/p.hcp");
    // The project and its raster file move together to another folder.
    const std::string after = dir.File("after");
    std::filesystem::rename(before, after);
    std::unique_ptr<THalcyte3DProject> loaded(
        dynamic_cast<THalcyte3DProject*>(CreateProjectFromFile(after + "/p.hcp")));
    ASSERT_NE(loaded, nullptr);
    loaded->LoadFromFileName(after + "/p.hcp");
    TSSurface3D_Depository* d = nullptr;
    for (std::int32_t i = 0; i < loaded->DepositoryCount(); ++i)
        d = d ? d : dynamic_cast<TSSurface3D_Depository*>(loaded->GetDepositoryPair(i).Depository);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Channels[2].FromFile, 1);
    EXPECT_EQ(d->Channels[2].FileName, after + "/a2x2.rdp");
    EXPECT_NE(d->Channels[2].LayerDescription.find("2 x 2"), std::string::npos) << d->Channels[2].LayerDescription;
    EXPECT_EQ(d->Channels[3].FromFile, 0);
    EXPECT_EQ(d->Channels[3].FileName, "");
    EXPECT_EQ(d->Channels[3].LayerDescription, kNoLayer);
    // The nodes were computed again from the recipe.
    ASSERT_NE(d->Surface(), nullptr);
    EXPECT_EQ(d->Surface()->Width(), 4);
    EXPECT_EQ(d->Surface()->Node(0, 0).Position.Z, 0.0f);
    EXPECT_EQ(d->Surface()->Node(3, 3).Position.Z, 1.0f);
}

TEST_F(SurfaceEditor, TheWindowAppliesOnItsWorkerThread)
{
    TSSurface3DForm* form = Open();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Caption()->Text(), "Hill : Properties");
    EXPECT_EQ(form->Caption()->height(), 24);
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());
    form->XEdit()->setText("16");
    form->YEdit()->setText("12");
    form->LayerList()->setCurrentRow(2);
    form->FillBox()->button(1)->click();
    EXPECT_TRUE(form->FileBtn()->isEnabled());
    form->WorkingCopy()->Channels[2].FileName = "/layer.scripted";
    form->MaxEdit()->setText("10");
    form->Component()->AddRecordBtnClick();
    editortest::KeepShot(form, "surface-editor-general.png");
    form->PageControl()->setCurrentIndex(1);
    editortest::KeepShot(form, "surface-editor-drawing.png");
    form->PageControl()->setCurrentIndex(2);
    editortest::KeepShot(form, "surface-editor-additional.png");
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    Script::MicrosPerRow = 2000;
    form->ApplyBtnClick();
    EXPECT_TRUE(Depository->Busy());
    EXPECT_TRUE(form->WorkingCopy()->Busy());
    EXPECT_TRUE(form->Component()->Locked());
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());
    form->ApplyBtnClick();  // refused while busy
    ASSERT_TRUE(WaitApplied());
    EXPECT_FALSE(form->WorkingCopy()->Busy());
    EXPECT_FALSE(form->Component()->Locked());
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());
    EXPECT_EQ(Surface->Width(), 16);
    EXPECT_EQ(Surface->Height(), 12);
    EXPECT_FLOAT_EQ(Surface->Node(0, 0).Position.Z, 0.0f);
    EXPECT_FLOAT_EQ(Surface->Node(0, 11).Position.Z, 10.0f);
    EXPECT_EQ(Depository->RecordCount(), 1);
    EXPECT_TRUE(Boxes().empty());

    // A grid no surface can hold is refused before the job, with a box.
    form->XEdit()->setText("9999999");
    form->YEdit()->setText("9999999");
    form->ApplyBtnClick();
    EXPECT_FALSE(Depository->Busy());
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    EXPECT_EQ(Surface->Width(), 16);

    // Reset takes the depository's contents back.
    form->ResetBtnClick();
    EXPECT_EQ(form->XEdit()->text(), "16");
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());
}

TEST_F(SurfaceEditor, ABrokenOffOrFailedApplyLeavesNothingHeld)
{
    testsupport::TempDir dir;
    TSSurface3DForm* form = Open();
    ASSERT_NE(form, nullptr);
    Scripted(*form->WorkingCopy(), 8, 400);
    Script::Height = 400;

    // Broken off: Stop asks the job to end.
    Script::MicrosPerRow = 2000;
    form->ApplyBtnClick();
    ASSERT_TRUE(testsupport::PumpUntil([] { return Script::RowsRead > 5; }, 20s));
    Depository->StopApply();
    ASSERT_TRUE(WaitApplied());
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    EXPECT_FALSE(form->Component()->Locked());
    EXPECT_TRUE(Depository->Stale(2));
    EXPECT_EQ(Surface->UpdateNesting(), 0);
    EXPECT_FALSE(Surface->IsChanging());
    Project->SaveToFileName(dir.File("after-break.hcp"));  // no "Busy"

    // Failed: the error shows, Apply stays enabled, the next Apply computes it again.
    Script::MicrosPerRow = 0;
    Script::FailAtRow = 200;
    form->ApplyBtnClick();
    ASSERT_TRUE(WaitApplied());
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].text.find("failed at row 200"), std::string::npos);
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    EXPECT_TRUE(Depository->Stale(2));
    EXPECT_FALSE(Surface->IsChanging());
    Project->SaveToFileName(dir.File("after-failure.hcp"));

    Script::FailAtRow = -1;
    form->ApplyBtnClick();
    ASSERT_TRUE(WaitApplied());
    EXPECT_FALSE(Depository->Stale(2));
    EXPECT_FLOAT_EQ(Surface->Node(0, 399).Position.Z, 1.0f);
    EXPECT_EQ(Boxes().size(), 1u);
    // The project renders after all this.
    Project->Invalidate(nullptr);
    EXPECT_TRUE(testsupport::PumpUntil([this] { return !Project->IsDirty() && !Project->Thread()->HasWorker(); },
                                       20s));
}

TEST_F(SurfaceEditor, ClosingTheWindowDuringApplyHidesItUntilTheJobEnds)
{
    TSSurface3DForm* form = Open();
    ASSERT_NE(form, nullptr);
    Scripted(*form->WorkingCopy(), 8, 200);
    Script::Height = 200;
    Script::MicrosPerRow = 2000;
    form->move(50, 60);
    form->ApplyBtnClick();
    form->CloseBtnClick();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Depository->Form(), form);
    ASSERT_TRUE(WaitApplied());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Depository->Form(), nullptr);
    EXPECT_EQ(Depository->State.Left, 50);
}

TEST_F(SurfaceEditor, DeletingTheSurfaceDuringApplyStopsTheJobFirst)
{
    TSSurface3DForm* form = Open();
    ASSERT_NE(form, nullptr);
    Scripted(*form->WorkingCopy(), 8, 2000);
    Script::Height = 2000;
    Script::MicrosPerRow = 1000;
    form->ApplyBtnClick();
    ASSERT_TRUE(testsupport::PumpUntil([] { return Script::RowsRead > 5; }, 20s));
    delete Surface;
    Surface = nullptr;
    Depository = nullptr;
    EXPECT_EQ(Project->DepositoryCount(), 0);
    EXPECT_LT(Script::RowsRead, 2000);
    testsupport::PumpUntil([] { return false; }, 50ms);
}

TEST_F(SurfaceEditor, ClosingTheProjectDuringApplyStopsTheJobFirst)
{
    TSSurface3DForm* form = Open();
    ASSERT_NE(form, nullptr);
    Scripted(*form->WorkingCopy(), 8, 2000);
    Script::Height = 2000;
    Script::MicrosPerRow = 1000;
    form->ApplyBtnClick();
    ASSERT_TRUE(testsupport::PumpUntil([] { return Script::RowsRead > 5; }, 20s));
    Project.reset();
    Surface = nullptr;
    Depository = nullptr;
    EXPECT_LT(Script::RowsRead, 2000);
    testsupport::PumpUntil([] { return false; }, 50ms);
}

}  // namespace

namespace {

template <class F>
F* ActiveModal()
{
    auto* form = dynamic_cast<F*>(QApplication::activeModalWidget());
    return testsupport::IsActiveModal(form) ? form : nullptr;
}

TEST_F(SurfaceEditor, TheLawIsChosenAndEditedFromTheAdditionalPage)
{
    TSSurface3DForm* form = Open();
    ASSERT_NE(form, nullptr);
    form->PageControl()->setCurrentIndex(2);
    EXPECT_EQ(form->ReflectionEdit()->text().toStdString(), kNoReflectionLaw);
    testsupport::RunModal([] { return ActiveModal<TSFinderReflectionForm>() != nullptr; },
                          {testsupport::Once([] {
                              TSFinderReflectionForm* picker = ActiveModal<TSFinderReflectionForm>();
                              picker->List()->setCurrentRow(picker->List()->count() - 1);
                              picker->OkBtn()->click();
                          })},
                          [&] {
                              form->ChangeBtnClick();
                              return 0;
                          });
    TSCustomReflectionLaw* law = form->WorkingCopy()->ReflectionLaw();
    ASSERT_NE(dynamic_cast<TSSimpleDiffuseReflection*>(law), nullptr);
    EXPECT_EQ(form->ReflectionEdit()->text().toStdString(), law->Name());
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    form->ApplyBtnClick();
    ASSERT_TRUE(WaitApplied());
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());
    ASSERT_NE(Depository->ReflectionLaw(), nullptr);
    EXPECT_NE(Surface->ReflectionLaw(), nullptr);

    // "Properties" runs the law's own dialog; its change enables Apply.
    testsupport::RunModal([] { return ActiveModal<TSSimpleDiffuseReflectionForm>() != nullptr; },
                          {testsupport::Once([] {
                              TSSimpleDiffuseReflectionForm* dialog = ActiveModal<TSSimpleDiffuseReflectionForm>();
                              dialog->Edit(0)->setText("0.75");
                              dialog->OkBtn()->click();
                          })},
                          [&] {
                              form->PropertiesBtnClick();
                              return 0;
                          });
    EXPECT_EQ(dynamic_cast<TSSimpleDiffuseReflection*>(law)->AttenuationConstant(), 0.75);
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    form->ApplyBtnClick();
    ASSERT_TRUE(WaitApplied());
    EXPECT_EQ(dynamic_cast<TSSimpleDiffuseReflection*>(Surface->ReflectionLaw())->AttenuationConstant(), 0.75);
}

}  // namespace
