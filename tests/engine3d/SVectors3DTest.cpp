// The vector kit against numpy's results (Vectors3DTable.h, written by
// vectors3d_table.py), the rotation convention, aliasing of out-arguments, the
// zero vector and singular matrices.

#include "SceneTestSupport.h"
#include "Vectors3DTable.h"

#include "engine3d/geometry/SVectors3D.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// Relative to the size of the values compared.
bool Close(double A, double B, double Tolerance = 1e-12)
{
    return std::abs(A - B) <= Tolerance * std::max(1.0, std::max(std::abs(A), std::abs(B)));
}

bool Close(const TSVector3D& A, const TSVector3D& B, double Tolerance = 1e-12)
{
    return Close(A.X, B.X, Tolerance) && Close(A.Y, B.Y, Tolerance) && Close(A.Z, B.Z, Tolerance);
}

bool Close(const TSMatrix3D& A, const TSMatrix3D& B, double Tolerance = 1e-12)
{
    for (int k = 0; k < 9; ++k)
        if (!Close(A.M[k], B.M[k], Tolerance))
            return false;
    return true;
}

}  // namespace

TEST(SVectors3D, AgreesWithNumpy)
{
    int row = 0;
    for (const Vectors3DRow& r : kVectors3DTable) {
        SCOPED_TRACE(row++);
        TSMatrix3D m;
        MulMatrix3D(r.A, r.B, m);
        EXPECT_TRUE(Close(m, r.Product));
        EXPECT_TRUE(Close(MatrixDeterminant3D(r.A), r.Determinant));
        InverseMatrix3D(r.A, m);
        EXPECT_TRUE(Close(m, r.Inverse, 1e-10));
        TSVector3D v;
        MulMatrixVector3D(r.A, r.V, v);
        EXPECT_TRUE(Close(v, r.MatrixVector));
        MulVectorMatrix3D(r.A, r.V, v);
        EXPECT_TRUE(Close(v, r.VectorMatrix));
        CrossProduct3D(r.V, r.W, v);
        EXPECT_TRUE(Close(v, r.Cross));
        EXPECT_TRUE(Close(DotProduct3D(r.V, r.W), r.Dot));
        OuterProduct3D(r.V, r.W, m);
        EXPECT_TRUE(Close(m, r.Outer));
        EXPECT_TRUE(Close(VectorLength3D(r.V), r.Length));
        EXPECT_TRUE(Close(NormalizeVector3D(r.V, v), r.Length));
        EXPECT_TRUE(Close(v, r.Normalized));
        AxisRotationMatrix3D(r.Axis, m, r.Angle);
        EXPECT_TRUE(Close(m, r.Rotation));
    }
}

TEST(SVectors3D, ElementWiseAndSmallRoutines)
{
    TSVector3D a;
    MakeVector3D(a, 1, -2, 3);
    const TSVector3D b{0.5, 4, -1};
    TSVector3D r;
    AddVector3D(a, b, r);
    EXPECT_TRUE(SameVector3D(r, TSVector3D{1.5, 2, 2}));
    SubVector3D(a, b, r);
    EXPECT_TRUE(SameVector3D(r, TSVector3D{0.5, -6, 4}));
    ScaleVector3D(a, r, -2);
    EXPECT_TRUE(SameVector3D(r, TSVector3D{-2, 4, -6}));
    EXPECT_FALSE(SameVector3D(a, TSVector3D{1, -2, 3.0000000001}));

    TSVector3D widened;
    SingleToDoubleVector3D(TSVector3DSingle{0.5f, -1.25f, 3}, widened);
    EXPECT_TRUE(SameVector3D(widened, TSVector3D{0.5, -1.25, 3}));

    TSMatrix3D m = IdentityMatrix();
    TSMatrix3D sum;
    AddMatrix3D(m, m, sum);
    ScaleMatrix3D(sum, sum, 0.25);
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(sum.M[k], k % 4 == 0 ? 0.5 : 0.0);

    ZeroVector3D(r);
    EXPECT_TRUE(SameVector3D(r, TSVector3D{}));
    TSVector3DSingle s{1, 2, 3};
    ZeroVector3DSingle(s);
    EXPECT_EQ(s.X + s.Y + s.Z, 0.0f);
}

