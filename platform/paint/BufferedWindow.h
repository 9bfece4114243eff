#pragma once
// A window that owns a 32-bit image of its client area, its screen: drawing outside
// paint events goes into it through a DeviceContext and shows at the next paint event,
// which copies the image. The owner's OnPaint runs only where the window was
// invalidated. The image keeps its top-left pixels across resizes; newly exposed parts
// are invalidated. The window also keeps scroll information, the mouse capture and a
// cursor that can be hidden.

#include <QCursor>
#include <QImage>
#include <QWidget>
#include <vector>

#include "platform/paint/DeviceContext.h"
#include "platform/windows/WindowHandle.h"

namespace plat {

enum ScrollBar : int {
    SB_HORZ = 0,
    SB_VERT = 1
};

// Requests of a scroll bar to its window.
enum ScrollCode : int {
    SB_LINELEFT = 0,
    SB_LINERIGHT = 1,
    SB_PAGELEFT = 2,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_LEFT = 6,
    SB_RIGHT = 7,
    SB_ENDSCROLL = 8,
};

struct ScrollInfo {
    int nMin = 0;
    int nMax = 0;
    int nPage = 0;
    int nPos = 0;
    int nTrackPos = 0;
    bool operator==(const ScrollInfo&) const = default;
};

class BufferedWindow : public QWidget {
public:
    explicit BufferedWindow(QWidget* parent = nullptr);
    ~BufferedWindow() override;

    // A widget is neither copied nor moved.
    BufferedWindow(const BufferedWindow&) = delete;
    BufferedWindow& operator=(const BufferedWindow&) = delete;

    // The window behind a handle, or null when it is gone or is no BufferedWindow.
    static BufferedWindow* FromHandle(const WindowHandle& handle);

    // The client area in client coordinates.
    Rect ClientRect() const;
    // The screen of the window (null when the client area is empty).
    const QImage& Buffer();

    // The owner must paint: OnPaint runs for the rectangle at the next paint event.
    void Invalidate();
    void InvalidateRect(const Rect& rect);
    // Runs a pending OnPaint now, into the buffer.
    void UpdateWindow();
    // Pixels of the buffer changed in rect: they show at the next paint event.
    void ShowChanged(const Rect& rect);
    // Moves the pixels of rect by (dx, dy) in the buffer and on the screen alike; the
    // part of rect they leave keeps its pixels until drawn over.
    void ScrollRect(int dx, int dy, const Rect& rect);

    // Stored as given; whoever shows scroll bars keeps them.
    ScrollInfo GetScrollInfo(ScrollBar bar) const { return m_scroll[bar == SB_VERT]; }
    void SetScrollInfo(ScrollBar bar, const ScrollInfo& info) { m_scroll[bar == SB_VERT] = info; }

    // Mouse input goes to this window until released. Losing the focus, being hidden or
    // another window taking the mouse ends it, and OnCaptureLost runs.
    void SetCapture();
    void ReleaseCapture();
    bool HasCapture() const { return m_capture; }

    void ShowCursor(bool show);
    bool IsCursorShown() const { return !m_cursorHidden; }
    // Cursor codes 7 to 11: four-way move, north-south, west-east, north-west-south-east,
    // north-east-south-west. False (and nothing changed) for any other code.
    bool SetCursorCode(int code);
    // The cursor resource id (looked up host first, then module's); false (and nothing
    // changed) when no module has it or its picture cannot be read.
    bool SetCursorResource(unsigned id, const char* module = nullptr);

protected:
    // Paints the invalidated part; dc is clipped to it. The default fills it white.
    virtual void OnPaint(DeviceContext& dc);
    virtual void OnCaptureLost() {}

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class DeviceContext;

    // The buffer at the client size.
    QImage* Pixels();
    // The buffer as a view of the store at m_origin.
    void MakeView();
    uchar* StoreBits() { return const_cast<uchar*>(m_store.constBits()); }
    // Moves the buffer's pixels of rect by (dx, dy) by moving the view in the store;
    // false when it cannot (a copy of the buffer shares its pixels, or the step is
    // larger than the room around it).
    bool MoveView(int dx, int dy, const Rect& rect);
    void PaintPending();
    // Shows region of the buffer by copying its rows into the screen's pixels when the
    // painter paints on a plain image; false when it does not.
    bool CopyToScreen(QPainter& painter, const QRegion& region);
    void EndCapture();

    // The buffer's pixels lie in a larger store with room on every side, so that a
    // scroll moves the view and copies only what must stay where it was.
    static constexpr int kRoom = 64;
    QImage m_store;
    QPoint m_origin;
    std::vector<QRgb> m_kept;  // what a scroll keeps in place, while the view moves
    QImage m_buffer;
    Rect m_invalid;
    bool m_painting = false;
    ScrollInfo m_scroll[2];
    bool m_capture = false;
    bool m_cursorHidden = false;
    QCursor m_cursor;
};

}  // namespace plat
