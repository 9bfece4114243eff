#include "viewer3d/forms/SFlatCaption.h"

#include "engine3d/model/SClassLib.h"
#include "platform/paint/BitmapInfo.h"
#include "platform/dialogs/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWhatsThis>
#include <QWidgetAction>
#include <QWindow>

#include <algorithm>

namespace {

bool Contains(const plat::Rect& R, CPoint P)
{
    return P.x >= R.left && P.x < R.right && P.y >= R.top && P.y < R.bottom;
}

constexpr char kErrorCaption[] = "Halcyte3D";

}  // namespace

// ---- colours and pictures ----

plat::ColorRef TSFlatCaptionColors::Color(int Index) const
{
    return Index >= 0 && Index < kCount ? m_colors[Index] : 0;
}

void TSFlatCaptionColors::SetColor(int Index, plat::ColorRef Value)
{
    if (Index < 0 || Index >= kCount || m_colors[Index] == Value)
        return;
    m_colors[Index] = Value;
    if (m_bar)
        m_bar->RepaintBar();
}

void TSFlatCaptionColors::Assign(const TSFlatCaptionColors& Source)
{
    m_colors = Source.m_colors;
    if (m_bar)
        m_bar->RepaintBar();
}

std::int32_t TSFlatCaptionButtonImages::Image(int State) const
{
    return State >= 0 && State < kCount ? m_images[State] : -1;
}

void TSFlatCaptionButtonImages::SetImage(int State, std::int32_t Value)
{
    if (State < 0 || State >= kCount || m_images[State] == Value)
        return;
    m_images[State] = Value;
    if (m_button)
        m_button->Invalidate();
}

void TSFlatCaptionButtonImages::Assign(const TSFlatCaptionButtonImages& Source)
{
    m_images = Source.m_images;
    if (m_button)
        m_button->Invalidate();
}

// ---- buttons ----

TSFlatCaptionButton::TSFlatCaptionButton(TSFlatCaptionCore* Bar) : m_bar(Bar) {}

TSFlatCaptionButton::~TSFlatCaptionButton() = default;

QMenu* TSFlatCaptionButton::PopupMenu() const
{
    return m_popupMenu;
}

void TSFlatCaptionButton::SetPopupMenu(QMenu* Menu)
{
    m_popupMenu = Menu;
}

int TSFlatCaptionButton::State() const
{
    if (!m_enabled)
        return fbsDisable;
    const int base = m_down ? fbsDownOut : m_fixed ? fbsFixedOut : fbsFreeOut;
    return base + (m_in ? 1 : 0);
}

void TSFlatCaptionButton::Invalidate()
{
    if (m_bar && m_bar->Hooked())
        m_bar->InvalidateBar(Rect);
}

void TSFlatCaptionButton::Relayout()
{
    if (m_bar && m_bar->Hooked()) {
        m_bar->Arrange();
        m_bar->InvalidateBar(plat::Rect{0, 0, m_bar->BarWidth(), m_bar->BarHeight()});
    }
}

void TSFlatCaptionButton::SetGeometry(std::int32_t& Field, std::int32_t Value)
{
    if (Field == Value)
        return;
    Field = Value;
    Relayout();
}

void TSFlatCaptionButton::SetText(const std::string& Value)
{
    if (m_text == Value)
        return;
    m_text = Value;
    if (m_textPos != fctNone)
        Invalidate();
}

void TSFlatCaptionButton::SetVisible(bool Value)
{
    if (m_visible == Value)
        return;
    m_visible = Value;
    Relayout();
    if (m_bar && (m_command == fccMaximize || m_command == fccMinimize))
        m_bar->UpdateFormStyle();
}

void TSFlatCaptionButton::SetEnabled(bool Value)
{
    if (m_enabled == Value)
        return;
    m_enabled = Value;
    Invalidate();
    if (m_bar && (m_command == fccMaximize || m_command == fccMinimize))
        m_bar->UpdateFormStyle();
}

void TSFlatCaptionButton::SetCheckButton(bool Value)
{
    if (m_checkButton == Value)
        return;
    m_checkButton = Value;
    if (!Value)
        SetFixed(false);
}

void TSFlatCaptionButton::SetFlat(bool Value)
{
    if (m_flat == Value)
        return;
    m_flat = Value;
    Invalidate();
}

void TSFlatCaptionButton::SetTextPos(TSFlatCaptionTextPos Value)
{
    if (m_textPos == Value)
        return;
    m_textPos = Value;
    Invalidate();
}

void TSFlatCaptionButton::SetCommand(TSFlatCaptionCommand Value)
{
    if (m_command == Value)
        return;
    m_command = Value;
    if (m_bar)
        m_bar->UpdateFormStyle();
}

void TSFlatCaptionButton::SetState(bool In, bool Down, bool Fixed)
{
    if (In == m_in && Down == m_down && Fixed == m_fixed)
        return;
    const bool released = m_down && !Down;
    m_in = In;
    m_down = Down;
    m_fixed = Fixed;
    Invalidate();
    if (m_bar)
        m_bar->ButtonStateChanged(*this, released);
}

void TSFlatCaptionButton::Assign(const TSFlatCaptionButton& Source)
{
    if (&Source == this)
        return;
    m_text = Source.m_text;
    m_hint = Source.m_hint;
    m_tag = Source.m_tag;
    m_visible = Source.m_visible;
    m_enabled = Source.m_enabled;
    m_in = Source.m_in;
    m_down = Source.m_down;
    m_checkButton = Source.m_checkButton;
    m_fixed = Source.m_fixed;
    m_flat = Source.m_flat;
    m_width = Source.m_width;
    m_height = Source.m_height;
    m_top = Source.m_top;
    m_spacing = Source.m_spacing;
    m_position = Source.m_position;
    Rect = Source.Rect;
    m_command = Source.m_command;
    m_textPos = Source.m_textPos;
    m_images.Assign(Source.m_images);
    m_popupMenu = Source.m_popupMenu;
    Relayout();
}

TSFlatCaptionButton* TSFlatCaptionButtonList::Items(int Index) const
{
    return Index >= 0 && Index < Count() ? m_items[std::size_t(Index)].get() : nullptr;
}

TSFlatCaptionButton* TSFlatCaptionButtonList::Add(std::int32_t Position)
{
    m_items.push_back(std::make_unique<TSFlatCaptionButton>(m_bar));
    TSFlatCaptionButton* button = m_items.back().get();
    button->SetPosition(Position);
    if (m_bar) {
        m_bar->Arrange();
        m_bar->InvalidateBar(plat::Rect{0, 0, m_bar->BarWidth(), m_bar->BarHeight()});
    }
    return button;
}

void TSFlatCaptionButtonList::Clear()
{
    m_items.clear();
    Update();
}

void TSFlatCaptionButtonList::Assign(const TSFlatCaptionButtonList& Source)
{
    if (&Source == this)
        return;
    std::vector<std::unique_ptr<TSFlatCaptionButton>> items;
    for (const auto& from : Source.m_items) {
        items.push_back(std::make_unique<TSFlatCaptionButton>(nullptr));
        items.back()->Assign(*from);
        items.back()->SetBar(m_bar);
    }
    m_items = std::move(items);
    Update();
}

void TSFlatCaptionButtonList::Update()
{
    for (auto& item : m_items)
        item->SetBar(m_bar);
    if (m_bar) {
        m_bar->Arrange();
        m_bar->UpdateFormStyle();
        m_bar->InvalidateBar(plat::Rect{0, 0, m_bar->BarWidth(), m_bar->BarHeight()});
    }
}

