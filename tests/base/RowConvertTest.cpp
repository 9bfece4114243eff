#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "format/RowConvert.h"
#include "layer/DataTypes.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- an independent model of the conversion rules, byte by byte ------------

struct Component {
    bool isFloat;
    bool isSigned;
    int bytes;
};

struct TypeInfo {
    Component comp;
    bool complex;
};

TypeInfo Info(int type)
{
    static const TypeInfo kTable[] = {
        {{false, false, 1}, false}, {{false, true, 1}, false}, {{false, false, 2}, false}, {{false, true, 2}, false},
        {{false, false, 4}, false}, {{false, true, 4}, false}, {{true, true, 4}, false},   {{true, true, 8}, false},
        {{true, true, 4}, true},    {{true, true, 8}, true},   {{false, false, 1}, true},  {{false, true, 1}, true},
        {{false, false, 2}, true},  {{false, true, 2}, true},  {{false, false, 4}, true},  {{false, true, 4}, true},
    };
    return kTable[type - 1];
}

// A component's value: an integer (sign- or zero-extended to 64 bits) or a double.
struct Value {
    bool isFloat = false;
    std::int64_t i = 0;
    double f = 0;
    double AsDouble() const { return isFloat ? f : double(i); }
};

Value Decode(Component c, const unsigned char* p)
{
    Value v;
    if (c.isFloat) {
        v.isFloat = true;
        if (c.bytes == 4) {
            float f;
            std::memcpy(&f, p, 4);
            v.f = f;
        } else {
            std::memcpy(&v.f, p, 8);
        }
        return v;
    }
    std::uint64_t u = 0;
    std::memcpy(&u, p, size_t(c.bytes));  // little-endian: the low bytes
    const int shift = 64 - 8 * c.bytes;
    v.i = c.isSigned ? std::int64_t(u << shift) >> shift : std::int64_t(u);
    return v;
}

void Encode(Component c, Value v, unsigned char* out)
{
    if (!c.isFloat) {
        std::int64_t t = v.i;
        if (v.isFloat) {
            // Truncation toward zero to 64 bits; NaN and values outside give 0.
            const bool inRange = v.f >= -9223372036854775808.0 && v.f < 9223372036854775808.0;
            t = inRange ? std::int64_t(std::trunc(v.f)) : 0;
        }
        std::memcpy(out, &t, size_t(c.bytes));
    } else if (c.bytes == 4) {
        const float f = v.isFloat ? float(v.f) : float(v.i);
        std::memcpy(out, &f, 4);
    } else {
        const double d = v.AsDouble();
        std::memcpy(out, &d, 8);
    }
}

Bytes ModelConvert(int s, int d, const unsigned char* src)
{
    const TypeInfo si = Info(s), di = Info(d);
    Bytes out(size_t(GetDataTypeSize(d)));
    const Value re = Decode(si.comp, src);
    if (si.complex && !di.complex) {
        const Value im = Decode(si.comp, src + si.comp.bytes);
        Value a;
        a.isFloat = true;
        a.f = std::sqrt(re.AsDouble() * re.AsDouble() + im.AsDouble() * im.AsDouble());
        Encode(di.comp, a, out.data());
        return out;
    }
    Encode(di.comp, re, out.data());
    if (di.complex)
        Encode(di.comp, si.complex ? Decode(si.comp, src + si.comp.bytes) : Value{}, out.data() + di.comp.bytes);
    return out;
}

// ---- boundary samples of every type -----------------------------------------

template <class T>
void Put(Bytes& b, T v)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&v);
    b.insert(b.end(), p, p + sizeof v);
}

