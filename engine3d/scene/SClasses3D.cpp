#include "engine3d/scene/SClasses3D.h"

#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"

#include <cmath>
#include <iterator>
#include <mutex>

namespace {

std::int32_t WriteDoubles(TSObjectsStream* Stream, const double* Values, int Count)
{
    Stream->Write(Values, 8 * Count);
    return 8 * Count;
}

void ReadDoubles(TSObjectsStream* Stream, double* Values, int Count)
{
    Stream->Read(Values, 8 * Count);
}

// The unit X axis of Frame in world coordinates, or X itself when the frame
// has none.
TSVector3D FrameAxis(const TSBasis3D* Frame)
{
    if (Frame == nullptr)
        return {1, 0, 0};
    const TSMatrix3D m = Frame->Matrix();
    TSVector3D axis{m(0, 0), m(1, 0), m(2, 0)};
    NormalizeVector3D(axis, axis);
    return axis;
}

TSVector3DSingle Narrow(const TSVector3D& V)
{
    return {static_cast<float>(V.X), static_cast<float>(V.Y), static_cast<float>(V.Z)};
}

TSVector3D Widen(const TSVector3DSingle& V)
{
    return {V.X, V.Y, V.Z};
}

double Dot(const TSVector3DSingle& A, const TSVector3DSingle& B)
{
    return static_cast<double>(A.X) * B.X + static_cast<double>(A.Y) * B.Y + static_cast<double>(A.Z) * B.Z;
}

double Dot(const TSVector3D& A, const TSVector3DSingle& B)
{
    return A.X * B.X + A.Y * B.Y + A.Z * B.Z;
}

double Polynomial(const std::atomic<double> (&C)[3], double X)
{
    const double value = (C[2].load() * X + C[1].load()) * X + C[0].load();
    if (value < 0)
        return 0;
    if (value > 1)
        return 1;
    return value;
}

}  // namespace

// ---------------------------------------------------------------------------
// TSEyeSystem3D

constinit const TSClassInfo TSEyeSystem3D::ClassInfo{"TSEyeSystem3D", &TSCustomProjectionSystem3D::ClassInfo,
                                                     &TSNewObject<TSEyeSystem3D>};

void TSEyeSystem3D::Initialize()
{
    TSCustomProjectionSystem3D::Initialize();
    m_screenDistance = 1000.0;
    m_depthScale = 1000.0;
    TSMatrix3D flip;
    IdentityMatrix3D(flip);
    flip(2, 2) = -1;
    if (TSBasis3D* frame = Frame())
        frame->RotateAboutOrigin(flip);
}

template <class Body>
void TSEyeSystem3D::ChangeValues(Body&& Store)
{
    InChange(*this, [&] {
        Store();
        if (Enabled())
            Invalidate(reinterpret_cast<TSParam>(this));
    });
}

void TSEyeSystem3D::SetScreenDistance(double D)
{
    TSObjectLock guard(*this);
    if (ScreenDistance() == D)
        return;
    ChangeValues([&] { m_screenDistance = D; });
}

void TSEyeSystem3D::SetDepthScale(double S)
{
    TSObjectLock guard(*this);
    if (DepthScale() == S)
        return;
    ChangeValues([&] { m_depthScale = S; });
}

void TSEyeSystem3D::Assign(TPersistent* Source)
{
    auto* source = dynamic_cast<TSEyeSystem3D*>(Source);
    if (source == nullptr)
        return;
    const double d = source->ScreenDistance();
    const double s = source->DepthScale();
    TSObjectLock guard(*this);
    InChange(*this, true, [&] {
        m_screenDistance = d;
        m_depthScale = s;
        if (Enabled())
            Invalidate(reinterpret_cast<TSParam>(this));
    });
}

void TSEyeSystem3D::ProjectPoint(const TSVector3DSingle& Local, TSVector3DSingle& Projected)
{
    if (Local.Z == 0) {
        Projected = {};
        return;
    }
    const double k = ScreenDistance() / Local.Z;
    Projected = {static_cast<float>(Local.X * k), static_cast<float>(Local.Y * k),
                 static_cast<float>(Local.Z * DepthScale())};
}

void TSEyeSystem3D::ProjectPoint(const TSVector3D& Local, TSVector3D& Projected)
{
    if (Local.Z == 0) {
        Projected = {};
        return;
    }
    const double k = ScreenDistance() / Local.Z;
    Projected = {Local.X * k, Local.Y * k, Local.Z * DepthScale()};
}

