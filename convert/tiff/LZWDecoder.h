#pragma once
// TIFF LZW decoding: codes stored most significant bit first, 9 to 12 bits wide,
// the width growing one code early; 256 is Clear, 257 End of information.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Reads codes from one strip's bytes; a code that would reach past them is refused.
class LZWCodeReader final {
public:
    // data must stay valid; it is read a byte at a time, never past bytes.
    LZWCodeReader(const unsigned char* data, std::size_t bytes) : m_data(data), m_bits(std::uint64_t(bytes) * 8) {}

    void Seek(std::size_t bytePos, int bit, int width)
    {
        m_pos = std::uint64_t(bytePos) * 8 + unsigned(bit);
        m_width = width;
    }
    // The next code, or -1 when its bits reach past the strip.
    int ReadCode()
    {
        if (m_pos + unsigned(m_width) > m_bits)
            return -1;
        const std::size_t byte = std::size_t(m_pos >> 3);
        // Up to three bytes hold a code of at most 12 bits at any bit offset.
        std::uint32_t window = std::uint32_t(m_data[byte]) << 16;
        if (byte + 1 < m_bits / 8)
            window |= std::uint32_t(m_data[byte + 1]) << 8;
        if (byte + 2 < m_bits / 8)
            window |= m_data[byte + 2];
        const int shift = 24 - int(m_pos & 7) - m_width;
        m_pos += unsigned(m_width);
        return int((window >> shift) & ((1u << m_width) - 1));
    }
    void SetWidth(int width) { m_width = width; }
    void Widen() { ++m_width; }
    int Width() const { return m_width; }

private:
    const unsigned char* m_data;
    std::uint64_t m_bits;
    std::uint64_t m_pos = 0;
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
    // Adds the string of prev followed by byte, while the table has room; returns
    // the code width that the next code is read with (growing at 510, 1022, 2046).
    int AddString(int prev, unsigned char byte, int width);

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
    };
    std::unique_ptr<Entry[]> m_table;
    int m_next = kFirstFree;
};
