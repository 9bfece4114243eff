// The image window's tool cursors, drawn by art/draw_cursors.py.

#include <iterator>

#include "platform/windows/BarResources.h"
#include "PellionModule.h"

namespace {

#include "window/art/cursor241.xpm"
#include "window/art/cursor249.xpm"
#include "window/art/cursor268.xpm"
#include "window/art/cursor269.xpm"
#include "window/art/cursor282.xpm"
#include "window/art/cursor288.xpm"

// Hot spots: the magnifiers' lens centre, the other figures' crossing.
const plat::CursorResource kCursors[] = {
    {249, kCursor249Xpm, 11, 11}, {241, kCursor241Xpm, 11, 11}, {282, kCursor282Xpm, 15, 15},
    {269, kCursor269Xpm, 15, 15}, {268, kCursor268Xpm, 15, 15}, {288, kCursor288Xpm, 15, 15},
};

const plat::CursorRegistration kRegistration(kPellionModule, kCursors, std::size(kCursors));

}  // namespace