void TSEyeSystem3D::GetLowerBound(TSVector3D& B)
{
    const double d = ScreenDistance();
    B = {-d, -d, -d};
}

void TSEyeSystem3D::GetUpperBound(TSVector3D& B)
{
    const double d = ScreenDistance();
    B = {d, d, d};
}

void TSEyeSystem3D::DoUpdateEnd()
{
    if (Enabled())
        Invalidate(Visible() ? 0 : reinterpret_cast<TSParam>(this));
    TSCustomProjectionSystem3D::DoUpdateEnd();
}

std::int32_t TSEyeSystem3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomProjectionSystem3D::Save(Stream);
    const double values[2] = {ScreenDistance(), DepthScale()};
    return base + WriteDoubles(Stream, values, 2);
}

std::int32_t TSEyeSystem3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomProjectionSystem3D::Load(Stream);
    double values[2] = {};
    ReadDoubles(Stream, values, 2);
    m_screenDistance = values[0];
    m_depthScale = values[1];
    return base + 16;
}

// ---------------------------------------------------------------------------
// TSAmbientLight3D

constinit const TSClassInfo TSAmbientLight3D::ClassInfo{"TSAmbientLight3D", &TSCustomLightSystem3D::ClassInfo,
                                                        &TSNewObject<TSAmbientLight3D>};

void TSAmbientLight3D::Initialize()
{
    TSCustomLightSystem3D::Initialize();
    std::lock_guard values(m_values);
    m_color = {};
}

TSVector3D TSAmbientLight3D::Color() const
{
    std::lock_guard values(m_values);
    return m_color;
}

void TSAmbientLight3D::SetColor(const TSVector3D& Color)
{
    TSObjectLock guard(*this);
    if (SameVector3D(this->Color(), Color))
        return;
    InChange(*this, [&] {
        {
            std::lock_guard values(m_values);
            m_color = Color;
        }
        if (Enabled())
            Invalidate(0);
    });
}

void TSAmbientLight3D::LightVertex(TSLightingRequestSingle& Request)
{
    if (!Enabled() || Request.Law == nullptr)
        return;
    Request.Law->AddAmbient(Color());
}

void TSAmbientLight3D::LightVertex(TSLightingRequest& Request)
{
    if (!Enabled() || Request.Law == nullptr)
        return;
    Request.Law->AddAmbient(Color());
}

std::int32_t TSAmbientLight3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomLightSystem3D::Save(Stream);
    const TSVector3D color = Color();
    const double values[3] = {color.X, color.Y, color.Z};
    return base + WriteDoubles(Stream, values, 3);
}

std::int32_t TSAmbientLight3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomLightSystem3D::Load(Stream);
    double values[3] = {};
    ReadDoubles(Stream, values, 3);
    std::lock_guard lock(m_values);
    m_color = {values[0], values[1], values[2]};
    return base + 24;
}

// ---------------------------------------------------------------------------
// TSFlatSpringLight3D

constinit const TSClassInfo TSFlatSpringLight3D::ClassInfo{"TSFlatSpringLight3D", &TSCustomLightSystem3D::ClassInfo,
                                                           &TSNewObject<TSFlatSpringLight3D>};

void TSFlatSpringLight3D::Initialize()
{
    TSCustomLightSystem3D::Initialize();
    {
        std::lock_guard values(m_values);
        m_color = {1, 1, 1};
    }
    TakeFrame();
}

void TSFlatSpringLight3D::TakeFrame()
{
    const TSVector3D direction = FrameAxis(Frame());
    std::lock_guard values(m_values);
    m_direction = direction;
}

TSVector3D TSFlatSpringLight3D::Color() const
{
    std::lock_guard values(m_values);
    return m_color;
}

TSVector3D TSFlatSpringLight3D::Direction() const
{
    std::lock_guard values(m_values);
    return m_direction;
}

void TSFlatSpringLight3D::SetColor(double R, double G, double B)
{
    TSObjectLock guard(*this);
    const TSVector3D color{R, G, B};
    if (SameVector3D(Color(), color))
        return;
    InChange(*this, [&] {
        {
            std::lock_guard values(m_values);
            m_color = color;
        }
        if (Enabled())
            Invalidate(0);
    });
}

void TSFlatSpringLight3D::DoUpdateEnd()
{
    TakeFrame();
    if (Enabled())
        Invalidate(0);
    TSCustomLightSystem3D::DoUpdateEnd();
}

