// The navigator's arithmetic without its window: reading and writing the relation,
// the three angle conventions with and without mirror and from either side, typed
// positions with the fixed direction, distances, drags, the auto-repeat schedule,
// the report text and the edit writer.

#include "Viewer3DTestSupport.h"

#include "viewer3d/forms/NavigatorRelation.h"
#include "viewer3d/forms/NavigatorState.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

TSMatrix3D Rotation(const TSVector3D& Axis, double Angle)
{
    TSMatrix3D m;
    AxisRotationMatrix3D(Axis, m, Angle);
    return m;
}

TSMatrix3D Inverse(const TSMatrix3D& M)
{
    TSMatrix3D r;
    InverseMatrix3D(M, r);
    return r;
}

bool Near(const TSVector3D& A, const TSVector3D& B, double T = 1e-9)
{
    return std::abs(A.X - B.X) <= T && std::abs(A.Y - B.Y) <= T && std::abs(A.Z - B.Z) <= T;
}

bool Near(const TSMatrix3D& A, const TSMatrix3D& B, double T = 1e-9)
{
    for (int k = 0; k < 9; ++k)
        if (!(std::abs(A.M[k] - B.M[k]) <= T))
            return false;
    return true;
}

bool Finite(const TSNavigatorRelation& R)
{
    for (double v : R.RelativeMatrix.M)
        if (!std::isfinite(v))
            return false;
    for (double v : R.RelativeInverse.M)
        if (!std::isfinite(v))
            return false;
    return std::isfinite(R.RelativePosition.X) && std::isfinite(R.RelativePosition.Y) &&
           std::isfinite(R.RelativePosition.Z);
}

TEST(NavigatorRelation, ReadsAndWritesTheSlaveThroughTheMaster)
{
    const TSMatrix3D ao = Rotation({1, 2, 3}, 0.8);
    const TSVector3D mo{1, -2, 3};
    TSMatrix3D as = Rotation({-2, 1, 0.5}, 2.1);
    const TSVector3D so{4, 5, -6};
    TSNavigatorRelation r;
    ASSERT_TRUE(r.Read(mo, Inverse(ao), so, as));
    EXPECT_FALSE(r.Mirror);
    const auto back = r.SlavePlacement(mo, ao);
    ASSERT_TRUE(back);
    EXPECT_TRUE(Near(back->Origin, so));
    EXPECT_TRUE(Near(back->Matrix, as));
    EXPECT_NEAR(r.Distance(), std::sqrt(9 + 49 + 81), 1e-9);
    // Seen from the slave, the master lies at -(Inverse·Position).
    r.ShowMaster = true;
    TSVector3D seen;
    MulMatrixVector3D(r.RelativeInverse, r.RelativePosition, seen);
    EXPECT_TRUE(Near(r.ShownPosition(), {-seen.X, -seen.Y, -seen.Z}));
    EXPECT_TRUE(Near(r.ShownMatrix(), r.RelativeInverse));

    // A mirrored slave reads as mirrored; a singular one is not read at all.
    for (int i = 0; i < 3; ++i)
        as(i, 0) = -as(i, 0);
    ASSERT_TRUE(r.Read(mo, Inverse(ao), so, as));
    EXPECT_TRUE(r.Mirror);
    const TSNavigatorRelation before = r;
    TSMatrix3D flat = as;
    for (int i = 0; i < 3; ++i)
        flat(i, 2) = 0;
    EXPECT_FALSE(r.Read(mo, Inverse(ao), so, flat));
    EXPECT_TRUE(Near(r.RelativeMatrix, before.RelativeMatrix));
    // A relation that cannot be inverted never reaches the slave.
    r.RelativeMatrix = flat;
    EXPECT_FALSE(r.SlavePlacement(mo, ao));
    r.RelativeMatrix.M[4] = std::nan("");
    EXPECT_FALSE(r.SlavePlacement(mo, ao));
}

