#pragma once
// The bars of the shell: a frame as wide as the main window shows one page of buttons
// between two scroll arrows, clipping the page to the room between them. The page holds
// either the menu-bar buttons or the tool buttons, and both pass their buttons' commands
// and hover reports up to the main window.

#include <QFont>
#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "BarGeometry.h"
#include "BarWindow.h"

class CArrowButton;
class CFlatButton;
class CMenuBarButton;
class QMenu;

class CBarPage final : public CBarHolder {
public:
    explicit CBarPage(QWidget* frame, const QFont* const* font, int fontHeight);
    ~CBarPage() override;

    // One menu-bar button per caption, from x 0; each popup i of the page's copy of the
    // menu bar opens from button i. Answers the page width.
    int BuildMenuButtons(const std::vector<std::string>& captions, const std::vector<unsigned>& ids, int height);
    // One tool button per caption, buttonWidth apart; the icons are the images of the
    // named strips (colour raised, grey flat). Answers the page width.
    int BuildToolButtons(const std::string& bitmapName, const std::string& grayBitmapName,
                         const std::vector<std::string>& captions, const std::vector<unsigned>& ids, int buttonWidth,
                         int buttonHeight);

    QMenu* PopupMenu(int index) const;
    void SetOpenPopupButton(CMenuBarButton* button) { m_openPopup = button; }

    int PageWidth() const { return m_pageWidth; }
    const std::vector<CFlatButton*>& ToolButtons() const { return m_toolButtons; }
    const std::vector<CMenuBarButton*>& MenuButtons() const { return m_menuButtons; }

protected:
    void OnPaint(plat::DeviceContext& dc) override;

private:
    const QFont* const* m_font;
    int m_fontHeight;
    std::vector<CFlatButton*> m_toolButtons;
    std::vector<CMenuBarButton*> m_menuButtons;
    std::vector<QMenu*> m_popups;  // children of this page
    CMenuBarButton* m_openPopup = nullptr;
    int m_pageWidth = 0;
};

class CBarFrame final : public CBarHolder {
public:
    // Lies at top in the main window, height tall; reports to the main window's handle.
    CBarFrame(QWidget* dialog, plat::WindowHandle dialogHandle, int top, int height);

    void CreateLeftArrow(const CRect& rect, unsigned id);
    void CreateRightArrow(const CRect& rect, unsigned id);
    // The page shown, at x with its width.
    void SetPage(CBarPage* page, int x);
    // Fits the frame to the main window's client width; the arrows and the clip follow.
    void Layout(int clientWidth);

    CBarPage* Page() const { return m_page; }
    CArrowButton* LeftArrow() const { return m_left; }
    CArrowButton* RightArrow() const { return m_right; }
    const BarScroll& Scroll() const { return m_scroll; }

protected:
    void OnPaint(plat::DeviceContext& dc) override;
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam) override;

private:
    void ShowPage();

    CBarPage* m_page = nullptr;
    CArrowButton* m_left = nullptr;
    CArrowButton* m_right = nullptr;
    BarScroll m_scroll;
    int m_top;
};