TEST(SVectors3D, OutArgumentsMayBeInputs)
{
    const Vectors3DRow& r = kVectors3DTable[0];
    TSMatrix3D a = r.A;
    MulMatrix3D(a, r.B, a);
    EXPECT_TRUE(Close(a, r.Product));
    TSMatrix3D b = r.B;
    MulMatrix3D(r.A, b, b);
    EXPECT_TRUE(Close(b, r.Product));
    TSVector3D v = r.V;
    MulMatrixVector3D(r.A, v, v);
    EXPECT_TRUE(Close(v, r.MatrixVector));
    v = r.V;
    MulVectorMatrix3D(r.A, v, v);
    EXPECT_TRUE(Close(v, r.VectorMatrix));
    v = r.V;
    CrossProduct3D(v, r.W, v);
    EXPECT_TRUE(Close(v, r.Cross));
    a = r.A;
    InverseMatrix3D(a, a);
    EXPECT_TRUE(Close(a, r.Inverse, 1e-10));
}

TEST(SVectors3D, RotationConventionAndIdentityCases)
{
    // Right-handed about +z, for column vectors.
    TSVector3D turned;
    MulMatrixVector3D(Rotation({0, 0, 2}, std::numbers::pi / 2), TSVector3D{1, 0, 0}, turned);
    EXPECT_TRUE(Near(turned, TSVector3D{0, 1, 0}, 1e-15));

    const struct {
        TSVector3D Axis;
        double Angle;
    } identities[] = {{{0, 0, 0}, 1.0}, {{1, 2, 3}, 0.0}, {{0, 0, 0}, 0.0}, {{-1, 0, 0}, 2 * std::numbers::pi}};
    for (const auto& c : identities)
        EXPECT_TRUE(Near(Rotation(c.Axis, c.Angle), IdentityMatrix(), 0)) << c.Angle;
}

TEST(SVectors3D, ZeroVectorNormalisesToZero)
{
    TSVector3D r{7, 7, 7};
    EXPECT_EQ(NormalizeVector3D(TSVector3D{}, r), 0.0);
    EXPECT_TRUE(SameVector3D(r, TSVector3D{}));

    TSVector3DSingle s{7, 7, 7};
    EXPECT_EQ(NormalizeVector3DSingle(TSVector3DSingle{}, s), 0.0f);
    EXPECT_EQ(s.X + s.Y + s.Z, 0.0f);
    EXPECT_FLOAT_EQ(NormalizeVector3DSingle(TSVector3DSingle{3, 0, 4}, s), 5.0f);
    EXPECT_FLOAT_EQ(s.X, 0.6f);
    EXPECT_FLOAT_EQ(s.Z, 0.8f);
}

TEST(SVectors3D, SingularMatrixRaisesFloatDivisionAndKeepsResult)
{
    const double huge = 1e300;
    const TSMatrix3D cases[] = {
        {},                                            // zero
        {{1, 2, 3, 2, 4, 6, 0, 1, 5}},                 // two rows alike
        {{1e-200, 0, 0, 0, 1e-200, 0, 0, 0, 1e-200}},  // determinant underflows to 0
        {{huge, 0, 0, 0, huge, 0, 0, 0, huge}},        // determinant overflows
        {{std::nan(""), 0, 0, 0, 1, 0, 0, 0, 1}},      // not a number
    };
    for (const TSMatrix3D& m : cases) {
        TSMatrix3D r = IdentityMatrix();
        EXPECT_THROW(InverseMatrix3D(m, r), EFloatDivision);
        EXPECT_TRUE(Near(r, IdentityMatrix(), 0));
    }
}
