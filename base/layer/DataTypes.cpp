#include "layer/DataTypes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/resources/StringTable.h"
#include "VarnokModule.h"

std::string ErrorString;

namespace {

const plat::StringEntry kStrings[] = {
    {5022, "Unsigned Integer, 8 bit."},
    {5023, "Signed Integer, 8 bit."},
    {5024, "Unsigned Integer, 16 bit."},
    {5025, "Signed Integer, 16 bit."},
    {5026, "Unsigned Integer, 32 bit."},
    {5027, "Signed Integer, 32 bit."},
    {5028, "Float, 32 bit."},
    {5029, "Float 64 bit."},
    {5030, "Complex Unsigned Integer, 2x8 bit."},
    {5031, "Complex Signed Integer, 2x8 bit."},
    {5032, "Complex Unsigned Integer, 2x16 bit."},
    {5033, "Complex Signed Integer, 2x16 bit."},
    {5034, "Complex Unsigned Integer, 2x32 bit."},
    {5035, "Complex Signed Integer, 2x32 bit."},
    {5036, "Complex Float, 2x32 bit."},
    {5037, "Complex Float, 2x64 bit."},
    {5038, "Undefined..."},
};
const plat::StringTableRegistration kRegistration(kVarnokModule, kStrings);

constexpr unsigned kUndefinedNameId = 5038;

struct TypeRow {
    int code;
    const char* shortName;
    unsigned longNameId;
    int size;
    int complexType;    // counterpart of a real type
    int componentType;  // part type of a complex type
};

const TypeRow kTypes[] = {
    {UINT8, "UINT8", 5022, 1, CUINT8, 0},        {SINT8, "SINT8", 5023, 1, CSINT8, 0},
    {UINT16, "UINT16", 5024, 2, CUINT16, 0},     {SINT16, "SINT16", 5025, 2, CSINT16, 0},
    {UINT32, "UINT32", 5026, 4, CUINT32, 0},     {SINT32, "SINT32", 5027, 4, CSINT32, 0},
    {FLOAT32, "FLOAT32", 5028, 4, CFLOAT32, 0},  {FLOAT64, "FLOAT64", 5029, 8, CFLOAT64, 0},
    {CFLOAT32, "CFLOAT32", 5036, 8, 0, FLOAT32}, {CFLOAT64, "CFLOAT64", 5037, 16, 0, FLOAT64},
    {CUINT8, "CUINT8", 5030, 2, 0, UINT8},       {CSINT8, "CSINT8", 5031, 2, 0, SINT8},
    {CUINT16, "CUINT16", 5032, 4, 0, UINT16},    {CSINT16, "CSINT16", 5033, 4, 0, SINT16},
    {CUINT32, "CUINT32", 5034, 8, 0, UINT32},    {CSINT32, "CSINT32", 5035, 8, 0, SINT32},
};

const TypeRow* Row(int type)
{
    for (const auto& row : kTypes)
        if (row.code == type)
            return &row;
    return nullptr;
}

// Reverses each of count words of type W at p; p need not be aligned.
template <class W>
void SwapWords(unsigned char* p, int count)
{
    for (int i = 0; i < count; ++i, p += sizeof(W)) {
        W w;
        std::memcpy(&w, p, sizeof w);
        if constexpr (sizeof(W) == 2)
            w = __builtin_bswap16(w);
        else if constexpr (sizeof(W) == 4)
            w = __builtin_bswap32(w);
        else
            w = __builtin_bswap64(w);
        std::memcpy(p, &w, sizeof w);
    }
}

}  // namespace

int GetDataTypeSize(int type)
{
    const TypeRow* row = Row(type);
    return row ? row->size : 0;
}

std::string GetDataTypeName(int type, int form)
{
    if (form != 0 && form != 1)
        return {};
    const TypeRow* row = Row(type);
    if (row == nullptr)
        return plat::LoadString(kUndefinedNameId, kVarnokModule);
    if (form == 1)
        return row->shortName;
    return plat::LoadString(row->longNameId, kVarnokModule);
}

int GetUnsignedTypeBySize(int size)
{
    switch (size) {
    case 1:
        return UINT8;
    case 2:
        return UINT16;
    case 4:
        return UINT32;
    default:
        return 0;
    }
}

int GetComplexType(int type, int kind)
{
    if (kind == 1)
        return type;
    if (kind != 2 || type < UINT8 || type > FLOAT64)
        return 0;
    return Row(type)->complexType;
}

int IsComplexType(int type)
{
    return type >= CFLOAT32 && type <= CSINT32 ? 1 : 0;
}

void SwapBytesArray(void* buf, int size, int count)
{
    if (buf == nullptr || size <= 1 || count <= 0)
        return;
    auto* item = static_cast<unsigned char*>(buf);
    // The common sizes as whole words, which the compiler turns into vector shuffles:
    // whole rasters pass through here.
    switch (size) {
    case 2:
        SwapWords<std::uint16_t>(item, count);
        return;
    case 4:
        SwapWords<std::uint32_t>(item, count);
        return;
    case 8:
        SwapWords<std::uint64_t>(item, count);
        return;
    default:
        break;
    }
    for (int i = 0; i < count; ++i, item += size)
        std::reverse(item, item + size);
}

void* SwapBytes32(void* p)
{
    SwapBytesArray(p, 4, 1);
    return p;
}