// ---- pure layout ----

TSFlatCaptionButtonLayout LayoutFlatCaptionButton(const plat::Rect& Button, TSFlatCaptionTextPos TextPos,
                                                  int TextWidth, int PictureWidth, int PictureHeight)
{
    TSFlatCaptionButtonLayout out;
    const int free = Button.Width() - (TextWidth + PictureWidth);
    const int gap = (TextWidth > 0 && PictureWidth > 0) ? free / 3 : free / 2;
    const int pictureTop = Button.top + (Button.Height() - PictureHeight) / 2;
    int pictureLeft = 0;
    int textLeft = 0;
    if (TextPos == fctLeft && TextWidth > 0) {
        textLeft = Button.left + gap;
        pictureLeft = textLeft + TextWidth + gap;
    } else {
        pictureLeft = Button.left + gap;
        textLeft = pictureLeft + PictureWidth + gap;
    }
    out.Text = plat::Rect{textLeft, Button.top, textLeft + TextWidth, Button.bottom};
    if (PictureWidth > 0 && PictureHeight > 0) {
        plat::Rect picture{std::max(pictureLeft, Button.left), std::max(pictureTop, Button.top),
                           std::min(pictureLeft + PictureWidth, Button.right),
                           std::min(pictureTop + PictureHeight, Button.bottom)};
        if (!picture.IsEmpty()) {
            out.Picture = picture;
            out.CutLeft = picture.left - pictureLeft;
            out.CutTop = picture.top - pictureTop;
        }
    }
    return out;
}

TSFlatCaptionBackground PlaceFlatCaptionBitmap(TSFlatCaptionBitmapPos Pos, int BarWidth, int BarHeight,
                                               int BitmapWidth, int BitmapHeight)
{
    TSFlatCaptionBackground out;
    const plat::Rect whole{0, 0, BarWidth, BarHeight};
    if (Pos == fbmNone || BitmapWidth <= 0 || BitmapHeight <= 0 || whole.IsEmpty()) {
        out.Fill.push_back(whole);
        return out;
    }
    if (Pos == fbmStretch) {
        out.Stretch = true;
        return out;
    }
    if (Pos == fbmCopy) {
        for (int y = 0; y < BarHeight; y += BitmapHeight)
            for (int x = 0; x < BarWidth; x += BitmapWidth)
                out.Copies.push_back({plat::Rect{x, y, std::min(x + BitmapWidth, BarWidth),
                                                 std::min(y + BitmapHeight, BarHeight)},
                                      0, 0});
        return out;
    }
    const int column = (Pos - fbmLeftTop) / 3;  // left, centre, right
    const int row = (Pos - fbmLeftTop) % 3;     // top, middle, bottom
    auto place = [](int Bar, int Bitmap, int Where, int& At, int& Size) {
        if (Bar <= Bitmap) {
            At = 0;
            Size = Bar;
            return;
        }
        const int free = Bar - Bitmap;
        At = Where == 0 ? 0 : Where == 1 ? free / 2 : free;
        Size = Bitmap;
    };
    int x = 0, w = 0, y = 0, h = 0;
    place(BarWidth, BitmapWidth, column, x, w);
    place(BarHeight, BitmapHeight, row, y, h);
    for (const plat::Rect& r : {plat::Rect{0, 0, x, BarHeight}, plat::Rect{x + w, 0, BarWidth, BarHeight},
                                plat::Rect{x, 0, x + w, y}, plat::Rect{x, y + h, x + w, BarHeight}})
        if (!r.IsEmpty())
            out.Fill.push_back(r);
    out.Copies.push_back({plat::Rect{x, y, x + w, y + h}, 0, 0});
    return out;
}

plat::Rect FlatCaptionTextBox(const plat::Rect& TextArea, TSFlatCaptionTextPos TextPos, int TextWidth,
                              int TextHeight)
{
    plat::Rect box{TextArea.left + 3, TextArea.top, TextArea.right - 3, TextArea.bottom};
    if (TextHeight < box.Height()) {
        box.top += (box.Height() - TextHeight) / 2;
        box.bottom = box.top + TextHeight;
    }
    if (TextWidth < box.Width()) {
        if (TextPos == fctNone)
            box.left += (box.Width() - TextWidth) / 2;
        else if (TextPos == fctRight)
            box.left = box.right - TextWidth;
        box.right = box.left + TextWidth;
    }
    return box;
}

int SharedImageIndex(TSFlatCaptionCommand Command, int State)
{
    // Within a group: Disable, FreeOut, FreeIn, DownOut, DownIn, FixedOut, FixedIn.
    static constexpr int kGroupPosition[7] = {0, 1, 2, 5, 6, 3, 4};
    if (Command < fccClose || Command > fccScreenPin || State < 0 || State > 6)
        return -1;
    return (Command - fccClose) * 7 + kGroupPosition[State];
}

// ---- the bar without its window ----

TSFlatCaptionCore::TSFlatCaptionCore() = default;

TSFlatCaptionCore::~TSFlatCaptionCore()
{
    *m_alive = false;
}

void TSFlatCaptionCore::SetBarSize(int Width, int Height)
{
    if (Width == m_barWidth && Height == m_barHeight)
        return;
    m_barWidth = Width;
    m_barHeight = Height;
    Arrange();
    InvalidateBar(plat::Rect{0, 0, m_barWidth, m_barHeight});
}

void TSFlatCaptionCore::SetText(const std::string& Value)
{
    if (m_text == Value)
        return;
    m_text = Value;
    RepaintBar();
}

void TSFlatCaptionCore::SetSpacingX(std::int32_t Value)
{
    if (m_spacingX == Value)
        return;
    m_spacingX = Value;
    Arrange();
    RepaintBar();
}

void TSFlatCaptionCore::SetSpacingY(std::int32_t Value)
{
    if (m_spacingY == Value)
        return;
    m_spacingY = Value;
    Arrange();
    RepaintBar();
}

void TSFlatCaptionCore::SetBitmapPos(TSFlatCaptionBitmapPos Value)
{
    if (m_bitmapPos == Value)
        return;
    m_bitmapPos = Value;
    RepaintBar();
}

void TSFlatCaptionCore::SetTextPos(TSFlatCaptionTextPos Value)
{
    if (m_textPos == Value)
        return;
    m_textPos = Value;
    RepaintBar();
}

void TSFlatCaptionCore::SetBevel(TSFlatCaptionBevel Value)
{
    if (m_bevel == Value)
        return;
    m_bevel = Value;
    RepaintBar();
}

void TSFlatCaptionCore::SetCaptionBevel(TSFlatCaptionBevel Value)
{
    if (m_captionBevel == Value)
        return;
    m_captionBevel = Value;
    RepaintBar();
}

void TSFlatCaptionCore::SetActive(bool Value)
{
    if (m_active == Value)
        return;
    m_active = Value;
    RepaintBar();
}

bool TSFlatCaptionCore::IsPinned() const
{
    for (int i = 0; i < m_buttons.Count(); ++i) {
        const TSFlatCaptionButton* b = m_buttons.Items(i);
        if (b->Command() == fccScreenPin && b->Fixed())
            return true;
    }
    return false;
}

void TSFlatCaptionCore::SetPinned(bool Value)
{
    for (int i = 0; i < m_buttons.Count(); ++i)
        if (TSFlatCaptionButton* b = m_buttons.Items(i); b->Command() == fccScreenPin)
            b->SetFixed(Value);
    if (Hooked())
        ApplyPinned(Value);
}

