#pragma once
// Drawing helpers on top of a device context: the classic 3-D rectangle, a picture
// drawn over a background colour, and text broken into lines at word boundaries.

#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "platform/paint/DeviceContext.h"

namespace plat {

// DrawText flag: break lines between words to fit the rectangle's width.
inline constexpr unsigned DT_WORDBREAK = 0x10;

// A one-pixel frame just inside rect: topLeft along the top and left edges, bottomRight
// along the right and bottom ones (which take the corners they share).
void Draw3dRect(DeviceContext& dc, const Rect& rect, ColorRef topLeft, ColorRef bottomRight);

// image at (x, y) at its own size, its transparent parts showing background.
void DrawImage(DeviceContext& dc, int x, int y, const QImage& image, ColorRef background);

// The lines text breaks into within width, as measured by widthOf: between words where
// a line would grow too long, at '\n' always; a word longer than width stands alone.
std::vector<std::string> BreakWords(const std::string& text, int width,
                                    const std::function<int(const std::string&)>& widthOf);

// text in rect by the DT_ flags; with DT_WORDBREAK the lines are broken to rect's width
// and stacked from its top, each aligned by the horizontal flags.
void DrawTextBroken(DeviceContext& dc, const std::string& text, const Rect& rect, unsigned format);

}  // namespace plat
