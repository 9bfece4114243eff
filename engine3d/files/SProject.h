#pragma once
// Projects: a change object that writes itself and everything it holds into
// one project file (".hcp") and reads it back, the stream that writes and reads
// the file's object records, and the factory that makes an empty project of
// the class a file names.
//
// The file: magic "HALCYTE\0", version, class path, name, then five blocks,
// each preceded by its size: description (D), modules (M), class table (T),
// objects header (H) and objects (O). Class and object identities in the file
// are 32-bit numbers that each save hands out afresh (never addresses), so
// every build writes and reads the same layout.

#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/model/SThreads.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat {
class MappedFile;
class ReplacingFile;
}  // namespace plat

class TSProjectStream;

// The sizes of a project file, as the counting run measures them.
struct TSProjectLayout {
    std::int32_t HeaderSize = 0;  // from the magic to the end of the class table
    std::int32_t D = 0;
    std::int32_t M = 0;
    std::int32_t T = 0;
    std::int32_t H = 0;
    std::int32_t O = 0;
};

// A class of the saving run matched to a registered class of this one.
struct TSClassMapEntry {
    std::uint32_t SavedId = 0;
    TSClass Class = nullptr;
    std::string SavedName;
};

// An object read from the file under the identity it was saved with.
struct TSObjectMapEntry {
    std::uint32_t SavedId = 0;
    TSObject* Object = nullptr;
};

// A project of the 3D viewer. Descendants fill the two object blocks through
// WriteObjectsHeader/WriteObjects and read them back through ReadObjectsHeader/
// ReadObjects; each writer must answer exactly the bytes it wrote, and each
// reader must read exactly what its writer wrote. Every live project is listed
// in "Global List of SProjects". Not copyable.
class TSProject : public TSCustomChangeObject {
    S_CLASS(TSProject)
public:
    ~TSProject() override;

    std::int32_t VersionMajor() const { return m_versionMajor; }
    std::int32_t VersionMinor() const { return m_versionMinor; }
    std::string Description() const;
    void SetDescription(const std::string& Text);
    // The classes of the last save or load, with their object counts in Tag.
    TSDataBranch* ClassTree() const { return m_classTree.get(); }
    TSDataBranch* ModuleList() const { return m_moduleList.get(); }
    // The full path of the file, only while saving or loading.
    std::string FileName() const;
    const std::vector<TSClassMapEntry>& ClassMap() const { return m_classMap; }
    const std::vector<TSObjectMapEntry>& ObjectMap() const { return m_objectMap; }

    // Reads Description from a stream string in Buffer, of which Size bytes may
    // be read; answers the bytes read.
    virtual std::int32_t ReadDescription(const void* Buffer, std::int32_t Size);
    // Writes Description as a stream string; a nullptr Buffer only measures.
    virtual std::int32_t WriteDescription(void* Buffer);
    // Fills the module list before saving (children named after the modules).
    virtual void CollectModules(TSDataBranch* ModuleList);
    // Told of each module record read from a file.
    virtual std::int32_t CheckModule(const std::string& Name, const void* VersionData, std::int32_t Size);
    // The counting run: fills Layout and the class tree and answers the size of
    // the whole file; -1 when it would not fit in 31 bits or a writer refused.
    virtual std::int64_t ComputeLayout(TSProjectLayout& Layout);
    virtual std::int32_t WriteObjectsHeader(TSObjectsStream* Stream);
    virtual std::int32_t ReadObjectsHeader(TSObjectsStream* Stream);
    virtual std::int32_t WriteObjects(TSObjectsStream* Stream);
    virtual std::int32_t ReadObjects(TSObjectsStream* Stream);
    // SaveToFile/LoadFromFile with FileName's bytes and no thread; errors pass on.
    virtual void SaveToFileName(const std::string& FileName);
    virtual void LoadFromFileName(const std::string& FileName);
    // Jobs (TSThreadJob::Of<&TSProject::SaveToFile>(project)) on the file named
    // by Params' bytes. A save writes a temporary file beside the target and
    // renames it over the target only when complete: a failed save leaves the
    // old file as it was. Loading maps the file read-only.
    virtual void SaveToFile(TSThread* Thread, TSThreadParams* Params);
    virtual void LoadFromFile(TSThread* Thread, TSThreadParams* Params);

    // The whole file frame; Save needs the layout of a running SaveToFile.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    void Initialize() override;

protected:
    void BeforeDestruction() noexcept override;

private:
    friend class TSProjectStream;

    // A stream of another project's file.
    bool IsForeignStream(TSObjectsStream* Stream);
    void ClearMaps();
    void ResetClassTree();
    // Counts one written object in the class-usage tree.
    void EnterClass(TSClass Class);
    std::uint32_t SavedClassId(TSClass Class) const;
    void BuildClassMap();
    const TSClassMapEntry* FindClassEntry(std::uint32_t SavedId) const;
    TSObject* FindMappedObject(std::uint32_t SavedId) const;
    void AddMappedObject(std::uint32_t SavedId, TSObject* Object);
    // Drops the pairs added after the first Count, or those of Object.
    void TruncateObjectMap(std::size_t Count);
    void ForgetMappedObject(const TSObject* Object);
    void BuildHeader(std::vector<unsigned char>& Out);
    void ParseModules(const unsigned char* Block, std::int32_t Size);
    void ParseClassTable(const unsigned char* Block, std::int32_t Size);
    // "class path \n\r name \n\r Object [..] ( Type - .. ) \n\r Invalid control sum"
    std::string ControlSumText(const TObject* Object) const;

