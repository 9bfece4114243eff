#pragma once
// The owner-drawn caption bar every form of the 3D viewer carries instead of the
// window manager's title bar, the hook that makes it its form's caption, and the
// window that tracks the menus of its check buttons.
//
// TSFlatCaptionCore holds the layout, the button states, the presses, the hit test,
// the minimum size and the style decision without any widget: what it needs of the
// window (cursor, cover, window state, text measuring, invalidation, commands) it
// asks through virtual functions. TSFlatCaption is the widget that answers them.

#include "platform/paint/BufferedWindow.h"
#include "platform/paint/DeviceContext.h"

#include <QMenu>
#include <QPointer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QAction;
class QTimer;
class TSFlatCaptionCore;
class TSFlatCaption;

enum TSFlatCaptionCommand : int {
    fccNone,
    fccMenu,
    fccClose,
    fccMaximize,
    fccMinimize,
    fccHelp,
    fccScreenPin,
    fccUser
};

enum TSFlatCaptionTextPos : int {
    fctNone,
    fctLeft,
    fctRight
};

enum TSFlatCaptionBitmapPos : int {
    fbmNone,
    fbmCopy,
    fbmStretch,
    fbmLeftTop,
    fbmLeftMid,
    fbmLeftBottom,
    fbmCenterTop,
    fbmCenterMid,
    fbmCenterBottom,
    fbmRightTop,
    fbmRightMid,
    fbmRightBottom
};

enum TSFlatCaptionBevel : int {
    fbvNone,
    fbvRaised,
    fbvLowered
};

enum TSFlatCaptionBorder : int {
    fcbNone,
    fcbSingle,
    fcbDialog,
    fcbSizeable
};

// Button states, worked out whenever needed.
inline constexpr int fbsDisable = 0;
inline constexpr int fbsFreeOut = 1;
inline constexpr int fbsFreeIn = 2;
inline constexpr int fbsFixedOut = 3;
inline constexpr int fbsFixedIn = 4;
inline constexpr int fbsDownOut = 5;
inline constexpr int fbsDownIn = 6;

// Colour indices.
inline constexpr int fclShade = 0;
inline constexpr int fclLight = 1;
inline constexpr int fclActive = 2;
inline constexpr int fclInactive = 3;
inline constexpr int fclTextActive = 4;
inline constexpr int fclTextInactive = 5;
inline constexpr int fclStateBase = 6;  // + button state

// Window show states as the caption asks them.
inline constexpr int fswHidden = 0;
inline constexpr int fswNormal = 1;
inline constexpr int fswMinimized = 2;
inline constexpr int fswMaximized = 3;

// System commands a button posts to its window.
enum : int {
    SC_CLOSE = 0xF060,
    SC_RESTORE = 0xF120,
    SC_MAXIMIZE = 0xF030,
    SC_MINIMIZE = 0xF020,
    SC_CONTEXTHELP = 0xF180
};

inline constexpr int kFlatCaptionHeight = 24;
inline constexpr int kHitNone = -1;
inline constexpr int kHitText = 0;
inline constexpr int kHitElsewhere = 0x1000000;

class TSFlatCaptionColors final {
public:
    explicit TSFlatCaptionColors(TSFlatCaptionCore* Bar = nullptr) : m_bar(Bar) {}
    TSFlatCaptionColors(const TSFlatCaptionColors&) = delete;
    TSFlatCaptionColors& operator=(const TSFlatCaptionColors&) = delete;

    static constexpr int kCount = 13;
    // 0 outside 0 to 12.
    plat::ColorRef Color(int Index) const;
    // Ignored outside 0 to 12; a change repaints the bar.
    void SetColor(int Index, plat::ColorRef Value);
    void Assign(const TSFlatCaptionColors& Source);

private:
    TSFlatCaptionCore* m_bar = nullptr;
    std::array<plat::ColorRef, kCount> m_colors = {
        0x808080, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x000000, 0x808080, 0x808080,
        0x000000, 0xFF0000, 0x000000, 0xFF0000, 0x000080, 0x000000,
    };
};

class TSFlatCaptionButton;