void TSFlatCaptionCore::Arrange()
{
    m_textArea = plat::Rect{0, 0, m_barWidth, m_barHeight};
    std::vector<TSFlatCaptionButton*> sorted;
    for (int i = 0; i < m_buttons.Count(); ++i)
        sorted.push_back(m_buttons.Items(i));
    // A selection sort: buttons of equal Position need not keep their list order.
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        std::size_t smallest = i;
        for (std::size_t j = i + 1; j < sorted.size(); ++j)
            if (sorted[j]->Position() < sorted[smallest]->Position())
                smallest = j;
        std::swap(sorted[i], sorted[smallest]);
    }
    std::size_t at = 0;
    for (; at < sorted.size() && sorted[at]->Position() < 0; ++at) {
        TSFlatCaptionButton& b = *sorted[at];
        if (!b.Visible())
            continue;
        m_textArea.right -= b.Width() + b.Spacing();
        b.Rect = plat::Rect{m_textArea.right, b.Top(), m_textArea.right + b.Width(), b.Top() + b.Height()};
    }
    for (; at < sorted.size(); ++at) {
        TSFlatCaptionButton& b = *sorted[at];
        if (!b.Visible())
            continue;
        m_textArea.left += b.Width() + b.Spacing();
        b.Rect = plat::Rect{m_textArea.left - b.Width(), b.Top(), m_textArea.left, b.Top() + b.Height()};
    }
    m_textArea.left += m_spacingX;
    m_textArea.right -= m_spacingX;
    m_textArea.top += m_spacingY;
    m_textArea.bottom -= m_spacingY;
    UpdateHover();
}

void TSFlatCaptionCore::UpdateHover()
{
    if (!Hooked() || !BarVisible())
        return;
    const int show = WindowShowState();
    if (show == fswHidden || show == fswMinimized)
        return;
    bool covered = CursorCovered();
    const CPoint at = CursorPos();
    const auto alive = m_alive;
    for (int i = m_buttons.Count() - 1; i >= 0 && *alive; --i) {
        TSFlatCaptionButton* b = m_buttons.Items(i);
        if (b == nullptr || !b->Visible())
            continue;
        const bool inside = Contains(b->Rect, at);
        b->SetState(inside && !covered, b->Down(), b->Fixed());
        covered = covered || inside;
    }
    if (!*alive)
        return;
    const bool hot = Contains(m_textArea, at) && !covered;
    if (hot != m_textHot) {
        m_textHot = hot;
        InvalidateBar(m_textArea);
    }
}

void TSFlatCaptionCore::LeftButton(bool Down)
{
    const auto alive = m_alive;
    UpdateHover();
    for (int i = m_buttons.Count() - 1; i >= 0 && *alive; --i) {
        TSFlatCaptionButton* b = m_buttons.Items(i);
        if (b == nullptr || !b->Visible())
            continue;
        if (b->In()) {
            if (Down)
                b->SetState(true, true, b->Fixed());
            else
                b->SetState(true, false, b->Fixed() != (b->CheckButton() && b->Down()));
        } else {
            b->SetState(false, false, b->Fixed());
        }
    }
}

void TSFlatCaptionCore::ButtonStateChanged(TSFlatCaptionButton& Button, bool Released)
{
    if (Button.In()) {
        m_hint = Button.Hint();
        ButtonHint(m_hint);
    }
    if (!Released || !Button.Visible() || !Button.Enabled())
        return;
    const auto alive = m_alive;
    ExecuteCommand(&Button, Button.Command());
    if (!*alive)
        return;
    if (Hooked() && Button.CheckButton() && Button.PopupMenu() != nullptr && Button.Fixed()) {
        const bool pressWaits = TrackButtonMenu(Button);
        if (!*alive)
            return;
        // A press on the button closed the menu: its release un-fixes the button.
        if (!pressWaits) {
            Button.m_fixed = false;
            Button.Invalidate();
        }
    }
}

void TSFlatCaptionCore::ExecuteCommand(TSFlatCaptionButton* Button, TSFlatCaptionCommand Command)
{
    if (!Hooked())
        return;
    if (OnButtonClick) {
        const auto alive = m_alive;
        OnButtonClick(this, Button, Command);
        if (!*alive || !Hooked())
            return;
    }
    switch (Command) {
    case fccClose:
        PostSysCommand(SC_CLOSE);
        break;
    case fccMaximize:
        PostSysCommand(WindowShowState() == fswMaximized ? SC_RESTORE : SC_MAXIMIZE);
        break;
    case fccMinimize:
        PostSysCommand(WindowShowState() == fswMinimized ? SC_RESTORE : SC_MINIMIZE);
        break;
    case fccHelp:
        PostSysCommand(SC_CONTEXTHELP);
        break;
    case fccScreenPin:
        if (Button != nullptr)
            SetPinned(Button->Fixed());
        break;
    default:
        break;
    }
}

int TSFlatCaptionCore::HitTest(CPoint Point) const
{
    if (!Hooked() || !BarVisible())
        return kHitNone;
    const int show = WindowShowState();
    if (show == fswHidden || show == fswMinimized)
        return kHitNone;
    if (!Contains(plat::Rect{0, 0, m_barWidth, m_barHeight}, Point))
        return kHitNone;
    for (int i = m_buttons.Count() - 1; i >= 0; --i) {
        const TSFlatCaptionButton* b = m_buttons.Items(i);
        if (b->Visible() && Contains(b->Rect, Point))
            return i + 1;
    }
    return Contains(m_textArea, Point) ? kHitText : kHitElsewhere;
}

CSize TSFlatCaptionCore::MinimumSize() const
{
    return CSize{m_barWidth + 10 - m_textArea.Width(), m_barHeight};
}

bool TSFlatCaptionCore::AllowsMinimize() const
{
    for (int i = 0; i < m_buttons.Count(); ++i)
        if (const TSFlatCaptionButton* b = m_buttons.Items(i);
            b->Command() == fccMinimize && b->Visible() && b->Enabled())
            return true;
    return false;
}

bool TSFlatCaptionCore::AllowsMaximize() const
{
    for (int i = 0; i < m_buttons.Count(); ++i)
        if (const TSFlatCaptionButton* b = m_buttons.Items(i);
            b->Command() == fccMaximize && b->Visible() && b->Enabled())
            return true;
    return false;
}

// ---- picture strips ----

TSChangeLink::~TSChangeLink()
{
    SetSender(nullptr);
}

void TSChangeLink::SetSender(TSImageList* List)
{
    if (List == m_sender)
        return;
    if (m_sender != nullptr)
        m_sender->UnRegisterChanges(this);
    if (List != nullptr)
        List->RegisterChanges(this);
}

TSImageList::TSImageList(int Width, int Height, int Count)
    : m_width(Width), m_height(Height), m_count(Count), m_strip(Width * Count, Height)
{}

TSImageList::~TSImageList()
{
    // Each link forgets the list, then hears of it.
    const std::vector<TSChangeLink*> links = std::exchange(m_links, {});
    for (TSChangeLink* link : links)
        link->m_sender = nullptr;
    for (TSChangeLink* link : links)
        if (link->OnChange)
            link->OnChange();
}

void TSImageList::RegisterChanges(TSChangeLink* Link)
{
    if (Link == nullptr || std::find(m_links.begin(), m_links.end(), Link) != m_links.end())
        return;
    if (Link->m_sender != nullptr && Link->m_sender != this)
        Link->m_sender->UnRegisterChanges(Link);
    Link->m_sender = this;
    m_links.push_back(Link);
}

void TSImageList::UnRegisterChanges(TSChangeLink* Link)
{
    if (Link == nullptr)
        return;
    std::erase(m_links, Link);
    if (Link->m_sender == this)
        Link->m_sender = nullptr;
}

