#include "engine3d/scene/SClasses3DPoints.h"

#include "engine3d/scene/SCustom3DLists.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace {

[[noreturn]] void InvalidValue(const TObject* Object)
{
    throw EStreamError(ObjectErrorText(Object, sCantLoad, sInvalidValue));
}

// A count of records of Bytes each that the stream cannot hold is refused before
// anything is allocated for it.
void CheckCount(const TObject* Object, TSObjectsStream* Stream, std::int32_t Count, std::int64_t Bytes)
{
    if (Count < 0)
        InvalidValue(Object);
    const std::int64_t left = Stream->Remaining();
    if (left >= 0 && Count > left / Bytes)
        InvalidValue(Object);
}

void Scale(TSVector3DSingle& Colour, double K, const TSVector3DSingle& Intensity)
{
    Colour.X = static_cast<float>(Colour.X * K * Intensity.X);
    Colour.Y = static_cast<float>(Colour.Y * K * Intensity.Y);
    Colour.Z = static_cast<float>(Colour.Z * K * Intensity.Z);
}

std::int32_t Blocks(std::int32_t N)
{
    return (N + TSCustomPointConstruction3D::BlockPoints - 1) / TSCustomPointConstruction3D::BlockPoints;
}

}  // namespace

// ---------------------------------------------------------------------------
// TSCustomPointConstruction3D

constinit const TSClassInfo TSCustomPointConstruction3D::ClassInfo{
    "TSCustomPointConstruction3D", &TSCustomConstruction3D::ClassInfo, &TSNewObject<TSCustomPointConstruction3D>};

void TSCustomPointConstruction3D::Initialize()
{
    TSCustomConstruction3D::Initialize();
    m_lighting = 1;
    m_attenuation[0] = 1;
    m_attenuation[1] = 0;
    m_attenuation[2] = 0;
    m_center = TSObject::Create<TSBasis3D>(this);
    m_center->SetName("Center Point");
    if (TSBasis3D* frame = Frame())
        frame->AddChild(m_center);
}

TSCustomPointConstruction3D::~TSCustomPointConstruction3D()
{
    Finalize();
    // Nothing may leave a destructor; the points and frames go anyway.
    try {
        SetCount(0);
    } catch (...) {
    }
    delete std::exchange(m_center, nullptr);
    try {
        SetReflectionLaw(nullptr);
    } catch (...) {
        delete std::exchange(m_law, nullptr);
    }
}

void TSCustomPointConstruction3D::BeginUpdate(TSParam Param)
{
    BeginChange(false, 0);
    TSObjectLock guard(*this);
    if (++m_updateCount == 1 && !IsDestroying())
        DoPointsUpdateBegin(Param);
}

void TSCustomPointConstruction3D::EndUpdate(TSParam Param)
{
    {
        TSObjectLock guard(*this);
        if (m_updateCount > 0 && --m_updateCount == 0 && !IsDestroying()) {
            RecomputeBounds();
            DoPointsUpdateEnd(Param);
        }
    }
    EndChange(false, 0);
}

void TSCustomPointConstruction3D::DoPointsUpdateBegin(TSParam Param)
{
    Events.Notify(this, ecPointsUpdateBegin, Param);
}

void TSCustomPointConstruction3D::DoPointsUpdateEnd(TSParam Param)
{
    Events.Notify(this, ecPointsUpdateEnd, Param);
}

TSPoint3DRecord* TSCustomPointConstruction3D::GetPoint(std::int32_t Index)
{
    TSObjectLock guard(*this);
    return Index >= 0 && Index < m_count ? &m_points[static_cast<std::size_t>(Index)] : nullptr;
}

std::int32_t TSCustomPointConstruction3D::Count() const
{
    TSObjectLock guard(*this);
    return m_count;
}

std::int32_t TSCustomPointConstruction3D::Capacity() const
{
    TSObjectLock guard(*this);
    return static_cast<std::int32_t>(m_points.size());
}

