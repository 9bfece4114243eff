#include "tags/TagTree.h"

#include <algorithm>
#include <vector>


bool IsCp1251Letter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

unsigned char Cp1251Lower(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF))
        return static_cast<unsigned char>(c + 0x20);
    return c == 0xA8 ? 0xB8 : c;
}

CTagTree::~CTagTree()
{
    // Quietly: a derived control's part is gone already.
    m_selected = m_dropHilight = nullptr;
    while (m_first) {
        TagItem top = m_first;
        Unlink(top);
        TagItem n = top;
        while (n) {
            if (n->firstChild) {
                n = n->firstChild;
                continue;
            }
            TagItem parent = n->parent, next = n->next;
            const bool last = n == top;
            delete n;
            if (last)
                break;
            parent->firstChild = next;
            if (next)
                next->prev = nullptr;
            else
                parent->lastChild = nullptr;
            n = next ? next : parent;
        }
    }
}

void CTagTree::Link(TagItem node, TagItem parent, TagItem after)
{
    TagItem& first = parent ? parent->firstChild : m_first;
    TagItem& last = parent ? parent->lastChild : m_last;
    node->parent = parent;
    if (after == kTagFirst) {
        node->prev = nullptr;
        node->next = first;
        (first ? first->prev : last) = node;
        first = node;
        return;
    }
    if (after == kTagLast || after == nullptr || after->parent != parent || after == node)
        after = last;
    node->prev = after;
    node->next = after ? after->next : nullptr;
    (node->next ? node->next->prev : last) = node;
    (after ? after->next : first) = node;
}

void CTagTree::Unlink(TagItem node)
{
    TagItem& first = node->parent ? node->parent->firstChild : m_first;
    TagItem& last = node->parent ? node->parent->lastChild : m_last;
    (node->prev ? node->prev->next : first) = node->next;
    (node->next ? node->next->prev : last) = node->prev;
    node->prev = node->next = nullptr;
}

TagItem CTagTree::InsertItem(std::string_view text, TagData data, TagItem parent, TagItem after)
{
    auto* node = new TagTreeNode;
    node->text = std::string(text);
    node->data = data ? std::move(data) : std::make_shared<const std::string>();
    Link(node, parent, after);
    ++m_count;
    Changed();
    return node;
}

void CTagTree::DeleteItem(TagItem item)
{
    if (item == nullptr) {
        ++m_quiet;
        while (m_first)
            DeleteItem(m_first);
        --m_quiet;
        Changed();
        return;
    }
    Unlink(item);
    TagItem n = item;
    while (n) {
        if (n->firstChild) {
            n = n->firstChild;
            continue;
        }
        TagItem parent = n->parent, next = n->next;
        const bool last = n == item;
        if (n == m_selected)
            m_selected = nullptr;
        if (n == m_dropHilight)
            m_dropHilight = nullptr;
        delete n;
        --m_count;
        if (last)
            break;
        parent->firstChild = next;
        if (next)
            next->prev = nullptr;
        else
            parent->lastChild = nullptr;
        n = next ? next : parent;
    }
    Changed();
}

void CTagTree::SelectItem(TagItem item)
{
    m_selected = item;
    Changed();
}

void CTagTree::SelectDropTarget(TagItem item)
{
    if (m_dropHilight == item)
        return;
    m_dropHilight = item;
    Changed();
}

void CTagTree::Expand(TagItem item, bool expand)
{
    if (item == nullptr || item->expanded == expand)
        return;
    item->expanded = expand;
    Changed();
}

int CTagTree::GetItemLevel(TagItem item)
{
    int level = 0;
    for (TagItem p = item ? item->parent : nullptr; p; p = p->parent)
        ++level;
    return level;
}

TagItem CTagTree::GetNextItemPreorder(TagItem item)
{
    if (item == nullptr)
        return nullptr;
    if (item->firstChild)
        return item->firstChild;
    for (; item; item = item->parent)
        if (item->next)
            return item->next;
    return nullptr;
}

TagItem CTagTree::GetPrevItemPreorder(TagItem item) const
{
    if (item == nullptr)
        return nullptr;
    return item->prev ? GetLastItem(item->prev) : item->parent;
}

TagItem CTagTree::GetLastItem(TagItem item) const
{
    TagItem n = item ? item : m_last;
    while (n && n->lastChild)
        n = n->lastChild;
    return n;
}

bool CTagTree::IsInBranch(TagItem item, TagItem ancestor)
{
    for (TagItem p = item; p; p = p->parent)
        if (p == ancestor)
            return true;
    return false;
}

