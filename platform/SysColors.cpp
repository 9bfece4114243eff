#include "SysColors.h"

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
};

}  // namespace

ColorRef GetSysColor(int index)
{
    for (const Mapping& m : kMap) {
        if (m.index != index)
            continue;
        if (!QGuiApplication::instance())
            return m.fallback;
        return FromQt(QGuiApplication::palette().color(QPalette::Active, m.role));
    }
    return 0;
}

}  // namespace plat
