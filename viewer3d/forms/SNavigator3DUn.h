#pragma once
// "Navigator 3D": a project object whose window places one frame (the slave)
// relative to another (the master) by coordinates, distance and angles, with
// auto-repeating steppers and mouse turns over a live wire-frame preview.

#include "viewer3d/forms/NavigatorRelation.h"
#include "viewer3d/forms/NavigatorState.h"
#include "viewer3d/forms/StringResource.h"

#include "engine3d/model/SGeneral.h"
#include "platform/windows/WindowHandle.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSlider;
class QTimer;
class QToolButton;
class THalcyte3DProject;
class TSBasis3D;
class TSCustomConstruction3DList;
class TSDrawingSystem3D;
class TSFlatCaption;
class TSNavigator3D;
class TSSimpleScene3D;
class TSTiesConstruction3D;

// The project object that owns the navigator window and saves its state.
class TSNavigator3DContainerObject : public TSCustomChangeObject {
    S_CLASS(TSNavigator3DContainerObject)
public:
    ~TSNavigator3DContainerObject() override;

    TSNavigator3D* Window() const { return m_window; }

    void Initialize() override;
    // The inherited data, then the navigator's 32-byte state record.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;
    // 4098 with the container itself shows the window.
    std::int32_t Process(std::int32_t Code, TSParam Param) override;
    void Changed() override;

private:
    TSNavigator3D* m_window = nullptr;
    // Frame identities read by Load, until Link.
    std::uint32_t m_savedMaster = 0;
    std::uint32_t m_savedSlave = 0;
};

class TSNavigator3D final : public QWidget {
public:
    // Edits by tag: 1 X, 2 Y, 3 Z, 4 alpha, 5 beta, 6 gamma, 7 distance.
    static constexpr int kEditCount = 7;
    // The preview box.
    static constexpr int kPreviewSize = 160;

    explicit TSNavigator3D(TSNavigator3DContainerObject* Container);
    ~TSNavigator3D() override;

    TSNavigator3DContainerObject* Container() const { return m_container; }
    TSBasis3D* Master() const { return m_master; }
    TSBasis3D* Slave() const { return m_slave; }
    const TSNavigatorRelation& Relation() const { return m_relation; }
    TSSimpleScene3D* Scene() const { return m_scene; }
    TSDrawingSystem3D* PreviewDrawing() const { return m_drawing; }
    TSCustomConstruction3DList* DialList() const { return m_dialList; }
    TSCustomConstruction3DList* ReperList() const { return m_reperList; }
    plat::WindowHandle Handle() const { return m_handle; }

    // A frame that is already the other end is refused; nullptr clears.
    void SetMaster(TSBasis3D* Frame);
    void SetSlave(TSBasis3D* Frame);
    void ReadRelation();
    // Writes the relation into the slave frame.
    void ApplyToSlave();
    void UpdatePreviewFrame();
    void RefreshControls();
    void SetDistance(double D);
    // Auto-repeat of edit Index (1 to 7) by Step; On false stops it.
    void SetRepeat(std::int32_t Index, bool On, double Step);
    // One tick of the auto-repeat.
    void RepeatStep();
    bool Repeating() const;
    std::int32_t RepeatCount() const { return m_repeatCount; }
    // Picks the master or slave frame from the project's tree.
    void PickMaster();
    void PickSlave();

    // The state record, as the container saves and loads it.
    TSNavigatorState SaveState();
    void LoadState(const TSNavigatorState& State);
    void LinkState(TSBasis3D* Master, TSBasis3D* Slave, TObject* Project);
    void SetCaptionText(const std::string& Text);
    // The client size that shows or hides the report.
    void FitToMemo();
    int Convention() const;