// The boundary values of a component type, as raw components.
std::vector<Bytes> ComponentValues(Component c)
{
    std::vector<Bytes> out;
    auto add = [&](auto v) {
        Bytes b;
        Put(b, v);
        out.push_back(b);
    };
    if (c.isFloat && c.bytes == 4) {
        for (float v : {float(kNaN), float(kInf), float(-kInf), -0.0f, 0.0f, 0.5f, -1.5f, 1.9f, -1.9f, 300.7f, 65535.9f,
                        3e9f, -3e9f, 1e20f, -1e20f, std::numeric_limits<float>::max(), 1e-45f})
            add(v);
    } else if (c.isFloat) {
        for (double v : {kNaN, kInf, -kInf, -0.0, 0.0, 2.9, -1.5, 0.1, 255.5, -128.7, 4294967296.5, -2147483649.0,
                         9223372036854775808.0, -9223372036854775808.0, 9223372036854774784.0, 1e300, -1e300, 1e-320})
            add(v);
    } else if (c.bytes == 1) {
        for (int v : {0, 1, 127, 128, 255})
            add(std::uint8_t(v));  // the same bytes read as signed give -128 and -1
    } else if (c.bytes == 2) {
        for (int v : {0, 1, 255, 256, 300, 32767, 32768, 65535})
            add(std::uint16_t(v));
    } else {
        for (std::uint32_t v : {0u, 1u, 65537u, 16777217u, 2147483647u, 2147483648u, 4000000000u, 4294967295u})
            add(v);
    }
    return out;
}

// Samples of a type: every boundary component, and for complex types every one
// paired with others as imaginary parts.
Bytes Samples(int type, int* count)
{
    const TypeInfo t = Info(type);
    const std::vector<Bytes> values = ComponentValues(t.comp);
    Bytes out;
    *count = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int partners = t.complex ? 3 : 1;
        for (int k = 0; k < partners; ++k) {
            out.insert(out.end(), values[i].begin(), values[i].end());
            if (t.complex) {
                const Bytes& im = values[(i + 1 + 5 * k) % values.size()];
                out.insert(out.end(), im.begin(), im.end());
            }
            ++*count;
        }
    }
    return out;
}

TEST(RowConvert, EveryPairFollowsTheRulesOnBoundaryValues)
{
    for (int s = 1; s <= 16; ++s) {
        int count = 0;
        const Bytes one = Samples(s, &count);
        // Several copies, so that runs long enough for vector loops and their
        // remainders both pass.
        Bytes src;
        for (int r = 0; r < 7; ++r)
            src.insert(src.end(), one.begin(), one.end());
        const int n = 7 * count;
        const int ss = GetDataTypeSize(s);
        for (int d = 1; d <= 16; ++d) {
            SCOPED_TRACE(testing::Message() << GetDataTypeName(s, 1) << " to " << GetDataTypeName(d, 1));
            const auto convert = sample::GetRowConverter(s, d);
            ASSERT_NE(convert, nullptr);
            const int ds = GetDataTypeSize(d);
            Bytes dst(size_t(n * ds + 1), 0xA5);
            convert(src.data(), dst.data(), n);
            EXPECT_EQ(dst.back(), 0xA5) << "wrote past the run";
            int failures = 0;
            for (int i = 0; i < n && failures < 3; ++i) {
                const Bytes want = ModelConvert(s, d, src.data() + i * ss);
                const Bytes got(dst.begin() + i * ds, dst.begin() + (i + 1) * ds);
                if (got != want) {
                    ++failures;
                    ADD_FAILURE() << "sample " << i;
                }
            }
        }
    }
}

