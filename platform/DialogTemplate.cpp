#include "DialogTemplate.h"

#include <QFont>
#include <QFontMetrics>

namespace plat {

DialogBaseUnits DialogBaseUnits::ForFont(const QFont& font)
{
    QFontMetrics metrics(font);
    // The average width is taken over the 52 Latin letters, rounded to the nearest pixel.
    int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogBaseUnits units;
    units.x = (width / 26 + 1) / 2;
    units.y = metrics.height();
    return units;
}

int DialogBaseUnits::ToPixelsX(int units) const
{
    return int((long long)units * x / 4);
}

int DialogBaseUnits::ToPixelsY(int units) const
{
    return int((long long)units * y / 8);
}

}  // namespace plat
