#include "platform/paint/PaintExtras.h"

#include <QFontMetrics>
#include <algorithm>
#include <cstring>

#include "platform/paint/BitmapInfo.h"

namespace plat {

void Draw3dRect(DeviceContext& dc, const Rect& r, ColorRef topLeft, ColorRef bottomRight)
{
    const int cx = r.Width();
    const int cy = r.Height();
    if (cx <= 0 || cy <= 0)
        return;
    dc.FillRect(Rect{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    dc.FillRect(Rect{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    dc.FillRect(Rect{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    dc.FillRect(Rect{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

void DrawImage(DeviceContext& dc, int x, int y, const QImage& image, ColorRef background)
{
    if (image.isNull())
        return;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();
    const int stride = (w * 3 + 3) & ~3;
    std::vector<unsigned char> bits(static_cast<std::size_t>(stride) * h, 0);
    const int br = GetRValue(background), bg = GetGValue(background), bb = GetBValue(background);
    for (int row = 0; row < h; ++row) {
        const QRgb* src = reinterpret_cast<const QRgb*>(argb.constScanLine(row));
        unsigned char* out = bits.data() + static_cast<std::size_t>(row) * stride;
        for (int col = 0; col < w; ++col) {
            const int a = qAlpha(src[col]);
            out[3 * col + 0] = static_cast<unsigned char>((qBlue(src[col]) * a + bb * (255 - a)) / 255);
            out[3 * col + 1] = static_cast<unsigned char>((qGreen(src[col]) * a + bg * (255 - a)) / 255);
            out[3 * col + 2] = static_cast<unsigned char>((qRed(src[col]) * a + br * (255 - a)) / 255);
        }
    }
    BitmapInfo info;
    info.width = w;
    info.height = -h;  // top row first
    info.bitCount = 24;
    dc.SetDIBitsToDevice(x, y, w, h, 0, 0, bits.data(), bits.size(), info);
}

std::vector<std::string> BreakWords(const std::string& text, int width,
                                    const std::function<int(const std::string&)>& widthOf)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string paragraph = text.substr(start, end - start);
        std::string line;
        std::size_t i = 0;
        while (i < paragraph.size()) {
            const std::size_t space = paragraph.find(' ', i);
            const std::size_t wordEnd = space == std::string::npos ? paragraph.size() : space;
            const std::string word = paragraph.substr(i, wordEnd - i);
            const std::string joined = line.empty() ? word : line + " " + word;
            if (!line.empty() && widthOf(joined) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = joined;
            }
            i = wordEnd + 1;
        }
        lines.push_back(line);
        if (end == text.size())
            break;
        start = end + 1;
    }
    return lines;
}

void DrawTextBroken(DeviceContext& dc, const std::string& text, const Rect& rect, unsigned format)
{
    if (!(format & DT_WORDBREAK)) {
        dc.DrawText(text, rect, format);
        return;
    }
    const QFontMetrics metrics(dc.GetFont());
    const std::vector<std::string> lines = BreakWords(
        text, rect.Width(), [&](const std::string& s) { return metrics.horizontalAdvance(QString::fromStdString(s)); });
    const unsigned across = format & (DT_CENTER | DT_RIGHT);
    int y = rect.top;
    for (const std::string& line : lines) {
        if (y >= rect.bottom)
            break;
        dc.DrawText(line, Rect{rect.left, y, rect.right, std::min(rect.bottom, y + metrics.height())},
                    across | DT_SINGLELINE);
        y += metrics.height();
    }
}

}  // namespace plat
