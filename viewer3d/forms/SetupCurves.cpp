#include "viewer3d/forms/SetupCurves.h"

#include "engine3d/model/GeneralProc.h"
#include "engine3d/render/SCanvas3D.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::int32_t kCurveX = 32768;
constexpr std::int32_t kCurveY = 65535;

}  // namespace

TSCurveLayout ComputeCurveLayout(std::int32_t Width, std::int32_t Height, std::int32_t TextWidth,
                                 std::int32_t TextHeight)
{
    TSCurveLayout l;
    const std::int32_t s = l.Margin + l.FrameOverhang + l.MarkLength + l.LabelSpace;
    l.PlotLeft = s + TextWidth + 2;
    l.PlotTop = s;
    l.PlotRight = Width - s - 1;
    l.PlotBottom = Height - s - 1 - (TextHeight + 2);
    return l;
}

TSIntPoint CurveToScreen(const TSCurveLayout& L, TSIntPoint V)
{
    const std::int32_t x = std::clamp(V.X, 0, kCurveX);
    const std::int32_t y = std::clamp(V.Y, 0, kCurveY);
    return {L.PlotLeft + IntMulDiv(x, L.PlotRight - L.PlotLeft, kCurveX),
            L.PlotBottom - IntMulDiv(y, L.PlotBottom - L.PlotTop, kCurveY)};
}

TSIntPoint ScreenToCurve(const TSCurveLayout& L, TSIntPoint S)
{
    return {IntMulDiv(S.X - L.PlotLeft, kCurveX, L.PlotRight - L.PlotLeft),
            IntMulDiv(L.PlotBottom - S.Y, kCurveY, L.PlotBottom - L.PlotTop)};
}

bool InPlot(const TSCurveLayout& L, TSIntPoint P)
{
    return P.X >= L.PlotLeft && P.X <= L.PlotRight && P.Y >= L.PlotTop && P.Y <= L.PlotBottom;
}

std::int32_t HitTestCurvePoint(const TSCurveLayout& L, const TSCnv3DIITransformer* Curve, TSIntPoint Mouse)
{
    std::int32_t hot = -1;
    if (Curve == nullptr)
        return hot;
    std::int32_t best = 4;
    for (std::int32_t i = 0; i < Curve->Count(); ++i) {
        const TSIntPoint p = CurveToScreen(L, {Curve->GetPointX(i), Curve->GetPointY(i)});
        const std::int32_t dx = std::abs(Mouse.X - p.X);
        const std::int32_t dy = std::abs(Mouse.Y - p.Y);
        if (dx < best && dy < best) {
            hot = i;
            best = std::min(dx, dy);
            if (best < 1)
                break;
        }
    }
    return hot;
}

void TSCurveEditorCore::HitTest()
{
    HotIndex = HitTestCurvePoint(Layout, Curve, LastMouse);
}

void TSCurveEditorCore::DrawMarker(TSIntPoint C, std::int32_t R, bool Diamond, std::int32_t Colour)
{
    if (Canvas == nullptr)
        return;
    const TSIntPoint diamond[5] = {{C.X - R, C.Y}, {C.X, C.Y - R}, {C.X + R, C.Y}, {C.X, C.Y + R}, {C.X - R, C.Y}};
    const TSIntPoint square[5] = {
        {C.X - R, C.Y - R}, {C.X - R, C.Y + R}, {C.X + R, C.Y + R}, {C.X + R, C.Y - R}, {C.X - R, C.Y - R}};
    const TSIntPoint* p = Diamond ? diamond : square;
    for (int k = 0; k < 4; ++k)
        Canvas->Line(p[k], p[k + 1], Colour);
}

