#pragma once
// A flat button of the tool bar with an icon and a caption: it rises while the mouse is
// over it and sinks while it is pressed; released over it, it posts its id as a command
// to its parent. And the arrow button that scrolls a bar frame while it is held.

#include <QFont>
#include <QImage>
#include <QTimer>
#include <string>

#include "BarGeometry.h"
#include "BarWindow.h"

class CFlatButton : public CBarWindow {
public:
    explicit CFlatButton(QWidget* parent);

    // Stores id and caption and puts the window at rect.
    virtual bool Create(const std::string& caption, const CRect& rect, unsigned id);
    // The same with the icons (shown raised or pressed, and flat) and the bar's font, then
    // the layout of icon and caption by the layout mode. 1.
    int CreateWithIcons(const std::string& caption, const CRect& rect, unsigned id, const QImage& hot,
                        const QImage& normal, const QFont* const* font, int fontHeight);
    void SetLayoutMode(int mode) { m_layoutMode = mode; }

    int State() const { return m_state; }
    unsigned Id() const { return m_id; }
    const std::string& Caption() const { return m_caption; }
    const FlatButtonLayout& ButtonLayout() const { return m_layout; }

protected:
    void OnPaint(plat::DeviceContext& dc) override;
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    virtual void OnLButtonDown();
    virtual void OnLButtonUp();
    void OnMouseMove(int x, int y);
    void SetState(int state);

    QImage m_hot;
    QImage m_normal;
    const QFont* const* m_font = nullptr;
    int m_fontHeight = 0;
    int m_layoutMode = 1;
    FlatButtonLayout m_layout;
    std::string m_caption;
    unsigned m_id = 0;
    int m_state = kBarFlat;
    int m_left = 1;
    int m_pressed = 0;
    int m_inside = 0;
};

class CArrowButton final : public CFlatButton {
public:
    explicit CArrowButton(QWidget* parent);

    // direction -1 points left, 1 right; the caption is not drawn.
    bool Create(const std::string& caption, const CRect& rect, unsigned id, int direction);
    const ArrowTriangle& Triangle() const { return m_triangle; }

protected:
    void OnPaint(plat::DeviceContext& dc) override;
    void OnLButtonDown() override;
    void OnLButtonUp() override;

private:
    void OnTimer();

    CArrowRepeat m_repeat;
    int m_direction = 1;
    ArrowTriangle m_triangle;
    QTimer m_timer;
};
