#pragma once
// The flat tool bar: buttons without borders until the mouse rests on one, pressed and
// checked buttons sunk, disabled ones embossed, a double gripper at the leading edge.
// The toolkit's tool buttons keep the mechanics (clicks, tool tips, enabling); the bar
// paints them all itself and asks its owner's custom-draw callback along the way.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QToolBar>
#include <functional>
#include <optional>
#include <vector>

#include "platform/windows/CommandBars.h"

class QPainter;

// Custom-draw stages, answers and item states.
enum : unsigned {
    CDDS_PREPAINT = 0x1,
    CDDS_POSTPAINT = 0x2,
    CDDS_ITEMPREPAINT = 0x10001,
    CDDS_ITEMPOSTPAINT = 0x10002,
    CDRF_DODEFAULT = 0x0,
    CDRF_SKIPDEFAULT = 0x4,
    CDRF_NOTIFYPOSTPAINT = 0x10,
    CDRF_NOTIFYITEMDRAW = 0x20,
    CDIS_DISABLED = 0x4,
    CDIS_CHECKED = 0x8,
};

class CToolBarEx;

// What the owner is told at each stage of a painting.
struct CToolBarCustomDraw {
    unsigned drawStage = 0;
    QPainter* dc = nullptr;
    QRect rc;                // the button's (item stages)
    unsigned itemSpec = 0;   // its command id
    unsigned itemState = 0;  // CDIS_ flags
    unsigned prePaintAnswer = 0;
    unsigned itemAnswer = 0;  // the latest item pre-paint answer
    CToolBarEx* bar = nullptr;
    QWidget* owner = nullptr;
};
using CustomDrawHandler = std::function<unsigned(const CToolBarCustomDraw&)>;

class CToolBarEx : public QToolBar {
    Q_OBJECT
public:
    // owner receives the custom-draw notices.
    explicit CToolBarEx(QWidget* owner);
    ~CToolBarEx() override;

    CToolBarEx(const CToolBarEx&) = delete;
    CToolBarEx& operator=(const CToolBarEx&) = delete;

    // The buttons of tool-bar resource id (the viewer library's, host first); clicks go to
    // handler. False when there is no such resource.
    bool LoadToolBar(unsigned id, const plat::CommandHandler& handler);

    // Off: the toolkit paints the buttons.
    void SetFlat(bool flat);
    bool IsFlat() const { return m_flat; }
    // The owner's answers to the custom-draw notices (none: every notice answers 0).
    void SetCustomDraw(CustomDrawHandler handler) { m_customDraw = std::move(handler); }

    // Runs update for every button and repaints only those whose state changed.
    void OnUpdateCmdUI(const plat::UpdateHandler& update);

    int ButtonCount() const;
    unsigned ButtonId(int index) const;
    QRect ButtonRect(int index) const;
    QAction* ButtonAction(int index) const;
    // The enabled button under the mouse, -1 for none.
    int HotButton() const { return m_hotButton; }
    QSize ImageSize() const { return m_imageSize; }
    QSize ButtonSize() const { return m_imageSize + QSize(7, 6); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void actionEvent(QActionEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReadColors();
    // The bar's actions but the gripper's room: the buttons and separators, in order.
    QList<QAction*> Buttons() const;
    void HoverAt(const QPoint& q);
    void ClearHover();
    unsigned Notify(CToolBarCustomDraw& cd) const;
    void DrawButton(QPainter& p, QAction* action, const QRect& r, int image);
    void DrawGripper(QPainter& p) const;

    bool m_flat = true;
    QSize m_imageSize{16, 15};
    QColor m_clrFace;
    QColor m_clrLight;      // the light edge
    QColor m_clrDark;       // the dark edge
    QColor m_clrLightFill;  // the 3D light colour, or the light edge when it equals the face
    int m_hotButton = -1;
    std::optional<QPoint> m_cursor;  // where the mouse is over the bar, if it is
    QPointer<QWidget> m_owner;
    QAction* m_lead = nullptr;
    QPixmap m_strip;
    QFont m_labelFont;
    CustomDrawHandler m_customDraw;
};