class TSFlatCaptionButtonImages final {
public:
    explicit TSFlatCaptionButtonImages(TSFlatCaptionButton* Button = nullptr) : m_button(Button) {}
    TSFlatCaptionButtonImages(const TSFlatCaptionButtonImages&) = delete;
    TSFlatCaptionButtonImages& operator=(const TSFlatCaptionButtonImages&) = delete;

    static constexpr int kCount = 7;
    // -1 outside 0 to 6.
    std::int32_t Image(int State) const;
    // Ignored outside 0 to 6; a change invalidates the button.
    void SetImage(int State, std::int32_t Value);
    void Assign(const TSFlatCaptionButtonImages& Source);

private:
    TSFlatCaptionButton* m_button = nullptr;
    std::array<std::int32_t, kCount> m_images = {-1, -1, -1, -1, -1, -1, -1};
};

class TSFlatCaptionButton final {
public:
    explicit TSFlatCaptionButton(TSFlatCaptionCore* Bar = nullptr);
    ~TSFlatCaptionButton();
    TSFlatCaptionButton(const TSFlatCaptionButton&) = delete;
    TSFlatCaptionButton& operator=(const TSFlatCaptionButton&) = delete;

    TSFlatCaptionCore* Bar() const { return m_bar; }
    void SetBar(TSFlatCaptionCore* Bar) { m_bar = Bar; }

    const std::string& Text() const { return m_text; }
    void SetText(const std::string& Value);
    const std::string& Hint() const { return m_hint; }
    void SetHint(const std::string& Value) { m_hint = Value; }
    std::int32_t Tag() const { return m_tag; }
    void SetTag(std::int32_t Value) { m_tag = Value; }
    bool Visible() const { return m_visible; }
    void SetVisible(bool Value);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool Value);
    bool In() const { return m_in; }
    bool Down() const { return m_down; }
    bool CheckButton() const { return m_checkButton; }
    void SetCheckButton(bool Value);
    bool Fixed() const { return m_fixed; }
    void SetFixed(bool Value) { SetState(m_in, m_down, Value); }
    bool Flat() const { return m_flat; }
    void SetFlat(bool Value);
    std::int32_t Width() const { return m_width; }
    void SetWidth(std::int32_t Value) { SetGeometry(m_width, Value); }
    std::int32_t Height() const { return m_height; }
    void SetHeight(std::int32_t Value) { SetGeometry(m_height, Value); }
    std::int32_t Top() const { return m_top; }
    void SetTop(std::int32_t Value) { SetGeometry(m_top, Value); }
    std::int32_t Spacing() const { return m_spacing; }
    void SetSpacing(std::int32_t Value) { SetGeometry(m_spacing, Value); }
    std::int32_t Position() const { return m_position; }
    void SetPosition(std::int32_t Value) { SetGeometry(m_position, Value); }
    TSFlatCaptionCommand Command() const { return m_command; }
    void SetCommand(TSFlatCaptionCommand Value);
    TSFlatCaptionTextPos TextPos() const { return m_textPos; }
    void SetTextPos(TSFlatCaptionTextPos Value);
    TSFlatCaptionButtonImages& Images() { return m_images; }
    const TSFlatCaptionButtonImages& Images() const { return m_images; }
    QMenu* PopupMenu() const;
    void SetPopupMenu(QMenu* Menu);

    // Place in bar coordinates, set by Arrange.
    plat::Rect Rect;

    // 0 to 6, from Enabled, Down, Fixed and In.
    int State() const;
    void SetState(bool In, bool Down, bool Fixed);
    void Assign(const TSFlatCaptionButton& Source);
    // Asks the bar to redraw the button.
    void Invalidate();

private:
    friend class TSFlatCaptionCore;
    void SetGeometry(std::int32_t& Field, std::int32_t Value);
    void Relayout();

    TSFlatCaptionCore* m_bar = nullptr;
    std::string m_text;
    std::string m_hint;
    std::int32_t m_tag = 0;
    bool m_visible = true;
    bool m_enabled = true;
    bool m_in = false;
    bool m_down = false;
    bool m_checkButton = false;
    bool m_fixed = false;
    bool m_flat = true;
    std::int32_t m_width = 20;
    std::int32_t m_height = 20;
    std::int32_t m_top = 2;
    std::int32_t m_spacing = 2;
    std::int32_t m_position = 0;
    TSFlatCaptionCommand m_command = fccNone;
    TSFlatCaptionTextPos m_textPos = fctNone;
    TSFlatCaptionButtonImages m_images{this};
    QPointer<QMenu> m_popupMenu;
};