std::int32_t TSCustomPointConstruction3D::UpdateCount() const
{
    TSObjectLock guard(*this);
    return m_updateCount;
}

std::int32_t TSCustomPointConstruction3D::Lighting() const
{
    return m_lighting.load();
}

void TSCustomPointConstruction3D::GetAttenuation(double& Constant, double& Linear, double& Quadratic) const
{
    TSObjectLock guard(*this);
    Constant = m_attenuation[0];
    Linear = m_attenuation[1];
    Quadratic = m_attenuation[2];
}

TSCustomReflectionLaw* TSCustomPointConstruction3D::ReflectionLaw() const
{
    TSObjectLock guard(*this);
    return m_law;
}

TSBasis3D* TSCustomPointConstruction3D::CenterFrame() const
{
    TSObjectLock guard(*this);
    return m_center;
}

void TSCustomPointConstruction3D::SetCount(std::int32_t N)
{
    N = std::max<std::int32_t>(N, 0);
    TSObjectLock guard(*this);
    if (N == m_count)
        return;
    const std::int64_t points = static_cast<std::int64_t>(Blocks(N)) * BlockPoints;
    if (points * static_cast<std::int64_t>(sizeof(TSPoint3DRecord)) > std::numeric_limits<std::int32_t>::max())
        throw EOutOfMemory();
    BeginUpdate(0);
    try {
        if (static_cast<std::int64_t>(m_points.size()) != points)
            m_points.resize(static_cast<std::size_t>(points));
        // Points past the count are zero, so that a grown count shows new zero points.
        for (std::size_t i = static_cast<std::size_t>(N); i < m_points.size(); ++i)
            m_points[i] = {};
        m_count = N;
        RecomputeBounds();
        if (Enabled() && !IsDestroying())
            Invalidate(0);
    } catch (...) {
        EndUpdate(0);
        throw;
    }
    EndUpdate(0);
}

void TSCustomPointConstruction3D::RecomputeBounds()
{
    if (m_count == 0) {
        m_lower = {-1, -1, -1};
        m_upper = {1, 1, 1};
    } else {
        const TSVector3DSingle& first = m_points[0].Position;
        m_lower = {first.X, first.Y, first.Z};
        m_upper = m_lower;
        for (std::int32_t i = 1; i < m_count; ++i) {
            const TSVector3DSingle& p = m_points[static_cast<std::size_t>(i)].Position;
            const double v[3] = {p.X, p.Y, p.Z};
            double* lo[3] = {&m_lower.X, &m_lower.Y, &m_lower.Z};
            double* hi[3] = {&m_upper.X, &m_upper.Y, &m_upper.Z};
            for (int a = 0; a < 3; ++a) {
                if (v[a] < *lo[a])
                    *lo[a] = v[a];
                else if (v[a] > *hi[a])
                    *hi[a] = v[a];
            }
        }
    }
    TSBasis3D* frame = Frame();
    if (frame == nullptr || m_center == nullptr)
        return;
    const TSVector3D centre{(m_lower.X + m_upper.X) / 2, (m_lower.Y + m_upper.Y) / 2, (m_lower.Z + m_upper.Z) / 2};
    TSVector3D world;
    frame->PointToWorld(centre, world);
    // A frame whose matrix cannot be inverted (a damaged record) cannot lend it: the
    // centre frame then stays at the world origin, as SetPlacement leaves it.
    try {
        m_center->SetPlacement(frame->Matrix(), world);
    } catch (const ELibraryError&) {
    }
}

void TSCustomPointConstruction3D::GetLowerBound(TSVector3D& B)
{
    TSObjectLock guard(*this);
    B = m_lower;
}

void TSCustomPointConstruction3D::GetUpperBound(TSVector3D& B)
{
    TSObjectLock guard(*this);
    B = m_upper;
}