// Angles written in each convention, mirrored or not, for either side, read back the
// same; column lengths (scale) are kept.
TEST(NavigatorRelation, AnglesRoundTripInEveryConvention)
{
    const double angles[][3] = {{30, 40, 50}, {120, -150, 10}, {90, 0, -90}, {5, 175, -175}, {179, 60, 1}};
    for (int convention = 1; convention <= 3; ++convention)
        for (bool mirror : {false, true})
            for (bool master : {false, true})
                for (const auto& a : angles) {
                    TSNavigatorRelation r;
                    // Scale of 2, 3, 0.5 on the columns of the edited matrix.
                    TSMatrix3D scaled = Rotation({1, 1, 1}, 0.3);
                    const double lengths[] = {2, 3, 0.5};
                    for (int j = 0; j < 3; ++j)
                        for (int i = 0; i < 3; ++i)
                            scaled(i, j) *= lengths[j];
                    (master ? r.RelativeInverse : r.RelativeMatrix) = scaled;
                    (master ? r.RelativeMatrix : r.RelativeInverse) = Inverse(scaled);
                    ASSERT_TRUE(r.SetRelativeAngles(convention, master, a[0], a[1], a[2], mirror));
                    const TSMatrix3D& edited = master ? r.RelativeInverse : r.RelativeMatrix;
                    EXPECT_EQ(MatrixDeterminant3D(edited) < 0, mirror);
                    for (int j = 0; j < 3; ++j)
                        EXPECT_NEAR(std::hypot(edited(0, j), edited(1, j), edited(2, j)), lengths[j], 1e-9);
                    double alpha = -1, beta = -1, gamma = -1;
                    r.GetRelativeAngles(convention, master, alpha, beta, gamma);
                    EXPECT_NEAR(alpha, a[0], 1e-7) << convention << mirror << master;
                    EXPECT_NEAR(beta, a[1], 1e-7) << convention << mirror << master;
                    EXPECT_NEAR(gamma, a[2], 1e-7) << convention << mirror << master;
                }
    // By hand, convention 1: the first column is (cos a, sin a sin b, sin a cos b).
    TSNavigatorRelation r;
    ASSERT_TRUE(r.SetRelativeAngles(1, false, 30, 40, 50, false));
    const double a = std::numbers::pi / 6, b = 40 * std::numbers::pi / 180;
    EXPECT_NEAR(r.RelativeMatrix(0, 0), std::cos(a), 1e-12);
    EXPECT_NEAR(r.RelativeMatrix(1, 0), std::sin(a) * std::sin(b), 1e-12);
    EXPECT_NEAR(r.RelativeMatrix(2, 0), std::sin(a) * std::cos(b), 1e-12);
    // Conventions outside 1 to 3 change nothing.
    double keep = 7;
    r.GetRelativeAngles(4, false, keep, keep, keep);
    EXPECT_EQ(keep, 7);
    EXPECT_FALSE(r.SetRelativeAngles(0, false, 1, 2, 3, false));
    // The identity: 0, 0, 0 and never NaN, also with a cosine rounded past 1.
    TSNavigatorRelation id;
    double x, y, z;
    id.GetRelativeAngles(1, false, x, y, z);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(z, 0);
    id.RelativeMatrix = {{1, 1e-9, 0, 1e-9, 1, 0, 0, 0, 1}};
    id.GetRelativeAngles(1, false, x, y, z);
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y) && std::isfinite(z));
    // A zero column cannot be turned into an orientation: refused, unchanged.
    TSNavigatorRelation zero;
    zero.RelativeMatrix(0, 1) = zero.RelativeMatrix(1, 1) = zero.RelativeMatrix(2, 1) = 0;
    EXPECT_FALSE(zero.SetRelativeAngles(1, false, 10, 20, 30, false));
    EXPECT_EQ(zero.RelativeMatrix(0, 0), 1);
}

