#include "dialogs/ToolDialogMath.h"

#include <cctype>
#include <charconv>

#include "controls/DisEditFilter.h"

std::optional<int> ParseDialogInt(const std::string& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    if (begin < end && text[begin] == '+') {
        ++begin;
        if (begin < end && text[begin] == '-')
            return std::nullopt;
    }
    int value = 0;
    const auto r = std::from_chars(text.data() + begin, text.data() + end, value, 10);
    if (begin == end || r.ec != std::errc() || r.ptr != text.data() + end)
        return std::nullopt;
    return value;
}

std::string LevelLabel(const std::string& name, int level)
{
    return name + ": " + std::to_string(level);
}

PaletteCommit CommitPaletteText(const std::string& text)
{
    // Read as atoi reads, but a long number saturates instead of wrapping.
    int n = disedit::ReadInt(text);
    PaletteCommit out;
    if (n > 255) {
        n = 255;
        out.corrected = "255";
    } else if (n < 0) {
        n = 0;
        out.corrected = "0";
    }
    out.value = static_cast<unsigned char>(n);
    return out;
}
