#include "tiff/LZWDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

CLZWDecoder::CLZWDecoder() : m_table(new Entry[kTableSize])
{
    for (int i = 0; i < kTableSize; ++i)
        m_table[i] = Entry{0, 1, static_cast<unsigned char>(i < 256 ? i : 0), 0};
}

// An entry's string is copied from where it was written. The copy runs forward:
// a string that overlaps its own source (a code used in the step that makes it)
// reads the bytes it has just written, as it should. The decoding loop keeps
// next and the previous string in locals, which stores of output bytes cannot
// alias.
std::int64_t CLZWDecoder::DecodeStrip(const unsigned char* data, std::size_t bytes, unsigned char* out,
                                      std::size_t need, std::string* why)
{
    auto damage = [&](const char* text) -> std::int64_t {
        if (why)
            *why = text;
        return -1;
    };
    // Entries hold 32-bit output positions.
    if (need > std::size_t(UINT32_MAX))
        need = std::size_t(UINT32_MAX);
    LZWCodeReader reader(data, bytes);
    reader.Seek(0, 0, 9);
    Entry* const table = m_table.get();
    int next = kFirstFree;
    bool afterClear = true;     // the next code must be a literal
    std::size_t prevAt = 0;     // where the previous string was written; it ends at done
    unsigned char prevFirst = 0;
    std::size_t done = 0;
    while (done < need) {
        const int code = reader.ReadCode();
        if (code < 0)
            return m_next = next, damage("the LZW codes run past the end of the strip");
        if (code == kEnd)
            break;
        if (code == kClear) {
            next = kFirstFree;
            reader.SetWidth(9);
            afterClear = true;
            continue;
        }
        if (afterClear) {
            if (code > 255)
                return m_next = next, damage("an LZW string does not begin with a literal code");
            afterClear = false;
            prevAt = done;
            prevFirst = static_cast<unsigned char>(code);
            out[done++] = prevFirst;
            continue;
        }
        unsigned char first;
        if (code < next)
            first = table[code].first;
        else if (code == next && next < kTableSize)
            first = prevFirst;  // the previous string and its own first byte
        else
            return m_next = next, damage("an LZW code lies above the next free code");
        // The previous string followed by first: a full table takes no more until
        // the next Clear; entries 510, 1022 and 2046 make the codes a bit wider.
        if (next < kTableSize) {
            table[next] = Entry{static_cast<std::uint32_t>(prevAt), static_cast<std::uint16_t>(done - prevAt + 1),
                                prevFirst, 0};
            ++next;
            if (next == 511 || next == 1023 || next == 2047)
                reader.Widen();
        }
        prevAt = done;
        prevFirst = first;
        if (code < 256) {
            out[done++] = static_cast<unsigned char>(code);
            continue;
        }
        const Entry e = table[code];
        const std::size_t length = e.length;
        const unsigned char* src = out + e.at;
        unsigned char* dst = out + done;
        if (done + length + 8 <= need && done - e.at >= 8) {
            // Eight bytes a step; the last step may write past the string, never
            // past the output, and what it writes there is written again later.
            for (std::size_t k = 0; k < length; k += 8)
                std::memcpy(dst + k, src + k, 8);
            done += length;
        } else {
            // Near the end of what the strip needs, or overlapping closely:
            // byte by byte, and only up to need.
            const std::size_t n = std::min(length, need - done);
            for (std::size_t k = 0; k < n; ++k)
                dst[k] = src[k];
            done += n;
        }
    }
    m_next = next;
    return std::int64_t(done);
}