void TSFlatSpringLight3D::LightVertex(TSLightingRequestSingle& Request)
{
    if (!Enabled() || Request.Law == nullptr || Request.Position == nullptr)
        return;
    TSVector3D color;
    TSVector3D direction;
    {
        std::lock_guard values(m_values);
        color = m_color;
        direction = m_direction;
    }
    float factor = 1;
    if (CastsShadows() && Request.Occluders != nullptr) {
        const TSVector3DSingle& p = *Request.Position;
        const TSVector3DSingle far =
            Narrow({p.X - 1000000.0 * direction.X, p.Y - 1000000.0 * direction.Y, p.Z - 1000000.0 * direction.Z});
        TSOcclusionQuerySingle query{&far, Request.Position, &factor};
        Request.Occluders->TestOcclusion(query);
    }
    Request.Law->AddRed(direction, color.X * factor);
    Request.Law->AddGreen(direction, color.Y * factor);
    Request.Law->AddBlue(direction, color.Z * factor);
}

void TSFlatSpringLight3D::LightVertex(TSLightingRequest& Request)
{
    if (!Enabled() || Request.Law == nullptr || Request.Position == nullptr)
        return;
    TSVector3D color;
    TSVector3D direction;
    {
        std::lock_guard values(m_values);
        color = m_color;
        direction = m_direction;
    }
    double factor = 1;
    if (CastsShadows() && Request.Occluders != nullptr) {
        TSVector3D far;
        ScaleVector3D(direction, far, -1000000.0);
        AddVector3D(*Request.Position, far, far);
        TSOcclusionQuery query{&far, Request.Position, &factor};
        Request.Occluders->TestOcclusion(query);
    }
    Request.Law->AddRed(direction, color.X * factor);
    Request.Law->AddGreen(direction, color.Y * factor);
    Request.Law->AddBlue(direction, color.Z * factor);
}

std::int32_t TSFlatSpringLight3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomLightSystem3D::Save(Stream);
    const TSVector3D color = Color();
    const double values[3] = {color.X, color.Y, color.Z};
    return base + WriteDoubles(Stream, values, 3);
}

std::int32_t TSFlatSpringLight3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomLightSystem3D::Load(Stream);
    double values[3] = {};
    ReadDoubles(Stream, values, 3);
    {
        std::lock_guard lock(m_values);
        m_color = {values[0], values[1], values[2]};
    }
    TakeFrame();
    return base + 24;
}

// ---------------------------------------------------------------------------
// TSPointSpringLight3D

constinit const TSClassInfo TSPointSpringLight3D::ClassInfo{"TSPointSpringLight3D", &TSCustomLightSystem3D::ClassInfo,
                                                            &TSNewObject<TSPointSpringLight3D>};

void TSPointSpringLight3D::Initialize()
{
    TSCustomLightSystem3D::Initialize();
    {
        std::lock_guard values(m_values);
        m_v = Values{};
    }
    TakeFrame();
}

void TSPointSpringLight3D::TakeFrame()
{
    TSBasis3D* frame = Frame();
    const TSVector3D axis = FrameAxis(frame);
    const TSVector3D position = frame ? frame->Origin() : TSVector3D{};
    std::lock_guard values(m_values);
    m_v.Axis = axis;
    m_v.Position = position;
}

TSPointSpringLight3D::Values TSPointSpringLight3D::Snapshot() const
{
    std::lock_guard values(m_values);
    return m_v;
}

template <class Body>
void TSPointSpringLight3D::ChangeValues(Body&& Store)
{
    TSObjectLock guard(*this);
    Values next = Snapshot();
    Store(next);
    const Values now = Snapshot();
    if (SameVector3D(next.Color, now.Color) && next.Constant == now.Constant && next.Linear == now.Linear &&
        next.Quadratic == now.Quadratic && next.SpotExponent == now.SpotExponent && next.SpotCutOff == now.SpotCutOff)
        return;
    InChange(*this, [&] {
        {
            // Position and Axis follow the frame, not the setters.
            std::lock_guard values(m_values);
            m_v.Color = next.Color;
            m_v.Constant = next.Constant;
            m_v.Linear = next.Linear;
            m_v.Quadratic = next.Quadratic;
            m_v.SpotExponent = next.SpotExponent;
            m_v.SpotCutOff = next.SpotCutOff;
        }
        if (Enabled())
            Invalidate(0);
    });
}

