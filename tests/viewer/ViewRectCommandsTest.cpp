// The image window's queries and commands on real layers, offscreen: the empty answers
// without a layer, the channel rules, the context menu, "Skip to pixel", the selection
// frame and its save, and the bitmap export (checked through ImageMagick and GDAL).

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/BarResources.h"
#include "platform/windows/CommandBars.h"
#include "FakeMeter.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "ModalDriver.h"
#include "PalitraTag.h"
#include "PellionModule.h"
#include "RasterViewTestSupport.h"
#include "SegmentCheck.h"
#include "bars/ViewerBars.h"
#include "dialogs/FileMasks.h"
#include "layer/RDPFileTags.h"
#include "view/RGBView.h"
#include "view/RasterView.h"
#include "view/RenderSource.h"
#include "window/BitmapExport.h"
#include "window/ViewRect.h"

namespace {

namespace fs = std::filesystem;
using namespace rvtest;

int Sample(int x, int y)
{
    return (x * 7 + y * 13) % 256;
}

// Not grey, so that the colour order of the file shows.
PalitraTag ColourPalette()
{
    PalitraTag p;
    for (int i = 0; i < 256; ++i) {
        p.entries[i][0] = static_cast<unsigned char>(i);
        p.entries[i][1] = static_cast<unsigned char>(255 - i);
        p.entries[i][2] = static_cast<unsigned char>((i * 7) & 255);
    }
    return p;
}

// The frame window: records the notices, commands and cross-hair reports it gets.
class OwnerWindow final {
public:
    OwnerWindow()
    {
        handle = plat::WindowHandle::Attach(&widget, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            if (msg == WM_VIEWER_NOTIFY)
                notices.emplace_back(int(w), int(l));
            else if (msg == plat::WM_COMMAND)
                commands.push_back(unsigned(w));
            else if (msg == WM_VIEWER_POINTER)
                pointer = CPoint{int(w), int(l)};
            return plat::LResult(0);
        });
    }
    bool WaitFor(size_t count)
    {
        return testsupport::PumpUntil([&] { return notices.size() >= count; }, std::chrono::seconds(60));
    }

    QWidget widget;
    plat::WindowHandle handle;
    std::vector<std::pair<int, int>> notices;
    std::vector<unsigned> commands;
    CPoint pointer{-1, -1};
};

plat::FileDialogResult Chosen(const std::string& path)
{
    plat::FileDialogResult r;
    r.ok = true;
    r.paths = {path};
    r.filterIndex = 1;
    return r;
}

class ViewRectCommands : public ViewFixture {
protected:
    ViewRectCommands() : m_win(std::make_unique<CViewRect>(m_owner.handle))
    {
        m_win->resize(240, 180);
        m_win->show();
    }

    void TearDown() override
    {
        ViewFixture::TearDown();
        CloseProgressWindows();
    }

    // A UINT8 layer with stretch None (display value = sample) and palette in tag 201.
    std::string MakeLayer(const std::string& name, int w, int h, const PalitraTag& palette)
    {
        const std::string path = File(name);
        WriteLayer(path, w, h, UINT8, [](int x, int y, int) { return double(Sample(x, y)); });
        EXPECT_EQ(SetTag(path.c_str(), kPalitraTagNumber, int(sizeof palette), &palette), 1);
        return path;
    }

    // Loads a layer into a window with none and waits for its first display.
    void Load(const std::string& path)
    {
        const size_t before = m_owner.notices.size();
        ASSERT_EQ(m_win->LoadNewLayer(path.c_str(), 0, 2.0, 1, nullptr, {}), 0);
        ASSERT_TRUE(m_owner.WaitFor(before + 1));
        ASSERT_EQ(m_owner.notices.back(), std::make_pair(0, 2));
    }

    std::string LoadGrey(int w, int h)
    {
        PalitraTag grey;
        for (int i = 0; i < 256; ++i)
            grey.entries[i][0] = grey.entries[i][1] = grey.entries[i][2] = static_cast<unsigned char>(i);
        const std::string path = MakeLayer("grey.rdp", w, h, grey);
        Load(path);
        return path;
    }

    QImage Shot()
    {
        m_win->Invalidate();
        m_win->UpdateWindow();
        return m_win->Buffer().copy();
    }

