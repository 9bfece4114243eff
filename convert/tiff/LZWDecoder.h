#pragma once
// TIFF LZW decoding: codes stored most significant bit first, 9 to 12 bits wide,
// the width growing one code early; 256 is Clear, 257 End of information.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Reads codes from one strip's bytes through a bit buffer refilled four bytes at
// a time; a code that would reach past the strip is refused.
class LZWCodeReader final {
public:
    // data must stay valid; nothing past bytes is read.
    LZWCodeReader(const unsigned char* data, std::size_t bytes) : m_data(data), m_p(data), m_end(data + bytes) {}

    void Seek(std::size_t bytePos, int bit, int width)
    {
        m_p = m_data + std::min<std::size_t>(bytePos, std::size_t(m_end - m_data));
        m_buf = 0;
        m_have = 0;
        m_width = width;
        if (bit > 0 && m_p < m_end) {
            m_buf = *m_p++;
            m_have = 8 - bit;
        }
    }
    // The next code, or -1 when its bits reach past the strip.
    int ReadCode()
    {
        if (m_have < m_width) {
            if (m_end - m_p >= 4) {
                m_buf = (m_buf << 32) | std::uint32_t(m_p[0]) << 24 | std::uint32_t(m_p[1]) << 16 |
                        std::uint32_t(m_p[2]) << 8 | m_p[3];
                m_p += 4;
                m_have += 32;
            } else {
                while (m_have < m_width && m_p < m_end) {
                    m_buf = (m_buf << 8) | *m_p++;
                    m_have += 8;
                }
                if (m_have < m_width)
                    return -1;
            }
        }
        m_have -= m_width;
        return int((m_buf >> m_have) & ((1u << m_width) - 1));
    }
    void SetWidth(int width) { m_width = width; }
    void Widen() { ++m_width; }
    int Width() const { return m_width; }

private:
    const unsigned char* m_data;
    const unsigned char* m_p;
    const unsigned char* m_end;
    std::uint64_t m_buf = 0;  // the low m_have bits are unread
    int m_have = 0;
    int m_width = 9;
};

// The string table: each entry is its prefix code and last byte, so a string is
// written from its end back to its first byte.
class CLZWDecoder final {
public:
    static constexpr int kClear = 256;
    static constexpr int kEnd = 257;
    static constexpr int kFirstFree = 258;
    static constexpr int kTableSize = 4096;

    // Allocates the table (std::bad_alloc when it cannot).
    CLZWDecoder();
    // Holds its table alone: moved, never copied.
    CLZWDecoder(const CLZWDecoder&) = delete;
    CLZWDecoder& operator=(const CLZWDecoder&) = delete;
    CLZWDecoder(CLZWDecoder&&) = default;
    CLZWDecoder& operator=(CLZWDecoder&&) = default;

    void Reset() { m_next = kFirstFree; }
    bool IsKnown(int code) const { return code < m_next; }
    int NextFree() const { return m_next; }
    // Writes the string of a known code to out; returns its length.
    int GetString(int code, unsigned char* out) const;
    // Adds the string of prev followed by byte while the table has room (a full
    // table takes no more until the next Clear); true when the codes that follow
    // are a bit wider (entries 510, 1022 and 2046 stored).
    bool AddString(int prev, unsigned char byte) { return Store(m_table.get(), m_next, prev, byte, 0); }

    // Decodes one strip into out, which takes need bytes: the strip starts as after
    // a Clear and ends at End of information or once need bytes are there.
    // Answers the bytes written, or -1 with why for damage: a code above the next
    // free code, a first code that is not a literal, or codes past the strip.
    std::int64_t DecodeStrip(const unsigned char* data, std::size_t bytes, unsigned char* out, std::size_t need,
                             std::string* why);

private:
    struct Entry {
        std::uint16_t prefix;
        std::uint16_t length;
        unsigned char last;
        unsigned char first;
        std::uint32_t at;  // where DecodeStrip wrote the string in its output
    };
    // The one way an entry is added; the decoding loop keeps next in a local,
    // which stores of output bytes cannot alias. at: where the string of prev
    // followed by byte lies in DecodeStrip's output.
    static bool Store(Entry* table, int& next, int prev, unsigned char byte, std::size_t at)
    {
        if (next >= kTableSize)
            return false;
        const Entry& p = table[prev];
        table[next] = Entry{static_cast<std::uint16_t>(prev), static_cast<std::uint16_t>(p.length + 1), byte, p.first,
                            static_cast<std::uint32_t>(at)};
        ++next;
        return next == 511 || next == 1023 || next == 2047;
    }

    std::unique_ptr<Entry[]> m_table;
    int m_next = kFirstFree;
};
