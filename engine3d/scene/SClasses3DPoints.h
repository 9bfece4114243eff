#pragma once
// Point constructions of the standard classes: a list of points, each placed, lit
// through the construction's own reflection law, attenuated by its distance from the
// camera and projected when drawn; ties that join one, two or three of the points
// into a point, a line or a triangle; and the plain-text models that fill both.
// None of these classes is registered by the unit.

#include "engine3d/scene/SClasses3D.h"

#include <cstdint>
#include <string>
#include <vector>

// A number in a model text that is not one. The message is
// "'<token>' is not a valid integer value" or "... floating point value".
class EConvertError final : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};

// One point, fifteen floats as saved: position, normal (need not be of unit length)
// and intensity in the construction's frame, then the vertex of the last drawing.
struct TSPoint3DRecord {
    TSVector3DSingle Position;
    TSVector3DSingle Normal;
    TSVector3DSingle Intensity;
    TSVertex3DSingle Vertex;
};
static_assert(sizeof(TSPoint3DRecord) == 60, "a point record is fifteen floats");

// Events around a series of point edits (Param of BeginUpdate and EndUpdate).
enum TSPointConstructionEvent : std::int32_t {
    ecPointsUpdateBegin = 4096,
    ecPointsUpdateEnd = 4097,
};

class TSCustomPointConstruction3D : public TSCustomConstruction3D {
    S_CLASS(TSCustomPointConstruction3D)
public:
    static constexpr std::int32_t BlockPoints = 16;

    ~TSCustomPointConstruction3D() override;

    // Bracket a series of point edits made through GetPoint; the last EndUpdate
    // recomputes the bounds and places the centre frame.
    void BeginUpdate(TSParam Param);
    void EndUpdate(TSParam Param);
    // nullptr outside 0 .. Count() - 1. Valid until the next SetCount.
    TSPoint3DRecord* GetPoint(std::int32_t Index);
    std::int32_t Count() const;
    // Points allocated: Count() rounded up to whole blocks.
    std::int32_t Capacity() const;
    std::int32_t UpdateCount() const;
    std::int32_t Lighting() const;
    void GetAttenuation(double& Constant, double& Linear, double& Quadratic) const;
    void SetAttenuation(double Constant, double Linear, double Quadratic);
    // The construction's own copy of a law, or nullptr.
    TSCustomReflectionLaw* ReflectionLaw() const;
    // The sub-frame "Center Point", placed at the centre of the bounds.
    TSBasis3D* CenterFrame() const;

    virtual void DoPointsUpdateBegin(TSParam Param);
    virtual void DoPointsUpdateEnd(TSParam Param);
    // N below 0 counts as 0; new points are zero. More points than 2^31 - 1 bytes
    // hold are refused with EOutOfMemory, the construction unchanged.
    virtual void SetCount(std::int32_t N);
    // 1: points lit by the law; 0: their intensity is their colour. Above 1 ignored.
    virtual void SetLighting(std::int32_t Mode);
    // The construction takes a copy of Law (nullptr: none); the caller keeps Law.
    virtual void SetReflectionLaw(TSCustomReflectionLaw* Law);
    // Fills the point's vertex for the camera of the drawing in progress.
    virtual void ProcessPoint(TSPoint3DRecord& Point);
    virtual void DrawPoints(TSCustomDrawSystem3D* DrawSystem);

    // Takes the points of another point construction; anything else is ignored.
    void Assign(TPersistent* Source) override;
    void Initialize() override;
    // After the base data: int32 count, the point records, int32 Lighting, the three
    // attenuation doubles, the law's record and the centre frame's record. Refuses
    // with "Busy" while an update is open.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;
    void DoUpdateEnd() override;
    void GetLowerBound(TSVector3D& B) override;
    void GetUpperBound(TSVector3D& B) override;
    void Draw(TSRenderContext& Context) override;

protected:
    // Under the lock.
    void RecomputeBounds();

private:
    void LawEvent(TObject* Sender, std::int32_t EventCode, TSParam Param);
    TSEventHandler LawHandler() { return TSEventHandler::Of<&TSCustomPointConstruction3D::LawEvent>(this); }
    // Frees the current law and takes Law (owned, may be nullptr) in its place.
    void TakeLaw(TSCustomReflectionLaw* Law);

    std::int32_t m_updateCount = 0;
    std::vector<TSPoint3DRecord> m_points;  // Capacity() records
    std::int32_t m_count = 0;
    TSVector3D m_lower{-1, -1, -1};
    TSVector3D m_upper{1, 1, 1};
    std::atomic<std::int32_t> m_lighting{1};
    double m_attenuation[3] = {1, 0, 0};
    TSCustomReflectionLaw* m_law = nullptr;
    TSBasis3D* m_center = nullptr;
    TSCustomProjectionSystem3D* m_camera = nullptr;
};

