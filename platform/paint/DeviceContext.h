#pragma once
// Immediate-mode drawing in the classic device-context manner. A context draws either
// into a back buffer it owns (a memory context) or onto a paint device during its paint
// event, or into the back buffer of a BufferedWindow at any time. Rectangles exclude
// their right and bottom edges.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <climits>
#include <cstdint>
#include <string>

#include "platform/paint/Geometry.h"
#include "platform/threads/ParallelFor.h"
#include "platform/paint/SysColors.h"

class QPaintDevice;
class QWidget;

namespace plat {

// The one rectangle type: painting code and the layer code share it.
using Rect = ::CRect;

// A solid pen wider than one pixel draws its lines as bands that many pixels across
// (end pixel included, so joined segments leave no notch); other lines are one pixel
// wide. A dotted line starts with 3 pixels of dots, then 3 of gaps,
// and so on; the gaps take the background colour when the background mode is OPAQUE.
struct Pen {
    enum Style {
        Solid,
        Null,
        Dot
    } style = Solid;
    int width = 1;
    ColorRef color = 0;
};

struct Brush {
    enum Style {
        Solid,
        Null
    } style = Solid;
    ColorRef color = 0xFFFFFF;
};

// An 8 x 8 two-colour pattern, as a pattern brush paints it: where bit 7 - x of rows[y]
// is set, pixel (x, y) of the pattern is ink, else paper. It repeats from the brush origin.
struct Pattern {
    std::uint8_t rows[8] = {};
    ColorRef ink = 0;
    ColorRef paper = 0xFFFFFF;
};

enum BkMode : int {
    TRANSPARENT = 1,
    OPAQUE = 2
};

// How lines combine with the pixels under them; only the colour bits change.
enum Rop2 : int {
    R2_NOT = 6,  // inverts the pixels under the line; the pen's colour plays no part
    R2_XORPEN = 7,
    R2_COPYPEN = 13,
    R2_MERGEPEN = 15
};

// Where TextOut's point lies on the text: one horizontal and one vertical flag.
enum : unsigned {
    TA_LEFT = 0,
    TA_TOP = 0,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
};

class BufferedWindow;
struct BitmapInfo;  // BitmapInfo.h

// Stored rows [first, end) of a picture are in place: see StretchDIBits.
using RowsReady = FunctionRef<void(std::int64_t first, std::int64_t end)>;

// DrawText format flags.
enum : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_SINGLELINE = 0x20,
    DT_CALCRECT = 0x400,
    DT_END_ELLIPSIS = 0x8000,
    DT_RTLREADING = 0x20000,
};

