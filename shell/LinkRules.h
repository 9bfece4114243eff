#pragma once
// The hyperlink's rules, free of windows: fitting the control to its text, the error
// texts of a failed opening, and the browser command made from a desktop handler.

#include <string>
#include <vector>

#include "platform/paint/Geometry.h"

// Styles of a static text that decide how a fitted link keeps its place.
enum : unsigned {
    SS_CENTER = 0x1,
    SS_RIGHT = 0x2,
    SS_CENTERIMAGE = 0x200,
};

// rect (in the parent) fitted to a text of textWidth x textHeight: a right-aligned link
// keeps its right edge, a centred one its centre, a vertically centred one its middle.
CRect FitLinkRect(CRect rect, int textWidth, int textHeight, unsigned style);

// Results of an opening, as the classic shell counts them: above 32 is success.
enum : int {
    LINK_OK = 33,
    LINK_FILE_NOT_FOUND = 2,
    LINK_NO_ASSOCIATION = 31,
};

// The text for a failed result; "Unknown Error (r) occurred." for any other.
std::string LinkErrorText(int result);
// The whole box: "Unable to open hyperlink:", an empty line, then the text.
std::string LinkErrorMessage(int result);

// A desktop entry's Exec line with its file or URL field code (%u, %U, %f or %F, in
// double quotes or not) written as "%1", the other field codes left out.
std::string ExecLineAsCommand(const std::string& exec);

// command cut where its "%1" stands (at the opening double quote when it is quoted);
// the whole command without one.
std::string CutAtPlaceholder(const std::string& command);

// The command that opens url: the registered command cut where its "%1" stands (at the
// opening double quote when it is quoted), then a blank and the url.
std::string BrowserCommand(const std::string& command, const std::string& url);

// A command line split into its words, double quotes grouping, as a desktop's Exec line.
std::vector<std::string> SplitCommandLine(const std::string& command);
