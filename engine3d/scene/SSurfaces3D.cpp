#include "engine3d/scene/SSurfaces3D.h"

#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/model/SThreads.h"

#include "platform/threads/ParallelFor.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr std::int64_t kNodeSize = sizeof(TSSurfaceNode);

// Padded to a multiple of 16 nodes.
std::int64_t Padded(std::int32_t N)
{
    return (std::int64_t(N) + 15) / 16 * 16;
}

std::int64_t RowStrideFor(std::int32_t Width)
{
    return Padded(Width) * kNodeSize;
}

// Sizes above TSSurface3D::MaxArraySize answer MaxArraySize + 1, so that the
// product never overflows.
std::int64_t ArraySizeFor(std::int32_t Width, std::int32_t Height)
{
    const std::int64_t stride = RowStrideFor(Width);
    const std::int64_t rows = Padded(Height);
    if (stride > 0 && rows > TSSurface3D::MaxArraySize / stride)
        return TSSurface3D::MaxArraySize + 1;
    return rows * stride;
}

TSVector3DSingle WorldOf(const TSSurfaceNode& N)
{
    return {N.Vertex.X, N.Vertex.Y, N.Vertex.Z};
}

}  // namespace

constinit const TSClassInfo TSSurface3D::ClassInfo{"TSSurface3D", &TSCustomConstruction3D::ClassInfo,
                                                   &TSNewObject<TSSurface3D>};

void TSSurface3D::Initialize()
{
    TSCustomConstruction3D::Initialize();
    m_gridStep = 1;
    m_rowsPerProgressStep = 1;
    m_progressSteps = 1;
    m_lower = {-1, -1, -1};
    m_upper = {1, 1, 1};
    m_center = TSObject::Create<TSBasis3D>(this);
    m_center->SetName("Center Point");
    if (TSBasis3D* frame = Frame())
        frame->AddChild(m_center);
}

TSSurface3D::~TSSurface3D()
{
    Finalize();
    ReleaseNodes();
    HoldLaw(nullptr);
    delete std::exchange(m_center, nullptr);
}

TSSurfaceNode& TSSurface3D::Node(std::int32_t I, std::int32_t J) const
{
    return *reinterpret_cast<TSSurfaceNode*>(m_nodes + std::int64_t(J) * m_rowStride + I * kNodeSize);
}

bool TSSurface3D::IsEmpty() const
{
    return m_nodes == nullptr || m_arraySize < 1 || m_width < 1 || m_height < 1;
}

void TSSurface3D::DoBeginUpdate(TSParam Param)
{
    Events.Notify(this, ecNodesUpdateBegin, Param);
}

void TSSurface3D::DoEndUpdate(TSParam Param)
{
    Events.Notify(this, ecNodesUpdateEnd, Param);
}

void TSSurface3D::BeginUpdate(TSParam Param)
{
    BeginChange(false, 0);
    TSObjectLock guard(*this);
    if (++m_updateNesting == 1 && !IsDestroying())
        DoBeginUpdate(Param);
}

void TSSurface3D::EndUpdate(TSParam Param)
{
    try {
        TSObjectLock guard(*this);
        if (m_updateNesting > 0 && --m_updateNesting == 0 && !IsDestroying()) {
            RecomputeBounds();
            DoEndUpdate(Param);
        }
    } catch (...) {
        EndChange(false, 0);
        throw;
    }
    EndChange(false, 0);
}

// ---------------------------------------------------------------------------
// Grid

void TSSurface3D::ReleaseNodes()
{
    std::free(std::exchange(m_nodes, nullptr));
    m_arraySize = 0;
    m_rowStride = 0;
    m_width = 0;
    m_height = 0;
}

void TSSurface3D::Resize(std::int32_t Width, std::int32_t Height)
{
    const std::int64_t stride = RowStrideFor(Width);
    const std::int64_t size = ArraySizeFor(Width, Height);
    unsigned char* nodes = nullptr;
    if (size > 0) {
        nodes = static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(size), 1));
        if (nodes == nullptr) {
            ReleaseNodes();
            throw EOutOfMemory();
        }
        // Only nodes inside both grids move; everything else stays zero, so a
        // node left over from a wider grid never comes back.
        const std::int32_t rows = std::min(m_height, Height);
        const std::int64_t bytes = std::min(m_width, Width) * kNodeSize;
        if (m_nodes != nullptr && bytes > 0)
            for (std::int32_t j = 0; j < rows; ++j)
                std::memcpy(nodes + j * stride, m_nodes + std::int64_t(j) * m_rowStride,
                            static_cast<std::size_t>(bytes));
    }
    std::free(std::exchange(m_nodes, nodes));
    m_arraySize = static_cast<std::int32_t>(size);
    m_rowStride = static_cast<std::int32_t>(stride);
    m_width = Width;
    m_height = Height;
}

