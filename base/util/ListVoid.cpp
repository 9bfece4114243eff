#include "util/ListVoid.h"

#include <new>

CListVoid::CListVoid(const CListVoid* other)
{
    if (other != nullptr)
        *this = *other;
}

CListVoid::CListVoid(const CListVoid& other)
{
    *this = other;
}

CListVoid& CListVoid::operator=(const CListVoid& other)
{
    if (this == &other)
        return *this;
    // Build the copy aside first, so a failed allocation leaves this list as it was.
    CListVoid copy;
    for (const CListVoid* n = &other; n != nullptr && n->m_data != nullptr; n = n->m_next)
        if (copy.Add(n->m_data) != 0)
            throw std::bad_alloc();
    FreeChain();
    m_data = copy.m_data;
    m_next = copy.m_next;
    copy.m_data = nullptr;
    copy.m_next = nullptr;
    return *this;
}

CListVoid::~CListVoid()
{
    FreeChain();
}

// Iterative, so a long chain cannot exhaust the stack.
void CListVoid::FreeChain()
{
    CListVoid* n = m_next;
    m_next = nullptr;
    m_data = nullptr;
    while (n != nullptr) {
        CListVoid* next = n->m_next;
        n->m_next = nullptr;
        delete n;
        n = next;
    }
}

int CListVoid::Add(void* data)
{
    if (data == nullptr)
        return 1;
    CListVoid* n = this;
    for (;;) {
        if (n->m_data == nullptr) {
            n->m_data = data;
            return 0;
        }
        if (n->m_next == nullptr)
            break;
        n = n->m_next;
    }
    n->m_next = new (std::nothrow) CListVoid(data);
    return n->m_next == nullptr ? 1 : 0;
}

int CListVoid::DeleteElement(void* data)
{
    if (data == nullptr)
        return 0;
    CListVoid* n = this;
    while (n != nullptr && n->m_data != data)
        n = n->m_next;
    if (n == nullptr)
        return 0;
    CListVoid* next = n->m_next;
    if (next == nullptr) {
        n->m_data = nullptr;
        return 1;
    }
    n->m_data = next->m_data;
    n->m_next = next->m_next;
    next->m_data = nullptr;
    next->m_next = nullptr;
    n->EndElement()->m_next = next;
    return 1;
}

CListVoid* CListVoid::EndElement()
{
    CListVoid* n = this;
    while (n->m_next != nullptr)
        n = n->m_next;
    return n;
}

void* CListVoid::GetElementAddress(int i) const
{
    const CListVoid* n = this;
    for (; n != nullptr && i > 0; --i)
        n = n->m_next;
    return n != nullptr && i == 0 ? n->m_data : nullptr;
}

void* CListVoid::GetElementWithProperty(Property pred, void* key, int user) const
{
    if (pred == nullptr || m_data == nullptr)
        return nullptr;
    for (const CListVoid* n = this; n != nullptr; n = n->m_next)
        if (pred(n->m_data, key, user) != 0)
            return n->m_data;
    return nullptr;
}
