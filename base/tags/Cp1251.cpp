#include "tags/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace {

// Converts through glibc's iconv; an input byte sequence it cannot convert is passed
// over and replaced.
std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement)
{
    std::string out;
    if (in.empty())
        return out;
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return std::string(in);
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char buf[1024];
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof buf;
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, size_t(dst - buf));
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: one unconvertible character (a UTF-8 sequence, or one byte).
            size_t skip = 1;
            if (std::string_view(from) == "UTF-8") {
                const unsigned char lead = static_cast<unsigned char>(*src);
                skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                skip = std::min(skip, left);
            }
            src += skip;
            left -= skip;
            out += replacement;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8)
{
    return Convert("CP1251", "UTF-8", utf8, "?");
}

std::string Cp1251ToUtf8(std::string_view bytes)
{
    return Convert("UTF-8", "CP1251", bytes, "\xEF\xBF\xBD");
}