void TSCustomPointConstruction3D::SetLighting(std::int32_t Mode)
{
    if (Mode > 1)
        return;
    Mode = std::max<std::int32_t>(Mode, 0);
    TSObjectLock guard(*this);
    if (m_lighting == Mode)
        return;
    InChange(*this, [&] {
        m_lighting = Mode;
        if (Enabled())
            Invalidate(0);
    });
}

void TSCustomPointConstruction3D::SetAttenuation(double Constant, double Linear, double Quadratic)
{
    TSObjectLock guard(*this);
    if (m_attenuation[0] == Constant && m_attenuation[1] == Linear && m_attenuation[2] == Quadratic)
        return;
    InChange(*this, [&] {
        m_attenuation[0] = Constant;
        m_attenuation[1] = Linear;
        m_attenuation[2] = Quadratic;
        if (Enabled())
            Invalidate(0);
    });
}

void TSCustomPointConstruction3D::TakeLaw(TSCustomReflectionLaw* Law)
{
    if (m_law != nullptr) {
        m_law->Events.Remove(LawHandler());
        delete std::exchange(m_law, nullptr);
    }
    m_law = Law;
    if (m_law != nullptr)
        m_law->Events.Add(LawHandler());
}

void TSCustomPointConstruction3D::SetReflectionLaw(TSCustomReflectionLaw* Law)
{
    TSObjectLock guard(*this);
    if (Law == m_law)
        return;
    InChange(*this, [&] {
        if (m_law != nullptr && Law != nullptr && m_law->ClassType() == Law->ClassType()) {
            m_law->Assign(Law);
            return;
        }
        TSCustomReflectionLaw* copy = nullptr;
        if (Law != nullptr)
            copy = dynamic_cast<TSCustomReflectionLaw*>(Law->Clone(nullptr));
        TakeLaw(copy);
        if (copy != nullptr && Enabled() && Visible() && Lighting() == 1 && !IsDestroying())
            Invalidate(0);
    });
}

void TSCustomPointConstruction3D::LawEvent(TObject* Sender, std::int32_t EventCode, TSParam)
{
    if (IsDestroying())
        return;
    switch (EventCode) {
    case ecDestroying: {
        TSObjectLock guard(*this);
        if (Sender == m_law) {
            m_law->Events.Remove(LawHandler());
            m_law = nullptr;
            if (Lighting() == 1)
                Invalidate(0);
        }
        break;
    }
    case ecBeginChange:
        BeginChange(false, 0);
        break;
    case ecEndChange:
        EndChange(false, 0);
        break;
    case ecInvalidate:
        if (Enabled() && Visible() && Lighting() == 1)
            Invalidate(0);
        break;
    default:
        break;
    }
}

void TSCustomPointConstruction3D::ProcessPoint(TSPoint3DRecord& Point)
{
    TSBasis3D* frame = Frame();
    TSCustomProjectionSystem3D* camera = m_camera;
    if (frame == nullptr || camera == nullptr)
        return;
    TSVector3DSingle world;
    frame->PointToWorldSingle(Point.Position, world);
    TSVector3DSingle projected;
    camera->ProjectWorldPoint(world, projected);
    Point.Vertex.X = projected.X;
    Point.Vertex.Y = projected.Y;
    Point.Vertex.Z = projected.Z;
    TSVector3DSingle view;
    camera->ViewVector(world, view);
    const double d = NormalizeVector3DSingle(view, view);
    const double a = (m_attenuation[2] * d + m_attenuation[1]) * d + m_attenuation[0];
    const double factor = a > 1 ? 1 / a : 1;
    TSVector3DSingle colour{1, 1, 1};
    auto* law = dynamic_cast<TSSimpleDiffuseReflection*>(m_law);
    if (Lighting() == 1 && law != nullptr) {
        TSVector3DSingle normal;
        frame->DirectionToWorldSingle(Point.Normal, normal);
        NormalizeVector3DSingle(normal, normal);
        law->VertexPosition = &world;
        law->VertexNormal = &normal;
        law->ViewDirection = &view;
        law->VertexColor = &colour;
        law->ShadeVertex();
        law->VertexPosition = nullptr;
        law->VertexNormal = nullptr;
        law->ViewDirection = nullptr;
        law->VertexColor = nullptr;
    }
    Scale(colour, factor, Point.Intensity);
    Point.Vertex.R = colour.X;
    Point.Vertex.G = colour.Y;
    Point.Vertex.B = colour.Z;
}

