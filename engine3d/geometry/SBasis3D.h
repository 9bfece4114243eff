#pragma once
// Coordinate frames: an origin and an orientation in world coordinates, kept
// with the inverse orientation, linked into trees so that a transform of one
// frame carries every frame attached below it along.

#include "engine3d/model/SGeneral.h"
#include "engine3d/geometry/SVectors3D.h"

#include <cstdint>
#include <vector>

class TSDataBranch;

// Events of a frame (Param 0): the outermost transform begins and ends.
enum TSBasis3DEvent : std::int32_t {
    ecBeginTransform = 4096,
    ecEndTransform = 4097,
};

// The one re-entrant lock of all frame trees. A frame's own lock may be held
// while taking it, never the other way round.
void LockFrames();
void UnlockFrames();

// A frame. A point p in frame coordinates lies at Matrix·p + Origin in the
// world. Placements are absolute; the tree only carries transforms down. A
// frame owns none of the frames attached to it: destroying it detaches them.
// Every frame is listed in "Global List of SBasis3D" while the unit runs.
class TSBasis3D : public TSCustomChangeObject {
    S_CLASS(TSBasis3D)
public:
    ~TSBasis3D() override;

    // Tree (under the frames lock).
    TSBasis3D* Parent() const;
    void SetParent(TSBasis3D* NewParent);
    std::int32_t ChildCount() const;
    void SetChildCount(std::int32_t N);
    // nullptr out of range or for an empty slot.
    TSBasis3D* GetChild(std::int32_t Index) const;
    // -1 when Child is not attached here (or is nullptr).
    std::int32_t IndexOfChild(const TSBasis3D* Child) const;
    // True when Frame is a proper ancestor of this frame.
    bool IsDescendantOf(const TSBasis3D* Frame) const;

    virtual void Exchange(std::int32_t I, std::int32_t J);
    virtual void Move(std::int32_t From, std::int32_t To);
    // A nullptr Child appends an empty slot. This frame and its ancestors are
    // refused (-1); a child attached here answers its index.
    virtual std::int32_t AddChild(TSBasis3D* Child);
    // The removed child (not freed), nullptr out of range.
    virtual TSBasis3D* RemoveChild(std::int32_t Index);

    // Placement (under the frame's own lock).
    TSVector3D Origin() const;
    TSMatrix3D Matrix() const;
    TSMatrix3D InverseMatrix() const;
    std::int32_t TransformNesting() const;
    // x -> A·x + B for this frame and every frame attached below it. A new
    // matrix that cannot be inverted puts the frame back at the world origin
    // with identity orientation and raises EFloatDivision after the transform
    // has ended; the attached frames stay where they were.
    virtual void Transform(const TSMatrix3D& A, const TSVector3D& B);
    // Moves the frame to NewMatrix and NewOrigin; attached frames follow.
    void SetPlacement(const TSMatrix3D& NewMatrix, const TSVector3D& NewOrigin);
    // Turns the orientation by A about the frame's origin.
    void RotateAboutOrigin(const TSMatrix3D& A);

    void GetOrigin(TSVector3D& V) const;
    void GetOriginSingle(TSVector3DSingle& V) const;
    // R = Matrix·P + Origin.
    void PointToWorld(const TSVector3D& P, TSVector3D& R) const;
    void PointToWorldSingle(const TSVector3DSingle& P, TSVector3DSingle& R) const;
    // R = Matrix·D.
    void DirectionToWorldSingle(const TSVector3DSingle& D, TSVector3DSingle& R) const;
    // R = InverseMatrix·(Q - Origin).
    void PointFromWorld(const TSVector3D& Q, TSVector3D& R) const;
    void PointFromWorldSingle(const TSVector3DSingle& Q, TSVector3DSingle& R) const;

    // Branch becomes this frame's tree: its name, the frame as data, and one
    // child branch per attached frame in slot order.
    void BuildBranch(TSDataBranch* Branch);

    // A frame's placement, or the world origin for anything else.
    void Assign(TPersistent* Source) override;
    void Initialize() override;
    // Refuses with "Busy" during a transform or an open change.
    std::int32_t Save(TSObjectsStream* Stream) override;
    // Leaves the tree, reads the placement and keeps the saved child
    // identities apart; the child slots stay empty until Link.
    std::int32_t Load(TSObjectsStream* Stream) override;
    // Attaches the frames the saved identities name, as AddChild would; an
    // identity that names no frame, this frame, an ancestor or a frame already
    // attached elsewhere leaves its slot empty.
    std::int32_t Link(TSObjectsStream* Stream) override;

protected:
    virtual void DoBeginTransform();
    virtual void DoEndTransform();

private:
    void RunTransform(const TSMatrix3D& A, const TSVector3D& B, const TSMatrix3D* ExactMatrix,
                      const TSVector3D* ExactOrigin);
    void BeginTransform();
    void EndTransform();
    // Under the frames lock.
    std::int32_t Attach(TSBasis3D* Child);

    TSBasis3D* m_parent = nullptr;
    std::vector<TSBasis3D*> m_children;
    // Identities read by Load, waiting for Link.
    std::vector<std::uint32_t> m_savedChildren;
    std::int32_t m_transformNesting = 0;
    TSVector3D m_origin;
    TSMatrix3D m_matrix;
    TSMatrix3D m_inverse;
};

// "Global List of SBasis3D", or nullptr while the unit is not running.
TSObjectsList* GlobalBasis3DList();

// Start and end of the unit: the register of frames and the class registration.
void SBasis3DInitialization();
void SBasis3DFinalization();
