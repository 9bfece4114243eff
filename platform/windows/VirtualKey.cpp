#include "platform/windows/VirtualKey.h"

#include <QKeyEvent>

namespace plat {

namespace {

struct KeyRow {
    int qt;
    int vk;
};

constexpr KeyRow kKeys[] = {
    {Qt::Key_Backspace, VK_BACK},  {Qt::Key_Tab, VK_TAB},         {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},   {Qt::Key_Enter, VK_RETURN},    {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},        {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},     {Qt::Key_PageUp, VK_PRIOR},    {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},         {Qt::Key_Home, VK_HOME},       {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},           {Qt::Key_Right, VK_RIGHT},     {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Insert, VK_INSERT},   {Qt::Key_Delete, VK_DELETE},
};

}  // namespace

int VirtualKeyOf(int qtKey, bool keypad)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return keypad ? VK_NUMPAD0 + (qtKey - Qt::Key_0) : qtKey;
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return VK_F1 + (qtKey - Qt::Key_F1);
    for (const KeyRow& row : kKeys)
        if (row.qt == qtKey)
            return row.vk;
    return 0;
}

int VirtualKeyOf(const QKeyEvent* event)
{
    return event ? VirtualKeyOf(event->key(), event->modifiers() & Qt::KeypadModifier) : 0;
}

}  // namespace plat