void TSCustomPointConstruction3D::DrawPoints(TSCustomDrawSystem3D* DrawSystem)
{
    if (DrawSystem == nullptr)
        return;
    for (std::int32_t i = 0; i < m_count; ++i)
        DrawSystem->DrawPoint(m_points[static_cast<std::size_t>(i)].Vertex);
}

void TSCustomPointConstruction3D::Draw(TSRenderContext& Context)
{
    if (!Enabled())
        return;
    // The points stay where they are while they are drawn.
    TSObjectLock guard(*this);
    if (auto* law = dynamic_cast<TSSimpleDiffuseReflection*>(m_law)) {
        law->UseNormals = true;
        law->Lights = Context.Lights;
        law->Occluders = Context.Objects;
    }
    m_camera = Context.Camera;
    // Without a camera nothing can be placed on the picture.
    if (m_camera == nullptr)
        return;
    for (std::int32_t i = 0; i < m_count; ++i)
        ProcessPoint(m_points[static_cast<std::size_t>(i)]);
    if (Context.DrawSystem != nullptr && Visible())
        DrawPoints(Context.DrawSystem);
    m_camera = nullptr;
}

void TSCustomPointConstruction3D::DoUpdateEnd()
{
    if (Enabled())
        Invalidate(0);
    TSCustomConstruction3D::DoUpdateEnd();
}

void TSCustomPointConstruction3D::Assign(TPersistent* Source)
{
    auto* source = dynamic_cast<TSCustomPointConstruction3D*>(Source);
    if (source == nullptr || source == this)
        return;
    std::vector<TSPoint3DRecord> points;
    {
        TSObjectLock other(*source);
        points.assign(source->m_points.begin(), source->m_points.begin() + source->m_count);
    }
    TSObjectLock guard(*this);
    InChange(*this, true, [&] {
        SetCount(static_cast<std::int32_t>(points.size()));
        std::copy(points.begin(), points.end(), m_points.begin());
        RecomputeBounds();
        if (Enabled())
            Invalidate(0);
    });
}

std::int32_t TSCustomPointConstruction3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    if (m_updateCount > 0)
        throw EInvalidOperation(ObjectErrorText(this, sCantSave, sBusy));
    std::int32_t bytes = TSCustomConstruction3D::Save(Stream);
    Stream->WriteInt32(m_count);
    if (m_count > 0)
        Stream->Write(m_points.data(), m_count * static_cast<std::int32_t>(sizeof(TSPoint3DRecord)));
    Stream->WriteInt32(m_lighting);
    Stream->Write(m_attenuation, sizeof m_attenuation);
    bytes += 32 + m_count * static_cast<std::int32_t>(sizeof(TSPoint3DRecord));
    bytes += Stream->WriteObject(m_law);
    bytes += Stream->WriteObject(m_center);
    return bytes;
}

