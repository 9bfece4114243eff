#include "engine3d/geometry/SVectors3D.h"

#include "engine3d/model/SClassLib.h"

#include <cmath>

void MakeVector3D(TSVector3D& V, double X, double Y, double Z)
{
    V = {X, Y, Z};
}

void SingleToDoubleVector3D(const TSVector3DSingle& A, TSVector3D& R)
{
    R = {A.X, A.Y, A.Z};
}

bool SameVector3D(const TSVector3D& A, const TSVector3D& B)
{
    return A.X == B.X && A.Y == B.Y && A.Z == B.Z;
}

void AddVector3D(const TSVector3D& A, const TSVector3D& B, TSVector3D& R)
{
    R = {A.X + B.X, A.Y + B.Y, A.Z + B.Z};
}

void SubVector3D(const TSVector3D& A, const TSVector3D& B, TSVector3D& R)
{
    R = {A.X - B.X, A.Y - B.Y, A.Z - B.Z};
}

void ScaleVector3D(const TSVector3D& A, TSVector3D& R, double K)
{
    R = {K * A.X, K * A.Y, K * A.Z};
}

double DotProduct3D(const TSVector3D& A, const TSVector3D& B)
{
    return A.X * B.X + A.Y * B.Y + A.Z * B.Z;
}

void CrossProduct3D(const TSVector3D& A, const TSVector3D& B, TSVector3D& R)
{
    R = {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X};
}

void AddMatrix3D(const TSMatrix3D& A, const TSMatrix3D& B, TSMatrix3D& R)
{
    for (int k = 0; k < 9; ++k)
        R.M[k] = A.M[k] + B.M[k];
}

void ScaleMatrix3D(const TSMatrix3D& A, TSMatrix3D& R, double K)
{
    for (int k = 0; k < 9; ++k)
        R.M[k] = K * A.M[k];
}

void MulMatrix3D(const TSMatrix3D& A, const TSMatrix3D& B, TSMatrix3D& R)
{
    // Formed apart: R may be A or B.
    TSMatrix3D product;
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            product(i, j) = A(i, 0) * B(0, j) + A(i, 1) * B(1, j) + A(i, 2) * B(2, j);
    R = product;
}

void OuterProduct3D(const TSVector3D& A, const TSVector3D& B, TSMatrix3D& R)
{
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            R(i, j) = A[i] * B[j];
}

void MulVectorMatrix3D(const TSMatrix3D& M, const TSVector3D& V, TSVector3D& R)
{
    R = {V.X * M(0, 0) + V.Y * M(1, 0) + V.Z * M(2, 0), V.X * M(0, 1) + V.Y * M(1, 1) + V.Z * M(2, 1),
         V.X * M(0, 2) + V.Y * M(1, 2) + V.Z * M(2, 2)};
}

void MulMatrixVector3D(const TSMatrix3D& M, const TSVector3D& V, TSVector3D& R)
{
    R = {M(0, 0) * V.X + M(0, 1) * V.Y + M(0, 2) * V.Z, M(1, 0) * V.X + M(1, 1) * V.Y + M(1, 2) * V.Z,
         M(2, 0) * V.X + M(2, 1) * V.Y + M(2, 2) * V.Z};
}

double VectorLength3D(const TSVector3D& V)
{
    return std::sqrt(V.X * V.X + V.Y * V.Y + V.Z * V.Z);
}

double NormalizeVector3D(const TSVector3D& A, TSVector3D& R)
{
    const double length = VectorLength3D(A);
    if (length > 0)
        R = {A.X / length, A.Y / length, A.Z / length};
    else
        R = {};
    return length;
}

float NormalizeVector3DSingle(const TSVector3DSingle& A, TSVector3DSingle& R)
{
    const float length = std::sqrt(A.X * A.X + A.Y * A.Y + A.Z * A.Z);
    if (length > 0)
        R = {A.X / length, A.Y / length, A.Z / length};
    else
        R = {};
    return length;
}

double MatrixDeterminant3D(const TSMatrix3D& M)
{
    return M(0, 0) * (M(1, 1) * M(2, 2) - M(1, 2) * M(2, 1)) - M(0, 1) * (M(1, 0) * M(2, 2) - M(1, 2) * M(2, 0)) +
           M(0, 2) * (M(1, 0) * M(2, 1) - M(1, 1) * M(2, 0));
}

void InverseMatrix3D(const TSMatrix3D& M, TSMatrix3D& R)
{
    const double determinant = MatrixDeterminant3D(M);
    if (determinant == 0 || !std::isfinite(determinant))
        throw EFloatDivision("Floating point division by zero");
    const double k = 1 / determinant;
    TSMatrix3D inverse;
    inverse(0, 0) = (M(1, 1) * M(2, 2) - M(1, 2) * M(2, 1)) * k;
    inverse(0, 1) = (M(0, 2) * M(2, 1) - M(0, 1) * M(2, 2)) * k;
    inverse(0, 2) = (M(0, 1) * M(1, 2) - M(0, 2) * M(1, 1)) * k;
    inverse(1, 0) = (M(1, 2) * M(2, 0) - M(1, 0) * M(2, 2)) * k;
    inverse(1, 1) = (M(0, 0) * M(2, 2) - M(0, 2) * M(2, 0)) * k;
    inverse(1, 2) = (M(0, 2) * M(1, 0) - M(0, 0) * M(1, 2)) * k;
    inverse(2, 0) = (M(1, 0) * M(2, 1) - M(1, 1) * M(2, 0)) * k;
    inverse(2, 1) = (M(0, 1) * M(2, 0) - M(0, 0) * M(2, 1)) * k;
    inverse(2, 2) = (M(0, 0) * M(1, 1) - M(0, 1) * M(1, 0)) * k;
    // A determinant that underflows its reciprocal leaves no usable inverse.
    for (double value : inverse.M)
        if (!std::isfinite(value))
            throw EFloatDivision("Floating point division by zero");
    R = inverse;
}

void ZeroVector3D(TSVector3D& V)
{
    V = {};
}

void ZeroVector3DSingle(TSVector3DSingle& V)
{
    V = {};
}

void IdentityMatrix3D(TSMatrix3D& M)
{
    M = {};
    M(0, 0) = M(1, 1) = M(2, 2) = 1;
}

void AxisRotationMatrix3D(const TSVector3D& Axis, TSMatrix3D& R, double Angle)
{
    const double length = VectorLength3D(Axis);
    if (!(length > 0)) {
        IdentityMatrix3D(R);
        return;
    }
    TSVector3D u;
    ScaleVector3D(Axis, u, 1 / length);
    const double c = std::cos(Angle);
    const double s = std::sin(Angle);
    if (c == 1) {
        IdentityMatrix3D(R);
        return;
    }
    // R = u·uT + (c·I + s·K)·(I - u·uT), K the cross-product matrix of u.
    TSMatrix3D uu;
    OuterProduct3D(u, u, uu);
    TSMatrix3D identity;
    IdentityMatrix3D(identity);
    TSMatrix3D rest;
    ScaleMatrix3D(uu, rest, -1);
    AddMatrix3D(identity, rest, rest);
    TSMatrix3D turn;
    turn.M[0] = c, turn.M[1] = -s * u.Z, turn.M[2] = s * u.Y;
    turn.M[3] = s * u.Z, turn.M[4] = c, turn.M[5] = -s * u.X;
    turn.M[6] = -s * u.Y, turn.M[7] = s * u.X, turn.M[8] = c;
    TSMatrix3D result;
    MulMatrix3D(turn, rest, result);
    AddMatrix3D(uu, result, R);
}
