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
    Entry* const table = m_table.get();
    int next = kFirstFree;
    int prev = -1;  // none: the next code must be a literal
    std::size_t done = 0;
    unsigned char spill[kTableSize];
    while (done < need) {
        const int code = reader.ReadCode();
        if (code < 0)
            return m_next = next, damage("the LZW codes run past the end of the strip");
        if (code == kEnd)
            break;
        if (code == kClear) {
            next = kFirstFree;
            reader.SetWidth(9);
            prev = -1;
            continue;
        }
        if (prev < 0) {
            if (code > 255)
                return m_next = next, damage("an LZW string does not begin with a literal code");
            out[done++] = static_cast<unsigned char>(code);
            prev = code;
            continue;
        }
        int length;
        unsigned char first;
        if (code < next) {
            length = table[code].length;
            first = table[code].first;
        } else if (code == next && next < kTableSize) {
            // The string of prev and its own first byte, not in the table yet.
            length = table[prev].length + 1;
            first = table[prev].first;
        } else {
            return m_next = next, damage("an LZW code lies above the next free code");
        }
        if (Store(table, next, prev, first))
            reader.Widen();
        if (length == 1) {
            out[done++] = static_cast<unsigned char>(code);
        } else {
            // The string goes straight to the output, or through a spill buffer
            // when it reaches past what the strip needs.
            unsigned char* dst = done + std::size_t(length) <= need ? out + done : spill;
            unsigned char* q = dst + length - 1;
            int c = code;
            while (c >= kFirstFree) {
                *q-- = table[c].last;
                c = table[c].prefix;
            }
            *q = static_cast<unsigned char>(c);
            if (dst == spill) {
                std::memcpy(out + done, spill, need - done);
                done = need;
            } else {
                done += std::size_t(length);
            }
        }
        prev = code;
    }
    m_next = next;
    return std::int64_t(done);
}
