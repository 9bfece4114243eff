#include "engine3d/model/GeneralProc.h"

#include "engine3d/model/SClassLib.h"

#include <cstring>
#include <limits>

std::int32_t IntMin(std::int32_t X, std::int32_t Y)
{
    return X < Y ? X : Y;
}

std::int32_t IntMin3(std::int32_t X, std::int32_t Y, std::int32_t Z)
{
    return IntMin(IntMin(X, Y), Z);
}

std::int32_t IntMax(std::int32_t X, std::int32_t Y)
{
    return X > Y ? X : Y;
}

std::int32_t IntMax3(std::int32_t X, std::int32_t Y, std::int32_t Z)
{
    return IntMax(IntMax(X, Y), Z);
}

std::int32_t IntMulDiv(std::int32_t X, std::int32_t Y, std::int32_t Z)
{
    if (Z == 0)
        throw EIntDivision("Division by zero");
    // |X * Y| <= 2^62, so neither the product nor the quotient overflows 64 bits.
    const std::int64_t q = static_cast<std::int64_t>(X) * Y / Z;
    if (q < std::numeric_limits<std::int32_t>::min() || q > std::numeric_limits<std::int32_t>::max())
        throw EIntDivision("Integer overflow in division");
    return static_cast<std::int32_t>(q);
}

void FillPattern32(void* Dest, std::ptrdiff_t Count, std::uint32_t Pattern)
{
    if (Count < 1)
        return;
    unsigned char bytes[4];
    std::memcpy(bytes, &Pattern, 4);
    auto* d = static_cast<unsigned char*>(Dest);
    const std::ptrdiff_t whole = Count / 4;
    for (std::ptrdiff_t i = 0; i < whole; ++i, d += 4)
        std::memcpy(d, bytes, 4);
    // The tail repeats the pattern's leading bytes, so the fill reads as one
    // continuous sequence whatever Count is.
    std::memcpy(d, bytes, static_cast<std::size_t>(Count % 4));
}

void FillPattern2D(void* Dest, std::ptrdiff_t RowBytes, std::ptrdiff_t Rows, std::ptrdiff_t Stride,
                   std::uint32_t Pattern)
{
    if (RowBytes < 1 || Rows < 1)
        return;
    auto* row = static_cast<unsigned char*>(Dest);
    for (std::ptrdiff_t r = 0; r < Rows; ++r) {
        FillPattern32(row, RowBytes, Pattern);
        if (r + 1 < Rows)
            row += Stride;
    }
}

void MoveBlock(void* Dest, const void* Source, std::ptrdiff_t Count)
{
    if (Count < 1 || Dest == Source)
        return;
    std::memmove(Dest, Source, static_cast<std::size_t>(Count));
}

namespace {

// The next code point of Text at At, advancing At. A byte that starts no valid
// sequence stands for itself, above the code point range so that it never
// equals a letter.
char32_t NextCodePoint(std::string_view Text, std::size_t& At)
{
    const auto lead = static_cast<unsigned char>(Text[At]);
    const auto invalid = [&] {
        ++At;
        return static_cast<char32_t>(0x110000 + lead);
    };
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        ++At;
        return lead;
    } else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return invalid();
    }
    if (Text.size() - At <= static_cast<std::size_t>(extra))
        return invalid();
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(Text[At + static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80)
            return invalid();
        cp = (cp << 6) | (b & 0x3F);
    }
    At += static_cast<std::size_t>(extra) + 1;
    return cp;
}

// The lower-case form of a Latin or Cyrillic capital; any other code point as it is.
char32_t FoldCase(char32_t C)
{
    if (C >= U'A' && C <= U'Z')
        return C + 0x20;
    if (C >= 0x0410 && C <= 0x042F)  // А to Я
        return C + 0x20;
    if (C >= 0x0400 && C <= 0x040F)  // Ѐ to Џ, Ё among them
        return C + 0x50;
    // Historic and national letters come in pairs, capital first.
    if ((C >= 0x0460 && C <= 0x0481) || (C >= 0x048A && C <= 0x04BF) || (C >= 0x04D0 && C <= 0x04FF))
        return C | 1;
    if (C >= 0x04C1 && C <= 0x04CE)
        return (C & 1) ? C + 1 : C;
    if (C == 0x04C0)
        return 0x04CF;
    return C;
}

}  // namespace

bool SameText(std::string_view A, std::string_view B)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < A.size() && j < B.size())
        if (FoldCase(NextCodePoint(A, i)) != FoldCase(NextCodePoint(B, j)))
            return false;
    return i == A.size() && j == B.size();
}

bool SameName(std::string_view A, std::string_view B, bool CaseSensitive)
{
    return CaseSensitive ? A == B : SameText(A, B);
}
