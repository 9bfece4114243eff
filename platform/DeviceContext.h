#pragma once
// Immediate-mode drawing in the classic device-context manner. A context draws either
// into a back buffer it owns (a memory context) or onto a paint device during its paint
// event. Rectangles exclude their right and bottom edges.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <string>

#include "SysColors.h"

class QPaintDevice;

namespace plat {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

struct Pen {
    enum Style { Solid, Null } style = Solid;
    int width = 1;
    ColorRef color = 0;
};

struct Brush {
    enum Style { Solid, Null } style = Solid;
    ColorRef color = 0xFFFFFF;
};

enum BkMode : int { TRANSPARENT = 1, OPAQUE = 2 };

// DrawText format flags.
enum : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_SINGLELINE = 0x20,
};

class DeviceContext {
public:
    // A memory context with a back buffer of width x height pixels (black at start).
    DeviceContext(int width, int height);
    // A context over target, drawing limited to clip (in target pixels); for a widget
    // only inside its paint event.
    DeviceContext(QPaintDevice* target, const Rect& clip);
    virtual ~DeviceContext();

    // Owns a painter bound to its device: neither copied nor moved.
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // False when there is nothing to draw on (an empty buffer); drawing then does nothing.
    bool IsValid() const { return m_painter.isActive(); }

    // The back buffer of a memory context (null image otherwise).
    const QImage& Image() const { return m_image; }

    // Logical point (x, y) maps to device pixel (0, 0) from now on.
    void SetWindowOrg(int x, int y);
    int WindowOrgX() const { return m_orgX; }
    int WindowOrgY() const { return m_orgY; }

    // Smallest rectangle around the drawable area, in logical units.
    Rect GetClipBox() const;
    // Replaces the clip region by rect (logical units); the device's area limits it further.
    void SelectClipRect(const Rect& rect);
    // Back to the whole device area.
    void SelectClipNone();
    void IntersectClipRect(const Rect& rect);

    // Each answers the previous setting.
    Pen SelectPen(const Pen& pen);
    Brush SelectBrush(const Brush& brush);
    QFont SelectFont(const QFont& font);
    ColorRef SetTextColor(ColorRef color);
    ColorRef SetBkColor(ColorRef color);
    BkMode SetBkMode(BkMode mode);

    QFont GetFont() const { return m_font; }

    void FillRect(const Rect& rect, ColorRef color);
    // Outline with the pen inside rect, inside filled with the brush.
    void Rectangle(const Rect& rect);
    // Text with its top-left corner at (x, y); an opaque background fills the text cell.
    void TextOut(int x, int y, const std::string& text);
    // Text placed in rect by the DT_ flags.
    void DrawText(const std::string& text, const Rect& rect, unsigned format);
    // Copies width x height pixels from src (logical (xSrc, ySrc)) to (x, y).
    void BitBlt(int x, int y, int width, int height, const DeviceContext& src, int xSrc, int ySrc);

private:
    void ApplyClip();

    QImage m_image;
    QPainter m_painter;
    Rect m_device;  // drawable device area
    Rect m_clip;    // in device pixels
    bool m_clipped = false;
    int m_orgX = 0;
    int m_orgY = 0;
    Pen m_pen;
    Brush m_brush;
    QFont m_font;
    ColorRef m_textColor = 0;
    ColorRef m_bkColor = 0xFFFFFF;
    BkMode m_bkMode = OPAQUE;
};

}  // namespace plat
