#include "vector/VectorDXF.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <new>
#include <string_view>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/files/File.h"
#include "platform/files/ReplacingFile.h"
#include "vector/VectorImage.h"

namespace {

// ---- writing ----------------------------------------------------------------------

// A number for the format texts below: %d takes an int, %g a double.
struct Arg {
    bool isInt;
    int i;
    double d;
    Arg(int v) : isInt(true), i(v), d(0.0) {}
    Arg(double v) : isInt(false), i(0), d(v) {}
};

// Writes to a file in pieces, or keeps the whole text when it has no file.
class DxfWriter final {
public:
    explicit DxfWriter(plat::File* out) : m_out(out) {}

    // Appends fmt with each "\n" as CR LF and each %d / %g filled from args in order,
    // in the C locale whatever locale the program runs in (%g: 6 significant digits).
    void Emit(std::string_view fmt, std::initializer_list<Arg> args = {})
    {
        auto next = args.begin();
        for (std::size_t k = 0; k < fmt.size(); ++k) {
            const char c = fmt[k];
            if (c == '\n') {
                m_text += "\r\n";
            } else if (c == '%' && k + 1 < fmt.size() && next != args.end()) {
                char buf[64];
                const Arg a = *next++;
                const auto r = fmt[k + 1] == 'g'
                                   ? std::to_chars(buf, buf + sizeof buf, a.d, std::chars_format::general, 6)
                                   : std::to_chars(buf, buf + sizeof buf, a.i);
                m_text.append(buf, r.ptr);
                ++k;
            } else {
                m_text += c;
            }
        }
        if (m_out && m_text.size() >= (1u << 20))
            Flush();
    }

    void Flush()
    {
        if (!m_out)
            return;
        m_out->Write(m_text.data(), unsigned(m_text.size()));
        m_text.clear();
    }

    std::string& Text() { return m_text; }

private:
    plat::File* m_out;
    std::string m_text;
};

void WriteDrawing(DxfWriter& w, CVectorImage& image, int width, int height, int layer)
{
    w.Emit("  0\nSECTION\n  2\nHEADER\n");
    w.Emit("  9\n$ACADVER\n  1\nAC1006\n");
    w.Emit("  9\n$ANGBASE\n  50\n0.0\n");
    w.Emit("  9\n$ANGDIR\n  70\n0\n");
    w.Emit("  9\n$AUNITS\n  70\n0\n");
    w.Emit("  9\n$AUPREC\n  70\n0\n");
    w.Emit("  9\n$COORDS\n  70\n0\n");
    w.Emit("  9\n$LIMMIN\n  10\n0\n  20\n0\n");
    w.Emit("  9\n$LIMMAX\n  10\n%d\n  20\n%d\n", {width, height});
    w.Emit("  0\nENDSEC\n  0\nSECTION\n  2\nTABLES\n");
    w.Emit("  0\nTABLE\n  2\nLAYER\n 70\n    1\n");
    const int layers = image.GetNumLayer();
    for (int i = 0; i < layers; ++i)
        w.Emit("  0\nLAYER\n  2\n%d\n  70\n  0\n  62\n  %d\n  6\nCONTINUOUS\n", {i, i % 7 + 1});
    w.Emit("  0\nENDTAB\n");
    w.Emit("  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n");
    for (int i = 0; i < layers; ++i) {
        if (layer != -1 && layer != i)
            continue;
        for (const CVectorImage::Line* l = image.SetFirstLine(i); l; l = image.GetNextLine()) {
            const VectorVertex* v = l->Vertices();
            for (int j = 0; j + 1 < l->n; ++j)
                w.Emit("  0\nLINE\n  8\n%d\n  10\n%g\n  20\n%g\n  30\n0.0\n  11\n%g\n  21\n%g\n  31\n0.0\n",
                       {i, double(v[j].x), double(v[j].y), double(v[j + 1].x), double(v[j + 1].y)});
        }
        for (const CVectorImage::Point* p = image.SetFirstPoint(i); p; p = image.GetNextPoint())
            w.Emit("  0\nPOINT\n  8\n%d\n  10\n%g\n  20\n%g\n  30\n0.0\n", {i, double(p->x), double(p->y)});
    }
    w.Emit("  0\nENDSEC\n  0\nEOF\n");
    w.Flush();
}

// ---- reading ----------------------------------------------------------------------

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view value, std::string_view name)
{
    if (value.size() != name.size())
        return false;
    for (std::size_t k = 0; k < name.size(); ++k) {
        char c = value[k];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != name[k])
            return false;
    }
    return true;
}

// The group code and value lines of a DXF text, pair by pair. Only lines ended by a
// line feed count, so a text cut short ends at its last whole line.
class GroupReader final {
public:
    explicit GroupReader(std::string_view text) : m_text(text) {}

    // false at the end of the text, or with damaged set when a code is not a number.
    bool Next(int& code, std::string_view& value)
    {
        std::string_view codeLine, valueLine;
        if (!Line(codeLine) || !Line(valueLine))
            return false;
        codeLine = Trim(codeLine);
        const auto r = std::from_chars(codeLine.data(), codeLine.data() + codeLine.size(), code);
        if (codeLine.empty() || r.ec != std::errc() || r.ptr != codeLine.data() + codeLine.size()) {
            m_damage = "line " + std::to_string(m_line - 1) + ": a group code is not a number";
            return false;
        }
        value = Trim(valueLine);
        return true;
    }

    int LineNumber() const { return m_line; }
    const std::string& Damage() const { return m_damage; }
    void SetDamage(const std::string& why) { m_damage = "line " + std::to_string(m_line) + ": " + why; }

private:
    bool Line(std::string_view& line)
    {
        const std::size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos)
            return false;
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        ++m_line;
        return true;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 0;
    std::string m_damage;
};