void TSImageList::Changed()
{
    // A link may leave while it is told.
    const std::vector<TSChangeLink*> links = m_links;
    for (TSChangeLink* link : links)
        if (std::find(m_links.begin(), m_links.end(), link) != m_links.end() && link->OnChange)
            link->OnChange();
}

void TSImageList::SetTransparent(plat::ColorRef Colour)
{
    if (Colour == m_transparent)
        return;
    m_transparent = Colour;
    Changed();
}

void TSImageList::Draw(plat::DeviceContext& Dc, const plat::Rect& Dest, int Index, int CutLeft, int CutTop) const
{
    if (Index < 0 || Index >= m_count || Dest.IsEmpty())
        return;
    const int w = std::min(Dest.Width(), m_width - CutLeft);
    const int h = std::min(Dest.Height(), m_height - CutTop);
    if (w <= 0 || h <= 0)
        return;
    Dc.TransparentBlt(Dest.left, Dest.top, w, h, m_strip, Index * m_width + CutLeft, CutTop, w, h, m_transparent);
}

namespace {

constexpr plat::ColorRef kStripKey = 0x808000;  // teal: left out when drawn
constexpr plat::ColorRef kBlack = 0x000000;
constexpr plat::ColorRef kGray = 0x808080;
constexpr plat::ColorRef kWhite = 0xFFFFFF;
constexpr plat::ColorRef kBlue = 0xFF0000;
constexpr plat::ColorRef kMaroon = 0x000080;

using Glyph = const char* const[16];

constexpr Glyph kCross = {
    "................", "................", "................", "...##......##...", "....##....##....", ".....##..##.....",
    "......####......", ".......##.......", "......####......", ".....##..##.....", "....##....##....", "...##......##...",
    "................", "................", "................", "................",
};
constexpr Glyph kFrame = {
    "................", "................", "..###########...", "..###########...", "..#.........#...", "..#.........#...",
    "..#.........#...", "..#.........#...", "..#.........#...", "..#.........#...", "..#.........#...", "..###########...",
    "................", "................", "................", "................",
};
constexpr Glyph kBar = {
    "................", "................", "................", "................", "................", "................",
    "................", "................", "................", "................", "...########.....", "...########.....",
    "................", "................", "................", "................",
};
constexpr Glyph kQuestion = {
    "................", "................", ".....#####......", "....##...##.....", "....##...##.....", ".........##.....",
    "........##......", ".......##.......", "......##........", "......##........", "................", "......##........",
    "......##........", "................", "................", "................",
};
constexpr Glyph kPinSlanted = {
    "................", "..........#.....", ".........###....", "........#####...", ".........#####..", "........#.###...",
    ".......#...#....", "......#.........", ".....#..........", "....#...........", "...#............", "................",
    "................", "................", "................", "................",
};
constexpr Glyph kPinPushed = {
    "................", "................", ".....######.....", ".....#....#.....", ".....#....#.....", ".....#....#.....",
    "....########....", ".......##.......", ".......##.......", "................", "..############..", "................",
    "................", "................", "................", "................",
};

void PutGlyph(plat::DeviceContext& Dc, const Glyph& G, int X, int Y, plat::ColorRef Colour)
{
    for (int row = 0; row < 16; ++row)
        for (int col = 0; col < 16; ++col)
            if (G[row][col] == '#' && X + col >= 0 && Y + row >= 0)
                Dc.SetPixel(X + col, Y + row, Colour);
}

std::unique_ptr<TSImageList> MakeSharedImages()
{
    auto list = std::make_unique<TSImageList>(16, 16, 35);
    plat::DeviceContext& dc = list->Strip();
    dc.FillRect(plat::Rect{0, 0, 560, 16}, kStripKey);
    list->SetTransparent(kStripKey);
    const Glyph* glyphs[5] = {&kCross, &kFrame, &kBar, &kQuestion, &kPinSlanted};
    for (int group = 0; group < 5; ++group)
        for (int pos = 0; pos < 7; ++pos) {
            const Glyph& g = (group == 4 && pos >= 3) ? kPinPushed : *glyphs[group];
            const int x = (group * 7 + pos) * 16;
            switch (pos) {
            case 0:  // Disable: grey with a white emboss
                PutGlyph(dc, g, x + 1, 1, kWhite);
                PutGlyph(dc, g, x, 0, kGray);
                break;
            case 2:  // FreeIn: blue with a grey shadow
                PutGlyph(dc, g, x + 1, 1, kGray);
                PutGlyph(dc, g, x, 0, kBlue);
                break;
            case 4:  // DownIn
                PutGlyph(dc, g, x, 0, kMaroon);
                break;
            case 6:  // FixedIn
                PutGlyph(dc, g, x, 0, kBlue);
                break;
            default:  // FreeOut, DownOut, FixedOut
                PutGlyph(dc, g, x, 0, kBlack);
                break;
            }
        }
    return list;
}

std::unique_ptr<TSImageList> gSharedImages;
std::vector<TSFlatCaption*> gCaptionList;
QTimer* gHoverTimer = nullptr;
std::unique_ptr<TPopupExWindow> gPopupWindow;

}  // namespace

const TSImageList& SharedImages()
{
    if (!gSharedImages)
        gSharedImages = MakeSharedImages();
    return *gSharedImages;
}

// ---- the menu window ----

namespace {

class ClickHolder final : public QObject {
public:
    ClickHolder(QAction* Action, std::function<void()> Click) : QObject(Action), Run(std::move(Click))
    {
        setObjectName("SFlatCaptionClick");
    }
    std::function<void()> Run;
};

}  // namespace

void SetMenuItemClick(QAction* Action, std::function<void()> Click)
{
    if (Action == nullptr)
        return;
    if (auto* old = Action->findChild<ClickHolder*>(QString(), Qt::FindDirectChildrenOnly))
        delete old;
    new ClickHolder(Action, std::move(Click));
}

TPopupExWindow& PopupWindow()
{
    if (!gPopupWindow)
        gPopupWindow = std::make_unique<TPopupExWindow>();
    return *gPopupWindow;
}

CPoint TPopupExWindow::MenuPlace(int X, int Y, const plat::Rect& Exclude, CSize MenuSize, const plat::Rect& Screen)
{
    CPoint at{X, Exclude.bottom};
    if (at.x + MenuSize.cx > Screen.right)
        at.x = Screen.right - MenuSize.cx;
    at.x = std::max(at.x, Screen.left);
    if (at.y + MenuSize.cy > Screen.bottom)
        at.y = Exclude.top - MenuSize.cy;
    at.y = std::max(at.y, Screen.top);
    return at;
}

void TPopupExWindow::TrackPopup(QMenu* Menu, int X, int Y, const plat::Rect& Exclude)
{
    if (Menu == nullptr)
        return;
    QPointer<QMenu> menu(Menu);
    m_tracked.push_back(Menu);
    m_currentPopup = Menu;
    m_chosen = nullptr;
    m_hint.clear();
    const QMetaObject::Connection hovered = QObject::connect(Menu, &QMenu::hovered, Menu, [this](QAction* Action) {
        m_hint = Action ? Action->statusTip().toStdString() : std::string();
    });
    QScreen* screen = QGuiApplication::screenAt(QPoint(X, Y));
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
    const QSize size = Menu->sizeHint();
    const CPoint at = MenuPlace(X, Y, Exclude, CSize{size.width(), size.height()},
                                plat::Rect{area.left(), area.top(), area.right() + 1, area.bottom() + 1});
    QPointer<QAction> chosen = Menu->exec(QPoint(at.x, at.y));
    std::erase(m_tracked, Menu);
    if (menu)
        QObject::disconnect(hovered);
    if (!chosen)
        chosen = m_chosen;
    m_chosen = nullptr;
    if (chosen)
        Dispatch(chosen);
}