class TSTiesConstruction3D;

// A small object that draws some of its owner's points. Kind: 1 point, 2 line,
// 4 triangle. Made with new; the construction it is added to owns it.
class TSCustomTie3D : public TPersistent {
    S_CLASS(TSCustomTie3D)
public:
    TSTiesConstruction3D* Owner() const { return m_owner; }
    std::int32_t Kind() const { return m_kind; }
    // Point indices, -1 when new; Indices() of them are used.
    std::int32_t Index(int I) const { return I >= 0 && I < 3 ? m_index[I] : -1; }
    void SetIndex(int I, std::int32_t Value);
    int Indices() const;
    // Nothing here; a tie whose owner or points are missing draws nothing.
    virtual void Draw(TSCustomDrawSystem3D* DrawSystem);

protected:
    explicit TSCustomTie3D(std::int32_t Kind) : m_kind(Kind) {}
    // The vertices of the tie's points, or false when one is missing.
    bool Vertices(const TSVertex3DSingle* (&Out)[3]) const;

private:
    friend class TSTiesConstruction3D;
    TSTiesConstruction3D* m_owner = nullptr;
    std::int32_t m_kind = 0;
    std::int32_t m_index[3] = {-1, -1, -1};
};

class TSSimplePointTie3D final : public TSCustomTie3D {
    S_CLASS(TSSimplePointTie3D)
public:
    TSSimplePointTie3D() : TSCustomTie3D(1) {}
    void Draw(TSCustomDrawSystem3D* DrawSystem) override;
};

class TSSimpleLineTie3D final : public TSCustomTie3D {
    S_CLASS(TSSimpleLineTie3D)
public:
    TSSimpleLineTie3D() : TSCustomTie3D(2) {}
    void Draw(TSCustomDrawSystem3D* DrawSystem) override;
};

class TSSimpleTriangleTie3D final : public TSCustomTie3D {
    S_CLASS(TSSimpleTriangleTie3D)
public:
    TSSimpleTriangleTie3D() : TSCustomTie3D(4) {}
    void Draw(TSCustomDrawSystem3D* DrawSystem) override;
};

// Points joined by ties; owns its ties.
class TSTiesConstruction3D : public TSCustomPointConstruction3D {
    S_CLASS(TSTiesConstruction3D)
public:
    ~TSTiesConstruction3D() override;

    std::int32_t TieCount() const;
    TSCustomTie3D* GetTie(std::int32_t Index) const;
    bool Smooth() const { return m_smooth.load(); }
    std::int32_t TieMask() const { return m_tieMask.load(); }

    // Ties from N on are freed; new entries are empty.
    virtual void SetTieCount(std::int32_t N);
    virtual void SetSmooth(bool Value);
    // Bits 1 point ties, 2 line ties, 4 triangle ties; 0 draws the points instead.
    virtual void SetTieMask(std::int32_t Mask);
    // The tie's index; -1 for nullptr or a tie that another construction owns.
    std::int32_t AddTie(TSCustomTie3D* Tie);
    std::int32_t IndexOfTie(const TSCustomTie3D* Tie) const;

    // Replaces points and ties from a model text given as lines (joined with CR LF).
    // A missing label ends the reading quietly; a malformed number raises
    // EConvertError, a count the text cannot hold EStreamError "Invalid Value".
    void LoadFromStrings(const std::vector<std::string>& Lines);
    // The same for a text of lines ended by LF (a CR before it is dropped).
    void LoadFromText(const std::string& Text);

    void Initialize() override;
    // After the point construction's data: int32 Smooth, int32 TieMask, int32 tie
    // count, then per tie its Kind (0 for an empty entry) and its indices.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    void DrawPoints(TSCustomDrawSystem3D* DrawSystem) override;

private:
    std::vector<TSCustomTie3D*> m_ties;
    std::atomic<bool> m_smooth{false};
    std::atomic<std::int32_t> m_tieMask{7};
};

// The model text readers. Positions count from 0.
// Whether Pattern occurs in Text at Pos or later; Pos then stands at its first character.
bool FindModelText(const std::string& Pattern, const std::string& Text, std::size_t& Pos);
// Skip characters of codes up to 32 and from 128 on, then read the run of characters
// 33 to 127 as a plain decimal number; 0 when the text ends first.
std::int32_t ReadModelInt(const std::string& Text, std::size_t& Pos);
double ReadModelFloat(const std::string& Text, std::size_t& Pos);
// Locale-free conversions of a whole token; EConvertError when it is no number.
std::int32_t ModelStrToInt(const std::string& Token);
double ModelStrToFloat(const std::string& Token);
