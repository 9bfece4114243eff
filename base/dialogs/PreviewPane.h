#pragma once
// The preview pane of the file dialog (child dialog 531): paints the 200 x 200 picture
// it was given, stretched over its client area; nothing while it has none.

#include <array>
#include <memory>

#include "platform/dialogs/Dialog.h"

class CPreviewPane final {
public:
    explicit CPreviewPane(QWidget* parent);
    // Owns no picture; its window belongs to the parent.
    CPreviewPane(const CPreviewPane&) = delete;
    CPreviewPane& operator=(const CPreviewPane&) = delete;

    // The picture to paint (bottom row first) and its colours; both must outlive their use.
    // Null rows: nothing is painted.
    void SetBitmap(const unsigned char* rows, const std::array<plat::ColorRef, 256>* colors);
    const unsigned char* Bitmap() const { return m_rows; }
    void Invalidate();

    plat::Dialog* Window() const { return m_window; }

private:
    void OnPaint(plat::DeviceContext& dc);

    plat::Dialog* m_window = nullptr;  // owned by the parent
    const unsigned char* m_rows = nullptr;
    const std::array<plat::ColorRef, 256>* m_colors = nullptr;
};