void TPopupExWindow::Dispatch(QAction* Action)
{
    if (m_currentPopup.isNull() || Action == nullptr)
        return;
    auto* holder = Action->findChild<ClickHolder*>(QString(), Qt::FindDirectChildrenOnly);
    if (holder == nullptr)
        return;
    const std::function<void()> click = holder->Run;
    try {
        click();
    } catch (const EAbort&) {
        m_currentPopup = nullptr;
    } catch (const std::exception& e) {
        m_currentPopup = nullptr;
        plat::MessageBox({}, e.what(), kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
    } catch (...) {
        m_currentPopup = nullptr;
        plat::MessageBox({}, "Unknown error", kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
    }
}

namespace {

QFont MenuFont()
{
    return QApplication::font("QMenu");
}

class OwnerDrawWidget final : public QWidget {
public:
    OwnerDrawWidget(QWidget* Parent, QAction* Action, TSOwnerDrawMenuItem* Item)
        : QWidget(Parent), m_action(Action), m_item(Item)
    {
        setMouseTracking(true);
        int w = 0, h = 0;
        plat::DeviceContext dc(1, 1);
        dc.SelectFont(MenuFont());
        m_item->Measure(dc, w, h);
        setFixedSize(std::max(1, w), std::max(1, h));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        plat::DeviceContext dc(this, plat::Rect{0, 0, width(), height()});
        dc.SelectFont(MenuFont());
        const plat::ColorRef back = plat::GetSysColor(m_selected ? plat::COLOR_HIGHLIGHT : plat::COLOR_MENU);
        dc.SetTextColor(plat::GetSysColor(m_selected ? plat::COLOR_HIGHLIGHTTEXT : plat::COLOR_MENUTEXT));
        dc.SelectBrush(plat::Brush{plat::Brush::Solid, back});
        dc.FillRect(plat::Rect{0, 0, width(), height()}, back);
        m_item->Draw(dc, plat::Rect{0, 0, width(), height()}, m_selected);
    }
    void enterEvent(QEnterEvent*) override { Select(true); }
    void leaveEvent(QEvent*) override { Select(false); }
    void mouseReleaseEvent(QMouseEvent* Event) override
    {
        if (Event->button() != Qt::LeftButton || !rect().contains(Event->position().toPoint()))
            return;
        PopupWindow().Choose(m_action);
        for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget())
            if (auto* menu = qobject_cast<QMenu*>(w)) {
                menu->close();
                break;
            }
    }

private:
    void Select(bool Value)
    {
        if (m_selected == Value)
            return;
        m_selected = Value;
        update();
    }
    QAction* m_action;
    TSOwnerDrawMenuItem* m_item;
    bool m_selected = false;
};

class OwnerDrawAction final : public QWidgetAction {
public:
    OwnerDrawAction(QObject* Parent, std::unique_ptr<TSOwnerDrawMenuItem> Item)
        : QWidgetAction(Parent), m_item(std::move(Item))
    {}

protected:
    QWidget* createWidget(QWidget* Parent) override { return new OwnerDrawWidget(Parent, this, m_item.get()); }

private:
    std::unique_ptr<TSOwnerDrawMenuItem> m_item;
};

}  // namespace

QAction* AddOwnerDrawItem(QMenu* Menu, std::unique_ptr<TSOwnerDrawMenuItem> Item)
{
    auto* action = new OwnerDrawAction(Menu, std::move(Item));
    Menu->addAction(action);
    return action;
}

// ---- the bar's window ----

class TSFlatCaption::EdgeGrip final : public QWidget {
public:
    EdgeGrip(QWidget* Form, Qt::Edges Edges) : QWidget(Form), m_edges(Edges)
    {
        setObjectName("SFlatCaptionGrip");
        const bool horizontal = Edges & (Qt::LeftEdge | Qt::RightEdge);
        const bool vertical = Edges & (Qt::TopEdge | Qt::BottomEdge);
        if (horizontal && vertical)
            setCursor(((Edges & Qt::LeftEdge) != 0) == ((Edges & Qt::TopEdge) != 0) ? Qt::SizeFDiagCursor
                                                                                      : Qt::SizeBDiagCursor);
        else
            setCursor(horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    }
    Qt::Edges Edges() const { return m_edges; }

protected:
    void mousePressEvent(QMouseEvent* Event) override
    {
        if (Event->button() != Qt::LeftButton)
            return;
        QWidget* form = parentWidget();
        QWindow* window = form->windowHandle();
        if (window != nullptr && window->startSystemResize(m_edges))
            return;
        m_resizing = true;
        m_start = Event->globalPosition().toPoint();
        m_startGeometry = form->geometry();
    }
    void mouseMoveEvent(QMouseEvent* Event) override
    {
        if (!m_resizing)
            return;
        QWidget* form = parentWidget();
        const QPoint d = Event->globalPosition().toPoint() - m_start;
        QRect g = m_startGeometry;
        const QSize least = form->minimumSize();
        if (m_edges & Qt::LeftEdge)
            g.setLeft(std::min(g.left() + d.x(), g.right() + 1 - least.width()));
        if (m_edges & Qt::RightEdge)
            g.setRight(std::max(g.right() + d.x(), g.left() + least.width() - 1));
        if (m_edges & Qt::TopEdge)
            g.setTop(std::min(g.top() + d.y(), g.bottom() + 1 - least.height()));
        if (m_edges & Qt::BottomEdge)
            g.setBottom(std::max(g.bottom() + d.y(), g.top() + least.height() - 1));
        form->setGeometry(g);
    }
    void mouseReleaseEvent(QMouseEvent*) override { m_resizing = false; }

private:
    Qt::Edges m_edges;
    bool m_resizing = false;
    QPoint m_start;
    QRect m_startGeometry;
};

namespace {

struct StandardButton {
    std::int32_t Position;
    TSFlatCaptionCommand Command;
    const char* Hint;
    bool Check;
};

constexpr StandardButton kStandardButtons[] = {
    {-500, fccClose, "Close", false},     {-400, fccMaximize, "Maximize", false}, {-300, fccMinimize, "Minimize", false},
    {-200, fccHelp, "Help", false},       {-100, fccScreenPin, "Keep Halcyte", true},
};

constexpr int kGripBand = 4;

}  // namespace

TSFlatCaption::TSFlatCaption(QWidget* Form) : plat::BufferedWindow(Form)
{
    setObjectName("SFlatCaption1");
    setMouseTracking(true);
    // A change of the image list repaints; a list that goes is forgotten by the link.
    m_imageLink.OnChange = [this] { RepaintBar(); };
    m_captionFont = font();
    m_buttonFont = font();
    for (const StandardButton& row : kStandardButtons) {
        TSFlatCaptionButton* b = Buttons().Add(row.Position);
        b->SetCommand(row.Command);
        b->SetHint(row.Hint);
        b->SetCheckButton(row.Check);
    }
    gCaptionList.push_back(this);
    setGeometry(0, 0, Form ? Form->width() : 120, kFlatCaptionHeight);
    SetBarSize(width(), height());
    Hook();
}

TSFlatCaption::~TSFlatCaption()
{
    std::erase(gCaptionList, this);
    // The bar dies with its form: nothing of the form's window is given back but the
    // event filter and the grips.
    if (m_form) {
        m_form->removeEventFilter(this);
        m_form = nullptr;
    }
    for (const QPointer<EdgeGrip>& grip : m_grips)
        delete grip.data();
    m_grips.clear();
    *m_alive = false;
}

bool TSFlatCaption::Hook()
{
    if (m_form)
        return true;
    QWidget* form = parentWidget();
    if (form == nullptr || m_hookNesting > 0)
        return false;
    ++m_hookNesting;
    m_savedFlags = form->windowFlags();
    m_savedMinimum = form->minimumSize();
    const bool visible = form->isVisible();
    const QRect client = form->geometry();
    const QRect outer = form->frameGeometry();
    form->setWindowFlags(m_savedFlags | Qt::FramelessWindowHint);
    if (ClientControl()) {
        form->setGeometry(client);
    } else {
        form->move(outer.topLeft());
        form->resize(outer.size());
    }
    if (visible)
        form->show();
    m_form = form;
    form->installEventFilter(this);
    UpdateFormStyle();
    --m_hookNesting;
    SetActive(form->isActiveWindow());
    if (Border() == fcbSizeable)
        for (Qt::Edges edges : {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
                                Qt::Edges(Qt::BottomEdge), Qt::LeftEdge | Qt::TopEdge, Qt::RightEdge | Qt::TopEdge,
                                Qt::LeftEdge | Qt::BottomEdge, Qt::RightEdge | Qt::BottomEdge})
            m_grips.push_back(new EdgeGrip(form, edges));
    Align();
    Arrange();
    ApplyMinimumSize();
    PlaceGrips();
    Invalidate();
    return true;
}

void TSFlatCaption::Unhook(bool KeepFrame)
{
    if (!m_form || m_hookNesting > 0)
        return;
    ++m_hookNesting;
    QWidget* form = m_form;
    m_form = nullptr;
    form->removeEventFilter(this);
    for (const QPointer<EdgeGrip>& grip : m_grips)
        delete grip.data();
    m_grips.clear();
    form->setMinimumSize(m_savedMinimum);
    if (!KeepFrame) {
        const bool visible = form->isVisible();
        const QRect client = form->geometry();
        // The pin is the window's own, not part of what the bar took.
        Qt::WindowFlags flags = m_savedFlags & ~Qt::WindowStaysOnTopHint;
        flags |= form->windowFlags() & Qt::WindowStaysOnTopHint;
        form->setWindowFlags(flags);
        form->setGeometry(client);
        if (visible)
            form->show();
    }
    --m_hookNesting;
}

void TSFlatCaption::SetParentForm(QWidget* Form)
{
    Unhook(false);
    setParent(Form);
    if (Form != nullptr) {
        show();
        Hook();
    }
}

void TSFlatCaption::SetBorder(TSFlatCaptionBorder Value)
{
    if (Value == Border())
        return;
    TSFlatCaptionCore::SetBorder(Value);
    if (m_form) {
        Unhook(false);
        Hook();
    }
}

void TSFlatCaption::ShowButtons(std::initializer_list<TSFlatCaptionCommand> Commands)
{
    for (int i = 0; i < Buttons().Count(); ++i) {
        TSFlatCaptionButton* b = Buttons().Items(i);
        b->SetVisible(std::find(Commands.begin(), Commands.end(), b->Command()) != Commands.end());
    }
    ApplyMinimumSize();
}

TSFlatCaptionButton* TSFlatCaption::ButtonOf(TSFlatCaptionCommand Command) const
{
    for (int i = 0; i < Buttons().Count(); ++i)
        if (TSFlatCaptionButton* b = Buttons().Items(i); b->Command() == Command)
            return b;
    return nullptr;
}

void TSFlatCaption::SetImages(TSImageList* Images)
{
    if (m_imageLink.Sender() == Images)
        return;
    m_imageLink.SetSender(Images);
    RepaintBar();
}

void TSFlatCaption::SetBitmap(const QImage& Bitmap)
{
    m_bitmap.reset();
    if (!Bitmap.isNull()) {
        const QImage bgr = Bitmap.convertToFormat(QImage::Format_BGR888);
        m_bitmap = std::make_unique<plat::DeviceContext>(bgr.width(), bgr.height());
        plat::BitmapInfo info;
        info.width = bgr.width();
        info.height = -bgr.height();
        info.bitCount = 24;
        // Rows of a 24-bit picture are padded to 4 bytes, as QImage pads them.
        m_bitmap->SetDIBitsToDevice(0, 0, bgr.width(), bgr.height(), 0, 0, bgr.constBits(),
                                    std::size_t(bgr.sizeInBytes()), info);
    }
    RepaintBar();
}

int TSFlatCaption::WidthShowingText() const
{
    // The text box keeps 3 pixels clear on each side of the text area.
    const int text = QFontMetrics(m_captionFont).horizontalAdvance(QString::fromStdString(Text()));
    return BarWidth() - TextArea().Width() + 6 + text;
}

void TSFlatCaption::SetCaptionFont(const QFont& Font)
{
    m_captionFont = Font;
    RepaintBar();
}

void TSFlatCaption::SetButtonFont(const QFont& Font)
{
    m_buttonFont = Font;
    RepaintBar();
}

void TSFlatCaption::SetRightToLeft(bool Value)
{
    if (m_rightToLeft == Value)
        return;
    m_rightToLeft = Value;
    RepaintBar();
}

void TSFlatCaption::HoverTick()
{
    const std::vector<TSFlatCaption*> bars = gCaptionList;
    for (auto it = bars.rbegin(); it != bars.rend(); ++it)
        if (std::find(gCaptionList.begin(), gCaptionList.end(), *it) != gCaptionList.end() && (*it)->IsHooked())
            (*it)->UpdateHover();
}

int TSFlatCaption::WindowShowState() const
{
    if (!m_form || m_form->isHidden())
        return fswHidden;
    if (m_form->isMinimized())
        return fswMinimized;
    if (m_form->isMaximized())
        return fswMaximized;
    return fswNormal;
}

CPoint TSFlatCaption::CursorPos() const
{
    const QPoint local = mapFromGlobal(m_eventGlobal ? *m_eventGlobal : QCursor::pos());
    return CPoint{local.x(), local.y()};
}

bool TSFlatCaption::CursorCovered() const
{
    if (!m_form)
        return true;
    return QApplication::topLevelAt(m_eventGlobal ? *m_eventGlobal : QCursor::pos()) != m_form->window();
}

void TSFlatCaption::InvalidateBar(const plat::Rect& Rect)
{
    if (m_form)
        InvalidateRect(Rect);
}

void TSFlatCaption::RepaintBar()
{
    if (!m_form)
        return;
    Invalidate();
    UpdateWindow();
}

void TSFlatCaption::ButtonHint(const std::string& Hint)
{
    QToolTip::hideText();
    setToolTip(QString::fromStdString(Hint));
}

void TSFlatCaption::PostSysCommand(int Command)
{
    if (!m_form)
        return;
    QPointer<QWidget> form = m_form;
    QMetaObject::invokeMethod(
        form,
        [form, Command] {
            if (!form)
                return;
            switch (Command) {
            case SC_CLOSE:
                form->close();
                break;
            case SC_MAXIMIZE:
                form->showMaximized();
                break;
            case SC_MINIMIZE:
                form->showMinimized();
                break;
            case SC_RESTORE:
                form->showNormal();
                break;
            case SC_CONTEXTHELP:
                QWhatsThis::enterWhatsThisMode();
                break;
            default:
                break;
            }
        },
        Qt::QueuedConnection);
}

void TSFlatCaption::ApplyPinned(bool Value)
{
    if (!m_form)
        return;
    const bool onTop = (m_form->windowFlags() & Qt::WindowStaysOnTopHint) != 0;
    // Changing the hint recreates the window: only when it changes.
    if (onTop == Value)
        return;
    const bool visible = m_form->isVisible();
    const QRect geometry = m_form->geometry();
    m_form->setWindowFlag(Qt::WindowStaysOnTopHint, Value);
    m_form->setGeometry(geometry);
    if (visible)
        m_form->show();
}

void TSFlatCaption::UpdateFormStyle()
{
    if (!m_form)
        return;
    m_canMinimize = AllowsMinimize();
    m_canMaximize = AllowsMaximize();
}

bool TSFlatCaption::TrackButtonMenu(TSFlatCaptionButton& Button)
{
    const plat::Rect r = Button.Rect;
    const QPoint topLeft = mapToGlobal(QPoint(r.left, r.top));
    const QPoint bottomRight = mapToGlobal(QPoint(r.right, r.bottom));
    const auto alive = m_alive;
    PopupWindow().TrackPopup(Button.PopupMenu(), topLeft.x(), topLeft.y(),
                             plat::Rect{topLeft.x(), topLeft.y(), bottomRight.x(), bottomRight.y()});
    if (!*alive)
        return false;
    // The press that closed the menu is replayed to the bar: it then un-fixes the
    // button on its release.
    const QPoint at = mapFromGlobal(QCursor::pos());
    return (QGuiApplication::mouseButtons() & Qt::LeftButton) && Contains(Button.Rect, CPoint{at.x(), at.y()});
}

int TSFlatCaption::HitTestScreen(const QPoint& Global) const
{
    const QPoint local = mapFromGlobal(Global);
    return HitTest(CPoint{local.x(), local.y()});
}

void TSFlatCaption::Align()
{
    if (m_form && (geometry().topLeft() != QPoint(0, 0) || width() != m_form->width()))
        setGeometry(0, 0, m_form->width(), BarHeight());
}

void TSFlatCaption::PlaceGrips()
{
    if (!m_form)
        return;
    const int w = m_form->width(), h = m_form->height(), b = kGripBand;
    for (const QPointer<EdgeGrip>& grip : m_grips) {
        if (grip.isNull())
            continue;
        const Qt::Edges e = grip->Edges();
        const int x = (e & Qt::LeftEdge) ? 0 : (e & Qt::RightEdge) ? w - b : b;
        const int y = (e & Qt::TopEdge) ? 0 : (e & Qt::BottomEdge) ? h - b : b;
        const int gw = (e & (Qt::LeftEdge | Qt::RightEdge)) ? b : std::max(0, w - 2 * b);
        const int gh = (e & (Qt::TopEdge | Qt::BottomEdge)) ? b : std::max(0, h - 2 * b);
        grip->setGeometry(x, y, gw, gh);
        grip->show();
        grip->raise();
    }
}

void TSFlatCaption::ApplyMinimumSize()
{
    if (!m_form)
        return;
    QSize least = m_savedMinimum;
    if (QLayout* layout = m_form->layout())
        least = least.expandedTo(layout->totalMinimumSize());
    const CSize bar = MinimumSize();
    least = least.expandedTo(QSize(bar.cx, bar.cy));
    if (m_form->minimumSize() != least)
        m_form->setMinimumSize(least);
}

bool TSFlatCaption::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == m_form) {
        switch (Event->type()) {
        case QEvent::Resize:
            Align();
            PlaceGrips();
            break;
        case QEvent::Show:
            PlaceGrips();
            break;
        case QEvent::WindowActivate:
            SetActive(true);
            break;
        case QEvent::WindowDeactivate:
            SetActive(false);
            break;
        default:
            break;
        }
    }
    return plat::BufferedWindow::eventFilter(Watched, Event);
}