    // Runs the context menu at a client point; act sees the open menu (or null) and
    // may trigger one of its actions.
    void ContextMenu(const std::function<void(QMenu*)>& act)
    {
        bool seen = false;
        const auto shown = [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            return menu != nullptr && menu->isVisible();
        };
        testsupport::ModalSteps script(shown, {testsupport::Once([&] {
                                           seen = true;
                                           auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                                           act(menu);
                                           if (menu->isVisible())
                                               menu->close();
                                       })});
        const QPoint at = m_win->mapToGlobal(QPoint(30, 40));
        m_win->OnContextMenu(CPoint{at.x(), at.y()});
        script.Stop();
        if (!seen)
            act(nullptr);  // no menu came
    }

    OwnerWindow m_owner;
    std::unique_ptr<CViewRect> m_win;
};

TEST_F(ViewRectCommands, WithoutAnActiveLayerQueriesAnswerEmptyAndCommandsDoNothing)
{
    struct Query {
        const char* name;
        std::function<bool(CViewRect&)> empty;
    } queries[] = {
        {"ImageWidth", [](CViewRect& w) { return w.ImageWidth() == 0; }},
        {"ImageHeight", [](CViewRect& w) { return w.ImageHeight() == 0; }},
        {"Min", [](CViewRect& w) { return w.Min(1) == 0.0; }},
        {"Max", [](CViewRect& w) { return w.Max(1) == 0.0; }},
        {"Mean", [](CViewRect& w) { return w.Mean(1) == 0.0; }},
        {"StDev", [](CViewRect& w) { return w.StDev(1) == 0.0; }},
        {"GetStringSizePixel", [](CViewRect& w) { return w.GetStringSizePixel(1).empty(); }},
        {"GetStringTypeData", [](CViewRect& w) { return w.GetStringTypeData(1).empty(); }},
        {"GetFileName", [](CViewRect& w) { return w.GetFileName(1).empty(); }},
        {"GetHistAddr", [](CViewRect& w) { return w.GetHistAddr(1) == nullptr; }},
        {"GetColorMode", [](CViewRect& w) { return w.GetColorMode() == 0; }},
        {"IsFazaMode", [](CViewRect& w) { return w.IsFazaMode() == 0; }},
        {"GetValueString", [](CViewRect& w) { return w.GetValueString(1, 1).empty(); }},
        {"GetActiveView", [](CViewRect& w) { return w.GetActiveView() == nullptr; }},
        {"GetPalitra",
         [](CViewRect& w) {
             PalitraTag p;
             p.entries[7][1] = 77;
             w.GetPalitra(&p);
             return p.entries[7][1] == 77;
         }},
    };
    // Before any layer, and after the last one was closed.
    for (bool closed : {false, true}) {
        if (closed) {
            LoadGrey(20, 10);
            EXPECT_EQ(m_win->ImageWidth(), 20);
            m_win->CloseAll();
        }
        for (const auto& q : queries)
            EXPECT_TRUE(q.empty(*m_win)) << q.name << (closed ? " after closing" : "");
    }

    plat::ScopedFileDialogAnswerer dialog(Chosen(File("nothing.bmp")));
    PalitraTag p;
    m_win->SetBrightness(10, 1);
    m_win->SetContrast(10);
    m_win->Equalize();
    m_win->SetPalitra(&p);
    m_win->ShowProfile(1, 0);
    m_win->ShowCross(1);
    m_win->MoveCross(3, 3);
    m_win->ShowFrame(1);
    m_win->SaveSelection();
    m_win->SaveAsBitmap();
    EXPECT_FALSE(m_win->GetCross().IsShown());
    EXPECT_FALSE(m_win->GetFrame().IsShown());
    EXPECT_TRUE(dialog.Calls().empty());
    EXPECT_EQ(GlobalThreadList().GetCount(), 0);
}