void TSCurveEditorCore::DrawFrame()
{
    if (Canvas == nullptr)
        return;
    const TSCurveLayout& l = Layout;
    const std::int32_t c = l.FrameColor;
    Canvas->Line({l.PlotLeft - l.FrameOverhang, l.PlotTop}, {l.PlotRight + l.FrameOverhang, l.PlotTop}, c);
    Canvas->Line({l.PlotLeft - l.FrameOverhang, l.PlotBottom}, {l.PlotRight + l.FrameOverhang, l.PlotBottom}, c);
    Canvas->Line({l.PlotLeft, l.PlotTop - l.FrameOverhang}, {l.PlotLeft, l.PlotBottom + l.FrameOverhang}, c);
    Canvas->Line({l.PlotRight, l.PlotTop - l.FrameOverhang}, {l.PlotRight, l.PlotBottom + l.FrameOverhang}, c);
    if (l.TickLength <= 0)
        return;
    for (std::int32_t k = 1; k <= 9; ++k) {
        const std::int32_t x = l.PlotLeft + IntMulDiv(l.PlotRight - l.PlotLeft, k, 10);
        Canvas->Line({x, l.PlotTop - l.TickLength}, {x, l.PlotTop}, c);
        Canvas->Line({x, l.PlotBottom + l.TickLength}, {x, l.PlotBottom}, c);
        const std::int32_t y = l.PlotTop + IntMulDiv(l.PlotBottom - l.PlotTop, k, 10);
        Canvas->Line({l.PlotLeft - l.TickLength, y}, {l.PlotLeft, y}, c);
        Canvas->Line({l.PlotRight + l.TickLength, y}, {l.PlotRight, y}, c);
    }
}

void TSCurveEditorCore::DrawCrossHair()
{
    const TSCurveLayout& l = Layout;
    if (Canvas == nullptr || !InPlot(l, {l.CursorX, l.CursorY}))
        return;
    const std::int32_t c = l.CrossColor;
    const std::int32_t x = l.CursorX, y = l.CursorY;
    if (l.MarkLength > 0) {
        Canvas->Line({x, l.PlotTop - l.TickLength - l.MarkLength - 1}, {x, l.PlotTop - l.TickLength}, c);
        Canvas->Line({x, l.PlotBottom + l.TickLength + l.MarkLength + 1}, {x, l.PlotBottom + l.TickLength}, c);
        Canvas->Line({l.PlotLeft - l.TickLength - l.MarkLength - 1, y}, {l.PlotLeft - l.TickLength, y}, c);
        Canvas->Line({l.PlotRight + l.TickLength + l.MarkLength + 1, y}, {l.PlotRight + l.TickLength, y}, c);
    }
    Canvas->Line({x, l.PlotTop + 2}, {x, y - l.CrossGap + 1}, c);
    Canvas->Line({x, y + l.CrossGap}, {x, l.PlotBottom - 1}, c);
    Canvas->Line({l.PlotLeft + 2, y}, {x - l.CrossGap + 1, y}, c);
    Canvas->Line({x + l.CrossGap, y}, {l.PlotRight - 1, y}, c);
}

void TSCurveEditorCore::DrawCursorLabels()
{
    const TSCurveLayout& l = Layout;
    if (Canvas == nullptr || !InPlot(l, {l.CursorX, l.CursorY}))
        return;
    const std::int32_t px = IntMulDiv(l.CursorX - l.PlotLeft, 1000, l.PlotRight - l.PlotLeft);
    const std::int32_t py = IntMulDiv(l.PlotBottom - l.CursorY, 1000, l.PlotBottom - l.PlotTop);
    const TSIntPoint size = Canvas->TextSize();
    const std::int32_t w = size.X, h = size.Y;
    const auto label = [&](std::int32_t Left, std::int32_t Top, std::int32_t Value) {
        const std::int32_t right = Left + w, bottom = Top + h;
        Canvas->Text(Left, Top, right, bottom, std::to_string(Value), l.LabelTextColor);
        const std::int32_t f = l.LabelFrameColor;
        Canvas->Line({Left - 1, Top - 1}, {right + 1, Top - 1}, f);
        Canvas->Line({right + 1, Top - 1}, {right + 1, bottom + 1}, f);
        Canvas->Line({right + 1, bottom + 1}, {Left - 1, bottom + 1}, f);
        Canvas->Line({Left - 1, bottom + 1}, {Left - 1, Top - 1}, f);
    };
    label(l.Margin + 1, l.CursorY - h - 1 + IntMulDiv(py, h + 2, 1000), py);
    const std::int32_t bottom = Canvas->Height() - l.Margin - 2;
    label(l.CursorX - IntMulDiv(px, w + 2, 1000) + 1, bottom - h, px);
}