class TSFlatCaptionButtonList final {
public:
    explicit TSFlatCaptionButtonList(TSFlatCaptionCore* Bar) : m_bar(Bar) {}
    TSFlatCaptionButtonList(const TSFlatCaptionButtonList&) = delete;
    TSFlatCaptionButtonList& operator=(const TSFlatCaptionButtonList&) = delete;

    int Count() const { return int(m_items.size()); }
    // Null outside 0 to Count - 1.
    TSFlatCaptionButton* Items(int Index) const;
    TSFlatCaptionButton* Add(std::int32_t Position);
    void Clear();
    // The items copied, every one linked to this list's bar.
    void Assign(const TSFlatCaptionButtonList& Source);
    // After any change of the items: links, layout, form style, repaint.
    void Update();

private:
    TSFlatCaptionCore* m_bar = nullptr;
    std::vector<std::unique_ptr<TSFlatCaptionButton>> m_items;
};

// Where a picture lands in a button and what of it is cut off.
struct TSFlatCaptionButtonLayout {
    plat::Rect Picture;  // clipped to the button
    int CutLeft = 0;     // picture columns cut off at the left
    int CutTop = 0;      // picture rows cut off at the top
    plat::Rect Text;     // full height of the button
};
TSFlatCaptionButtonLayout LayoutFlatCaptionButton(const plat::Rect& Button, TSFlatCaptionTextPos TextPos,
                                                  int TextWidth, int PictureWidth, int PictureHeight);

// A copy of the background bitmap onto the bar: the source part and its place.
struct TSFlatCaptionBlit {
    plat::Rect Dest;
    int SourceX = 0;
    int SourceY = 0;
};
struct TSFlatCaptionBackground {
    bool Stretch = false;                   // the whole bitmap over the whole bar
    std::vector<plat::Rect> Fill;           // margins in the brush colour
    std::vector<TSFlatCaptionBlit> Copies;  // 1:1 copies, cut at the bar's edges
};
TSFlatCaptionBackground PlaceFlatCaptionBitmap(TSFlatCaptionBitmapPos Pos, int BarWidth, int BarHeight,
                                               int BitmapWidth, int BitmapHeight);

// The box the caption text is drawn in, from its measured size.
plat::Rect FlatCaptionTextBox(const plat::Rect& TextArea, TSFlatCaptionTextPos TextPos, int TextWidth,
                              int TextHeight);

// Index into the shared strip for a command's picture in a state; -1 for other commands.
int SharedImageIndex(TSFlatCaptionCommand Command, int State);

// Which element OnDrawElement is about to draw.
enum class TSFlatCaptionElement {
    Bar,
    Button,
    Text
};

class TSFlatCaptionCore {
public:
    TSFlatCaptionCore();
    virtual ~TSFlatCaptionCore();
    TSFlatCaptionCore(const TSFlatCaptionCore&) = delete;
    TSFlatCaptionCore& operator=(const TSFlatCaptionCore&) = delete;

    // Bar size; the widget keeps it equal to its own.
    int BarWidth() const { return m_barWidth; }
    int BarHeight() const { return m_barHeight; }
    void SetBarSize(int Width, int Height);

    const std::string& Text() const { return m_text; }
    void SetText(const std::string& Value);
    std::int32_t SpacingX() const { return m_spacingX; }
    void SetSpacingX(std::int32_t Value);
    std::int32_t SpacingY() const { return m_spacingY; }
    void SetSpacingY(std::int32_t Value);
    TSFlatCaptionBitmapPos BitmapPos() const { return m_bitmapPos; }
    void SetBitmapPos(TSFlatCaptionBitmapPos Value);
    TSFlatCaptionTextPos TextPos() const { return m_textPos; }
    void SetTextPos(TSFlatCaptionTextPos Value);
    TSFlatCaptionBevel Bevel() const { return m_bevel; }
    void SetBevel(TSFlatCaptionBevel Value);
    TSFlatCaptionBevel CaptionBevel() const { return m_captionBevel; }
    void SetCaptionBevel(TSFlatCaptionBevel Value);
    bool ClientControl() const { return m_clientControl; }
    void SetClientControl(bool Value) { m_clientControl = Value; }
    TSFlatCaptionBorder Border() const { return m_border; }
    virtual void SetBorder(TSFlatCaptionBorder Value) { m_border = Value; }
    bool Active() const { return m_active; }
    // A change repaints the bar.
    void SetActive(bool Value);

