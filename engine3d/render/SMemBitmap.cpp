#include "engine3d/render/SMemBitmap.h"

#include "engine3d/model/PlatformCall.h"

#include "platform/errors/Exception.h"
#include "platform/files/ReplacingFile.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

constexpr std::int64_t kMappingStep = 0x80000;

struct TFormatRow {
    std::uint16_t Bits;
    std::uint32_t Compression;
    std::uint32_t Masks[3];
};

const TFormatRow kFormats[kPixelFormatCount] = {
    {0, kBiRgb, {0, 0, 0}},
    {8, kBiRgb, {0, 0, 0}},
    {16, kBiRgb, {0, 0, 0}},
    {16, kBiBitfields, {0xF800, 0x07E0, 0x001F}},
    {24, kBiRgb, {0, 0, 0}},
    {32, kBiBitfields, {0xFF0000, 0xFF00, 0xFF}},
    {32, kBiBitfields, {0xFFE00000, 0x1FFC00, 0x3FF}},
};

bool ValidFormat(TSPixelFormat Format)
{
    return Format >= 0 && Format < kPixelFormatCount;
}

// Bytes of the info block that a saved file carries.
std::size_t SavedInfoBytes(TSPixelFormat Format)
{
    if (Format == 1)
        return 40 + 256 * 4;
    if (kFormats[Format].Compression == kBiBitfields)
        return 40 + 16;
    return 40 + 4;
}

template <class T>
void Put(std::uint8_t*& At, T Value)
{
    std::memcpy(At, &Value, sizeof Value);
    At += sizeof Value;
}

}  // namespace

std::int32_t PixelFormatBits(TSPixelFormat Format)
{
    return ValidFormat(Format) ? kFormats[Format].Bits : 0;
}

TSPixelFormat PixelFormatOfDepth(std::int32_t BitsPerPixel)
{
    switch (BitsPerPixel) {
    case 8:
        return 1;
    case 15:
        return 2;
    case 16:
        return 3;
    case 24:
        return 4;
    case 32:
        return 5;
    default:
        return 0;
    }
}

void PaletteToRGBQuads(const TSPalette* Palette, std::int32_t Start, std::int32_t Count, std::uint8_t* Dest)
{
    TSPalette scratch;
    if (Start < 0 || Start >= 256)
        Count = 0;
    Count = std::clamp(Count, 0, 256 - std::max(Start, 0));
    if (Palette != nullptr)
        scratch = *Palette;
    for (std::int32_t i = 0; i < Count; ++i) {
        const TSPaletteEntry& e = Palette != nullptr ? scratch.Entries[Start + i] : TSPaletteEntry{};
        Dest[4 * i] = e.Blue;
        Dest[4 * i + 1] = e.Green;
        Dest[4 * i + 2] = e.Red;
    }
}

constinit const TSClassInfo TSMemoryBitmap::ClassInfo{"TSMemoryBitmap", &TSCustomChangeObject::ClassInfo,
                                                      &TSNewObject<TSMemoryBitmap>};

void TSMemoryBitmap::Initialize()
{
    TSCustomChangeObject::Initialize();
}

TSMemoryBitmap::~TSMemoryBitmap()
{
    Finalize();
    {
        // The change lock comes first everywhere else: never take it under the canvas.
        std::lock_guard guard(m_canvas);
        FreeSection();
    }
    try {
        SetMappingSize(0);
        SetPalette(nullptr);
    } catch (...) {
    }
}

std::int32_t TSMemoryBitmap::GetDimension(std::int32_t Which) const
{
    if (Which == 0)
        return Header().Width;
    if (Which == 1)
        return Header().Height;
    return 0;
}

std::int64_t TSMemoryBitmap::GetRowBytes() const
{
    const std::int64_t bytes = std::int64_t(Header().BitCount / 8) * Header().Width;
    return (bytes + 3) / 4 * 4;
}

std::int64_t TSMemoryBitmap::GetImageSize() const
{
    return GetRowBytes() * Header().Height;
}

void TSMemoryBitmap::FreeSection()
{
    std::lock_guard guard(m_canvas);
    m_bits = nullptr;
}

void TSMemoryBitmap::SetMappingSize(std::int64_t Bytes)
{
    const std::int64_t size = Bytes > 0 ? (Bytes + kMappingStep - 1) / kMappingStep * kMappingStep : 0;
    if (size == m_mappingSize)
        return;
    std::lock_guard guard(m_canvas);
    if (m_mapping != nullptr)
        ::munmap(m_mapping, static_cast<std::size_t>(m_mappingSize));
    m_mapping = nullptr;
    m_mappingSize = 0;
    if (size <= 0)
        return;
    void* mapping =
        ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        RaiseOSError(errno, "pixel buffer");
    m_mapping = mapping;
    m_mappingSize = size;
}

void TSMemoryBitmap::CreateSection(std::int32_t Width, std::int32_t Height, TSPixelFormat Format)
{
    if (Width < 0 || Height < 0 || !ValidFormat(Format))
        return;
    std::lock_guard guard(m_canvas);
    FreeSection();
    m_info.fill(0);
    m_pixelFormat = Format;
    TSBitmapInfoHeader& h = MutableHeader();
    h.Size = 40;
    h.Width = Width;
    h.Height = Height;
    h.Planes = 1;
    h.BitCount = kFormats[Format].Bits;
    h.Compression = kFormats[Format].Compression;
    if (Format < 1 || Width == 0 || Height == 0)
        return;
    if (Format == 1)
        PaletteToRGBQuads(m_palette.get(), 0, 256, m_info.data() + 40);
    else if (h.Compression == kBiBitfields)
        std::copy(std::begin(kFormats[Format].Masks), std::end(kFormats[Format].Masks), ColorArea());
    const std::int64_t size = GetImageSize();
    if (size > INT32_MAX)
        throw EOutOfMemory();
    SetMappingSize(size);
    m_bits = m_mapping;
}

