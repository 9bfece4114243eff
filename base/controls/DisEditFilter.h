#pragma once
// The typed edit field's rules without a window: what a change of its text leaves in
// it, the date check and where the caret goes. Texts are UTF-16, as the field holds
// them, so carets are positions in them.

#include <string>
#include <vector>

namespace disedit {

enum Mode : int {
    MODE_DISPLAY = 0,
    MODE_TEXT = 1,
    MODE_INTEGER = 2,
    MODE_REAL = 3,
    MODE_DATE = 4,
    MODE_DISPLAY_DEFAULT = 5,  // display state with the system's own greyed painting
};

// Strings of the date check's boxes.
enum DateMessage : unsigned {
    IDS_BAD_DAY = 5019,
    IDS_BAD_MONTH = 5020,
    IDS_BAD_YEAR = 5021,
};

inline constexpr const char* kDateCaption = "ДАТА";
inline constexpr const char16_t* kEmptyDate = u"01.01.1900";

struct FilterInput {
    std::u16string text;  // the field's text after the change
    int caret = 0;
    int mode = MODE_TEXT;
    int limit = 0;  // characters; 0 = none
    bool password = false;
    bool dotRestore = false;  // date: a dot was about to be removed
};

struct FilterResult {
    std::u16string text;   // what the field shows afterwards
    int caret = 0;         // within text
    std::u16string value;  // what the field stores
    std::vector<unsigned> boxes;  // date messages to show, in order
};

// The change filter: the field after a change of its text.
FilterResult FilterChange(const FilterInput& in);

struct DateCheck {
    std::u16string text;  // the date in its fixed form
    bool valid = true;    // nothing had to be corrected
    std::vector<unsigned> boxes;
};

// Day, month and year read from text, corrected and written day.month.year.
DateCheck CheckDate(const std::u16string& text);

// Where a caret set in a date goes: 2 to 3, 5 to 8, 10 to 9.
int DateCaret(int pos);
// Where the caret goes when a date field gets the focus or a click: 2 to 3, 5 to 6, 10 to 9.
int DateFocusCaret(int pos);
// After a key moved a date caret from c0 to c1: the caret it jumps to (c1 when none).
int DateKeyCaret(int c0, int c1);

// An integer read as "%d" reads it, 0 when the text does not start with one; beyond
// the int range it saturates.
int ReadInt(const std::u16string& text);
int ReadInt(const std::string& text);
// A real read as "%lg" reads it in the C locale; 0 when the text does not start with a
// finite number.
double ReadDouble(const std::u16string& text);
// "%lg" of v, in the C locale.
std::string FormatDouble(double v);

}  // namespace disedit
