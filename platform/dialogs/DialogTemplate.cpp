#include "platform/dialogs/DialogTemplate.h"

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

void DialogBaseUnits::WidenFor(int pixels, int units)
{
    if (pixels <= 0 || units <= 0)
        return;
    const long long need = ((long long)pixels * 64 + units - 1) / units;
    const long long now = x64 > 0 ? x64 : 16LL * x;
    if (need > now)
        x64 = int(need);
}

int DialogBaseUnits::ToPixelsX(int units) const
{
    const long long per64 = x64 > 0 ? x64 : 16LL * x;
    return int((long long)units * per64 / 64);
}

int CaptionWidthNeeded(const QFont& font, const char* title)
{
    if (title == nullptr || *title == '\0')
        return 0;
    // Caption bars often use a bold face; the icon and up to three buttons are each
    // about two lines of text square.
    QFont bold(font);
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    return metrics.horizontalAdvance(QString::fromUtf8(title)) + 8 * metrics.height();
}

int DialogBaseUnits::ToPixelsY(int units) const
{
    return int((long long)units * y / 8);
}

}  // namespace plat