void TSSurface3D::SetGridSize(std::int32_t Width, std::int32_t Height)
{
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    TSObjectLock guard(*this);
    if (Width == m_width && Height == m_height)
        return;
    if (ArraySizeFor(Width, Height) > MaxArraySize)
        throw EOutOfMemory();
    BeginUpdate(0);
    try {
        Resize(Width, Height);
        if (Enabled())
            Invalidate(0);
        RecomputeSteps();
    } catch (...) {
        EndUpdate(0);
        throw;
    }
    EndUpdate(0);
}

void TSSurface3D::FreeNodes()
{
    TSObjectLock guard(*this);
    // Nothing to release: no node update is announced.
    if (m_nodes == nullptr) {
        ReleaseNodes();
        RecomputeSteps();
        return;
    }
    BeginUpdate(0);
    ReleaseNodes();
    RecomputeSteps();
    EndUpdate(0);
    if (Enabled() && !IsDestroying())
        Invalidate(0);
}

void TSSurface3D::RecomputeSteps()
{
    TSObjectLock guard(*this);
    if (IsEmpty()) {
        m_stepX = m_stepY = 1;
        m_byteStepX = m_byteStepY = 0;
        return;
    }
    // A step below 1 (from a file or a drawing record) counts as 1.
    const std::int32_t step = std::max(m_gridStep, 1);
    // A large step is cut so that about eight nodes stay along each direction.
    m_stepX = std::int64_t(step) * 8 > m_width ? (m_width + 7) / 8 : step;
    m_stepY = std::int64_t(step) * 8 > m_height ? (m_height + 7) / 8 : step;
    m_byteStepX = m_stepX * kNodeSize;
    m_byteStepY = std::int64_t(m_stepY) * m_rowStride;
    const std::int64_t columns = std::max<std::int64_t>(1, (std::int64_t(m_width) + m_stepX - 1) / m_stepX);
    m_rowsPerProgressStep = static_cast<std::int32_t>(std::max<std::int64_t>(1, (columns + 999) / columns));
    const std::int64_t rowsPerStep = std::int64_t(m_rowsPerProgressStep) * m_stepY;
    m_progressSteps = static_cast<std::int32_t>((m_height + rowsPerStep - 1) / rowsPerStep);
}

void TSSurface3D::RecomputeBounds()
{
    if (IsDestroying())
        return;
    TSObjectLock guard(*this);
    if (IsEmpty()) {
        m_lower = {-1, -1, -1};
        m_upper = {1, 1, 1};
    } else {
        const TSVector3DSingle& first = Node(0, 0).Position;
        double lower[3] = {first.X, first.Y, first.Z};
        double upper[3] = {first.X, first.Y, first.Z};
        for (std::int32_t j = 0; j < m_height; ++j)
            for (std::int32_t i = 0; i < m_width; ++i) {
                const TSVector3DSingle& p = Node(i, j).Position;
                const double v[3] = {p.X, p.Y, p.Z};
                for (int a = 0; a < 3; ++a) {
                    if (v[a] < lower[a])
                        lower[a] = v[a];
                    else if (v[a] > upper[a])
                        upper[a] = v[a];
                }
            }
        m_lower = {lower[0], lower[1], lower[2]};
        m_upper = {upper[0], upper[1], upper[2]};
    }
    TSBasis3D* frame = Frame();
    if (frame == nullptr || m_center == nullptr)
        return;
    const TSVector3D centre{(m_lower.X + m_upper.X) * 0.5, (m_lower.Y + m_upper.Y) * 0.5,
                            (m_lower.Z + m_upper.Z) * 0.5};
    TSVector3D world;
    frame->PointToWorld(centre, world);
    m_center->SetPlacement(frame->Matrix(), world);
}

