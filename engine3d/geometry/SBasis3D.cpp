#include "engine3d/geometry/SBasis3D.h"

#include "engine3d/model/SRTDRegistry.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>

namespace {

std::recursive_mutex& FramesLock()
{
    // Never destroyed: frames held by other units may be freed after this unit ended.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

std::atomic<TSObjectsList*> gFrames{nullptr};

using FramesGuard = std::lock_guard<std::recursive_mutex>;

TSMatrix3D Identity()
{
    TSMatrix3D m;
    IdentityMatrix3D(m);
    return m;
}

TSVector3D Widen(const TSVector3DSingle& V)
{
    TSVector3D r;
    SingleToDoubleVector3D(V, r);
    return r;
}

TSVector3DSingle Narrow(const TSVector3D& V)
{
    return {static_cast<float>(V.X), static_cast<float>(V.Y), static_cast<float>(V.Z)};
}

}  // namespace

void LockFrames()
{
    FramesLock().lock();
}

void UnlockFrames()
{
    FramesLock().unlock();
}

TSObjectsList* GlobalBasis3DList()
{
    return gFrames.load();
}

void SBasis3DInitialization()
{
    FramesLock();
    if (gFrames.load() == nullptr) {
        auto* frames = new TSObjectsList("Global List of SBasis3D");
        TSObjectsList* expected = nullptr;
        if (!gFrames.compare_exchange_strong(expected, frames))
            delete frames;
    }
    RegisterRTDClass(&TSBasis3D::ClassInfo);
}

void SBasis3DFinalization()
{
    UnregisterRTDClass(&TSBasis3D::ClassInfo);
    delete gFrames.exchange(nullptr);
}

// ---------------------------------------------------------------------------
// TSBasis3D

constinit const TSClassInfo TSBasis3D::ClassInfo{"TSBasis3D", &TSCustomChangeObject::ClassInfo,
                                                 &TSNewObject<TSBasis3D>};

void TSBasis3D::Initialize()
{
    TSCustomChangeObject::Initialize();
    m_origin = {};
    m_matrix = Identity();
    m_inverse = Identity();
    if (TSObjectsList* frames = GlobalBasis3DList())
        frames->Add(this);
}

TSBasis3D::~TSBasis3D()
{
    Finalize();
    if (TSObjectsList* frames = GlobalBasis3DList())
        frames->Remove(this);
    FramesGuard guard(FramesLock());
    SetParent(nullptr);
    SetChildCount(0);
}

// ---------------------------------------------------------------------------
// Tree

TSBasis3D* TSBasis3D::Parent() const
{
    FramesGuard guard(FramesLock());
    return m_parent;
}

std::int32_t TSBasis3D::ChildCount() const
{
    FramesGuard guard(FramesLock());
    return static_cast<std::int32_t>(m_children.size());
}

TSBasis3D* TSBasis3D::GetChild(std::int32_t Index) const
{
    FramesGuard guard(FramesLock());
    if (Index < 0 || static_cast<std::size_t>(Index) >= m_children.size())
        return nullptr;
    return m_children[static_cast<std::size_t>(Index)];
}

std::int32_t TSBasis3D::IndexOfChild(const TSBasis3D* Child) const
{
    if (Child == nullptr)
        return -1;
    FramesGuard guard(FramesLock());
    for (std::size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i] == Child)
            return static_cast<std::int32_t>(i);
    return -1;
}

bool TSBasis3D::IsDescendantOf(const TSBasis3D* Frame) const
{
    if (Frame == nullptr)
        return false;
    FramesGuard guard(FramesLock());
    for (const TSBasis3D* p = m_parent; p != nullptr; p = p->m_parent)
        if (p == Frame)
            return true;
    return false;
}

void TSBasis3D::SetParent(TSBasis3D* NewParent)
{
    FramesGuard guard(FramesLock());
    if (NewParent == m_parent || NewParent == this || (NewParent != nullptr && NewParent->IsDescendantOf(this)))
        return;
    if (m_parent != nullptr)
        m_parent->RemoveChild(m_parent->IndexOfChild(this));
    if (NewParent != nullptr)
        NewParent->AddChild(this);
}

