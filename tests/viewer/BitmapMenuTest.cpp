#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <functional>
#include <memory>

#include "platform/windows/BarResources.h"
#include "platform/windows/CommandBars.h"
#include "bars/BitmapMenu.h"
#include "bars/FlatBarStyle.h"
#include "bars/ViewerBars.h"

namespace {

using plat::MF_GRAYED;
using plat::MF_POPUP;

const plat::MenuEntry kRows[] = {
    {0, 0, "&File", MF_POPUP},
    {1, ID_MENU_OPEN, "&Open\tCtrl+O"},
    {1, ID_MENU_CLOSE, "&Close", MF_GRAYED},
    {1, 0, nullptr},
    {1, 9001, "&Plain"},
    {1, 0, "&More", MF_POPUP},
    {2, 9002, "Inner"},
    {1, 9003, "Chec&ked"},
    {0, 0, "&View", MF_POPUP},
    {1, ID_MENU_FIT, "&Fit"},
};
const plat::MenuResource kMenu{9900, kRows, std::size(kRows)};

QColor Pixel(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

// A popup drawn by a CBitmapMenu through the style, shown offscreen.
class BitmapMenuGrab : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(painter.LoadToolbarImages(IDR_MENU_IMAGES), 1);
        plat::BuildMenuBar(&bar, kMenu, {});
        file = bar.actions()[0]->menu();
        file->setStyle(&style);
        file->actions()[5]->setCheckable(true);
        file->actions()[5]->setChecked(true);
        painter.OwnerDrawMenu(&bar);
        file->popup(QPoint(50, 50));
        QApplication::processEvents();
    }
    void TearDown() override { file->hide(); }

