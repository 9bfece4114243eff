#pragma once
// The sixteen sample types: codes, sizes, names, complex counterparts, and the
// byte-order helpers shared by every reader of foreign data.

#include <string>

// Sample type codes as stored in the layer header tag. Codes 9 to 16 are complex:
// the real part followed by the imaginary part, each of the component type.
enum DataTypeCode : int {
    UINT8 = 1,
    SINT8 = 2,
    UINT16 = 3,
    SINT16 = 4,
    UINT32 = 5,
    SINT32 = 6,
    FLOAT32 = 7,
    FLOAT64 = 8,
    CFLOAT32 = 9,
    CFLOAT64 = 10,
    CUINT8 = 11,
    CSINT8 = 12,
    CUINT16 = 13,
    CSINT16 = 14,
    CUINT32 = 15,
    CSINT32 = 16,
};

// Bytes per sample; 0 for an unknown code.
int GetDataTypeSize(int type);
// form 0: the long name from the string table; form 1: the short name. An unknown
// code gives string 5038 in both forms; any other form gives "".
std::string GetDataTypeName(int type, int form);
// 1, 2 and 4 give UINT8, UINT16 and UINT32; anything else 0.
int GetUnsignedTypeBySize(int size);
// kind 1: type itself, unchecked; kind 2: the complex counterpart of a real type
// (0 for codes outside 1 to 8); any other kind 0.
int GetComplexType(int type, int kind);
// 1 for codes 9 to 16, else 0.
int IsComplexType(int type);

// Reverses the byte order of each of count items of size bytes, in place.
void SwapBytesArray(void* buf, int size, int count);
// Reverses the four bytes at p in place and returns p.
void* SwapBytes32(void* p);

// Shared message suffix; nothing in the library assigns it.
extern std::string ErrorString;
