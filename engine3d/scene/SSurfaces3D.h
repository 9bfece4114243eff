#pragma once
// The height-field surface: a rectangular grid of nodes, each with a position
// and a colour, drawn as points, a wire mesh or triangles, lit per node by the
// scene's lights through the surface's reflection law and dimmed with the
// distance from the camera. Every n-th node in each direction may be used.

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3D.h"

#include <atomic>
#include <cstdint>

// One node: its position and colour (set by whoever fills the grid), then its
// vertex for the drawing system (world, then projected position; lit colour).
struct TSSurfaceNode {
    TSVector3DSingle Position;
    TSVector3DSingle Color;
    TSVertex3DSingle Vertex;
};
static_assert(sizeof(TSSurfaceNode) == 48);

// What ApplyDrawSettings takes.
struct TSSurfaceDrawSettings {
    bool Enabled = true;
    bool Visible = true;
    bool Smooth = false;
    std::int32_t Lighting = 1;
    std::int32_t DrawMode = 3;
    std::int32_t GridStep = 1;
};

// Events of the surface.
enum TSSurfaceEvent : std::int32_t {
    ecNodesUpdateBegin = 4096,  // a node update begins (Param as given)
    ecNodesUpdateEnd = 4097,    // ... and ends
};

// Lighting and drawing modes.
enum TSSurfaceLighting : std::int32_t {
    slNoLight = 0,
    slSceneLight = 1
};
enum TSSurfaceDrawMode : std::int32_t {
    sdPoints = 1,
    sdLines = 2,
    sdTriangles = 3
};

// Nodes lie row after row; rows and the row count are padded to multiples of
// 16 nodes. The grid is written between BeginUpdate and EndUpdate after
// SetGridSize; Draw reads it without a lock on the rendering thread.
class TSSurface3D : public TSCustomConstruction3D {
    S_CLASS(TSSurface3D)
public:
    // The node array's size is saved as int32: larger grids are refused.
    static constexpr std::int64_t MaxArraySize = 2147483647;

    ~TSSurface3D() override;

    // Announce ecNodesUpdateBegin and ecNodesUpdateEnd.
    virtual void DoBeginUpdate(TSParam Param);
    virtual void DoEndUpdate(TSParam Param);
    // A Value above 1 is ignored, a negative one counts as 0.
    virtual void SetLighting(std::int32_t Value);
    // A Value above 3 is ignored, a negative one counts as 0.
    virtual void SetDrawMode(std::int32_t Value);
    virtual void SetSmooth(bool Value);
    // Holds a copy of Law (never Law itself); a law of the held one's class
    // is copied into it.
    virtual void SetReflectionLaw(TSCustomReflectionLaw* Law);
    virtual void FreeNodes();
    // Negative sizes count as 0. Nodes keep their (column, row) place; new
    // nodes are zero. A node array above MaxArraySize bytes is refused with
    // EOutOfMemory and the surface stays as it was.
    virtual void SetGridSize(std::int32_t Width, std::int32_t Height);
    virtual void ApplyDrawSettings(const TSSurfaceDrawSettings* Settings);

    // A node update; the outermost end recomputes the bounds.
    void BeginUpdate(TSParam Param = 0);
    void EndUpdate(TSParam Param = 0);
    bool IsEmpty() const;
    void SetAttenuation(double Constant, double Linear, double Quadratic);

    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    std::int32_t RowStride() const { return m_rowStride; }
    std::int32_t ArraySize() const { return m_arraySize; }
    unsigned char* NodeArray() const { return m_nodes; }
    // Node (I, J); no range check.
    TSSurfaceNode& Node(std::int32_t I, std::int32_t J) const;
    std::int32_t GridStep() const { return m_gridStep; }
    std::int32_t StepX() const { return m_stepX; }
    std::int32_t StepY() const { return m_stepY; }
    std::int64_t ByteStepX() const { return m_byteStepX; }
    std::int64_t ByteStepY() const { return m_byteStepY; }
    std::int32_t RowsPerProgressStep() const { return m_rowsPerProgressStep; }
    std::int32_t ProgressSteps() const { return m_progressSteps; }
    std::int32_t Lighting() const { return m_lighting.load(); }
    std::int32_t DrawMode() const { return m_drawMode.load(); }
    bool Smooth() const { return m_smooth.load(); }
    double AttenuationConstant() const { return m_attenuation[0].load(); }
    double AttenuationLinear() const { return m_attenuation[1].load(); }
    double AttenuationQuadratic() const { return m_attenuation[2].load(); }
    TSCustomReflectionLaw* ReflectionLaw() const { return m_law; }
    bool StoreNodes() const { return m_storeNodes; }
    TSBasis3D* CenterFrame() const { return m_center; }
    std::int32_t UpdateNesting() const { return m_updateNesting; }