void TSSurface3D::GetLowerBound(TSVector3D& B)
{
    TSObjectLock guard(*this);
    B = m_lower;
}

void TSSurface3D::GetUpperBound(TSVector3D& B)
{
    TSObjectLock guard(*this);
    B = m_upper;
}

// ---------------------------------------------------------------------------
// Settings

template <class T>
void TSSurface3D::ChangeSetting(std::atomic<T>& Field, T Value, bool NeedsVisible)
{
    TSObjectLock guard(*this);
    if (Value == Field.load())
        return;
    InChange(*this, false, [&] {
        Field = Value;
        if (Enabled() && (Visible() || !NeedsVisible) && !IsDestroying())
            Invalidate(0);
    });
}

void TSSurface3D::SetLighting(std::int32_t Value)
{
    if (Value <= slSceneLight)
        ChangeSetting(m_lighting, std::max(Value, 0), false);
}

void TSSurface3D::SetDrawMode(std::int32_t Value)
{
    if (Value <= sdTriangles)
        ChangeSetting(m_drawMode, std::max(Value, 0), true);
}

void TSSurface3D::SetSmooth(bool Value)
{
    ChangeSetting(m_smooth, Value, true);
}

void TSSurface3D::SetAttenuation(double Constant, double Linear, double Quadratic)
{
    TSObjectLock guard(*this);
    if (Constant == m_attenuation[0].load() && Linear == m_attenuation[1].load() &&
        Quadratic == m_attenuation[2].load())
        return;
    InChange(*this, false, [&] {
        m_attenuation[0] = Constant;
        m_attenuation[1] = Linear;
        m_attenuation[2] = Quadratic;
        if (Enabled())
            Invalidate(0);
    });
}

void TSSurface3D::ApplyDrawSettings(const TSSurfaceDrawSettings* Settings)
{
    if (Settings == nullptr || IsDestroying())
        return;
    InChange(*this, true, [&] {
        SetEnabled(Settings->Enabled);
        SetVisible(Settings->Visible);
        m_smooth = Settings->Smooth;
        m_gridStep = Settings->GridStep;
        m_lighting = std::clamp<std::int32_t>(Settings->Lighting, slNoLight, slSceneLight);
        m_drawMode = std::clamp<std::int32_t>(Settings->DrawMode, sdPoints, sdTriangles);
        RecomputeSteps();
        Invalidate(0);
    });
}

// ---------------------------------------------------------------------------
// Reflection law

void TSSurface3D::HoldLaw(TSCustomReflectionLaw* Law)
{
    if (Law != nullptr)
        Law->Events.Add(LawHandler());
    TSCustomReflectionLaw* old = nullptr;
    {
        TSObjectLock guard(*this);
        old = std::exchange(m_law, Law);
    }
    if (old != nullptr) {
        old->Events.Remove(LawHandler());
        delete old;
    }
}

// The law's changes come to the surface as the surface's own (its events 4
// and 5 take the surface's lock inside the law's), so the surface never holds
// its lock while it copies into, clones or frees a law.
void TSSurface3D::SetReflectionLaw(TSCustomReflectionLaw* Law)
{
    TSCustomReflectionLaw* held = nullptr;
    {
        TSObjectLock guard(*this);
        held = m_law;
    }
    if (Law == held)
        return;
    InChange(*this, false, [&] {
        if (Law != nullptr && held != nullptr && Law->ClassType() == held->ClassType()) {
            held->Assign(Law);
            return;
        }
        TSCustomReflectionLaw* copy = nullptr;
        if (Law != nullptr) {
            std::unique_ptr<TSObject> clone(Law->Clone(nullptr));
            copy = dynamic_cast<TSCustomReflectionLaw*>(clone.get());
            if (copy != nullptr)
                clone.release();
        }
        HoldLaw(copy);
        if (Enabled() && Visible() && Lighting() != slNoLight && !IsDestroying())
            Invalidate(0);
    });
}

