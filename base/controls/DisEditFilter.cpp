#include "controls/DisEditFilter.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

namespace disedit {

namespace {

bool IsDigit(char16_t ch)
{
    return ch >= u'0' && ch <= u'9';
}

bool IsSpace(char16_t ch)
{
    return ch == u' ' || (ch >= u'\t' && ch <= u'\r');
}

bool IsPasswordChar(char16_t ch)
{
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || IsDigit(ch) || ch == u'_';
}

bool IsRealChar(char16_t ch)
{
    return IsDigit(ch) || ch == u'.';
}

std::u16string Widen(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

// The longest prefix of t made of characters that pass keep.
template <class Keep>
std::u16string Prefix(const std::u16string& t, Keep keep)
{
    std::size_t i = 0;
    while (i < t.size() && keep(t[i]))
        ++i;
    return t.substr(0, i);
}

// The first limit characters, without splitting a surrogate pair.
std::u16string Cut(const std::u16string& t, int limit)
{
    std::size_t n = std::size_t(limit);
    if (n < t.size() && n > 0 && t[n - 1] >= 0xD800 && t[n - 1] < 0xDC00)
        --n;
    return t.substr(0, n);
}

// Each run of digits kept as its text without leading zeros, the runs found as "%d%s"
// reads a number and the word after it, again and again.
std::u16string IntegerRuns(const std::u16string& t)
{
    std::u16string rest = t, out;
    for (;;) {
        const auto first = std::find_if(rest.begin(), rest.end(), IsDigit);
        if (first == rest.end())
            break;
        auto end = std::find_if_not(first, rest.end(), IsDigit);
        auto lead = first;
        while (lead + 1 < end && *lead == u'0')
            ++lead;
        out.append(lead, end);
        auto wordBegin = std::find_if_not(end, rest.end(), IsSpace);
        auto wordEnd = std::find_if(wordBegin, rest.end(), IsSpace);
        rest = std::u16string(wordBegin, wordEnd);
        if (rest.empty())
            break;
    }
    return out;
}

// The part of s after the first '.', ',' or '/'; all of s when there is none.
std::u16string AfterSeparator(const std::u16string& s)
{
    const std::size_t at = s.find_first_of(u".,/");
    return at == std::u16string::npos ? s : s.substr(at + 1);
}

std::u16string TwoDigits(int v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2d", v);
    return Widen(buf);
}

}  // namespace

int ReadInt(const std::u16string& text)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    if (i >= text.size() || !IsDigit(text[i]))
        return 0;
    long long v = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        v = v * 10 + (text[i] - u'0');
        if (v > 1LL + INT_MAX)
            v = 1LL + INT_MAX;
    }
    if (negative)
        v = -v;
    return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

int ReadInt(const std::string& text)
{
    return ReadInt(Widen(text));
}

double ReadDouble(const std::u16string& text)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    std::string ascii;
    for (; i < text.size() && text[i] < 0x80; ++i)
        ascii.push_back(char(text[i]));
    const char* begin = ascii.c_str();
    const char* end = begin + ascii.size();
    bool negative = false;
    if (begin < end && (*begin == '+' || *begin == '-')) {
        negative = *begin == '-';
        ++begin;
    }
    // Signs were taken above: a second one is no number.
    if (begin < end && (*begin == '+' || *begin == '-'))
        return 0.0;
    double v = 0.0;
    const auto parsed = std::from_chars(begin, end, v, std::chars_format::general);
    if (parsed.ec != std::errc() || !std::isfinite(v))
        return 0.0;
    return negative ? -v : v;
}

