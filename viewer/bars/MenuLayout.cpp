#include "bars/MenuLayout.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace bars {

Size MeasureMenuItem(int code, bool emptyText, Size text, Size image)
{
    if (code == kSeparator)
        return {10, 6};
    if (emptyText)
        return {100, image.cy + 5};
    if (code == kMenuBarTitle)
        return text;
    const int height = std::max(image.cy + 5, text.cy);
    return {text.cx + 17 + std::max(image.cx, height), height};
}

MenuItemGeometry MenuItemLayout(const Box& r)
{
    MenuItemGeometry g;
    g.imageBox = {r.left, r.top, r.left + r.Height(), r.bottom};
    // The left edge counts r.left twice: one pixel past the box only for items at x 0.
    g.textArea = r;
    g.textArea.left = r.left + (r.left + r.Height()) + 1;
    return g;
}

Box MenuTextBox(const Box& textArea, int textHeight)
{
    Box t = textArea;
    t.top += (textArea.Height() - textHeight) / 2;
    t.left += 2;
    t.right -= 15;
    return t;
}

std::pair<std::string, std::string> SplitAtTab(const std::string& text)
{
    const auto tab = text.find('\t');
    if (tab == std::string::npos)
        return {text, std::string()};
    return {text.substr(0, tab), text.substr(tab + 1)};
}

int MenuCharMatch(const std::vector<const char*>& texts, unsigned ch)
{
    const int key = std::toupper(int(ch & 0xFF));
    for (int i = int(texts.size()) - 1; i >= 0; --i) {
        const char* text = texts[std::size_t(i)];
        if (text == nullptr)
            continue;
        const char* amp = std::strchr(text, '&');
        if (amp != nullptr && amp[1] != '\0' && std::toupper(static_cast<unsigned char>(amp[1])) == key)
            return i;
    }
    return -1;
}

Size ToolBarImageOffsets(Size button, Size image, bool someButtonHasText, int topBorder)
{
    return {(button.cx - image.cx) / 2, someButtonHasText ? topBorder : (button.cy - image.cy) / 2};
}

ButtonLook ToolButtonLook(bool checkedOrPressed, bool hot, bool enabled)
{
    ButtonLook look;
    look.shift = checkedOrPressed ? 1 : 0;
    look.lightBackground = checkedOrPressed && !hot;
    if (checkedOrPressed) {
        look.frame = ButtonFrame::Sunken;
        look.innerFaceFrame = !hot;
    } else if (!enabled) {
        look.frame = ButtonFrame::None;
    } else {
        look.frame = hot ? ButtonFrame::Raised : ButtonFrame::Face;
    }
    return look;
}

}  // namespace bars