TEST_F(ViewRectCommands, ChannelRulesOfFileNameAndHistogram)
{
    const std::string single = LoadGrey(20, 10);
    std::string channels[3];
    for (int c = 0; c < 3; ++c) {
        channels[c] = File("channel" + std::to_string(c) + ".rdp");
        WriteLayer(channels[c], 20, 10, UINT8, [c](int x, int y, int) { return double(Sample(x + c, y)); });
    }
    // The three-channel layer becomes active once the single-band one is closed.
    const size_t before = m_owner.notices.size();
    ASSERT_EQ(m_win->LoadNewLayer(channels[0].c_str(), channels[1].c_str(), channels[2].c_str(), nullptr, {}), 1);
    ASSERT_TRUE(WaitForNoJobs());

    struct Case {
        int mode;  // the active layer's colour mode
        int channel;
        bool answers;
    } cases[] = {{1, 1, true}, {1, 2, false}, {1, 3, false}, {2, 1, false}, {2, 3, true}, {2, 5, true}};
    for (const auto& c : cases) {
        if (c.mode == 2 && m_win->GetColorMode() == 1) {
            m_win->CloseView(0);
            ASSERT_EQ(m_win->GetActive(), 0);
            // The ready notice of the now active layer was sent while it was not active.
            EXPECT_EQ(m_owner.notices.size(), before);
        }
        ASSERT_EQ(m_win->GetColorMode(), c.mode);
        const std::string expected = !c.answers ? "" : c.mode == 1 ? single : channels[c.channel - 3];
        EXPECT_EQ(m_win->GetFileName(c.channel), expected) << c.mode << "/" << c.channel;
        EXPECT_EQ(m_win->GetHistAddr(c.channel) != nullptr, c.answers) << c.mode << "/" << c.channel;
        if (c.answers)
            EXPECT_EQ(m_win->GetHistAddr(c.channel), m_win->GetActiveView()->GetHistAddr(c.channel));
    }
    EXPECT_EQ(m_win->ImageWidth(), 20);
    EXPECT_EQ(m_win->Max(4), m_win->GetActiveView()->Max(4));
    EXPECT_EQ(m_win->GetStringTypeData(3), m_win->GetActiveView()->GetStringTypeData(3));
}

TEST_F(ViewRectCommands, CommandsReachTheActiveLayerAndRedraw)
{
    LoadGrey(64, 48);
    EXPECT_EQ(m_win->GetValueString(3, 2), m_win->GetActiveView()->GetValueString(3, 2));
    EXPECT_EQ(m_win->Mean(1), m_win->GetActiveView()->Mean(1));
    PalitraTag red;
    for (int i = 0; i < 256; ++i)
        red.entries[i][0] = static_cast<unsigned char>(i);
    m_win->SetPalitra(&red);
    PalitraTag back;
    m_win->GetPalitra(&back);
    EXPECT_EQ(std::memcmp(back.entries, red.entries, sizeof red.entries), 0);
    // Redrawn at once: the buffer already shows the new palette.
    const QImage now = m_win->Buffer().copy();
    EXPECT_EQ(now.pixel(5, 7) | 0xFF000000u, qRgb(Sample(5, 7), 0, 0));
}

TEST_F(ViewRectCommands, ContextMenuOffersItsCommandsToTheOwner)
{
    // No layer: no menu.
    ContextMenu([](QMenu* menu) { EXPECT_EQ(menu, nullptr); });

    LoadGrey(64, 48);
    auto actionOf = [](QMenu* menu, unsigned id) -> QAction* {
        for (QAction* a : plat::CommandActions(menu, id))
            return a;
        return nullptr;
    };
    // Nothing shown: "Save selection" greyed; the chosen command reaches the owner.
    ContextMenu([&](QMenu* menu) {
        ASSERT_NE(menu, nullptr);
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        EXPECT_EQ(texts, (QStringList{"Zoom in", "Zoom out", "Fit in the window", "1:1 Scale", "Save selection"}));
        ASSERT_NE(actionOf(menu, ID_VR_CM_SAVE_SELECTION), nullptr);
        EXPECT_FALSE(actionOf(menu, ID_VR_CM_SAVE_SELECTION)->isEnabled());
        actionOf(menu, ID_VR_CM_FIT)->trigger();
    });
    EXPECT_EQ(m_owner.commands, std::vector<unsigned>{ID_VR_CM_FIT});

    // The frame shown: enabled. This is the picture kept of the open menu.
    m_win->ShowFrame(1);
    ContextMenu([&](QMenu* menu) {
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(actionOf(menu, ID_VR_CM_SAVE_SELECTION)->isEnabled());
        if (const char* dir = std::getenv("SUITE_SCREENSHOT_DIR"))
            menu->grab().save(QString::fromUtf8(dir) + "/viewrect-context-menu.png");
        actionOf(menu, ID_VR_CM_SAVE_SELECTION)->trigger();
    });
    EXPECT_EQ(m_owner.commands, (std::vector<unsigned>{ID_VR_CM_FIT, ID_VR_CM_SAVE_SELECTION}));

    // While the overlay drags: no menu.
    CFrame& frame = m_win->GetFrame();
    const CRect f = frame.GetFrame();
    const CPoint inside = frame.WindowPoint(CPoint{(f.left + f.right) / 2, (f.top + f.bottom) / 2}, 0, 0);
    m_win->OnMouseMove(inside);
    m_win->OnLButtonDown(inside);
    ASSERT_EQ(frame.Drag(), 3);
    ContextMenu([](QMenu* menu) { EXPECT_EQ(menu, nullptr); });
    m_win->OnLButtonUp(inside);
    EXPECT_EQ(frame.Drag(), 0);
    EXPECT_EQ(m_owner.commands.size(), 2u);
}

