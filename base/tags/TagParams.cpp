#include "tags/TagParams.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "layer/RDPFileTags.h"
#include "tags/Cp1251.h"

namespace {

std::uint64_t LittleEndian(const unsigned char* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint64_t(p[i]) << (8 * i);
    return v;
}

// "%f": six decimals, whatever the program's locale.
std::string Fixed(double v)
{
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
}

// How many bytes a field of type reads; -1 when the type is not decoded.
long long BytesRead(int type, long long length)
{
    switch (type) {
    case 1:
    case 2:
        return 1;
    case 3:
    case 4:
        return 2;
    case 5:
    case 6:
    case 7:
        return 4;
    case 8:
        return 8;
    case 9:
        return 12;
    case 10:
        return length;
    default:
        return -1;
    }
}

// A leaf's number: 0 when there is none.
long long LeafNumber(TagItem leaf)
{
    // Out of range it is the nearest end, so a huge offset reads nothing.
    return std::strtoll(CTagTree::GetItemString(leaf).c_str(), nullptr, 10);
}

}  // namespace

void CTagDictionaryIndex::Build(const CTagTree& tree)
{
    m_tags.clear();
    TagItem root = tree.GetRootItem();
    for (TagItem n = tree.GetChildItem(root); root && n; n = tree.GetNextSiblingItem(n)) {
        const std::string& text = CTagTree::GetItemText(n);
        errno = 0;
        const long v = std::strtol(text.c_str(), nullptr, 10);
        m_tags.emplace_back(errno == ERANGE || v < INT32_MIN || v > INT32_MAX ? 0 : int(v), n);
    }
}

TagItem CTagDictionaryIndex::Find(int number) const
{
    for (const auto& [tag, node] : m_tags)
        if (tag == number)
            return node;
    return nullptr;
}

TagItem FindChildItem(TagItem node, std::string_view text)
{
    for (TagItem c = node ? node->firstChild : nullptr; c; c = c->next)
        if (c->text == text)
            return c;
    return nullptr;
}

std::string TagListLabel(TagItem tagNode, int number)
{
    if (tagNode == nullptr)
        return std::to_string(number);
    if (TagItem name = FindChildItem(tagNode, "Name"))
        return CTagTree::GetItemString(name);
    return "NoName " + std::to_string(number);
}

TagSource FileTagSource(const std::string& path)
{
    TagSource s;
    s.nextTag = [path](int tag) { return GetNextTag(path.c_str(), tag); };
    s.numTag = [path] { return GetNumTag(path.c_str()); };
    s.readTag = [path](int tag) {
        const int size = GetSizeTag(path.c_str(), tag);
        std::error_code error;
        const auto fileSize = std::filesystem::file_size(path, error);
        // A stored length beyond the file cannot be read whole.
        if (size <= 0 || error || std::uintmax_t(size) > fileSize)
            return std::vector<unsigned char>();
        std::vector<unsigned char> bytes(static_cast<size_t>(size));
        if (GetTag(path.c_str(), tag, size, bytes.data()) != 1)
            return std::vector<unsigned char>();
        return bytes;
    };
    return s;
}

std::vector<int> ListLayerTags(const TagSource& source)
{
    std::vector<int> tags;
    const int most = source.numTag();
    std::set<int> listed{0};
    for (int t = most > 0 ? source.nextTag(0) : 0; t != 0 && int(tags.size()) < most && listed.insert(t).second;
         t = source.nextTag(t))
        tags.push_back(t);
    return tags;
}

