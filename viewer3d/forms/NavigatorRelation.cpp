#include "viewer3d/forms/NavigatorRelation.h"

#include "viewer3d/project/HcProject3D.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

double ToRadians(double Degrees)
{
    return static_cast<double>(Degrees * kPi / 180);
}

double ToDegrees(double Radians)
{
    return static_cast<double>(Radians * 180 / kPi);
}

// Rounding may carry a cosine just past 1.
double ClampedArcCos(double X)
{
    return std::acos(std::clamp(X, -1.0, 1.0));
}

bool Finite(const TSMatrix3D& M)
{
    return std::all_of(std::begin(M.M), std::end(M.M), [](double v) { return std::isfinite(v); });
}

bool Finite(const TSVector3D& V)
{
    return std::isfinite(V.X) && std::isfinite(V.Y) && std::isfinite(V.Z);
}

// The inverse of M when M is finite and can be inverted with a finite result.
std::optional<TSMatrix3D> Inverse(const TSMatrix3D& M)
{
    if (!Finite(M))
        return std::nullopt;
    TSMatrix3D r;
    try {
        InverseMatrix3D(M, r);
    } catch (...) {
        return std::nullopt;
    }
    if (!Finite(r))
        return std::nullopt;
    return r;
}

TSVector3D Mul(const TSMatrix3D& M, const TSVector3D& V)
{
    TSVector3D r;
    MulMatrixVector3D(M, V, r);
    return r;
}

TSMatrix3D Mul(const TSMatrix3D& A, const TSMatrix3D& B)
{
    TSMatrix3D r;
    MulMatrix3D(A, B, r);
    return r;
}

TSVector3D Neg(const TSVector3D& V)
{
    return {-V.X, -V.Y, -V.Z};
}

TSVector3D Scaled(const TSVector3D& V, double K)
{
    return {V.X * K, V.Y * K, V.Z * K};
}

double ColumnLength(const TSMatrix3D& M, int C)
{
    return std::sqrt(M(0, C) * M(0, C) + M(1, C) * M(1, C) + M(2, C) * M(2, C));
}

TSMatrix3D Rx(double T)
{
    const double c = std::cos(T), s = std::sin(T);
    return {{1, 0, 0, 0, c, s, 0, -s, c}};
}

TSMatrix3D Ry(double T)
{
    const double c = std::cos(T), s = std::sin(T);
    return {{c, 0, -s, 0, 1, 0, s, 0, c}};
}

// M'[r][c] = M[(r + Shift) mod 3][(c + Shift) mod 3].
TSMatrix3D Relabel(const TSMatrix3D& M, int Shift)
{
    TSMatrix3D r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r(i, j) = M((i + Shift) % 3, (j + Shift) % 3);
    return r;
}

TSMatrix3D Identity()
{
    TSMatrix3D m;
    IdentityMatrix3D(m);
    return m;
}

}  // namespace

TSNavigatorRelation::TSNavigatorRelation()
{
    IdentityMatrix3D(RelativeMatrix);
    IdentityMatrix3D(RelativeInverse);
    IdentityMatrix3D(m_dragMatrix);
}

bool TSNavigatorRelation::Read(const TSVector3D& Mo, const TSMatrix3D& Bo, const TSVector3D& So, const TSMatrix3D& As)
{
    TSVector3D d;
    SubVector3D(So, Mo, d);
    const TSVector3D position = Mul(Bo, d);
    const TSMatrix3D matrix = Mul(Bo, As);
    const std::optional<TSMatrix3D> inverse = Inverse(matrix);
    if (!inverse || !Finite(position))
        return false;
    RelativePosition = position;
    RelativeMatrix = matrix;
    RelativeInverse = *inverse;
    Mirror = MatrixDeterminant3D(matrix) < 0;
    CaptureFixedDirection();
    return true;
}

std::optional<TSNavigatorRelation::Placement> TSNavigatorRelation::SlavePlacement(const TSVector3D& Mo,
                                                                                  const TSMatrix3D& Ao) const
{
    Placement p;
    AddVector3D(Mo, Mul(Ao, RelativePosition), p.Origin);
    p.Matrix = Mul(Ao, RelativeMatrix);
    if (!Finite(p.Origin) || !Inverse(p.Matrix))
        return std::nullopt;
    return p;
}

TSVector3D TSNavigatorRelation::ShownPosition() const
{
    return ShowMaster ? Neg(Mul(RelativeInverse, RelativePosition)) : RelativePosition;
}

TSMatrix3D TSNavigatorRelation::ShownMatrix() const
{
    return ShowMaster ? RelativeInverse : RelativeMatrix;
}

