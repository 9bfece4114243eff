#pragma once
// A static text that behaves as a web link: coloured and underlined, a pointing hand, a
// tool tip with its target, a hover colour, a visited colour once it was followed, and a
// click that opens the target with the desktop, falling back on its web browser.

#include <QLabel>
#include <functional>
#include <string>
#include <vector>

#include "platform/paint/SysColors.h"

// What the link asks of the desktop; tests put their own in place.
struct LinkServices {
    // Opens url with the desktop: 33 on success, 31 when nothing opened it, 2 for a
    // local path that does not exist.
    std::function<int(const std::string& url)> open;
    // The Exec line of the desktop's handler for web pages, "" without one.
    std::function<std::string()> webHandlerExec;
    // Starts a program (the first word) with its arguments, detached; false when it
    // could not be started.
    std::function<bool(const std::vector<std::string>& words)> start;
};
// Installs services (an empty member keeps the desktop's own); answers the previous ones.
LinkServices SetLinkServices(LinkServices services);

class CHyperLink final : public QLabel {
public:
    static constexpr plat::ColorRef kLinkColor = plat::Rgb(0, 0, 238);
    static constexpr plat::ColorRef kVisitedColor = plat::Rgb(85, 26, 139);

    explicit CHyperLink(QWidget* parent = nullptr);

    // Takes over a static control's place: its text becomes the target (or the target its
    // text), the font is underlined, the control fits its text by style (SS_ flags), and
    // the cursor and tool tip are set.
    void PreSubclassWindow(const std::string& text, unsigned style = 0);
    void SetURL(const std::string& url) { m_url = url; }
    const std::string& URL() const { return m_url; }
    void SetVisited(bool visited);
    bool Visited() const { return m_visited; }
    bool Over() const { return m_over; }
    // The colour the text shows in now.
    plat::ColorRef TextColor() const;

    // Opens url; above 32 on success, else the code of the failure.
    static int GotoURL(const std::string& url);
    // The box for a failed opening.
    void ReportError(int result);
    // A click: follows the link.
    void Follow();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Recolor();

    plat::ColorRef m_hoverColor;
    bool m_over = false;
    bool m_visited = false;
    bool m_underline = true;
    bool m_adjust = true;
    std::string m_url;
};
