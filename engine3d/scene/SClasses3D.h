#pragma once
// The standard camera, lights and reflection law: the perspective eye system,
// the ambient, flat (directional) and point (spot) lights, and the diffuse law
// that turns the light reaching a vertex into its colour.
//
// Setters run under the object's lock and change nothing for equal values;
// lighting and projection read the values from the rendering thread.

#include "engine3d/scene/SCustom3D.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// A perspective camera looking along +Z of its frame: a frame point P lands at
// (P.x·D/P.z, P.y·D/P.z, P.z·S); P.z = 0 lands at the origin. A new camera's
// frame is the world's with Z reversed.
class TSEyeSystem3D : public TSCustomProjectionSystem3D {
    S_CLASS(TSEyeSystem3D)
public:
    double ScreenDistance() const { return m_screenDistance.load(); }
    double DepthScale() const { return m_depthScale.load(); }
    void SetScreenDistance(double D);
    void SetDepthScale(double S);

    void ProjectPoint(const TSVector3DSingle& Local, TSVector3DSingle& Projected) override;
    void ProjectPoint(const TSVector3D& Local, TSVector3D& Projected) override;
    // (-D, -D, -D) and (D, D, D).
    void GetLowerBound(TSVector3D& B) override;
    void GetUpperBound(TSVector3D& B) override;
    // The frame moved: a visible camera asks to be drawn again (0), an
    // invisible one names itself, then event 4097.
    void DoUpdateEnd() override;

    // Takes D and S of another eye system; anything else is ignored.
    void Assign(TPersistent* Source) override;
    void Initialize() override;
    // After the base data: D, S.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

private:
    template <class Body>
    void ChangeValues(Body&& Store);

    std::atomic<double> m_screenDistance{1000.0};
    std::atomic<double> m_depthScale{1000.0};
};

// Light from everywhere: adds Color as ambient light.
class TSAmbientLight3D : public TSCustomLightSystem3D {
    S_CLASS(TSAmbientLight3D)
public:
    TSVector3D Color() const;
    void SetColor(const TSVector3D& Color);

    void LightVertex(TSLightingRequestSingle& Request) override;
    void LightVertex(TSLightingRequest& Request) override;

    void Initialize() override;
    // After the base data: Color r, g, b.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

private:
    mutable std::mutex m_values;
    TSVector3D m_color;
};

// Parallel light travelling along the X axis of the light's frame.
class TSFlatSpringLight3D : public TSCustomLightSystem3D {
    S_CLASS(TSFlatSpringLight3D)
public:
    TSVector3D Color() const;
    // The unit X axis of the frame in world coordinates, as of the frame's
    // last move.
    TSVector3D Direction() const;
    void SetColor(double R, double G, double B);

    void LightVertex(TSLightingRequestSingle& Request) override;
    void LightVertex(TSLightingRequest& Request) override;
    void DoUpdateEnd() override;

    void Initialize() override;
    // After the base data: Color r, g, b. Direction is not saved.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

private:
    void TakeFrame();

    mutable std::mutex m_values;
    TSVector3D m_color{1, 1, 1};
    TSVector3D m_direction{1, 0, 0};
};

// Light from the frame's origin, shaped into a spot around the frame's X axis
// and weakened by (Quadratic·d + Linear)·d + Constant at distance d.
class TSPointSpringLight3D : public TSCustomLightSystem3D {
    S_CLASS(TSPointSpringLight3D)
public:
    struct Values {
        TSVector3D Color{1, 1, 1};
        double Constant = 1, Linear = 0, Quadratic = 0;
        double SpotExponent = 0, SpotCutOff = -1;
        TSVector3D Position;
        TSVector3D Axis{1, 0, 0};
    };

    Values Snapshot() const;
    TSVector3D Color() const { return Snapshot().Color; }
    TSVector3D Position() const { return Snapshot().Position; }
    TSVector3D Axis() const { return Snapshot().Axis; }
    void SetColor(double R, double G, double B);
    void SetAttenuation(double Constant, double Linear, double Quadratic);
    void SetSpot(double Exponent, double CutOff);

