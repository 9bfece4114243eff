#pragma once
// The document of the 3D viewer: a project holding custom objects, 3D objects,
// lights, cameras and viewers (drawing systems, each with the camera it
// shows), one parameter set (depository) per edited object, and a worker
// thread that renders the viewers again after every change. It saves and
// loads all of it, finds files that moved with the project or the work
// folder, and restacks the windows its forms register while loading.
//
// The unit also holds small routines of the editor forms: placing a window,
// its stacking order, finding a form by its window, and numbers typed and
// shown with '.' as decimal separator whatever the locale.

#include "viewer3d/project/ProjectCommands.h"

#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/files/SProject.h"

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Events of the project, besides those of every change object.
enum THalcyteProjectEvent : std::int32_t {
    ecRenderFailed = 1,     // a render failed or was stopped (Param 1)
    ecViewersChanged = 10,  // a viewer was added or removed (Param the project)
    ecRelayedEvent = 11,    // a member's event; Param: the address of its TSEventRecord
    ecPauseBegin = 8193,    // the first level of a pause began
    ecPauseEnd = 8194,      // the last level of a pause ended
};

// Ids of the parameter records a depository takes through Process code 7.
enum TSDepositoryParameter : std::int32_t {
    dpSetObject = 4096,    // Data: TObject** (the object the depository edits)
    dpApplyRecord = 4097,  // Data: a TSApplyRecord*
};

// Asks a depository to apply, to its object, the record chosen for a drawing
// system in a render mode.
struct TSApplyRecord {
    TSCustomDrawSystem3D* DrawSystem = nullptr;
    std::uint8_t Mode = 0;
};

// A viewer: its drawing system (owned by the project) and the camera it shows
// (a member of Cameras, not owned). Bit 0 of Flags: must be drawn again.
struct TSViewerEntry {
    TSCustomDrawSystem3D* DrawSystem = nullptr;
    TSCustomProjectionSystem3D* Camera = nullptr;
    std::int32_t Flags = 0;
    // The camera's identity in the file being loaded, until the link pass.
    std::uint32_t CameraId = 0;
};

// A depository (owned) and the object it edits.
struct TSDepositoryPair {
    TSObject* Depository = nullptr;
    TSObject* Object = nullptr;
    // The object's identity in the file being loaded, until the link pass.
    std::uint32_t ObjectId = 0;
};

class THalcyte3DProject : public TSProject {
    S_CLASS(THalcyte3DProject)
public:
    ~THalcyte3DProject() override;

    TSThread* Thread() const { return m_thread; }
    TSCustomChangeObjectList* CustomObjects() const { return m_customObjects; }
    TSCustomConstruction3DList* Objects() const { return m_objects; }
    TSCustomLightSystem3DList* Lights() const { return m_lights; }
    TSCustomProjectionSystem3DList* Cameras() const { return m_cameras; }
    std::uint8_t RenderMode() const { return m_renderMode.load(); }
    std::int32_t StopAtOnce() const { return m_stopAtOnce.load(); }
    std::int32_t PauseWait(bool Mode) const { return m_pauseWait[Mode ? 1 : 0].load(); }
    bool IsStopAtOnce(bool Mode) const;
    std::int32_t PauseCount() const { return m_pauseCount.load(); }
    bool IsPaused() const { return PauseCount() > 0; }
    bool IsDirty() const;

    virtual void DoPauseBegin();
    virtual void DoPauseEnd();
    // Marks the viewers that show Object (its drawing system or camera) for
    // redrawing, every viewer when none does or Object is nil, and renders
    // unless a change or a pause holds it back.
    virtual void Invalidate(TObject* Object);
    // The job of the render thread.
    virtual void RenderJob(TSThread* Thread, TSThreadParams* Params);
    virtual void SetMode(std::uint8_t Mode);
    // Mode true: bit 0 (render mode 1); false: bit 1 (render mode 0).
    virtual void SetStopAtOnce(bool Mode, bool On);
    virtual void SetPauseWait(bool Mode, std::int32_t Ms);
    // [0] the folder of the project file being saved or loaded, [1] the work
    // folder of the settings store (both ending in '/'; empty when absent).
    virtual void GetDefaultWorkDir(std::vector<std::string>& List);
    // FileName becomes a full path; true when that file exists or was found
    // under the folders of this load in place of the folders it was saved in.
    virtual bool RelocateFile(std::string& FileName, std::int32_t Flag);

