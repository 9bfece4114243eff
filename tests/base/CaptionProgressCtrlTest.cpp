#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QWidget>
#include <climits>

#include "platform/dialogs/CustomControl.h"
#include "jobs/CaptionProgressCtrl.h"

namespace {

using plat::Rgb;

const plat::ColorRef kBar = Rgb(0, 0, 200), kRest = Rgb(230, 230, 230), kText = Rgb(0, 120, 0),
                     kBarText = Rgb(255, 255, 0);

// Counts the paint events of a control.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// A shown 200 x 20 control without border, attached to a bar with distinct colours.
class CaptionBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        top.resize(220, 40);
        control = new plat::CustomControl(&top);
        control->setGeometry(10, 10, 200, 20);
        control->installEventFilter(&counter);
        bar.Attach(control);
        bar.SetBarColor(kBar);
        bar.SetBkColor(kRest);
        bar.SetTextColor(kText);
        bar.SetBarTextColor(kBarText);
        top.show();
        Flush();
    }

    void Flush()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    int Paints()
    {
        Flush();
        return std::exchange(counter.paints, 0);
    }

    // Grabbing paints too; those paints are not counted.
    QImage Shot()
    {
        QImage img = control->grab().toImage();
        counter.paints = 0;
        return img;
    }

    QImage RenderOver(QColor background)
    {
        QImage img(control->size(), QImage::Format_RGB32);
        img.fill(background);
        control->render(&img, QPoint(), QRegion(), QWidget::RenderFlags());
        counter.paints = 0;
        return img;
    }

    static plat::ColorRef Color(const QImage& img, int x, int y)
    {
        QRgb p = img.pixel(x, y);
        return Rgb(unsigned(qRed(p)), unsigned(qGreen(p)), unsigned(qBlue(p)));
    }

    static int Count(const QImage& img, int x0, int x1, plat::ColorRef c)
    {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = x0; x < x1; ++x)
                n += Color(img, x, y) == c;
        return n;
    }

    QWidget top;
    plat::CustomControl* control = nullptr;
    PaintCounter counter;
    CCaptionProgressCtrl bar;
};

TEST_F(CaptionBar, HalfwayFillsTheLeftHalfAndRepaintsOnlyOnPixelChanges)
{
    Paints();
    EXPECT_EQ(bar.SetPos(50), 0);
    EXPECT_EQ(Paints(), 1);
    QImage img = Shot();
    EXPECT_EQ(Color(img, 0, 0), kBar);
    EXPECT_EQ(Color(img, 99, 19), kBar);
    EXPECT_EQ(Color(img, 100, 0), kRest);
    EXPECT_EQ(Color(img, 199, 19), kRest);
    // Empty caption: "50%" centred, straddling the edge in both text colours.
    EXPECT_GT(Count(img, 80, 100, kBarText), 0);
    EXPECT_GT(Count(img, 100, 120, kText), 0);
    EXPECT_EQ(Count(img, 0, 100, kText), 0);
    EXPECT_EQ(Count(img, 100, 200, kBarText), 0);

    EXPECT_EQ(bar.SetPos(50), 50);
    EXPECT_EQ(Paints(), 0);
    // 0.5% of 200 pixels is one pixel: 50 -> 50 is no change, 50 -> 51 is two.
    bar.SetRange(0, 1000);
    EXPECT_EQ(bar.SetPos(500), 50);
    EXPECT_EQ(bar.SetPos(502), 500);  // still 100 pixels
    EXPECT_EQ(Paints(), 0);
    bar.SetPos(505);
    EXPECT_EQ(Paints(), 1);
    EXPECT_EQ(bar.GetPos(), 505);
}

TEST_F(CaptionBar, CaptionReplacesThePercentAndRepaintsOnlyWhenItChanges)
{
    bar.SetPos(30);
    Paints();
    bar.SetWindowText("hello");
    EXPECT_EQ(Paints(), 1);
    bar.SetWindowText("hello");
    EXPECT_EQ(Paints(), 0);
    EXPECT_EQ(control->Text(), "hello");
    char buf[4];
    EXPECT_EQ(bar.GetWindowText(buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "hel");
    char big[16];
    EXPECT_EQ(bar.GetWindowText(big, sizeof big), 5);
    EXPECT_STREQ(big, "hello");
    bar.SetWindowText(nullptr);  // back to the percent
    EXPECT_EQ(Paints(), 1);
    EXPECT_EQ(bar.GetWindowText(big, sizeof big), 0);

    bar.SetShowText(false);
    EXPECT_EQ(Paints(), 1);
    QImage img = Shot();
    EXPECT_EQ(Count(img, 0, 200, kText) + Count(img, 0, 200, kBarText), 0);
    bar.SetShowText(false);
    EXPECT_EQ(Paints(), 0);
}

TEST_F(CaptionBar, PositionsOutsideTheRange)
{
    struct Case {
        int min, max, pos;
        int barPixels;  // pixels in the bar colour on row 0
        bool painted;
    } cases[] = {
        {0, 100, 150, 200, true},
        {0, 100, -20, 0, true},
        {0, 1, INT_MAX, 200, true},
        {0, 1, INT_MIN, 0, true},
        {INT_MIN, INT_MAX, INT_MAX, 200, true},
        {5, 5, 5, 0, false},  // empty range: nothing drawn
        {9, 3, 4, 0, false},
    };
    for (const Case& c : cases) {
        bar.SetRange(c.min, c.max);
        bar.SetPos(c.min == INT_MIN ? 0 : c.min);
        Paints();
        bar.SetPos(c.pos);
        control->update();
        Paints();
        // A handler that draws nothing leaves an opaque widget's pixels undefined in a
        // grab: render over a known background instead, which must then stay as it is.
        QImage img = c.painted ? Shot() : RenderOver(Qt::magenta);
        int barPixels = 0;
        for (int x = 0; x < 200; ++x)
            barPixels += Color(img, x, 0) == kBar;
        EXPECT_EQ(barPixels, c.barPixels) << c.min << ".." << c.max << " @ " << c.pos;
        if (!c.painted) {
            // Neither part nor text.
            EXPECT_EQ(Count(img, 0, 200, kBar) + Count(img, 0, 200, kRest), 0) << c.min << ".." << c.max;
            EXPECT_EQ(Count(img, 0, 200, kText) + Count(img, 0, 200, kBarText), 0) << c.min << ".." << c.max;
        }
    }
}

TEST_F(CaptionBar, ResizeForcesTheNextRepaint)
{
    bar.SetPos(40);
    Paints();
    bar.SetPos(40);
    EXPECT_EQ(Paints(), 0);
    control->resize(200, 22);
    Paints();
    bar.SetPos(40);
    EXPECT_EQ(Paints(), 1);
}

TEST(CaptionProgressCtrl, WithoutAWindow)
{
    CCaptionProgressCtrl bar;
    EXPECT_EQ(bar.SetPos(10), -1);
    EXPECT_EQ(bar.GetPos(), 0);
    EXPECT_EQ(bar.StepIt(), -1);
    EXPECT_EQ(bar.SetStep(5), 1);
    EXPECT_EQ(bar.GetBarColor(), plat::GetSysColor(plat::COLOR_HIGHLIGHT));
    EXPECT_EQ(bar.GetBkColor(), plat::GetSysColor(plat::COLOR_WINDOW));
    EXPECT_EQ(bar.GetTextColor(), plat::GetSysColor(plat::COLOR_HIGHLIGHT));
    EXPECT_EQ(bar.GetBarTextColor(), plat::GetSysColor(plat::COLOR_WINDOW));
}

}  // namespace
