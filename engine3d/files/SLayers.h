#pragma once
// Raster layers for the 3D viewer: an abstract layer with typed row access,
// containers of layers (in general and stored in a file), the raster layer
// file's read-only reader, the translation between twelve sample types, and
// the registry of reader factories keyed by file name.
//
// A raster layer file is read through a mapping of the whole file; no sample
// is copied until a row is read. A complex layer of the file becomes two
// layers, its real and its imaginary part.

#include "engine3d/model/SGeneral.h"
#include "engine3d/model/SRTDRegistry.h"

#include "platform/files/MappedFile.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Sample types of a layer, as rows are read and written.
enum TSSampleType : std::int32_t {
    stUnknown = 0,
    stUInt8 = 1,
    stSInt8 = 2,
    stUInt16 = 3,
    stSInt16 = 4,
    stUInt32 = 5,
    stSInt32 = 6,
    stUInt64 = 7,
    stSInt64 = 8,
    stFloat32 = 9,
    stFloat64 = 10,
    stFloat80 = 11,  // x86-64's long double, stored in 10 bytes
};

inline constexpr std::int32_t kSampleTypeCount = 12;

// " Unknow " .. " Float 80-bit " (blanks included); "" outside 0 to 11.
const char* SampleTypeName(std::int32_t Type);
// Bytes of one sample: 0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 10; 0 outside 0 to 11.
std::int32_t SampleTypeSize(std::int32_t Type);
// The layer type of a raster layer file's sample type code (the component type
// of a complex code); stUnknown for a code the file format does not know.
TSSampleType SampleTypeOfFileType(std::int32_t FileType);

// One sample at Source of SourceType written at Dest as DestType. Floats go to
// integers rounded to nearest (ties to even) through 64 bits; a NaN, an
// infinity or a value beyond 64 bits gives INT64_MIN. Integer destinations keep
// the low bytes. A DestType outside 1 to 11 writes nothing, a SourceType above
// 11 does nothing, one of 0 or below reads as 0.
void CastSample(void* Dest, const void* Source, std::int32_t DestType, std::int32_t SourceType);

class TSLayer;
class TSRDPFile;

// A raster layer: Width samples per row, Height rows, of SampleType. Reads and
// writes happen inside an update (BeginUpdate), during which the samples stay
// reachable.
class TSLayer : public TSCustomChangeObject {
    S_CLASS(TSLayer)
public:
    std::int32_t SampleType() const { return m_sampleType; }
    std::int32_t Height() const { return m_height; }
    std::int32_t Width() const { return m_width; }

    virtual void DoBeginUpdate();
    virtual void DoEndUpdate();
    virtual void SetFormat(std::int32_t Type, std::int32_t Width, std::int32_t Height);
    // Address of sample (X, Y); nullptr here.
    virtual void* SampleAddress(std::int32_t X, std::int32_t Y);
    // "<name> - <width> x <height>" and, for a known type, " (<type name>)".
    virtual void GetDescription(std::string& S);
    // min(Count, Width) samples of Row to Buffer, one every Step bytes, as
    // BufferType; nothing here.
    virtual void ReadRow(std::int32_t Row, void* Buffer, std::int32_t Count, std::int32_t Step,
                         std::int32_t BufferType);
    virtual void WriteRow(std::int32_t Row, const void* Buffer, std::int32_t Count, std::int32_t Step,
                          std::int32_t BufferType);

    // The outermost BeginUpdate calls DoBeginUpdate, the matching EndUpdate
    // DoEndUpdate. A failing DoBeginUpdate leaves no update open.
    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const;

    void Initialize() override;

protected:
    void StoreFormat(std::int32_t Type, std::int32_t Width, std::int32_t Height);

private:
    std::int32_t m_sampleType = 0;
    std::int32_t m_height = 0;
    std::int32_t m_width = 0;
    std::atomic<std::int32_t> m_updateNesting{0};
};

// A container of layers.
class TSLayerKeeper : public TSCustomChangeObject {
    S_CLASS(TSLayerKeeper)
public:
    std::int32_t Count() const { return m_count; }
    virtual void SetCount(std::int32_t N);
    virtual TSLayer* GetLayer(std::int32_t Index);
    // A new tree that the caller owns: here the keeper's name with the keeper
    // as data, and one child per layer named after it with the layer as data.
    virtual TSDataBranch* BuildTree();

protected:
    void StoreCount(std::int32_t N) { m_count = N; }

private:
    std::int32_t m_count = 0;
};

class TSFileLayerKeeper;

// A factory: an unopened keeper for a file it understands, or nullptr.
using TSLayerCreator = TSFileLayerKeeper* (*)(void* Context, const std::string& FileName);

// A container of layers stored in a file. The class keeps the registry of
// reader factories ("Creators" under its own registry key).
class TSFileLayerKeeper : public TSLayerKeeper {
    S_CLASS(TSFileLayerKeeper)
public:
    std::string FileName() const;
    bool Closed() const { return m_closed; }

    virtual void SetFileName(const std::string& S);
    virtual void Close(bool Value);
    // Share mode and flags are kept for the reader; ReadOnly false maps the
    // file writable.
    virtual void Open(const std::string& FileName, std::uint32_t ShareMode, std::uint32_t Flags, bool ReadOnly);
    // Here: not Closed.
    virtual bool IsFormatRefused();

    void Initialize() override;

protected:
    void StoreFileName(const std::string& S);
    void StoreClosed(bool Value) { m_closed = Value; }

private:
    std::string m_fileName;
    bool m_closed = true;
};

