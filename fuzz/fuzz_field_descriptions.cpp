// Arbitrary bytes as field descriptions ("SNTD"): either refused whole, or every indexed
// record lies inside the bytes, right after the one before, with its names and fields.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "FuzzSupport.h"
#include "tags/FieldDescriptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Half the inputs get a good magic, so the records are reached.
    std::string patched;
    if (size >= 8 && (data[size - 1] & 1)) {
        patched.assign(bytes);
        std::memcpy(patched.data(), "SNTD", 4);
        bytes = patched;
    }
    CFieldDescriptions index;
    const bool ok = index.Index(bytes);
    FUZZ_CHECK(ok == index.Parsed());
    if (!ok) {
        FUZZ_CHECK(index.Records().empty());
        return 0;
    }
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    FUZZ_CHECK(index.Records().size() == count);
    size_t start = 8;
    for (const SntdRecord& r : index.Records()) {
        FUZZ_CHECK(r.start == start);
        FUZZ_CHECK(r.size >= 16 && r.start + r.size <= bytes.size());
        // tag, name length, name and its NUL, field count, then 12 bytes a field at least
        size_t used = 4 + 4 + 4 + r.name.size() + 1 + 4;
        std::uint64_t offset = 0;
        for (const SntdField& f : r.fields) {
            used += 4 + f.name.size() + 1 + 8;
            FUZZ_CHECK(f.offset == offset);
            offset += f.size;
        }
        FUZZ_CHECK(used <= r.size);
        FUZZ_CHECK(r.name.find('\0') == std::string::npos);
        start += r.size;
    }
    return 0;
}