void TSPointSpringLight3D::SetColor(double R, double G, double B)
{
    ChangeValues([&](Values& v) { v.Color = {R, G, B}; });
}

void TSPointSpringLight3D::SetAttenuation(double Constant, double Linear, double Quadratic)
{
    ChangeValues([&](Values& v) {
        v.Constant = Constant;
        v.Linear = Linear;
        v.Quadratic = Quadratic;
    });
}

void TSPointSpringLight3D::SetSpot(double Exponent, double CutOff)
{
    ChangeValues([&](Values& v) {
        v.SpotExponent = Exponent;
        v.SpotCutOff = CutOff;
    });
}

double TSPointSpringLight3D::SpotFactor(double Cos)
{
    double exponent = 0;
    double cutOff = 0;
    {
        std::lock_guard values(m_values);
        exponent = m_v.SpotExponent;
        cutOff = m_v.SpotCutOff;
    }
    if (Cos < cutOff)
        return 0;
    if (exponent > 0) {
        const double t = (1 - Cos) * exponent;
        return std::exp(-t * t);
    }
    return 1;
}

void TSPointSpringLight3D::DoUpdateEnd()
{
    TakeFrame();
    if (Enabled())
        Invalidate(0);
    TSCustomLightSystem3D::DoUpdateEnd();
}

void TSPointSpringLight3D::LightVertex(TSLightingRequestSingle& Request)
{
    if (!Enabled() || Request.Law == nullptr || Request.Position == nullptr)
        return;
    const Values v = Snapshot();
    const TSVector3DSingle position = Narrow(v.Position);
    const TSVector3DSingle& p = *Request.Position;
    TSVector3DSingle u{p.X - position.X, p.Y - position.Y, p.Z - position.Z};
    // A vertex at the light's own position gets a zero direction, not NaNs.
    const float d = NormalizeVector3DSingle(u, u);
    double s = d > 0 ? SpotFactor(Dot(v.Axis, u)) : SpotFactor(1);
    const double a = (v.Quadratic * d + v.Linear) * d + v.Constant;
    // Also no light from coefficients that give no number.
    if (!(a > 0))
        return;
    s /= a;
    if (CastsShadows() && Request.Occluders != nullptr) {
        float factor = 1;
        TSOcclusionQuerySingle query{&position, Request.Position, &factor};
        Request.Occluders->TestOcclusion(query);
        s *= factor;
    }
    Request.Law->AddRed(u, static_cast<float>(s * v.Color.X));
    Request.Law->AddGreen(u, static_cast<float>(s * v.Color.Y));
    Request.Law->AddBlue(u, static_cast<float>(s * v.Color.Z));
}

void TSPointSpringLight3D::LightVertex(TSLightingRequest& Request)
{
    if (!Enabled() || Request.Law == nullptr || Request.Position == nullptr)
        return;
    const Values v = Snapshot();
    TSVector3D u;
    SubVector3D(*Request.Position, v.Position, u);
    const double d = NormalizeVector3D(u, u);
    double s = d > 0 ? SpotFactor(DotProduct3D(u, v.Axis)) : SpotFactor(1);
    const double a = (v.Quadratic * d + v.Linear) * d + v.Constant;
    if (!(a > 0))
        return;
    s /= a;
    if (CastsShadows() && Request.Occluders != nullptr) {
        double factor = 1;
        TSOcclusionQuery query{&v.Position, Request.Position, &factor};
        Request.Occluders->TestOcclusion(query);
        s *= factor;
    }
    Request.Law->AddRed(u, s * v.Color.X);
    Request.Law->AddGreen(u, s * v.Color.Y);
    Request.Law->AddBlue(u, s * v.Color.Z);
}

std::int32_t TSPointSpringLight3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomLightSystem3D::Save(Stream);
    const Values v = Snapshot();
    const double values[8] = {v.Color.X, v.Color.Y,   v.Color.Z,      v.Constant,
                              v.Linear,  v.Quadratic, v.SpotExponent, v.SpotCutOff};
    return base + WriteDoubles(Stream, values, 8);
}

std::int32_t TSPointSpringLight3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomLightSystem3D::Load(Stream);
    double values[8] = {};
    ReadDoubles(Stream, values, 8);
    {
        std::lock_guard lock(m_values);
        m_v.Color = {values[0], values[1], values[2]};
        m_v.Constant = values[3];
        m_v.Linear = values[4];
        m_v.Quadratic = values[5];
        m_v.SpotExponent = values[6];
        m_v.SpotCutOff = values[7];
    }
    TakeFrame();
    return base + 64;
}

