#include "LinkRules.h"

#include <cstdio>

CRect FitLinkRect(CRect r, int textWidth, int textHeight, unsigned style)
{
    if (style & SS_CENTERIMAGE) {
        const int shrink = (r.Height() - textHeight) / 2;
        r.top += shrink;
        r.bottom = r.top + textHeight;
    } else {
        r.bottom = r.top + textHeight;
    }
    if (style & SS_CENTER) {
        const int shrink = (r.Width() - textWidth) / 2;
        r.left += shrink;
        r.right = r.left + textWidth;
    } else if (style & SS_RIGHT) {
        r.left = r.right - textWidth;
    } else {
        r.right = r.left + textWidth;
    }
    return r;
}

namespace {

struct LinkError {
    int result;
    const char* text;
};

const LinkError kLinkErrors[] = {
    {0, "The operating system is out\nof memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied\naccess to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred. "},
    {27, "The filename association is\nincomplete or invalid."},
    {28, "The DDE transaction could not\nbe completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
    {31, "There is no application associated\nwith the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
};

}  // namespace

std::string LinkErrorText(int result)
{
    for (const LinkError& e : kLinkErrors)
        if (e.result == result)
            return e.text;
    char text[64];
    std::snprintf(text, sizeof text, "Unknown Error (%d) occurred.", result);
    return text;
}

std::string LinkErrorMessage(int result)
{
    return "Unable to open hyperlink:\n\n" + LinkErrorText(result);
}

std::string ExecLineAsCommand(const std::string& exec)
{
    std::string out;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != '%' || i + 1 == exec.size()) {
            out += exec[i];
            continue;
        }
        const char code = exec[++i];
        if (code == 'u' || code == 'U' || code == 'f' || code == 'F')
            out += "%1";
        else if (code == '%')
            out += '%';
        // other field codes (%i, %c, %k ...) stand for nothing here
    }
    return out;
}

std::string CutAtPlaceholder(const std::string& command)
{
    std::size_t at = command.find("\"%1\"");
    if (at == std::string::npos)
        at = command.find("%1");
    return at == std::string::npos ? command : command.substr(0, at);
}

std::string BrowserCommand(const std::string& command, const std::string& url)
{
    // Grown as needed: the command and the url may be as long as they are.
    std::string out = CutAtPlaceholder(command);
    out += ' ';
    out += url;
    return out;
}

std::vector<std::string> SplitCommandLine(const std::string& command)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (quoted) {
            if (c == '\\' && i + 1 < command.size() &&
                (command[i + 1] == '"' || command[i + 1] == '\\' || command[i + 1] == '`' || command[i + 1] == '$'))
                word += command[++i];
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}
