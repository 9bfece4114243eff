// Start-up of the viewer library: its splash notice and its resources.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/BarResources.h"
#include "PellionApp.h"
#include "PellionModule.h"
#include "platform/resources/Splash.h"
#include "ViewerStrings.h"
#include "bars/ViewerBars.h"

namespace {

TEST(PellionApp, AnnouncesItselfAndHasItsResources)
{
    EXPECT_EQ(PellionProcessAttach(), 1) << "no splash window: loads silently";
    std::vector<std::pair<unsigned long, std::string>> notices;
    plat::SetSplashListener(
        [&](unsigned long code, const std::string& text, QWidget*) { notices.emplace_back(code, text); });
    EXPECT_EQ(PellionProcessAttach(), 1);
    plat::SetSplashListener({});
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], std::make_pair(1ul, std::string("Pellion Module Initializing...")));

    EXPECT_NE(plat::FindMenu(IDR_VIEWER_MENU, kPellionModule), nullptr);
    EXPECT_NE(plat::FindToolBar(IDR_VIEWER_TOOLBAR, kPellionModule), nullptr);
    EXPECT_EQ(LoadViewerString(IDS_VIEWER_TITLE), "Viewer: File not found");
    EXPECT_EQ(LoadViewerString(IDS_ERROR_OPENING_FILE), "Error opening file !");
    EXPECT_EQ(LoadViewerString(IDS_HELP_TOPIC), "2d_viewer.htm");
}

}  // namespace
