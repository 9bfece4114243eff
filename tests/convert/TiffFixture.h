#pragma once
// Small TIFF files made by the tests: a builder for directories and strips in
// either byte order (hostile ones included), a TIFF LZW encoder, and helpers to
// run the outside tools that write and read TIFF.

#include "Command.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace tifftest {

using Bytes = std::vector<unsigned char>;

// Codes written most significant bit first, as TIFF LZW stores them.
class BitWriter {
public:
    void Put(int code, int width)
    {
        for (int b = width - 1; b >= 0; --b) {
            if (m_bit == 0)
                m_out.push_back(0);
            if ((code >> b) & 1)
                m_out.back() |= static_cast<unsigned char>(0x80 >> m_bit);
            m_bit = (m_bit + 1) & 7;
        }
    }
    Bytes Take() { return std::move(m_out); }

private:
    Bytes m_out;
    int m_bit = 0;
};

// A TIFF LZW encoder as common writers work: Clear first, the width growing
// after entries 511, 1023 and 2047, Clear when the table is full, End last.
// clearAt: input positions at which a Clear is sent in the middle of the data.
inline Bytes LzwEncode(const Bytes& in, const std::vector<std::size_t>& clearAt = {}, bool end = true)
{
    BitWriter out;
    std::unordered_map<std::uint32_t, int> dict;
    int width = 9, next = 258, w = -1;
    auto reset = [&] {
        dict.clear();
        width = 9;
        next = 258;
    };
    auto grow = [&] {
        ++next;
        if (next == 4094) {
            out.Put(256, width);
            reset();
        } else if (next > (1 << width) - 1) {
            ++width;
        }
    };
    out.Put(256, 9);
    std::size_t clearIndex = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (clearIndex < clearAt.size() && clearAt[clearIndex] == i) {
            ++clearIndex;
            if (w >= 0) {
                out.Put(w, width);
                grow();
            }
            out.Put(256, width);
            reset();
            w = -1;
        }
        const int c = in[i];
        if (w < 0) {
            w = c;
            continue;
        }
        const std::uint32_t key = std::uint32_t(w) << 8 | std::uint32_t(c);
        auto it = dict.find(key);
        if (it != dict.end()) {
            w = it->second;
            continue;
        }
        out.Put(w, width);
        dict[key] = next;
        grow();
        w = c;
    }
    if (w >= 0) {
        out.Put(w, width);
        grow();
    }
    if (end)
        out.Put(257, width);
    return out.Take();
}

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::vector<std::uint32_t> values;
    // Hostile entries give count and value field as they stand.
    bool raw = false;
    std::uint32_t rawCount = 0;
    std::uint32_t rawValue = 0;
};