std::string FormatDouble(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

int DateCaret(int pos)
{
    return pos == 2 ? 3 : pos == 5 ? 8 : pos == 10 ? 9 : pos;
}

int DateFocusCaret(int pos)
{
    return pos == 2 ? 3 : pos == 5 ? 6 : pos == 10 ? 9 : pos;
}

int DateKeyCaret(int c0, int c1)
{
    if (c1 == 2 || c1 == 5)
        return DateCaret(2 * c1 - c0);
    if (c1 == 10)
        return 9;
    return c1;
}

DateCheck CheckDate(const std::u16string& text)
{
    DateCheck out;
    if (text.empty()) {
        out.text = kEmptyDate;
        return out;
    }
    std::u16string s = text;
    int day = ReadInt(s);
    if (day < 1 || day > 31) {
        if (day < 0 || day > 39)
            out.boxes.push_back(IDS_BAD_DAY);
        day = day <= 0 ? 1 : 31;
        out.valid = false;
    }
    s = AfterSeparator(s);
    int month = ReadInt(s);
    if (month < 1 || month > 12) {
        if (month < 0 || month > 19)
            out.boxes.push_back(IDS_BAD_MONTH);
        month = std::clamp(month, 1, 12);
        out.valid = false;
    }
    if (month == 2 && day > 29) {
        day = 29;
        out.valid = false;
    }
    if ((month == 4 || month == 6 || month == 9 || month == 11) && day == 31) {
        day = 30;
        out.valid = false;
    }
    s = AfterSeparator(s);
    int year = ReadInt(s);
    if (year < 0 || year > 9999) {
        out.boxes.push_back(IDS_BAD_YEAR);
        year = 1900;
        out.valid = false;
    }
    // A short year is filled with zeros on the right: 19 reads 1900.
    const std::u16string full = TwoDigits(day) + u"." + TwoDigits(month) + u"." + Widen(std::to_string(year)) + u"0000";
    out.text = full.substr(0, 10);
    return out;
}

FilterResult FilterChange(const FilterInput& in)
{
    FilterResult out;
    std::u16string t = in.text;
    int c = std::clamp(in.caret, 0, int(t.size()));
    const auto finish = [&](std::u16string text, int caret, std::u16string value) {
        out.text = std::move(text);
        out.caret = std::clamp(caret, 0, int(out.text.size()));
        out.value = std::move(value);
        return out;
    };

    if (in.password) {
        std::u16string clean;
        int removed = 0;
        for (char16_t ch : t) {
            if (IsPasswordChar(ch))
                clean.push_back(ch);
            else
                ++removed;
        }
        return finish(clean, removed ? c - removed : c, clean);
    }

    const int mode = in.mode == MODE_DISPLAY_DEFAULT ? MODE_DISPLAY : in.mode;
    if (mode >= MODE_TEXT && mode <= MODE_REAL && in.limit > 0 && int(t.size()) > in.limit) {
        t = Cut(t, in.limit);
        c = std::min(c, int(t.size()));
    }
    const int n = int(t.size());

    switch (mode) {
    case MODE_INTEGER: {
        if (std::all_of(t.begin(), t.end(), IsDigit))
            return finish(t, c, t);
        const std::u16string digits = IntegerRuns(t);
        return finish(digits, c - 1, digits);
    }
    case MODE_REAL: {
        const std::u16string u = Prefix(t, IsRealChar);
        if (u == t)
            return finish(t, c, t);
        if (c == n) {
            const double v = ReadDouble(t);
            const std::u16string shown = v == 0.0 ? std::u16string() : Widen(FormatDouble(v));
            return finish(shown, c - 1, shown);
        }
        const std::u16string after = t.substr(u.size());
        const std::size_t at = after.find_first_of(u"-.0123456789");
        const std::u16string joined = at == std::u16string::npos ? u : u + after.substr(at);
        const std::u16string kept = Prefix(joined, IsRealChar);
        return finish(kept, c - 1, kept);
    }
    case MODE_DATE: {
        if (c != 0 && n >= 10 && c < n)
            t.erase(std::size_t(c), 1);
        if (in.dotRestore)
            t.insert(std::size_t(std::min(c, int(t.size()))), 1, u'.');
        DateCheck check = CheckDate(t);
        out.boxes = check.boxes;
        // The stored value follows the corrected text, not the text before the check.
        return finish(check.text, DateCaret(c), check.text);
    }
    default:
        return finish(t, c, t);
    }
}

}  // namespace disedit
