#pragma once
// Minimal singly linked list of untyped pointers; the list object is its own head
// node. Occupied nodes come first; emptied nodes move to the end and are reused.

#include <cstddef>

class CListVoid final {
public:
    // Predicate of GetElementWithProperty: non-zero when data matches key.
    using Property = int (*)(void* data, void* key, int user);

    constexpr CListVoid() = default;
    explicit CListVoid(void* data) : m_data(data) {}
    constexpr explicit CListVoid(std::nullptr_t) {}
    // Copies hold their own nodes (the same data pointers, in order), so each
    // list frees only its own chain. A null other gives an empty list.
    explicit CListVoid(const CListVoid* other);
    CListVoid(const CListVoid& other);
    CListVoid& operator=(const CListVoid& other);
    ~CListVoid();

    // Stores data in the first empty node, else in a new node at the end.
    // 0 on success; 1 when no node could be allocated or data is null.
    int Add(void* data);
    // Removes the first occurrence of data: 1, or 0 when it is not listed.
    int DeleteElement(void* data);
    CListVoid* EndElement();
    // Data of the i-th node (0 is the head); null past the end.
    void* GetElementAddress(int i) const;
    // First data, in chain order, for which pred is non-zero; null when none does
    // or the list is empty. pred also sees the null data of emptied nodes.
    void* GetElementWithProperty(Property pred, void* key, int user) const;

private:
    void FreeChain();

    void* m_data = nullptr;
    CListVoid* m_next = nullptr;
};
