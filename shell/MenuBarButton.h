#pragma once
// A text button of the shell's menu bar: a press opens its popup just below it. While a
// popup is open, an application event filter lets the user slide to the neighbouring
// button, whose popup then opens instead, as in a real menu bar.

#include <QFont>
#include <string>

#include "BarGeometry.h"
#include "BarWindow.h"

class CBarPage;
class QMenu;

class CMenuBarButton final : public CBarWindow {
public:
    explicit CMenuBarButton(CBarPage* page);

    // Measures the caption with the font, makes rect as wide as it plus 8 pixels and
    // answers that width in width; puts the window there. 1.
    int Create(const std::string& caption, CRect* rect, unsigned id, const QFont* const* font, int fontHeight,
               int popupIndex, int* width);
    // Opens the button's popup below it; returns when it has closed.
    void TrackMenu();

    const MenuBarButtonState& Flags() const { return m_flags; }
    const std::string& Caption() const { return m_caption; }
    const CRect& CaptionRect() const { return m_captionRect; }
    int PopupIndex() const { return m_popupIndex; }

    // The button whose popup is open, or null.
    static CMenuBarButton* Tracking();

protected:
    void OnPaint(plat::DeviceContext& dc) override;
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnLButtonDown();

    CBarPage* m_page;
    const QFont* const* m_font = nullptr;
    int m_fontHeight = 0;
    CRect m_captionRect;
    CRect m_pressedCaptionRect;
    unsigned m_format = kCaptionRight | kCaptionVCenter;
    std::string m_caption;
    unsigned m_id = 0;
    int m_popupIndex = 0;
    MenuBarButtonState m_flags;
};
