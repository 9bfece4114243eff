#include "frame/CommandStates.h"

#include "bars/ViewerBars.h"

namespace {
// The vector-layer button of bit 14 is not on tool bar 234.
constexpr unsigned ID_BUTTON_VECTOR = 34785;
}  // namespace

const std::array<CommandBit, 18> kCommandBits = {{
    {ID_BUTTON_LOAD, ID_MENU_OPEN},
    {ID_BUTTON_CLOSE, ID_MENU_CLOSE},
    {ID_BUTTON_ARROW, ID_MENU_CENTER},
    {ID_BUTTON_PLUS, ID_MENU_ZOOM_IN},
    {ID_BUTTON_MINUS, ID_MENU_ZOOM_OUT},
    {ID_BUTTON_FIT, ID_MENU_FIT},
    {ID_BUTTON_REAL_SCALE, ID_MENU_DEFAULT_ZOOM},
    {ID_BUTTON_HIST, ID_MENU_STATISTICS},
    {ID_BUTTON_SREZ_X, ID_MENU_PROFILE_X},
    {ID_BUTTON_SREZ_Y, ID_MENU_PROFILE_Y},
    {ID_BUTTON_ADJUST, ID_MENU_ADJUST},
    {ID_BUTTON_POINTER, 0},
    {ID_BUTTON_MARK, ID_MENU_FRAME},
    {0, ID_MENU_EQUALIZE},
    {ID_BUTTON_VECTOR, 0},
    {0, ID_MENU_PALETTE},
    {ID_BUTTON_LOAD_RGB, ID_MENU_OPEN_TRUECOLOR},
    {0, ID_MENU_SAVEAS},
}};

std::vector<EnableStep> CommandStateSteps(CommandState state)
{
    switch (state) {
    case CommandState::Loading:
        return {{0, kAllCommands}};
    case CommandState::Ready:
        return {{1, kAllCommands}};
    case CommandState::Empty:
    case CommandState::Failed:
        break;
    }
    return {{0, kAllCommands}, {1, kOpenBit}, {1, kOpenRGBBit}};
}

std::vector<int> StatusParts(int clientWidth)
{
    return {50, 150, 240, clientWidth};
}

std::vector<int> ProgressStatusParts(int clientWidth)
{
    const int third = clientWidth / 3;
    return {third, 2 * third, 3 * third};
}

BarRect ProgressBarRect(int barWidth, int barHeight)
{
    return {barWidth / 3 + 2, 3, barWidth / 3 - 3, barHeight - 4};
}
