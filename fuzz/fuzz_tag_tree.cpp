// Arbitrary bytes loaded as a tab-indented tag tree: stored and loaded again, the tree
// must come back item for item (text, data, level), unless an item has no text (its
// line would begin with the TAB before its data). Copying and deleting a branch, and
// a search, must keep the count and the links sound.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "tags/TagTree.h"

namespace {

struct Item {
    int level;
    std::string text, data;
    bool operator==(const Item&) const = default;
};

std::vector<Item> Items(const CTagTree& tree, bool* textless)
{
    std::vector<Item> out;
    for (TagItem n = tree.GetRootItem(); n; n = CTagTree::GetNextItemPreorder(n)) {
        out.push_back({CTagTree::GetItemLevel(n), n->text, *n->data});
        if (n->text.empty())
            *textless = true;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CTagTree first;
    first.Load(bytes);
    bool textless = false;
    const std::vector<Item> items = Items(first, &textless);
    FUZZ_CHECK(items.size() == first.GetCount());
    const std::string stored = first.Store();
    CTagTree second;
    second.Load(stored);
    bool unused = false;
    if (!textless) {
        FUZZ_CHECK(Items(second, &unused) == items);
        FUZZ_CHECK(second.Store() == stored);
    }
    if (TagItem root = first.GetRootItem()) {
        const size_t before = first.GetCount();
        TagItem last = first.GetLastItem(nullptr);
        TagItem copy = first.CopyBranch(root, last, kTagLast);
        FUZZ_CHECK(first.GetCount() > before);
        first.FindItem(std::string_view("a"), false, size % 2 == 0, true, copy);
        first.DeleteItem(copy);
        FUZZ_CHECK(first.GetCount() == before);
        FUZZ_CHECK(Items(first, &unused) == items);
    }
    return 0;
}
