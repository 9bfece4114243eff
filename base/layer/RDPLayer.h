#pragma once
// One layer of a raster layer file (or a temporary layer of raw samples) bound
// to memory. Samples are read and written in place through a table of row
// pointers; the tags of a file layer are read and written in the mapping.
//
// Rows and tags need not be aligned to their sample or field size: read and
// write them with memcpy (see SampleConvert.h), never through a typed pointer.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/paint/Geometry.h"
#include "format/SampleConvert.h"

class CMeterInfoBase;
class SampleTally;
namespace plat {
class ReplacingFile;
}

class CRDPLayer final {
public:
    explicit CRDPLayer(CMeterInfoBase* meter = nullptr);
    // Copies share the binding (mapping or heap block and the row table); it is
    // released once, when the last object holding it lets it go.
    CRDPLayer(const CRDPLayer&) = default;
    CRDPLayer& operator=(const CRDPLayer&) = default;
    // Closes the layer; a failure is reported, never thrown.
    ~CRDPLayer();

    void SetMeterInfo(CMeterInfoBase* meter) { m_pMeter = meter; }
    void ClearMeterInfo() { m_pMeter = nullptr; }

    // Binding. Each returns the row table (height pointers to the top-down,
    // unpadded rows) or NULL with the object left unbound. A file layer binds only
    // when the file's layer chain is whole and the payloads written in place lie
    // inside the file over nothing else of it (format/RDPLayerLayout.h).
    void** OpenLayer(const char* file, int writable);
    void** OpenLayerEx(const char* file, int layer, int writable);
    void** CreateTempLayer(int width, int height, int type);
    // A new one-layer file (replacing any file of that name once it is complete),
    // or a layer appended to a file (a new file when there is none; a file with a
    // layer that would not bind is left as it is), bound and finalised at close by
    // flags: bit 0 statistics, bit 1 preview (tag 4 is made), bit 2 minimum and
    // maximum. A failure removes what the call made.
    void** CreateLayer(const char* file, int width, int height, int type, int flags);
    void** AddLayer(const char* file, int width, int height, int type, int flags);
    // A new one-layer file written into the empty temporary of a replacing output
    // and bound there (FileName() is the temporary's path until the output is
    // committed; close the layer before that). Flags as for CreateLayer. NULL when
    // the layer cannot be made; the output's owner discards the temporary.
    void** CreateLayer(plat::ReplacingFile& out, int width, int height, int type, int flags);
    // Unbinds and takes the layer out of its file (the only layer: the file goes).
    // A layer bound read-only, or created in a replacing output (whose temporary goes
    // when the output is discarded), is only unbound.
    void DestroyLayer();

    // Fills the window of this layer at dstPos with the samples of src's window
    // at srcPos, each converted to this layer's type. size.cx -1 means this
    // layer's width and height. The window is cut to both layers; 1.
    int ReadData(CRDPLayer* src, CPoint srcPos, CPoint dstPos, CSize size);

    // Finalises a layer created here by its creation flags and unbinds;
    // 1, or 0 when nothing was bound.
    int CloseLayer();
    // Stores now what closing would compute for flags 4 (minimum and maximum) and 1
    // (statistics), from a finished tally of exactly the rows as they stand, and
    // spares the close those passes over the rows; the rows must not change
    // afterwards. False, with nothing changed, for a layer not created here or a
    // tally of another shape or missing rows: the close then computes as usual.
    bool TakeTally(SampleTally& tally);

    // Tags of a bound file layer, in the mapping. A tag that the path-based
    // SetTag appended, or moved to the end of the file, while the layer was bound
    // is found in a view of the file as it is now; the rows keep their view.
    void* GetTag(int tag);
    void* GetTag(int tag, int len, void* dst);
    int SetTag(int tag, int len, const void* src);

    // Statistics (tag 2). A temporary layer keeps only the minimum and maximum;
    // the others read 0 (HistAdr NULL) there and ignore writes. HistAdr answers an
    // aligned copy of the stored histogram, taken at the call (the tag may lie at
    // any offset of the file); SetHistogram writes it.
    double Min() const;
    double Max() const;
    double Mean() const;
    double StdDev() const;
    unsigned* HistAdr() const;
    int StatsReady() const;
    void SetMin(double v);
    void SetMax(double v);
    void SetMean(double v);
    void SetStdDev(double v);
    void SetStatsReady(int ready);