double TSNavigatorRelation::Distance() const
{
    return VectorLength3D(RelativePosition);
}

bool TSNavigatorRelation::SetRelativePosition(bool ShowMasterState, bool FixerState, double X, double Y, double Z)
{
    const TSVector3D p{X, Y, Z};
    TSVector3D w = ShowMasterState ? Neg(Mul(RelativeMatrix, p)) : Neg(Mul(RelativeInverse, p));
    TSMatrix3D r = Identity();
    if (FixerState) {
        const TSVector3D& f = FixedDirection;
        const double d = std::sqrt(DotProduct3D(w, w) * DotProduct3D(f, f));
        if (d > 0) {
            const double angle = ClampedArcCos(DotProduct3D(w, f) / d);
            TSVector3D axis;
            CrossProduct3D(w, f, axis);
            if (VectorLength3D(axis) == 0)
                CrossProduct3D({0, 0, 1}, f, axis);
            if (VectorLength3D(axis) == 0)
                CrossProduct3D({0, 1, 0}, f, axis);
            AxisRotationMatrix3D(axis, r, angle);
        }
    }
    TSMatrix3D matrix, inverse;
    TSVector3D v;
    if (ShowMasterState) {
        matrix = Mul(r, RelativeMatrix);
        const auto inv = Inverse(matrix);
        if (!inv)
            return false;
        inverse = *inv;
        v = Neg(Mul(matrix, p));
    } else {
        inverse = Mul(r, RelativeInverse);
        const auto inv = Inverse(inverse);
        if (!inv)
            return false;
        matrix = *inv;
        v = p;
    }
    if (!Finite(v))
        return false;
    RelativeMatrix = matrix;
    RelativeInverse = inverse;
    RelativePosition = v;
    return true;
}

bool TSNavigatorRelation::SetRelativeAngles(int Convention, bool ShowMasterState, double Alpha, double Beta,
                                            double Gamma, bool MirrorState)
{
    if (Convention < 1 || Convention > 3)
        return false;
    TSMatrix3D d = Identity();
    if (MirrorState)
        d(0, 0) = -1;
    TSMatrix3D r = Mul(Mul(Mul(Rx(ToRadians(Beta)), Ry(ToRadians(Alpha))), Rx(ToRadians(Gamma))), d);
    if (Convention == 2)
        r = Relabel(r, 2);
    else if (Convention == 3)
        r = Relabel(r, 1);
    const TSMatrix3D& old = ShowMasterState ? RelativeInverse : RelativeMatrix;
    TSMatrix3D target;
    for (int j = 0; j < 3; ++j) {
        const double l = ColumnLength(old, j);
        for (int i = 0; i < 3; ++i)
            target(i, j) = l * r(i, j);
    }
    const auto other = Inverse(target);
    if (!other)
        return false;
    if (ShowMasterState) {
        RelativeInverse = target;
        RelativeMatrix = *other;
    } else {
        RelativeMatrix = target;
        RelativeInverse = *other;
    }
    Mirror = MirrorState;
    KeepFixedDirection();
    return true;
}

void TSNavigatorRelation::GetRelativeAngles(int Convention, bool ShowMasterState, double& Alpha, double& Beta,
                                            double& Gamma) const
{
    if (Convention < 1 || Convention > 3)
        return;
    TSMatrix3D m = ShowMasterState ? RelativeInverse : RelativeMatrix;
    if (Convention == 2)
        m = Relabel(m, 1);
    else if (Convention == 3)
        m = Relabel(m, 2);
    for (int j = 0; j < 3; ++j) {
        const double l = ColumnLength(m, j);
        if (l > 0)
            for (int i = 0; i < 3; ++i)
                m(i, j) /= l;
    }
    if (MatrixDeterminant3D(m) < 0)
        for (int i = 0; i < 3; ++i)
            m(i, 0) = -m(i, 0);
    Alpha = ToDegrees(ClampedArcCos(m(0, 0)));
    double m10 = m(1, 0), m20 = m(2, 0);
    if (m10 == 0 && m20 == 0) {
        Beta = 0;
        m20 = 1;
    } else {
        Beta = ToDegrees(std::atan2(m10, m20));
    }
    const double p = m20 * m(1, 1) - m10 * m(2, 1);
    const double q = m20 * m(1, 2) - m10 * m(2, 2);
    Gamma = p == 0 && q == 0 ? 0 : ToDegrees(std::atan2(q, p));
}

void TSNavigatorRelation::SetDistance(double D)
{
    const double length = VectorLength3D(RelativePosition);
    if (length > 0.01 && D > 0.01)
        RelativePosition = Scaled(RelativePosition, D / length);
}