// ---------------------------------------------------------------------------
// TSSimpleDiffuseReflection

constinit const TSClassInfo TSSimpleDiffuseReflection::ClassInfo{
    "TSSimpleDiffuseReflection", &TSCustomReflectionLaw::ClassInfo, &TSNewObject<TSSimpleDiffuseReflection>};

void TSSimpleDiffuseReflection::Initialize()
{
    TSCustomReflectionLaw::Initialize();
    UseNormals = true;
    m_attenuation[0] = 0.5;
    m_attenuation[1] = 0.5;
    m_attenuation[2] = 0.0;
    m_radiation[0] = 1.0;
    m_radiation[1] = 0.0;
    m_radiation[2] = 0.0;
}

double TSSimpleDiffuseReflection::Attenuate(double X)
{
    return Polynomial(m_attenuation, X);
}

double TSSimpleDiffuseReflection::Radiate(double X)
{
    return Polynomial(m_radiation, X);
}

double TSSimpleDiffuseReflection::Cosine(const TSVector3DSingle& A, const TSVector3DSingle* B) const
{
    if (!UseNormals || B == nullptr)
        return 1;
    return -Dot(A, *B);
}

template <class Vector>
void TSSimpleDiffuseReflection::AddChannel(int Channel, const Vector& Direction, double Intensity)
{
    if (VertexColor == nullptr)
        return;
    double c = 1;
    if (UseNormals && VertexNormal != nullptr)
        c = -Dot(Direction, *VertexNormal);
    float& target = Channel == 0 ? VertexColor->X : Channel == 1 ? VertexColor->Y : VertexColor->Z;
    target = static_cast<float>(target + Attenuate(c) * Intensity);
}

void TSSimpleDiffuseReflection::AddAmbient(const TSVector3DSingle& Colour)
{
    AddAmbient(Widen(Colour));
}

void TSSimpleDiffuseReflection::AddAmbient(const TSVector3D& Colour)
{
    if (VertexColor == nullptr)
        return;
    const double k = Attenuate(1);
    VertexColor->X = static_cast<float>(VertexColor->X + Colour.X * k);
    VertexColor->Y = static_cast<float>(VertexColor->Y + Colour.Y * k);
    VertexColor->Z = static_cast<float>(VertexColor->Z + Colour.Z * k);
}

void TSSimpleDiffuseReflection::AddRed(const TSVector3DSingle& Direction, float Intensity)
{
    AddChannel(0, Direction, Intensity);
}

void TSSimpleDiffuseReflection::AddRed(const TSVector3D& Direction, double Intensity)
{
    AddChannel(0, Direction, Intensity);
}

void TSSimpleDiffuseReflection::AddGreen(const TSVector3DSingle& Direction, float Intensity)
{
    AddChannel(1, Direction, Intensity);
}

void TSSimpleDiffuseReflection::AddGreen(const TSVector3D& Direction, double Intensity)
{
    AddChannel(1, Direction, Intensity);
}

void TSSimpleDiffuseReflection::AddBlue(const TSVector3DSingle& Direction, float Intensity)
{
    AddChannel(2, Direction, Intensity);
}

void TSSimpleDiffuseReflection::AddBlue(const TSVector3D& Direction, double Intensity)
{
    AddChannel(2, Direction, Intensity);
}

void TSSimpleDiffuseReflection::ShadeVertex()
{
    if (VertexColor == nullptr)
        return;
    *VertexColor = {};
    if (Lights != nullptr) {
        TSLightingRequestSingle request{VertexPosition, this, Occluders};
        Lights->LightVertex(request);
    }
    const double v = VertexNormal != nullptr ? Cosine(*VertexNormal, ViewDirection) : 1;
    const double k = Radiate(v);
    VertexColor->X = static_cast<float>(VertexColor->X * k);
    VertexColor->Y = static_cast<float>(VertexColor->Y * k);
    VertexColor->Z = static_cast<float>(VertexColor->Z * k);
}

void TSSimpleDiffuseReflection::SetCoefficients(std::atomic<double> (&Target)[3], double Constant, double Linear,
                                                double Quadratic)
{
    TSObjectLock guard(*this);
    if (Target[0] == Constant && Target[1] == Linear && Target[2] == Quadratic)
        return;
    InChange(*this, [&] {
        Target[0] = Constant;
        Target[1] = Linear;
        Target[2] = Quadratic;
        Events.Notify(this, ecInvalidate, 0);
    });
}

