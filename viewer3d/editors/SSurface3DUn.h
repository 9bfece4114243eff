#pragma once
// The surface editor: the surface's parameter store, which keeps how its six
// node channels are filled (from layers of raster files or linearly), its grid
// size, reflection law, depth attenuation and drawing records, and rebuilds
// the surface from that recipe; and the modeless window that edits a working
// copy of it and applies it on a worker thread.

#include "engine3d/scene/SCustom3D.h"

#include <QWidget>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TSDepositoryComponent;
class TSFlatCaption;
class TSLayer;
class TSSurface3D;
class TSSurface3DForm;
class TSThread;
class TSThreadParams;

inline constexpr char kNoLayer[] = "- NO LAYER -";
inline constexpr char kNoReflectionLaw[] = " - No Reflection Law - ";

// How one channel is filled.
struct TSSurfaceChannel {
    std::uint8_t FromFile = 0;  // 0 "Linear", 1 "From file"
    double Max = 1.0;
    double Min = 0.0;
    std::int32_t LayerIndex = 0;
    std::string FileName;
    std::string LayerDescription;  // shown only; not stored
};

// The drawing record (16 bytes).
struct TSSurfaceRecord {
    std::uint8_t Enabled = 1;
    std::uint8_t Visible = 1;
    std::uint8_t Smooth = 0;
    std::uint8_t Unused = 0;
    std::int32_t Lighting = 0;
    std::int32_t DrawMode = 3;
    std::int32_t GridStep = 1;
};
static_assert(sizeof(TSSurfaceRecord) == 16);

struct TSSurfaceWindowState {
    std::int32_t Left = -1;
    std::int32_t Top = -1;
    std::int32_t Pinned = 0;
    std::int32_t Page = 0;
    std::int32_t ChannelIndex = 0;
    std::int32_t CurrentDrawing = 0;
    std::int32_t CurrentRecord = 0;
    std::int32_t WindowOrder = 0;
    bool operator==(const TSSurfaceWindowState&) const = default;
};

// What an Apply has to do: Dimensions when the grid size changes, Changed
// when anything of the nodes does, Due the channels to compute again.
struct TSSurfaceApplyPlan {
    bool Dimensions = false;
    bool Changed = false;
    std::array<bool, 6> Due{};
    bool operator==(const TSSurfaceApplyPlan&) const = default;
};
// Same[i]: channel i's recipe is Source's; Stale[i]: its nodes were left
// unfinished by a failed Apply.
TSSurfaceApplyPlan PlanSurfaceApply(std::int32_t GridWidth, std::int32_t GridHeight, std::int32_t XCount,
                                    std::int32_t YCount, const std::array<bool, 6>& Same,
                                    const std::array<bool, 6>& Stale);
// Whether a surface can hold a grid of XCount x YCount nodes.
bool SurfaceGridFits(std::int32_t XCount, std::int32_t YCount);

class TSSurface3D_Depository final : public TSDepositoryCustomConstruction3D {
    S_CLASS(TSSurface3D_Depository)
public:
    static constexpr std::int32_t ChannelCount = 6;

    ~TSSurface3D_Depository() override;

    std::int32_t XCount = 0;
    std::int32_t YCount = 0;
    std::array<TSSurfaceChannel, ChannelCount> Channels;
    std::string ReflectionNote;
    double Attenuation[3] = {1.0, 0.0, 0.0};
    TSSurfaceWindowState State;

    TSSurface3D* Surface() const;
    TSCustomReflectionLaw* ReflectionLaw() const { return m_law; }
    // Takes Law (owned from now on); the old one is freed.
    void SetReflectionLaw(TSCustomReflectionLaw* Law);
    TSSurface3DForm* Form() const { return m_form; }
    void SetForm(TSSurface3DForm* Form) { m_form = Form; }
    bool Busy() const { return m_busy.load(); }
    void SetBusy(bool Value) { m_busy.store(Value); }
    bool Stale(std::int32_t Channel) const { return m_stale[std::size_t(Channel)]; }