void TSFlatCaption::resizeEvent(QResizeEvent* Event)
{
    plat::BufferedWindow::resizeEvent(Event);
    const auto alive = m_alive;
    if (OnResize)
        OnResize(this);
    if (!*alive)
        return;
    SetBarSize(width(), height());
    ApplyMinimumSize();
}

void TSFlatCaption::mousePressEvent(QMouseEvent* Event)
{
    const QPoint global = Event->globalPosition().toPoint();
    const auto alive = m_alive;
    m_eventGlobal = &global;
    const int hit = HitTestScreen(global);
    if (Event->button() == Qt::LeftButton) {
        if (hit == kHitText) {
            QWindow* window = m_form ? m_form->windowHandle() : nullptr;
            if (window == nullptr || !window->startSystemMove()) {
                m_dragging = m_form != nullptr;
                if (m_form)
                    m_dragOffset = global - m_form->frameGeometry().topLeft();
            }
        } else {
            LeftButton(true);
        }
    } else if (Event->button() == Qt::RightButton && hit == kHitText && m_popupMenu) {
        PopupWindow().TrackPopup(m_popupMenu, global.x(), global.y(),
                                 plat::Rect{global.x(), global.y(), global.x(), global.y()});
    }
    if (!*alive)
        return;
    m_eventGlobal = nullptr;
    if (OnMouseDown)
        OnMouseDown(this, Event->button(), Event->modifiers(), Event->position().toPoint());
}

