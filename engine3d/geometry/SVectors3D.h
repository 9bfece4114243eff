#pragma once
// Small linear algebra of the 3D engine: 3-vectors and 3x3 matrices of doubles,
// with the few single-precision forms the renderer needs. Matrices are stored
// row by row (M[i][j] at 3i + j) and act on column vectors. Results go to an
// out-argument that may be the same variable as an input. Angles are radians.

#include <cstddef>

struct TSVector3D {
    double X = 0;
    double Y = 0;
    double Z = 0;

    double& operator[](std::size_t I) { return I == 0 ? X : I == 1 ? Y : Z; }
    double operator[](std::size_t I) const { return I == 0 ? X : I == 1 ? Y : Z; }
};

struct TSVector3DSingle {
    float X = 0;
    float Y = 0;
    float Z = 0;
};

struct TSMatrix3D {
    double M[9] = {};

    double& operator()(std::size_t I, std::size_t J) { return M[3 * I + J]; }
    double operator()(std::size_t I, std::size_t J) const { return M[3 * I + J]; }
};

// Saved as they lie in memory: three and nine doubles.
static_assert(sizeof(TSVector3D) == 24 && sizeof(TSMatrix3D) == 72 && sizeof(TSVector3DSingle) == 12);

void MakeVector3D(TSVector3D& V, double X, double Y, double Z);
void SingleToDoubleVector3D(const TSVector3DSingle& A, TSVector3D& R);
// Exact equality of all three components.
bool SameVector3D(const TSVector3D& A, const TSVector3D& B);
void AddVector3D(const TSVector3D& A, const TSVector3D& B, TSVector3D& R);
void SubVector3D(const TSVector3D& A, const TSVector3D& B, TSVector3D& R);
void ScaleVector3D(const TSVector3D& A, TSVector3D& R, double K);
double DotProduct3D(const TSVector3D& A, const TSVector3D& B);
void CrossProduct3D(const TSVector3D& A, const TSVector3D& B, TSVector3D& R);
void AddMatrix3D(const TSMatrix3D& A, const TSMatrix3D& B, TSMatrix3D& R);
void ScaleMatrix3D(const TSMatrix3D& A, TSMatrix3D& R, double K);
// R = A·B.
void MulMatrix3D(const TSMatrix3D& A, const TSMatrix3D& B, TSMatrix3D& R);
// R[i][j] = A[i]·B[j].
void OuterProduct3D(const TSVector3D& A, const TSVector3D& B, TSMatrix3D& R);
// The row product: R[j] = sum over i of V[i]·M[i][j].
void MulVectorMatrix3D(const TSMatrix3D& M, const TSVector3D& V, TSVector3D& R);
// R = M·V.
void MulMatrixVector3D(const TSMatrix3D& M, const TSVector3D& V, TSVector3D& R);
double VectorLength3D(const TSVector3D& V);
// The length L of A; R = A/L when L > 0, else (0, 0, 0).
double NormalizeVector3D(const TSVector3D& A, TSVector3D& R);
float NormalizeVector3DSingle(const TSVector3DSingle& A, TSVector3DSingle& R);
double MatrixDeterminant3D(const TSMatrix3D& M);
// R = adjugate(M) / determinant. A singular matrix, or one whose inverse is not
// finite, raises EFloatDivision and leaves R as it was.
void InverseMatrix3D(const TSMatrix3D& M, TSMatrix3D& R);
void ZeroVector3D(TSVector3D& V);
void ZeroVector3DSingle(TSVector3DSingle& V);
void IdentityMatrix3D(TSMatrix3D& M);
// Right-handed rotation by Angle about Axis, for column vectors; the identity
// for a zero axis or when cos Angle is exactly 1.
void AxisRotationMatrix3D(const TSVector3D& Axis, TSMatrix3D& R, double Angle);