    std::int32_t OpenEditor(TSParam Param) { return Edit(Param); }
    // Makes this depository and its surface match Source. Thread may be nil.
    virtual void ApplySettings(TSThread* Thread, TSSurface3D_Depository* Source);
    void TranslateLayer(TSThread* Thread, std::int32_t Channel);
    void ResampleLayer(TSThread* Thread, TSLayer* Layer, std::int32_t Channel);
    void MinMaxCorrection(TSThread* Thread, std::int32_t Channel);
    void LinearFill(TSThread* Thread, std::int32_t Channel);
    bool SameChannel(std::int32_t I, const TSSurface3D_Depository* Other) const;
    // The layer description of a "From file" channel from its file.
    void RefreshLayerText(std::int32_t Channel);

    // The job of the progress window: Params hold the working copy's address.
    void ApplyJob(TSThread* Thread, TSThreadParams* Params);
    // Starts the Apply job with Source (GUI thread); false when refused.
    bool StartApply(TSSurface3D_Depository* Source);
    // Asks a running Apply job to stop and waits until it has ended.
    void StopApply();
    bool ApplyRunning() const;

    std::int32_t Edit(TSParam Param) override;
    void ConstructionEvent(TObject* Sender, std::int32_t Code, TSParam Param) override;
    void DrawSystemEvent(TObject* Sender, std::int32_t Code, TSParam Param) override;
    void SetConstruction(TSCustomConstruction3D* Value) override;
    std::int32_t RecordSize() override { return 16; }
    void InitRecord(void* Data) override;
    bool CopyRecord(void* Dest, const void* Source) override;
    void ApplyRecord() override;

    void Initialize() override;
    void Assign(TPersistent* Source) override;
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;

    // Applies a job's end on the GUI thread (public for the job's message).
    void ApplyEnded(const std::string& Error, bool Aborted);

private:
    struct ApplyState {
        std::mutex Lock;
        std::condition_variable Ended;
        bool Running = false;
        TSThread* Thread = nullptr;
        TSSurface3D_Depository* Owner = nullptr;
    };

    void CreateForm(bool Visible);
    void FreeForm();
    void Progress(TSThread* Thread, const std::string& What, std::int32_t Channel, std::int32_t Rows);
    void CopyChannelFrom(std::int32_t I, const TSSurface3D_Depository* Source);

    TSCustomReflectionLaw* m_law = nullptr;
    TSSurface3DForm* m_form = nullptr;
    std::atomic<bool> m_busy{false};
    std::array<bool, ChannelCount> m_stale{};
    std::shared_ptr<ApplyState> m_apply;
};

// The surface's property window.
class TSSurface3DForm final : public QWidget {
public:
    TSSurface3DForm();
    ~TSSurface3DForm() override;

    TSSurface3D_Depository* Depository() const { return m_depository; }
    void SetDepository(TSSurface3D_Depository* Depository) { m_depository = Depository; }
    TSSurface3D_Depository* WorkingCopy() const { return m_workingCopy; }
    TSFlatCaption* Caption() const { return m_caption; }
    TSDepositoryComponent* Component() const { return m_component; }
    QTabWidget* PageControl() const { return m_pages; }
    QLineEdit* XEdit() const { return m_xEdit; }
    QLineEdit* YEdit() const { return m_yEdit; }
    QListWidget* LayerList() const { return m_layerList; }
    QButtonGroup* FillBox() const { return m_fillBox; }
    QLineEdit* MaxEdit() const { return m_maxEdit; }
    QLineEdit* MinEdit() const { return m_minEdit; }
    QLineEdit* FileText() const { return m_fileText; }
    QLineEdit* LayerText() const { return m_layerText; }
    QPushButton* FileBtn() const { return m_fileBtn; }
    QPushButton* LayerBtn() const { return m_layerBtn; }
    QCheckBox* EnabledBox() const { return m_enabledBox; }
    QCheckBox* VisibleBox() const { return m_visibleBox; }
    QCheckBox* SmoothBox() const { return m_smoothBox; }
    QComboBox* LightBox() const { return m_lightBox; }
    QComboBox* DrawBox() const { return m_drawBox; }
    QLineEdit* StepEdit() const { return m_stepEdit; }
    QLineEdit* AEdit(int I) const { return m_aEdits[I]; }
    QLineEdit* ReflectionEdit() const { return m_reflectionEdit; }
    QPlainTextEdit* ReflectionMemo() const { return m_reflectionMemo; }
    QPushButton* ChangeBtn() const { return m_changeBtn; }
    QPushButton* PropertiesBtn() const { return m_propertiesBtn; }
    QPushButton* CloseBtn() const { return m_closeBtn; }
    QPushButton* ApplyBtn() const { return m_applyBtn; }
    QPushButton* ResetBtn() const { return m_resetBtn; }