    TSFlatCaptionButtonList& Buttons() { return m_buttons; }
    const TSFlatCaptionButtonList& Buttons() const { return m_buttons; }
    TSFlatCaptionColors& Colors() { return m_colors; }
    const TSFlatCaptionColors& Colors() const { return m_colors; }

    const plat::Rect& TextArea() const { return m_textArea; }
    bool TextHot() const { return m_textHot; }
    // The bar's hint: the last button the mouse entered.
    const std::string& Hint() const { return m_hint; }

    std::function<void(TSFlatCaptionCore* Sender, TSFlatCaptionButton* Button, TSFlatCaptionCommand& Command)>
        OnButtonClick;
    // Button is null for the bar and the text.
    std::function<void(TSFlatCaptionCore* Sender, TSFlatCaptionElement Element, TSFlatCaptionButton* Button,
                       bool& DefaultDraw)>
        OnDrawElement;

    bool IsPinned() const;
    void SetPinned(bool Value);

    void Arrange();
    void UpdateHover();
    // A left press (Down true) or release on the bar.
    void LeftButton(bool Down);
    void ExecuteCommand(TSFlatCaptionButton* Button, TSFlatCaptionCommand Command);
    // Point in bar coordinates: -1 nothing, 0 the text area, n the button at list index
    // n - 1, 0x1000000 elsewhere on the bar.
    int HitTest(CPoint Point) const;
    // The smallest client size the window may take.
    CSize MinimumSize() const;
    // Whether a visible, enabled button allows minimising and maximising.
    bool AllowsMinimize() const;
    bool AllowsMaximize() const;

    // What the widget answers.
    virtual bool Hooked() const { return false; }
    virtual bool BarVisible() const { return true; }
    virtual int WindowShowState() const { return fswNormal; }
    // Cursor in bar coordinates, and whether another window lies over it.
    virtual CPoint CursorPos() const { return {}; }
    virtual bool CursorCovered() const { return false; }
    virtual void InvalidateBar(const plat::Rect&) {}
    virtual void RepaintBar() {}
    virtual void ButtonHint(const std::string&) {}
    virtual void PostSysCommand(int) {}
    virtual void ApplyPinned(bool) {}
    virtual void UpdateFormStyle() {}
    // Shows a check button's menu below it and returns when it has closed; true when
    // a left press on the button waits (the button then stays fixed).
    virtual bool TrackButtonMenu(TSFlatCaptionButton&) { return false; }

protected:
    // Releases, in order, run commands that may free the bar: guards against it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

private:
    friend class TSFlatCaptionButton;
    void ButtonStateChanged(TSFlatCaptionButton& Button, bool Released);

    int m_barWidth = 120;
    int m_barHeight = kFlatCaptionHeight;
    bool m_active = true;
    std::string m_text;
    std::int32_t m_spacingX = 2;
    std::int32_t m_spacingY = 2;
    plat::Rect m_textArea;
    bool m_textHot = false;
    bool m_clientControl = false;
    TSFlatCaptionBitmapPos m_bitmapPos = fbmCopy;
    TSFlatCaptionTextPos m_textPos = fctLeft;
    TSFlatCaptionBevel m_bevel = fbvLowered;
    TSFlatCaptionBevel m_captionBevel = fbvLowered;
    TSFlatCaptionBorder m_border = fcbSizeable;
    TSFlatCaptionButtonList m_buttons{this};
    TSFlatCaptionColors m_colors{this};
    std::string m_hint;
};

// A strip of equal pictures with a transparent colour.
class TSImageList;

