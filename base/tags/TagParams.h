#pragma once
// What the View Parameters dialog shows, without a window: the tags of a raster layer
// file with their labels from the tag dictionary, and for one tag the Parameter/Value
// rows of its fields decoded from its bytes. File, dictionary and tag are untrusted: a
// field is decoded only when all the bytes its type reads lie inside the tag.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tags/TagTree.h"

// The dictionary's tag nodes (the root's children, in order) and their numbers.
class CTagDictionaryIndex final {
public:
    void Build(const CTagTree& tree);
    // The first node of tag number, or null.
    TagItem Find(int number) const;
    size_t Size() const { return m_tags.size(); }

private:
    std::vector<std::pair<int, TagItem>> m_tags;
};

// The first child of node whose text is text, or null.
TagItem FindChildItem(TagItem node, std::string_view text);

// The tag list's label: the data of the node's Name child, "NoName %d" without one,
// "%d" without a node. Code page 1251.
std::string TagListLabel(TagItem tagNode, int number);

// The tags of a layer as the dialog reads them.
struct TagSource {
    std::function<int(int)> nextTag;                        // GetNextTag of layer 0
    std::function<int()> numTag;                            // GetNumTag of layer 0
    std::function<std::vector<unsigned char>(int)> readTag; // the whole tag, or empty
};
// The file-level tag functions on path.
TagSource FileTagSource(const std::string& path);

// The tags after tag 0 in chain order: at most numTag of them, ending at a number already
// listed (a chain that repeats a number would run round it).
std::vector<int> ListLayerTags(const TagSource& source);

struct ParamRow {
    std::string parameter;  // UTF-8
    std::string value;      // UTF-8
    bool heading = false;
};

// The words of the time fields (strings 5054 "days" and 5055 "seconds").
struct TimeWords {
    std::string days = "days";
    std::string seconds = "seconds";
};

// One field: type code, offset and length against the tag's bytes. Empty when the type
// is not decoded or the bytes it reads do not lie inside the tag. UTF-8.
std::string DecodeField(const unsigned char* tag, size_t size, long long offset, int type, long long length,
                        const TimeWords& words);

// The rows of a tag node's subtree: a heading for each group, a row for each field
// (Length, Type and Offset leaves), indented by five spaces a level.
std::vector<ParamRow> BuildParamRows(TagItem tagNode, const unsigned char* tag, size_t size, const TimeWords& words);