    // Files Object in the list it belongs to (or makes it a viewer) and gives
    // it its depository. Parent chooses a sub-list of the right list.
    void AddObject(TObject* Parent, TObject* Object);
    TSObject* FindDepository(TObject* Object) const;
    TSObject* CreateDepository(TObject* Object);
    void RemoveDepository(TObject* Object);
    void ApplyDepositories(TSCustomDrawSystem3D* DrawSystem, TSThread* Thread = nullptr);
    std::int32_t DepositoryCount() const;
    TSDepositoryPair GetDepositoryPair(std::int32_t Index) const;

    std::int32_t AddViewer(TSCustomDrawSystem3D* DrawSystem);
    void RemoveViewer(std::int32_t Index);
    std::int32_t ViewerIndex(const TObject* DrawSystem) const;
    std::int32_t ViewerCount() const;
    TSCustomDrawSystem3D* GetViewer(std::int32_t Index) const;
    TSViewerEntry GetViewerEntry(std::int32_t Index) const;
    TSCustomProjectionSystem3D* GetCamera(const TObject* DrawSystem) const;
    void SetCamera(TSCustomDrawSystem3D* DrawSystem, TObject* Camera);

    // Pauses nest. The first level stops a running render (after the wait of
    // the render mode, unless it stops at once) and returns once it has left
    // its job; the last ResumeRendering renders what became due meanwhile.
    void PauseRendering();
    void ResumeRendering();
    void QueueMakeImage();
    // Draws every viewer that is due, reporting to Thread when given.
    void MakeImage(TSThread* Thread);
    // The project's tree for the administrator (interface command 6).
    void BuildTree(TSDataBranch* Branch);

    // Windows to show when a load ends, lowest Order last (shown last, so on
    // top); equal orders keep the order they came in.
    void RegisterWindow(QWidget* Window, std::int32_t Order);
    void SetWindowOrderCount(std::int32_t N);
    std::vector<std::pair<QWidget*, std::int32_t>> WindowOrder() const;
    // The folders of the running save or load, and those a load read.
    std::vector<std::string> CurrentFolders() const;
    std::vector<std::string> StoredFolders() const;

    std::int32_t Process(std::int32_t Code, TSParam Param) override;
    void Initialize() override;
    std::int32_t BeginOperation(std::int32_t Operation) override;
    std::int32_t EndOperation(std::int32_t Operation) override;
    std::int32_t Link(TSObjectsStream* Stream) override;
    std::int32_t FindHolder(TSHolderQuery* Query, TObject** Holder) override;
    std::int32_t WriteObjectsHeader(TSObjectsStream* Stream) override;
    std::int32_t ReadObjectsHeader(TSObjectsStream* Stream) override;
    std::int32_t WriteObjects(TSObjectsStream* Stream) override;
    std::int32_t ReadObjects(TSObjectsStream* Stream) override;

protected:
    void DoEndChange(std::int32_t Param) override;

private:
    struct Folders;

    void MemberEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    void CustomObjectEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    TSEventHandler MemberHandler() { return TSEventHandler::Of<&THalcyte3DProject::MemberEvent>(this); }
    TSEventHandler CustomHandler() { return TSEventHandler::Of<&THalcyte3DProject::CustomObjectEvent>(this); }
    void ObjectDestroyed(TObject* Object);
    // Adds Object to the list of Family (Parent when it is a list of ListClass
    // that Family holds) within a pause, and gives it its depository.
    void FileInList(TSCustomChangeObject* Family, TSClass ListClass, TObject* Parent, TSCustomChangeObject* Object);
    bool Holds(TSCustomChangeObject* List, TObject* Object);
    bool InRenderThread() const;
    // Frees the drawing systems or depositories of slots that disappear.
    void SetViewerCount(std::int32_t N);
    void SetDepositoryCount(std::int32_t N);
    // Waits for Lock, giving up with EAbort when Thread is asked to stop.
    template <class L>
    static void LockForRender(L& Lock, TSThread* Thread);
    [[noreturn]] void InvalidValue() const;
    // The four lists, in file order.
    std::vector<TSCustomChangeObject*> Lists() const;
    template <class List>
    void ReplaceList(List*& Field, List* Fresh, TSEventHandler Handler);
    // Draws the due viewers; the due marks clear when no Invalidate came
    // meanwhile. Errors pass on.
    void RenderDue(TSThread* Thread);
    void RestackWindows();

