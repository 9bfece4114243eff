// The navigator's preview models: both texts load into ties constructions with their
// counts and odd values, and an independent Python reader checks their geometry.

#include "Command.h"
#include "TempDir.h"
#include "Viewer3DTestSupport.h"

#include "viewer3d/forms/NavigatorModels.h"

#include "engine3d/scene/SClasses3DPoints.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace {

std::string Joined(const std::vector<std::string>& Lines)
{
    std::string text;
    for (const std::string& line : Lines)
        text += line + "\r\n";
    return text;
}

class NavigatorModels : public Viewer3DTest {};

TEST_F(NavigatorModels, LoadWithTheirCountsAndGeometry)
{
    std::unique_ptr<TSTiesConstruction3D> reper(TSObject::Create<TSTiesConstruction3D>());
    reper->LoadFromStrings(ReperData());
    EXPECT_EQ(reper->Count(), 96);
    EXPECT_EQ(reper->TieCount(), 95);
    EXPECT_EQ(reper->GetPoint(69)->Position.Z, 0.707f);
    EXPECT_EQ(reper->GetPoint(95)->Position.Z, 0.018117f);
    EXPECT_EQ(reper->GetPoint(78)->Intensity.X, 0.8f);
    EXPECT_EQ(reper->GetTie(94)->Index(0), 95);
    std::unique_ptr<TSTiesConstruction3D> dial(TSObject::Create<TSTiesConstruction3D>());
    dial->LoadFromStrings(DialData());
    EXPECT_EQ(dial->Count(), 36);
    EXPECT_EQ(dial->TieCount(), 16);
    EXPECT_EQ(dial->GetTie(0)->Kind(), 4);
    EXPECT_EQ(dial->GetTie(1)->Kind(), 2);

    testsupport::TempDir dir;
    for (auto [name, lines] : {std::pair{"reper.txt", &ReperData()}, std::pair{"dial.txt", &DialData()}}) {
        std::ofstream out(dir.File(name), std::ios::binary);
        out << Joined(*lines);
    }
    const testsupport::CommandResult run =
        testsupport::RunCommand("/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer3d/navigator_models_check.py '" +
                                dir.File("reper.txt") + "' '" + dir.File("dial.txt") + "' 2>&1");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "OK\n");
}

}  // namespace
