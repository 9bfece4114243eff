#pragma once
// The window that shows a drawing system's picture below its caption strip,
// keeps its client area as large as the image, saves the picture as a bitmap
// file and keeps its place and state in the project file; the drawing
// system's command routine and the popup entries "Setup..." and
// "Select Camera...".

#include "viewer3d/drawing/SDrawing3D.h"

#include "engine3d/model/SInterface.h"
#include "platform/windows/WindowHandle.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>

class QAction;
class QLabel;
class TSFlatCaption;
class TSViewer3DSetup;

class TSViewer3D final : public QWidget, public TSViewerLink {
public:
    TSFlatCaption* Caption() const { return m_caption; }
    TSViewer3D();
    ~TSViewer3D() override;

    void SetDrawingSystem(TSDrawingSystem3D* DrawingSystem);
    TSDrawingSystem3D* DrawingSystem() const { return m_drawingSystem; }
    void ShowSetup();
    void HideSetup();
    void UpdateCaption();
    // Asks for a file name and writes the picture there (".bmp" added to a
    // name without extension); refused with a box while the drawing system
    // updates.
    void SaveBitmap();
    // 24 bytes, then the set-up form's 16.
    std::int32_t SaveState(TSObjectsStream* Stream) override;
    std::int32_t LoadState(TSObjectsStream* Stream) override;
    void ShowViewer() override;

    plat::WindowHandle Handle() const { return m_handle; }
    TSViewer3DSetup* SetupForm() const { return m_setupForm; }
    std::string CaptionText() const;
    QAction* SaveAction() const { return m_saveAction; }
    QAction* SetupAction() const { return m_setupAction; }

    // Messages from the drawing system: WM_USER with an event code.
    void WMDrawingSystemEvent(std::int32_t Code, TSParam Param);
    void FitToImage();

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    TSFlatCaption* m_caption = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_setupAction = nullptr;
    TSViewer3DSetup* m_setupForm = nullptr;
    bool m_setupVisible = false;
    TSDrawingSystem3D* m_drawingSystem = nullptr;
    bool m_fitting = false;
    bool m_opened = false;
    bool m_destroying = false;
    plat::WindowHandle m_handle;
};

// Where the popup entries of the drawing system's node act: the viewer of the
// most recently built popup menu.
class TInternal_SetupMenuClickObject final {
public:
    QPointer<TSViewer3D> Viewer;
    TObject* Project = nullptr;

    void SetupClick();
    void SelectCameraClick();
};
TInternal_SetupMenuClickObject* SetupMenuClickObject();

// The interface routine of TSDrawingSystem3D: open (1) shows the viewer,
// the popup menu (11) gets "Setup..." and "Select Camera..." after "Open".
std::int32_t DrawingSystemCommand(TSCommandRecord* Record);

// Start and end of the unit: the click object, the routine and the windows of
// new drawing systems.
void SViewer3DUnInitialization();
void SViewer3DUnFinalization();