void TSNavigatorRelation::CaptureFixedDirection()
{
    FixedDirection = ShowMaster ? RelativePosition : Neg(Mul(RelativeInverse, RelativePosition));
}

void TSNavigatorRelation::KeepFixedDirection()
{
    const double f = VectorLength3D(FixedDirection);
    if (!Fixer || !(f > 0))
        return;
    if (ShowMaster) {
        RelativePosition = Scaled(FixedDirection, VectorLength3D(RelativePosition) / f);
    } else {
        const TSVector3D w = Mul(RelativeInverse, RelativePosition);
        RelativePosition = Scaled(Neg(Mul(RelativeMatrix, FixedDirection)), VectorLength3D(w) / f);
    }
}

void TSNavigatorRelation::BeginDrag(Point At, int Width, int Height)
{
    const double u = At.X * 2.4 / std::max(1, Width - 1) - 1.2;
    const double v = At.Y * 2.4 / std::max(1, Height - 1) - 1.2;
    m_spinMode = u * u + v * v > 1;
    m_lastPos = At;
    if (m_dragging)
        return;
    m_dragStart = m_lastPos;
    m_dragMatrix = RelativeMatrix;
    m_dragging = true;
}

bool TSNavigatorRelation::DragTo(Point At, int Width, int Height)
{
    if (At == m_lastPos)
        return false;
    m_lastPos = At;
    if (!m_dragging)
        return false;
    double angle = 0;
    TSVector3D axis;
    if (m_spinMode) {
        const int cx = Width / 2, cy = Height / 2;
        if (!(m_lastPos.X == cx && m_lastPos.Y == cy))
            angle = std::atan2(double(cy - m_lastPos.Y), double(m_lastPos.X - cx)) -
                    std::atan2(double(cy - m_dragStart.Y), double(m_dragStart.X - cx));
        axis = {0, 0, 1};
    } else {
        const double dx = m_lastPos.X - m_dragStart.X, dy = m_lastPos.Y - m_dragStart.Y;
        angle = static_cast<double>(std::sqrt(dx * dx + dy * dy) * kPi / 180);
        axis = {dy, dx, 0};
    }
    TSMatrix3D turn;
    AxisRotationMatrix3D(axis, turn, angle);
    const TSMatrix3D matrix = Mul(turn, m_dragMatrix);
    const auto inverse = Inverse(matrix);
    if (!inverse)
        return false;
    RelativeMatrix = matrix;
    RelativeInverse = *inverse;
    KeepFixedDirection();
    return true;
}

double TSNavigatorRelation::StepSize(int Exponent)
{
    double step = 1;
    for (int i = 0; i < Exponent; ++i)
        step *= 0.1;
    return step;
}

double TSNavigatorRelation::RepeatFactor(std::int32_t Count)
{
    const std::int32_t k = std::max<std::int32_t>(0, Count - 1);
    return std::ldexp(1.0, std::min<std::int32_t>(9, k / 9));
}

std::string FixedColumn(double Value)
{
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed, 4);
    std::string text = error == std::errc() ? std::string(buffer, end) : std::string("nan");
    if (text.size() < 8)
        text.insert(0, 8 - text.size(), ' ');
    return text;
}

std::string TSNavigatorRelation::MemoText() const
{
    auto row = [](double A, double B, double C) {
        return "   ( " + FixedColumn(A) + "; " + FixedColumn(B) + "; " + FixedColumn(C) + " ) ";
    };
    auto rows = [&](const TSMatrix3D& M) {
        std::string text;
        for (int r = 0; r < 3; ++r)
            text += row(M(r, 0), M(r, 1), M(r, 2)) + "\r\n";
        return text;
    };
    const TSVector3D& p = RelativePosition;
    const TSVector3D q = Neg(Mul(RelativeInverse, RelativePosition));
    return " Slave Direct Basis Informations \r\n  Vector : \r\n" + row(p.X, p.Y, p.Z) + "\r\n" +
           "  Matrix : " + "\r\n" + rows(RelativeMatrix) + "\r\n" + " Slave Inverse Basis Informations " + "\r\n" +
           "  Vector : " + "\r\n" + row(q.X, q.Y, q.Z) + "\r\n" + "  Matrix : " + "\r\n" + rows(RelativeInverse);
}

bool SetEditNumber(std::string& Text, int Width, int Decimals, double Value)
{
    const std::string s = FormatReal(Value, Width, Decimals);
    double shown = 0;
    if (TryParseReal(Text, shown) && FormatReal(shown, Width, Decimals) == s)
        return false;
    Text = s;
    return true;
}
