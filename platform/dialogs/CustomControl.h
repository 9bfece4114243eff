#pragma once
// A child control painted by its owner. The owner attaches handlers; the control keeps
// its window text, draws its border from the template and hands the owner a device
// context over the client area (inside the border) whose origin is the client's corner.

#include <QFrame>
#include <functional>
#include <string>

#include "platform/paint/DeviceContext.h"

namespace plat {

// No signals or slots of its own, so no meta-object: find it with dynamic_cast.
class CustomControl final : public QFrame {
public:
    using PaintHandler = std::function<void(DeviceContext& dc)>;
    using ResizeHandler = std::function<void()>;
    enum class MouseAction {
        LeftDown,
        LeftUp,
        Move
    };
    // (x, y) in client coordinates; they may lie outside while the left button is held.
    using MouseHandler = std::function<void(MouseAction action, int x, int y)>;

    explicit CustomControl(QWidget* parent = nullptr);

    // A widget is neither copied nor moved.
    CustomControl(const CustomControl&) = delete;
    CustomControl& operator=(const CustomControl&) = delete;

    void SetPaintHandler(PaintHandler handler) { m_paint = std::move(handler); }
    void SetResizeHandler(ResizeHandler handler) { m_resize = std::move(handler); }
    // Every move over the control, with or without a button, and the left button's
    // presses and releases. From a press to its release the control keeps the mouse.
    void SetMouseHandler(MouseHandler handler);

    // The client area in client coordinates.
    Rect ClientRect() const;
    // Asks for a repaint of the whole client area later.
    void Invalidate();
    // Repaints now.
    void UpdateNow();

    void SetText(const std::string& text) { m_text = text; }
    const std::string& Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void Mouse(MouseAction action, QMouseEvent* event);

    PaintHandler m_paint;
    ResizeHandler m_resize;
    MouseHandler m_mouse;
    std::string m_text;
};

}  // namespace plat