    // Statistics, preview, fills and row access. Rectangles have inclusive
    // right and bottom edges; NULL means the whole layer.
    int MaxMinCount(const RECT* rect);
    void StatsCalc();
    void SetHistogram(const unsigned* counts);
    void RescaleToPreview(unsigned char* buf);
    int SetValue(COMPLEX_FLOAT64 value, const RECT* rect);
    int SetValue(double value, const RECT* rect);
    int SetZero(const RECT* rect);
    void GetDoubleLine(int row, double* dst, unsigned part);
    void SetLineFromDouble(int row, const double* src, unsigned part);
    int IsComplex() const;
    // Deletes the display cache files of a raster file (this layer's file when
    // file is empty): which 0 both, 1 ".tmp", 2 ".tmf". 1 when one went.
    int DeleteTMP(int which, std::string file);

    // State of the binding.
    bool IsEmpty() const { return m_bEmpty != 0; }
    bool IsTemp() const { return m_bTemp != 0; }
    bool IsWritable() const { return m_bWritable; }
    int LayerNumber() const { return m_nLayer; }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int Type() const { return m_nType; }
    int HeaderReserved() const { return m_nHeaderReserved; }
    int SampleSize() const { return m_nSampleSize; }
    int64_t RowSize() const { return m_nRowSize; }
    int64_t TotalSize() const { return m_nTotalSize; }
    void** Rows() const { return m_ppRows; }
    unsigned char* Pixels() const { return m_pPixels; }
    // Tag 4's payload and its 200 x 200 (complex: two planes) bytes; NULL without.
    unsigned char* PreviewTag() const { return m_pPreviewTag; }
    unsigned char* PreviewBytes() const { return m_pPreview; }
    const std::string& FileName() const { return m_strFileName; }
    CMeterInfoBase* MeterInfo() const { return m_pMeter; }
    int CreationFlags() const { return m_nFlags; }

private:
    // Mean, deviation and histogram into the statistics tag, then the ready flag.
    void StoreValueStats(double mean, double stdDev, const uint32_t counts[256]);
    friend struct RDPLayerTestAccess;
    struct Binding;

    struct Span {
        int left, top, right, bottom;
        bool Empty() const { return left > right || top > bottom; }
    };

    void RequireBound() const;
    void RequireWritable() const;
    void RequireStatsTag() const;
    // True when bytes at p overlap one of the layer's views of its file.
    bool InMapping(const void* p, int64_t bytes) const;
    Span Clip(const RECT* rect) const;

    // What a binding shows the object: everything Bind sets and Unbind clears.
    struct View {
        int layer = 0;
        bool temp = false;
        bool writable = false;
        int width = 0;
        int height = 0;
        int type = -1;
        int headerReserved = 0;  // tag 0's fifth word
        int sampleSize = 0;
        unsigned char* header = nullptr;      // payload of tag 0
        unsigned char* stats = nullptr;       // payload of tag 2
        unsigned char* pixels = nullptr;      // the first sample
        unsigned char* previewTag = nullptr;  // payload of tag 4
        std::string fileName;
    };
    // Builds the row table over view's pixels and takes the binding; on failure
    // the object is left unbound (cause 7).
    void** Bind(std::shared_ptr<Binding> binding, View view);
    void Unbind();
    // The one place where the fields of a binding are set.
    void Take(std::shared_ptr<Binding> binding, View view);
    void** BindNewLayer(const char* file, int layer, int flags);
    double StatsDouble(int offset) const;
    void SetStatsDouble(int offset, double v);
    int FillRect(const RECT* rect, const unsigned char* sample);
    void FillSpan(const Span& span, const unsigned char* sample);

    std::shared_ptr<Binding> m_binding;

    int m_nLayer = 0;
    int m_bEmpty = 1;
    int m_bCreated = 0;
    int m_bTemp = 0;
    int m_nFlags = 0;  // bit 0 statistics, bit 1 preview, bit 2 minimum and maximum at close
    bool m_bWritable = false;
    bool m_bInOutput = false;  // created in a replacing output's temporary

    CMeterInfoBase* m_pMeter = nullptr;
    unsigned char* m_pStats = nullptr;  // payload of tag 2
    mutable unsigned m_histogramCopy[256] = {};  // what HistAdr hands out
    double m_dOwnMin = 0.0;             // temporary layers only
    double m_dOwnMax = 0.0;
    unsigned char* m_pHeader = nullptr;  // payload of tag 0

    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nType = -1;
    int m_nHeaderReserved = 0;

    unsigned char* m_pPixels = nullptr;
    void** m_ppRows = nullptr;
    unsigned char* m_pPreviewTag = nullptr;
    unsigned char* m_pPreview = nullptr;
    std::string m_strFileName;

    int m_nSampleSize = 0;
    int64_t m_nRowSize = 0;
    int64_t m_nTotalSize = 0;
};