void TSFlatCaption::mouseMoveEvent(QMouseEvent* Event)
{
    const QPoint global = Event->globalPosition().toPoint();
    if (m_dragging && m_form && (Event->buttons() & Qt::LeftButton))
        m_form->move(global - m_dragOffset);
    const auto alive = m_alive;
    m_eventGlobal = &global;
    UpdateHover();
    if (!*alive)
        return;
    m_eventGlobal = nullptr;
    if (OnMouseMove)
        OnMouseMove(this, Event->modifiers(), Event->position().toPoint());
}

void TSFlatCaption::mouseReleaseEvent(QMouseEvent* Event)
{
    const auto alive = m_alive;
    if (Event->button() == Qt::LeftButton) {
        if (m_dragging) {
            m_dragging = false;
        } else {
            const QPoint global = Event->globalPosition().toPoint();
            m_eventGlobal = &global;
            LeftButton(false);
            if (!*alive)
                return;
            m_eventGlobal = nullptr;
        }
    }
    if (OnMouseUp)
        OnMouseUp(this, Event->button(), Event->modifiers(), Event->position().toPoint());
}

void TSFlatCaption::mouseDoubleClickEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton)
        return;
    const QPoint global = Event->globalPosition().toPoint();
    if (HitTestScreen(global) == kHitText) {
        if (m_canMaximize)
            PostSysCommand(WindowShowState() == fswMaximized ? SC_RESTORE : SC_MAXIMIZE);
        return;
    }
    // The second press of a double click on a button is a press like the first.
    mousePressEvent(Event);
}

void TSFlatCaption::leaveEvent(QEvent* Event)
{
    plat::BufferedWindow::leaveEvent(Event);
    UpdateHover();
}

// ---- painting ----

void TSFlatCaption::DrawFrame(plat::DeviceContext& Dc, const plat::Rect& R, plat::ColorRef First,
                              plat::ColorRef Second)
{
    Dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, First});
    Dc.MoveTo(R.left, R.bottom - 1);
    Dc.LineTo(R.left, R.top);
    Dc.LineTo(R.right - 1, R.top);
    Dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, Second});
    Dc.LineTo(R.right - 1, R.bottom - 1);
    Dc.LineTo(R.left, R.bottom - 1);
}

