#include "ascii/AsciiText.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "ascii/AsciiStrings.h"
#include "layer/DataTypes.h"

namespace {

// The C locale for this thread while it lives; the previous one after.
class CLocaleScope {
public:
    CLocaleScope() : m_previous(::uselocale(CLocale())) {}
    ~CLocaleScope()
    {
        if (m_previous != locale_t(0))
            ::uselocale(m_previous);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    static locale_t CLocale()
    {
        static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(0));
        return c;
    }
    locale_t m_previous;
};

using Reader = std::function<std::int64_t(std::int64_t, void*, std::int64_t)>;

template <typename T>
T Load(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void AppendUnsigned(std::string& out, std::uint32_t v)
{
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void AppendSigned(std::string& out, std::int32_t v)
{
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// "%f": fixed, six decimals, "inf" / "nan" with their sign, as printf writes them.
void AppendFixed(std::string& out, double v)
{
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    out.append(buf, r.ptr);
}

// One component (real type) at p.
void AppendComponent(std::string& out, int type, const unsigned char* p)
{
    switch (type) {
    case UINT8: AppendUnsigned(out, Load<std::uint8_t>(p)); break;
    case UINT16: AppendUnsigned(out, Load<std::uint16_t>(p)); break;
    case UINT32: AppendUnsigned(out, Load<std::uint32_t>(p)); break;
    case SINT8: AppendSigned(out, Load<std::int8_t>(p)); break;
    case SINT16: AppendSigned(out, Load<std::int16_t>(p)); break;
    case SINT32: AppendSigned(out, Load<std::int32_t>(p)); break;
    case FLOAT32: AppendFixed(out, double(Load<float>(p))); break;
    case FLOAT64: AppendFixed(out, Load<double>(p)); break;
    default: break;
    }
}

// The real component type of a complex type; the type itself for a real one.
int ComponentType(int type)
{
    switch (type) {
    case CFLOAT32: return FLOAT32;
    case CFLOAT64: return FLOAT64;
    case CUINT8: return UINT8;
    case CSINT8: return SINT8;
    case CUINT16: return UINT16;
    case CSINT16: return SINT16;
    case CUINT32: return UINT32;
    case CSINT32: return SINT32;
    default: return type;
    }
}

}  // namespace

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The plain decimal forms ("-12", "3.", ".5", "1.5e-3") followed by white space
// or the end: read as strtof reads them. Anything else (a sign '+', hex, inf,
// nan, a number running into other text, a value out of range) answers -1 and is
// left to sscanf. Otherwise the count read, with v set as sscanf sets it.
int ParsePlainPoint(const char* p, float v[3])
{
    float out[3];
    int n = 0;
    for (; n < 3; ++n) {
        while (IsSpace(*p))
            ++p;
        if (*p == '\0')
            break;
        const char* start = p;
        if (*p == '-')
            ++p;
        const char* digits = p;
        while (IsDigit(*p))
            ++p;
        bool any = p != digits;
        if (*p == '.') {
            ++p;
            const char* frac = p;
            while (IsDigit(*p))
                ++p;
            any = any || p != frac;
        }
        if (!any)
            return -1;
        if (*p == 'e' || *p == 'E') {
            ++p;
            if (*p == '+' || *p == '-')
                ++p;
            const char* exp = p;
            while (IsDigit(*p))
                ++p;
            if (p == exp)
                return -1;
        }
        if (*p != '\0' && !IsSpace(*p))
            return -1;
        const auto r = std::from_chars(start, p, out[n]);
        if (r.ec != std::errc() || r.ptr != p)
            return -1;
    }
    for (int i = 0; i < n; ++i)
        v[i] = out[i];
    return n;
}

}  // namespace

int ParseAsciiPoint(const char* text, float v[3])
{
    if (const int n = ParsePlainPoint(text, v); n >= 0)
        return n;
    const CLocaleScope c;
    const int n = std::sscanf(text, "%f%f%f", &v[0], &v[1], &v[2]);
    return n < 0 ? 0 : n;
}

void ForEachTextLine(const Reader& read, const std::function<bool(const char*, std::int64_t)>& line,
                     std::int64_t maxLine)
{
    // Small for a small file, growing to 256 KB for a long one; not zeroed (every
    // byte used is read first). A block is done with before the next read.
    std::size_t block = std::size_t(1) << 12;
    std::unique_ptr<char[]> storage = std::make_unique_for_overwrite<char[]>(block);
    std::string partial;
    bool pending = false;  // a line has begun in an earlier block
    std::int64_t pos = 0;
    auto keep = [&](const char* p, std::int64_t n) {
        const std::int64_t room = maxLine - std::int64_t(partial.size());
        if (room > 0)
            partial.append(p, std::size_t(std::min(room, n)));
    };
    bool full = false;  // the last read filled its block
    for (;;) {
        if (full && block < (std::size_t(1) << 18)) {
            block *= 4;
            storage = std::make_unique_for_overwrite<char[]>(block);
        }
        char* const data = storage.get();
        const std::int64_t n = read(pos, data, std::int64_t(block));
        if (n <= 0)
            break;
        full = std::size_t(n) == block;
        char* p = data;
        char* const e = p + n;
        while (p < e) {
            char* nl = static_cast<char*>(std::memchr(p, '\n', std::size_t(e - p)));
            if (!nl) {
                keep(p, e - p);
                pending = true;
                break;
            }
            const std::int64_t end = pos + (nl - data) + 1;
            bool go;
            if (pending) {
                keep(p, nl - p);
                go = line(partial.c_str(), end);
                partial.clear();
                pending = false;
            } else {
                *nl = '\0';
                if (nl - p > maxLine)
                    p[maxLine] = '\0';
                go = line(p, end);
            }
            if (!go)
                return;
            p = nl + 1;
        }
        pos += n;
    }
    if (pending)
        line(partial.c_str(), pos);
}

bool ScanAsciiStatistics(const Reader& read, AsciiStatistics* stats)
{
    float v[3] = {0.0f, 0.0f, 0.0f};
    bool first = true;
    ForEachTextLine(read, [&](const char* text, std::int64_t) {
        ParseAsciiPoint(text, v);
        for (int i = 0; i < 3; ++i) {
            if (first || v[i] < stats->minimum[i])
                stats->minimum[i] = v[i];
            if (first || v[i] > stats->maximum[i])
                stats->maximum[i] = v[i];
        }
        first = false;
        return true;
    });
    return !first;
}

bool ScanAsciiStatisticsFile(const std::string& path, AsciiStatistics* stats)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bool failed = false;
    ScanAsciiStatistics(
        [&](std::int64_t offset, void* buf, std::int64_t bytes) -> std::int64_t {
            in.clear();
            in.seekg(offset);
            in.read(static_cast<char*>(buf), bytes);
            if (in.bad())
                failed = true;
            return failed ? 0 : std::int64_t(in.gcount());
        },
        stats);
    return !failed;
}

std::string CheckAsciiImport(const int roles[3], const AsciiStatistics& stats, AsciiImportJob* job)
{
    if (roles[0] == roles[1] || roles[0] == roles[2] || roles[1] == roles[2])
        return LoadAsciiString(IDS_ASCII_DIFFERENT_COLUMNS);
    int column[3] = {-1, -1, -1};  // of X, Y and Z
    for (int i = 0; i < 3; ++i)
        if (roles[i] >= 0 && roles[i] < 3)
            column[roles[i]] = i;
    if (column[0] < 0 || column[1] < 0 || column[2] < 0)
        return "Unable convert";
    const double minX = stats.minimum[column[0]], maxX = stats.maximum[column[0]];
    const double minY = stats.minimum[column[1]], maxY = stats.maximum[column[1]];
    // NaN fails every comparison: each limit is checked for being a number first.
    if (!std::isfinite(minX) || minX < 0 || minX > 1)
        return "Invalid MinX";
    if (!std::isfinite(minY) || minY < 0 || minY > 1)
        return "Invalid MinY";
    if (!std::isfinite(maxX) || maxX < minX || maxX > 2147483647.0)
        return "Invalid MaxX";
    if (!std::isfinite(maxY) || maxY < minY || maxY > 2147483647.0)
        return "Invalid MaxY";
    job->minX = std::int32_t(minX);
    job->minY = std::int32_t(minY);
    job->maxX = std::int32_t(maxX);
    job->maxY = std::int32_t(maxY);
    job->columnX = column[0];
    job->columnY = column[1];
    job->columnZ = column[2];
    return {};
}

void FillAsciiGrid(const Reader& read, const AsciiImportJob& job, void** rows, int width, int height,
                   const std::function<void(std::int64_t)>& progress)
{
    float v[3] = {0.0f, 0.0f, 0.0f};
    std::int64_t reported = 0;
    ForEachTextLine(read, [&](const char* text, std::int64_t end) {
        ParseAsciiPoint(text, v);
        const double x = v[job.columnX];
        const double y = v[job.columnY];
        if (std::isfinite(x) && std::isfinite(y)) {
            const double col = std::trunc(x) - job.minX;
            const double row = std::trunc(y) - job.minY;
            if (col >= 0 && col < width && row >= 0 && row < height) {
                const float z = v[job.columnZ];
                std::memcpy(static_cast<unsigned char*>(rows[std::size_t(row)]) + std::size_t(col) * sizeof z, &z,
                            sizeof z);
            }
        }
        if (progress && end - reported >= (1 << 16)) {
            reported = end;
            progress(end);
        }
        return true;
    });
}

void AppendAsciiValue(std::string& out, int type, const unsigned char* p, const std::string& delimiter)
{
    const int component = ComponentType(type);
    AppendComponent(out, component, p);
    if (component != type) {
        out += delimiter;
        AppendComponent(out, component, p + GetDataTypeSize(component));
    }
}

void FormatAsciiColumnsRow(std::string& out, int type, const unsigned char* row, int width, int rowIndex,
                           const std::string& delimiter)
{
    out.clear();
    const int size = GetDataTypeSize(type);
    for (int x = 0; x < width; ++x) {
        AppendUnsigned(out, std::uint32_t(x));
        out += delimiter;
        AppendUnsigned(out, std::uint32_t(rowIndex));
        out += delimiter;
        AppendAsciiValue(out, type, row + std::size_t(x) * std::size_t(size), delimiter);
        out += '\n';
    }
}

void FormatAsciiMatrixRow(std::string& out, int type, const unsigned char* row, int width,
                          const std::string& delimiter)
{
    out.clear();
    const int size = GetDataTypeSize(type);
    for (int x = 0; x < width; ++x) {
        if (x > 0)
            out += delimiter;
        AppendAsciiValue(out, type, row + std::size_t(x) * std::size_t(size), delimiter);
    }
    out += '\n';
}
