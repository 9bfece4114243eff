#pragma once
// A vector overlay of a raster layer: numbered layers, each with a colour, a chain of
// points and a chain of polylines in image coordinates (float32). Everything lives in
// one growable block whose bytes are the payload of tag 500 of the raster layer file:
//
//   0   int32 used size (written at save)      12  int32 number of layers N
//   4   int32 copy flag, 0                     16  int32 used size, kept while editing
//   8   int32 reserved, 0                      20  N layer records of 28 bytes, then
//                                                  the point and line records
//
// Links are offsets from the block start (0: none) in memory as in the file, so the
// block is saved as it is and growth moves no link. Pointers handed out by the
// iteration calls are valid until the next call that adds to the block.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/paint/Geometry.h"
#include "platform/paint/SysColors.h"

namespace plat {
class BufferedWindow;
class DeviceContext;
}  // namespace plat

inline constexpr int kVectorTagNumber = 500;

struct VectorVertex {
    float x = 0.0f;
    float y = 0.0f;
};

class CVectorImage final {
public:
    // Records as the block holds them (little-endian, 4-byte fields).
    struct Point {
        float x = 0.0f;
        float y = 0.0f;
        std::int32_t next = 0;  // offset of the layer's next point
    };
    // n vertices follow the 8-byte header.
    struct Line {
        std::int32_t n = 0;
        std::int32_t next = 0;  // offset of the layer's next line
        VectorVertex* Vertices() { return reinterpret_cast<VectorVertex*>(this + 1); }
        const VectorVertex* Vertices() const { return reinterpret_cast<const VectorVertex*>(this + 1); }
    };
    // A line held by a caller for Add: the header with its vertices behind it.
    class LineRecord final {
    public:
        explicit LineRecord(const std::vector<VectorVertex>& vertices);
        Line& Get() { return *reinterpret_cast<Line*>(m_words.data()); }

    private:
        std::vector<std::int32_t> m_words;
    };

    static constexpr int kHeaderSize = 20;
    static constexpr int kLayerRecordSize = 28;
    static constexpr int kPointSize = 12;
    static constexpr int kDefaultSize = 0x80000;  // also the growth step

    explicit CVectorImage(plat::BufferedWindow* pWnd = nullptr);
    ~CVectorImage();
    // Owns its block: neither copied nor moved.
    CVectorImage(const CVectorImage&) = delete;
    CVectorImage& operator=(const CVectorImage&) = delete;

    int IsOpen() const { return m_bOpen; }
    int GetNumLayer() const { return m_nLayers; }
    // Why the last refused Open, Save or addition was refused (a successful Open or Save
    // clears it).
    const std::string& GetReason() const { return m_strReason; }
    const std::string& GetFileName() const { return m_strFile; }

    // A new empty block of size bytes (0: the default size) for file; 0 when a block is held.
    int Create(const char* file, int size = 0);
    // Tag 500 of file, checked whole before anything is taken; 0 leaves the object as it was.
    int Open(const char* file);
    // The same for a payload of tag 500 already in memory (size bytes), kept for file.
    int OpenBytes(const void* data, int size, const char* file);
    // Writes the block as tag 500 of the file and gives it up; 0 keeps it held.
    int Save();
    void Destroy();

    // 1, or 0 with nothing changed (no block, or the block cannot grow).
    int AddLayer(plat::ColorRef colour);
    // Append a copy to the layer; nothing happens for no block, a layer out of range, a
    // line of fewer than one vertex or a block that cannot grow. Always 0.
    int Add(int layer, const Point& p);
    int Add(int layer, const Line& l);

    plat::ColorRef GetColor(int layer) const;
    void SetColor(int layer, plat::ColorRef colour);
    // mode 0 hides the layer when all layers are painted; layer -1: every layer.
    void SetPaintMode(int mode, int layer);
    int GetPaintMode(int layer) const;

    // zoom: image pixels per window pixel; origin: the image point at the window's
    // top-left. layer -1 paints every layer whose mode is not 0, else that layer.
    int Paint(plat::DeviceContext* pDC, double zoom, CPoint origin, int layer);
    // The same into the window's back buffer, shown at once.
    int Paint(double zoom, CPoint origin, int layer);

    Point* SetFirstPoint(int layer);
    Line* SetFirstLine(int layer);
    Point* GetNextPoint();
    Line* GetNextLine();
    int LayerIsEmpty(int layer) const;

    // Bytes of the block in use; 0 when none is held.
    int GetUsedSize() const;

private:
    struct LayerRecord;

    LayerRecord* Layer(int layer) const;
    bool HasLayer(int layer) const { return m_bOpen && layer >= 0 && layer < m_nLayers; }
    int Take(std::unique_ptr<unsigned char[]> block, std::int64_t alloc, int stored, const char* file);
    int Resize(int size);
    bool Reserve(std::int64_t bytes);
    unsigned char* Append(std::int64_t bytes);
    void SetUsedSize(std::int64_t used);
    void PaintOneLayer(plat::DeviceContext& dc, double zoom, CPoint origin, int layer);

    plat::BufferedWindow* m_pWnd = nullptr;
    int m_bOpen = 0;
    std::string m_strFile;
    std::unique_ptr<unsigned char[]> m_pBlock;
    unsigned char* m_pEnd = nullptr;  // first free byte
    int m_nAlloc = 0;
    std::int32_t m_nCurPoint = 0;  // iteration positions (offsets)
    std::int32_t m_nCurLine = 0;
    int m_nLayers = 0;
    std::vector<int> m_PaintMode = std::vector<int>(10, 0);
    std::string m_strReason;
};