std::int32_t TSBasis3D::AddChild(TSBasis3D* Child)
{
    FramesGuard guard(FramesLock());
    if (Child == nullptr) {
        m_children.push_back(nullptr);
        return static_cast<std::int32_t>(m_children.size()) - 1;
    }
    if (Child == this || IsDescendantOf(Child))
        return -1;
    if (Child->m_parent == this) {
        const std::int32_t known = IndexOfChild(Child);
        if (known >= 0)
            return known;
    }
    return Attach(Child);
}

std::int32_t TSBasis3D::Attach(TSBasis3D* Child)
{
    if (TSBasis3D* old = Child->m_parent)
        old->RemoveChild(old->IndexOfChild(Child));
    m_children.push_back(Child);
    Child->m_parent = this;
    return static_cast<std::int32_t>(m_children.size()) - 1;
}

TSBasis3D* TSBasis3D::RemoveChild(std::int32_t Index)
{
    FramesGuard guard(FramesLock());
    const auto count = static_cast<std::int32_t>(m_children.size());
    if (Index < 0 || Index >= count)
        return nullptr;
    TSBasis3D* child = m_children[static_cast<std::size_t>(Index)];
    Move(Index, count - 1);
    m_children.pop_back();
    if (child != nullptr && child->m_parent == this)
        child->m_parent = nullptr;
    return child;
}

void TSBasis3D::SetChildCount(std::int32_t N)
{
    if (N < 0)
        return;
    FramesGuard guard(FramesLock());
    while (static_cast<std::int32_t>(m_children.size()) > N)
        RemoveChild(static_cast<std::int32_t>(m_children.size()) - 1);
    if (static_cast<std::int32_t>(m_children.size()) < N)
        m_children.resize(static_cast<std::size_t>(N), nullptr);
}

void TSBasis3D::Exchange(std::int32_t I, std::int32_t J)
{
    FramesGuard guard(FramesLock());
    const auto n = static_cast<std::int32_t>(m_children.size());
    if (I == J || I < 0 || J < 0 || I >= n || J >= n)
        return;
    std::swap(m_children[static_cast<std::size_t>(I)], m_children[static_cast<std::size_t>(J)]);
}

void TSBasis3D::Move(std::int32_t From, std::int32_t To)
{
    FramesGuard guard(FramesLock());
    const auto n = static_cast<std::int32_t>(m_children.size());
    if (From == To || From < 0 || To < 0 || From >= n || To >= n)
        return;
    const auto first = m_children.begin();
    if (From < To)
        std::rotate(first + From, first + From + 1, first + To + 1);
    else
        std::rotate(first + To, first + From, first + From + 1);
}

// ---------------------------------------------------------------------------
// Placement

TSVector3D TSBasis3D::Origin() const
{
    TSObjectLock guard(*this);
    return m_origin;
}

TSMatrix3D TSBasis3D::Matrix() const
{
    TSObjectLock guard(*this);
    return m_matrix;
}

TSMatrix3D TSBasis3D::InverseMatrix() const
{
    TSObjectLock guard(*this);
    return m_inverse;
}

std::int32_t TSBasis3D::TransformNesting() const
{
    TSObjectLock guard(*this);
    return m_transformNesting;
}

void TSBasis3D::DoBeginTransform()
{
    Events.Notify(this, ecBeginTransform, 0);
}

void TSBasis3D::DoEndTransform()
{
    Events.Notify(this, ecEndTransform, 0);
}

void TSBasis3D::BeginTransform()
{
    if (++m_transformNesting == 1 && !IsDestroying())
        DoBeginTransform();
}

void TSBasis3D::EndTransform()
{
    if (m_transformNesting > 0 && --m_transformNesting == 0 && !IsDestroying())
        DoEndTransform();
}

void TSBasis3D::Transform(const TSMatrix3D& A, const TSVector3D& B)
{
    RunTransform(A, B, nullptr, nullptr);
}