    void RestoreFormState(bool Visible);
    void ShowAll();
    void ShowGeneral();
    void ShowDrawing();
    void ShowAdditional();

    void ApplyBtnClick();
    void ResetBtnClick();
    void CloseBtnClick();
    void FileBtnClick();
    void LayerBtnClick();
    void ChangeBtnClick();
    void PropertiesBtnClick();
    // The depository lets go of the window: its state goes back into it.
    void Detach();
    // After an Apply job: unlocks, closes a hidden window, reports a failure.
    void JobEnded(const std::string& Error, bool Aborted);
    // Keeps the window's state in the working copy, lets go of the depository
    // and frees the window once the event loop runs.
    void CloseForGood();

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    bool Ignoring() const;
    TSSurfaceChannel* CurrentChannel() const;
    TSSurfaceRecord* CurrentRecord() const;
    void Changed();
    void IntegerEdited(QLineEdit* Edit);
    void RealEdited(QLineEdit* Edit);
    void FillChanged(int Id);
    void CheckChanged(QCheckBox* Box, std::size_t Offset);
    void LawEvent(TObject* Sender, std::int32_t Code, TSParam Param);

    TSSurface3D_Depository* m_depository = nullptr;
    TSSurface3D_Depository* m_workingCopy = nullptr;
    std::uint8_t m_updating = 0;
    TSFlatCaption* m_caption = nullptr;
    QTabWidget* m_pages = nullptr;
    QLineEdit* m_xEdit = nullptr;
    QLineEdit* m_yEdit = nullptr;
    QListWidget* m_layerList = nullptr;
    QButtonGroup* m_fillBox = nullptr;
    QLineEdit* m_maxEdit = nullptr;
    QLineEdit* m_minEdit = nullptr;
    QLineEdit* m_fileText = nullptr;
    QLineEdit* m_layerText = nullptr;
    QPushButton* m_fileBtn = nullptr;
    QPushButton* m_layerBtn = nullptr;
    QCheckBox* m_enabledBox = nullptr;
    QCheckBox* m_visibleBox = nullptr;
    QCheckBox* m_smoothBox = nullptr;
    QComboBox* m_lightBox = nullptr;
    QComboBox* m_drawBox = nullptr;
    QLineEdit* m_stepEdit = nullptr;
    TSDepositoryComponent* m_component = nullptr;
    QLineEdit* m_aEdits[3] = {};
    QLineEdit* m_reflectionEdit = nullptr;
    QPlainTextEdit* m_reflectionMemo = nullptr;
    QPushButton* m_changeBtn = nullptr;
    QPushButton* m_propertiesBtn = nullptr;
    QPushButton* m_closeBtn = nullptr;
    QPushButton* m_applyBtn = nullptr;
    QPushButton* m_resetBtn = nullptr;
};

// Start and end of the unit: the class and its depository registration.
void SSurface3DUnInitialization();
void SSurface3DUnFinalization();
