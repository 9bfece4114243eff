#pragma once
// A small image window for the overlay tests: it paints a picture, then the frame
// overlay and the cross-hair, forwards the mouse to the overlay, records the messages
// it receives and answers WM_VIEWER_CURSOR by setting the cursor.

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <vector>

#include "platform/paint/BufferedWindow.h"
#include "platform/windows/WindowHandle.h"
#include "window/CrossPointer.h"
#include "window/Frame.h"
#include "window/ViewerMessages.h"

namespace overlaytest {

struct Message {
    unsigned msg;
    plat::WParam wp;
    plat::LParam lp;
};

class View final : public plat::BufferedWindow {
public:
    View(int width, int height) : m_picture(width, height)
    {
        resize(width, height);
        // Rows of one colour, each column XORed with another: neighbours always differ.
        for (int y = 0; y < height; ++y)
            m_picture.FillRect(
                plat::Rect{0, y, width, y + 1},
                plat::Rgb(unsigned(y * 37) & 0xFF, unsigned(y * 11 + 90) & 0xFF, unsigned(y * 5) & 0xFF));
        m_picture.SetROP2(plat::R2_XORPEN);
        for (int x = 0; x < width; ++x) {
            m_picture.SelectPen(
                plat::Pen{plat::Pen::Solid, 0,
                          plat::Rgb(unsigned(x * 13) & 0xFF, unsigned(x * 71) & 0xFF, unsigned(x * 3 + 7) & 0xFF)});
            m_picture.MoveTo(x, 0);
            m_picture.LineTo(x, height);
        }
        handle = plat::WindowHandle::Attach(this, [this](unsigned msg, plat::WParam wp, plat::LParam lp) {
            messages.push_back({msg, wp, lp});
            if (msg == WM_VIEWER_CURSOR)
                SetCursorCode(int(wp));
            return plat::LResult(1);
        });
    }

    // The picture as it stands in the buffer before any overlay.
    const QImage& PictureImage() const { return m_picture.Image(); }

    // A full repaint: the picture, then the overlays.
    QImage FreshRender()
    {
        Invalidate();
        UpdateWindow();
        return Buffer().copy();
    }

    int Count(unsigned msg) const
    {
        int n = 0;
        for (const Message& m : messages)
            n += m.msg == msg;
        return n;
    }

    void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || (type == QEvent::MouseMove && !m_down)
                                          ? Qt::NoButton
                                          : Qt::MouseButtons(button);
        QMouseEvent e(type, QPointF(x, y), mapToGlobal(QPointF(x, y)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QApplication::sendEvent(this, &e);
    }
    void Press(int x, int y) { Mouse(QEvent::MouseButtonPress, x, y); }
    void Move(int x, int y) { Mouse(QEvent::MouseMove, x, y); }
    void Release(int x, int y) { Mouse(QEvent::MouseButtonRelease, x, y); }

    plat::WindowHandle handle;
    CFrame* frame = nullptr;
    CCrossPointer* cross = nullptr;
    std::vector<Message> messages;

protected:
    void OnPaint(plat::DeviceContext& dc) override
    {
        dc.BitBlt(0, 0, m_picture.Image().width(), m_picture.Image().height(), m_picture, 0, 0);
        if (frame)
            frame->Paint(&dc);
        if (cross)
            cross->Paint(dc);
    }
    void OnCaptureLost() override
    {
        if (frame)
            frame->CancelDrag();
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        m_down = true;
        if (frame)
            frame->MouseDown(CPoint{int(e->position().x()), int(e->position().y())});
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (frame)
            frame->MouseMove(CPoint{int(e->position().x()), int(e->position().y())});
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        m_down = false;
        if (frame)
            frame->MouseUp(CPoint{int(e->position().x()), int(e->position().y())});
    }

private:
    plat::DeviceContext m_picture;
    bool m_down = false;
};

// A window that counts the notices posted to it.
class NotifyWindow final {
public:
    NotifyWindow()
    {
        handle = plat::WindowHandle::Attach(&m_widget, [this](unsigned msg, plat::WParam wp, plat::LParam lp) {
            messages.push_back({msg, wp, lp});
            return plat::LResult(0);
        });
    }
    // Delivers what was posted so far and answers how many notices came.
    int Notices()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        int n = 0;
        for (const Message& m : messages)
            n += m.msg == WM_VIEWER_NOTIFY && m.wp == plat::WParam(-1) && m.lp == 4;
        return n;
    }
    plat::WindowHandle handle;
    std::vector<Message> messages;

private:
    QWidget m_widget;
};

}  // namespace overlaytest
