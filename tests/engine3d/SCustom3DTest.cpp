// The abstract scene classes: draw brackets, the setters' events, the flags
// of their records, 3D objects and their frames, the default drawing, cameras,
// lights and the registers.

#include "SceneTestSupport.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {

using Events = std::vector<std::pair<std::int32_t, TSParam>>;

class SceneClasses : public SceneTest {};

// The int32 written after the name of a draw system or construction record.
std::int32_t IntAt(const MemoryStream& Stream, std::size_t At)
{
    std::int32_t value = 0;
    std::memcpy(&value, Stream.Bytes.data() + At, 4);
    return value;
}

void PutIntAt(MemoryStream& Stream, std::size_t At, std::int32_t Value)
{
    std::memcpy(Stream.Bytes.data() + At, &Value, 4);
}

}  // namespace

TEST_F(SceneClasses, NestedDrawBracketsAnnounceOnce)
{
    EventLog log;
    auto ds = Make<TSCustomDrawSystem3D>();
    ds->Events.Add(log.Handler());
    ds->EndDraw(1);  // none open: nothing
    ds->BeginDraw(7);
    ds->BeginDraw(8);
    EXPECT_EQ(ds->DrawNesting(), 2);
    ds->EndDraw(9);
    ds->EndDraw(10);
    ds->EndDraw(11);
    EXPECT_EQ(log.Codes(), (Events{{ecBeginDraw, 7}, {ecEndDraw, 10}}));
    EXPECT_EQ(ds->DrawNesting(), 0);
}

TEST_F(SceneClasses, SettersAnnounceOnlyAChange)
{
    auto ds = Make<TRecordingDrawSystem>();
    auto construction = Make<TSCustomConstruction3D>();
    // The setters, the reaction each one sets off, and the events they give.
    struct Case {
        const char* What;
        std::function<void()> Set;
        Events Expected;
    };
    const Events change = {{ecBeginChange, 0}, {ecEndChange, 0}};
    const Events changeAndRedraw = {{ecBeginChange, 0}, {ecInvalidate, 0}, {ecEndChange, 0}};
    const Case cases[] = {
        {"draw system enabled, same", [&] { ds->SetEnabled(true); }, {}},
        {"draw system disabled", [&] { ds->SetEnabled(false); }, change},
        {"draw system disabled again", [&] { ds->SetEnabled(false); }, {}},
        {"draw system smooth", [&] { ds->SetSmooth(true); }, {}},
        {"construction enabled, same", [&] { construction->SetEnabled(true); }, {}},
        {"construction visible, same", [&] { construction->SetVisible(true); }, {}},
        {"construction hidden", [&] { construction->SetVisible(false); }, changeAndRedraw},
        {"construction disabled", [&] { construction->SetEnabled(false); }, changeAndRedraw},
        {"disabled construction shown", [&] { construction->SetVisible(true); }, change},
        {"construction enabled", [&] { construction->SetEnabled(true); }, changeAndRedraw},
    };
    for (const Case& c : cases) {
        EventLog log;
        ds->Events.Add(log.Handler());
        construction->Events.Add(log.Handler());
        c.Set();
        ds->Events.Remove(log.Handler());
        construction->Events.Remove(log.Handler());
        EXPECT_EQ(log.Codes(), c.Expected) << c.What;
    }
    EXPECT_EQ(ds->EnabledChanges, 1);
    EXPECT_TRUE(ds->Smooth());
    EXPECT_TRUE(construction->Enabled());
    EXPECT_TRUE(construction->Visible());
}

TEST_F(SceneClasses, DrawSystemFlags)
{
    auto ds = Make<TSCustomDrawSystem3D>();
    ds->SetName("ds");
    ds->SetEnabled(false);
    ds->SetSmooth(true);
    MemoryStream stream;
    EXPECT_EQ(ds->Save(&stream), 4 + 2 + 4);
    EXPECT_EQ(IntAt(stream, 6), 2);

    PutIntAt(stream, 6, 3);
    stream.Pos = 0;
    EventLog log;
    auto loaded = Make<TSCustomDrawSystem3D>();
    loaded->Events.Add(log.Handler());
    EXPECT_EQ(loaded->Load(&stream), 10);
    EXPECT_TRUE(loaded->Enabled());
    EXPECT_TRUE(loaded->Smooth());
    EXPECT_EQ(loaded->Name(), "ds");
    EXPECT_TRUE(log.Codes().empty());
    EXPECT_EQ(loaded->Save(nullptr), -1);
}