    QAction* Item(int position) const { return file->actions()[position]; }
    // The item's rectangle as the painter sees it (client area from the border's inside).
    QRect ItemRect(int position) const
    {
        return file->actionGeometry(Item(position)).translated(-FlatBarStyle::kPopupBorder, 0);
    }
    QImage Grab(QAction* active)
    {
        file->setActiveAction(active);
        QApplication::processEvents();
        return file->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Counts pixels of item r (painter coordinates) in the box (x0..x1) for which test holds.
    int Count(const QImage& image, const QRect& box, const std::function<bool(int, int)>& test) const
    {
        int n = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (test(x + FlatBarStyle::kPopupBorder, y))
                    ++n;
        return n;
    }

    CBitmapMenu painter;
    FlatBarStyle style{painter};
    QMenuBar bar;
    QMenu* file = nullptr;
};

TEST(BitmapMenu, ImagesFromToolBarResources)
{
    CBitmapMenu menu;
    EXPECT_EQ(menu.ImageSize(), QSize(20, 20));
    EXPECT_EQ(menu.LoadToolbarImages(4711), 0);
    EXPECT_EQ(menu.ImageSize(), QSize(20, 20));
    EXPECT_EQ(menu.FindImage(ID_MENU_OPEN), -1);

    ASSERT_EQ(menu.LoadToolbarImages(IDR_MENU_IMAGES), 1);
    EXPECT_EQ(menu.ImageSize(), QSize(16, 15));
    EXPECT_EQ(menu.ImageCount(), 17);
    struct Case {
        int id, image;
    } cases[] = {{ID_MENU_OPEN, 0},         {ID_MENU_CLOSE, 2}, {ID_MENU_ADJUST, 12}, {ID_VR_CM_INC_SCALE, 13},
                 {ID_VR_CM_REAL_SCALE, 16}, {ID_MENU_HELP, -1}, {ID_BUTTON_LOAD, -1}};
    for (const Case& c : cases)
        EXPECT_EQ(menu.FindImage(c.id), c.image) << c.id;

    ASSERT_EQ(menu.AddToolbarImages(IDR_VIEWER_TOOLBAR), 1);
    EXPECT_EQ(menu.ImageCount(), 17 + 14);
    EXPECT_EQ(menu.FindImage(ID_BUTTON_LOAD), 17);
    EXPECT_EQ(menu.FindImage(ID_BUTTON_ADJUST), 30);
    menu.AddCommandImage(5, ID_MENU_OPEN);  // the first pair wins
    EXPECT_EQ(menu.FindImage(ID_MENU_OPEN), 0);
    menu.AddCommandImage(5, 777);
    EXPECT_EQ(menu.FindImage(777), 5);
}

TEST(BitmapMenu, OwnerDrawMenuGivesEachItemOneRecord)
{
    struct Case {
        bool topLevel;
        int titleCode;
    } cases[] = {{false, bars::kMenuBarTitle}, {true, bars::kSubmenuTitle}};
    for (const Case& c : cases) {
        CBitmapMenu painter(c.topLevel);
        painter.LoadToolbarImages(IDR_MENU_IMAGES);
        QMenuBar bar;
        plat::BuildMenuBar(&bar, kMenu, {});
        QAction* inner = bar.actions()[0]->menu()->actions()[4]->menu()->actions()[0];
        EXPECT_FALSE(painter.IsOwnerDrawnItem(bar.actions()[0]));
        painter.OwnerDrawMenu(&bar);

        QMenu* file = bar.actions()[0]->menu();
        struct Expect {
            QAction* action;
            int code, image;
            const char* text;
        } expects[] = {
            {bar.actions()[0], c.titleCode, c.titleCode, "&File"},
            {bar.actions()[1], c.titleCode, c.titleCode, "&View"},
            {file->actions()[0], int(ID_MENU_OPEN), 0, "&Open\tCtrl+O"},
            {file->actions()[1], int(ID_MENU_CLOSE), 2, "&Close"},
            {file->actions()[2], bars::kSeparator, bars::kSeparator, ""},
            {file->actions()[3], 9001, -1, "&Plain"},
            {file->actions()[4], bars::kSubmenuTitle, bars::kSubmenuTitle, "&More"},
            {inner, 9002, -1, "Inner"},
        };
        for (const Expect& e : expects) {
            const bars::MenuItemRecord* item = CBitmapMenu::ItemOf(e.action);
            ASSERT_NE(item, nullptr) << e.text;
            EXPECT_EQ(item->code, e.code) << e.text;
            EXPECT_EQ(item->image, e.image) << e.text;
            EXPECT_STREQ(item->text, e.text);
        }
        EXPECT_FALSE(painter.IsOwnerDrawnItem(file->actions()[2]));  // a separator
        EXPECT_TRUE(painter.IsOwnerDrawnItem(file->actions()[0]));

        // Made owner-drawn once: a second walk keeps the records, a new item gets its own.
        const bars::MenuItemRecord* open = CBitmapMenu::ItemOf(file->actions()[0]);
        QAction* added = file->addAction(QStringLiteral("&Late"));
        painter.OwnerDrawMenu(file);
        EXPECT_EQ(CBitmapMenu::ItemOf(file->actions()[0]), open);
        ASSERT_NE(CBitmapMenu::ItemOf(added), nullptr);
        EXPECT_STREQ(CBitmapMenu::ItemOf(added)->text, "&Late");

        std::string text;
        EXPECT_TRUE(painter.GetItemText(text, file->actions()[1]));
        EXPECT_EQ(text, "&Close");
        EXPECT_FALSE(painter.GetItemText(text, file->actions()[2]));
    }
}

TEST(BitmapMenu, ActionsForgetTheirRecordsWhenThePainterGoes)
{
    QMenu menu;
    QAction* a = menu.addAction(QStringLiteral("x"));
    {
        CBitmapMenu painter;
        painter.OwnerDrawMenu(&menu);
        EXPECT_NE(CBitmapMenu::ItemOf(a), nullptr);
    }
    EXPECT_EQ(CBitmapMenu::ItemOf(a), nullptr);
}

TEST_F(BitmapMenuGrab, ItemSizesFollowTheMeasure)
{
    int widest = 0;
    for (int i = 0; i < file->actions().size(); ++i) {
        const QSize measured = painter.MeasureRecord(*CBitmapMenu::ItemOf(Item(i)));
        EXPECT_EQ(file->actionGeometry(Item(i)).height(), measured.height()) << i;
        widest = std::max(widest, measured.width());
    }
    EXPECT_EQ(file->actionGeometry(Item(2)).height(), 6);  // the separator
    EXPECT_EQ(ItemRect(0).left(), 0);                      // items start at x 0 of the client area
    EXPECT_GE(file->actionGeometry(Item(0)).width(), widest);
}

TEST_F(BitmapMenuGrab, ImagedEnabledItemShowsItsToolBarImage)
{
    const QImage image = Grab(nullptr);
    const QImage open = plat::StripImage(plat::ToolBarStrip(*plat::FindToolBar(IDR_MENU_IMAGES)), 16, 15, 0)
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32);
    const QRect r = ItemRect(0);
    const int x0 = FlatBarStyle::kPopupBorder + r.left() + (r.height() - 16) / 2;
    const int y0 = r.top() + (r.height() - 15) / 2;
    int opaque = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 16; ++x)
            if (qAlpha(open.pixel(x, y)) == 255) {
                ++opaque;
                EXPECT_EQ(QColor(image.pixel(x0 + x, y0 + y)), QColor(open.pixel(x, y))) << x << "," << y;
            }
    EXPECT_GT(opaque, 40);
}

