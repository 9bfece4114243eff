#include "ViewRectMath.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "layer/RDPFileTags.h"
#include "util/MathHelpers.h"

namespace viewrect {

int ImageSample(int screenPos, double scale)
{
    return int(std::trunc(screenPos * scale));
}

int ScreenPos(int sample, double scale)
{
    return int(std::trunc(sample / scale));
}

std::optional<double> AcceptedScale(double s, int imageWidth, int imageHeight)
{
    if (s == 0.0)
        s = 1.0;
    if (!std::isfinite(s) || s < 0.0)
        return std::nullopt;
    if (!(s < double(std::max(imageWidth, imageHeight))))
        return std::nullopt;
    // The scroll ranges, positions and pages are ints: the image in screen pixels
    // keeps half the int range free for the sums made of them.
    if (!(double(std::max(imageWidth, imageHeight)) / s <= double(kMaxScreenSide)))
        return std::nullopt;
    return s;
}

int ZoomLevel(double scale)
{
    return scale <= 1.0 ? Round(1.0 / scale) : Round(scale);
}

double ZoomInScale(double scale)
{
    const int level = ZoomLevel(scale);
    if (scale <= 1.0)
        return 1.0 / (level + 1);
    return level - 1 == 0 ? 1.0 : double(level - 1);
}

double ZoomOutScale(double scale)
{
    const int level = ZoomLevel(scale);
    if (scale < 1.0)
        return level <= 1 ? 1.0 : 1.0 / (level - 1);
    return double(level + 1);
}

double FitScale(int imageWidth, int imageHeight, int clientWidth, int clientHeight)
{
    const double sx = double(imageWidth) / clientWidth;
    const double sy = double(imageHeight) / clientHeight;
    return std::max(sx, sy);
}

ScrollAxis AxisForScale(int imageSide, double scale, int clientSide)
{
    ScrollAxis a;
    a.nMax = Round(imageSide / scale);
    a.nPage = clientSide + 1;
    return a;
}

std::optional<int> ScrollPosFor(int p, double scale, const ScrollAxis& axis, int clientSide)
{
    if (clientSide > axis.nMax)
        return std::nullopt;
    if (scale < 1.0)
        p = int(std::trunc(std::trunc(p * scale) / scale));
    return std::clamp(p, 0, axis.nMax - clientSide);
}

int CenterRequest(int screenPoint, double scale, const ScrollAxis& axis, int clientSide)
{
    int h = std::clamp(screenPoint - clientSide / 2, 0, std::max(axis.nMax, 0));
    if (scale > 1.0)
        h = int(std::trunc(std::ceil(h / scale) * scale));
    return h;
}

Extent ImageExtent(int imageWidth, int imageHeight, double scale)
{
    if (scale < 1.0)
        return {int(std::trunc(imageWidth / scale)), int(std::trunc(imageHeight / scale))};
    return {int(std::trunc((imageWidth + scale - 1) / scale)), int(std::trunc((imageHeight + scale - 1) / scale))};
}

Extent ScrollBarSize(int imageWidth, int imageHeight, double scale, int clientWidth, int clientHeight, int barExtent)
{
    const Extent e = ImageExtent(imageWidth, imageHeight, scale);
    Extent bars;
    if (clientHeight < e.cy)
        bars.cx = barExtent;
    if (clientWidth - bars.cx < e.cx)
        bars.cy = barExtent;
    if (clientHeight - bars.cy < e.cy)
        bars.cx = barExtent;
    return bars;
}

int LineStep(double scale)
{
    return std::max(1, Round(1.0 / scale));
}

int ScrollRequest(int code, const ScrollAxis& axis, double scale)
{
    switch (code) {
    case plat::SB_LINELEFT:
        return axis.nPos - LineStep(scale);
    case plat::SB_LINERIGHT:
        return axis.nPos + LineStep(scale);
    case plat::SB_PAGELEFT:
        return axis.nPos - axis.nPage;
    case plat::SB_PAGERIGHT:
        return axis.nPos + axis.nPage;
    case plat::SB_THUMBPOSITION:
    case plat::SB_THUMBTRACK:
        return axis.nTrackPos;
    case plat::SB_LEFT:
        return 0;
    case plat::SB_RIGHT:
        return axis.nMax;
    default:
        return axis.nPos;
    }
}

std::int64_t PaintBytes(std::int64_t rowPixels, std::int64_t rows, int bytesPerPixel)
{
    if (rowPixels <= 0 || rows <= 0 || bytesPerPixel <= 0)
        return 0;
    return rowPixels * rows * bytesPerPixel;
}

std::int64_t GrownBufferSize(std::int64_t current, std::int64_t needed)
{
    constexpr std::int64_t kStep = 0x80000;
    if (needed <= current)
        return current;
    return (needed + kStep - 1) / kStep * kStep;
}

Extent MarginEdges(int imageWidth, int imageHeight, double scale, bool fit, int clientWidth, int clientHeight)
{
    Extent e{std::min(int(std::trunc(imageWidth / scale)), clientWidth),
             std::min(int(std::trunc(imageHeight / scale)), clientHeight)};
    if (fit && scale < 1.0) {
        e.cx = std::min(e.cx + 1, clientWidth);
        e.cy = std::min(e.cy + 1, clientHeight);
    }
    return e;
}

bool HatchBlack(int x, int y)
{
    auto mod8 = [](int v) { return ((v % 8) + 8) % 8; };
    return mod8(x - y) == 0 || mod8(x + y) == 7;
}

GeoTags ReadGeoTags(const std::string& file)
{
    GeoTags t;
    const char* f = file.c_str();
    GetTag(f, 0, 302, int(sizeof t.corners), &t.corners);
    GetTag(f, 0, 308, int(sizeof t.history), &t.history);
    GetTag(f, 0, 303, int(sizeof t.window), &t.window);
    GetTag(f, 0, 671, int(sizeof t.format), &t.format);
    return t;
}

std::optional<TransformMatrix> GeoMap(const GeoTags& tags)
{
    if (tags.corners.length == 0 || tags.window.length == 0)
        return std::nullopt;
    const SPoint p1{tags.corners.ulLon, tags.corners.ulLat};
    const SPoint p2{tags.corners.urLon, tags.corners.urLat};
    const SPoint p3{tags.corners.llLon, tags.corners.llLat};
    const SPoint q1{0, 0};
    const SPoint q2{double(tags.window.width), 0};
    const SPoint q3{0, double(tags.window.height)};
    TransformMatrix m;
    if (!CalculationTransform(&p1, &p2, &p3, &q1, &q2, &q3, &m))
        return std::nullopt;
    TransformMatrix out;
    CalcMultiplicationTransform(&m, &tags.history.matrix, &out);
    for (double v : {out.a, out.b, out.c, out.d, out.e, out.f})
        if (!std::isfinite(v))
            return std::nullopt;
    // The read-out inverts the map; one that cannot be inverted gives no read-out.
    TransformMatrix inv;
    if (!CalcInverseTransform(&out, &inv))
        return std::nullopt;
    for (double v : {inv.a, inv.b, inv.c, inv.d, inv.e, inv.f})
        if (!std::isfinite(v))
            return std::nullopt;
    return out;
}

namespace {

// %lg without the locale's decimal separator.
std::string ShortestG(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

struct Dms {
    std::string degrees;
    int minutes = 0;
    double seconds = 0;
};

Dms ToDms(double v)
{
    const double d = std::trunc(v);
    const double mf = (v - d) * 60.0;
    Dms r;
    r.degrees = std::to_string(int(d));
    // Below one degree west or south the sign would be lost with the degrees.
    if (d == 0.0 && v < 0.0)
        r.degrees = "-0";
    r.minutes = int(std::fabs(std::trunc(mf)));
    r.seconds = std::fabs((mf - std::trunc(mf)) * 60.0);
    return r;
}

}  // namespace

std::string ZoomText(double scale)
{
    return std::to_string(Round(100.0 / scale)) + " %";
}

std::string PositionText(int x, int y)
{
    return "( " + std::to_string(x) + ", " + std::to_string(y) + " )";
}

std::string GeoText(double lon, double lat, int geoFormat, const std::string& lonLabel, const std::string& latLabel)
{
    if (!std::isfinite(lon) || !std::isfinite(lat))
        return {};
    const Dms a = ToDms(lon);
    const Dms b = ToDms(lat);
    const std::string lead = geoFormat == 1 ? " " : "  ";
    return " " + lonLabel + lead + a.degrees + "\u00B0  " + std::to_string(a.minutes) + "' " + ShortestG(a.seconds) +
           "''   " + latLabel + lead + b.degrees + "\u00B0  " + std::to_string(b.minutes) + "' " +
           ShortestG(b.seconds) + "'' ";
}

}  // namespace viewrect