TEST_F(ViewRectCommands, SkipToPixelCentresAndPutsTheCrossOnTheSample)
{
    LoadGrey(300, 200);
    m_win->ShowCross(1);
    m_win->SetScale(0.5);
    const int x = 100, y = 70;
    m_win->MoveCross(x, y);
    const auto client = m_win->GetClientSize();
    // Centred on (2x, 2y), the view starting at a whole sample.
    EXPECT_EQ(m_win->GetScroll(plat::SB_HORZ).nPos, (2 * x - client.cx / 2) / 2 * 2);
    EXPECT_EQ(m_win->GetScroll(plat::SB_VERT).nPos, (2 * y - client.cy / 2) / 2 * 2);
    const CPoint centre = m_win->GetCross().GetCentre();
    EXPECT_EQ(centre, m_win->ImageToScreen(CPoint{x, y}));
    EXPECT_EQ(m_win->ScreenToImage(centre), (CPoint{x, y}));
    EXPECT_EQ(m_owner.pointer, (CPoint{x, y})) << "reported in image samples";

    // The buffer shows the picture with the dotted XOR lines through the centre: the
    // gaps invert the sample under them.
    const QImage img = Shot();
    int inverted = 0;
    for (int row = 0; row < client.cy; ++row) {
        if (row == centre.y)
            continue;
        const CPoint sample = m_win->ScreenToImage(CPoint{centre.x, row});
        const QRgb picture = qRgb(Sample(sample.x, sample.y), Sample(sample.x, sample.y), Sample(sample.x, sample.y));
        const QRgb shown = img.pixel(centre.x, row) | 0xFF000000u;
        if (row % 6 >= 3) {
            EXPECT_EQ(shown, picture ^ 0x00FFFFFFu) << row;
            ++inverted;
        } else {
            EXPECT_EQ(shown, picture) << row;
        }
        // The column beside is the picture alone.
        const CPoint next = m_win->ScreenToImage(CPoint{centre.x + 1, row});
        ASSERT_EQ(img.pixel(centre.x + 1, row) | 0xFF000000u,
                  qRgb(Sample(next.x, next.y), Sample(next.x, next.y), Sample(next.x, next.y)))
            << row;
    }
    EXPECT_GT(inverted, 20);
    if (const char* dir = std::getenv("SUITE_SCREENSHOT_DIR")) {
        m_win->ShowFrame(1);
        m_win->grab().save(QString::fromUtf8(dir) + "/viewrect-cross-and-frame.png");
        m_win->ShowFrame(0);
    }

    m_win->ShowCross(0);
    EXPECT_FALSE(m_win->GetCross().IsShown());
}

TEST_F(ViewRectCommands, ADraggedCrossReportsImageSamplesUntilReleased)
{
    LoadGrey(300, 200);
    m_win->SetScale(0.5);
    m_win->ShowCross(1);
    const CPoint start = m_win->GetCross().GetCentre();
    // A press beside the crossing (within 4 pixels) takes it.
    m_win->OnLButtonDown(CPoint{start.x + 4, start.y - 4});
    m_win->OnMouseMove(CPoint{37, 21});
    EXPECT_EQ(m_win->GetCross().GetCentre(), (CPoint{37, 21}));
    EXPECT_EQ(m_owner.pointer, m_win->ScreenToImage(CPoint{37, 21}));
    EXPECT_EQ(m_owner.pointer, (CPoint{18, 10}));
    m_win->OnLButtonUp(CPoint{37, 21});
    m_win->OnMouseMove(CPoint{80, 90});
    EXPECT_EQ(m_win->GetCross().GetCentre(), (CPoint{37, 21}));
    // A press farther away is the tool's (centre): the cross stays with its sample.
    m_win->OnLButtonDown(CPoint{120, 100});
    EXPECT_EQ(m_win->ScreenToImage(m_win->GetCross().GetCentre()), (CPoint{18, 10}));
}