std::int32_t TSCustomPointConstruction3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    SetReflectionLaw(nullptr);
    std::int32_t bytes = TSCustomConstruction3D::Load(Stream);
    const std::int32_t count = Stream->ReadInt32();
    CheckCount(this, Stream, count, sizeof(TSPoint3DRecord));
    SetCount(count);
    if (count > 0)
        Stream->Read(m_points.data(), count * static_cast<std::int32_t>(sizeof(TSPoint3DRecord)));
    const std::int32_t lighting = Stream->ReadInt32();
    m_lighting = std::clamp<std::int32_t>(lighting, 0, 1);
    double attenuation[3] = {};
    Stream->Read(attenuation, sizeof attenuation);
    std::copy(std::begin(attenuation), std::end(attenuation), m_attenuation);
    bytes += 32 + count * static_cast<std::int32_t>(sizeof(TSPoint3DRecord));

    TSObject* law = nullptr;
    bytes += Stream->ReadObject(law, &TSSimpleDiffuseReflection::ClassInfo);
    auto* diffuse = dynamic_cast<TSSimpleDiffuseReflection*>(law);
    if (law != nullptr && diffuse == nullptr) {
        delete law;
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidObject));
    }
    TakeLaw(diffuse);

    TSObject* centre = nullptr;
    bytes += Stream->ReadObject(centre, &TSBasis3D::ClassInfo);
    auto* frame = dynamic_cast<TSBasis3D*>(centre);
    if (frame == nullptr) {
        delete centre;
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidObject));
    }
    delete std::exchange(m_center, frame);
    RecomputeBounds();
    return bytes;
}

std::int32_t TSCustomPointConstruction3D::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t total = std::max(0, TSCustomConstruction3D::Link(Stream));
    if (TSCustomReflectionLaw* law = ReflectionLaw())
        total += std::max(0, law->Process(ocLink, reinterpret_cast<TSParam>(Stream)));
    return total == 0 ? -1 : total;
}

// ---------------------------------------------------------------------------
// Ties

constinit const TSClassInfo TSCustomTie3D::ClassInfo{"TSCustomTie3D", &TPersistent::ClassInfo, nullptr};
constinit const TSClassInfo TSSimplePointTie3D::ClassInfo{"TSSimplePointTie3D", &TSCustomTie3D::ClassInfo, nullptr};
constinit const TSClassInfo TSSimpleLineTie3D::ClassInfo{"TSSimpleLineTie3D", &TSCustomTie3D::ClassInfo, nullptr};
constinit const TSClassInfo TSSimpleTriangleTie3D::ClassInfo{"TSSimpleTriangleTie3D", &TSCustomTie3D::ClassInfo,
                                                             nullptr};

void TSCustomTie3D::SetIndex(int I, std::int32_t Value)
{
    if (I >= 0 && I < Indices())
        m_index[I] = Value;
}

int TSCustomTie3D::Indices() const
{
    switch (m_kind) {
    case 1:
        return 1;
    case 2:
        return 2;
    case 4:
        return 3;
    default:
        return 0;
    }
}

void TSCustomTie3D::Draw(TSCustomDrawSystem3D*) {}

bool TSCustomTie3D::Vertices(const TSVertex3DSingle* (&Out)[3]) const
{
    if (m_owner == nullptr)
        return false;
    for (int i = 0; i < Indices(); ++i) {
        const TSPoint3DRecord* point = m_owner->GetPoint(m_index[i]);
        if (point == nullptr)
            return false;
        Out[i] = &point->Vertex;
    }
    return true;
}

void TSSimplePointTie3D::Draw(TSCustomDrawSystem3D* DrawSystem)
{
    const TSVertex3DSingle* v[3] = {};
    if (DrawSystem != nullptr && Vertices(v))
        DrawSystem->DrawPoint(*v[0]);
}

void TSSimpleLineTie3D::Draw(TSCustomDrawSystem3D* DrawSystem)
{
    const TSVertex3DSingle* v[3] = {};
    if (DrawSystem != nullptr && Vertices(v))
        DrawSystem->DrawLine(*v[0], *v[1]);
}

void TSSimpleTriangleTie3D::Draw(TSCustomDrawSystem3D* DrawSystem)
{
    const TSVertex3DSingle* v[3] = {};
    if (DrawSystem != nullptr && Vertices(v))
        DrawSystem->DrawTriangle(*v[0], *v[1], *v[2]);
}