TEST_F(SceneClasses, ConstructionAndLightRecords)
{
    MemoryStream stream;
    stream.Known = {&TSBasis3D::ClassInfo};
    auto light = Make<TSCustomLightSystem3D>();
    light->SetName("L");
    light->SetEnabled(false);
    light->Frame()->Transform(IdentityMatrix(), {1, 2, 3});
    const std::int32_t written = light->Save(&stream);
    EXPECT_EQ(written, static_cast<std::int32_t>(stream.Bytes.size()));
    // Flags (Visible only: a light is invisible by default, here disabled), then CastsShadows.
    EXPECT_EQ(IntAt(stream, stream.Bytes.size() - 8), 0);
    EXPECT_EQ(IntAt(stream, stream.Bytes.size() - 4), 0);

    // Only the low byte of CastsShadows counts.
    for (const auto& [saved, casts] : {std::pair{0x101, true}, {0x100, false}, {1, true}}) {
        PutIntAt(stream, stream.Bytes.size() - 8, 3);
        PutIntAt(stream, stream.Bytes.size() - 4, saved);
        stream.Pos = 0;
        auto loaded = Make<TSCustomLightSystem3D>();
        EXPECT_EQ(loaded->Load(&stream), written);
        EXPECT_EQ(loaded->CastsShadows(), casts) << saved;
        EXPECT_TRUE(loaded->Enabled());
        EXPECT_TRUE(loaded->Visible());
        EXPECT_EQ(loaded->Frame()->Name(), "L");
        EXPECT_TRUE(SameVector3D(loaded->Frame()->Origin(), {1, 2, 3}));
    }
}

TEST_F(SceneClasses, ObjectFollowsItsFrame)
{
    EventLog log;
    auto object = Make<TSCustomObject3D>();
    EXPECT_EQ(object->Frame()->Owner(), object.get());
    object->SetName("thing");
    EXPECT_EQ(object->Frame()->Name(), "thing");
    object->Events.Add(log.Handler());
    object->Frame()->RotateAboutOrigin(Rotation({0, 0, 1}, 1));
    EXPECT_EQ(log.Codes(), (Events{{ecUpdateBegin, 0}, {ecUpdateEnd, 0}}));

    TSVector3D lower, upper;
    object->GetLowerBound(lower);
    object->GetUpperBound(upper);
    EXPECT_TRUE(SameVector3D(lower, {-1, -1, -1}));
    EXPECT_TRUE(SameVector3D(upper, {1, 1, 1}));
    // The object and its frame: two records.
    EXPECT_EQ(object->Process(ocBeginOperation, ocSave), 1 + 0);
    EXPECT_EQ(object->Process(ocEndOperation, ocLoad), 1 + 0);
    EXPECT_EQ(object->Process(ocBeginOperation, ocLink), -1);
    EXPECT_EQ(object->Link(nullptr), -1);
}

TEST_F(SceneClasses, UnreadableFrameRecordKeepsTheOldFrame)
{
    auto original = Make<TSCustomObject3D>();
    original->SetName("obj");
    MemoryStream saved;
    saved.Known = {&TSBasis3D::ClassInfo};
    original->Save(&saved);

    // The frame's class unknown to the reader, and a nil record.
    MemoryStream unknown;
    unknown.Bytes = saved.Bytes;
    MemoryStream nil;
    WriteStreamString(&nil, "obj");
    WriteStreamString(&nil, "");
    const std::int32_t zero = 0;
    nil.Write(&zero, 4);
    for (MemoryStream* stream : {&unknown, &nil}) {
        stream->Pos = 0;
        EventLog log;
        auto object = Make<TSCustomObject3D>();
        object->Frame()->Transform(IdentityMatrix(), {5, 5, 5});
        TSBasis3D* frame = object->Frame();
        const std::string error = ErrorOf([&] { object->Load(stream); });
        EXPECT_NE(error.find("\n\rCan't load : Invalid Object"), std::string::npos) << error;
        EXPECT_NE(error.find("Type - TSCustomObject3D"), std::string::npos) << error;
        EXPECT_EQ(object->Frame(), frame);
        EXPECT_TRUE(SameVector3D(frame->Origin(), {5, 5, 5}));
        // Still its object's frame: its updates come through.
        object->Events.Add(log.Handler());
        frame->Transform(IdentityMatrix(), {});
        EXPECT_EQ(log.Codes().size(), 2u);
    }

    // A readable record replaces the frame; the old one's events are no longer heard.
    saved.Pos = 0;
    EventLog log;
    auto object = Make<TSCustomObject3D>();
    object->Load(&saved);
    EXPECT_EQ(object->Frame()->Name(), "obj");
    object->Events.Add(log.Handler());
    object->Frame()->Transform(IdentityMatrix(), {});
    EXPECT_EQ(log.Codes().size(), 2u);
}

