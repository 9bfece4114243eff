#pragma once
// The abstract scene classes every scene object is built on, and the records
// that pass between them while a picture is made: reflection laws, drawing
// systems, 3D objects placed by their own frame, constructions that draw,
// cameras that project and lights that light a vertex through a law.

#include "engine3d/geometry/SBasis3D.h"
#include "engine3d/geometry/SVectors3D.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

class TSCustomProjectionSystem3D;
class TSCustomLightSystem3DList;
class TSCustomConstruction3DList;
class TSCustomDrawSystem3D;
class TSCustomReflectionLaw;
class TSCustomConstruction3D;
class TSThread;

// What one Draw works with. A nil DrawSystem computes and draws nothing; a nil
// Thread gives neither progress nor cancellation.
struct TSRenderContext {
    TSCustomProjectionSystem3D* Camera = nullptr;
    TSCustomLightSystem3DList* Lights = nullptr;
    TSCustomConstruction3DList* Objects = nullptr;
    TSCustomDrawSystem3D* DrawSystem = nullptr;
    TSThread* Thread = nullptr;
};

// A vertex for a drawing system: x, y in pixels from the image centre, the
// camera's depth, and r, g, b from 0 (dark) to 1 (full).
struct TSVertex3D {
    double X = 0, Y = 0, Z = 0;
    double R = 0, G = 0, B = 0;
};

struct TSVertex3DSingle {
    float X = 0, Y = 0, Z = 0;
    float R = 0, G = 0, B = 0;
};

// Asks occluders how much of the light from LightPoint reaches Vertex; they
// lower *Factor from 1 towards 0.
struct TSOcclusionQuery {
    const TSVector3D* LightPoint = nullptr;
    const TSVector3D* Vertex = nullptr;
    double* Factor = nullptr;
};

struct TSOcclusionQuerySingle {
    const TSVector3DSingle* LightPoint = nullptr;
    const TSVector3DSingle* Vertex = nullptr;
    float* Factor = nullptr;
};

// Asks a light to light the vertex at Position (world coordinates) through Law;
// Occluders, when given, are asked for shadows.
struct TSLightingRequest {
    const TSVector3D* Position = nullptr;
    TSCustomReflectionLaw* Law = nullptr;
    TSCustomConstruction3D* Occluders = nullptr;
};

struct TSLightingRequestSingle {
    const TSVector3DSingle* Position = nullptr;
    TSCustomReflectionLaw* Law = nullptr;
    TSCustomConstruction3D* Occluders = nullptr;
};

// Events of the scene classes.
enum TSCustom3DEvent : std::int32_t {
    ecUpdateBegin = 4096,  // a 3D object's frame begins an update (Param 0)
    ecUpdateEnd = 4097,    // ... and ends it (Param 0)
    ecBeginDraw = 4098,    // a drawing system begins a picture (Param of the call)
    ecEndDraw = 4099,      // ... and ends it
    ecInvalidate = 4100,   // a 3D object must be drawn again (Param as given)
};

// How light reaching a surface point becomes a colour. Every entry does
// nothing here. Directions point from the light towards the vertex.
class TSCustomReflectionLaw : public TSCustomChangeObject {
    S_CLASS(TSCustomReflectionLaw)
public:
    ~TSCustomReflectionLaw() override;

    virtual void AddAmbient(const TSVector3DSingle& Colour);
    virtual void AddAmbient(const TSVector3D& Colour);
    virtual void AddRed(const TSVector3DSingle& Direction, float Intensity);
    virtual void AddRed(const TSVector3D& Direction, double Intensity);
    virtual void AddGreen(const TSVector3DSingle& Direction, float Intensity);
    virtual void AddGreen(const TSVector3D& Direction, double Intensity);
    virtual void AddBlue(const TSVector3DSingle& Direction, float Intensity);
    virtual void AddBlue(const TSVector3D& Direction, double Intensity);

    void Initialize() override;
};