void TSCurveEditorCore::DrawCurve()
{
    if (Canvas == nullptr || Curve == nullptr || Curve->Count() == 0)
        return;
    const TSCurveLayout& l = Layout;
    const std::int32_t n = Curve->Count();
    const auto at = [&](std::int32_t i) { return CurveToScreen(l, {Curve->GetPointX(i), Curve->GetPointY(i)}); };
    for (std::int32_t i = 1; i < n; ++i) {
        const bool hot = Dragging && (i - 1 == HotIndex || i == HotIndex);
        Canvas->Line(at(i - 1), at(i), hot ? l.DragLineColor : l.CurveColor);
    }
    for (std::int32_t i = 0; i < n; ++i) {
        const bool end = i == 0 || i == n - 1;
        if (i != HotIndex)
            DrawMarker(at(i), l.PointRadius, !end, l.PointColor);
        else if (Dragging)
            DrawMarker(at(i), l.DragRadius, false, l.DragColor);
        else
            DrawMarker(at(i), l.HotRadius, !end, l.HotColor);
    }
}

void TSCurveEditorCore::PaintAll()
{
    DrawFrame();
    DrawCrossHair();
    DrawCursorLabels();
    DrawCurve();
}

void TSCurveEditorCore::Paint()
{
    if (Canvas == nullptr)
        return;
    Canvas->Fill(Layout.Background);
    PaintAll();
}

void TSCurveEditorCore::TrackMouse(TSIntPoint P)
{
    if (P == LastMouse)
        return;
    LastMouse = P;
    const std::int32_t old = HotIndex;
    HitTest();
    if (Curve == nullptr || Canvas == nullptr)
        return;
    const TSCurveLayout kept = Layout;
    std::int32_t fresh = HotIndex;
    HotIndex = old;
    const std::int32_t bg = Layout.Background;
    Layout.CrossColor = Layout.LabelTextColor = Layout.LabelFrameColor = bg;
    Layout.PointColor = Layout.HotColor = Layout.DragLineColor = Layout.DragColor = bg;
    if (Dragging)
        Layout.CurveColor = bg;
    DrawCrossHair();
    DrawCursorLabels();
    if (Dragging || fresh != old)
        DrawCurve();
    if (Dragging) {
        TSIntPoint q = P;
        const bool first = old == 0;
        const bool last = old >= 0 && old == Curve->Count() - 1;
        if (first || last) {
            q.X = first ? kept.PlotLeft : kept.PlotRight;
            q.Y = std::clamp(q.Y, kept.PlotTop, kept.PlotBottom);
        }
        if (InPlot(kept, q)) {
            const TSIntPoint v = ScreenToCurve(kept, q);
            fresh = old != -1 ? Curve->MovePoint(old, v.X, v.Y) : Curve->AddPoint(v.X, v.Y);
        } else {
            if (old != -1)
                Curve->DeletePoint(old);
            fresh = -1;
        }
    }
    Layout = kept;
    Layout.CursorX = LastMouse.X;
    Layout.CursorY = LastMouse.Y;
    HotIndex = fresh;
    PaintAll();
}

void TSCurveEditorCore::SetDragging(bool V)
{
    if (V == Dragging)
        return;
    if (Curve == nullptr || Canvas == nullptr) {
        Dragging = false;
        return;
    }
    const TSCurveLayout kept = Layout;
    const std::int32_t bg = Layout.Background;
    if (V && HotIndex == -1) {
        // A press on empty space adds a point there and drags it.
        if (!InPlot(kept, LastMouse))
            return;
        Layout.CurveColor = Layout.PointColor = Layout.HotColor = Layout.DragLineColor = Layout.DragColor = bg;
        DrawCurve();
        const TSIntPoint v = ScreenToCurve(kept, LastMouse);
        HotIndex = Curve->AddPoint(v.X, v.Y);
        Dragging = true;
    } else {
        Layout.PointColor = Layout.HotColor = Layout.DragColor = bg;
        DrawCurve();
        Dragging = V;
    }
    Layout = kept;
    PaintAll();
    if (!V && OnApply)
        OnApply();
}
