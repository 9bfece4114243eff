#include "bars/BitmapMenu.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>

#include "platform/windows/BarResources.h"
#include "PellionModule.h"
#include "bars/BarPainting.h"

namespace {

#include "bars/art/check161.xpm"

constexpr const char* kItemProperty = "bars.menuItem";

// Menus are made owner-drawn from the outside in; the depth says whether the items at
// hand are titles of the menu bar.
int s_depth = 0;

struct DepthGuard {
    DepthGuard() { ++s_depth; }
    ~DepthGuard() { --s_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

QRect ToRect(const bars::Box& b)
{
    return QRect(b.left, b.top, b.Width(), b.Height());
}
bars::Box ToBox(const QRect& r)
{
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The text a menu shows for an action: "&" before the mnemonic, a tab before its
// shortcut.
std::string ActionText(const QAction* action)
{
    QString text = action->text();
    if (!text.contains(QLatin1Char('\t')) && !action->shortcut().isEmpty())
        text += QLatin1Char('\t') + action->shortcut().toString(QKeySequence::NativeText);
    return text.toStdString();
}

}  // namespace

CBitmapMenu::CBitmapMenu() : m_menuFont(QApplication::font("QMenu"))
{
    m_clrText = plat::GetSysColor(plat::COLOR_MENUTEXT);
    m_clrHighlightText = plat::GetSysColor(plat::COLOR_HIGHLIGHTTEXT);
    m_clrFace = plat::GetSysColor(plat::COLOR_3DFACE);
    m_clrMenu = plat::GetSysColor(plat::COLOR_MENU);
    m_clrHighlight = plat::GetSysColor(plat::COLOR_HIGHLIGHT);
    m_clrLight = plat::GetSysColor(plat::COLOR_3DHILIGHT);
    m_clrDark = plat::GetSysColor(plat::COLOR_3DSHADOW);
    m_clrGrayText = plat::GetSysColor(plat::COLOR_GRAYTEXT);

    // The check mark's greys follow the desktop's 3D colours; its face is transparent.
    QImage check = QPixmap(kCheck161Xpm).toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb face = C(m_clrFace).rgb();
    for (int y = 0; y < check.height(); ++y)
        for (int x = 0; x < check.width(); ++x) {
            QRgb c = check.pixel(x, y) | 0xFF000000u;
            if (c == qRgb(0x80, 0x80, 0x80))
                c = C(m_clrDark).rgb();
            else if (c == qRgb(0xC0, 0xC0, 0xC0))
                c = face;
            else if (c == qRgb(0xFF, 0xFF, 0xFF))
                c = C(m_clrLight).rgb();
            check.setPixel(x, y, c == face ? 0u : c);
        }
    m_checkMark = QPixmap::fromImage(check);
}

CBitmapMenu::CBitmapMenu(bool topLevel) : CBitmapMenu()
{
    m_topLevel = topLevel;
}

CBitmapMenu::~CBitmapMenu()
{
    // Actions may outlive the painter; they must not keep pointing at freed records.
    for (const QPointer<QAction>& a : m_attached)
        if (a)
            a->setProperty(kItemProperty, QVariant());
}

int CBitmapMenu::AppendToolbarImages(unsigned id, bool fresh)
{
    const plat::ToolBarResource* bar = plat::FindToolBar(id, kPellionModule);
    if (bar == nullptr)
        return 0;
    const QPixmap strip = plat::ToolBarStrip(*bar);
    if (strip.isNull() || bar->imageWidth <= 0 || bar->imageHeight <= 0)
        return 0;
    if (fresh) {
        m_imageWidth = bar->imageWidth;
        m_imageHeight = bar->imageHeight;
        m_images.clear();
    }
    int next = int(m_images.size());
    for (int i = 0; (i + 1) * bar->imageWidth <= strip.width(); ++i)
        m_images.push_back(plat::StripImage(strip, bar->imageWidth, bar->imageHeight, i));
    for (std::size_t i = 0; i < bar->count; ++i)
        if (bar->ids[i] != 0)
            AddCommandImage(next++, bar->ids[i]);
    return 1;
}

int CBitmapMenu::LoadToolbarImages(unsigned id)
{
    return AppendToolbarImages(id, true);
}
int CBitmapMenu::AddToolbarImages(unsigned id)
{
    return AppendToolbarImages(id, false);
}

void CBitmapMenu::AddCommandImage(int image, unsigned id)
{
    m_commandImages.emplace_back(image, int(id));
}

int CBitmapMenu::FindImage(int id) const
{
    for (const auto& [image, command] : m_commandImages)
        if (command == id)
            return image;
    return -1;
}

bars::MenuItemRecord* CBitmapMenu::AddItem(const char* text, int code)
{
    m_items.push_back(std::make_unique<bars::MenuItemRecord>(
        bars::MakeMenuItem(text, code, [this](int id) { return FindImage(id); })));
    return m_items.back().get();
}

const bars::MenuItemRecord* CBitmapMenu::ItemOf(const QAction* action)
{
    if (action == nullptr)
        return nullptr;
    return reinterpret_cast<const bars::MenuItemRecord*>(action->property(kItemProperty).value<quintptr>());
}

void CBitmapMenu::Attach(QAction* action, bars::MenuItemRecord* item)
{
    action->setProperty(kItemProperty, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
    m_attached.emplace_back(action);
}

void CBitmapMenu::OwnerDrawActions(const QList<QAction*>& actions, bool barTitles)
{
    DepthGuard depth;
    for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
        QAction* a = *it;
        if (ItemOf(a) != nullptr)
            continue;  // made owner-drawn before
        if (QMenu* sub = a->menu()) {
            OwnerDrawActions(sub->actions(), false);
            const std::string text = ActionText(a);
            if (!text.empty())
                Attach(a, AddItem(text.c_str(), barTitles && !m_topLevel && s_depth == 1 ? bars::kMenuBarTitle
                                                                                         : bars::kSubmenuTitle));
        } else if (a->isSeparator()) {
            Attach(a, AddItem("", bars::kSeparator));
        } else {
            Attach(a, AddItem(ActionText(a).c_str(), int(plat::CommandId(a))));
        }
    }
}

void CBitmapMenu::OwnerDrawMenu(QMenuBar* bar)
{
    if (bar != nullptr)
        OwnerDrawActions(bar->actions(), true);
}

void CBitmapMenu::OwnerDrawMenu(QMenu* menu)
{
    // A popup holds no menu-bar titles, whatever its depth.
    if (menu != nullptr)
        OwnerDrawActions(menu->actions(), false);
}

const QFont& CBitmapMenu::Font() const
{
    return m_customFont ? *m_customFont : m_menuFont;
}

QSize CBitmapMenu::MeasureRecord(const bars::MenuItemRecord& item) const
{
    const QFontMetrics fm(Font());
    const QString text = QString::fromUtf8(item.text);
    QSize t;
    if (item.code == bars::kMenuBarTitle)
        t = fm.size(Qt::TextSingleLine | Qt::TextShowMnemonic, text);
    else
        t = QSize(fm.size(Qt::TextExpandTabs | Qt::TextShowMnemonic, text).width(), fm.height());
    const bars::Size s =
        bars::MeasureMenuItem(item.code, item.text[0] == '\0', {t.width(), t.height()}, {m_imageWidth, m_imageHeight});
    return {s.cx, s.cy};
}

bool CBitmapMenu::MeasureItem(const QAction* action, QSize& size) const
{
    const bars::MenuItemRecord* item = ItemOf(action);
    if (item == nullptr)
        return false;
    size = MeasureRecord(*item);
    return true;
}

bool CBitmapMenu::DrawItem(QPainter& p, const QAction* action, const QRect& r, const MenuItemState& state) const
{
    const bars::MenuItemRecord* item = ItemOf(action);
    if (item == nullptr)
        return false;
    DrawRecord(p, *item, r, state);
    return true;
}

void CBitmapMenu::DrawText(QPainter& p, const std::string& text, const QRect& box, int align, const QColor& color) const
{
    p.setPen(color);
    p.drawText(box, align | Qt::TextShowMnemonic | Qt::TextExpandTabs, QString::fromUtf8(text.c_str()));
}

void CBitmapMenu::DrawRecord(QPainter& p, const bars::MenuItemRecord& item, const QRect& r,
                             const MenuItemState& state) const
{
    p.save();
    p.setFont(Font());
    const bool enabled = !state.disabled;
    const bars::MenuItemGeometry g = bars::MenuItemLayout(ToBox(r));
    const QRect imageBox = ToRect(g.imageBox);

    if (item.code == bars::kSeparator) {
        p.fillRect(QRect(r.left() + 2, r.top() + 2, r.width() - 4, 1), C(m_clrDark));
        p.fillRect(QRect(r.left() + 2, r.top() + 3, r.width() - 4, 1), C(m_clrLight));
        p.restore();
        return;
    }

    if (item.code == bars::kMenuBarTitle) {
        QRect t = r;
        if (state.selected && enabled)
            t.adjust(2, 1, 0, 0);
        p.fillRect(t, C(m_clrMenu));
        DrawText(p, item.text, t, Qt::AlignCenter | Qt::TextSingleLine, enabled ? C(m_clrText) : C(m_clrGrayText));
        if (state.selected && enabled)
            bars::Draw3dRect(p, r, C(m_clrDark), C(m_clrLight));
        p.restore();
        return;
    }

    // Commands and submenu titles. An imaged or checked item keeps its image box out of
    // the highlight.
    const bool imaged = item.image >= 0;
    const QRect fillArea = imaged || state.checked ? ToRect(g.textArea) : r;
    QColor textColor;
    if (state.selected) {
        p.fillRect(fillArea, C(m_clrHighlight));
        textColor = C(m_clrHighlightText);
    } else {
        p.fillRect(fillArea, C(m_clrMenu));
        textColor = C(m_clrText);
    }

    if (imaged) {
        if (state.selected && enabled)
            bars::Draw3dRect(p, imageBox, C(m_clrLight), C(m_clrDark));
        else
            bars::Draw3dRect(p, imageBox, C(m_clrMenu), C(m_clrMenu));
        if (item.image < int(m_images.size())) {
            const QPixmap& image = m_images[std::size_t(item.image)];
            const int x = imageBox.left() + (imageBox.width() - image.width()) / 2;
            const int y = imageBox.top() + (imageBox.height() - image.height()) / 2;
            if (enabled)
                p.drawPixmap(x, y, image);
            else
                bars::DrawDisabledImage(p, x, y, image.toImage(), C(m_clrMenu), C(m_clrLight), C(m_clrDark));
        }
    } else if (state.checked) {
        const int x = imageBox.left() + (imageBox.width() - m_imageWidth) / 2;
        const int y = imageBox.top() + (imageBox.height() - m_imageHeight) / 2 - 2;
        p.drawPixmap(x, y, m_checkMark);
    }

    // Text, top-aligned in a box centred by hand; an accelerator after a tab goes right.
    const int textHeight = QFontMetrics(Font()).height();
    const QRect box = ToRect(bars::MenuTextBox(g.textArea, textHeight));
    // Named halves, not a structured binding: clang 14 cannot capture those.
    const std::pair<std::string, std::string> halves = bars::SplitAtTab(item.text);
    const std::string& before = halves.first;
    const std::string& after = halves.second;
    const bool tab = std::string(item.text).find('\t') != std::string::npos;
    const auto draw = [&](const QRect& b, const QColor& color) {
        if (tab) {
            DrawText(p, before, b, Qt::AlignLeft | Qt::AlignTop, color);
            DrawText(p, after, b, Qt::AlignRight | Qt::AlignTop, color);
        } else {
            DrawText(p, item.text, b, Qt::AlignLeft | Qt::AlignTop, color);
        }
    };
    if (enabled) {
        draw(box, textColor);
    } else if (state.selected) {
        draw(box, C(m_clrMenu));
    } else {
        draw(box.adjusted(1, 1, -1, -1), C(m_clrLight));
        draw(box, C(m_clrGrayText));
    }
    p.restore();
}

int CBitmapMenu::MenuChar(unsigned ch, const QMenu* menu) const
{
    if (menu == nullptr)
        return -1;
    std::vector<const char*> texts;
    for (const QAction* a : menu->actions()) {
        const bars::MenuItemRecord* item = ItemOf(a);
        texts.push_back(a->isSeparator() || item == nullptr ? nullptr : item->text);
    }
    return bars::MenuCharMatch(texts, ch);
}

bool CBitmapMenu::SetMenuFont(const QFont& font)
{
    m_customFont = std::make_unique<QFont>(font);
    return true;
}

void CBitmapMenu::SetTextColors(plat::ColorRef normal, plat::ColorRef selected)
{
    m_clrText = normal;
    m_clrHighlightText = selected;
}

bool CBitmapMenu::IsOwnerDrawnItem(const QAction* action) const
{
    return action != nullptr && !action->isSeparator() && ItemOf(action) != nullptr;
}

bool CBitmapMenu::GetItemText(std::string& text, const QAction* action) const
{
    if (action == nullptr || action->isSeparator())
        return false;
    if (const bars::MenuItemRecord* item = ItemOf(action)) {
        text = item->text;
        return true;
    }
    text = ActionText(action);
    return !text.empty();
}

void CBitmapMenu::UpdateMenuCmdUI(QMenu* menu, const plat::UpdateHandler& update) const
{
    if (menu != nullptr && update)
        plat::UpdateCommands(menu->actions(), update);
}