TEST_F(SceneClasses, DefaultDrawIsOneWhitePointAtTheOrigin)
{
    auto ds = Make<TRecordingDrawSystem>();
    auto camera = Make<TSCustomProjectionSystem3D>();
    camera->Frame()->Transform(IdentityMatrix(), {1, 0, 0});
    auto construction = Make<TSCustomConstruction3D>();
    construction->Frame()->Transform(IdentityMatrix(), {1, 2, 3});
    TSRenderContext context;
    context.Camera = camera.get();
    context.DrawSystem = ds.get();

    construction->Draw(context);
    ASSERT_EQ(ds->Points.size(), 1u);
    const TSVertex3DSingle& p = ds->Points[0];
    EXPECT_FLOAT_EQ(p.X, 0);
    EXPECT_FLOAT_EQ(p.Y, 2);
    EXPECT_FLOAT_EQ(p.Z, 3);
    EXPECT_EQ(p.R + p.G + p.B, 3.0f);

    // Not drawn: invisible, disabled, no camera; no drawing system draws nothing.
    construction->SetVisible(false);
    construction->Draw(context);
    construction->SetVisible(true);
    construction->SetEnabled(false);
    construction->Draw(context);
    construction->SetEnabled(true);
    context.Camera = nullptr;
    construction->Draw(context);
    context.Camera = camera.get();
    context.DrawSystem = nullptr;
    construction->Draw(context);
    EXPECT_EQ(ds->Points.size(), 1u);
    EXPECT_EQ(construction->CreateDerived(nullptr), nullptr);
}

TEST_F(SceneClasses, CamerasAndLights)
{
    EventLog log;
    auto camera = Make<TSCustomProjectionSystem3D>();
    auto light = Make<TSCustomLightSystem3D>();
    EXPECT_FALSE(camera->Visible());
    EXPECT_FALSE(light->Visible());
    EXPECT_TRUE(light->Enabled());
    EXPECT_FALSE(light->CastsShadows());

    camera->Frame()->SetPlacement(Rotation({0, 0, 1}, std::numbers::pi / 2), {1, 1, 0});
    TSVector3DSingle projected;
    camera->ProjectWorldPoint({1, 3, 5}, projected);
    EXPECT_NEAR(projected.X, 2, 1e-6);
    EXPECT_NEAR(projected.Y, 0, 1e-6);
    EXPECT_NEAR(projected.Z, 5, 1e-6);
    TSVector3D view;
    camera->ViewVector(TSVector3D{4, 4, 4}, view);
    EXPECT_TRUE(Near(view, {3, 3, 4}));
    TSVector3DSingle viewSingle;
    camera->ViewVector(TSVector3DSingle{4, 4, 4}, viewSingle);
    EXPECT_FLOAT_EQ(viewSingle.X, 3);

    light->Events.Add(log.Handler());
    light->RefreshLighting();
    light->SetEnabled(false);
    light->RefreshLighting();
    EXPECT_EQ(log.Codes(), (Events{{ecInvalidate, 0}, {ecBeginChange, 0}, {ecInvalidate, 0}, {ecEndChange, 0}}));
}

TEST_F(SceneClasses, RegistersKeepTheLiveObjects)
{
    auto law = Make<TSCustomReflectionLaw>();
    auto ds = Make<TSCustomDrawSystem3D>();
    auto camera = Make<TSCustomProjectionSystem3D>();
    ASSERT_TRUE(GlobalReflectionLawsList() && GlobalDrawSystemsList() && GlobalConstructionsList());
    EXPECT_EQ(GlobalReflectionLawsList()->Name(), "Global List of SCustomReflectionLaw");
    EXPECT_GE(GlobalReflectionLawsList()->IndexOf(law.get()), 0);
    EXPECT_GE(GlobalDrawSystemsList()->IndexOf(ds.get()), 0);
    EXPECT_GE(GlobalConstructionsList()->IndexOf(camera.get()), 0);
    EXPECT_GE(GlobalBasis3DList()->IndexOf(camera->Frame()), 0);
    TSObject* gone = camera.get();
    camera.reset();
    EXPECT_EQ(GlobalConstructionsList()->IndexOf(gone), -1);
    EXPECT_NE(FindRTDClass("TSCustomLightSystem3D"), nullptr);
    EXPECT_NE(FindRTDClass("TSBasis3D"), nullptr);
}