void TSBasis3D::RunTransform(const TSMatrix3D& A, const TSVector3D& B, const TSMatrix3D* ExactMatrix,
                             const TSVector3D* ExactOrigin)
{
    TSObjectLock guard(*this);
    std::exception_ptr failure;
    try {
        BeginTransform();
        TSMatrix3D matrix;
        TSVector3D origin;
        if (ExactMatrix != nullptr) {
            matrix = *ExactMatrix;
            origin = *ExactOrigin;
        } else {
            MulMatrix3D(A, m_matrix, matrix);
            MulMatrixVector3D(A, m_origin, origin);
            AddVector3D(origin, B, origin);
        }
        TSMatrix3D inverse;
        bool placed = false;
        try {
            InverseMatrix3D(matrix, inverse);
            m_matrix = matrix;
            m_origin = origin;
            m_inverse = inverse;
            placed = true;
        } catch (...) {
            m_origin = {};
            m_matrix = Identity();
            m_inverse = Identity();
            failure = std::current_exception();
        }
        if (placed) {
            // A snapshot taken under the frames lock: the attached frames are
            // transformed without it, so that their own locks are never taken
            // under it, and a concurrent reparenting cannot resize the array
            // being walked.
            std::vector<TSBasis3D*> children;
            {
                FramesGuard frames(FramesLock());
                children = m_children;
            }
            for (TSBasis3D* child : children)
                if (child != nullptr) {
                    try {
                        child->Transform(A, B);
                    } catch (...) {
                        // One attached frame failing does not stop the others.
                    }
                }
        }
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    EndTransform();
    if (failure)
        std::rethrow_exception(failure);
}

void TSBasis3D::SetPlacement(const TSMatrix3D& NewMatrix, const TSVector3D& NewOrigin)
{
    TSObjectLock guard(*this);
    TSMatrix3D a;
    MulMatrix3D(NewMatrix, m_inverse, a);
    TSVector3D moved;
    MulMatrixVector3D(a, m_origin, moved);
    TSVector3D b;
    SubVector3D(NewOrigin, moved, b);
    // The frame lands on the placement itself rather than on A·Matrix, which
    // rounding may put a little beside it; the attached frames follow A, B.
    RunTransform(a, b, &NewMatrix, &NewOrigin);
}

void TSBasis3D::RotateAboutOrigin(const TSMatrix3D& A)
{
    TSObjectLock guard(*this);
    TSVector3D turned;
    MulMatrixVector3D(A, m_origin, turned);
    TSVector3D b;
    SubVector3D(m_origin, turned, b);
    Transform(A, b);
}

void TSBasis3D::GetOrigin(TSVector3D& V) const
{
    V = Origin();
}

void TSBasis3D::GetOriginSingle(TSVector3DSingle& V) const
{
    V = Narrow(Origin());
}

void TSBasis3D::PointToWorld(const TSVector3D& P, TSVector3D& R) const
{
    TSObjectLock guard(*this);
    TSVector3D turned;
    MulMatrixVector3D(m_matrix, P, turned);
    AddVector3D(turned, m_origin, R);
}

void TSBasis3D::PointToWorldSingle(const TSVector3DSingle& P, TSVector3DSingle& R) const
{
    TSVector3D world;
    PointToWorld(Widen(P), world);
    R = Narrow(world);
}

void TSBasis3D::DirectionToWorldSingle(const TSVector3DSingle& D, TSVector3DSingle& R) const
{
    TSObjectLock guard(*this);
    TSVector3D turned;
    MulMatrixVector3D(m_matrix, Widen(D), turned);
    R = Narrow(turned);
}

void TSBasis3D::PointFromWorld(const TSVector3D& Q, TSVector3D& R) const
{
    TSObjectLock guard(*this);
    TSVector3D relative;
    SubVector3D(Q, m_origin, relative);
    MulMatrixVector3D(m_inverse, relative, R);
}

void TSBasis3D::PointFromWorldSingle(const TSVector3DSingle& Q, TSVector3DSingle& R) const
{
    TSVector3D local;
    PointFromWorld(Widen(Q), local);
    R = Narrow(local);
}

// ---------------------------------------------------------------------------
// Browsing, copying, streaming

void TSBasis3D::BuildBranch(TSDataBranch* Branch)
{
    if (Branch == nullptr)
        return;
    Branch->SetCount(0);
    Branch->SetName(Name());
    Branch->SetData(this);
    std::vector<TSBasis3D*> children;
    {
        FramesGuard guard(FramesLock());
        children = m_children;
    }
    for (TSBasis3D* child : children)
        if (child != nullptr) {
            TSDataBranch* node = TSDataBranch::Create("");
            Branch->AddChild(node);
            child->BuildBranch(node);
        }
}

void TSBasis3D::Assign(TPersistent* Source)
{
    if (auto* frame = dynamic_cast<TSBasis3D*>(Source)) {
        if (frame == this)
            return;
        const TSMatrix3D matrix = frame->Matrix();
        const TSVector3D origin = frame->Origin();
        SetPlacement(matrix, origin);
    } else {
        SetPlacement(Identity(), TSVector3D{});
    }
}

std::int32_t TSBasis3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    if (m_transformNesting > 0)
        throw EInvalidOperation(ObjectErrorText(this, sCantSave, sBusy));
    std::int32_t written = TSCustomChangeObject::Save(Stream);
    std::vector<TSBasis3D*> children;
    {
        FramesGuard frames(FramesLock());
        children = m_children;
    }
    Stream->Write(&m_origin, sizeof m_origin);
    Stream->Write(&m_matrix, sizeof m_matrix);
    Stream->Write(&m_inverse, sizeof m_inverse);
    const auto count = static_cast<std::int32_t>(children.size());
    Stream->Write(&count, 4);
    for (TSBasis3D* child : children) {
        const std::uint32_t id = child ? Stream->ObjectIdentity(child) : 0;
        Stream->Write(&id, 4);
    }
    written += 172 + 4 * count;
    return written;
}

