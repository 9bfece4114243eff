#pragma once
// Arithmetic of the image window: zoom steps, scroll bars, fitting, the pixel and
// geographic read-out. Plain functions so that they can be checked without a window.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/paint/BufferedWindow.h"
#include "layer/Transform.h"

namespace viewrect {

// A scroll bar's state (plat::ScrollInfo) is kept in screen pixels; the last
// reachable position is nMax - nPage + 1, as with the native bars.
using ScrollAxis = plat::ScrollInfo;

struct Extent {
    int cx = 0;
    int cy = 0;
    bool operator==(const Extent&) const = default;
};

// Screen position (client pixel plus scroll position) to image sample and back.
int ImageSample(int screenPos, double scale);
int ScreenPos(int sample, double scale);

// Largest image side in screen pixels that a scale may give.
inline constexpr int kMaxScreenSide = INT32_MAX / 2;

// The scale SetScale would take for s (0 means 1:1), or nothing when it is refused:
// not finite, not positive, not below the larger image side (at least one screen
// pixel must remain), or magnifying that side beyond kMaxScreenSide.
std::optional<double> AcceptedScale(double s, int imageWidth, int imageHeight);

// Integer zoom step of a scale: 1/scale when magnified or 1:1, scale when reduced.
int ZoomLevel(double scale);
// The scale one step in or out from scale (a fitted scale is first rounded to its step).
double ZoomInScale(double scale);
double ZoomOutScale(double scale);

// Scale that fits the image into a client area (the larger of the two ratios).
// A client side of 0 gives infinity, which SetScale refuses.
double FitScale(int imageWidth, int imageHeight, int clientWidth, int clientHeight);

// A bar's fields for an image side at scale s: range 0 .. Round(side / s), page
// client + 1, position 0.
ScrollAxis AxisForScale(int imageSide, double scale, int clientSide);

// The position a bar takes for a request p: snapped to a whole image sample when
// magnified, clamped to 0 .. nMax - client. Nothing when the client is larger than
// the range (the position does not move).
std::optional<int> ScrollPosFor(int p, double scale, const ScrollAxis& axis, int clientSide);

// Request for CenterOn along one axis: the point brought to the middle, clamped to
// the range, snapped up to a whole image sample when reduced.
int CenterRequest(int screenPoint, double scale, const ScrollAxis& axis, int clientSide);

// Image extent in screen pixels.
Extent ImageExtent(int imageWidth, int imageHeight, double scale);

// Width of a vertical and height of a horizontal bar that the image needs in a
// client area of that size (bars not counted); barExtent is the style's bar width.
Extent ScrollBarSize(int imageWidth, int imageHeight, double scale, int clientWidth, int clientHeight, int barExtent);

// One line of scrolling: one image sample when magnified, at least one pixel.
int LineStep(double scale);
// The position asked for by an action, a plat::ScrollCode (before snapping and clamping).
int ScrollRequest(int code, const ScrollAxis& axis, double scale);

// Bytes a paint of rows rows of rowBytes bytes at bytesPerPixel needs, and the
// buffer size that holds it (whole 512 KiB steps, never shrinking below current).
std::int64_t PaintBytes(std::int64_t rowPixels, std::int64_t rows, int bytesPerPixel);
std::int64_t GrownBufferSize(std::int64_t current, std::int64_t needed);

// Right and bottom edges of the painted image within the client; past them lie
// the margins.
Extent MarginEdges(int imageWidth, int imageHeight, double scale, bool fit, int clientWidth, int clientHeight);

// Margin hatch: black where (x - y) mod 8 = 0 or (x + y) mod 8 = 7, counted from
// the brush origin.
bool HatchBlack(int x, int y);

// Geo tags as stored in the raster layer file, defaults before reading.
struct CornerTag {  // 302
    std::int32_t length = 0;
    std::int32_t flag = 1;
    double ulLat = 0, ulLon = 0, urLat = 0, urLon = 0, llLat = 0, llLon = 0, lrLat = 0, lrLon = 0;
};
static_assert(sizeof(CornerTag) == 72);
struct WindowTag {  // 303
    std::int32_t length = 0;
    std::int32_t flag = 1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
};
static_assert(sizeof(WindowTag) == 24);
struct GeoFormatTag {  // 671
    std::int32_t length = 0;
    std::int32_t flag = 1;
    std::int32_t value = 0;
};
static_assert(sizeof(GeoFormatTag) == 12);

struct GeoTags {
    CornerTag corners;
    TransformTag history;
    WindowTag window;
    GeoFormatTag format;
};

// Reads tags 302, 308, 303 and 671 of layer 0; a missing tag keeps its defaults,
// a short one the rest of them.
GeoTags ReadGeoTags(const std::string& file);

// Map from (longitude, latitude) to image pixels, or nothing when the tags do not
// give one (302 or 303 absent) or it is singular or not finite.
std::optional<TransformMatrix> GeoMap(const GeoTags& tags);

// Status texts; numbers print as in the C locale.
std::string ZoomText(double scale);
std::string PositionText(int x, int y);
std::string GeoText(double lon, double lat, int geoFormat, const std::string& lonLabel, const std::string& latLabel);

}  // namespace viewrect
