#pragma once
// The arithmetic of the bitmap menus and the flat tool bar, free of window types so
// that it is tested headless: item kinds and records, item sizes, item geometry,
// mnemonic matching, the tool bar's image offsets and button looks.

#include <string>
#include <utility>
#include <vector>

namespace bars {

// Codes of menu items that run no command.
enum MenuItemCode : int {
    kSubmenuTitle = -2,  // a submenu title inside a popup
    kSeparator = -3,
    kMenuBarTitle = -4,
};

// One owner-drawn menu item.
struct MenuItemRecord {
    int image = -1;  // index into the command images, -1 none, or the code when negative
    int code = 0;    // command id or one of MenuItemCode
    char text[128] = {};
};

// The record AddItem makes: at most 127 bytes of text, never ending inside a UTF-8
// character; image := code for a kind, else the command's image (findImage(code)).
template <class FindImage>
MenuItemRecord MakeMenuItem(const char* text, int code, FindImage&& findImage)
{
    MenuItemRecord r;
    r.code = code;
    std::size_t n = 0;
    if (text != nullptr)
        for (; n < sizeof r.text - 1 && text[n] != '\0'; ++n)
            r.text[n] = text[n];
    if (text != nullptr && text[n] != '\0')
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    r.text[n] = '\0';
    r.image = code < 0 ? code : findImage(code);
    return r;
}

struct Size {
    int cx = 0;
    int cy = 0;
    bool operator==(const Size&) const = default;
};

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Box&) const = default;
};

// Size of an item: separator 10 x 6; empty text (image height + 5) high and 100 wide;
// a menu-bar title its text's size; any other item max(image height + 5, text height)
// high and text width + 17 + max(image width, that height) wide.
Size MeasureMenuItem(int code, bool emptyText, Size text, Size image);

// Where an item's parts go in its rectangle r (items of a popup start at x 0): the
// square image box at its left, the text area from one pixel right of it.
struct MenuItemGeometry {
    Box imageBox;
    Box textArea;
};
MenuItemGeometry MenuItemLayout(const Box& r);

// Where the text goes inside the text area: moved down by half the room the text
// leaves, 2 pixels in from the left, 15 from the right (room for a submenu arrow).
Box MenuTextBox(const Box& textArea, int textHeight);

// The text before the first tab and after it (empty when there is no tab).
std::pair<std::string, std::string> SplitAtTab(const std::string& text);

// The position whose text holds "&" followed by ch (case-blind), searched from the last
// item to the first, so with two items on one letter the lower one wins; -1 for none.
// Items that take no part (separators, items not owner-drawn) are given as null.
int MenuCharMatch(const std::vector<const char*>& texts, unsigned ch);

// Where a tool-bar image sits in its button.
Size ToolBarImageOffsets(Size button, Size image, bool someButtonHasText, int topBorder);

// How a tool-bar button is drawn.
enum class ButtonFrame {
    None,
    Face,
    Raised,
    Sunken
};
struct ButtonLook {
    bool lightBackground = false;  // the 3D light colour instead of the face
    ButtonFrame frame = ButtonFrame::None;
    bool innerFaceFrame = false;  // a pressed button away from the mouse: shrunk by 1, face frame
    int shift = 0;                // image and text move this far right and down
};
ButtonLook ToolButtonLook(bool checkedOrPressed, bool hot, bool enabled);

}  // namespace bars
