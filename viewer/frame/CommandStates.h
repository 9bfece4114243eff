#pragma once
// The viewer frame's command states as data: which tool-bar button and menu item each
// bit of an EnableMenuItems mask stands for, the masks of the frame's command states,
// and the status-bar part arithmetic.

#include <array>
#include <vector>

struct CommandBit {
    unsigned button;  // 0: no tool-bar button
    unsigned menu;    // 0: no menu item
};

// Bit n of a mask is row n; bits 18 to 31 stand for nothing.
extern const std::array<CommandBit, 18> kCommandBits;

// Runs apply for the row of every bit set in mask.
template <class F>
void ForEachCommandBit(int mask, F&& apply)
{
    for (unsigned bit = 0; bit < kCommandBits.size(); ++bit)
        if (unsigned(mask) & (1u << bit))
            apply(kCommandBits[bit]);
}

inline constexpr int kAllCommands = -1;
inline constexpr int kOpenBit = 0x1;
inline constexpr int kOpenRGBBit = 0x10000;

// The command states of a viewer: empty (only Open, Open RGB and Help), loading
// (everything disabled), ready (everything enabled), failed (as empty).
enum class CommandState {
    Empty,
    Loading,
    Ready,
    Failed
};

struct EnableStep {
    int enable;
    int mask;
};
// The EnableMenuItems calls that set state, in order.
std::vector<EnableStep> CommandStateSteps(CommandState state);

// Status-bar parts: the four panes of a shown layer, right edges 50, 150, 240 and the
// client width.
std::vector<int> StatusParts(int clientWidth);
// While the progress bar shows: three equal parts of the client width.
std::vector<int> ProgressStatusParts(int clientWidth);

struct BarRect {
    int x, y, width, height;
};
// Where the progress bar lies in a status bar of that size: the middle third.
BarRect ProgressBarRect(int barWidth, int barHeight);