TEST(NavigatorRelation, PositionsDistancesAndTheFixedDirection)
{
    TSNavigatorRelation r;
    ASSERT_TRUE(r.SetRelativePosition(false, false, 3, 4, 0));
    EXPECT_TRUE(Near(r.RelativePosition, {3, 4, 0}));
    r.SetDistance(10);
    EXPECT_TRUE(Near(r.RelativePosition, {6, 8, 0}));
    r.SetDistance(0.01);
    EXPECT_TRUE(Near(r.RelativePosition, {6, 8, 0})) << "0.01 and below are ignored";
    r.RelativePosition = {0.005, 0, 0};
    r.SetDistance(5);
    EXPECT_TRUE(Near(r.RelativePosition, {0.005, 0, 0}));

    // Seen from the master: typing the master's place in slave coordinates.
    TSNavigatorRelation m;
    ASSERT_TRUE(m.SetRelativePosition(true, false, 1, 2, 3));
    m.ShowMaster = true;
    EXPECT_TRUE(Near(m.ShownPosition(), {1, 2, 3}));

    // With the fixer the slave keeps looking at the master from the captured side,
    // whatever is typed; parallel and opposite directions give no NaN.
    for (const TSVector3D& typed :
         {TSVector3D{0.1, 0.2, 0.3}, TSVector3D{0.3, 0.6, 0.9}, TSVector3D{-0.1, -0.2, -0.3}, TSVector3D{5, -1, 2}}) {
        TSNavigatorRelation f;
        f.RelativePosition = {0.1, 0.2, 0.3};
        f.CaptureFixedDirection();
        ASSERT_TRUE(f.SetRelativePosition(false, true, typed.X, typed.Y, typed.Z));
        EXPECT_TRUE(Finite(f)) << typed.X;
        // The master, seen from the slave, lies along the fixed direction.
        TSVector3D w;
        MulMatrixVector3D(f.RelativeInverse, f.RelativePosition, w);
        TSVector3D cross;
        CrossProduct3D({-w.X, -w.Y, -w.Z}, f.FixedDirection, cross);
        EXPECT_NEAR(VectorLength3D(cross), 0, 1e-9) << typed.X;
        EXPECT_GT(DotProduct3D({-w.X, -w.Y, -w.Z}, f.FixedDirection), 0) << typed.X;
    }
    // KeepFixedDirection after a turn keeps the distance.
    TSNavigatorRelation k;
    k.Fixer = true;
    k.RelativePosition = {0, 0, 5};
    k.CaptureFixedDirection();
    k.RelativeMatrix = Rotation({0, 1, 0}, 0.5);
    k.RelativeInverse = Inverse(k.RelativeMatrix);
    k.KeepFixedDirection();
    EXPECT_NEAR(k.Distance(), 5, 1e-12);
    TSVector3D w;
    MulMatrixVector3D(k.RelativeInverse, k.RelativePosition, w);
    EXPECT_TRUE(Near(TSVector3D{-w.X, -w.Y, -w.Z}, TSVector3D{0, 0, -5}));
}

TEST(NavigatorRelation, DragsTiltAndSpin)
{
    TSNavigatorRelation r;
    // The centre of the 160 x 160 box: a tilt; one degree per pixel about (dy, dx, 0).
    r.BeginDrag({80, 80}, 160, 160);
    EXPECT_TRUE(r.Dragging());
    EXPECT_FALSE(r.SpinMode());
    EXPECT_FALSE(r.DragTo({80, 80}, 160, 160)) << "no move";
    EXPECT_TRUE(r.DragTo({90, 80}, 160, 160));
    EXPECT_TRUE(Near(r.RelativeMatrix, Rotation({0, 10, 0}, 10 * std::numbers::pi / 180), 1e-12));
    EXPECT_TRUE(Near(r.RelativeInverse, Inverse(r.RelativeMatrix)));
    r.EndDrag();
    EXPECT_FALSE(r.DragTo({100, 80}, 160, 160)) << "no drag, no turn";

    // Near the edge: a spin about the view axis by the angle swept round the centre.
    TSNavigatorRelation s;
    s.BeginDrag({155, 80}, 160, 160);
    EXPECT_TRUE(s.SpinMode());
    EXPECT_TRUE(s.DragTo({80, 5}, 160, 160));
    EXPECT_TRUE(Near(s.RelativeMatrix, Rotation({0, 0, 1}, std::numbers::pi / 2), 1e-12));
    EXPECT_TRUE(s.DragTo({80, 80}, 160, 160));
    EXPECT_TRUE(Finite(s)) << "the centre itself";
}

// The auto-repeat: ten plain steps, then doubling every nine up to 512 times the step.
TEST(NavigatorRelation, RepeatSchedule)
{
    EXPECT_DOUBLE_EQ(TSNavigatorRelation::StepSize(0), 1);
    EXPECT_DOUBLE_EQ(TSNavigatorRelation::StepSize(2), 0.1 * 0.1);
    const double step = TSNavigatorRelation::StepSize(2);
    const struct {
        int count;
        double factor;
    } rows[] = {{0, 1}, {9, 1}, {10, 2}, {18, 2}, {19, 4}, {81, 256}, {82, 512}, {500, 512}};
    for (const auto& row : rows)
        EXPECT_EQ(TSNavigatorRelation::RepeatFactor(row.count), row.factor) << row.count;
    // The 83rd step (count 82) adds 5.12; the first ten add 0.01 each.
    EXPECT_NEAR(TSNavigatorRelation::RepeatFactor(82) * step, 5.12, 1e-12);
    double value = 0;
    for (int count = 0; count < 10; ++count)
        value += TSNavigatorRelation::RepeatFactor(count) * step;
    EXPECT_NEAR(value, 0.1, 1e-12);
}

