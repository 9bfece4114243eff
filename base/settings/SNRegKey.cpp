#include "settings/SNRegKey.h"

#include <algorithm>
#include <cstring>

CSNRegKey::~CSNRegKey()
{
    Close();
}

int CSNRegKey::Open(HKEY root, const char* subkey)
{
    return subkey != nullptr && m_hKey.Open(root, subkey) ? 1 : 0;
}

int CSNRegKey::Create(HKEY root, const char* subkey)
{
    return subkey != nullptr && m_hKey.Create(root, subkey) ? 1 : 0;
}

void CSNRegKey::Close()
{
    m_hKey.Close();
}

int CSNRegKey::GetStringValue(std::string& out, const char* name)
{
    if (name == nullptr)
        return 0;
    auto v = m_hKey.Value(name);
    if (!v)
        return 0;
    const auto& b = v->bytes;
    out.assign(b.begin(), std::find(b.begin(), b.end(), 0));
    return 1;
}

int CSNRegKey::SetStringValue(const char* value, const char* name)
{
    return value != nullptr && name != nullptr && m_hKey.SetString(name, value) ? 1 : 0;
}

std::unique_ptr<DWORD> CSNRegKey::GetDWORDValue(const char* name)
{
    if (name == nullptr)
        return nullptr;
    auto v = m_hKey.Value(name);
    if (!v)
        return nullptr;
    unsigned char le[4] = {};
    if (!v->bytes.empty())
        std::memcpy(le, v->bytes.data(), std::min<std::size_t>(v->bytes.size(), 4));
    return std::make_unique<DWORD>(DWORD(le[0]) | DWORD(le[1]) << 8 | DWORD(le[2]) << 16 | DWORD(le[3]) << 24);
}

int CSNRegKey::SetDWORDValue(const DWORD* value, const char* name)
{
    return value != nullptr && name != nullptr && m_hKey.SetNumber(name, *value) ? 1 : 0;
}

std::unique_ptr<unsigned char[]> CSNRegKey::GetBinaryValue(const char* name, std::size_t* size)
{
    if (name == nullptr)
        return nullptr;
    auto v = m_hKey.Value(name);
    if (!v)
        return nullptr;
    auto out = std::make_unique<unsigned char[]>(v->bytes.size());
    if (!v->bytes.empty())
        std::memcpy(out.get(), v->bytes.data(), v->bytes.size());
    if (size != nullptr)
        *size = v->bytes.size();
    return out;
}

int CSNRegKey::SetBinaryValue(const void* data, int len, const char* name)
{
    if (len < 0 || name == nullptr)
        return 0;
    return m_hKey.SetBinary(name, data, static_cast<std::size_t>(len)) ? 1 : 0;
}
