// Arbitrary bytes as a raster layer file through the View Parameters dialog's logic:
// the tags listed (at most the chain's count, no repeats, never 0) and, for each, the rows
// of its dictionary node built from whatever the file holds; the number of rows depends
// on the dictionary alone.

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "FuzzSupport.h"
#include "tags/TagParams.h"
#include "tags/TagResources.h"

namespace {

const std::string& ScratchFile()
{
    static const std::string path = fuzzsupport::ScratchName("fuzz_tag_params") + "/input.rdp";
    return path;
}

struct Dictionary {
    CTagTree tree;
    CTagDictionaryIndex index;
    std::map<int, size_t> rows;  // rows of each tag, from an empty tag
    Dictionary()
    {
        tree.Load(TagDictionaryResource(false));
        index.Build(tree);
        for (int tag : {300, 301, 302, 303, 305, 307})
            rows[tag] = BuildParamRows(index.Find(tag), nullptr, 0, {}).size();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Dictionary dictionary;
    const std::string& path = ScratchFile();
    fuzzsupport::WriteFile(path, data, size);
    const TagSource source = FileTagSource(path);
    const std::vector<int> tags = ListLayerTags(source);
    const int most = source.numTag();
    FUZZ_CHECK(int(tags.size()) <= (most > 0 ? most : 0));
    std::set<int> seen;
    for (int tag : tags) {
        FUZZ_CHECK(tag != 0);
        FUZZ_CHECK(seen.insert(tag).second);
        const std::vector<unsigned char> bytes = source.readTag(tag);
        FUZZ_CHECK(bytes.size() <= size);
        TagItem node = dictionary.index.Find(tag);
        TagListLabel(node, tag);
        const std::vector<ParamRow> rows = BuildParamRows(node, bytes.data(), bytes.size(), {});
        if (node != nullptr)
            FUZZ_CHECK(rows.size() == dictionary.rows.at(tag));
        else
            FUZZ_CHECK(rows.empty());
    }
    return 0;
}