void TSSimpleDiffuseReflection::SetAttenuation(double Constant, double Linear, double Quadratic)
{
    SetCoefficients(m_attenuation, Constant, Linear, Quadratic);
}

void TSSimpleDiffuseReflection::SetRadiation(double Constant, double Linear, double Quadratic)
{
    SetCoefficients(m_radiation, Constant, Linear, Quadratic);
}

void TSSimpleDiffuseReflection::Assign(TPersistent* Source)
{
    if (Source == nullptr)
        return;
    auto* source = dynamic_cast<TSSimpleDiffuseReflection*>(Source);
    if (source == nullptr) {
        TSCustomReflectionLaw::Assign(Source);
        return;
    }
    if (source == this)
        return;
    double values[6];
    for (int i = 0; i < 3; ++i) {
        values[i] = source->m_attenuation[i];
        values[3 + i] = source->m_radiation[i];
    }
    const std::string name = source->Name();
    TSObjectLock guard(*this);
    InChange(*this, true, [&] {
        SetName(name);
        bool differs = false;
        for (int i = 0; i < 3; ++i)
            differs = differs || m_attenuation[i] != values[i] || m_radiation[i] != values[3 + i];
        if (differs) {
            for (int i = 0; i < 3; ++i) {
                m_attenuation[i] = values[i];
                m_radiation[i] = values[3 + i];
            }
            Events.Notify(this, ecInvalidate, 0);
        }
    });
}

std::int32_t TSSimpleDiffuseReflection::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomReflectionLaw::Save(Stream);
    double values[6];
    for (int i = 0; i < 3; ++i) {
        values[i] = m_attenuation[i];
        values[3 + i] = m_radiation[i];
    }
    return base + WriteDoubles(Stream, values, 6);
}

std::int32_t TSSimpleDiffuseReflection::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomReflectionLaw::Load(Stream);
    double values[6] = {};
    ReadDoubles(Stream, values, 6);
    for (int i = 0; i < 3; ++i) {
        m_attenuation[i] = values[i];
        m_radiation[i] = values[3 + i];
    }
    return base + 48;
}

// ---------------------------------------------------------------------------
// The unit

namespace {

struct ClassRow {
    TSClass Class;
    const char* Caption;
};

// In registration order; unregistered in reverse.
const ClassRow kClasses[] = {
    {&TSEyeSystem3D::ClassInfo, "Eye System"},
    {&TSAmbientLight3D::ClassInfo, "Ambient Light"},
    {&TSFlatSpringLight3D::ClassInfo, "Flat Spring Light"},
    {&TSPointSpringLight3D::ClassInfo, "Point Spring Light"},
    {&TSSimpleDiffuseReflection::ClassInfo, "Simple Diffuse Reflection"},
};

struct CategoryRow {
    TSClass List;
    const char* Group;
    const char* Entry;
    TSClass Class;
};

const CategoryRow kCategories[] = {
    {&TSCustomProjectionSystem3DList::ClassInfo, "Standart Objects", "Eye System", &TSEyeSystem3D::ClassInfo},
    {&TSCustomLightSystem3DList::ClassInfo, "Standart Objects", "Ambient Light", &TSAmbientLight3D::ClassInfo},
    {&TSCustomLightSystem3DList::ClassInfo, "Standart Objects", "Flat Spring Light", &TSFlatSpringLight3D::ClassInfo},
    {&TSCustomLightSystem3DList::ClassInfo, "Standart Objects", "Point Spring Light", &TSPointSpringLight3D::ClassInfo},
};

}  // namespace

void RegisterSClasses3D()
{
    for (const ClassRow& row : kClasses)
        RegisterRTDClass(row.Class);
    for (const ClassRow& row : kClasses)
        SetInterfaceCaption(row.Class, row.Caption);
    std::lock_guard guard(TreeLock());
    for (const CategoryRow& row : kCategories)
        if (TSDataBranch* tree = GetInterfaceEntry(row.List, ikCategories, true))
            tree->ForceChild(row.Group, true)->ForceChild(row.Entry, true)->SetData(row.Class);
}

void UnregisterSClasses3D()
{
    for (auto row = std::rbegin(kClasses); row != std::rend(kClasses); ++row)
        UnregisterRTDClass(row->Class);
}

void SClasses3DInitialization()
{
    RegisterSClasses3D();
}

void SClasses3DFinalization()
{
    UnregisterSClasses3D();
}