    void Initialize() override;
    void DoUpdateEnd() override;
    void Refresh() override;
    void RefreshIfEnabled() override;
    void GetLowerBound(TSVector3D& B) override;
    void GetUpperBound(TSVector3D& B) override;
    void Draw(TSRenderContext& Context) override;
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;

    // The passes of Draw, usable one by one.
    void RecomputeSteps();
    void RecomputeBounds();
    // Thread, when given, is asked to stop between pieces of the pass.
    void TransformNodes(TSThread* Thread = nullptr);
    void LightNode(std::int32_t I, std::int32_t J);
    void EmitTriangles(TSCustomDrawSystem3D* Ds, TSThread* Thread);
    void ProjectNodes(TSThread* Thread = nullptr);
    void EmitPrimitives(TSRenderContext& Context);

private:
    // Moves the nodes into an array for Width x Height; see SetGridSize.
    void Resize(std::int32_t Width, std::int32_t Height);
    void ReleaseNodes();
    // Stores a new value inside a change bracket and asks to be drawn again
    // when enabled (and visible, when NeedsVisible).
    template <class T>
    void ChangeSetting(std::atomic<T>& Field, T Value, bool NeedsVisible);
    void HoldLaw(TSCustomReflectionLaw* Law);
    void LawEvent(TObject* Sender, std::int32_t EventCode, TSParam Param);
    TSEventHandler LawHandler() { return TSEventHandler::Of<&TSSurface3D::LawEvent>(this); }
    // Rows between progress steps, counted down while a pass runs.
    void StartProgress(TSThread* Thread);
    void RowDone(TSThread* Thread);
    // Visits every sampled node, rows shared among the parallel loop's threads.
    template <class Visit>
    void ForSampledInParallel(TSThread* Thread, Visit&& Visit_);

    std::int32_t m_updateNesting = 0;
    unsigned char* m_nodes = nullptr;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::int32_t m_rowStride = 0;
    std::int32_t m_arraySize = 0;
    std::int32_t m_gridStep = 1;
    std::int32_t m_stepX = 0;
    std::int32_t m_stepY = 0;
    std::int64_t m_byteStepX = 0;
    std::int64_t m_byteStepY = 0;
    std::int32_t m_rowsPerProgressStep = 1;
    std::int32_t m_progressSteps = 1;
    std::int32_t m_countdown = 0;
    TSVector3D m_lower{-1, -1, -1};
    TSVector3D m_upper{1, 1, 1};
    std::atomic<std::int32_t> m_lighting{1};
    std::atomic<std::int32_t> m_drawMode{3};
    std::atomic<bool> m_smooth{false};
    std::atomic<double> m_attenuation[3] = {1.0, 0.0, 0.0};
    TSCustomReflectionLaw* m_law = nullptr;
    bool m_storeNodes = false;
    TSBasis3D* m_center = nullptr;
    TSCustomProjectionSystem3D* m_camera = nullptr;
};

// Start and end of the unit (EngineUnits.h): the class, its caption and its
// entry "Surface 3D" under "Standart Objects" of the construction lists.
void SSurfaces3DInitialization();
void SSurfaces3DFinalization();