    void LightVertex(TSLightingRequestSingle& Request) override;
    void LightVertex(TSLightingRequest& Request) override;
    void DoUpdateEnd() override;
    // 0 below the cut-off; exp(-((1 - Cos)·Exponent)²) for a positive
    // exponent, else 1.
    virtual double SpotFactor(double Cos);

    void Initialize() override;
    // After the base data: Color r, g, b, Constant, Linear, Quadratic,
    // SpotExponent, SpotCutOff. Position and Axis are not saved.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

private:
    template <class Body>
    void ChangeValues(Body&& Store);
    void TakeFrame();

    mutable std::mutex m_values;
    Values m_v;
};

// The diffuse law: each light's contribution is weighted by Attenuate of its
// incidence cosine, the sum by Radiate of the viewing cosine. The vertex
// fields are filled by the construction being drawn and are neither saved nor
// copied; one construction at a time may use a law.
class TSSimpleDiffuseReflection : public TSCustomReflectionLaw {
    S_CLASS(TSSimpleDiffuseReflection)
public:
    TSCustomLightSystem3D* Lights = nullptr;
    TSCustomConstruction3D* Occluders = nullptr;
    const TSVector3DSingle* VertexPosition = nullptr;
    const TSVector3DSingle* VertexNormal = nullptr;
    const TSVector3DSingle* ViewDirection = nullptr;
    TSVector3DSingle* VertexColor = nullptr;
    // When false every cosine counts as 1.
    bool UseNormals = true;

    double AttenuationConstant() const { return m_attenuation[0].load(); }
    double AttenuationLinear() const { return m_attenuation[1].load(); }
    double AttenuationQuadratic() const { return m_attenuation[2].load(); }
    double RadiationConstant() const { return m_radiation[0].load(); }
    double RadiationLinear() const { return m_radiation[1].load(); }
    double RadiationQuadratic() const { return m_radiation[2].load(); }
    // Announce 4100 when a value changed.
    void SetAttenuation(double Constant, double Linear, double Quadratic);
    void SetRadiation(double Constant, double Linear, double Quadratic);

    // Without VertexColor they add nothing.
    void AddAmbient(const TSVector3DSingle& Colour) override;
    void AddAmbient(const TSVector3D& Colour) override;
    void AddRed(const TSVector3DSingle& Direction, float Intensity) override;
    void AddRed(const TSVector3D& Direction, double Intensity) override;
    void AddGreen(const TSVector3DSingle& Direction, float Intensity) override;
    void AddGreen(const TSVector3D& Direction, double Intensity) override;
    void AddBlue(const TSVector3DSingle& Direction, float Intensity) override;
    void AddBlue(const TSVector3D& Direction, double Intensity) override;

    // The attenuation polynomial of X, clamped to 0 .. 1.
    virtual double Attenuate(double X);
    // The radiation polynomial of X, clamped to 0 .. 1.
    virtual double Radiate(double X);
    // VertexColor becomes the colour of the vertex: every light of Lights
    // adds to it, then it is weighted by the viewing cosine. Without
    // VertexPosition or VertexColor nothing happens.
    virtual void ShadeVertex();

    // The name, then the six coefficients when any differs (announcing 4100).
    void Assign(TPersistent* Source) override;
    void Initialize() override;
    // After the name: the attenuation, then the radiation coefficients.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

private:
    template <class Vector>
    void AddChannel(int Channel, const Vector& Direction, double Intensity);
    double Cosine(const TSVector3DSingle& A, const TSVector3DSingle* B) const;
    void SetCoefficients(std::atomic<double> (&Target)[3], double Constant, double Linear, double Quadratic);

    std::atomic<double> m_attenuation[3] = {0.5, 0.5, 0.0};
    std::atomic<double> m_radiation[3] = {1.0, 0.0, 0.0};
};

// Registration of the classes, their captions and the category entries from
// which cameras and lights are made; the end takes the classes out again.
void RegisterSClasses3D();
void UnregisterSClasses3D();

// Start and end of the unit (EngineUnits.h).
void SClasses3DInitialization();
void SClasses3DFinalization();