std::int32_t TSBasis3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    {
        FramesGuard frames(FramesLock());
        SetParent(nullptr);
        SetChildCount(0);
        m_savedChildren.clear();
    }
    std::int32_t read = TSCustomChangeObject::Load(Stream);
    TSVector3D origin;
    TSMatrix3D matrix;
    TSMatrix3D inverse;
    Stream->Read(&origin, sizeof origin);
    Stream->Read(&matrix, sizeof matrix);
    Stream->Read(&inverse, sizeof inverse);
    std::int32_t count = 0;
    Stream->Read(&count, 4);
    const std::int64_t left = Stream->Remaining();
    if (count < 0 || (left >= 0 && 4 * static_cast<std::int64_t>(count) > left))
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
    std::vector<std::uint32_t> saved(static_cast<std::size_t>(count));
    if (count > 0)
        Stream->Read(saved.data(), 4 * count);
    m_origin = origin;
    m_matrix = matrix;
    m_inverse = inverse;
    m_savedChildren = std::move(saved);
    read += 172 + 4 * count;
    return read;
}

std::int32_t TSBasis3D::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::vector<std::uint32_t> saved;
    {
        TSObjectLock guard(*this);
        saved.swap(m_savedChildren);
    }
    // Looked up first: FindObject may refuse an identity of another class.
    std::vector<TSBasis3D*> found(saved.size(), nullptr);
    for (std::size_t i = 0; i < saved.size(); ++i)
        found[i] = dynamic_cast<TSBasis3D*>(Stream->FindObject(saved[i], &TSBasis3D::ClassInfo));
    FramesGuard frames(FramesLock());
    if (!saved.empty()) {
        SetChildCount(0);
        for (TSBasis3D* child : found) {
            // Attached as AddChild would, but never taken from another parent:
            // a file must not build a cycle or give a frame two parents.
            const bool fits = child != nullptr && child != this && child->m_parent == nullptr && !IsDescendantOf(child);
            if (fits)
                Attach(child);
            else
                m_children.push_back(nullptr);
        }
    }
    return static_cast<std::int32_t>(m_children.size());
}
