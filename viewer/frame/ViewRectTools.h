#pragma once
// What the viewer frame asks of its image window beyond loading, zoom and the status
// read-out: the active layer's display settings, the selection overlay, the
// cross-hair, the pixel value text and the saving of the picture. The overlay and the
// cross-hair of the image window live here, bound to its handle.

#include <memory>
#include <string>

#include "Geometry.h"

class CViewRect;
class CVirtualView;
class CFrame;
class CCrossPointer;

class CViewRectTools final {
public:
    explicit CViewRectTools(CViewRect& view);
    ~CViewRectTools();
    // Bound to one image window: neither copied nor moved.
    CViewRectTools(const CViewRectTools&) = delete;
    CViewRectTools& operator=(const CViewRectTools&) = delete;

    CVirtualView* Active() const;
    // Redraws the image window at once, the active layer's picture extracted anew.
    void Redraw();

    // mode 1 brightness of a single band; 3, 4, 5 the level of red, green, blue.
    void SetBrightness(int value, int mode);
    void SetContrast(int value);
    void Equalize();

    CFrame* GetFrame() const { return m_pFrame.get(); }
    // The default frame in the middle of the view, or none.
    void ShowFrame(bool show);

    void ShowPointer(bool show);
    bool IsPointerShown() const;
    // The cross-hair's image pixel.
    CPoint PointerImagePos() const;
    // Brings image pixel (x, y) into view and puts the cross-hair on it.
    void MovePointer(int x, int y);

    // The active layer's value text at image pixel (x, y).
    std::string ValueText(int x, int y) const;

    // The framed region of the active layer into a file of its own.
    void SaveSegment();

private:
    CViewRect& m_view;
    std::unique_ptr<CFrame> m_pFrame;
    std::unique_ptr<CCrossPointer> m_pPointer;
};
