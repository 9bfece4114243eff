#pragma once
// The check and index of field-description bytes ("SNTD"): magic, record count, then
// records of size, tag number, name, field count and fields (name, type code, size).
// Every size, count and name is checked against the bytes; anything wrong leaves the
// whole resource unused, as a wrong magic does.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SntdField {
    std::string name;  // code page 1251, without its NUL
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::uint64_t offset = 0;  // the sum of the sizes before it
};

struct SntdRecord {
    std::size_t start = 0;  // offset of the record in the bytes
    std::uint32_t size = 0;
    std::uint32_t tag = 0;
    std::string name;
    std::vector<SntdField> fields;
};

class CFieldDescriptions final {
public:
    // Checks and indexes bytes; false, and nothing indexed, when they are not sound.
    bool Index(std::string_view bytes);
    bool Parsed() const { return m_parsed; }
    const std::vector<SntdRecord>& Records() const { return m_records; }
    // The first record of tag, or null.
    const SntdRecord* Find(std::uint32_t tag) const;

private:
    bool m_parsed = false;
    std::vector<SntdRecord> m_records;
};