namespace {

TSCustomTie3D* NewTie(std::int32_t Kind)
{
    switch (Kind) {
    case 1:
        return new TSSimplePointTie3D;
    case 2:
        return new TSSimpleLineTie3D;
    case 4:
        return new TSSimpleTriangleTie3D;
    default:
        return nullptr;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// TSTiesConstruction3D

constinit const TSClassInfo TSTiesConstruction3D::ClassInfo{
    "TSTiesConstruction3D", &TSCustomPointConstruction3D::ClassInfo, &TSNewObject<TSTiesConstruction3D>};

void TSTiesConstruction3D::Initialize()
{
    TSCustomPointConstruction3D::Initialize();
    m_smooth = false;
    m_tieMask = 7;
}

TSTiesConstruction3D::~TSTiesConstruction3D()
{
    Finalize();
    try {
        SetTieCount(0);
    } catch (...) {
        for (TSCustomTie3D*& tie : m_ties)
            delete std::exchange(tie, nullptr);
    }
}

std::int32_t TSTiesConstruction3D::TieCount() const
{
    TSObjectLock guard(*this);
    return static_cast<std::int32_t>(m_ties.size());
}

TSCustomTie3D* TSTiesConstruction3D::GetTie(std::int32_t Index) const
{
    TSObjectLock guard(*this);
    return Index >= 0 && Index < static_cast<std::int32_t>(m_ties.size()) ? m_ties[static_cast<std::size_t>(Index)]
                                                                          : nullptr;
}

void TSTiesConstruction3D::SetTieCount(std::int32_t N)
{
    N = std::max<std::int32_t>(N, 0);
    TSObjectLock guard(*this);
    const auto n = static_cast<std::size_t>(N);
    if (n == m_ties.size())
        return;
    InChange(*this, [&] {
        for (std::size_t i = n; i < m_ties.size(); ++i)
            delete std::exchange(m_ties[i], nullptr);
        // Blocks of 16 entries.
        m_ties.reserve((n + 15) / 16 * 16);
        m_ties.resize(n, nullptr);
        if (Enabled() && !IsDestroying())
            Invalidate(0);
    });
}

void TSTiesConstruction3D::SetSmooth(bool Value)
{
    TSObjectLock guard(*this);
    if (m_smooth == Value)
        return;
    InChange(*this, [&] {
        m_smooth = Value;
        if (Enabled() && Visible())
            Invalidate(0);
    });
}

void TSTiesConstruction3D::SetTieMask(std::int32_t Mask)
{
    TSObjectLock guard(*this);
    if (m_tieMask == Mask)
        return;
    InChange(*this, [&] {
        m_tieMask = Mask;
        if (Enabled() && Visible())
            Invalidate(0);
    });
}

std::int32_t TSTiesConstruction3D::AddTie(TSCustomTie3D* Tie)
{
    if (Tie == nullptr)
        return -1;
    TSObjectLock guard(*this);
    if (Tie->m_owner != nullptr)
        return Tie->m_owner == this ? IndexOfTie(Tie) : -1;
    std::int32_t index = -1;
    InChange(*this, true, [&] {
        m_ties.push_back(Tie);
        Tie->m_owner = this;
        index = static_cast<std::int32_t>(m_ties.size()) - 1;
    });
    return index;
}

std::int32_t TSTiesConstruction3D::IndexOfTie(const TSCustomTie3D* Tie) const
{
    TSObjectLock guard(*this);
    for (auto i = static_cast<std::int32_t>(m_ties.size()) - 1; i >= 0; --i)
        if (m_ties[static_cast<std::size_t>(i)] == Tie)
            return i;
    return -1;
}

void TSTiesConstruction3D::DrawPoints(TSCustomDrawSystem3D* DrawSystem)
{
    if (DrawSystem == nullptr)
        return;
    const std::int32_t mask = TieMask();
    if (mask == 0) {
        TSCustomPointConstruction3D::DrawPoints(DrawSystem);
        return;
    }
    DrawSystem->SetSmooth(Smooth());
    TSObjectLock guard(*this);
    for (TSCustomTie3D* tie : m_ties)
        if (tie != nullptr && (tie->Kind() & mask) != 0)
            tie->Draw(DrawSystem);
}

std::int32_t TSTiesConstruction3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    std::int32_t bytes = TSCustomPointConstruction3D::Save(Stream);
    Stream->WriteInt32(Smooth() ? 1 : 0);
    Stream->WriteInt32(TieMask());
    Stream->WriteInt32(static_cast<std::int32_t>(m_ties.size()));
    bytes += 12;
    for (TSCustomTie3D* tie : m_ties) {
        Stream->WriteInt32(tie != nullptr ? tie->Kind() : 0);
        bytes += 4;
        if (tie == nullptr)
            continue;
        for (int i = 0; i < tie->Indices(); ++i)
            Stream->WriteInt32(tie->Index(i));
        bytes += 4 * tie->Indices();
    }
    return bytes;
}

std::int32_t TSTiesConstruction3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    SetTieCount(0);
    std::int32_t bytes = TSCustomPointConstruction3D::Load(Stream);
    m_smooth = (Stream->ReadInt32() & 0xFF) != 0;
    m_tieMask = Stream->ReadInt32();
    const std::int32_t count = Stream->ReadInt32();
    bytes += 12;
    CheckCount(this, Stream, count, 4);
    SetTieCount(count);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t kind = Stream->ReadInt32();
        bytes += 4;
        TSCustomTie3D* tie = NewTie(kind);
        if (tie == nullptr)
            continue;
        tie->m_owner = this;
        m_ties[static_cast<std::size_t>(i)] = tie;
        for (int k = 0; k < tie->Indices(); ++k)
            tie->m_index[k] = Stream->ReadInt32();
        bytes += 4 * tie->Indices();
    }
    return bytes;
}