void TSFlatCaption::OnPaint(plat::DeviceContext& Dc)
{
    if (!m_form || !isVisible())
        return;
    const auto element = [&](TSFlatCaptionElement Kind, TSFlatCaptionButton* Button) {
        bool defaultDraw = true;
        if (OnDrawElement)
            OnDrawElement(this, Kind, Button, defaultDraw);
        return defaultDraw;
    };
    if (element(TSFlatCaptionElement::Bar, nullptr))
        PaintBackground(Dc);
    for (int i = 0; i < Buttons().Count(); ++i) {
        TSFlatCaptionButton* b = Buttons().Items(i);
        if (element(TSFlatCaptionElement::Button, b))
            PaintButton(Dc, *b);
    }
    if (element(TSFlatCaptionElement::Text, nullptr))
        PaintText(Dc);
}

void TSFlatCaption::PaintBackground(plat::DeviceContext& Dc)
{
    const int w = BarWidth(), h = BarHeight();
    const plat::ColorRef brush = Colors().Color(Active() ? fclActive : fclInactive);
    const int bw = m_bitmap ? m_bitmap->Image().width() : 0;
    const int bh = m_bitmap ? m_bitmap->Image().height() : 0;
    const TSFlatCaptionBackground place = PlaceFlatCaptionBitmap(m_bitmap ? BitmapPos() : fbmNone, w, h, bw, bh);
    for (const plat::Rect& r : place.Fill)
        Dc.FillRect(r, brush);
    if (place.Stretch)
        Dc.StretchBlt(0, 0, w, h, *m_bitmap, 0, 0, bw, bh);
    for (const TSFlatCaptionBlit& copy : place.Copies)
        Dc.BitBlt(copy.Dest.left, copy.Dest.top, copy.Dest.Width(), copy.Dest.Height(), *m_bitmap, copy.SourceX,
                  copy.SourceY);
    const plat::ColorRef shade = Colors().Color(fclShade), light = Colors().Color(fclLight);
    if (Bevel() == fbvRaised)
        DrawFrame(Dc, plat::Rect{0, 0, w, h}, light, shade);
    else if (Bevel() == fbvLowered)
        DrawFrame(Dc, plat::Rect{0, 0, w, h}, shade, light);
}

void TSFlatCaption::PaintButton(plat::DeviceContext& Dc, TSFlatCaptionButton& Button)
{
    if (!Button.Visible())
        return;
    const int state = Button.State();
    const TSImageList* list = nullptr;
    int index = Button.Images().Image(state);
    if (index == -1 && Button.Command() >= fccClose && Button.Command() <= fccScreenPin) {
        list = &SharedImages();
        index = SharedImageIndex(Button.Command(), state);
    } else if (index >= 0) {
        list = m_imageLink.Sender();
    }
    if (list != nullptr && index >= list->Count())
        list = nullptr;
    const bool hasText = !Button.Text().empty() && Button.TextPos() != fctNone;
    const unsigned rtl = m_rightToLeft ? unsigned(plat::DT_RTLREADING) : 0u;
    Dc.SelectFont(m_buttonFont);
    int textWidth = 0;
    if (hasText) {
        plat::Rect measured{0, 0, 0, 0};
        Dc.DrawText(Button.Text(), measured, plat::DT_SINGLELINE | plat::DT_CALCRECT | rtl);
        textWidth = measured.Width() + 2;
    }
    const TSFlatCaptionButtonLayout layout =
        LayoutFlatCaptionButton(Button.Rect, hasText ? Button.TextPos() : fctNone, textWidth,
                                list ? list->Width() : 0, list ? list->Height() : 0);
    if (list != nullptr && !layout.Picture.IsEmpty())
        list->Draw(Dc, layout.Picture, index, layout.CutLeft, layout.CutTop);
    if (hasText) {
        Dc.SetBkMode(plat::TRANSPARENT);
        const unsigned flags = plat::DT_CENTER | plat::DT_VCENTER | plat::DT_SINGLELINE | rtl;
        const auto pass = [&](int D, plat::ColorRef Colour) {
            const plat::Rect box{layout.Text.left + D, layout.Text.top + D, layout.Text.right + D,
                                 layout.Text.bottom + D};
            if (box.IsEmpty())
                return;
            Dc.SetTextColor(Colour);
            Dc.DrawText(Button.Text(), box, flags);
        };
        const plat::ColorRef colour = Colors().Color(state + fclStateBase);
        // The second pass of two lies one pixel left and up of the first: in place.
        switch (state) {
        case fbsDisable:
            pass(1, Colors().Color(fclLight));
            pass(0, colour);
            break;
        case fbsFreeIn:
            pass(1, Colors().Color(fclShade));
            pass(0, colour);
            break;
        case fbsFixedOut:
        case fbsFixedIn:
        case fbsDownIn:
            pass(1, colour);
            break;
        default:
            pass(0, colour);
            break;
        }
    }
    if (Button.Flat() && Button.Enabled()) {
        const plat::ColorRef shade = Colors().Color(fclShade), light = Colors().Color(fclLight);
        if (state == fbsFreeIn)
            DrawFrame(Dc, Button.Rect, light, shade);
        else if (state == fbsFixedOut || state == fbsFixedIn || state == fbsDownIn)
            DrawFrame(Dc, Button.Rect, shade, light);
    }
}

void TSFlatCaption::PaintText(plat::DeviceContext& Dc)
{
    Dc.SetBkMode(plat::TRANSPARENT);
    Dc.SelectFont(m_captionFont);
    unsigned flags = plat::DT_SINGLELINE | plat::DT_END_ELLIPSIS | (m_rightToLeft ? unsigned(plat::DT_RTLREADING) : 0u);
    plat::Rect measured{0, 0, 0, 0};
    Dc.DrawText(Text(), measured, flags | plat::DT_CALCRECT);
    const plat::Rect box = FlatCaptionTextBox(TextArea(), TextPos(), measured.Width(), measured.Height());
    // A text that fits is never cut: its whole-pixel measure may fall a
    // fraction of a pixel short of what the ellipsis is judged by.
    if (measured.Width() < TextArea().Width() - 6)
        flags &= ~unsigned(plat::DT_END_ELLIPSIS);
    const auto pass = [&](int D, plat::ColorRef Colour) {
        const plat::Rect moved{box.left + D, box.top + D, box.right + D, box.bottom + D};
        if (moved.IsEmpty())
            return;
        Dc.SetTextColor(Colour);
        Dc.DrawText(Text(), moved, flags);
    };
    if (TextHot()) {
        pass(1, Colors().Color(fclShade));
        pass(0, Colors().Color(fclStateBase + fbsFreeIn));
    } else {
        pass(0, Colors().Color(Active() ? fclTextActive : fclTextInactive));
    }
    const plat::ColorRef shade = Colors().Color(fclShade), light = Colors().Color(fclLight);
    if (CaptionBevel() == fbvRaised)
        DrawFrame(Dc, TextArea(), light, shade);
    else if (CaptionBevel() == fbvLowered)
        DrawFrame(Dc, TextArea(), shade, light);
}

// ---- the unit ----

void SFlatCaptionInitialization()
{
    PopupWindow();
    SharedImages();
    if (gHoverTimer == nullptr && QCoreApplication::instance() != nullptr) {
        gHoverTimer = new QTimer();
        gHoverTimer->setInterval(1000);
        QObject::connect(gHoverTimer, &QTimer::timeout, [] { TSFlatCaption::HoverTick(); });
        gHoverTimer->start();
    }
}

void SFlatCaptionFinalization()
{
    delete std::exchange(gHoverTimer, nullptr);
    gSharedImages.reset();
    gPopupWindow.reset();
}