// The target of points, lines and triangles in screen coordinates. Pictures
// are bracketed by BeginDraw/EndDraw; only the outermost pair announces.
class TSCustomDrawSystem3D : public TSCustomChangeObject {
    S_CLASS(TSCustomDrawSystem3D)
public:
    ~TSCustomDrawSystem3D() override;

    bool Enabled() const { return m_enabled.load(); }
    bool Smooth() const { return m_smooth.load(); }
    std::int32_t DrawNesting() const { return m_drawNesting.load(); }

    // No lock: one thread draws at a time.
    void BeginDraw(std::int32_t Param);
    void EndDraw(std::int32_t Param);
    void SetEnabled(bool Value);

    virtual void DoBeginDraw(std::int32_t Param);
    virtual void DoEndDraw(std::int32_t Param);
    // Called after Enabled changed.
    virtual void EnabledChanged();
    // Stores Smooth, without change bracket or event.
    virtual void SetSmooth(bool Value);
    virtual void Clear();
    virtual void DrawPoint(const TSVertex3DSingle& P);
    virtual void DrawPoint(const TSVertex3D& P);
    virtual void DrawLine(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2);
    virtual void DrawLine(const TSVertex3D& P1, const TSVertex3D& P2);
    virtual void DrawTriangle(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3);
    virtual void DrawTriangle(const TSVertex3D& P1, const TSVertex3D& P2, const TSVertex3D& P3);
    // Count triangles, Vertices[3 i] .. Vertices[3 i + 2] each: the same as
    // that many DrawTriangle calls (which the default makes).
    virtual void DrawTriangles(const TSVertex3DSingle* const* Vertices, std::int64_t Count);
    virtual void DrawQuad(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3,
                          const TSVertex3DSingle& P4);
    virtual void DrawQuad(const TSVertex3D& P1, const TSVertex3D& P2, const TSVertex3D& P3, const TSVertex3D& P4);

    void Initialize() override;
    // Name, then int32 flags: bit 0 Enabled, bit 1 Smooth.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

private:
    std::atomic<bool> m_enabled{true};
    std::atomic<std::int32_t> m_drawNesting{0};
    std::atomic<bool> m_smooth{false};
};

// An object placed in space by its own frame, which it owns; the frame always
// carries the object's name. The frame's updates come out as the object's
// events 4096 and 4097. Not copyable.
class TSCustomObject3D : public TSCustomChangeObject {
    S_CLASS(TSCustomObject3D)
public:
    ~TSCustomObject3D() override;

    TSBasis3D* Frame() const;

    virtual void DoUpdateBegin();
    virtual void DoUpdateEnd();
    // Announces ecInvalidate with Param.
    virtual void Invalidate(TSParam Param);
    // Corners of a box in the object's own frame that holds the object.
    virtual void GetLowerBound(TSVector3D& B);
    virtual void GetUpperBound(TSVector3D& B);

    void Initialize() override;
    // 1 + the frame's count for save (3) and load (4); -1 otherwise.
    std::int32_t BeginOperation(std::int32_t Operation) override;
    std::int32_t EndOperation(std::int32_t Operation) override;
    // Name, then the frame as an object record.
    std::int32_t Save(TSObjectsStream* Stream) override;
    // A frame record that yields no frame raises "Invalid Object" and leaves
    // the old frame in place.
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;

protected:
    void Changed() override;

private:
    void FrameEvent(TObject* Sender, std::int32_t EventCode, TSParam Param);
    TSEventHandler FrameHandler() { return TSEventHandler::Of<&TSCustomObject3D::FrameEvent>(this); }
    // Takes Frame in place of the current one, which is freed.
    void ReplaceFrame(TSBasis3D* Frame);

    std::atomic<TSBasis3D*> m_frame{nullptr};
};