TEST_F(ViewRectCommands, EachToolHasItsCursor)
{
    LoadGrey(64, 48);
    const unsigned ids[] = {282, 249, 241, 269, 268};
    for (int code = 1; code <= 5; ++code) {
        m_win->SetMouseTool(code);
        m_win->OnSetCursor();
        const plat::CursorResource* resource = plat::FindCursor(ids[code - 1], kPellionModule);
        ASSERT_NE(resource, nullptr) << code;
        EXPECT_EQ(m_win->cursor().shape(), Qt::BitmapCursor) << code;
        EXPECT_EQ(m_win->cursor().pixmap().toImage(), QPixmap(resource->picture).toImage()) << code;
        EXPECT_EQ(m_win->cursor().hotSpot(), QPoint(resource->hotX, resource->hotY)) << code;
    }
    ASSERT_NE(plat::FindCursor(288, kPellionModule), nullptr);
    // The overlay's sizing cursors, and back to the tool.
    m_win->Handle().SendMessage(WM_VIEWER_CURSOR, 9, 0);
    EXPECT_EQ(m_win->cursor().shape(), Qt::SizeHorCursor);
    m_win->Handle().SendMessage(WM_VIEWER_CURSOR, 1, 0);
    EXPECT_EQ(m_win->cursor().pixmap().toImage(), QPixmap(plat::FindCursor(282, kPellionModule)->picture).toImage());
}

TEST_F(ViewRectCommands, ShowFrameShowsTheDefaultFrameAndRemovesIt)
{
    LoadGrey(64, 48);
    const QImage before = Shot();
    m_win->ShowFrame(1);
    CFrame& frame = m_win->GetFrame();
    ASSERT_TRUE(frame.IsFrameShown());
    // A quarter of the visible image (its right and bottom inclusive).
    const CRect f = frame.GetFrame();
    EXPECT_EQ(f.right - f.left, 63 / 4);
    EXPECT_EQ(f.bottom - f.top, 47 / 4);
    const QImage shown = Shot();
    const CPoint tl = frame.WindowPoint(CPoint{f.left, f.top}, 0, 0);
    const CPoint br = frame.WindowPoint(CPoint{f.right, f.bottom}, 1, 1);
    for (CPoint p : {tl, br, CPoint{tl.x, br.y}, CPoint{(tl.x + br.x) / 2, tl.y}})
        EXPECT_EQ(shown.pixel(p.x, p.y) | 0xFF000000u, qRgb(255, 0, 0)) << p.x << "," << p.y;
    m_win->ShowFrame(0);
    EXPECT_FALSE(frame.IsShown());
    EXPECT_EQ(m_win->Buffer().copy(), before);
    EXPECT_EQ(Shot(), before);
}