// A coordinate in the C locale; false for text that is not a number or lies outside
// the float range of the overlay.
bool ParseCoordinate(std::string_view s, float& out)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0.0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v) ||
        std::fabs(v) > double(FLT_MAX))
        return false;
    out = float(v);
    return true;
}

struct Entities {
    std::vector<VectorVertex> points;
    std::vector<VectorVertex> lines;  // two vertices per line
    bool found = false;               // the file has an ENTITIES section
};

void ReadEntities(std::string_view text, Entities& out, std::string& damage)
{
    enum class Kind {
        Other,
        Point,
        Line
    };
    GroupReader groups(text);
    int code = 0;
    std::string_view value;
    bool inEntities = false, sectionStart = false;
    Kind kind = Kind::Other;
    float coords[4] = {};  // 10, 20, 11, 21
    unsigned have = 0;     // which of them the entity gave

    auto finish = [&] {
        if (kind == Kind::Point && (have & 3u) == 3u)
            out.points.push_back({coords[0], coords[1]});
        else if (kind == Kind::Line && have == 15u)
            out.lines.insert(out.lines.end(), {{coords[0], coords[1]}, {coords[2], coords[3]}});
        kind = Kind::Other;
        have = 0;
    };

    while (groups.Next(code, value)) {
        if (sectionStart) {
            sectionStart = false;
            if (code == 2 && SameName(value, "ENTITIES"))
                inEntities = out.found = true;
            continue;
        }
        if (code == 0) {
            finish();
            if (SameName(value, "EOF"))
                return;
            if (SameName(value, "SECTION")) {
                inEntities = false;
                sectionStart = true;
            } else if (SameName(value, "ENDSEC")) {
                inEntities = false;
            } else if (inEntities) {
                kind = SameName(value, "POINT") ? Kind::Point : SameName(value, "LINE") ? Kind::Line : Kind::Other;
            }
            continue;
        }
        if (kind == Kind::Other)
            continue;
        const int slot = code == 10 ? 0 : code == 20 ? 1 : code == 11 ? 2 : code == 21 ? 3 : -1;
        if (slot < 0 || (slot >= 2 && kind == Kind::Point) || (have & (1u << slot)))
            continue;
        if (!ParseCoordinate(value, coords[slot])) {
            groups.SetDamage("coordinate \"" + std::string(value.substr(0, 40)) + "\" is not a number in range");
            break;
        }
        have |= 1u << slot;
    }
    // An entity counts only once the next group 0 closes it: a cut value is never taken.
    // A file that stops inside the section was cut short: the reason says where.
    if (groups.Damage().empty() && inEntities)
        groups.SetDamage("the file ends inside the ENTITIES section, before its ENDSEC");
    damage = groups.Damage();
}

}  // namespace

int VectorToDXF(const char* path, CVectorImage* pVector, int width, int height, int layer)
{
    if (path == nullptr || pVector == nullptr)
        return 0;
    try {
        plat::ReplacingFile out(path);
        DxfWriter writer(&out.Out());
        WriteDrawing(writer, *pVector, width, height, layer);
        out.Commit();
        return 1;
    } catch (plat::Exception* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    return 0;
}

int DXFToVector(CVectorImage* pVector, const char* path, int layer, std::string* reason)
{
    auto fail = [&](const std::string& why) {
        if (reason)
            *reason = why;
        return 0;
    };
    if (reason)
        reason->clear();
    if (pVector == nullptr || !pVector->IsOpen() || layer < 0 || layer >= pVector->GetNumLayer())
        return fail("the overlay has no such layer");
    if (path == nullptr)
        return fail("no file");

    std::string text;
    try {
        plat::File f;
        int err = 0;
        if (!f.Open(path, plat::File::modeRead, &err))
            return fail(std::string("cannot open ") + path);
        const std::int64_t size = f.GetLength();
        if (size > INT_MAX)
            return fail(std::string(path) + " is too large for a DXF drawing");
        text.resize(std::size_t(size));
        if (size > 0 && f.Read(text.data(), unsigned(size)) != unsigned(size))
            return fail(std::string("cannot read ") + path);
    } catch (plat::Exception* e) {
        e->Delete();
        return fail(std::string("cannot read ") + path);
    } catch (const std::bad_alloc&) {
        return fail(std::string("no memory to read ") + path);
    }

    return DXFTextToVector(pVector, text, layer, reason, path);
}

int DXFTextToVector(CVectorImage* pVector, std::string_view text, int layer, std::string* reason, const std::string& name)
{
    auto fail = [&](const std::string& why) {
        if (reason)
            *reason = why;
        return 0;
    };
    if (reason)
        reason->clear();
    if (pVector == nullptr || !pVector->IsOpen() || layer < 0 || layer >= pVector->GetNumLayer())
        return fail("the overlay has no such layer");
    Entities found;
    std::string damage;
    ReadEntities(text, found, damage);
    if (!found.found)
        return fail(name + " has no ENTITIES section");

    for (const VectorVertex& v : found.points) {
        const CVectorImage::Point p{v.x, v.y, 0};
        pVector->Add(layer, p);
    }
    for (std::size_t k = 0; k + 1 < found.lines.size(); k += 2) {
        CVectorImage::LineRecord line({found.lines[k], found.lines[k + 1]});
        pVector->Add(layer, line.Get());
    }
    if (reason)
        *reason = damage;
    return 1;
}

std::string VectorToDXFText(CVectorImage* pVector, int width, int height, int layer)
{
    if (pVector == nullptr)
        return {};
    DxfWriter writer(nullptr);
    WriteDrawing(writer, *pVector, width, height, layer);
    return std::move(writer.Text());
}
