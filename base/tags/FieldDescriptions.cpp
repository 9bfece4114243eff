#include "tags/FieldDescriptions.h"

#include <cstring>
#include <optional>

namespace {

// Reads little-endian words and NUL-terminated names inside [pos, end) of the bytes.
class Reader {
public:
    Reader(std::string_view bytes, std::size_t pos, std::size_t end) : m_bytes(bytes), m_pos(pos), m_end(end) {}
    std::optional<std::uint32_t> U32()
    {
        if (m_end - m_pos < 4)
            return std::nullopt;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(static_cast<unsigned char>(m_bytes[m_pos + size_t(i)])) << (8 * i);
        m_pos += 4;
        return v;
    }
    // A name of the given length, its NUL last and nowhere before.
    std::optional<std::string> Name()
    {
        const auto length = U32();
        if (!length || *length == 0 || *length > m_end - m_pos)
            return std::nullopt;
        const std::string_view name = m_bytes.substr(m_pos, *length - 1);
        if (m_bytes[m_pos + *length - 1] != '\0' || name.find('\0') != std::string_view::npos)
            return std::nullopt;
        m_pos += *length;
        return std::string(name);
    }

private:
    std::string_view m_bytes;
    std::size_t m_pos, m_end;
};

}  // namespace

bool CFieldDescriptions::Index(std::string_view bytes)
{
    m_parsed = false;
    m_records.clear();
    if (bytes.size() < 8 || std::memcmp(bytes.data(), "SNTD", 4) != 0)
        return false;
    const std::uint32_t count = *Reader(bytes, 4, 8).U32();
    std::vector<SntdRecord> records;
    std::size_t start = 8;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (records.size() == records.capacity())
            records.reserve(records.size() + 1024);
        SntdRecord r;
        r.start = start;
        Reader head(bytes, start, bytes.size());
        const auto size = head.U32();
        if (!size || *size < 16 || *size > bytes.size() - start)
            return false;
        r.size = *size;
        Reader in(bytes, start + 4, start + *size);
        const auto tag = in.U32();
        auto name = in.Name();
        const auto fields = in.U32();
        if (!tag || !name || !fields)
            return false;
        r.tag = *tag;
        r.name = std::move(*name);
        std::uint64_t offset = 0;
        for (std::uint32_t f = 0; f < *fields; ++f) {
            auto fieldName = in.Name();
            const auto type = in.U32();
            const auto fieldSize = in.U32();
            if (!fieldName || !type || !fieldSize)
                return false;
            r.fields.push_back({std::move(*fieldName), *type, *fieldSize, offset});
            offset += *fieldSize;
        }
        records.push_back(std::move(r));
        start += *size;
    }
    m_records = std::move(records);
    m_parsed = true;
    return true;
}

const SntdRecord* CFieldDescriptions::Find(std::uint32_t tag) const
{
    for (const SntdRecord& r : m_records)
        if (r.tag == tag)
            return &r;
    return nullptr;
}
