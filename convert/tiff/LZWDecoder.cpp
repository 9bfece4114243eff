#include "tiff/LZWDecoder.h"

#include <cstring>

CLZWDecoder::CLZWDecoder() : m_table(new Entry[kTableSize])
{
    for (int i = 0; i < kTableSize; ++i)
        m_table[i] = Entry{0, 0, 0, 0};
    for (int i = 0; i < 256; ++i)
        m_table[i] = Entry{0, 1, static_cast<unsigned char>(i), static_cast<unsigned char>(i)};
    m_table[kClear].length = 1;
    m_table[kEnd].length = 1;
}

int CLZWDecoder::GetString(int code, unsigned char* out) const
{
    const int length = m_table[code].length;
    unsigned char* p = out + length - 1;
    while (code >= kFirstFree) {
        *p-- = m_table[code].last;
        code = m_table[code].prefix;
    }
    *p = static_cast<unsigned char>(code);
    return length;
}

int CLZWDecoder::AddString(int prev, unsigned char byte, int width)
{
    // A full table takes no more strings until the next Clear.
    if (m_next >= kTableSize)
        return width;
    if (m_next == 510 || m_next == 1022 || m_next == 2046)
        ++width;
    const Entry& p = m_table[prev];
    m_table[m_next] = Entry{static_cast<std::uint16_t>(prev), static_cast<std::uint16_t>(p.length + 1), byte, p.first};
    ++m_next;
    return width;
}

std::int64_t CLZWDecoder::DecodeStrip(const unsigned char* data, std::size_t bytes, unsigned char* out,
                                      std::size_t need, std::string* why)
{
    auto damage = [&](const char* text) -> std::int64_t {
        if (why)
            *why = text;
        return -1;
    };
    LZWCodeReader reader(data, bytes);
    reader.Seek(0, 0, 9);
    Reset();
    int width = 9;
    int prev = -1;  // none: the next code must be a literal
    std::size_t done = 0;
    unsigned char spill[kTableSize];
    while (done < need) {
        const int code = reader.ReadCode();
        if (code < 0)
            return damage("the LZW codes run past the end of the strip");
        if (code == kEnd)
            break;
        if (code == kClear) {
            Reset();
            width = 9;
            reader.SetWidth(width);
            prev = -1;
            continue;
        }
        if (prev < 0) {
            if (code > 255)
                return damage("an LZW string does not begin with a literal code");
            out[done++] = static_cast<unsigned char>(code);
            prev = code;
            continue;
        }
        const Entry* table = m_table.get();
        int length;
        unsigned char first;
        if (code < m_next) {
            length = table[code].length;
            first = table[code].first;
        } else if (code == m_next && m_next < kTableSize) {
            // The string of prev and its own first byte, not in the table yet.
            length = table[prev].length + 1;
            first = table[prev].first;
        } else {
            return damage("an LZW code lies above the next free code");
        }
        width = AddString(prev, first, width);
        reader.SetWidth(width);
        // The string goes straight to the output, or through a spill buffer when
        // it reaches past what the strip needs.
        unsigned char* dst = done + std::size_t(length) <= need ? out + done : spill;
        unsigned char* p = dst + length - 1;
        int c = code;
        while (c >= kFirstFree) {
            *p-- = table[c].last;
            c = table[c].prefix;
        }
        *p = static_cast<unsigned char>(c);
        if (dst == spill) {
            std::memcpy(out + done, spill, need - done);
            done = need;
        } else {
            done += std::size_t(length);
        }
        prev = code;
    }
    return std::int64_t(done);
}