// A 3D object that can be drawn. A disabled one takes no part in rendering; an
// enabled but invisible one takes part but puts nothing on the image.
class TSCustomConstruction3D : public TSCustomObject3D {
    S_CLASS(TSCustomConstruction3D)
public:
    ~TSCustomConstruction3D() override;

    bool Enabled() const { return m_enabled.load(); }
    bool Visible() const { return m_visible.load(); }
    void SetEnabled(bool Value);
    void SetVisible(bool Value);

    virtual void Refresh();
    virtual void RefreshIfEnabled();
    // The shadow entry: an occluder lowers the query's factor.
    virtual void TestOcclusion(TSOcclusionQuerySingle& Query);
    virtual void TestOcclusion(TSOcclusionQuery& Query);
    // One white point at the frame's origin, when enabled and visible.
    virtual void Draw(TSRenderContext& Context);
    // A new object derived from this one, or nullptr.
    virtual TSCustomConstruction3D* CreateDerived(TObject* Owner);

    void Initialize() override;
    // After the base data: int32 flags, bit 0 Enabled, bit 1 Visible.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

protected:
    // Stored without change bracket or event.
    void StoreVisible(bool Value) { m_visible.store(Value); }

private:
    std::atomic<bool> m_enabled{true};
    std::atomic<bool> m_visible{true};
};

// A camera: turns points of its frame into (x, y, depth). Invisible by default.
class TSCustomProjectionSystem3D : public TSCustomConstruction3D {
    S_CLASS(TSCustomProjectionSystem3D)
public:
    // Copies the point unchanged here.
    virtual void ProjectPoint(const TSVector3DSingle& Local, TSVector3DSingle& Projected);
    virtual void ProjectPoint(const TSVector3D& Local, TSVector3D& Projected);
    // V = World - the origin of the camera's frame.
    virtual void ViewVector(const TSVector3DSingle& World, TSVector3DSingle& V);
    virtual void ViewVector(const TSVector3D& World, TSVector3D& V);
    // Carries World into the camera's frame, then ProjectPoint.
    void ProjectWorldPoint(const TSVector3DSingle& World, TSVector3DSingle& Projected);

    void Initialize() override;
};

// A light: lights one vertex through a reflection law. Invisible by default.
class TSCustomLightSystem3D : public TSCustomConstruction3D {
    S_CLASS(TSCustomLightSystem3D)
public:
    bool CastsShadows() const { return m_castsShadows.load(); }

    virtual void RefreshLighting();
    virtual void LightVertex(TSLightingRequestSingle& Request);
    virtual void LightVertex(TSLightingRequest& Request);

    void Initialize() override;
    // After the base data: int32 CastsShadows, 0 or 1.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

private:
    std::atomic<bool> m_castsShadows{false};
};

// One drawing system's record choices: 12 bytes in a file (the drawing
// system's identity, then the special and the ordinary choice). A choice is a
// record index or -1.
struct TSDrawSystemEntry {
    TSCustomDrawSystem3D* DrawSystem = nullptr;
    std::uint32_t DrawSystemId = 0;  // in a file being loaded, until Link
    std::int32_t Special = 0;
    std::int32_t Ordinary = 0;
};

// Data of SetParameter 4097: the drawing system about to render and its mode.
struct TSDepositoryApply {
    TSCustomDrawSystem3D* DrawSystem = nullptr;
    std::uint8_t Special = 0;
};

enum TSDepositoryId : std::int32_t {
    diConstruction = 4096,  // Data: TObject** (the construction; nil when it is none)
    diApply = 4097,         // Data: TSDepositoryApply*
};

// Named parameter records of one construction, with a record choice per
// drawing system. A descendant gives the record layout through RecordSize
// and the record operations, and writes a record into the construction in
// ApplyRecord.
class TSDepositoryCustomConstruction3D : public TSObject {
    S_CLASS(TSDepositoryCustomConstruction3D)
public:
    ~TSDepositoryCustomConstruction3D() override;

