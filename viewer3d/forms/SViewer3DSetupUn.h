#pragma once
// The set-up window of one viewer's drawing system: image size, pixel format
// and index planes (applied on "Apply"), the transfer curve and source plane
// of each output colour, and the background and palette-ramp colours (both
// applied at once). Changes from elsewhere come back through the drawing
// system's events, posted to the window's handle.

#include "viewer3d/forms/SetupCurves.h"

#include "engine3d/model/SGeneral.h"
#include "platform/windows/WindowHandle.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class QTableWidget;
class TSCnv3DIITransformer;
class TSDrawingSystem3D;
class TSFlatCaption;
class TSObjectsStream;
class TSViewer3DSetup;

// Whether Apply rebuilds the canvas: a new size, an index plane switched on
// or off, or a disabled drawing system switched on.
struct TSSetupState {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    bool Planes[3] = {};
    bool Enabled = false;
};
bool SetupIsStructural(const TSSetupState& Canvas, const TSSetupState& Wanted);

// One curve editor's box: a back buffer the editor draws into at any time.
class TSCurveBox final : public QWidget, public TSCurveCanvas {
public:
    TSCurveBox(TSViewer3DSetup* Form, QWidget* Parent);

    const QImage& Buffer() const { return m_buffer; }
    void Line(TSIntPoint From, TSIntPoint To, std::int32_t Colour) override;
    void Text(std::int32_t Left, std::int32_t Top, std::int32_t Right, std::int32_t Bottom, const std::string& S,
              std::int32_t Colour) override;
    void Fill(std::int32_t Colour) override;
    std::int32_t Height() const override { return m_buffer.height(); }
    TSIntPoint TextSize() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    TSViewer3DSetup* m_form;
    QImage m_buffer;
};

class TSViewer3DSetup final : public QWidget {
public:
    static constexpr unsigned WM_DRAWINGSYSTEMEVENT = plat::WM_USER;

    TSViewer3DSetup();
    ~TSViewer3DSetup() override;

    TSFlatCaption* Caption() const { return m_caption; }
    void SetDrawingSystem(TSDrawingSystem3D* DrawingSystem);
    TSDrawingSystem3D* DrawingSystem() const { return m_drawingSystem; }
    void SetCaptionText(const std::string& Text);
    std::string CaptionText() const;
    bool Pinned() const;

    // 16 bytes: left, top, stacking order, flags (bit 0 visible, bit 1 pinned).
    std::int32_t SaveState(TSObjectsStream* Stream);
    std::int32_t LoadState(TSObjectsStream* Stream);

    // Controls, for tests.
    QTabWidget* PageControl() const { return m_pages; }
    QLineEdit* WidthEdit() const { return m_widthEdit; }
    QLineEdit* HeightEdit() const { return m_heightEdit; }
    QComboBox* ColorBox() const { return m_colorBox; }
    QLabel* DisplayLabel() const { return m_displayLabel; }
    QCheckBox* PlaneBox(int Index) const { return m_planeBoxes[Index]; }
    QCheckBox* VisibleBox(int Index) const { return m_visibleBoxes[Index]; }
    QCheckBox* EnabledBox() const { return m_enabledBox; }
    QPushButton* ApplyBtn() const { return m_applyBtn; }
    QPushButton* CancelBtn() const { return m_cancelBtn; }
    TSCurveBox* PaintBox(int Output) const { return m_boxes[Output - 1]; }
    QTableWidget* Grid(int Output) const { return m_grids[Output - 1]; }
    QComboBox* SourceBox(int Output) const { return m_sourceBoxes[Output - 1]; }
    QSlider* TrackBar(int Index) const { return m_trackBars[Index]; }
    QLineEdit* ColourEdit(int Index) const { return m_colourEdits[Index]; }
    QComboBox* ColorTypeBox() const { return m_colorTypeBox; }
    TSCnv3DIITransformer* EditCurve(int Output) const { return m_editCurves[Output - 1].get(); }
    TSCurveEditorCore& Editor() { return m_editor; }

    void UpdateDisplayLabel();
    void LoadPropertyPage();
    void Apply();
    void ApplyBtnClick();
    void CancelBtnClick();
    void LoadCurves();
    void ApplyCurves();
    void FillGrid(int Channel);
    void ComputeCurveLayout();
    TSCurveBox* ActivePaintBox() const;
    TSCnv3DIITransformer* ActiveCurve() const;
    void PaintBoxPaint(TSCurveBox* Sender);
    void PaintBoxMouseDown(bool Left, TSIntPoint P);
    void PaintBoxMouseMove(TSIntPoint P);
    void PaintBoxMouseUp();
    void LoadColours();
    void ApplyColour();
    void ColourEditChange(int Index);

protected:
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void RelayDrawingSystemEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    TSEventHandler Relay() { return TSEventHandler::Of<&TSViewer3DSetup::RelayDrawingSystemEvent>(this); }
    plat::LResult WMDrawingSystemEvent(plat::WParam Code, plat::LParam Param);
    void PropertyChanged();
    void ActivateEditor();
    void ReportFailure(const std::string& Text);

    TSDrawingSystem3D* m_drawingSystem = nullptr;
    std::uint8_t m_propertyLoading = 0;
    std::uint8_t m_curvesLoading = 0;
    std::uint8_t m_curvesApplying = 0;
    std::uint8_t m_coloursLoading = 0;
    std::unique_ptr<TSCnv3DIITransformer> m_editCurves[3];
    TSCurveEditorCore m_editor;
    plat::WindowHandle m_handle;

    TSFlatCaption* m_caption = nullptr;
    QTabWidget* m_pages = nullptr;
    QLineEdit* m_widthEdit = nullptr;
    QLineEdit* m_heightEdit = nullptr;
    QComboBox* m_colorBox = nullptr;
    QLabel* m_displayLabel = nullptr;
    QCheckBox* m_planeBoxes[3] = {};
    QCheckBox* m_visibleBoxes[3] = {};
    QCheckBox* m_enabledBox = nullptr;
    QPushButton* m_applyBtn = nullptr;
    QPushButton* m_cancelBtn = nullptr;
    TSCurveBox* m_boxes[3] = {};
    QTableWidget* m_grids[3] = {};
    QComboBox* m_sourceBoxes[3] = {};
    QSlider* m_trackBars[3] = {};
    QLineEdit* m_colourEdits[3] = {};
    QComboBox* m_colorTypeBox = nullptr;
};
