#pragma once
// A self-contained scene: objects, lights and cameras in three owned lists, a
// current camera and drawing system, and an owned worker thread. The scene
// watches what it holds and makes a new image whenever something changed,
// on its thread (asynchronous) or in the thread that caused the change.

#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SThreads.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

// Events of a scene, besides those of every change object.
enum TSSceneEvent : std::int32_t {
    ecImageFailed = 1,          // making an image failed or was stopped (Param 1)
    ecSceneUpdateBegin = 8193,  // the outermost update begins (Param of the call)
    ecSceneUpdateEnd = 8194,    // ... and ends
};

// One image at a time reaches the drawing system: a synchronous image waits
// for an asynchronous one to stop, and a change of the drawing system, the
// camera or the death of a member stops the image in the making before it
// goes on. An image is due from the first Invalidate until an image that
// started after the last Invalidate has been made. Not copyable.
class TSSimpleScene3D : public TSCustomChangeObject {
    S_CLASS(TSSimpleScene3D)
public:
    ~TSSimpleScene3D() override;

    TSCustomConstruction3DList* Objects() const { return m_objects; }
    TSCustomLightSystem3DList* Lights() const { return m_lights; }
    TSCustomConstruction3DList* Cameras() const { return m_cameras; }
    TSThread* Thread() const { return m_thread; }
    TSCustomDrawSystem3D* DrawSystem() const { return m_drawSystem.load(); }
    TSCustomConstruction3D* Camera() const { return m_camera.load(); }
    bool Asynchronous() const { return m_asynchronous.load(); }
    bool IsImageDue() const;

    // Nested updates hold image making back; the end of the outermost one
    // redraws.
    void BeginUpdate(TSParam Param);
    void EndUpdate(TSParam Param);
    bool IsUpdating() const { return m_updateNesting.load() > 0; }

    // The replaced drawing system is not freed; the one held when the scene
    // goes is.
    virtual void SetDrawSystem(TSCustomDrawSystem3D* DrawSystem);
    // Only nullptr or a member of Cameras is taken.
    virtual void SetCamera(TSCustomConstruction3D* Camera);
    // No redraw.
    virtual void SetAsynchronous(bool Value);
    virtual void DoBeginUpdate(TSParam Param);
    virtual void DoEndUpdate(TSParam Param);
    // Marks an image due (announcing 4100 when it was not) and redraws unless
    // changing or updating.
    virtual void Invalidate(TSParam Param);
    // Makes the due image; a failure (a stop too) comes out as event 1. 0.
    virtual std::int32_t MakeImageJob(TSThread* Thread, TSThreadParams* Params);

    // Makes one image in the calling thread, reporting to Thread when given.
    // Nothing without camera or drawing system, and nothing when called from
    // inside an image of this scene.
    void MakeImage(TSThread* Thread);
    // Starts an image when one is due and possible.
    void Redraw();

    void Initialize() override;

protected:
    void DoEndChange(std::int32_t Param) override;

private:
    class DrawingTurn;

    void SceneEvent(TObject* Sender, std::int32_t EventCode, TSParam Param);
    TSEventHandler Handler() { return TSEventHandler::Of<&TSSimpleScene3D::SceneEvent>(this); }
    void ImageJob(TSThread* Thread, TSThreadParams* Params);
    void QueueImage();
    // A camera that projects and a drawing system, neither of them going.
    bool CanDraw() const;
    static bool CanDraw(const TSCustomDrawSystem3D* DrawSystem, const TSCustomProjectionSystem3D* Camera);
    // True in the thread that makes an image of this scene.
    bool InImageThread() const;
    // Stops the image in the making and waits for it, unless called from it:
    // a few seconds at most, or until it has ended when Unbounded.
    void StopImage(bool Unbounded = false);
    // Updates opened and closed by one watched object's events.
    void SourceBegins(TObject* Source);
    void SourceEnds(TObject* Source);
    // Ends the updates a watched object opened and will never close here.
    void CloseSource(TObject* Source);
    // Clears and frees a list of the scene.
    template <class List>
    void FreeList(List*& Owned);

    TSCustomConstruction3DList* m_objects = nullptr;
    TSCustomLightSystem3DList* m_lights = nullptr;
    TSCustomConstruction3DList* m_cameras = nullptr;
    TSThread* m_thread = nullptr;
    std::atomic<TSCustomDrawSystem3D*> m_drawSystem{nullptr};
    std::atomic<TSCustomConstruction3D*> m_camera{nullptr};
    std::atomic<std::int32_t> m_updateNesting{0};
    std::atomic<bool> m_asynchronous{false};
    // Guards the update nesting and the open updates per watched object;
    // never held while calling out.
    std::mutex m_updateLock;
    std::unordered_map<const TObject*, std::int32_t> m_openUpdates;

    // The due mark and the count of Invalidate calls: an image clears the
    // mark only when no Invalidate came after it started.
    mutable std::mutex m_dueLock;
    bool m_due = false;
    std::uint64_t m_generation = 0;

    // Set while an image is made, so one thread draws at a time.
    std::mutex m_drawingLock;
    std::condition_variable m_drawingEnded;
    bool m_drawing = false;
    std::atomic<std::thread::id> m_painter{};
    std::atomic<std::thread::id> m_jobThread{};
};

// "Global List of SScene3D", or nullptr while the unit is not running.
TSObjectsList* GlobalScenesList();

// Start and end of the unit (EngineUnits.h): the register of scenes.
void SScene3DInitialization();
void SScene3DFinalization();
