// "View" on a finished conversion: each result in a new viewer without host.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>

#include <chrono>
#include <string>
#include <vector>

#include "platform/windows/MainWindow.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "ResultViewers.h"
#include "TempDir.h"
#include "frame/FrameViewer.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "window/ViewRect.h"
#include "window/ViewerMessages.h"

using namespace std::chrono_literals;

namespace {

void WriteGrey(const std::string& path, int w, int h)
{
    CRDPLayer layer;
    void** rows = layer.CreateLayer(path.c_str(), w, h, UINT8, 5);
    ASSERT_NE(rows, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<unsigned char*>(rows[y])[x] = static_cast<unsigned char>(x * 7 + y);
    ASSERT_EQ(layer.CloseLayer(), 1);
}

// The application's main window, which hears of every new viewer.
struct MainWindow {
    MainWindow()
    {
        handle = plat::WindowHandle::Attach(&widget, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            if (msg == WM_VIEWER_NOTIFY && l == VN_CREATED)
                created.emplace_back(reinterpret_cast<CFrameViewer*>(w));
            return plat::LResult(0);
        });
        plat::SetMainWindow(handle);
    }
    ~MainWindow()
    {
        for (QPointer<CFrameViewer>& v : created)
            if (v)
                v->DestroyWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        plat::SetMainWindow({});
    }
    QWidget widget;
    plat::WindowHandle handle;
    std::vector<QPointer<CFrameViewer>> created;
};

bool Shown(CFrameViewer* v)
{
    return v && v->GetViewRect()->GetCount() == 1 && v->windowTitle() != "Viewer: File not found";
}

TEST(ResultViewers, EachResultOpensInItsOwnViewer)
{
    testsupport::TempDir dir;
    const std::string a = dir.File("a.rdp"), b = dir.File("b.rdp");
    WriteGrey(a, 20, 10);
    WriteGrey(b, 8, 6);
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    MainWindow main;

    OpenResultInViewer(new std::string(a));
    ASSERT_EQ(main.created.size(), 1u);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return Shown(main.created[0]); }, 30s));

    // A missing result does not keep the others from opening.
    OpenResultsInViewer(new ResultFileList{{b, dir.File("gone.rdp"), a}});
    ASSERT_EQ(main.created.size(), 4u);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return Shown(main.created[1]) && Shown(main.created[3]); }, 30s));
    EXPECT_FALSE(Shown(main.created[2]));

    // Nothing to open: nothing happens, and the empty records are freed all the same.
    OpenResultsInViewer(new ResultFileList{});
    OpenResultInViewer(nullptr);
    EXPECT_EQ(main.created.size(), 4u);
}

}  // namespace
