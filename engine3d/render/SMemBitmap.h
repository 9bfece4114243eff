#pragma once
// The drawing system's off-screen image: a bottom-up bitmap of one of seven
// pixel formats in one anonymous pixel buffer that grows and shrinks in 512 KB
// steps, with a 256-entry palette, saved as a Windows bitmap file.
//
// Size, format and palette change under the object's lock; the pixel buffer
// changes under the paint lock (Canvas) as well, which whoever copies the
// pixels out (the viewer window) holds meanwhile. Bits changes with every
// recreation: read it again after a change.

#include "engine3d/model/SGeneral.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// 0 none, 1 8-bit palette, 2 15-bit 5-5-5, 3 16-bit 5-6-5, 4 24-bit, 5 32-bit
// 8-8-8, 6 32-bit 11-11-10.
using TSPixelFormat = std::int32_t;
inline constexpr TSPixelFormat kPixelFormatCount = 7;

struct TSPaletteEntry {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    std::uint8_t Flags = 0;
};

struct TSPalette {
    std::array<TSPaletteEntry, 256> Entries{};
};

// The header of the pixels as a bitmap file carries it (40 bytes).
struct TSBitmapInfoHeader {
    std::uint32_t Size = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint16_t Planes = 0;
    std::uint16_t BitCount = 0;
    std::uint32_t Compression = 0;
    std::uint32_t SizeImage = 0;
    std::int32_t XPelsPerMeter = 0;
    std::int32_t YPelsPerMeter = 0;
    std::uint32_t ClrUsed = 0;
    std::uint32_t ClrImportant = 0;
};
static_assert(sizeof(TSBitmapInfoHeader) == 40);

inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiBitfields = 3;
// The header, 256 colour-table entries and one more 32-bit value.
inline constexpr std::size_t kBitmapInfoBytes = 40 + 256 * 4 + 4;

// The lock of the pixels, held by whoever paints them out.
class TSBitmapCanvas final {
public:
    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }
    void lock() const { Lock(); }
    void unlock() const { Unlock(); }
    bool try_lock() const { return m_lock.try_lock(); }

private:
    mutable std::recursive_mutex m_lock;
};

// Events of SaveToFile, before and after the file is written.
enum TSMemoryBitmapEvent : std::int32_t {
    ecBitmapSaving = ecClassCodes,
    ecBitmapSaved,
};

class TSMemoryBitmap : public TSCustomChangeObject {
    S_CLASS(TSMemoryBitmap)
public:
    ~TSMemoryBitmap() override;

    void Initialize() override;
    // Takes another bitmap's palette, format, size and pixels; anything else
    // (nullptr too) is ignored.
    void Assign(TPersistent* Source) override;
    // Writes the bitmap file through a temporary beside the target. A bitmap
    // that is changing or has no picture is refused with EInvalidOperation
    // "... Can't save : Busy" or "... : Invalid Value"; the target is then
    // untouched. File errors raise EOSError.
    virtual void SaveToFile(const std::string& FileName);

    // Negative sizes are ignored. A buffer above 2^31 - 1 bytes is refused
    // with EOutOfMemory and leaves the bitmap without pixels.
    void SetSize(std::int32_t Width, std::int32_t Height);
    // Formats outside 0..6 are ignored.
    void SetPixelFormat(TSPixelFormat Format);
    // 0 width, 1 height, 0 for other values.
    std::int32_t GetDimension(std::int32_t Which) const;
    // Bytes per row, padded to 4, and of the whole image.
    std::int64_t GetRowBytes() const;
    std::int64_t GetImageSize() const;
    // nullptr drops the bitmap's palette; another palette is copied.
    void CopyPalette(const TSPalette* Palette);
    // Entries Start .. Start + Count - 1 (cut at 255); makes a black palette
    // first when there is none. In format 1 the colour table follows.
    void SetPaletteEntries(std::int32_t Start, std::int32_t Count, const TSPaletteEntry* Entries);

    void* Bits() const { return m_bits; }
    const TSPalette* Palette() const { return m_palette.get(); }
    TSPixelFormat PixelFormat() const { return m_pixelFormat; }
    const TSBitmapCanvas& Canvas() const { return m_canvas; }
    // The header followed by the colour table or masks, as the file has them.
    const std::uint8_t* Info() const { return m_info.data(); }
    const TSBitmapInfoHeader& Header() const { return *reinterpret_cast<const TSBitmapInfoHeader*>(m_info.data()); }
    std::int64_t MappingSize() const { return m_mappingSize; }

protected:
    void CreateSection(std::int32_t Width, std::int32_t Height, TSPixelFormat Format);
    void FreeSection();
    void SetMappingSize(std::int64_t Bytes);
    void SetPalette(std::unique_ptr<TSPalette> Palette);

private:
    TSBitmapInfoHeader& MutableHeader() { return *reinterpret_cast<TSBitmapInfoHeader*>(m_info.data()); }
    std::uint32_t* ColorArea() { return reinterpret_cast<std::uint32_t*>(m_info.data() + 40); }

    alignas(4) std::array<std::uint8_t, kBitmapInfoBytes> m_info{};
    void* m_mapping = nullptr;
    std::int64_t m_mappingSize = 0;
    std::unique_ptr<TSPalette> m_palette;
    TSPixelFormat m_pixelFormat = 0;
    void* m_bits = nullptr;
    TSBitmapCanvas m_canvas;
};

// Bits per pixel of a format; 0 outside 0..6.
std::int32_t PixelFormatBits(TSPixelFormat Format);
// The format of a screen of that depth: 8 -> 1, 15 -> 2, 16 -> 3, 24 -> 4,
// 32 -> 5, others 0.
TSPixelFormat PixelFormatOfDepth(std::int32_t BitsPerPixel);
// Palette entries as colour-table quads (blue, green, red, fourth byte kept);
// without a palette the quads turn black.
void PaletteToRGBQuads(const TSPalette* Palette, std::int32_t Start, std::int32_t Count, std::uint8_t* Dest);