    TSThread* m_thread = nullptr;
    std::atomic<std::uint8_t> m_renderMode{0};
    std::atomic<std::int32_t> m_stopAtOnce{2};
    std::atomic<std::int32_t> m_pauseWait[2] = {100, 200};

    mutable std::recursive_mutex m_depositoryLock;
    std::vector<TSDepositoryPair> m_depositories;

    // Guards the viewer entries and the due marks; never held while calling out.
    mutable std::mutex m_viewersLock;
    std::vector<TSViewerEntry> m_viewers;
    bool m_dirty = false;
    bool m_redrawAll = false;
    // Counts Invalidate calls: a render clears the due marks only when none
    // came after it started.
    std::uint64_t m_invalidations = 0;

    TSCustomChangeObjectList* m_customObjects = nullptr;
    TSCustomConstruction3DList* m_objects = nullptr;
    TSCustomLightSystem3DList* m_lights = nullptr;
    TSCustomProjectionSystem3DList* m_cameras = nullptr;

    // Serialize filing, and pausing and resuming; taken after any object's
    // lock, never before one.
    std::recursive_mutex m_fileLock;
    std::recursive_mutex m_pauseLock;
    std::atomic<std::int32_t> m_pauseCount{0};
    std::atomic<std::thread::id> m_renderThread{};

    mutable std::mutex m_windowsLock;
    std::vector<std::pair<QPointer<QWidget>, std::int32_t>> m_windowOrder;
    mutable std::mutex m_foldersLock;
    std::unique_ptr<std::vector<std::string>> m_currentFolders;
    std::unique_ptr<std::vector<std::string>> m_storedFolders;
    // The load reached its link pass: the identities read are resolved.
    bool m_loadLinked = false;
};

// The interface routine of the project class: describes the project (command
// 6 with Object set); -1 for anything else.
std::int32_t HalcyteProjectCommand(TSCommandRecord* Record);

// Start and end of the unit: the class, its routine, caption and categories.
// "Standart Viewer 3D" names the drawing system class when it is registered
// by then.
void HcProject3DInitialization();
void HcProject3DFinalization();

// The settings key and value of the work folder.
inline constexpr char kWorkDirKey[] = "Software\\Tolvek\\Velmora\\Settings\\General";
inline constexpr char kWorkDirValue[] = "WorkDir";

// Name := NewPrefix + the rest of Name after OldPrefix, when Name starts with
// OldPrefix (compared without case, 1 <= its length < Name's) and that file
// exists.
bool RelocatePath(const std::string& NewPrefix, const std::string& OldPrefix, std::string& Name);

// Where a window of CurrentSize goes on a screen of ScreenSize: a width or
// height of 0 or less keeps the current one; a negative Left (Top) centres,
// one that would run off the screen is pulled back, one at least the screen's
// size starts at 0.
QRect WindowPlacement(int Left, int Top, int Width, int Height, QSize CurrentSize, QSize ScreenSize);
// Places Form on its screen by WindowPlacement, on top of the other windows
// or not, and shows or hides it.
void PlaceWindow(QWidget* Form, int Left, int Top, int Width, int Height, bool StayOnTop, bool Visible);
// The place of a window of this program in the stack: 1 for the top normal
// window, 2 for the one below...; stay-on-top windows count from -1 upwards
// (-(windows below + 1)). 0 for nil or a window the program does not know.
std::int32_t WindowStackOrder(QWidget* Window);
// The top-level form whose native window is Window; nullptr when none.
QWidget* FindFormByHandle(WId Window);
// The program keeps the stacking order of its own top-level windows, since the
// window system does not tell it: from their showing, raising and activation.
// Started and stopped with the unit (GUI thread).
void StartWindowStackWatch();
void StopWindowStackWatch();

// Numbers with '.' as decimal separator. Blanks around the number are
// allowed; on false Value keeps its value.
bool TryParseInteger(const std::string& S, std::int32_t& Value);
bool TryParseReal(const std::string& S, double& Value);
// Value with Decimals decimals, without blanks and without trailing zeros
// (and a decimal point left bare); "0" when nothing is left.
std::string FormatReal(double Value, int Width, int Decimals);
