#pragma once
// Small integer and memory routines used all over the engine.

#include <cstddef>
#include <cstdint>
#include <string_view>

std::int32_t IntMin(std::int32_t X, std::int32_t Y);
std::int32_t IntMin3(std::int32_t X, std::int32_t Y, std::int32_t Z);
std::int32_t IntMax(std::int32_t X, std::int32_t Y);
std::int32_t IntMax3(std::int32_t X, std::int32_t Y, std::int32_t Z);

// (X * Y) / Z with the product in 64 bits, truncated toward zero. Z = 0 or a
// quotient outside 32 bits raises EIntDivision.
std::int32_t IntMulDiv(std::int32_t X, std::int32_t Y, std::int32_t Z);

// Fills exactly Count bytes with the 4 bytes of Pattern as they lie in memory,
// repeated; a tail of 1 to 3 bytes continues the same byte sequence. Count < 1
// does nothing.
void FillPattern32(void* Dest, std::ptrdiff_t Count, std::uint32_t Pattern);

// FillPattern32 on each of Rows rows of RowBytes bytes, the rows Stride bytes
// apart (Stride may be negative for bottom-up images).
void FillPattern2D(void* Dest, std::ptrdiff_t RowBytes, std::ptrdiff_t Rows, std::ptrdiff_t Stride,
                   std::uint32_t Pattern);

// Copies Count bytes; overlapping ranges are copied as through a temporary.
void MoveBlock(void* Dest, const void* Source, std::ptrdiff_t Count);

// Equality of two names, in UTF-8, ignoring the case of Latin and Cyrillic
// letters; every name comparison of the engine that ignores case goes through
// here. Bytes that are no valid UTF-8 compare as they are.
bool SameText(std::string_view A, std::string_view B);
// SameText, or exact equality when CaseSensitive.
bool SameName(std::string_view A, std::string_view B, bool CaseSensitive);
