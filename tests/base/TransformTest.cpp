#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "RdpFileBuilder.h"
#include "layer/Transform.h"

namespace {

std::vector<double> Flat(const TransformMatrix& m)
{
    return {m.a, m.b, m.c, m.d, m.e, m.f};
}

void ExpectMatrix(const TransformMatrix& m, const std::vector<double>& want)
{
    EXPECT_EQ(Flat(m), want);
}

TEST(Transform, FreshValuesAreTheIdentity)
{
    ExpectMatrix(TransformMatrix{}, {1, 0, 0, 1, 0, 0});
    TransformTag tag;
    EXPECT_EQ(tag.length, 0);
    EXPECT_EQ(tag.flag, 1);
    ExpectMatrix(tag.matrix, {1, 0, 0, 1, 0, 0});

    TransformMatrix m{2, 3, 4, 5, 6, 7};
    TransformMatrix copy;
    EquateTransform(&m, &copy);
    ExpectMatrix(copy, {2, 3, 4, 5, 6, 7});
    UnitTransform(&m);
    ExpectMatrix(m, {1, 0, 0, 1, 0, 0});

    TransformMatrix inv{9, 9, 9, 9, 9, 9};
    ASSERT_EQ(CalcInverseTransform(&m, &inv), 1);
    ExpectMatrix(inv, {1, 0, 0, 1, 0, 0});
}

TEST(Transform, WorkedExamples)
{
    const TransformMatrix m{2, 0, 0, 3, 10, 20};
    SPoint p{1, 1};
    SPoint q;
    DirectTransformPoint(&m, &p, &q);
    EXPECT_EQ(q.x, 12);
    EXPECT_EQ(q.y, 23);
    SPoint back;
    ASSERT_EQ(InverseTransformPoint(&m, &q, &back), 1);
    EXPECT_EQ(back.x, 1);
    EXPECT_EQ(back.y, 1);

    // Composition order: the first argument is applied first.
    TransformMatrix subset, scale, out;
    const SPoint origin{100, 50};
    SubsetTransform(&origin, &subset);
    DegradeTransform(0.5, 0.5, &scale);
    CalcMultiplicationTransform(&scale, &subset, &out);
    ExpectMatrix(out, {0.5, 0, 0, 0.5, -100, -50});
    CalcMultiplicationTransform(&subset, &scale, &out);
    ExpectMatrix(out, {0.5, 0, 0, 0.5, -50, -25});

    TransformMatrix rot;
    const SPoint centre{10, 10};
    RotateTransform(&centre, std::numbers::pi / 2, &rot);
    p = {11, 10};
    DirectTransformPoint(&rot, &p, &q);
    EXPECT_NEAR(q.x, 10, 1e-15);
    EXPECT_NEAR(q.y, 9, 1e-15);

    const SPoint p1{0, 0}, p2{1, 0}, p3{0, 1};
    const SPoint q1{5, 5}, q2{7, 5}, q3{5, 8};
    TransformMatrix fit;
    ASSERT_EQ(CalculationTransform(&p1, &p2, &p3, &q1, &q2, &q3, &fit), 1);
    ExpectMatrix(fit, {2, 0, 0, 3, 5, 5});
}

TEST(Transform, OutputsMayAliasInputs)
{
    TransformMatrix m{2, 1, 1, 3, 4, 5};
    const TransformMatrix step{0.5, 0, 0, 2, -1, 7};
    TransformMatrix want;
    CalcMultiplicationTransform(&m, &step, &want);
    CalcMultiplicationTransform(&m, &step, &m);
    EXPECT_EQ(Flat(m), Flat(want));

    TransformMatrix twice = m;
    ASSERT_EQ(CalcInverseTransform(&twice, &twice), 1);
    ASSERT_EQ(CalcInverseTransform(&twice, &twice), 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(Flat(twice)[i], Flat(m)[i], 1e-12);

    SPoint p{3, -4};
    const SPoint start = p;
    DirectTransformPoint(&m, &p, &p);
    ASSERT_EQ(InverseTransformPoint(&m, &p, &p), 1);
    EXPECT_NEAR(p.x, start.x, 1e-12);
    EXPECT_NEAR(p.y, start.y, 1e-12);
}

TEST(Transform, DegenerateMapsGiveZeroAndLeaveTheOutputAlone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const struct {
        const char* name;
        TransformMatrix m;
    } cases[] = {
        {"rank one", {1, 2, 2, 4, 5, 6}},       {"zero", {0, 0, 0, 0, 1, 1}},
        {"zero scale", {0, 0, 0, 1, 0, 0}},     {"subnormal determinant", {tiny, 0, 0, 1, 0, 0}},
        {"not a number", {nan, 0, 0, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TransformMatrix out{7, 7, 7, 7, 7, 7};
        EXPECT_EQ(CalcInverseTransform(&c.m, &out), 0);
        ExpectMatrix(out, {7, 7, 7, 7, 7, 7});
        const SPoint in{3, 4};
        SPoint p{7, 7};
        EXPECT_EQ(InverseTransformPoint(&c.m, &in, &p), 0);
        EXPECT_EQ(p.x, 7);
        EXPECT_EQ(p.y, 7);
    }

    const SPoint a{0, 0}, b{1, 1}, c{2, 2}, q{1, 1};
    TransformMatrix fit{7, 7, 7, 7, 7, 7};
    EXPECT_EQ(CalculationTransform(&a, &b, &c, &q, &q, &q, &fit), 0);
    EXPECT_EQ(CalculationTransform(&a, &a, &c, &q, &q, &q, &fit), 0);
    ExpectMatrix(fit, {7, 7, 7, 7, 7, 7});
}

// Random but well-conditioned cases, checked against numpy's homogeneous-matrix
// algebra (a product of 3x3 matrices, numpy's inverse and linear solver).
class TransformAgainstNumpy : public ::testing::Test {
protected:
    // Runs the reference script over the cases; one vector of numbers per case.
    std::vector<std::vector<double>> Reference(const std::vector<std::string>& cases)
    {
        const std::string in = dir_.File("in.txt");
        const std::string out = dir_.File("out.txt");
        {
            std::ofstream f(in);
            for (const auto& line : cases)
                f << line << '\n';
        }
        const std::string cmd =
            std::string("/usr/bin/python3 ") + SUITE_SOURCE_DIR + "/tests/base/transform_check.py " + in + " " + out;
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::vector<std::vector<double>> rows;
        std::ifstream f(out);
        std::string line;
        while (std::getline(f, line)) {
            std::istringstream s(line);
            std::vector<double> row;
            double v;
            while (s >> v)
                row.push_back(v);
            rows.push_back(row);
        }
        return rows;
    }

    rdptest::TempDir dir_;
};

std::string Line(const char* op, const std::vector<double>& values)
{
    std::string s = op;
    char buf[32];
    for (double v : values) {
        std::snprintf(buf, sizeof buf, " %.17g", v);
        s += buf;
    }
    return s;
}

void ExpectClose(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 1e-9 * std::max(1.0, std::fabs(want[i]))) << "item " << i;
}

TEST_F(TransformAgainstNumpy, CompositionInverseRotationAndThreePointFit)
{
    std::mt19937 gen(12345);
    std::uniform_real_distribution<double> coef(-3.0, 3.0);
    std::uniform_real_distribution<double> coord(-500.0, 500.0);
    std::uniform_real_distribution<double> angle(-7.0, 7.0);
    const auto matrix = [&] {
        for (;;) {
            TransformMatrix m{coef(gen), coef(gen), coef(gen), coef(gen), coord(gen), coord(gen)};
            if (std::fabs(m.a * m.d - m.b * m.c) > 0.5)
                return m;
        }
    };

    std::vector<std::string> lines;
    std::vector<std::vector<double>> ours;
    for (int i = 0; i < 20; ++i) {
        const TransformMatrix m1 = matrix(), m2 = matrix();
        TransformMatrix out;
        CalcMultiplicationTransform(&m1, &m2, &out);
        std::vector<double> in = Flat(m1);
        const std::vector<double> second = Flat(m2);
        in.insert(in.end(), second.begin(), second.end());
        lines.push_back(Line("compose", in)), ours.push_back(Flat(out));

        ASSERT_EQ(CalcInverseTransform(&m1, &out), 1);
        lines.push_back(Line("inverse", Flat(m1))), ours.push_back(Flat(out));

        const SPoint p{coord(gen), coord(gen)};
        SPoint q;
        ASSERT_EQ(InverseTransformPoint(&m2, &p, &q), 1);
        in = Flat(m2);
        in.insert(in.end(), {p.x, p.y});
        lines.push_back(Line("invpoint", in)), ours.push_back({q.x, q.y});

        const SPoint centre{coord(gen), coord(gen)};
        const double t = angle(gen);
        RotateTransform(&centre, t, &out);
        DirectTransformPoint(&out, &p, &q);
        std::vector<double> rot = Flat(out);
        rot.insert(rot.end(), {q.x, q.y});
        lines.push_back(Line("rotate", {centre.x, centre.y, t, p.x, p.y}));
        ours.push_back(rot);

        // Three points of a non-degenerate triangle and their images under m1.
        SPoint ps[3], qs[3];
        do {
            for (auto& s : ps)
                s = {coord(gen), coord(gen)};
        } while (std::fabs((ps[1].x - ps[0].x) * (ps[2].y - ps[0].y) - (ps[1].y - ps[0].y) * (ps[2].x - ps[0].x)) <
                 1000.0);
        for (int j = 0; j < 3; ++j)
            DirectTransformPoint(&m1, &ps[j], &qs[j]);
        ASSERT_EQ(CalculationTransform(&ps[0], &ps[1], &ps[2], &qs[0], &qs[1], &qs[2], &out), 1);
        lines.push_back(Line("fit", {ps[0].x, ps[0].y, ps[1].x, ps[1].y, ps[2].x, ps[2].y, qs[0].x, qs[0].y, qs[1].x,
                                     qs[1].y, qs[2].x, qs[2].y}));
        ours.push_back(Flat(out));
        ExpectClose(Flat(out), Flat(m1));  // the fit recovers the map the points came from
    }

    const auto ref = Reference(lines);
    ASSERT_EQ(ref.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        ExpectClose(ours[i], ref[i]);
    }
}

}  // namespace
