#pragma once
// Copies of the window pixels under thin axis-parallel lines, so that an overlay drawn
// in ordinary colours can be taken off again. A horizontal strip is one row of a wide
// image, a vertical strip one column of a tall image; the caller numbers the strips.

#include <memory>
#include <vector>

#include "platform/paint/DeviceContext.h"
#include "platform/paint/Geometry.h"
#include "platform/windows/WindowHandle.h"

class CSaveUnder final {
public:
    CSaveUnder() = default;
    ~CSaveUnder();

    // Owns its strip images: neither copied nor moved.
    CSaveUnder(const CSaveUnder&) = delete;
    CSaveUnder& operator=(const CSaveUnder&) = delete;

    // Strips for the window (a BufferedWindow): nWidth x nHorz and nVert x nHeight, the
    // sizes defaulting to the virtual desktop. Non-zero when both images exist; after a
    // failure nothing is held, and saving and restoring do nothing.
    int Init(plat::WindowHandle pWnd, int nHorz, int nVert, int nWidth = 0, int nHeight = 0);
    void Free();

    // A strip number outside the strips of its kind is ignored.
    void SaveLine(int n, int x1, int y1, int x2, int y2);
    // Copies strip n back if it holds saved pixels.
    void RestoreLine(int n, int x1, int y1, int x2, int y2);
    // Each entry is horizontal or vertical by its own coordinates, whichever list it is in.
    void SaveLines(int nHorz, const int* horzNumbers, const CPoint* horzFrom, const CPoint* horzTo, int nVert,
                   const int* vertNumbers, const CPoint* vertFrom, const CPoint* vertTo);
    void RestoreLines(int nHorz, const int* horzNumbers, const CPoint* horzFrom, const CPoint* horzTo, int nVert,
                      const int* vertNumbers, const CPoint* vertFrom, const CPoint* vertTo);

    // Whether strip n of a kind holds saved pixels.
    bool IsSaved(bool horizontal, int n) const;
    int Width() const { return m_cxLimit; }
    int Height() const { return m_cyLimit; }

private:
    enum class Op {
        Save,
        Restore
    };

    struct Line {
        int x1, y1, x2, y2;
        bool vertical;
    };
    // Puts the ends in order and cuts the line to the strip size; false when nothing is left
    // or the line is neither horizontal nor vertical.
    bool Normalise(int x1, int y1, int x2, int y2, Line& line) const;
    void Apply(Op op, plat::DeviceContext& wnd, int n, int x1, int y1, int x2, int y2);
    void ApplyList(Op op, int count, const int* numbers, const CPoint* from, const CPoint* to,
                   plat::DeviceContext& wnd);
    void ApplyLists(Op op, int nHorz, const int* horzNumbers, const CPoint* horzFrom, const CPoint* horzTo, int nVert,
                    const int* vertNumbers, const CPoint* vertFrom, const CPoint* vertTo);
    std::unique_ptr<plat::DeviceContext> WindowDC() const;

    plat::WindowHandle m_pWnd;
    std::unique_ptr<plat::DeviceContext> m_hbmHorz;
    std::unique_ptr<plat::DeviceContext> m_hbmVert;
    std::vector<int> m_vertSaved;
    std::vector<int> m_horzSaved;
    int m_nHorz = 0;
    int m_nVert = 0;
    int m_cyLimit = 0;
    int m_cxLimit = 0;
};