// ---------------------------------------------------------------------------
// Text models

bool FindModelText(const std::string& Pattern, const std::string& Text, std::size_t& Pos)
{
    if (Pos > Text.size())
        return false;
    const std::size_t at = Text.find(Pattern, Pos);
    if (at == std::string::npos)
        return false;
    Pos = at;
    return true;
}

namespace {

// The next token at Pos or later (empty when the text ends first); Pos behind it.
std::string ModelToken(const std::string& Text, std::size_t& Pos)
{
    auto code = [&](std::size_t i) { return static_cast<unsigned char>(Text[i]); };
    while (Pos < Text.size() && (code(Pos) <= 32 || code(Pos) >= 128))
        ++Pos;
    const std::size_t start = Pos;
    while (Pos < Text.size() && code(Pos) > 32 && code(Pos) < 128)
        ++Pos;
    return Text.substr(start, Pos - start);
}

// The token without a leading '+' that stands before a digit or a point.
std::string_view Unsigned(const std::string& Token)
{
    std::string_view view(Token);
    if (view.size() > 1 && view[0] == '+' && view[1] != '-' && view[1] != '+')
        view.remove_prefix(1);
    return view;
}

}  // namespace

std::int32_t ModelStrToInt(const std::string& Token)
{
    const std::string_view view = Unsigned(Token);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value, 10);
    if (view.empty() || error != std::errc() || end != view.data() + view.size())
        throw EConvertError("'" + Token + "' is not a valid integer value");
    return value;
}

double ModelStrToFloat(const std::string& Token)
{
    const std::string_view view = Unsigned(Token);
    double value = 0;
    const auto [end, error] =
        std::from_chars(view.data(), view.data() + view.size(), value, std::chars_format::general);
    if (view.empty() || error != std::errc() || end != view.data() + view.size() || !std::isfinite(value))
        throw EConvertError("'" + Token + "' is not a valid floating point value");
    return value;
}

