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
            if (m_end - m_p >= 8) {
                // Whole bytes up to 56 bits held: one load for several codes.
                std::uint64_t next = 0;
                for (int i = 0; i < 8; ++i)
                    next = next << 8 | m_p[i];
                const int bytes = (63 - m_have) / 8;
                m_buf = (m_buf << (8 * bytes)) | (next >> (64 - 8 * bytes));
                m_p += bytes;
                m_have += 8 * bytes;
            } else if (m_end - m_p >= 4) {
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

// The string table. Every string past the literals has been written to the
// strip's output before (its prefix's string, then the first byte of the code
// that followed), so an entry is where it lies there, its length and its first
// byte.
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

    // Decodes one strip into out, which takes need bytes: the strip starts as after
    // a Clear and ends at End of information or once need bytes are there.
    // Answers the bytes written, or -1 with why for damage: a code above the next
    // free code, a first code that is not a literal, or codes past the strip.
    std::int64_t DecodeStrip(const unsigned char* data, std::size_t bytes, unsigned char* out, std::size_t need,
                             std::string* why);

private:
    struct Entry {
        std::uint32_t at;  // where DecodeStrip wrote the string in its output
        std::uint16_t length;
        unsigned char first;
        unsigned char unused;
    };

    std::unique_ptr<Entry[]> m_table;
    int m_next = kFirstFree;
};