void TSSurface3D::LawEvent(TObject* Sender, std::int32_t EventCode, TSParam)
{
    if (IsDestroying())
        return;
    switch (EventCode) {
    case ecDestroying: {
        TSObjectLock guard(*this);
        if (Sender == m_law)
            m_law = nullptr;
        if (Lighting() != slNoLight)
            Invalidate(0);
        break;
    }
    case ecBeginChange:
        BeginChange(false, 0);
        break;
    case ecEndChange:
        EndChange(false, 0);
        break;
    case ecInvalidate:
        if (Enabled() && Visible() && Lighting() != slNoLight)
            Invalidate(0);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Drawing

void TSSurface3D::DoUpdateEnd()
{
    if (Enabled())
        Invalidate(0);
    TSCustomConstruction3D::DoUpdateEnd();
}

void TSSurface3D::Refresh()
{
    Invalidate(0);
}

void TSSurface3D::RefreshIfEnabled()
{
    if (Enabled())
        Invalidate(0);
}

void TSSurface3D::StartProgress(TSThread* Thread)
{
    if (Thread == nullptr)
        return;
    Thread->SetRange(0, m_progressSteps, 0);
    m_countdown = m_rowsPerProgressStep;
}

void TSSurface3D::RowDone(TSThread* Thread)
{
    if (Thread == nullptr)
        return;
    if (--m_countdown <= 0) {
        Thread->Step(1);
        m_countdown = m_rowsPerProgressStep;
    }
}

template <class Visit>
void TSSurface3D::ForSampledInParallel(TSThread* Thread, Visit&& Visit_)
{
    const std::int64_t rows = (std::int64_t(m_height) + m_stepY - 1) / m_stepY;
    const std::int64_t columns = (std::int64_t(m_width) + m_stepX - 1) / m_stepX;
    const int threads = plat::ParallelThreadsFor(rows * columns * kNodeSize);
    plat::ParallelFor(
        rows, 16, threads,
        [&](std::int64_t begin, std::int64_t end, int) {
            for (std::int64_t r = begin; r < end; ++r) {
                const auto j = static_cast<std::int32_t>(r * m_stepY);
                for (std::int32_t i = 0; i < m_width; i += m_stepX)
                    Visit_(Node(i, j));
            }
        },
        [&](std::int64_t) {
            // A stop unwinds on the calling thread once the running pieces end.
            if (Thread != nullptr)
                Thread->CheckTerminated();
        });
}

void TSSurface3D::TransformNodes(TSThread* Thread)
{
    // One look at the frame for the whole pass, in the frame's own arithmetic.
    TSMatrix3D matrix;
    IdentityMatrix3D(matrix);
    TSVector3D origin;
    if (TSBasis3D* frame = Frame()) {
        matrix = frame->Matrix();
        origin = frame->Origin();
    }
    ForSampledInParallel(Thread, [&](TSSurfaceNode& n) {
        TSVector3D local, world;
        SingleToDoubleVector3D(n.Position, local);
        MulMatrixVector3D(matrix, local, world);
        AddVector3D(world, origin, world);
        n.Vertex.X = static_cast<float>(world.X);
        n.Vertex.Y = static_cast<float>(world.Y);
        n.Vertex.Z = static_cast<float>(world.Z);
    });
}

void TSSurface3D::ProjectNodes(TSThread* Thread)
{
    if (m_camera == nullptr)
        return;
    // The camera's frame is read once; ProjectPoint itself only reads.
    TSMatrix3D inverse;
    IdentityMatrix3D(inverse);
    TSVector3D origin;
    if (TSBasis3D* frame = m_camera->Frame()) {
        inverse = frame->InverseMatrix();
        origin = frame->Origin();
    }
    TSCustomProjectionSystem3D* camera = m_camera;
    ForSampledInParallel(Thread, [&](TSSurfaceNode& n) {
        TSVector3D world, local;
        SingleToDoubleVector3D(WorldOf(n), world);
        SubVector3D(world, origin, world);
        MulMatrixVector3D(inverse, world, local);
        const TSVector3DSingle narrowed{static_cast<float>(local.X), static_cast<float>(local.Y),
                                        static_cast<float>(local.Z)};
        TSVector3DSingle projected;
        camera->ProjectPoint(narrowed, projected);
        n.Vertex.X = projected.X;
        n.Vertex.Y = projected.Y;
        n.Vertex.Z = projected.Z;
    });
}

void TSSurface3D::LightNode(std::int32_t I, std::int32_t J)
{
    TSSurfaceNode& n = Node(I, J);
    const TSVector3DSingle world = WorldOf(n);
    TSVector3DSingle view{};
    if (m_camera != nullptr)
        m_camera->ViewVector(world, view);
    const float d = NormalizeVector3DSingle(view, view);
    const double a = (d * AttenuationQuadratic() + AttenuationLinear()) * d + AttenuationConstant();
    const double k = a > 1 ? 1 / a : 1;

    auto* law = dynamic_cast<TSSimpleDiffuseReflection*>(m_law);
    if (Lighting() == slNoLight || law == nullptr) {
        n.Vertex.R = static_cast<float>(k * n.Color.X);
        n.Vertex.G = static_cast<float>(k * n.Color.Y);
        n.Vertex.B = static_cast<float>(k * n.Color.Z);
        return;
    }
    // Border nodes stand in for their missing neighbours: a one-sided difference.
    const TSSurfaceNode& l = I - m_stepX >= 0 ? Node(I - m_stepX, J) : n;
    const TSSurfaceNode& r = I + m_stepX < m_width ? Node(I + m_stepX, J) : n;
    const TSSurfaceNode& u = J - m_stepY >= 0 ? Node(I, J - m_stepY) : n;
    const TSSurfaceNode& w = J + m_stepY < m_height ? Node(I, J + m_stepY) : n;
    const TSVector3DSingle du{r.Vertex.X - l.Vertex.X, r.Vertex.Y - l.Vertex.Y, r.Vertex.Z - l.Vertex.Z};
    const TSVector3DSingle dv{w.Vertex.X - u.Vertex.X, w.Vertex.Y - u.Vertex.Y, w.Vertex.Z - u.Vertex.Z};
    TSVector3DSingle normal{du.Y * dv.Z - du.Z * dv.Y, du.Z * dv.X - du.X * dv.Z, du.X * dv.Y - du.Y * dv.X};
    NormalizeVector3DSingle(normal, normal);

    TSVector3DSingle lit{n.Vertex.R, n.Vertex.G, n.Vertex.B};
    law->VertexPosition = &world;
    law->VertexNormal = &normal;
    law->ViewDirection = &view;
    law->VertexColor = &lit;
    law->ShadeVertex();
    // The law keeps no address of this frame's locals.
    law->VertexPosition = law->VertexNormal = law->ViewDirection = nullptr;
    law->VertexColor = nullptr;
    n.Vertex.R = static_cast<float>(lit.X * k * n.Color.X);
    n.Vertex.G = static_cast<float>(lit.Y * k * n.Color.Y);
    n.Vertex.B = static_cast<float>(lit.Z * k * n.Color.Z);
}

void TSSurface3D::Draw(TSRenderContext& Context)
{
    if (IsEmpty() || !Enabled())
        return;
    const std::int32_t mode = DrawMode();
    if (mode < sdPoints || mode > sdTriangles) {
        TSCustomConstruction3D::Draw(Context);
        return;
    }
    if (Context.Camera == nullptr)
        return;
    if (auto* law = dynamic_cast<TSSimpleDiffuseReflection*>(m_law)) {
        law->UseNormals = true;
        law->Lights = Context.Lights;
        law->Occluders = Context.Objects;
    }
    m_camera = Context.Camera;
    struct ForgetCamera {
        TSSurface3D* Self;
        ~ForgetCamera() { Self->m_camera = nullptr; }
    } forget{this};
    TSThread* thread = Context.Thread;
    StartProgress(thread);

    if (thread != nullptr)
        thread->CheckTerminated();
    TransformNodes(thread);
    if (thread != nullptr)
        thread->CheckTerminated();

    for (std::int32_t j = 0; j < m_height; j += m_stepY) {
        for (std::int32_t i = 0; i < m_width; i += m_stepX)
            LightNode(i, j);
        RowDone(thread);
    }

    if (thread != nullptr)
        thread->CheckTerminated();
    ProjectNodes(thread);
    if (thread != nullptr)
        thread->CheckTerminated();

    if (Visible() && Context.DrawSystem != nullptr)
        EmitPrimitives(Context);
}

void TSSurface3D::EmitPrimitives(TSRenderContext& Context)
{
    TSCustomDrawSystem3D* ds = Context.DrawSystem;
    TSThread* thread = Context.Thread;
    if (ds == nullptr || IsEmpty())
        return;
    const std::int32_t mode = DrawMode();
    auto vertex = [this](std::int32_t I, std::int32_t J) -> const TSVertex3DSingle& { return Node(I, J).Vertex; };

    if (mode == sdPoints) {
        StartProgress(thread);
        for (std::int32_t j = 0; j < m_height; j += m_stepY) {
            for (std::int32_t i = 0; i < m_width; i += m_stepX)
                ds->DrawPoint(vertex(i, j));
            RowDone(thread);
        }
        return;
    }

    ds->SetSmooth(Smooth());
    StartProgress(thread);
    if (mode != sdLines) {
        EmitTriangles(ds, thread);
        return;
    }
    std::int32_t j = 0;
    for (; j < m_height - m_stepY; j += m_stepY) {
        std::int32_t i = 0;
        for (; i < m_width - m_stepX; i += m_stepX) {
            const TSVertex3DSingle& q1 = vertex(i, j);
            ds->DrawLine(q1, vertex(i + m_stepX, j));
            ds->DrawLine(q1, vertex(i, j + m_stepY));
        }
        ds->DrawLine(vertex(i, j), vertex(i, j + m_stepY));
        RowDone(thread);
    }
    for (std::int32_t i = 0; i < m_width - m_stepX; i += m_stepX)
        ds->DrawLine(vertex(i, j), vertex(i + m_stepX, j));
    if (thread != nullptr && m_countdown <= 1)
        thread->Step(1);
}

void TSSurface3D::EmitTriangles(TSCustomDrawSystem3D* Ds, TSThread* Thread)
{
    // Rows of cells in blocks, each block's triangles listed on the parallel
    // loop and handed over at once, in the order of a cell-by-cell walk.
    std::int64_t rows = 0, columns = 0;
    for (std::int32_t j = 0; j < m_height - m_stepY; j += m_stepY)
        ++rows;
    for (std::int32_t i = 0; i < m_width - m_stepX; i += m_stepX)
        ++columns;
    if (rows == 0 || columns == 0) {
        if (Thread != nullptr && m_countdown <= 1)
            Thread->Step(1);
        return;
    }
    const std::int64_t perRow = columns * 6;
    const std::int64_t block = std::max<std::int64_t>(1, (std::int64_t(1) << 18) / perRow);
    std::vector<const TSVertex3DSingle*> refs;
    try {
        refs.resize(std::size_t(std::min(block, rows) * perRow));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    for (std::int64_t r0 = 0; r0 < rows; r0 += block) {
        const std::int64_t r1 = std::min(rows, r0 + block);
        plat::ParallelFor(r1 - r0, 8, plat::ParallelThreads(), [&](std::int64_t Begin, std::int64_t End, int) {
            for (std::int64_t r = r0 + Begin; r < r0 + End; ++r) {
                const auto j = static_cast<std::int32_t>(r * m_stepY);
                const TSVertex3DSingle** out = refs.data() + (r - r0) * perRow;
                std::int32_t i = 0;
                for (std::int64_t c = 0; c < columns; ++c, i += m_stepX) {
                    const TSVertex3DSingle* q1 = &Node(i, j).Vertex;
                    const TSVertex3DSingle* q2 = &Node(i + m_stepX, j).Vertex;
                    const TSVertex3DSingle* q3 = &Node(i, j + m_stepY).Vertex;
                    const TSVertex3DSingle* q4 = &Node(i + m_stepX, j + m_stepY).Vertex;
                    // The diagonal alternates like a checkerboard.
                    if ((r + c) % 2 == 0) {
                        *out++ = q1, *out++ = q2, *out++ = q3;
                        *out++ = q4, *out++ = q2, *out++ = q3;
                    } else {
                        *out++ = q1, *out++ = q2, *out++ = q4;
                        *out++ = q1, *out++ = q3, *out++ = q4;
                    }
                }
            }
        });
        Ds->DrawTriangles(refs.data(), (r1 - r0) * columns * 2);
        for (std::int64_t r = r0; r < r1; ++r)
            RowDone(Thread);
    }
    if (Thread != nullptr && m_countdown <= 1)
        Thread->Step(1);
}

// ---------------------------------------------------------------------------
// Persistence

std::int32_t TSSurface3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t total = 0;
    TSCustomReflectionLaw* law = nullptr;
    {
        TSObjectLock guard(*this);
        if (m_updateNesting > 0)
            throw EInvalidOperation(ObjectErrorText(this, sCantSave, sBusy));
        total = TSCustomConstruction3D::Save(Stream);
        const std::int32_t ints[6] = {m_width,    m_height,   m_gridStep,
                                      Lighting(), DrawMode(), (Smooth() ? 1 : 0) | (m_storeNodes ? 2 : 0)};
        Stream->Write(ints, sizeof ints);
        const double attenuation[3] = {AttenuationConstant(), AttenuationLinear(), AttenuationQuadratic()};
        Stream->Write(attenuation, sizeof attenuation);
        total += sizeof ints + sizeof attenuation;
        law = m_law;
    }
    // The law saves under its own lock, never inside the surface's.
    total += Stream->WriteObject(law);
    TSObjectLock guard(*this);
    total += Stream->WriteObject(m_center);
    if (m_storeNodes) {
        Stream->Write(&m_arraySize, 4);
        if (m_arraySize > 0)
            Stream->Write(m_nodes, m_arraySize);
        total += 4 + m_arraySize;
    }
    return total;
}

std::int32_t TSSurface3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    // The old law goes first, outside the surface's lock.
    SetReflectionLaw(nullptr);
    TSObjectLock guard(*this);
    std::int32_t total = TSCustomConstruction3D::Load(Stream);
    std::int32_t size[2] = {};
    Stream->Read(size, sizeof size);
    if (size[0] < 0 || size[1] < 0 || ArraySizeFor(size[0], size[1]) > MaxArraySize)
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
    SetGridSize(size[0], size[1]);
    Stream->Read(&m_gridStep, 4);
    RecomputeSteps();
    std::int32_t ints[3] = {};
    Stream->Read(ints, sizeof ints);
    m_lighting = ints[0];
    m_drawMode = ints[1];
    m_smooth = (ints[2] & 1) != 0;
    m_storeNodes = (ints[2] & 2) != 0;
    double attenuation[3] = {};
    Stream->Read(attenuation, sizeof attenuation);
    for (int k = 0; k < 3; ++k)
        m_attenuation[k] = attenuation[k];
    total += 8 + 4 + sizeof ints + sizeof attenuation;

    TSObject* object = nullptr;
    total += Stream->ReadObject(object, &TSSimpleDiffuseReflection::ClassInfo);
    auto* law = dynamic_cast<TSSimpleDiffuseReflection*>(object);
    if (law == nullptr)
        delete object;
    HoldLaw(law);

    object = nullptr;
    total += Stream->ReadObject(object, &TSBasis3D::ClassInfo);
    auto* center = dynamic_cast<TSBasis3D*>(object);
    if (center == nullptr) {
        delete object;
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidObject));
    }
    delete std::exchange(m_center, center);

    if (m_storeNodes) {
        std::int32_t stored = 0;
        Stream->Read(&stored, 4);
        const std::int64_t remaining = Stream->Remaining();
        const std::int64_t start = Stream->GetPosition();
        if (stored < 0 || (remaining >= 0 && stored > remaining) || start + stored > INT32_MAX)
            throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
        const std::int32_t kept = std::min(m_arraySize, stored);
        if (kept > 0)
            Stream->Read(m_nodes, kept);
        // The surplus of a larger stored array is skipped.
        if (stored > kept)
            Stream->SetPosition(static_cast<std::int32_t>(start + stored));
        total += 4 + stored;
        // The bounds so far are those of the empty grid.
        RecomputeBounds();
    }
    return total;
}

std::int32_t TSSurface3D::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t total = std::max(0, TSCustomConstruction3D::Link(Stream));
    if (m_law != nullptr)
        total += std::max(0, m_law->Process(ocLink, reinterpret_cast<TSParam>(Stream)));
    return total > 0 ? total : -1;
}

// ---------------------------------------------------------------------------
// Unit start and end

void SSurfaces3DInitialization()
{
    RegisterRTDClass(&TSSurface3D::ClassInfo);
    SetInterfaceCaption(&TSSurface3D::ClassInfo, "Surface 3D");
    std::lock_guard guard(TreeLock());
    if (TSDataBranch* tree = GetInterfaceEntry(&TSCustomConstruction3DList::ClassInfo, ikCategories, true))
        tree->ForceChild("Standart Objects", true)->ForceChild("Surface 3D", true)->SetData(&TSSurface3D::ClassInfo);
}

void SSurfaces3DFinalization()
{
    UnregisterRTDClass(&TSSurface3D::ClassInfo);
}
