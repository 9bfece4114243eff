#pragma once
// Affine maps between pixel (or map) coordinates and the transform history that a
// derived raster layer file keeps in user tag 308.

#include <bit>
#include <cstdint>
#include <string>

// x is the column, y the row, unless a caller says otherwise.
struct SPoint {
    double x = 0.0;
    double y = 0.0;
};

// Maps (x, y) to (a x + b y + e, c x + d y + f); a fresh one is the identity.
struct TransformMatrix {
    double a = 1.0;
    double b = 0.0;
    double c = 0.0;
    double d = 1.0;
    double e = 0.0;
    double f = 0.0;
};

inline constexpr int kTransformTagNumber = 308;
inline constexpr int kTransformTagSize = 56;

// Payload of tag 308 exactly as it lies in the file (the file is little-endian).
// In memory a fresh record has length 0; the length written is always 56.
struct TransformTag {
    std::int32_t length = 0;
    std::int32_t flag = 1;  // copy flag: the history travels with CopyTag
    TransformMatrix matrix;
};
static_assert(sizeof(TransformTag) == kTransformTagSize);
static_assert(std::endian::native == std::endian::little, "tag payloads are stored in host order");

// Inputs and outputs may be the same object.
void UnitTransform(TransformMatrix* m);
void EquateTransform(const TransformMatrix* src, TransformMatrix* dst);
void DirectTransformPoint(const TransformMatrix* m, const SPoint* in, SPoint* out);
// The next three return 1, or 0 for a singular matrix (collinear points), leaving
// out untouched rather than filling it with infinities.
int InverseTransformPoint(const TransformMatrix* m, const SPoint* in, SPoint* out);
int CalcInverseTransform(const TransformMatrix* m, TransformMatrix* out);
int CalculationTransform(const SPoint* p1, const SPoint* p2, const SPoint* p3, const SPoint* q1, const SPoint* q2,
                         const SPoint* q3, TransformMatrix* m);
// out(p) = second(first(p)).
void CalcMultiplicationTransform(const TransformMatrix* first, const TransformMatrix* second, TransformMatrix* out);
void SubsetTransform(const SPoint* origin, TransformMatrix* m);
void RotateTransform(const SPoint* centre, double angle, TransformMatrix* m);
void DegradeTransform(double sx, double sy, TransformMatrix* m);

// Extend the history in tag 308 of layer 0 of src by one step and store it in
// layer 0 of dst (src and dst may be one file). 1 on success; 0 when src cannot be
// read, the step is not a usable map, or dst cannot be written; dst then stays as
// it was.
int SaveSubsetTransform(SPoint origin, const std::string& src, const std::string& dst);
int SaveRotateTransform(SPoint centre, double angle, const std::string& src, const std::string& dst);
int SaveDegradeTransform(double sx, double sy, const std::string& src, const std::string& dst);
