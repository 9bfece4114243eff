#include "GeneralProc.h"

#include "SClassLib.h"

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
