#include "layer/Transform.h"

#include <cmath>

#include "layer/RDPFileTags.h"

namespace {

// 1 / determinant, or 0 when the map (or the point triple) is degenerate: a zero or
// subnormal determinant would give infinities, a NaN entry a NaN.
double InverseDeterminant(double det)
{
    if (det == 0.0)
        return 0.0;
    const double k = 1.0 / det;
    return std::isfinite(k) ? k : 0.0;
}

// A step or a history that can be stored: finite and invertible, so that every later
// reader can map coordinates both ways.
bool Usable(const TransformMatrix& m)
{
    for (double v : {m.a, m.b, m.c, m.d, m.e, m.f})
        if (!std::isfinite(v))
            return false;
    return InverseDeterminant(m.a * m.d - m.b * m.c) != 0.0;
}

// The history in layer 0 of file: the identity when it has none; false when the file
// is not a readable layer file or its record is too short to hold one.
bool ReadHistory(const std::string& file, TransformTag* rec)
{
    if (GetNumLayer(file.c_str()) <= 0)
        return false;
    const int size = GetSizeTag(file.c_str(), kTransformTagNumber);
    if (size == 0)
        return true;
    // A longer record (an old one overwritten in place) still starts with the history.
    return size >= kTransformTagSize && GetTag(file.c_str(), kTransformTagNumber, kTransformTagSize, rec) == 1;
}

int SaveStep(const TransformMatrix& step, const std::string& src, const std::string& dst)
{
    if (!Usable(step))
        return 0;
    TransformTag rec;
    if (!ReadHistory(src, &rec))
        return 0;
    CalcMultiplicationTransform(&rec.matrix, &step, &rec.matrix);
    rec.length = kTransformTagSize;
    if (!Usable(rec.matrix))
        return 0;
    return SetTag(dst.c_str(), kTransformTagNumber, kTransformTagSize, &rec) == 1 ? 1 : 0;
}

}  // namespace

void UnitTransform(TransformMatrix* m)
{
    *m = TransformMatrix{};
}

void EquateTransform(const TransformMatrix* src, TransformMatrix* dst)
{
    *dst = *src;
}

void DirectTransformPoint(const TransformMatrix* m, const SPoint* in, SPoint* out)
{
    const SPoint p = *in;
    out->x = m->a * p.x + m->b * p.y + m->e;
    out->y = m->c * p.x + m->d * p.y + m->f;
}

int InverseTransformPoint(const TransformMatrix* m, const SPoint* in, SPoint* out)
{
    const double k = InverseDeterminant(m->a * m->d - m->b * m->c);
    if (k == 0.0)
        return 0;
    const double dx = in->x - m->e;
    const double dy = in->y - m->f;
    out->x = (dx * m->d - dy * m->b) * k;
    out->y = k * (-m->c * dx + dy * m->a);
    return 1;
}

int CalcInverseTransform(const TransformMatrix* m, TransformMatrix* out)
{
    const double k = InverseDeterminant(m->a * m->d - m->b * m->c);
    if (k == 0.0)
        return 0;
    TransformMatrix r;
    r.a = m->d * k;
    r.b = -k * m->b;
    r.c = -k * m->c;
    r.d = k * m->a;
    r.e = -(r.a * m->e + r.b * m->f);
    r.f = -(r.c * m->e + r.d * m->f);
    *out = r;
    return 1;
}

void CalcMultiplicationTransform(const TransformMatrix* first, const TransformMatrix* second, TransformMatrix* out)
{
    const TransformMatrix m1 = *first;
    const TransformMatrix m2 = *second;
    out->a = m2.a * m1.a + m2.b * m1.c;
    out->b = m2.a * m1.b + m2.b * m1.d;
    out->c = m2.c * m1.a + m2.d * m1.c;
    out->d = m2.c * m1.b + m2.d * m1.d;
    out->e = m2.a * m1.e + m2.b * m1.f + m2.e;
    out->f = m2.c * m1.e + m2.d * m1.f + m2.f;
}

void SubsetTransform(const SPoint* origin, TransformMatrix* m)
{
    *m = TransformMatrix{1.0, 0.0, 0.0, 1.0, -origin->x, -origin->y};
}

void RotateTransform(const SPoint* centre, double angle, TransformMatrix* m)
{
    const double cx = centre->x;
    const double cy = centre->y;
    const double cs = std::cos(angle);
    const double sn = std::sin(angle);
    *m = TransformMatrix{cs, sn, -sn, cs, cx - cx * cs - cy * sn, cy + cx * sn - cy * cs};
}

void DegradeTransform(double sx, double sy, TransformMatrix* m)
{
    *m = TransformMatrix{sx, 0.0, 0.0, sy, 0.0, 0.0};
}

int CalculationTransform(const SPoint* p1, const SPoint* p2, const SPoint* p3, const SPoint* q1, const SPoint* q2,
                         const SPoint* q3, TransformMatrix* m)
{
    const double dx1 = p2->x - p1->x;
    const double dy1 = p2->y - p1->y;
    const double dx2 = p3->x - p1->x;
    const double dy2 = p3->y - p1->y;
    const double k = InverseDeterminant(dx1 * dy2 - dy1 * dx2);
    if (k == 0.0)
        return 0;
    TransformMatrix r;
    const double X1 = q2->x - q1->x;
    const double X2 = q3->x - q1->x;
    r.a = (dy2 * X1 - dy1 * X2) * k;
    r.b = (dx1 * X2 - dx2 * X1) * k;
    r.e = q1->x - r.a * p1->x - r.b * p1->y;
    const double Y1 = q2->y - q1->y;
    const double Y2 = q3->y - q1->y;
    r.c = (dy2 * Y1 - dy1 * Y2) * k;
    r.d = (dx1 * Y2 - dx2 * Y1) * k;
    r.f = q1->y - r.c * p1->x - r.d * p1->y;
    *m = r;
    return 1;
}

int SaveSubsetTransform(SPoint origin, const std::string& src, const std::string& dst)
{
    TransformMatrix step;
    SubsetTransform(&origin, &step);
    return SaveStep(step, src, dst);
}

int SaveRotateTransform(SPoint centre, double angle, const std::string& src, const std::string& dst)
{
    TransformMatrix step;
    RotateTransform(&centre, angle, &step);
    return SaveStep(step, src, dst);
}

int SaveDegradeTransform(double sx, double sy, const std::string& src, const std::string& dst)
{
    TransformMatrix step;
    DegradeTransform(sx, sy, &step);
    return SaveStep(step, src, dst);
}
