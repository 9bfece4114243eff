#pragma once
// A frame window whose menus are drawn by a CBitmapMenu and whose menu bar is flat with
// hot tracking: the title under the mouse is framed raised; leaving it, or opening a
// menu, wipes the frame.

#include <QMainWindow>
#include <QRect>
#include <memory>

#include "platform/windows/CommandBars.h"
#include "bars/BitmapMenu.h"

class CToolBarEx;
class FlatBarStyle;
class QMenu;

class CSpawnFrameWnd : public QMainWindow {
    Q_OBJECT
public:
    explicit CSpawnFrameWnd(QWidget* parent = nullptr);
    ~CSpawnFrameWnd() override;

    CSpawnFrameWnd(const CSpawnFrameWnd&) = delete;
    CSpawnFrameWnd& operator=(const CSpawnFrameWnd&) = delete;

    // Makes menu resource id the window's menu bar (the viewer library's, host first);
    // its commands go to OnCommand. False when there is no such menu.
    bool LoadMenu(unsigned id);
    // Puts bar at the top of the window, fixed, in the window's look.
    void AttachToolBar(CToolBarEx* bar);
    // Gives a popup of the window (a context menu) the window's look and letter keys.
    void PreparePopup(QMenu* popup);
    // Runs popup at global point at; answers the chosen command id, 0 for none.
    unsigned TrackPopupMenu(QMenu* popup, const QPoint& at);

    // The update handler asked for each command before its menu opens (none: states stay
    // as the window sets them).
    void SetUpdateHandler(plat::UpdateHandler update) { m_update = std::move(update); }

    CBitmapMenu& MenuPainter() { return m_menu; }
    FlatBarStyle* Style() const { return m_style; }
    // The menu-bar title framed now (menu-bar pixels), empty for none.
    QRect HotRect() const { return m_hotRect; }
    bool InMenuLoop() const { return m_openMenus > 0; }

protected:
    virtual void OnCommand(unsigned id) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InitMenuPopup(QMenu* popup);
    void TrackHot(const QPoint& atBar);
    void WipeHot();

    CBitmapMenu m_menu;
    FlatBarStyle* m_style = nullptr;  // a child: outlives the painter's users
    QRect m_hotRect;
    int m_openMenus = 0;
    plat::UpdateHandler m_update;
};