TEST_F(BitmapMenuGrab, DisabledItemIsEmbossed)
{
    const QImage image = Grab(nullptr);
    const QRect r = ItemRect(1);
    const QColor light = painter.LightColor(), dark = painter.DarkColor(), gray = painter.GrayTextColor();
    const auto is = [&](int x, int y, const QColor& c) { return Pixel(image, x, y) == c; };
    // Image: dark ink with its light copy one pixel right and down; no red of the picture.
    const QRect box(r.left(), r.top(), r.height(), r.height());
    EXPECT_GT(Count(image, box, [&](int x, int y) { return is(x, y, dark) && is(x + 1, y + 1, light); }), 5);
    EXPECT_EQ(Count(image, box, [&](int x, int y) { return Pixel(image, x, y) == QColor(255, 0, 0); }), 0);
    // Text: grey with the light copy one pixel right and down.
    const QRect text(r.left() + r.height() + 1, r.top(), r.width() - r.height() - 1, r.height() - 1);
    EXPECT_GT(Count(image, text, [&](int x, int y) { return is(x, y, gray) && is(x + 1, y + 1, light); }), 3);
    EXPECT_EQ(Count(image, text, [&](int x, int y) { return is(x, y, painter.MenuTextColor()); }), 0);
}

TEST_F(BitmapMenuGrab, SelectionHighlightsTextAreaOrWholeRow)
{
    const QColor highlight(QApplication::palette().color(QPalette::Active, QPalette::Highlight));
    const int b = FlatBarStyle::kPopupBorder;
    {
        // Without an image: the whole row, image box included.
        const QImage image = Grab(Item(3));
        const QRect r = ItemRect(3);
        EXPECT_EQ(Pixel(image, b + r.left() + 1, r.top() + 1), highlight);
        EXPECT_EQ(Pixel(image, b + r.left() + r.height() / 2, r.center().y()), highlight);
        EXPECT_EQ(Pixel(image, b + r.right() - 1, r.top() + 1), highlight);
    }
    {
        // With one: the text area only; the image box is framed raised.
        const QImage image = Grab(Item(0));
        const QRect r = ItemRect(0);
        const int boxRight = r.left() + r.height() - 1;
        EXPECT_EQ(Pixel(image, b + r.left(), r.top()), painter.LightColor());
        EXPECT_EQ(Pixel(image, b + boxRight, r.bottom()), painter.DarkColor());
        EXPECT_EQ(Pixel(image, b + r.left() + 1, r.top() + 1), painter.MenuColor());
        EXPECT_EQ(Pixel(image, b + boxRight + 2, r.top() + 1), highlight);
        EXPECT_EQ(Pixel(image, b + r.right() - 1, r.bottom() - 1), highlight);
    }
}

TEST_F(BitmapMenuGrab, CheckedItemWithoutImageShowsTheCheckMark)
{
    const QImage image = Grab(Item(5));
    const QRect r = ItemRect(5);
    const QColor highlight(QApplication::palette().color(QPalette::Active, QPalette::Highlight));
    const QRect box(r.left(), r.top(), r.height(), r.height());
    // The mark's black strokes lie in the image box, raised by 2 from its centred place.
    const int x0 = r.left() + (r.height() - 16) / 2, y0 = r.top() + (r.height() - 15) / 2 - 2;
    const auto black = [&](int x, int y) { return Pixel(image, x, y) == QColor(Qt::black); };
    EXPECT_GT(Count(image, box, black), 10);
    EXPECT_GT(Count(image, QRect(x0 + 5, y0 + 7, 9, 7), black), 10);
    // Checked: the highlight covers the text area only.
    EXPECT_EQ(Pixel(image, FlatBarStyle::kPopupBorder + r.left() + 1, r.top() + 1), painter.MenuColor());
    EXPECT_EQ(Pixel(image, FlatBarStyle::kPopupBorder + r.right() - 1, r.top() + 1), highlight);
}

TEST_F(BitmapMenuGrab, SeparatorIsEtchedAndAcceleratorRightAligned)
{
    const QImage image = Grab(nullptr);
    const int b = FlatBarStyle::kPopupBorder;
    const QRect s = ItemRect(2);
    for (int x : {s.left() + 2, s.center().x(), s.right() - 2}) {
        EXPECT_EQ(Pixel(image, b + x, s.top() + 2), painter.DarkColor()) << x;
        EXPECT_EQ(Pixel(image, b + x, s.top() + 3), painter.LightColor()) << x;
    }
    EXPECT_EQ(Pixel(image, b + s.left() + 1, s.top() + 2), painter.MenuColor());

    // "Ctrl+O" ends 15 pixels (and the glyph's own margin) left of the item's right edge.
    const QRect r = ItemRect(0);
    int rightmost = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left() + r.height() + 1; x <= r.right(); ++x)
            if (Pixel(image, b + x, y) != painter.MenuColor())
                rightmost = std::max(rightmost, x);
    const int edge = r.right() + 1 - 15;
    EXPECT_LT(rightmost, edge);
    EXPECT_GE(rightmost, edge - 4);
}

}  // namespace
