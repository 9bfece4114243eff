#pragma once
// The viewer's set-up window. For now a plain window that keeps its place,
// stacking order and flags in the viewer's state record; its pages come later.

#include <QWidget>

#include <cstdint>
#include <string>

class QLabel;
class TSFlatCaption;
class TSDrawingSystem3D;
class TSObjectsStream;

class TSViewer3DSetup final : public QWidget {
public:
    TSFlatCaption* Caption() const { return m_caption; }
    TSViewer3DSetup();
    ~TSViewer3DSetup() override = default;

    void SetDrawingSystem(TSDrawingSystem3D* DrawingSystem) { m_drawingSystem = DrawingSystem; }
    TSDrawingSystem3D* DrawingSystem() const { return m_drawingSystem; }
    void SetCaptionText(const std::string& Text);
    std::string CaptionText() const;
    bool Pinned() const;

    // 16 bytes: left, top, stacking order, flags (bit 0 visible, bit 1 pinned).
    std::int32_t SaveState(TSObjectsStream* Stream);
    std::int32_t LoadState(TSObjectsStream* Stream);

private:
    TSFlatCaption* m_caption = nullptr;
    TSDrawingSystem3D* m_drawingSystem = nullptr;
};