// A tie to an image list: OnChange runs after every change of the list and when the
// list goes (Sender is nil then). Leaves its list when it goes.
class TSChangeLink final {
public:
    TSChangeLink() = default;
    TSChangeLink(const TSChangeLink&) = delete;
    TSChangeLink& operator=(const TSChangeLink&) = delete;
    ~TSChangeLink();

    TSImageList* Sender() const { return m_sender; }
    // Leaves the old list, joins List (nil: none).
    void SetSender(TSImageList* List);

    std::function<void()> OnChange;

private:
    friend class TSImageList;
    TSImageList* m_sender = nullptr;
};

class TSImageList final {
public:
    TSImageList(int Width, int Height, int Count);
    TSImageList(const TSImageList&) = delete;
    TSImageList& operator=(const TSImageList&) = delete;
    // Its links are told that it goes.
    ~TSImageList();

    void RegisterChanges(TSChangeLink* Link);
    void UnRegisterChanges(TSChangeLink* Link);
    // Tells every link; call after drawing into Strip().
    void Changed();

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return m_count; }
    plat::ColorRef Transparent() const { return m_transparent; }
    void SetTransparent(plat::ColorRef Colour);
    // The strip's pixels, Count pictures side by side.
    plat::DeviceContext& Strip() { return m_strip; }
    const plat::DeviceContext& Strip() const { return m_strip; }
    // Picture Index, its part from (CutLeft, CutTop), into Dest.
    void Draw(plat::DeviceContext& Dc, const plat::Rect& Dest, int Index, int CutLeft = 0, int CutTop = 0) const;

private:
    int m_width;
    int m_height;
    int m_count;
    plat::DeviceContext m_strip;
    plat::ColorRef m_transparent = 0;
    std::vector<TSChangeLink*> m_links;
};

// The shared strip of the bar's standard pictures: 560 x 16, 35 pictures, top-left
// pixel transparent. Made on first use.
const TSImageList& SharedImages();

// The menu window: tracks the menus of check buttons and of the bar, and runs the
// chosen entry's click.
class TPopupExWindow final {
public:
    TPopupExWindow() = default;
    TPopupExWindow(const TPopupExWindow&) = delete;
    TPopupExWindow& operator=(const TPopupExWindow&) = delete;

    // Shows Menu at (X, Y) (screen) outside Exclude: below it, or above it when the
    // menu would leave the screen there. Returns when the menu has closed and the
    // chosen entry has run.
    void TrackPopup(QMenu* Menu, int X, int Y, const plat::Rect& Exclude);
    // Where TrackPopup puts a menu of the given size on a screen area.
    static CPoint MenuPlace(int X, int Y, const plat::Rect& Exclude, CSize MenuSize, const plat::Rect& Screen);
    // Runs an entry's click; an exception goes to the error box (an abort stays silent).
    void Dispatch(QAction* Action);
    QMenu* CurrentPopup() const { return m_currentPopup; }
    // The hint of the entry under the mouse; empty when it has none.
    const std::string& Hint() const { return m_hint; }
    // The entry an owner-drawn item chose.
    void Choose(QAction* Action) { m_chosen = Action; }

private:
    std::vector<QMenu*> m_tracked;
    QPointer<QMenu> m_currentPopup;
    QPointer<QAction> m_chosen;
    std::string m_hint;
};
TPopupExWindow& PopupWindow();

// An entry's click, run by the popup window (exceptions reach the error box).
void SetMenuItemClick(QAction* Action, std::function<void()> Click);

// A menu entry that measures and draws itself through a device context, in the menu
// font and the menu or highlight colours.
class TSOwnerDrawMenuItem {
public:
    virtual ~TSOwnerDrawMenuItem() = default;
    virtual void Measure(plat::DeviceContext& Dc, int& Width, int& Height) = 0;
    virtual void Draw(plat::DeviceContext& Dc, const plat::Rect& Rect, bool Selected) = 0;
};
// An action for Menu whose entry Item draws (Item owned by the action).
QAction* AddOwnerDrawItem(QMenu* Menu, std::unique_ptr<TSOwnerDrawMenuItem> Item);

