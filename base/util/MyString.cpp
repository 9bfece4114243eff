#include "util/MyString.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

CMyString::CMyString(int len)
{
    if (len <= 0)
        return;
    data = new (std::nothrow) char[len];
    if (data != nullptr)
        size = len;
}

CMyString::~CMyString()
{
    Free();
}

void CMyString::Free()
{
    delete[] data;
    data = nullptr;
    size = 0;
    cursor = 0;
}

void CMyString::CopyFrom(const CMyString& other)
{
    if (other.data == nullptr || other.size <= 0)
        return;
    data = new (std::nothrow) char[other.size];
    if (data == nullptr)
        return;
    std::memcpy(data, other.data, size_t(other.size));
    size = other.size;
    cursor = other.cursor;
}

CMyString::CMyString(const CMyString& other)
{
    CopyFrom(other);
}

CMyString& CMyString::operator=(const CMyString& other)
{
    if (this != &other) {
        Free();
        CopyFrom(other);
    }
    return *this;
}

CMyString::CMyString(CMyString&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      size(std::exchange(other.size, 0)),
      cursor(std::exchange(other.cursor, 0))
{}

CMyString& CMyString::operator=(CMyString&& other) noexcept
{
    if (this != &other) {
        Free();
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        cursor = std::exchange(other.cursor, 0);
    }
    return *this;
}

void CMyString::getline(char* dst, int max, char delim)
{
    if (dst == nullptr || max <= 0)
        return;
    if (data == nullptr || cursor < 0 || cursor >= size) {
        dst[0] = '\0';
        return;
    }
    int n = 0;
    while (n < max && cursor < size) {
        const char c = data[cursor++];
        if (c == delim) {
            dst[n] = '\0';
            return;
        }
        dst[n++] = c;
    }
    dst[n - 1] = '\0';
}

int CMyString::eof() const
{
    return std::int64_t(cursor) + 1 >= size ? 1 : 0;
}