void TSMemoryBitmap::SetSize(std::int32_t Width, std::int32_t Height)
{
    TSObjectLock guard(*this);
    if (Width == Header().Width && Height == Header().Height)
        return;
    InChange(*this, false, [&] { CreateSection(Width, Height, m_pixelFormat); });
}

void TSMemoryBitmap::SetPixelFormat(TSPixelFormat Format)
{
    if (!ValidFormat(Format))
        return;
    TSObjectLock guard(*this);
    if (Format == m_pixelFormat)
        return;
    InChange(*this, false, [&] { CreateSection(Header().Width, Header().Height, Format); });
}

void TSMemoryBitmap::SetPalette(std::unique_ptr<TSPalette> Palette)
{
    TSObjectLock guard(*this);
    if (Palette == nullptr && m_palette == nullptr)
        return;
    auto change = [&] {
        m_palette = std::move(Palette);
        // The header's colour table is the pixels' own; other formats keep their masks.
        if (m_palette != nullptr && m_pixelFormat == 1) {
            std::lock_guard paint(m_canvas);
            PaletteToRGBQuads(m_palette.get(), 0, 256, m_info.data() + 40);
        }
    };
    if (m_pixelFormat == 1)
        InChange(*this, false, change);
    else
        change();
}

void TSMemoryBitmap::CopyPalette(const TSPalette* Palette)
{
    if (Palette == nullptr) {
        SetPalette(nullptr);
        return;
    }
    if (Palette == m_palette.get())
        return;
    const TSPalette copy = *Palette;
    SetPaletteEntries(0, 256, copy.Entries.data());
}

void TSMemoryBitmap::SetPaletteEntries(std::int32_t Start, std::int32_t Count, const TSPaletteEntry* Entries)
{
    if (Start < 0 || Start >= 256)
        return;
    Count = std::clamp(Count, 0, 256 - Start);
    TSObjectLock guard(*this);
    auto change = [&] {
        std::lock_guard paint(m_canvas);
        // A new palette starts from the system palette, black here.
        if (m_palette == nullptr)
            m_palette = std::make_unique<TSPalette>();
        if (Count > 0 && Entries != nullptr)
            std::copy(Entries, Entries + Count, m_palette->Entries.begin() + Start);
        if (m_pixelFormat == 1)
            PaletteToRGBQuads(m_palette.get(), 0, 256, m_info.data() + 40);
    };
    if (m_pixelFormat == 1)
        InChange(*this, false, change);
    else
        change();
}

void TSMemoryBitmap::Assign(TPersistent* Source)
{
    auto* source = dynamic_cast<TSMemoryBitmap*>(Source);
    if (source == nullptr || source == this)
        return;
    InChange(*this, true, [&] {
        TSObjectLock sourceGuard(*source);
        CopyPalette(source->Palette());
        CreateSection(source->GetDimension(0), source->GetDimension(1), source->PixelFormat());
        std::scoped_lock paint(m_canvas, source->m_canvas);
        // A source without pixels (its buffer was refused) leaves these as they are.
        if (m_bits != nullptr && source->m_bits != nullptr)
            std::memcpy(m_bits, source->m_bits, static_cast<std::size_t>(GetImageSize()));
    });
}

void TSMemoryBitmap::SaveToFile(const std::string& FileName)
{
    TSObjectLock guard(*this);
    // Checked before the file is touched: an existing file stays as it is.
    if (IsChanging())
        throw EInvalidOperation(ObjectErrorText(this, sCantSave, sBusy));
    if (m_pixelFormat < 1 || m_bits == nullptr)
        throw EInvalidOperation(ObjectErrorText(this, sCantSave, sInvalidValue));

    const std::size_t infoBytes = SavedInfoBytes(m_pixelFormat);
    const std::int64_t imageBytes = GetImageSize();
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + infoBytes);
    std::uint8_t fileHeader[14];
    std::uint8_t* at = fileHeader;
    Put<std::uint16_t>(at, 0x4D42);  // "BM"
    Put<std::uint32_t>(at, static_cast<std::uint32_t>(offset + imageBytes));
    Put<std::uint16_t>(at, 0);
    Put<std::uint16_t>(at, 0);
    Put<std::uint32_t>(at, offset);

    Events.Notify(this, ecBitmapSaving, 0);
    try {
        PlatformCall(
            [&] {
                plat::ReplacingFile out(FileName);
                plat::File& file = out.Out();
                file.Reserve(offset + imageBytes);
                file.Write(fileHeader, sizeof fileHeader);
                file.Write(m_info.data(), static_cast<unsigned>(infoBytes));
                {
                    std::lock_guard paint(m_canvas);
                    file.Write(m_bits, static_cast<unsigned>(imageBytes));
                }
                out.Commit();
            },
            FileName);
    } catch (...) {
        Events.Notify(this, ecBitmapSaved, 0);
        throw;
    }
    Events.Notify(this, ecBitmapSaved, 0);
}