std::string DecodeField(const unsigned char* tag, size_t size, long long offset, int type, long long length,
                        const TimeWords& words)
{
    const long long reads = BytesRead(type, length);
    if (reads < 0 || offset < 0 || tag == nullptr || std::uint64_t(offset) > size ||
        std::uint64_t(reads) > size - std::uint64_t(offset))
        return {};
    const unsigned char* p = tag + offset;
    switch (type) {
    case 1:
        return " " + std::to_string(unsigned(p[0])) + " ";
    case 2:
        return " " + std::to_string(int(static_cast<signed char>(p[0]))) + " ";
    case 3:
        return " " + std::to_string(std::uint16_t(LittleEndian(p, 2))) + " ";
    case 4:
        return " " + std::to_string(std::int16_t(LittleEndian(p, 2))) + " ";
    case 5:
        return " " + std::to_string(std::uint32_t(LittleEndian(p, 4))) + " ";
    case 6:
        return " " + std::to_string(std::int32_t(LittleEndian(p, 4))) + " ";
    case 7: {
        const std::uint32_t bits = std::uint32_t(LittleEndian(p, 4));
        float f;
        std::memcpy(&f, &bits, 4);
        return " " + Fixed(f) + " ";
    }
    case 8: {
        const std::uint64_t bits = LittleEndian(p, 8);
        double d;
        std::memcpy(&d, &bits, 8);
        return " " + Fixed(d) + " ";
    }
    case 9: {
        const std::uint64_t bits = LittleEndian(p + 4, 8);
        double seconds;
        std::memcpy(&seconds, &bits, 8);
        return " " + words.days + ": " + std::to_string(std::int32_t(LittleEndian(p, 4))) + " " + words.seconds +
               ": " + Fixed(seconds);
    }
    default: {  // 10: text up to the length (or its NUL), leading blanks cut
        std::string_view text(reinterpret_cast<const char*>(p), size_t(reads));
        text = text.substr(0, text.find('\0'));
        const size_t first = text.find_first_not_of(" \t\r\n\v\f");
        return Cp1251ToUtf8(first == std::string_view::npos ? std::string_view() : text.substr(first));
    }
    }
}

std::vector<ParamRow> BuildParamRows(TagItem tagNode, const unsigned char* tag, size_t size, const TimeWords& words)
{
    std::vector<ParamRow> rows;
    if (tagNode == nullptr)
        return rows;
    struct Field {
        bool length = false, type = false, offset = false, shown = false;
        long long lengthValue = 0, typeValue = 0, offsetValue = 0;
    };
    std::vector<Field> fields(1);  // by depth: what the node walked there has seen
    const auto indent = [](size_t depth) { return std::string(depth > 1 ? (depth - 1) * 5 : 0, ' '); };
    // Pre-order over the subtree, without recursion.
    size_t depth = 0;
    for (TagItem n = tagNode; n;) {
        if (n != tagNode) {
            if (n->firstChild) {
                fields.resize(depth + 1);
                fields[depth] = Field{};
                if (depth >= 1 && n->firstChild->firstChild)
                    rows.push_back({indent(depth) + Cp1251ToUtf8(*n->data), {}, true});
            } else {
                Field& f = fields[depth - 1];
                if (n->text == "Length")
                    f.length = true, f.lengthValue = LeafNumber(n);
                else if (n->text == "Type")
                    f.type = true, f.typeValue = LeafNumber(n);
                else if (n->text == "Offset")
                    f.offset = true, f.offsetValue = LeafNumber(n);
                if (f.length && f.type && f.offset && !f.shown) {
                    f.shown = true;
                    TagItem field = n->parent;
                    const int type = f.typeValue < 0 || f.typeValue > 1000 ? 0 : int(f.typeValue);
                    rows.push_back({indent(depth - 1) + Cp1251ToUtf8(*field->data),
                                    DecodeField(tag, size, f.offsetValue, type, f.lengthValue, words), false});
                }
            }
        }
        if (n->firstChild) {
            n = n->firstChild;
            ++depth;
            if (fields.size() < depth + 1)
                fields.resize(depth + 1);
            continue;
        }
        while (n != tagNode && !n->next) {
            n = n->parent;
            --depth;
        }
        n = n == tagNode ? nullptr : n->next;
    }
    return rows;
}
