#pragma once
// A progress bar that paints itself: the filled part and the rest in colours of its own,
// with a centred caption drawn in one colour over the filled part and in another over the
// rest. It keeps its own position and range and repaints only when the filled width
// changes by a pixel or the caption does.

#include <QPointer>
#include <string>

#include "platform/dialogs/CustomControl.h"
#include "platform/paint/SysColors.h"

class CCaptionProgressCtrl final {
public:
    CCaptionProgressCtrl();
    ~CCaptionProgressCtrl();

    // Attached to at most one window: neither copied nor moved.
    CCaptionProgressCtrl(const CCaptionProgressCtrl&) = delete;
    CCaptionProgressCtrl& operator=(const CCaptionProgressCtrl&) = delete;

    // Takes over painting of an existing child control of a dialog.
    void Attach(plat::CustomControl* window);
    plat::CustomControl* GetWindow() const { return m_wnd; }

    // Answers the previous position, or -1 without a window.
    int SetPos(int pos);
    int GetPos() const { return m_pos; }
    int StepIt();
    int OffsetPos(int n);
    int SetStep(int n);
    void SetRange(int min, int max);

    void SetBarColor(plat::ColorRef color) { m_barColor = color; }
    void SetBkColor(plat::ColorRef color) { m_bkColor = color; }
    void SetTextColor(plat::ColorRef color) { m_textColor = color; }
    void SetBarTextColor(plat::ColorRef color) { m_barTextColor = color; }
    plat::ColorRef GetBarColor() const { return m_barColor; }
    plat::ColorRef GetBkColor() const { return m_bkColor; }
    plat::ColorRef GetTextColor() const { return m_textColor; }
    plat::ColorRef GetBarTextColor() const { return m_barTextColor; }

    void SetShowText(bool show);

    // The window's text: setting it makes a differing text the caption; reading copies
    // the caption into buf (at most max - 1 characters, terminated) and answers the count.
    void SetWindowText(const char* text);
    int GetWindowText(char* buf, int max) const;

private:
    // Width in pixels of the filled part at the current position.
    int BarWidth(int clientWidth) const;
    void OnPaint(plat::DeviceContext& paintDC);
    void OnSize();

    int m_pos = 0;
    int m_step = 1;
    int m_max = 100;
    int m_min = 0;
    std::string m_caption;
    bool m_showText = true;
    int m_barWidth = -1;  // filled width at the last repaint; -1 unknown
    plat::ColorRef m_barColor = plat::GetSysColor(plat::COLOR_HIGHLIGHT);
    plat::ColorRef m_bkColor = plat::GetSysColor(plat::COLOR_WINDOW);
    plat::ColorRef m_textColor = plat::GetSysColor(plat::COLOR_HIGHLIGHT);
    plat::ColorRef m_barTextColor = plat::GetSysColor(plat::COLOR_WINDOW);
    QPointer<plat::CustomControl> m_wnd;
};