TagItem CTagTree::CopyItem(TagItem item, TagItem newParent, TagItem after)
{
    auto* node = new TagTreeNode;
    node->text = item->text;
    node->data = item->data;
    node->image = item->image;
    node->selectedImage = item->selectedImage;
    node->state = item->state;
    Link(node, newParent, after);
    ++m_count;
    OnItemCopied(item, node);
    Changed();
    return node;
}

void CTagTree::Changed()
{
    if (m_quiet == 0)
        OnTreeChanged();
}

TagItem CTagTree::CopyBranch(TagItem item, TagItem newParent, TagItem after)
{
    ++m_quiet;
    // The branch as it is now, with depths below item: the copies may land inside it.
    std::vector<std::pair<TagItem, size_t>> branch;
    size_t depth = 1;
    for (TagItem n = item->firstChild; n;) {
        branch.emplace_back(n, depth);
        if (n->firstChild) {
            n = n->firstChild;
            ++depth;
            continue;
        }
        while (n != item && !n->next) {
            n = n->parent;
            --depth;
        }
        n = n == item ? nullptr : n->next;
    }
    TagItem copy = CopyItem(item, newParent, after);
    std::vector<TagItem> parents{copy};
    for (const auto& [node, d] : branch) {
        parents.resize(d);
        parents.push_back(CopyItem(node, parents.back(), kTagLast));
    }
    --m_quiet;
    Changed();
    return copy;
}

void CTagTree::Load(std::string_view bytes)
{
    std::vector<TagItem> path;  // the previous line's item and its ancestors, by relative depth
    long base = -1;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        const size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        pos = next;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const size_t tabs = std::min(line.find_first_not_of('\t'), line.size());
        line.remove_prefix(tabs);
        if (base < 0)
            base = long(tabs);
        // Relative depth: shallower than the first line is a root item; deeper than
        // the line before by more than one is its child.
        const size_t depth = std::min(tabs > size_t(base) ? tabs - size_t(base) : 0, path.size());
        const size_t tab = line.find('\t');
        const std::string_view text = line.substr(0, tab);
        const std::string_view data = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
        path.resize(depth);
        auto* node = new TagTreeNode;
        node->text = std::string(text);
        node->data = std::make_shared<const std::string>(data);
        Link(node, path.empty() ? nullptr : path.back(), kTagLast);
        ++m_count;
        path.push_back(node);
    }
    Changed();
}

std::string CTagTree::Store() const
{
    std::string out;
    size_t level = 0;
    for (TagItem n = m_first; n;) {
        out.append(level, '\t');
        out += n->text;
        out += '\t';
        out += *n->data;
        out += "\r\n";
        if (n->firstChild) {
            n = n->firstChild;
            ++level;
            continue;
        }
        while (n && !n->next) {
            n = n->parent;
            --level;
        }
        if (n)
            n = n->next;
    }
    return out;
}

TagItem CTagTree::FindItem(std::string_view text, bool matchCase, bool down, bool wholeWord, TagItem start)
{
    if (text.empty())
        return nullptr;
    std::string wanted(text);
    if (!matchCase)
        for (char& c : wanted)
            c = char(Cp1251Lower(static_cast<unsigned char>(c)));
    const auto matches = [&](TagItem item) {
        std::string hay = item->text;
        if (!matchCase)
            for (char& c : hay)
                c = char(Cp1251Lower(static_cast<unsigned char>(c)));
        for (size_t at = hay.find(wanted); at != std::string::npos; at = hay.find(wanted, at + wanted.size())) {
            if (!wholeWord)
                return true;
            const size_t after = at + wanted.size();
            const bool before = at > 0 && (IsCp1251Letter(static_cast<unsigned char>(hay[at - 1])) || hay[at - 1] == '_');
            const bool behind = after < hay.size() &&
                                (IsCp1251Letter(static_cast<unsigned char>(hay[after])) || hay[after] == '_');
            if (!before && !behind)
                return true;
        }
        return false;
    };
    const auto step = [&](TagItem item) { return down ? GetNextItemPreorder(item) : GetPrevItemPreorder(item); };

    if (start == nullptr)
        start = m_selected;
    if (start == nullptr) {
        // No start: every item once, from one end to the other.
        for (TagItem n = down ? m_first : GetLastItem(nullptr); n; n = step(n))
            if (matches(n) && IsFindValid(n))
                return n;
        return nullptr;
    }
    for (TagItem n = step(start);; n = step(n)) {
        if (n == nullptr)
            n = down ? m_first : GetLastItem(nullptr);
        if (n == nullptr || n == start)
            return nullptr;
        if (matches(n) && IsFindValid(n))
            return n;
    }
}
