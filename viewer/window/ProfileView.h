#pragma once
// The drawing child of a profile window: the display levels of one row or column as
// a polyline, one value per pixel, scrolled horizontally along the profile, with the
// pointer's position and the source value under it in the frame's status bar.

#include <QFrame>
#include <cstdint>

#include "platform/paint/BufferedWindow.h"

class CVirtualView;
class QScrollBar;

namespace plat {
class StatusBar;
}

// The position a scroll request asks for, clamped to 0..count; code unknown: current.
int ProfileScrollTarget(int code, int current, int thumb, int count);
// A scroll bar's position as the bar keeps it: within nMin .. nMax - nPage + 1.
int ClampScrollPos(const plat::ScrollInfo& info, int pos);

class CProfileView final : public QFrame {
public:
    static constexpr int kViewId = 32804;

    // Axis 1: the profile runs along X through row position; else along Y through
    // column position.
    CProfileView(int axis, int position);
    ~CProfileView() override;
    CProfileView(const CProfileView&) = delete;
    CProfileView& operator=(const CProfileView&) = delete;

    // The child window in parent; values (count of them) stay the frame's. 1.
    int Create(QWidget* parent, CVirtualView* view, int count, const std::uint32_t* values, plat::StatusBar* statusBar);
    // The layer view is gone: no more read-outs.
    void ForgetLayerView() { m_pLayerView = nullptr; }

    // What the window does on a horizontal scroll request and a pointer move.
    void OnHScroll(int code, int thumb);
    void OnMouseMove(int x, int y);

    // The drawing surface: the client area above the scroll bar.
    plat::BufferedWindow* Client() const { return m_pClient; }
    QScrollBar* ScrollBar() const { return m_pScrollBar; }
    plat::ScrollInfo GetScrollInfo() const { return m_ScrollInfo; }
    double Scale() const { return m_dScale; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Canvas;

    void Paint(plat::DeviceContext& dc);
    void ClientResized(int cx, int cy);
    // Stores info (position clamped as a scroll bar keeps it) and shows it on the bar.
    void SetScrollInfo(const plat::ScrollInfo& info);

    double m_dScale = 0.0;  // client height / 256
    unsigned char m_nAxis = 0;
    int m_nPosition = 0;
    plat::StatusBar* m_pStatusBar = nullptr;
    const std::uint32_t* m_pValues = nullptr;
    int m_nCount = 0;
    CVirtualView* m_pLayerView = nullptr;
    plat::ScrollInfo m_ScrollInfo;
    plat::BufferedWindow* m_pClient = nullptr;
    QScrollBar* m_pScrollBar = nullptr;
};
