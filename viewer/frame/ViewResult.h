#pragma once
// What another library hands the viewer library to have results shown: the arguments
// of one viewer, a counted array of them, and the openers that make viewers from them.
// The openers run on the GUI thread; each viewer lives until its user closes it.

#include <memory>
#include <string>

#include "platform/paint/Geometry.h"
#include "platform/windows/WindowHandle.h"

class CFrameViewer;

struct ViewResultParam {
    plat::WindowHandle pOwner;    // host of the notices; null: none
    int nID = 0;                  // sent back with ready and failed
    int nPhaseMode = 0;           // complex samples: 0 amplitude, else phase
    float fSigma = 2.0f;          // dispersion width in standard deviations
    int nStretchType = 0;         // 0 Auto, 1 None, 2 Double Dispersion, 3 Selected Dispersion
    std::string strFileName;      // empty: an empty viewer
    const RECT* pRect = nullptr;  // the caller's; null: the default placement
};

class ViewMultiResultParam final {
public:
    ViewMultiResultParam() = default;
    ~ViewMultiResultParam() = default;
    // One owner of the entries: moved, never copied.
    ViewMultiResultParam(const ViewMultiResultParam&) = delete;
    ViewMultiResultParam& operator=(const ViewMultiResultParam&) = delete;
    ViewMultiResultParam(ViewMultiResultParam&& other) noexcept;
    ViewMultiResultParam& operator=(ViewMultiResultParam&& other) noexcept;

    // n default entries in place of the old ones: 1, or 0 (and no entries) when they
    // cannot be had.
    int MakeParam(int n);
    // Entry i, or null outside 0 .. count - 1.
    ViewResultParam* operator[](int i);
    int GetCount() const { return m_nCount; }

private:
    int m_nCount = 0;
    std::unique_ptr<ViewResultParam[]> m_pParams;
};

// Opens one viewer from param (made with new) and frees param.
void ViewResultFunction(void* param);
// Opens one viewer from param, which stays the caller's; null when its window could not
// be made.
CFrameViewer* ViewerCreate(const ViewResultParam* param);
// A job's completion: one viewer per entry of param (a ViewMultiResultParam made with
// new), then frees param.
void ViewMultiResultFunction(void* param);