TEST(NavigatorRelation, ReportAndEditsIgnoreTheLocale)
{
    TSNavigatorRelation r;
    r.RelativePosition = {1.5, -2.25, 1000};
    std::vector<const char*> locales = {"C"};
    for (const char* name : {"de_DE.UTF-8", "ru_RU.UTF-8"})
        if (std::setlocale(LC_ALL, name)) {
            locales.push_back(name);
            break;
        }
    for (const char* name : locales) {
        std::setlocale(LC_ALL, name);
        const std::string memo = r.MemoText();
        const std::string head =
            " Slave Direct Basis Informations \r\n  Vector : \r\n   (   1.5000;  -2.2500; 1000.0000 ) \r\n";
        EXPECT_EQ(memo.rfind(head, 0), 0u) << name << "\n" << memo;
        EXPECT_NE(memo.find("  Matrix : \r\n   (   1.0000;   0.0000;   0.0000 ) \r\n"), std::string::npos);
        EXPECT_NE(memo.find("\r\n\r\n Slave Inverse Basis Informations \r\n  Vector : \r\n"
                            "   (  -1.5000;   2.2500; -1000.0000 ) \r\n"),
                  std::string::npos);
        const std::string tail = "   (   0.0000;   0.0000;   1.0000 ) \r\n";
        ASSERT_GE(memo.size(), tail.size());
        EXPECT_EQ(memo.substr(memo.size() - tail.size()), tail);
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(FixedColumn(-0.00001), " -0.0000");

    std::string text = "1.50";
    EXPECT_FALSE(SetEditNumber(text, 13, 6, 1.5)) << "the user's writing stays";
    EXPECT_EQ(text, "1.50");
    EXPECT_TRUE(SetEditNumber(text, 13, 6, 2.25));
    EXPECT_EQ(text, "2.25");
    text = "abc";
    EXPECT_TRUE(SetEditNumber(text, 6, 2, 1.0 / 3));
    EXPECT_EQ(text, "0.33");
}

}  // namespace

namespace {

// A byte vector as an object stream.
class TBytes final : public TSObjectsStream {
public:
    std::vector<unsigned char> Bytes;
    std::size_t Pos = 0;
    void Write(const void* Buffer, std::int32_t Count) override
    {
        const auto* p = static_cast<const unsigned char*>(Buffer);
        Bytes.insert(Bytes.end(), p, p + Count);
    }
    void Read(void* Buffer, std::int32_t Count) override
    {
        if (Count < 0 || Pos + std::size_t(Count) > Bytes.size())
            throw EStreamError("read past the end");
        std::memcpy(Buffer, Bytes.data() + Pos, std::size_t(Count));
        Pos += std::size_t(Count);
    }
};

// The units run: the error texts come from their string tables.
class NavigatorState : public Viewer3DTest {};

TEST_F(NavigatorState, ThirtyTwoBytesAndTheirBounds)
{
    TSNavigatorState state;
    state.Master = 7;
    state.Slave = 9;
    state.Convention = 3;
    state.StepExponent = 6;
    state.Flags = TSNavigatorState::More | TSNavigatorState::Fixer;
    state.Order = -2;
    state.Left = 120;
    state.Top = -30;
    TBytes out;
    EXPECT_EQ(state.Write(&out), 32);
    ASSERT_EQ(out.Bytes.size(), 32u);
    const std::int32_t expected[8] = {7, 9, 3, 6, 10, -2, 120, -30};
    EXPECT_EQ(std::memcmp(out.Bytes.data(), expected, 32), 0);
    const TSNavigatorState back = TSNavigatorState::Read(&out, nullptr);
    EXPECT_EQ(back.Slave, 9u);
    EXPECT_EQ(back.Top, -30);
    EXPECT_EQ(back.Flags, 10);

    const struct {
        int offset;
        std::int32_t value;
    } bad[] = {{8, 4}, {8, 0}, {12, 7}, {12, -1}};
    for (const auto& b : bad) {
        TBytes in;
        in.Bytes = out.Bytes;
        std::memcpy(in.Bytes.data() + b.offset, &b.value, 4);
        try {
            TSNavigatorState::Read(&in, &in);
            ADD_FAILURE() << b.offset << " " << b.value;
        } catch (const EStreamError& e) {
            EXPECT_NE(std::string(e.what()).find("Can't load : Invalid Value"), std::string::npos) << e.what();
        }
    }
}

}  // namespace