    // Controls, for the program's tests.
    QLineEdit* Edit(int Tag) const { return m_edits[Tag - 1]; }
    QToolButton* SpeedButton(int Tag) const { return m_speed[Tag - 1]; }
    QWidget* PaintBox() const { return m_paintBox; }
    QAbstractButton* ConventionButton(int Convention) const { return m_convention[Convention - 1]; }
    QSlider* IncBar() const { return m_incBar; }
    QLabel* IncLabel() const { return m_incLabel; }
    QLabel* MasterLabel() const { return m_masterLabel; }
    QLabel* SlaveLabel() const { return m_slaveLabel; }
    QToolButton* MasterBtn() const { return m_masterBtn; }
    QToolButton* SlaveBtn() const { return m_slaveBtn; }
    QToolButton* MinusBtn() const { return m_minusBtn; }
    QToolButton* PlusBtn() const { return m_plusBtn; }
    QToolButton* MSBtn() const { return m_msBtn; }
    QToolButton* FixerBtn() const { return m_fixerBtn; }
    QToolButton* InverseBtn() const { return m_inverseBtn; }
    QToolButton* ApplyBtn() const { return m_applyBtn; }
    QToolButton* ResetBtn() const { return m_resetBtn; }
    QToolButton* MoreBtn() const { return m_moreBtn; }
    QPlainTextEdit* MoreMemo() const { return m_memo; }
    QTimer* Timer1() const { return m_timer; }
    TSFlatCaption* Caption() const { return m_caption; }
    const TStringResource& ReperData() const { return m_reperData; }
    const TStringResource& DialData() const { return m_dialData; }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    class PreviewBox;
    friend class PreviewBox;

    void BuildControls();
    void BuildPreview();
    void BuildPreviewModels();
    // Runs Body; an error goes to the error box (a cancellation stays silent).
    void Guarded(const std::function<void()>& Body);
    void EditChanged(int Tag);
    void SpeedPressed(int Tag);
    void IncBarChanged(int Position);
    void InverseClicked();
    void FixerClicked();
    void MSClicked();
    void MoreClicked();
    void ScaleDistance(double Factor);
    void PreviewPress(QPoint At);
    void PreviewMove(QPoint At);
    void PreviewRelease();
    // Ends a drag; the project then redraws everything in ordinary mode.
    void SetDragging(bool On);
    void RedrawProject();
    void SetProjectMode(std::uint8_t Mode);
    THalcyte3DProject* CurrentProject() const;
    void FrameEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    void FrameMessage(std::int32_t Code, TSBasis3D* Frame);
    void SetFrame(TSBasis3D*& Field, TSBasis3D* Other, TSBasis3D* Frame);
    void ShowFrameNames();
    void PaintPreview(QWidget* Box);
    void SyncToggles();

    TSNavigator3DContainerObject* m_container = nullptr;
    TSSimpleScene3D* m_scene = nullptr;
    TSDrawingSystem3D* m_drawing = nullptr;
    TSBasis3D* m_master = nullptr;
    TSBasis3D* m_slave = nullptr;
    TSCustomConstruction3DList* m_dialList = nullptr;
    TSCustomConstruction3DList* m_reperList = nullptr;
    TSNavigatorRelation m_relation;
    double m_repeatDelta = 0;
    std::int32_t m_repeatIndex = 0;
    std::int32_t m_repeatCount = 0;
    bool m_refreshing = false;
    bool m_anglesLive = true;
    bool m_applyingToSlave = false;
    bool m_destroying = false;
    QPoint m_savedPosition;
    std::int32_t m_savedOrder = 0;
    plat::WindowHandle m_handle;
    TStringResource m_reperData;
    TStringResource m_dialData;

    TSFlatCaption* m_caption = nullptr;
    QFrame* m_bevel = nullptr;
    QWidget* m_paintBox = nullptr;
    QWidget* m_paintBox2 = nullptr;
    QLabel* m_masterLabel = nullptr;
    QLabel* m_slaveLabel = nullptr;
    QToolButton* m_masterBtn = nullptr;
    QToolButton* m_slaveBtn = nullptr;
    QLineEdit* m_edits[kEditCount] = {};
    QToolButton* m_speed[2 * kEditCount] = {};
    QAbstractButton* m_convention[3] = {};
    QButtonGroup* m_conventionGroup = nullptr;
    QSlider* m_incBar = nullptr;
    QLabel* m_incLabel = nullptr;
    QToolButton* m_minusBtn = nullptr;
    QToolButton* m_plusBtn = nullptr;
    QToolButton* m_msBtn = nullptr;
    QToolButton* m_fixerBtn = nullptr;
    QToolButton* m_inverseBtn = nullptr;
    QToolButton* m_applyBtn = nullptr;
    QToolButton* m_resetBtn = nullptr;
    QToolButton* m_moreBtn = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QTimer* m_timer = nullptr;
};

// Start and end of the unit: the container class, its caption and its entry
// "Standart Objects" / "Navigator 3D" among the custom objects.
void SNavigator3DUnInitialization();
void SNavigator3DUnFinalization();