    // The store's data is read and changed under its own lock, so a render
    // thread's 4097 and an editor's changes never meet half done. The lock is
    // taken after the construction's and held across ApplyRecord only by 4097
    // (and by Load, whose store has no construction yet); other operations
    // apply after releasing it.
    TSCustomConstruction3D* Construction() const;
    std::int32_t CurrentRecord() const;
    std::int32_t RecordCount() const;
    std::int32_t EntryCount() const;

    virtual std::int32_t Edit(TSParam Param);
    virtual void ConstructionEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    virtual void DrawSystemEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    virtual void SetConstruction(TSCustomConstruction3D* Value);
    virtual std::int32_t RecordSize();
    virtual void SetRecordCount(std::int32_t N);
    virtual void InitRecord(void* Data);
    virtual void DoneRecord(void* Data);
    virtual bool CopyRecord(void* Dest, const void* Source);
    virtual std::int32_t WriteRecord(TSObjectsStream* Stream, const void* Data);
    virtual std::int32_t ReadRecord(TSObjectsStream* Stream, void* Data);
    virtual void ApplyRecord();

    std::int32_t AddDrawSystem(TSCustomDrawSystem3D* DS);
    void DeleteDrawSystem(std::int32_t Index);
    std::int32_t FindDrawSystem(TSCustomDrawSystem3D* DS) const;
    TSCustomDrawSystem3D* GetDrawSystem(std::int32_t Index) const;
    void SetDrawSystemRecord(std::int32_t Index, bool Special, std::int32_t Record);
    std::int32_t GetDrawSystemRecord(std::int32_t Index, bool Special) const;
    void SetEntryCount(std::int32_t N);
    void* GetRecordData(std::int32_t Index);
    void SetRecordName(std::int32_t Index, const std::string& S);
    std::string GetRecordName(std::int32_t Index) const;
    void SelectRecord(std::int32_t Index);
    void DeleteRecord(std::int32_t Index);
    bool CopyFrom(TSDepositoryCustomConstruction3D* Source);

    void Assign(TPersistent* Source) override;
    void Initialize() override;
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;
    std::int32_t SetParameter(std::int32_t Id, void* Data) override;
    std::int32_t GetParameter(std::int32_t Id, void* Data) override;
    std::int32_t Process(std::int32_t Code, TSParam Param) override;

private:
    void ConstructionHandler(TObject* Sender, std::int32_t Code, TSParam Param);
    void DrawSystemHandler(TObject* Sender, std::int32_t Code, TSParam Param);
    TSEventHandler OfConstruction() { return TSEventHandler::Of<&TSDepositoryCustomConstruction3D::ConstructionHandler>(this); }
    TSEventHandler OfDrawSystem() { return TSEventHandler::Of<&TSDepositoryCustomConstruction3D::DrawSystemHandler>(this); }
    void Subscribe(TSCustomDrawSystem3D* DS);
    void Unsubscribe(TSCustomDrawSystem3D* DS);
    std::uint8_t* RecordBytes(std::int32_t Index);

    TSCustomConstruction3D* m_construction = nullptr;
    std::uint32_t m_constructionId = 0;  // the saved identity, until Link
    std::int32_t m_current = 0;
    std::vector<std::string> m_names;
    std::vector<std::uint8_t> m_data;  // RecordSize bytes per record
    std::vector<TSDrawSystemEntry> m_entries;
    std::int32_t m_defaultOrdinary = 0;
    std::int32_t m_defaultSpecial = 0;
    mutable std::recursive_mutex m_storeLock;
};

// The unit's registers, or nullptr while the unit is not running.
TSObjectsList* GlobalReflectionLawsList();
TSObjectsList* GlobalDrawSystemsList();
TSObjectsList* GlobalConstructionsList();

// Start and end of the unit: the three registers and the unit's texts.
void SCustom3DInitialization();
void SCustom3DFinalization();

enum TSCustom3DString : unsigned {
    sInvalidObject = 57800,  // "Invalid Object"
};
