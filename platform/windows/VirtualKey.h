#pragma once
// Virtual-key numbers of the classic keyboard messages, for Qt's key codes.

class QKeyEvent;

namespace plat {

enum VirtualKey : int {
    VK_BACK = 8,
    VK_TAB = 9,
    VK_RETURN = 13,
    VK_SHIFT = 16,
    VK_CONTROL = 17,
    VK_MENU = 18,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_PRIOR = 33,
    VK_NEXT = 34,
    VK_END = 35,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_INSERT = 45,
    VK_DELETE = 46,
    VK_NUMPAD0 = 0x60,
    VK_F1 = 0x70,
};

// The virtual key of a Qt key code (Qt::Key); 0 for a key without one. Letters give
// their capital's code, digits their own, keypad digits VK_NUMPAD0 + n when keypad is set.
int VirtualKeyOf(int qtKey, bool keypad = false);
int VirtualKeyOf(const QKeyEvent* event);

}  // namespace plat