    std::int32_t m_versionMajor = 1;
    std::int32_t m_versionMinor = 0;
    std::string m_description;
    std::unique_ptr<TSDataBranch> m_classTree;
    std::unique_ptr<TSDataBranch> m_moduleList;
    std::vector<TSClassMapEntry> m_classMap;
    std::unordered_map<std::uint32_t, std::size_t> m_classIndex;
    std::vector<TSObjectMapEntry> m_objectMap;
    std::unordered_map<std::uint32_t, std::size_t> m_objectIndex;
    // Identities of the classes in the table being written.
    std::unordered_map<TSClass, std::uint32_t> m_saveClassIds;
    std::optional<TSProjectLayout> m_layout;
    std::string m_fileName;
};

// Modes of TSProjectStream::Open.
enum TSProjectStreamMode : std::int32_t {
    pmOpen = 2,        // an existing file, mapped read-only
    pmCreate = 65535,  // a new file of the given size, replacing the target when committed
};

// The object stream of project files. Without a file it only counts: Read and
// Write advance the position, and written objects enter the project's
// class-usage tree. Reads are confined to the block or object record being read,
// and writes to the measured size; going past either raises an error. Not
// copyable.
class TSProjectStream final : public TSObjectsStream {
    S_CLASS(TSProjectStream)
public:
    TSProjectStream(TSProject* Project, TSThread* Thread);
    ~TSProjectStream() override;

    // Maps FileName. pmOpen: an existing file, read-only; Size receives its
    // length. pmCreate: a temporary file of exactly Size bytes beside FileName,
    // its space reserved, that Commit puts in FileName's place. Failures of the
    // system raise EOSError; an empty or oversized file the format error.
    void Open(const std::string& FileName, std::int32_t Mode, std::int32_t& Size);
    // Writes the view out and renames a created file over its target.
    void Commit();
    // Unmaps; a created file that was not committed is removed.
    void Close();

    void SetPosition(std::int32_t Position) override;
    std::int32_t GetPosition() override;
    TSProject* GetProject() override { return m_project; }
    TSThread* GetThread() override { return m_thread; }
    void Read(void* Buffer, std::int32_t Count) override;
    void Write(const void* Buffer, std::int32_t Count) override;
    std::int32_t WriteObject(TSObject* Object) override;
    std::int32_t ReadObject(TSObject*& Object, TSClass ExpectedClass) override;
    TSObject* FindObject(std::uint32_t SavedId, TSClass ExpectedClass) override;
    std::uint32_t ObjectIdentity(TSObject* Object) override;

    bool HasView() const;
    std::int32_t MappedSize() const { return m_mappedSize; }
    // Bytes from the position to the end of the block or record being read.
    std::int64_t Remaining() const override;

    // Confines reads to the next Size bytes (which must remain) until it ends.
    class Block final {
    public:
        Block(TSProjectStream& Stream, std::int64_t Size);
        ~Block();
        Block(const Block&) = delete;
        Block& operator=(const Block&) = delete;
        std::int64_t End() const { return m_end; }

    private:
        TSProjectStream& m_stream;
        std::int64_t m_end;
    };

    // Object records nest at most this deep, in writing and in reading.
    static constexpr int MaxNesting = 512;

private:
    std::int64_t Limit() const;
    [[noreturn]] void FormatError() const;

    TSProject* m_project = nullptr;
    TSThread* m_thread = nullptr;
    std::int64_t m_position = 0;
    std::unique_ptr<plat::ReplacingFile> m_created;  // a save: the new file and its view
    std::unique_ptr<plat::MappedFile> m_loaded;      // a load: the file's view
    plat::MappedFile* m_view = nullptr;              // the one of the two in use
    std::int32_t m_mappedSize = 0;
    std::vector<std::int64_t> m_limits;
    int m_nesting = 0;
    std::unordered_map<TSObject*, std::uint32_t> m_objectIds;
    std::uint32_t m_nextObjectId = 1;
};

// A new, empty project of the class named in the file (owner nil, nothing
// loaded); EStreamError "Invalid Halcyte Project file format" when the file is
// not a project of a known project class.
TSProject* CreateProjectFromFile(const std::string& FileName);
// The first live project that holds Object (Process code 6 above 0), or nullptr.
TSProject* FindProjectOfObject(TSObject* Object);
// "TSProject", and for a descendant its parent's path, "." and its name; empty
// for a class that does not descend from TSProject.
void ProjectClassPath(TSClass Class, std::string& Path);
// The registered project class a path names, or its nearest registered
// ancestor; nullptr for a path that does not start with "TSProject".
TSClass ResolveProjectClass(const std::string& Path);
// "Global List of SProjects", or nullptr while the unit does not run.
TSObjectsList* GlobalProjectsList();

// Start and end of the unit (EngineUnits.h): its texts, "Global List of
// SProjects" and the class TSProject.
void SProjectInitialization();
void SProjectFinalization();

// Magic of a project file: seven capitals and a zero byte.
inline constexpr char kProjectMagic[8] = {'H', 'A', 'L', 'C', 'Y', 'T', 'E', '\0'};

enum TSProjectString : unsigned {
    sInvalidProjectFormat = 57700,  // "Invalid Halcyte Project file format"
    sCantLoadObject,
    sCantLinkAs,
    sInvalidControlSum,
    sLayoutExceeded,
    sProjectTooLarge,
    sNestedTooDeep,
    sNoLayout,
    sStartingSave,
    sSavePreparation,
    sSaveHeader,
    sSaveObjectsHeader,
    sSaveObjects,
    sFinishingSave,
    sStartingLoad,
    sLoadHeader,
    sLoadObjectsHeader,
    sLoadObjects,
    sFinishingLoad,
};
