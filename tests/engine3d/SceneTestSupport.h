#pragma once
// Helpers of the scene tests: a fixture that runs the scene units' start and
// end around each test, object makers and error capture.

#include "EngineTestSupport.h"

#include "engine3d/geometry/SBasis3D.h"
#include "engine3d/scene/SCustom3D.h"
#include "engine3d/scene/SCustom3DLists.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

// The scene units run for the whole test program, started from the engine's
// start-up table by the test environment.
class SceneTest : public ::testing::Test {};

// A drawing system that keeps what it is given.
class TRecordingDrawSystem final : public TSCustomDrawSystem3D {
    S_CLASS(TRecordingDrawSystem)
public:
    using TSCustomDrawSystem3D::DrawPoint;
    std::vector<TSVertex3DSingle> Points;
    int EnabledChanges = 0;

    void DrawPoint(const TSVertex3DSingle& P) override { Points.push_back(P); }
    void EnabledChanged() override { ++EnabledChanges; }
};

template <class T>
std::unique_ptr<T> Make(TObject* Owner = nullptr)
{
    return std::unique_ptr<T>(TSObject::Create<T>(Owner));
}

// The text of the library error Action raises, or "no error".
inline std::string ErrorOf(const std::function<void()>& Action)
{
    try {
        Action();
    } catch (const ELibraryError& e) {
        return e.what();
    }
    return "no error";
}

inline bool Near(const TSVector3D& A, const TSVector3D& B, double Tolerance = 1e-12)
{
    return std::abs(A.X - B.X) <= Tolerance && std::abs(A.Y - B.Y) <= Tolerance && std::abs(A.Z - B.Z) <= Tolerance;
}

inline bool Near(const TSMatrix3D& A, const TSMatrix3D& B, double Tolerance = 1e-12)
{
    for (int k = 0; k < 9; ++k)
        if (!(std::abs(A.M[k] - B.M[k]) <= Tolerance))
            return false;
    return true;
}

inline TSMatrix3D IdentityMatrix()
{
    TSMatrix3D m;
    IdentityMatrix3D(m);
    return m;
}

inline TSMatrix3D Rotation(const TSVector3D& Axis, double Angle)
{
    TSMatrix3D m;
    AxisRotationMatrix3D(Axis, m, Angle);
    return m;
}

inline void PrintTo(const TSVector3D& V, std::ostream* Out)
{
    *Out << "(" << V.X << ", " << V.Y << ", " << V.Z << ")";
}