// The caption bar widget: a child at the top of its form that takes the form's
// window over.
class TSFlatCaption final : public plat::BufferedWindow, public TSFlatCaptionCore {
public:
    // A bar with the five standard buttons, hooked to Form.
    explicit TSFlatCaption(QWidget* Form);
    ~TSFlatCaption() override;

    // The form's window taken over; false when there is none.
    bool Hook();
    void Unhook(bool KeepFrame);
    bool IsHooked() const { return m_form != nullptr; }
    QWidget* HookedWindow() const { return m_form; }
    // Unhooks, changes the form, hooks the new one.
    void SetParentForm(QWidget* Form);
    void SetBorder(TSFlatCaptionBorder Value) override;
    // Screen point.
    int HitTestScreen(const QPoint& Global) const;

    // The standard buttons kept visible, the others hidden.
    void ShowButtons(std::initializer_list<TSFlatCaptionCommand> Commands);
    TSFlatCaptionButton* ButtonOf(TSFlatCaptionCommand Command) const;

    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* Menu) { m_popupMenu = Menu; }
    // Not owned; the bar repaints when the list changes and forgets it when it goes.
    TSImageList* Images() const { return m_imageLink.Sender(); }
    void SetImages(TSImageList* Images);
    // Background picture, copied.
    void SetBitmap(const QImage& Bitmap);
    const QFont& CaptionFont() const { return m_captionFont; }
    // The bar width at which the whole text shows, without an ellipsis.
    int WidthShowingText() const;
    void SetCaptionFont(const QFont& Font);
    const QFont& ButtonFont() const { return m_buttonFont; }
    void SetButtonFont(const QFont& Font);
    // Reading right to left.
    void SetRightToLeft(bool Value);

    // One tick of the shared hover timer, for every hooked bar.
    static void HoverTick();

    // The widget's own events: resize before the bar re-arranges, the mouse after
    // the bar has handled it (Pos in bar coordinates).
    std::function<void(TSFlatCaption* Sender)> OnResize;
    std::function<void(TSFlatCaption* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, QPoint Pos)>
        OnMouseDown;
    std::function<void(TSFlatCaption* Sender, Qt::KeyboardModifiers Shift, QPoint Pos)> OnMouseMove;
    std::function<void(TSFlatCaption* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, QPoint Pos)>
        OnMouseUp;

    bool Hooked() const override { return m_form != nullptr; }
    bool BarVisible() const override { return isVisible(); }
    int WindowShowState() const override;
    CPoint CursorPos() const override;
    bool CursorCovered() const override;
    void InvalidateBar(const plat::Rect& Rect) override;
    void RepaintBar() override;
    void ButtonHint(const std::string& Hint) override;
    void PostSysCommand(int Command) override;
    void ApplyPinned(bool Value) override;
    void UpdateFormStyle() override;
    bool TrackButtonMenu(TSFlatCaptionButton& Button) override;

protected:
    void OnPaint(plat::DeviceContext& Dc) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    class EdgeGrip;
    void PaintBackground(plat::DeviceContext& Dc);
    void PaintButton(plat::DeviceContext& Dc, TSFlatCaptionButton& Button);
    void PaintText(plat::DeviceContext& Dc);
    void DrawFrame(plat::DeviceContext& Dc, const plat::Rect& R, plat::ColorRef First, plat::ColorRef Second);
    void PlaceGrips();
    void ApplyMinimumSize();
    void Align();

    QPointer<QWidget> m_form;
    Qt::WindowFlags m_savedFlags;
    QSize m_savedMinimum;
    int m_hookNesting = 0;
    bool m_canMinimize = false;
    bool m_canMaximize = false;
    bool m_rightToLeft = false;
    QPointer<QMenu> m_popupMenu;
    TSChangeLink m_imageLink;
    std::unique_ptr<plat::DeviceContext> m_bitmap;
    QFont m_captionFont;
    QFont m_buttonFont;
    std::vector<QPointer<EdgeGrip>> m_grips;
    // A drag the window system refused follows the mouse.
    bool m_dragging = false;
    QPoint m_dragOffset;
    // The position of the mouse event being handled, else the cursor's.
    const QPoint* m_eventGlobal = nullptr;
};

void SFlatCaptionInitialization();
void SFlatCaptionFinalization();
