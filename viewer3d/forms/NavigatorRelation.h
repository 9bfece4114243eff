#pragma once
// The navigator's arithmetic, without a window: the relation of a slave frame to a
// master frame (position and orientation in master coordinates, and the inverse),
// what the edits show, how typed coordinates, angles, distances and mouse drags
// change it, the auto-repeat schedule and the report text.

#include "engine3d/geometry/SVectors3D.h"

#include <cstdint>
#include <optional>
#include <string>

class TSNavigatorRelation final {
public:
    struct Point {
        int X = 0;
        int Y = 0;
        bool operator==(const Point&) const = default;
    };
    struct Placement {
        TSMatrix3D Matrix;
        TSVector3D Origin;
    };

    TSNavigatorRelation();

    // State of the toggles: edit the master in slave coordinates, keep the captured
    // view direction, mirrored orientation.
    bool ShowMaster = false;
    bool Fixer = false;
    bool Mirror = false;

    TSVector3D RelativePosition;
    TSMatrix3D RelativeMatrix;
    TSMatrix3D RelativeInverse;
    TSVector3D FixedDirection;

    // Reads the relation of a slave (origin So, orientation As) to a master (origin
    // Mo, inverse orientation Bo) and captures the fixed direction; Mirror follows
    // the determinant. False, with the relation unchanged, when it cannot be
    // inverted or is not finite.
    bool Read(const TSVector3D& Mo, const TSMatrix3D& Bo, const TSVector3D& So, const TSMatrix3D& As);
    // Where the slave goes for a master (Mo, Ao); nothing for a relation that is
    // singular or not finite.
    std::optional<Placement> SlavePlacement(const TSVector3D& Mo, const TSMatrix3D& Ao) const;

    // The position and orientation the edits show, and the distance.
    TSVector3D ShownPosition() const;
    TSMatrix3D ShownMatrix() const;
    double Distance() const;

    // Typed values. Each answers false, leaving the relation as it was, when the
    // result would be singular or not finite.
    bool SetRelativePosition(bool ShowMasterState, bool FixerState, double X, double Y, double Z);
    bool SetRelativeAngles(int Convention, bool ShowMasterState, double Alpha, double Beta, double Gamma,
                           bool MirrorState);
    // Degrees; untouched for a convention outside 1 to 3.
    void GetRelativeAngles(int Convention, bool ShowMasterState, double& Alpha, double& Beta, double& Gamma) const;
    void SetDistance(double D);
    void CaptureFixedDirection();
    void KeepFixedDirection();

    // Mouse in a preview box of Width x Height.
    void BeginDrag(Point At, int Width, int Height);
    void EndDrag() { m_dragging = false; }
    // True when the relation turned (the caller applies it).
    bool DragTo(Point At, int Width, int Height);
    bool Dragging() const { return m_dragging; }
    bool SpinMode() const { return m_spinMode; }

    // The step of exponent N (0.1 multiplied N times) and the factor of the step
    // numbered Count (from 0) of an auto-repeat: 1 for the first ten, then doubling
    // every nine steps up to 512.
    static double StepSize(int Exponent);
    static double RepeatFactor(std::int32_t Count);

    // The report of both relations, lines ended by CR LF.
    std::string MemoText() const;

private:
    bool m_dragging = false;
    bool m_spinMode = false;
    Point m_lastPos;
    Point m_dragStart;
    TSMatrix3D m_dragMatrix;
};

// Writes Value into Text as FormatReal (Value, Width, Decimals) unless Text already
// reads as a number that formats to the same: the user's own writing of an
// unchanged number stays. True when Text changed.
bool SetEditNumber(std::string& Text, int Width, int Decimals, double Value);

// A number as "%8.4f" writes it in the C locale, whatever the process's locale.
std::string FixedColumn(double Value);