std::int32_t ReadModelInt(const std::string& Text, std::size_t& Pos)
{
    const std::string token = ModelToken(Text, Pos);
    return token.empty() ? 0 : ModelStrToInt(token);
}

double ReadModelFloat(const std::string& Text, std::size_t& Pos)
{
    const std::string token = ModelToken(Text, Pos);
    return token.empty() ? 0 : ModelStrToFloat(token);
}

namespace {

constexpr char kPointsCount[] = "Points Count :";
constexpr char kTiesCount[] = "Ties Count :";

TSVector3DSingle ReadModelVector(const std::string& Text, std::size_t& Pos)
{
    TSVector3DSingle v;
    v.X = static_cast<float>(ReadModelFloat(Text, Pos));
    v.Y = static_cast<float>(ReadModelFloat(Text, Pos));
    v.Z = static_cast<float>(ReadModelFloat(Text, Pos));
    return v;
}

// Finds Label and moves past it.
bool PassLabel(const std::string& Label, const std::string& Text, std::size_t& Pos)
{
    if (!FindModelText(Label, Text, Pos))
        return false;
    Pos += Label.size();
    return true;
}

}  // namespace

void TSTiesConstruction3D::LoadFromText(const std::string& Text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = Text.find('\n', start);
        if (end == std::string::npos)
            end = Text.size();
        std::string line = Text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    LoadFromStrings(lines);
}

void TSTiesConstruction3D::LoadFromStrings(const std::vector<std::string>& Lines)
{
    std::string text;
    for (const std::string& line : Lines)
        text += line + "\r\n";
    TSObjectLock guard(*this);
    BeginUpdate(0);
    try {
        std::size_t pos = 0;
        SetCount(0);
        SetTieCount(0);
        if (PassLabel(kPointsCount, text, pos)) {
            const std::int32_t n = ReadModelInt(text, pos);
            // Every point takes far more than a character of the text.
            if (n > static_cast<std::int64_t>(text.size() - pos))
                InvalidValue(this);
            SetCount(n);
            bool whole = true;
            for (std::int32_t i = 0; i < n && whole; ++i) {
                TSPoint3DRecord& point = *GetPoint(i);
                whole = FindModelText("Point", text, pos) && PassLabel("p :", text, pos);
                if (whole)
                    point.Position = ReadModelVector(text, pos);
                whole = whole && PassLabel("n :", text, pos);
                if (whole)
                    point.Normal = ReadModelVector(text, pos);
                whole = whole && PassLabel("i :", text, pos);
                if (whole)
                    point.Intensity = ReadModelVector(text, pos);
            }
            if (whole && PassLabel(kTiesCount, text, pos)) {
                const std::int32_t m = ReadModelInt(text, pos);
                if (m > static_cast<std::int64_t>(text.size() - pos))
                    InvalidValue(this);
                for (std::int32_t j = 0; j < m; ++j) {
                    if (!FindModelText("Tie", text, pos) || !PassLabel("\r\n", text, pos))
                        break;
                    while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= 32)
                        ++pos;
                    // A text that ends here holds no tie.
                    if (pos >= text.size())
                        break;
                    const char letter = text[pos];
                    pos = std::min(pos + 3, text.size());
                    const std::int32_t kind = letter == 'p' ? 1 : letter == 'l' ? 2 : letter == 't' ? 4 : 0;
                    TSCustomTie3D* tie = NewTie(kind);
                    if (tie == nullptr)
                        continue;
                    try {
                        for (int k = 0; k < tie->Indices(); ++k)
                            tie->m_index[k] = ReadModelInt(text, pos);
                    } catch (...) {
                        delete tie;
                        throw;
                    }
                    AddTie(tie);
                }
            }
        }
    } catch (...) {
        EndUpdate(0);
        throw;
    }
    EndUpdate(0);
}