// The registry key of the factories: TSFileLayerKeeper's class reference.
TSRegistryKey LayerCreatorsKey();
// The keeper of the factory registered last that answers for FileName, or
// nullptr. Context goes to every factory unchanged.
TSFileLayerKeeper* CreateForFile(void* Context, const std::string& FileName);
void RegisterLayerCreator(TSLayerCreator Creator);
void UnregisterLayerCreator(TSLayerCreator Creator);
// The ".rdp" factory: a TSRDPFile for a name whose extension, lower-cased, is ".rdp".
TSFileLayerKeeper* CreateRDPFileKeeper(void* Context, const std::string& FileName);

// One layer, or one part of a complex layer, of a raster layer file. Its
// format comes from the file, never from SetFormat.
class TSRDPLayer : public TSLayer {
    S_CLASS(TSRDPLayer)
public:
    ~TSRDPLayer() override;

    TSRDPFile* File() const { return m_file; }
    std::int32_t FileType() const { return m_fileType; }
    std::int32_t LayerIndex() const { return m_layerIndex; }
    std::int32_t Component() const { return m_component; }
    // Sample (0, 0) in the mapping; nullptr without usable data or while the
    // file is not mapped.
    const unsigned char* Data() const { return m_data; }
    std::int32_t SampleStep() const { return m_sampleStep; }
    std::int64_t RowStep() const { return m_rowStep; }

    void DoBeginUpdate() override;
    void DoEndUpdate() override;
    void SetFormat(std::int32_t Type, std::int32_t Width, std::int32_t Height) override;
    void* SampleAddress(std::int32_t X, std::int32_t Y) override;
    void GetDescription(std::string& S) override;
    void ReadRow(std::int32_t Row, void* Buffer, std::int32_t Count, std::int32_t Step,
                 std::int32_t BufferType) override;
    // Needs a file mapped writable (opened with ReadOnly false).
    void WriteRow(std::int32_t Row, const void* Buffer, std::int32_t Count, std::int32_t Step,
                  std::int32_t BufferType) override;

    void Initialize() override;

private:
    friend class TSRDPFile;
    // Rows that can be read: Count samples clipped to Width, Row inside.
    std::int32_t RowSamples(std::int32_t Row, std::int32_t Count) const;

    TSRDPFile* m_file = nullptr;
    std::int32_t m_fileType = 0;
    std::int32_t m_layerIndex = 0;
    std::int32_t m_component = 0;
    unsigned char* m_data = nullptr;
    std::int32_t m_sampleStep = 0;
    std::int64_t m_rowStep = 0;
};

// The raster layer file, read through a mapping of the whole file. Open
// checks the file, builds the layers and the browse tree, and releases the
// mapping; a layer's update maps the file again.
class TSRDPFile : public TSFileLayerKeeper {
    S_CLASS(TSRDPFile)
public:
    // Files of this size or more are refused.
    static constexpr std::int64_t MaxFileSize = std::int64_t(1) << 30;
    // Links followed along a tag chain, and records counted along the layer
    // chain, at most.
    static constexpr std::int32_t MaxLinks = 10000;

    ~TSRDPFile() override;

    void SetCount(std::int32_t N) override;
    TSLayer* GetLayer(std::int32_t Index) override;
    // A copy of Tree.
    TSDataBranch* BuildTree() override;
    // Does nothing: the name comes only from Open.
    void SetFileName(const std::string& S) override;
    void Close(bool Value) override;
    // Nothing when FileName names no existing file or the file is open under
    // that full path already. Otherwise the keeper takes the new name, checks
    // the file and builds its layers; errors pass on and leave it closed.
    void Open(const std::string& FileName, std::uint32_t ShareMode, std::uint32_t Flags, bool ReadOnly) override;
    bool IsFormatRefused() override;

    std::int32_t LayerRecordCount() const { return m_recordCount; }
    TSDataBranch* Tree() const { return m_tree; }
    std::uint32_t ShareMode() const { return m_shareMode; }
    std::uint32_t Flags() const { return m_flags; }
    bool ReadOnly() const { return m_readOnly; }
    bool IsMapped() const { return static_cast<bool>(m_map); }
    std::int64_t FileSize() const { return m_size; }

    // Maps the file (when it exists and is not mapped with an accepted
    // header) and rebuilds layers and tree. A file of MaxFileSize bytes or
    // more raises EStreamError; failed system calls raise EOSError.
    void Map();
    // Releases the mapping; the layers lose their data until the next Map.
    void Unmap();
    void EnsureMapped();

    // The layer's first tag header in the mapping, or nullptr.
    const unsigned char* LayerRecordAddress(std::int32_t Layer);
    // The payload (at its length word) of the layer's tag, or nullptr.
    const unsigned char* FindTag(std::int32_t Layer, std::int32_t Tag);

    void Initialize() override;

private:
    friend class TSRDPLayer;
    bool HeaderAccepted() const { return m_map && !m_formatRefused; }
    void ScanLayers();
    void BindLayer(TSRDPLayer& Layer);
    // A layer's update ended: unmap unless another layer is inside one.
    void ReleaseIfIdle();
    void Forget(TSRDPLayer* Layer);
    std::int32_t CountRecords();

    std::vector<TSRDPLayer*> m_layers;
    std::int32_t m_recordCount = 0;
    bool m_formatRefused = false;
    plat::MappedFile m_map;
    std::int64_t m_size = 0;
    std::uint32_t m_shareMode = 0;
    std::uint32_t m_flags = 0;
    bool m_readOnly = true;
    TSDataBranch* m_tree = nullptr;
};

// Start and end of the unit (EngineUnits.h): the classes, the "Creators"
// branch with the ".rdp" factory.
void SLayersInitialization();
void SLayersFinalization();
