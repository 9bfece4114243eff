#include "platform/paint/SysColors.h"

#include <QGuiApplication>
#include <QPalette>

namespace plat {

namespace {

ColorRef FromQt(const QColor& c)
{
    return Rgb(unsigned(c.red()), unsigned(c.green()), unsigned(c.blue()));
}

struct Mapping {
    int index;
    QPalette::ColorRole role;
    ColorRef fallback;
    QPalette::ColorGroup group = QPalette::Active;
};

// The caption text is drawn on the title bar, which the palette does not describe; the
// text over highlighted items is its nearest relative.
constexpr Mapping kMap[] = {
    {COLOR_WINDOW, QPalette::Base, Rgb(255, 255, 255)},
    {COLOR_WINDOWTEXT, QPalette::Text, Rgb(0, 0, 0)},
    {COLOR_CAPTIONTEXT, QPalette::HighlightedText, Rgb(255, 255, 255)},
    {COLOR_HIGHLIGHT, QPalette::Highlight, Rgb(0, 120, 215)},
    {COLOR_HIGHLIGHTTEXT, QPalette::HighlightedText, Rgb(255, 255, 255)},
    {COLOR_BTNFACE, QPalette::Window, Rgb(240, 240, 240)},
    // Menus are drawn on the window colour, as the toolkit's own menus are.
    {COLOR_MENU, QPalette::Window, Rgb(240, 240, 240)},
    {COLOR_MENUTEXT, QPalette::WindowText, Rgb(0, 0, 0)},
    {COLOR_3DSHADOW, QPalette::Dark, Rgb(160, 160, 160)},
    {COLOR_GRAYTEXT, QPalette::Text, Rgb(120, 120, 120), QPalette::Disabled},
    {COLOR_3DHILIGHT, QPalette::Light, Rgb(255, 255, 255)},
    {COLOR_3DLIGHT, QPalette::Midlight, Rgb(247, 247, 247)},
};

// Between the face and the light edge, as the classic desktop has it (some palettes'
// mid-light is darker than their face).
ColorRef Light3D(const QPalette& pal)
{
    const QColor a = pal.color(QPalette::Active, QPalette::Window);
    const QColor b = pal.color(QPalette::Active, QPalette::Light);
    return Rgb(unsigned(a.red() + b.red()) / 2, unsigned(a.green() + b.green()) / 2, unsigned(a.blue() + b.blue()) / 2);
}

}  // namespace

ColorRef GetSysColor(int index)
{
    for (const Mapping& m : kMap) {
        if (m.index != index)
            continue;
        if (!QGuiApplication::instance())
            return m.fallback;
        if (index == COLOR_3DLIGHT)
            return Light3D(QGuiApplication::palette());
        return FromQt(QGuiApplication::palette().color(m.group, m.role));
    }
    return 0;
}

}  // namespace plat