// Builds a TIFF: header, data blocks, out-of-line values, then the directory.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : m_big(bigEndian) { m_file.resize(8); }

    // Appends bytes to the file; answers their offset.
    std::uint32_t Data(const Bytes& bytes)
    {
        const auto at = std::uint32_t(m_file.size());
        m_file.insert(m_file.end(), bytes.begin(), bytes.end());
        if (m_file.size() & 1)
            m_file.push_back(0);
        return at;
    }
    void Add(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values)
    {
        m_entries.push_back({tag, type, std::move(values)});
    }
    void Short(std::uint16_t tag, std::uint32_t v) { Add(tag, 3, {v}); }
    void Long(std::uint16_t tag, std::uint32_t v) { Add(tag, 4, {v}); }
    void Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value)
    {
        Entry e{tag, type, {}};
        e.raw = true;
        e.rawCount = count;
        e.rawValue = value;
        m_entries.push_back(e);
    }
    // The usual tags of a width x height image of the given samples in strips.
    void Image(std::uint32_t width, std::uint32_t height, std::vector<std::uint32_t> bits, std::uint32_t compression,
               std::uint32_t photometric, std::uint32_t rowsPerStrip, const std::vector<Bytes>& strips)
    {
        Long(256, width);
        Long(257, height);
        const auto samples = std::uint32_t(bits.size());
        Add(258, 3, std::move(bits));
        Short(259, compression);
        Short(262, photometric);
        std::vector<std::uint32_t> offsets, counts;
        for (const Bytes& s : strips) {
            offsets.push_back(Data(s));
            counts.push_back(std::uint32_t(s.size()));
        }
        Add(273, 4, offsets);
        Short(277, samples);
        Long(278, rowsPerStrip);
        Add(279, 4, counts);
    }

    Bytes Build(std::uint16_t version = 42, std::uint32_t entryCount = 0xFFFFFFFF)
    {
        Bytes file = m_file;
        auto put = [&](Bytes& to, std::size_t at, std::uint32_t v, int size) {
            for (int i = 0; i < size; ++i) {
                const int shift = m_big ? 8 * (size - 1 - i) : 8 * i;
                to[at + std::size_t(i)] = static_cast<unsigned char>(v >> shift);
            }
        };
        auto typeSize = [](int type) {
            switch (type) {
            case 1:
            case 2:
            case 6:
            case 7:
                return 1;
            case 3:
            case 8:
                return 2;
            case 5:
            case 10:
            case 12:
                return 8;
            default:
                return 4;
            }
        };
        std::vector<Entry> entries = m_entries;
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        std::vector<unsigned char> fields(entries.size() * 4);
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const Entry& e = entries[k];
            if (e.raw) {
                put(fields, k * 4, e.rawValue, 4);
                continue;
            }
            const int size = typeSize(e.type);
            Bytes values(e.values.size() * std::size_t(size));
            for (std::size_t i = 0; i < e.values.size(); ++i)
                put(values, i * std::size_t(size), e.values[i], size);
            if (values.size() <= 4) {
                values.resize(4);
                std::copy(values.begin(), values.end(), fields.begin() + std::ptrdiff_t(k * 4));
            } else {
                const auto at = std::uint32_t(file.size());
                file.insert(file.end(), values.begin(), values.end());
                if (file.size() & 1)
                    file.push_back(0);
                put(fields, k * 4, at, 4);
            }
        }
        const auto ifd = std::uint32_t(file.size());
        file.resize(file.size() + 2 + 12 * entries.size() + 4);
        put(file, ifd, entryCount == 0xFFFFFFFF ? std::uint32_t(entries.size()) : entryCount, 2);
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const Entry& e = entries[k];
            const std::size_t at = ifd + 2 + 12 * k;
            put(file, at, e.tag, 2);
            put(file, at + 2, e.type, 2);
            put(file, at + 4, e.raw ? e.rawCount : std::uint32_t(e.values.size()), 4);
            std::copy(fields.begin() + std::ptrdiff_t(k * 4), fields.begin() + std::ptrdiff_t(k * 4 + 4),
                      file.begin() + std::ptrdiff_t(at + 8));
        }
        file[0] = file[1] = m_big ? 'M' : 'I';
        put(file, 2, version, 2);
        put(file, 4, ifd, 4);
        return file;
    }

private:
    bool m_big;
    Bytes m_file;
    std::vector<Entry> m_entries;
};

inline void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes ReadFile(const std::string& path, std::size_t offset = 0)
{
    std::ifstream in(path, std::ios::binary);
    Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (offset >= all.size())
        return {};
    return Bytes(all.begin() + std::ptrdiff_t(offset), all.end());
}

// Runs a shell command; answers its output, with "exit N" appended on failure.
inline std::string Run(const std::string& cmd)
{
    return testsupport::CommandOutput(cmd + " 2>&1");
}

// Bytes of pseudo-random data (noise) that repeat for a given seed.
inline Bytes Noise(std::size_t n, std::uint32_t seed)
{
    Bytes out(n);
    std::uint32_t s = seed * 2654435761u + 1;
    for (auto& b : out) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = static_cast<unsigned char>(s >> 7);
    }
    return out;
}

}  // namespace tifftest
