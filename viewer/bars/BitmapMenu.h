#pragma once
// The painter of a frame window's menus: command images taken from tool-bar resources,
// one record per owner-drawn menu item (attached to its action), the menu font and the
// colours; measures and draws items in the flat look, with each command's tool-bar
// image beside its text, embossed when disabled.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/CommandBars.h"
#include "platform/paint/SysColors.h"
#include "bars/BarPainting.h"
#include "bars/MenuLayout.h"

class QAction;
class QMenu;
class QMenuBar;
class QPainter;
class QWidget;

// The state an item is drawn in.
struct MenuItemState {
    bool selected = false;
    bool disabled = false;
    bool checked = false;
};

class CBitmapMenu {
public:
    CBitmapMenu();
    // topLevel set: no item is drawn as a menu-bar title.
    explicit CBitmapMenu(bool topLevel);
    virtual ~CBitmapMenu();

    // Owns the item records its actions point at: neither copied nor moved.
    CBitmapMenu(const CBitmapMenu&) = delete;
    CBitmapMenu& operator=(const CBitmapMenu&) = delete;

    // Images and command pairs of tool-bar resource id (the viewer library's, host first);
    // 1, or 0 when there is no such resource or its picture cannot be read.
    int LoadToolbarImages(unsigned id);
    // The same for a further resource: its images are appended.
    int AddToolbarImages(unsigned id);
    void AddCommandImage(int image, unsigned id);
    // Image index of the first pair with this command id, -1 when none.
    int FindImage(int id) const;
    bars::MenuItemRecord* AddItem(const char* text, int code);

    // Makes the items of a menu bar or a popup owner-drawn, depth first, each once.
    void OwnerDrawMenu(QMenuBar* bar);
    void OwnerDrawMenu(QMenu* menu);

    // The item's size; false when the action is not owner-drawn.
    bool MeasureItem(const QAction* action, QSize& size) const;
    QSize MeasureRecord(const bars::MenuItemRecord& item) const;
    // Draws the item in r (a popup item's r starts at x 0); false when not owner-drawn.
    bool DrawItem(QPainter& p, const QAction* action, const QRect& r, const MenuItemState& state) const;
    void DrawRecord(QPainter& p, const bars::MenuItemRecord& item, const QRect& r, const MenuItemState& state) const;
    // The position of the item of an open menu that letter ch runs, -1 when none.
    int MenuChar(unsigned ch, const QMenu* menu) const;

    bool SetMenuFont(const QFont& font);
    void SetTextColors(plat::ColorRef normal, plat::ColorRef selected);
    bool IsOwnerDrawnItem(const QAction* action) const;
    bool GetItemText(std::string& text, const QAction* action) const;
    // The update handler for every command of menu and its submenus, last item first.
    void UpdateMenuCmdUI(QMenu* menu, const plat::UpdateHandler& update) const;

    // The record an action carries, null when it carries none.
    static const bars::MenuItemRecord* ItemOf(const QAction* action);

    const QFont& Font() const;
    QColor MenuColor() const { return C(m_clrMenu); }
    QColor LightColor() const { return C(m_clrLight); }
    QColor DarkColor() const { return C(m_clrDark); }
    QColor MenuTextColor() const { return C(m_clrText); }
    QColor GrayTextColor() const { return C(m_clrGrayText); }
    QSize ImageSize() const { return {m_imageWidth, m_imageHeight}; }
    int ImageCount() const { return int(m_images.size()); }

private:
    static QColor C(plat::ColorRef c) { return bars::ToQColor(c); }
    int AppendToolbarImages(unsigned id, bool fresh);
    void OwnerDrawActions(const QList<QAction*>& actions, bool barTitles);
    void Attach(QAction* action, bars::MenuItemRecord* item);
    void DrawText(QPainter& p, const std::string& text, const QRect& box, int align, const QColor& color) const;

    std::unique_ptr<QFont> m_customFont;
    QFont m_menuFont;
    int m_imageWidth = 20;
    int m_imageHeight = 20;
    std::vector<QPixmap> m_images;
    QPixmap m_checkMark;
    plat::ColorRef m_clrText = 0;
    plat::ColorRef m_clrHighlightText = 0;
    plat::ColorRef m_clrFace = 0;
    plat::ColorRef m_clrMenu = 0;
    plat::ColorRef m_clrHighlight = 0;
    plat::ColorRef m_clrLight = 0;
    plat::ColorRef m_clrDark = 0;
    plat::ColorRef m_clrGrayText = 0;
    std::vector<std::unique_ptr<bars::MenuItemRecord>> m_items;
    std::vector<std::pair<int, int>> m_commandImages;  // {image, command id}
    std::vector<QPointer<QAction>> m_attached;
    bool m_topLevel = false;
};