class DeviceContext {
public:
    // A memory context with a back buffer of width x height pixels (black at start).
    DeviceContext(int width, int height);
    // A context over target, drawing limited to clip (in target pixels); for a widget
    // only inside its paint event.
    DeviceContext(QPaintDevice* target, const Rect& clip);
    // A context over the back buffer of window, limited to clip (client pixels). It
    // follows the buffer across resizes, shows what it draws (unless the window is
    // painting) and draws nothing once the window is gone.
    explicit DeviceContext(BufferedWindow& window, const Rect& clip = Rect{INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    virtual ~DeviceContext();

    // Owns a painter bound to its device: neither copied nor moved.
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // False when there is nothing to draw on (an empty buffer); drawing then does nothing.
    bool IsValid() const;

    // The back buffer of a memory context (null image otherwise; see Pixels for a window).
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
    Rop2 SetROP2(Rop2 mode);
    // TA_ flags: the point of TextOut's text that lies at its (x, y).
    unsigned SetTextAlign(unsigned align);
    // Text turns by this many tenths of a degree counterclockwise, about TextOut's point
    // (900 reads upwards), as a font's escapement turns it.
    int SetTextEscapement(int tenths);

    QFont GetFont() const { return m_font; }

    void FillRect(const Rect& rect, ColorRef color);
    // rect covered by the pattern, its pixel (0, 0) on the brush origin and every 8
    // pixels from there.
    void FillRect(const Rect& rect, const Pattern& pattern);
    // The brush origin in logical units (0, 0 at start); answers the previous one.
    QPoint SetBrushOrg(int x, int y);
    // Outline with the pen inside rect, inside filled with the brush.
    void Rectangle(const Rect& rect);
    // Text placed at (x, y) by the text alignment and turned by the escapement; an
    // opaque background fills the text cell.
    void TextOut(int x, int y, const std::string& text);
    // Text placed in rect by the DT_ flags. A single line with DT_END_ELLIPSIS that
    // does not fit ends in "..."; DT_RTLREADING reads right to left.
    void DrawText(const std::string& text, const Rect& rect, unsigned format);
    // The same; with DT_CALCRECT nothing is drawn and rect becomes the text's extent
    // (left and top kept). Answers the height of the text.
    int DrawText(const std::string& text, Rect& rect, unsigned format);
    // Copies width x height pixels from src (logical (xSrc, ySrc)) to (x, y). The source
    // is a memory context or a window's buffer; it may be this context's own pixels,
    // and the parts may overlap (a scroll).
    void BitBlt(int x, int y, int width, int height, const DeviceContext& src, int xSrc, int ySrc);
    // Moves this context's own pixels in rect (logical) by (dx, dy). alongside runs once
    // on the calling thread while helper threads move the rows: work on other memory
    // (a screen's copy of the pixels) that need not wait for the move.
    void ScrollPixels(int dx, int dy, const Rect& rect, FunctionRef<void()> alongside);
    // The wSrc x hSrc part of src at (xSrc, ySrc) stretched over wDst x hDst pixels at
    // (x, y), each pixel taking the source pixel under its centre.
    void StretchBlt(int x, int y, int wDst, int hDst, const DeviceContext& src, int xSrc, int ySrc, int wSrc,
                    int hSrc);
    // As StretchBlt, leaving out the source pixels of colour transparent.
    void TransparentBlt(int x, int y, int wDst, int hDst, const DeviceContext& src, int xSrc, int ySrc, int wSrc,
                        int hSrc, ColorRef transparent);

    // Device-independent pictures: 8 bits per pixel through info's colour table, or 24
    // (blue, green, red bytes); info.width pixels a row, rows padded to 4 bytes; a
    // negative info.height stores the top row first, else the bottom row. Source
    // positions count stored rows from the first one stored, columns from the left.
    // bitsBytes is what bits holds: a picture larger than that, or of another bit
    // count, draws nothing. Parts outside the picture are left out. No smoothing.
    //
    // 1:1, width x height pixels from (xSrc, ySrc) to (xDst, yDst).
    void SetDIBitsToDevice(int xDst, int yDst, int width, int height, int xSrc, int ySrc, const void* bits,
                           std::size_t bitsBytes, const BitmapInfo& info);
    // The wSrc x hSrc part at (xSrc, ySrc) over wDst x hDst pixels at (xDst, yDst), each
    // destination pixel taking the source pixel under its centre. A negative wDst or
    // hDst mirrors: the destination then ends at xDst or yDst (|wDst| pixels up to and
    // including xDst).
    void StretchDIBits(int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc, int hSrc, const void* bits,
                       std::size_t bitsBytes, const BitmapInfo& info);
    // The same two calls for a picture made while it is drawn, so that each row is drawn
    // while the bytes its maker just wrote are still in the cache: make runs on the caller
    // and calls ready(first, end) once stored rows [first, end) are in bits, from any
    // thread, for disjoint runs at once; ready draws the device rows that show them.
    // Rows never reported are not drawn.
    void SetDIBitsToDevice(int xDst, int yDst, int width, int height, int xSrc, int ySrc, const void* bits,
                           std::size_t bitsBytes, const BitmapInfo& info, FunctionRef<void(RowsReady)> make);
    void StretchDIBits(int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc, int hSrc, const void* bits,
                       std::size_t bitsBytes, const BitmapInfo& info, FunctionRef<void(RowsReady)> make);

    // Draws an 8-bit picture of srcWidth x srcHeight pixels, rows bottom first and each
    // padded to 4 bytes, through its 256 colours (colors[256]), stretched over dest (nearest pixel).
    void StretchDIBits8(const Rect& dest, int srcWidth, int srcHeight, const unsigned char* rows,
                        const ColorRef* colors);

    // One pixel in color (the write mode applies).
    void SetPixel(int x, int y, ColorRef color);

    // Current position for LineTo.
    void MoveTo(int x, int y);
    // Line with the pen and write mode from the current position to (x, y), that last
    // pixel excluded; (x, y) becomes the current position.
    void LineTo(int x, int y);

private:
    enum class Kind {
        Memory,
        Window,
        Device
    };

    void ApplyClip();
    Rect DeviceArea() const;
    Rect ClipArea() const;
    // The pixels drawn on, for a memory context or a window; null otherwise.
    QImage* Pixels() const;
    // Runs paint with a painter clipped and translated to logical units; touched is
    // the device rectangle that may change, shown afterwards on a window.
    template <class F>
    void Paint(const Rect& touched, F&& paint);
    void Shown(const Rect& device) const;
    // BitBlt from 32-bit pixels of the same format (possibly these very ones), in
    // device pixels.
    // alongside, if given, runs on the caller during the copy (or after it, if the
    // helpers took every row).
    void CopyPixels(const QImage& from, int left, int top, int width, int height, int srcLeft, int srcTop,
                    FunctionRef<void()>* alongside = nullptr);
    void Plot(QImage* pixels, int x, int y, ColorRef color);

    Kind m_kind = Kind::Device;
    QImage m_image;
    QPointer<QWidget> m_window;  // a BufferedWindow
    QPainter m_painter;          // active for the whole life of a device context only
    Rect m_device;               // drawable device area (device context; limit for a window)
    Rect m_clip;                 // in device pixels
    bool m_clipped = false;
    int m_orgX = 0;
    int m_orgY = 0;
    Pen m_pen;
    Brush m_brush;
    QFont m_font;
    ColorRef m_textColor = 0;
    ColorRef m_bkColor = 0xFFFFFF;
    BkMode m_bkMode = OPAQUE;
    Rop2 m_rop = R2_COPYPEN;
    unsigned m_textAlign = TA_LEFT | TA_TOP;
    int m_escapement = 0;
    int m_posX = 0;
    int m_posY = 0;
    int m_brushX = 0;
    int m_brushY = 0;
};

}  // namespace plat
