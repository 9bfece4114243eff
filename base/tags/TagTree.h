#pragma once
// A tree of items, each with a text and a data string, that reads and writes itself as
// tab-indented text (one item a line: depth x TAB, text, TAB, data, CR LF), copies items
// and branches, and searches item texts. No walk recurses, so a tree of any depth is safe.
// Free of windows: the tag tree control shows one.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct TagTreeNode;
using TagItem = TagTreeNode*;

// Where an inserted item goes among its siblings, besides after a given one.
inline const TagItem kTagFirst = reinterpret_cast<TagItem>(~std::uintptr_t(0));
inline const TagItem kTagLast = reinterpret_cast<TagItem>(~std::uintptr_t(1));

// An item's data string, shared by the item and its copies; alive while any item holds it.
using TagData = std::shared_ptr<const std::string>;

struct TagTreeNode {
    std::string text;
    TagData data;
    int image = 0;
    int selectedImage = 0;
    unsigned state = 0;
    bool expanded = false;
    TagItem parent = nullptr;
    TagItem firstChild = nullptr;
    TagItem lastChild = nullptr;
    TagItem prev = nullptr;
    TagItem next = nullptr;
};

class CTagTree {
public:
    CTagTree() = default;
    virtual ~CTagTree();
    // Items are owned and identified by address: neither copied nor moved.
    CTagTree(const CTagTree&) = delete;
    CTagTree& operator=(const CTagTree&) = delete;

    // Inserts under parent (null: a root item) after `after` (kTagFirst, kTagLast or a
    // child of parent; anything else: last). Null data gets an empty string.
    TagItem InsertItem(std::string_view text, TagData data, TagItem parent = nullptr, TagItem after = kTagLast);
    // Deletes item and its branch; null deletes every item.
    void DeleteItem(TagItem item);
    void DeleteAllItems() { DeleteItem(nullptr); }
    size_t GetCount() const { return m_count; }

    TagItem GetRootItem() const { return m_first; }
    TagItem GetChildItem(TagItem item) const { return item ? item->firstChild : m_first; }
    TagItem GetNextSiblingItem(TagItem item) const { return item ? item->next : nullptr; }
    TagItem GetPrevSiblingItem(TagItem item) const { return item ? item->prev : nullptr; }
    TagItem GetParentItem(TagItem item) const { return item ? item->parent : nullptr; }
    bool ItemHasChildren(TagItem item) const { return item && item->firstChild; }
    static const std::string& GetItemText(TagItem item) { return item->text; }
    // The data string (never null for an item of the tree).
    static const std::string& GetItemString(TagItem item) { return *item->data; }
    static const TagData& GetItemData(TagItem item) { return item->data; }

    TagItem GetSelectedItem() const { return m_selected; }
    void SelectItem(TagItem item);
    TagItem GetDropHilightItem() const { return m_dropHilight; }
    void SelectDropTarget(TagItem item);
    void Expand(TagItem item, bool expand = true);

    // Number of ancestors (0 for a root item).
    static int GetItemLevel(TagItem item);
    // Pre-order: first child, else the next sibling of the item or its nearest ancestor
    // that has one; null after the last item.
    static TagItem GetNextItemPreorder(TagItem item);
    // The last item of the previous sibling's branch, else the parent.
    TagItem GetPrevItemPreorder(TagItem item) const;
    // The deepest last descendant of item (of the last root item when item is null).
    TagItem GetLastItem(TagItem item) const;
    // True when ancestor is item or one of its ancestors.
    static bool IsInBranch(TagItem item, TagItem ancestor);

    // A copy of item (text, images, state, the same data) under newParent after `after`.
    TagItem CopyItem(TagItem item, TagItem newParent, TagItem after);
    // CopyItem, then every item of its branch under the copy, in order. A branch copied
    // into itself copies only what was there before.
    TagItem CopyBranch(TagItem item, TagItem newParent, TagItem after);

    // Loads tab-indented text after the items there: depths relative to the first line's,
    // a deeper line a child of the line before, a shallower one a sibling of that line's
    // ancestor at its depth (a root item when shallower than the first); LF or CR LF ends
    // a line, empty lines are skipped, a line without a TAB after its text has empty data.
    void Load(std::string_view bytes);
    // Every item in pre-order from the first root item, one line each, CR LF.
    std::string Store() const;

    // Looks for text in the item texts after start (null: the selected item; none:
    // the whole tree once, from the first root item down or the last item up) in
    // pre-order, down or up with wrap; start itself is never examined. Texts are code
    // page 1251: without matchCase letters compare in either case; with wholeWord an
    // occurrence next to a letter or '_' does not count.
    virtual TagItem FindItem(std::string_view text, bool matchCase, bool down, bool wholeWord, TagItem start);
    // Whether FindItem may answer item: every item.
    virtual bool IsFindValid(TagItem item) { return true; }

protected:
    // After a copy is made: nothing.
    virtual void OnItemCopied(TagItem item, TagItem copy) {}
    // After the items or their states change (a control shows the change).
    virtual void OnTreeChanged() {}

private:
    void Changed();
    void Link(TagItem node, TagItem parent, TagItem after);
    void Unlink(TagItem node);

    TagItem m_first = nullptr;
    TagItem m_last = nullptr;
    TagItem m_selected = nullptr;
    TagItem m_dropHilight = nullptr;
    size_t m_count = 0;
    int m_quiet = 0;  // bulk changes tell the control once, at their end
};

// Code page 1251: whether c is a letter; c in lower case.
bool IsCp1251Letter(unsigned char c);
unsigned char Cp1251Lower(unsigned char c);