// The notable results, spelled out.
TEST(RowConvert, BoundaryResults)
{
    auto bytes = [](auto... v) {
        Bytes b;
        (Put(b, v), ...);
        return b;
    };
    struct Case {
        const char* what;
        int s;
        Bytes in;
        int d;
        Bytes out;
    };
    const Case kCases[] = {
        {"NaN to UINT8", FLOAT64, bytes(kNaN), UINT8, bytes(std::uint8_t(0))},
        {"+inf to SINT32", FLOAT32, bytes(float(kInf)), SINT32, bytes(std::int32_t(0))},
        {"1e20 beyond 64 bits to UINT32", FLOAT32, bytes(1e20f), UINT32, bytes(std::uint32_t(0))},
        {"-2^63 keeps its zero low bytes", FLOAT64, bytes(-9223372036854775808.0), SINT16, bytes(std::int16_t(0))},
        {"3e9 to SINT32 wraps", FLOAT32, bytes(3e9f), SINT32, bytes(std::int32_t(-1294967296))},
        {"-3e9 to UINT32 wraps", FLOAT32, bytes(-3e9f), UINT32, bytes(std::uint32_t(1294967296u))},
        {"300.7 to UINT8", FLOAT32, bytes(300.7f), UINT8, bytes(std::uint8_t(44))},
        {"-1.5 to UINT8", FLOAT64, bytes(-1.5), UINT8, bytes(std::uint8_t(255))},
        {"-0.0 to FLOAT64 keeps its sign", FLOAT32, bytes(-0.0f), FLOAT64, bytes(-0.0)},
        {"-0.0 to SINT16", FLOAT64, bytes(-0.0), SINT16, bytes(std::int16_t(0))},
        {"1e300 to FLOAT32", FLOAT64, bytes(1e300), FLOAT32, bytes(float(kInf))},
        {"-1e300 to CFLOAT32", FLOAT64, bytes(-1e300), CFLOAT32, bytes(float(-kInf), 0.0f)},
        {"UINT32 max to FLOAT32", UINT32, bytes(4294967295u), FLOAT32, bytes(4294967296.0f)},
        {"UINT32 max to FLOAT64", UINT32, bytes(4294967295u), FLOAT64, bytes(4294967295.0)},
        {"UINT32 max to SINT16", UINT32, bytes(4294967295u), SINT16, bytes(std::int16_t(-1))},
        {"SINT8 -1 to UINT32", SINT8, bytes(std::int8_t(-1)), UINT32, bytes(4294967295u)},
        {"UINT16 300 to CSINT8", UINT16, bytes(std::uint16_t(300)), CSINT8, bytes(std::int8_t(44), std::int8_t(0))},
        {"CSINT16 (3, -4) to UINT8", CSINT16, bytes(std::int16_t(3), std::int16_t(-4)), UINT8, bytes(std::uint8_t(5))},
        {"CUINT8 (255, 255) to FLOAT32", CUINT8, bytes(std::uint8_t(255), std::uint8_t(255)), FLOAT32,
         bytes(float(std::sqrt(2.0 * 255 * 255)))},
        {"CFLOAT32 (inf, 0) to UINT8", CFLOAT32, bytes(float(kInf), 0.0f), UINT8, bytes(std::uint8_t(0))},
        {"CFLOAT32 (1.9, -1.9) to CSINT8", CFLOAT32, bytes(1.9f, -1.9f), CSINT8,
         bytes(std::int8_t(1), std::int8_t(-1))},
        {"CFLOAT64 to CUINT16", CFLOAT64, bytes(-1.5, 65536.5), CUINT16, bytes(std::uint16_t(65535), std::uint16_t(0))},
        {"CSINT32 to CFLOAT64", CSINT32, bytes(std::int32_t(-7), std::int32_t(2147483647)), CFLOAT64,
         bytes(-7.0, 2147483647.0)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.in.size(), size_t(GetDataTypeSize(c.s)));
        ASSERT_EQ(c.out.size(), size_t(GetDataTypeSize(c.d)));
        Bytes out(c.out.size(), 0xA5);
        sample::GetRowConverter(c.s, c.d)(c.in.data(), out.data(), 1);
        EXPECT_EQ(out, c.out);
    }

    // A NaN amplitude stays NaN in a float.
    const Bytes nanIn = bytes(kNaN, 1.0);
    double amplitude = 0;
    sample::GetRowConverter(CFLOAT64, FLOAT64)(nanIn.data(), reinterpret_cast<unsigned char*>(&amplitude), 1);
    EXPECT_TRUE(std::isnan(amplitude));
}

TEST(RowConvert, EqualTypesCopyOverlappingRunsAndUnknownCodesHaveNoConverter)
{
    Bytes b = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    sample::GetRowConverter(SINT16, SINT16)(b.data(), b.data() + 2, 4);
    EXPECT_EQ(b, (Bytes{1, 2, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(sample::GetRowConverter(0, UINT8), nullptr);
    EXPECT_EQ(sample::GetRowConverter(UINT8, 17), nullptr);
    EXPECT_EQ(sample::GetRowConverter(-1, -1), nullptr);
}

}  // namespace
