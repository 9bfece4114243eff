#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "PalitraTag.h"
#include "view/RasterView.h"
#include "view/VirtualView.h"

namespace {

// Only the slots every view must give; everything else answers as the base does.
class BareView final : public CVirtualView {
public:
    void RenderRGB(int, int, int, int, int, int, double, int, unsigned char*, std::size_t, CMeterInfoBase*) override {}
    void PaintDirect(plat::DeviceContext*, int, int, int, int, int, int, double, int, void*, std::size_t,
                     plat::BitmapInfo*) override
    {}
    void PaintScaled(plat::DeviceContext*, int, int, int, int, double, int, void*, std::size_t,
                     plat::BitmapInfo*) override
    {}
    void SetScale(double) override {}
    std::string GetLayerName() override { return "bare"; }
};

TEST(VirtualView, BaseAnswers)
{
    BareView view;
    EXPECT_EQ(view.GetKind(), 0);
    EXPECT_EQ(view.GetColorMode(), 0);
    EXPECT_EQ(view.GetWidth(), 0);
    EXPECT_EQ(view.GetHeight(), 0);
    EXPECT_EQ(view.IsShown(), 0);
    EXPECT_EQ(view.IsRegionValid(), 0);
    view.SetShown(1);
    EXPECT_EQ(view.IsShown(), 1);

    struct Case {
        const char* slot;
        std::function<bool(CVirtualView&, int)> answersBase;
    } cases[] = {
        {"GetHistAddr", [](CVirtualView& v, int c) { return v.GetHistAddr(c) == nullptr; }},
        {"GetRangeMin", [](CVirtualView& v, int c) { return v.GetRangeMin(c) == -1.0; }},
        {"GetRangeMax", [](CVirtualView& v, int c) { return v.GetRangeMax(c) == -1.0; }},
        {"GetFileName", [](CVirtualView& v, int c) { return v.GetFileName(c).empty(); }},
        {"Min", [](CVirtualView& v, int c) { return v.Min(c) == 0.0; }},
        {"Max", [](CVirtualView& v, int c) { return v.Max(c) == 0.0; }},
        {"Mean", [](CVirtualView& v, int c) { return v.Mean(c) == 0.0; }},
        {"StDev", [](CVirtualView& v, int c) { return v.StDev(c) == 0.0; }},
        {"GetStringSizePixel", [](CVirtualView& v, int c) { return v.GetStringSizePixel(c) == "CVirtualView"; }},
        {"GetStringTypeData", [](CVirtualView& v, int c) { return v.GetStringTypeData(c) == "CVirtualView"; }},
        {"GetValueString", [](CVirtualView& v, int c) { return v.GetValueString(c, c).empty(); }},
    };
    for (const auto& c : cases)
        for (int channel : {0, 1, 3, 4, 5})
            EXPECT_TRUE(c.answersBase(view, channel)) << c.slot << " channel " << channel;

    // The do-nothing slots change nothing.
    PalitraTag palette;
    palette.entries[5][1] = 99;
    view.SetBrightness(10, 1);
    view.SetContrast(50);
    view.EqualizeHistogram();
    view.GetPalitra(&palette);
    view.SetPalitra(&palette);
    view.ShowProfile(1, 3);
    const RECT rect{1, 2, 3, 4};
    view.SaveSegment(&rect);
    EXPECT_EQ(palette.entries[5][1], 99);
    EXPECT_EQ(palette.length, kPalitraTagSize);
    EXPECT_EQ(view.GetLayerName(), "bare");
}

TEST(VirtualView, RasterViewBeforeItIsShownPaintsNothing)
{
    CRasterView view;
    EXPECT_EQ(view.GetKind(), 1);
    EXPECT_EQ(view.GetColorMode(), 1);
    EXPECT_EQ(view.IsShown(), 0);
    plat::DeviceContext dc(32, 16);
    const QImage before = dc.Image().copy();
    std::vector<unsigned char> bits(32 * 16, 0x5A);
    plat::BitmapInfo info;
    info.colors[3].red = 7;
    view.PaintScaled(&dc, 0, 0, 32, 16, 1.0, 0, bits.data(), bits.size(), &info);
    view.PaintDirect(&dc, 0, 0, 0, 0, 32, 16, 1.0, 0, bits.data(), bits.size(), &info);
    EXPECT_EQ(dc.Image(), before);
    EXPECT_EQ(view.IsRegionValid(), 0);
    EXPECT_EQ(bits, std::vector<unsigned char>(32 * 16, 0x5A));
    EXPECT_EQ(info.colors[3].red, 7);
    EXPECT_EQ(info.bitCount, 8);

    // Channel answers of an empty single-band view.
    EXPECT_NE(view.GetHistAddr(1), nullptr);
    EXPECT_EQ(view.GetHistAddr(3), nullptr);
    EXPECT_EQ(view.GetStringTypeData(1), "");
    EXPECT_EQ(view.GetLayerName(), "");
    EXPECT_EQ(view.IsBusy(), 0);
}

}  // namespace
