#pragma once
// Dialogs as tables of controls in dialog units. A dialog unit is a quarter of the
// dialog font's average character width across and an eighth of its height down.

#include <cstddef>

class QFont;

namespace plat {

enum class ControlKind {
    PushButton,
    Static,        // a text line
    ProgressBar,   // painted by its owner (a CustomControl)
    Edit,          // a one-line edit field; its text changes reach OnChanged
    IconButton,    // a push button showing an icon (SetButtonIcon)
    RadioButton,   // a group runs from a CS_GROUP radio (or the first after another kind) to the next
    GroupBox,      // a titled frame; the controls over it are its siblings
    DropDownList,  // a combo box without an edit; cy is the height of the dropped list; the
                   // row's text holds its items, one a line
    TabControl,    // a row of tabs over a frame; panes lie over it as siblings
    CheckBox,      // an automatic check box: a click turns it on or off, then reaches OnClicked
    SizeGrip,      // the size box in a corner: dragging it resizes the window
};

// The id of controls that are never looked up (labels, frames).
inline constexpr unsigned IDC_STATIC = 0xFFFF;

// Style flags of a control row.
enum ControlStyle : unsigned {
    CS_NONE = 0,
    CS_HIDDEN = 0x1,     // not visible at creation
    CS_BORDER = 0x2,     // thin line border
    CS_SUNKEN = 0x4,     // sunken edge
    CS_READONLY = 0x8,   // edit: read-only
    CS_DISABLED = 0x10,  // disabled at creation
    CS_GROUP = 0x20,     // radio: starts a group
    CS_NOBORDER = 0x40,  // edit: no frame
};

struct ControlTemplate {
    unsigned id;
    ControlKind kind;
    int x, y, cx, cy;  // dialog units
    const char* text;  // UTF-8; may be null
    unsigned style;    // ControlStyle flags
};

// The widest text the program writes into a control at run time: the dialog makes room
// for it as for the template's own texts.
struct ControlSample {
    unsigned id;
    const char* text;  // UTF-8
};

struct DialogTemplate {
    unsigned id;
    const char* caption;  // may be null
    const char* fontName;
    int fontPoints;
    int cx, cy;  // client size in dialog units
    const ControlTemplate* controls;
    std::size_t count;
    const ControlSample* samples = nullptr;
    std::size_t sampleCount = 0;
};

// Pixels per 4 horizontal and per 8 vertical dialog units for a font. A font other
// than the one a template was laid out for may need more room across than its average
// character gives: x64 then holds the pixels per 64 units across.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
    int x64 = 0;  // 0: 16 * x

    static DialogBaseUnits ForFont(const QFont& font);
    // At least wide enough that pixels fit into units across.
    void WidenFor(int pixels, int units);
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
};

// Pixels a window's width must have for its caption bar to show title whole in font:
// the text and room for the bar's icon and buttons.
int CaptionWidthNeeded(const QFont& font, const char* title);

}  // namespace plat
