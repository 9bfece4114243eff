#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "layer/DataTypes.h"

namespace {

struct TypeCase {
    int code;
    int size;
    const char* shortName;
    const char* longName;
    int complexType;  // GetComplexType(code, 2)
    int isComplex;
};

const TypeCase kTypes[] = {
    {1, 1, "UINT8", "Unsigned Integer, 8 bit.", 11, 0},
    {2, 1, "SINT8", "Signed Integer, 8 bit.", 12, 0},
    {3, 2, "UINT16", "Unsigned Integer, 16 bit.", 13, 0},
    {4, 2, "SINT16", "Signed Integer, 16 bit.", 14, 0},
    {5, 4, "UINT32", "Unsigned Integer, 32 bit.", 15, 0},
    {6, 4, "SINT32", "Signed Integer, 32 bit.", 16, 0},
    {7, 4, "FLOAT32", "Float, 32 bit.", 9, 0},
    {8, 8, "FLOAT64", "Float 64 bit.", 10, 0},
    {9, 8, "CFLOAT32", "Complex Float, 2x32 bit.", 0, 1},
    {10, 16, "CFLOAT64", "Complex Float, 2x64 bit.", 0, 1},
    {11, 2, "CUINT8", "Complex Unsigned Integer, 2x8 bit.", 0, 1},
    {12, 2, "CSINT8", "Complex Signed Integer, 2x8 bit.", 0, 1},
    {13, 4, "CUINT16", "Complex Unsigned Integer, 2x16 bit.", 0, 1},
    {14, 4, "CSINT16", "Complex Signed Integer, 2x16 bit.", 0, 1},
    {15, 8, "CUINT32", "Complex Unsigned Integer, 2x32 bit.", 0, 1},
    {16, 8, "CSINT32", "Complex Signed Integer, 2x32 bit.", 0, 1},
    {0, 0, "Undefined...", "Undefined...", 0, 0},
    {17, 0, "Undefined...", "Undefined...", 0, 0},
    {-1, 0, "Undefined...", "Undefined...", 0, 0},
    {42, 0, "Undefined...", "Undefined...", 0, 0},
};

TEST(DataTypes, TableRowsGiveSizeNamesAndComplexCounterpart)
{
    for (const auto& t : kTypes) {
        SCOPED_TRACE(t.code);
        EXPECT_EQ(GetDataTypeSize(t.code), t.size);
        EXPECT_EQ(GetDataTypeName(t.code, 1), t.shortName);
        EXPECT_EQ(GetDataTypeName(t.code, 0), t.longName);
        EXPECT_EQ(GetDataTypeName(t.code, 2), "");
        EXPECT_EQ(GetDataTypeName(t.code, -1), "");
        EXPECT_EQ(GetComplexType(t.code, 2), t.complexType);
        EXPECT_EQ(GetComplexType(t.code, 1), t.code);
        EXPECT_EQ(GetComplexType(t.code, 0), 0);
        EXPECT_EQ(GetComplexType(t.code, 3), 0);
        EXPECT_EQ(IsComplexType(t.code), t.isComplex);
    }
}

// Each named code is the type the table names so, and together they cover 1 to 16.
TEST(DataTypes, CodesMatchTheirNames)
{
    const struct {
        DataTypeCode code;
        const char* name;
    } kNamed[] = {
        {UINT8, "UINT8"},       {SINT8, "SINT8"},       {UINT16, "UINT16"},   {SINT16, "SINT16"},
        {UINT32, "UINT32"},     {SINT32, "SINT32"},     {FLOAT32, "FLOAT32"}, {FLOAT64, "FLOAT64"},
        {CFLOAT32, "CFLOAT32"}, {CFLOAT64, "CFLOAT64"}, {CUINT8, "CUINT8"},   {CSINT8, "CSINT8"},
        {CUINT16, "CUINT16"},   {CSINT16, "CSINT16"},   {CUINT32, "CUINT32"}, {CSINT32, "CSINT32"},
    };
    unsigned seen = 0;
    for (const auto& n : kNamed) {
        SCOPED_TRACE(n.name);
        EXPECT_EQ(GetDataTypeName(n.code, 1), n.name);
        ASSERT_GE(int(n.code), 1);
        ASSERT_LE(int(n.code), 16);
        seen |= 1u << n.code;
    }
    EXPECT_EQ(seen, 0x1FFFEu);
    // A complex type's size is twice its real counterpart's.
    for (int t = UINT8; t <= FLOAT64; ++t)
        EXPECT_EQ(GetDataTypeSize(GetComplexType(t, 2)), 2 * GetDataTypeSize(t)) << t;
}

TEST(DataTypes, UnsignedTypeBySize)
{
    const int kCases[][2] = {{1, 1}, {2, 3}, {4, 5}, {0, 0}, {3, 0}, {8, 0}, {-1, 0}};
    for (const auto& c : kCases)
        EXPECT_EQ(GetUnsignedTypeBySize(c[0]), c[1]) << c[0];
}

TEST(DataTypes, ErrorStringStartsEmpty)
{
    EXPECT_EQ(ErrorString, "");
}

TEST(DataTypes, SwapBytesArrayReversesEachItem)
{
    struct Case {
        int size;
        int count;
        const char* in;
        const char* out;
    };
    const Case kCases[] = {
        {2, 3, "abcdef", "badcfe"}, {4, 2, "abcdefgh", "dcbahgfe"}, {8, 1, "abcdefgh", "hgfedcba"},
        {3, 2, "abcdef", "cbafed"}, {1, 4, "abcd", "abcd"},         {4, 0, "abcd", "abcd"},
        {0, 4, "abcd", "abcd"},     {-4, 1, "abcd", "abcd"},        {4, -1, "abcd", "abcd"},
        {2, 1, "abcd", "bacd"},  // only the counted items move
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.in + std::string(" size ") + std::to_string(c.size));
        std::string buf = c.in;
        SwapBytesArray(buf.data(), c.size, c.count);
        EXPECT_EQ(buf, c.out);
    }
    SwapBytesArray(nullptr, 4, 1);  // nothing to do, no crash
}

TEST(DataTypes, SwapBytes32ReversesInPlaceAndReturnsThePointer)
{
    std::uint32_t v = 0x01020304;
    EXPECT_EQ(SwapBytes32(&v), &v);
    EXPECT_EQ(v, 0x04030201u);
}

}  // namespace