TEST_F(ViewRectCommands, SaveSelectionWritesTheFramedSamples)
{
    LoadGrey(64, 48);
    m_win->ShowFrame(1);
    CFrame& frame = m_win->GetFrame();
    // Rows 10..19, columns 5..24, both ends included.
    const CRect f = frame.GetFrame();
    frame.FrameChange(CSize{5 - f.left, 10 - f.top}, 1);
    frame.FrameChange(CSize{24 - f.right, 19 - frame.GetFrame().bottom}, 3);
    ASSERT_EQ(frame.GetFrame(), CRect(5, 10, 24, 19));

    const std::string out = File("selection.rdp");
    plat::ScopedFileDialogAnswerer dialog(Chosen(out));
    m_win->SaveSelection();
    ASSERT_TRUE(WaitForNoJobs());
    ASSERT_EQ(dialog.Calls().size(), 1u);
    CRDPLayer segment;
    ASSERT_NE(segment.OpenLayer(out.c_str(), 0), nullptr);
    ASSERT_EQ(segment.Width(), 20);
    ASSERT_EQ(segment.Height(), 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(static_cast<const unsigned char*>(segment.Rows()[y])[x], Sample(5 + x, 10 + y)) << x << "," << y;
}

// ---- bitmap export --------------------------------------------------------------

std::uint32_t Le32(const std::vector<unsigned char>& b, size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

std::uint16_t Le16(const std::vector<unsigned char>& b, size_t at)
{
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

TEST_F(ViewRectCommands, ExportIsReadAlikeByImageMagickAndGDAL)
{
    const PalitraTag palette = ColourPalette();
    const std::string paletteFile = File("palette.rgb");
    {
        std::ofstream p(paletteFile, std::ios::binary);
        p.write(reinterpret_cast<const char*>(palette.entries), sizeof palette.entries);
    }
    struct Case {
        int width, height, rowBytes;
    } cases[] = {{1, 7, 4}, {4, 3, 12}, {5, 6, 16}, {333, 50, 1000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::string layer = MakeLayer("w" + std::to_string(c.width) + ".rdp", c.width, c.height, palette);
        Load(layer);
        const std::string out = File("w" + std::to_string(c.width) + ".bmp");
        {
            plat::ScopedFileDialogAnswerer dialog(Chosen(out));
            m_win->SaveAsBitmap();
            ASSERT_EQ(dialog.Calls().size(), 1u);
            const plat::FileDialogRequest r = dialog.Calls()[0];
            EXPECT_TRUE(r.save);
            EXPECT_EQ(r.filter, "Windows bitmap files (*.bmp)|*.bmp|All Files (*.*)|*.*||");
            EXPECT_EQ(r.defaultExt, "bmp");
            EXPECT_TRUE(r.fileName.empty());
            EXPECT_TRUE(r.flags & plat::OFN_OVERWRITEPROMPT);
            EXPECT_TRUE(r.owned);
        }
        ASSERT_TRUE(WaitForNoJobs());
        // The progress window closed itself.
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(w->isVisible() && w->windowTitle().toStdString() == m_win->GetLayerName());

        const std::vector<unsigned char> bytes = ReadAll(out);
        const size_t size = 54 + size_t(c.rowBytes) * c.height;
        ASSERT_EQ(bytes.size(), size);
        EXPECT_EQ(Le16(bytes, 0), 0x4D42);
        EXPECT_EQ(Le32(bytes, 2), size);
        EXPECT_EQ(Le32(bytes, 6), 0u);
        EXPECT_EQ(Le32(bytes, 10), 54u);
        EXPECT_EQ(Le32(bytes, 14), 40u);
        EXPECT_EQ(Le32(bytes, 18), std::uint32_t(c.width));
        EXPECT_EQ(Le32(bytes, 22), std::uint32_t(c.height));
        EXPECT_EQ(Le16(bytes, 26), 1);
        EXPECT_EQ(Le16(bytes, 28), 24);
        for (size_t at = 30; at < 54; at += 4)
            EXPECT_EQ(Le32(bytes, at), 0u) << at;
        // The last pixel of the first stored row is the bottom row's, blue first.
        const int v = Sample(c.width - 1, c.height - 1);
        const size_t last = 54 + size_t(c.width - 1) * 3;
        EXPECT_EQ(bytes[last], palette.entries[v][2]);
        EXPECT_EQ(bytes[last + 2], palette.entries[v][0]);

        const std::string cmd = std::string("/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer/bmp_check.py '") + out +
                                "' '" + layer + "' " + std::to_string(PixelOffset(layer)) + " " +
                                std::to_string(c.width) + " " + std::to_string(c.height) + " '" + paletteFile + "'";
        EXPECT_EQ(CommandOutput(cmd), "OK\n") << cmd;
        m_win->CloseAll();
    }
}

TEST_F(ViewRectCommands, AThreeChannelExportHoldsTheChannelsThroughTheirLevels)
{
    constexpr int kW = 37, kH = 21;
    std::string files[3];
    for (int c = 0; c < 3; ++c) {
        files[c] = File("rgb" + std::to_string(c) + ".rdp");
        WriteLayer(files[c], kW, kH, UINT8, [c](int x, int y, int) { return double(Sample(x + 40 * c, y)); });
    }
    ASSERT_EQ(m_win->LoadNewLayer(files[0].c_str(), files[1].c_str(), files[2].c_str(), nullptr, {}), 0);
    ASSERT_TRUE(m_owner.WaitFor(1));
    const int levels[3] = {255, 128, 40};
    m_win->SetBrightness(levels[1], 4);
    m_win->SetBrightness(levels[2], 5);

    const std::string out = File("rgb.bmp");
    {
        plat::ScopedFileDialogAnswerer dialog(Chosen(out));
        m_win->SaveAsBitmap();
    }
    ASSERT_TRUE(WaitForNoJobs());
    // ImageMagick's reading, top row first, red first.
    const std::string raw = File("rgb.raw");
    ASSERT_EQ(CommandOutput("convert '" + out + "' -depth 8 'rgb:" + raw + "'"), "");
    const std::vector<unsigned char> rgb = ReadAll(raw);
    ASSERT_EQ(rgb.size(), size_t(kW) * kH * 3);

    auto* view = dynamic_cast<CRGBView*>(m_win->GetActiveView());
    ASSERT_NE(view, nullptr);
    for (int c = 0; c < 3; ++c) {
        std::vector<unsigned char> display(size_t(kW) * kH);
        ASSERT_EQ(view->GetChannel(3 + c)->GetRegion(display.data(), kW, 0, 0, kW, kH, 1.0, 0, 1, 0, nullptr), 1);
        int differ = 0;
        for (size_t i = 0; i < display.size(); ++i) {
            const int expected = levels[c] == 255 ? display[i] : (display[i] * levels[c]) >> 8;
            differ += rgb[i * 3 + size_t(c)] != expected;
        }
        EXPECT_EQ(differ, 0) << "channel " << c;
    }
}

// A picture of a chosen size, filled with one byte, that may throw from its first row.
class FakeSource final : public CRenderSource {
public:
    FakeSource(int w, int h, bool fail) : m_w(w), m_h(h), m_fail(fail) {}
    int GetWidth() const override { return m_w; }
    int GetHeight() const override { return m_h; }
    void RenderRGB(int, int, int, int height, int rowBytes, int, double, int, unsigned char* out, std::size_t,
                   CMeterInfoBase* meter) const override
    {
        std::memset(out, 0x5A, size_t(rowBytes) * size_t(height));
        if (meter) {
            meter->SetRange(0, 1);
            meter->StepIt();
        }
        if (m_fail)
            throw std::runtime_error("render failed");
    }

private:
    int m_w, m_h;
    bool m_fail;
};

TEST(BitmapExport, SizesFitTheFormatOrAreRefused)
{
    struct Case {
        int width, height;
        std::int64_t rowBytes;  // 0: refused
    } cases[] = {{1, 7, 4},
                 {4, 3, 12},
                 {5, 1, 16},
                 {333, 2, 1000},
                 {0, 5, 0},
                 {5, 0, 0},
                 {-1, 3, 0},
                 {65536, 21845, 196608},
                 {65536, 21846, 0} /* past 4 GiB */,
                 {INT32_MAX, 1, 0}};
    for (const auto& c : cases) {
        const auto size = BitmapSizeFor(c.width, c.height);
        ASSERT_EQ(size.has_value(), c.rowBytes != 0) << c.width << " x " << c.height;
        if (size) {
            EXPECT_EQ(size->rowBytes, c.rowBytes);
            EXPECT_EQ(size->fileSize, 54 + c.rowBytes * c.height);
        }
    }
}

TEST_F(ViewRectCommands, FailedOrCancelledExportsLeaveNoFileAndKeepAnOldOne)
{
    const std::string old = File("old.bmp");
    {
        std::ofstream f(old, std::ios::binary);
        f << "an older picture";
    }
    const std::vector<unsigned char> oldBytes = ReadAll(old);
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    struct Case {
        const char* what;
        std::string path;
        std::shared_ptr<CRenderSource> source;
        testsupport::FakeMeter::Fault fault;
        bool cancel;
        BitmapWrite result;
    } cases[] = {
        {"cancelled", File("new.bmp"), std::make_shared<FakeSource>(9, 9, false), testsupport::FakeMeter::Fault::Cancel,
         true, BitmapWrite::Abandoned},
        {"cancelled over an old file", old, std::make_shared<FakeSource>(9, 9, false),
         testsupport::FakeMeter::Fault::Cancel, true, BitmapWrite::Abandoned},
        {"failing", old, std::make_shared<FakeSource>(9, 9, true), testsupport::FakeMeter::Fault::Cancel, false,
         BitmapWrite::Abandoned},
        {"too large", old, std::make_shared<FakeSource>(65536, 21846, false), testsupport::FakeMeter::Fault::Cancel,
         false, BitmapWrite::NotCreated},
        {"unwritable folder", old + "/inside.bmp", std::make_shared<FakeSource>(9, 9, false),
         testsupport::FakeMeter::Fault::Cancel, false, BitmapWrite::NotCreated},
    };
    for (const auto& c : cases) {
        testsupport::FakeMeter meter;
        meter.failAt = c.cancel ? 1 : 1000;
        meter.fault = c.fault;
        EXPECT_EQ(WriteBitmapFile(c.path, *c.source, &meter), c.result) << c.what;
        EXPECT_EQ(ReadAll(old), oldBytes) << c.what;
        EXPECT_FALSE(fs::exists(File("new.bmp"))) << c.what;
        // Nothing but the old file in the folder: no temporary left behind.
        int files = 0;
        for (const auto& entry : fs::directory_iterator(File("")))
            files += entry.is_regular_file();
        EXPECT_EQ(files, 1) << c.what;
    }
    EXPECT_TRUE(boxes.Calls().empty()) << "the writer asks nobody";

    // The job cancelled over the old file: no box either.
    testsupport::FakeMeter meter;
    meter.failAt = 1;
    CViewRect::SaveBitmapJob(new BitmapJobParams{m_win->Handle(), old, std::make_shared<FakeSource>(9, 9, false)},
                             &meter);
    EXPECT_EQ(ReadAll(old), oldBytes);
    EXPECT_TRUE(boxes.Calls().empty());
}

// Only a file that cannot be made is reported, by a box of the image window with the
// application's name.
TEST_F(ViewRectCommands, AnUnwritableTargetIsReportedByTheImageWindow)
{
    LoadGrey(16, 8);
    const std::string blocker = File("plain-file");
    {
        std::ofstream f(blocker);
        f << "x";
    }
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::ScopedFileDialogAnswerer dialog(Chosen(blocker + "/picture.bmp"));
    m_win->SaveAsBitmap();
    ASSERT_TRUE(WaitForNoJobs());
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "Error creating file !\n" + blocker + "/picture.bmp\nNot a directory");
    EXPECT_EQ(boxes.Calls()[0].caption, AppName);
    EXPECT_EQ(boxes.Calls()[0].type, plat::MB_OK);
    EXPECT_TRUE(boxes.Calls()[0].owned);
    EXPECT_FALSE(fs::exists(blocker + "/picture.bmp"));
}

TEST_F(ViewRectCommands, ClosingTheViewerDuringAnExportLetsItComplete)
{
    const PalitraTag palette = ColourPalette();
    const std::string layer = MakeLayer("late.rdp", 50, 30, palette);
    Load(layer);
    const std::string out = File("late.bmp");
    auto* params = new BitmapJobParams{m_win->Handle(), out, m_win->GetActiveView()->GetRenderSource()};
    // The job holds at its first report while the layer and the window go.
    HoldingMeter meter;
    std::thread job([&] { CViewRect::SaveBitmapJob(params, &meter); });
    ASSERT_TRUE(testsupport::PumpUntil([&] { return meter.entered.load(); }, std::chrono::seconds(30)));
    m_win->CloseAll();
    m_win.reset();
    meter.released = true;
    job.join();

    const std::vector<unsigned char> bytes = ReadAll(out);
    ASSERT_EQ(bytes.size(), 54u + 152u * 30u);
    for (int y = 0; y < 30; y += 7)
        for (int x = 0; x < 50; x += 9) {
            const unsigned char* p = bytes.data() + 54 + size_t(29 - y) * 152 + size_t(x) * 3;
            const auto& e = palette.entries[Sample(x, y)];
            ASSERT_EQ(p[0], e[2]) << x << "," << y;
            ASSERT_EQ(p[1], e[1]);
            ASSERT_EQ(p[2], e[0]);
        }
}

}  // namespace

namespace {

// A caller's buffer layer may go with its buffers as soon as the view is closed: the
// export reads its own copy of the levels.
TEST_F(ViewRectCommands, ABufferLayerExportOutlivesTheCallersBuffers)
{
    constexpr int kW = 41, kH = 17;
    auto pixels = std::make_unique<std::vector<unsigned char>>(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            (*pixels)[size_t(y) * kW + size_t(x)] = static_cast<unsigned char>(Sample(x, y));
    auto block =
        std::make_unique<std::vector<unsigned char>>(size_t(GetViewerTempSize(kW, kH)) + kDisplayHistogramSize);
    const PalitraTag palette = ColourPalette();
    ASSERT_EQ(m_win->LoadNewLayer("buffer", pixels->data(), kW, kH, UINT8, block->data() + kDisplayHistogramSize,
                                  &palette, 0.0, 255.0, nullptr, {}),
              0);
    ASSERT_TRUE(m_owner.WaitFor(1));
    // What the view renders now is what the file must hold.
    const auto size = BitmapSizeFor(kW, kH);
    std::vector<unsigned char> expected(size_t(size->fileSize - 54));
    m_win->GetActiveView()->RenderRGB(0, 0, kW, kH, int(size->rowBytes), 1, 1.0, 0, expected.data(), expected.size(),
                                      nullptr);

    const std::string out = File("buffer.bmp");
    auto* params = new BitmapJobParams{m_win->Handle(), out, m_win->GetActiveView()->GetRenderSource()};
    HoldingMeter meter;
    std::thread job([&] { CViewRect::SaveBitmapJob(params, &meter); });
    ASSERT_TRUE(testsupport::PumpUntil([&] { return meter.entered.load(); }, std::chrono::seconds(30)));
    m_win->CloseAll();
    std::fill(block->begin(), block->end(), 0);
    block.reset();
    pixels.reset();
    meter.released = true;
    job.join();

    const std::vector<unsigned char> bytes = ReadAll(out);
    ASSERT_EQ(bytes.size(), size_t(size->fileSize));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 54));
    EXPECT_NE(std::count(expected.begin(), expected.end(), expected[0]), std::ptrdiff_t(expected.size()));
}

}  // namespace
