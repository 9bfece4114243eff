#pragma once
// The files of one conversion job (an import, an export, a file operation, a
// segment save): its inputs, opened once and read through those descriptors, and
// its outputs, written as temporaries beside their targets and committed together
// only when the job succeeds. A failure, a cancel or a crash leaves every old file
// as it was and no temporary (a killed writer's temporary goes at the next replace).
//
//   ConversionJob job;
//   const int in = job.AddInput(source);
//   const int out = job.AddOutput(target);
//   if (!job.Refusal().empty()) ...           // before anything is written; the dialog
//   for (auto& name : job.ExistingOutputs())  // asks about each of these
//   if (!job.Open()) ... job.Error() ...      // inputs opened, temporaries made
//   layer.CreateLayer(job.Output(out), w, h, type, 7);
//   ... read job.Input(in) / job.ReadAt(in, ...) from any thread, fill, close ...
//   if (!job.Commit()) ... job.Error() ...    // all outputs replace their targets
//   // Without Commit (a failure, a cancel, an exception) the destructor discards.
//
// Files are compared as files: by device and inode where they exist, by their path
// with symbolic links and "." / ".." resolved where they do not yet. An output that
// is an input is refused, as are two outputs naming one file. Names that differ
// only in letter case are different files unless the file system makes them one.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files/MappedFile.h"
#include "platform/files/ReplacingFile.h"
#include "files/OrderFile.h"

class ConversionJob final {
public:
    enum class OutputKind {
        Layer,  // a raster layer file: the target's display caches go when it is committed
        Plain,  // any other file
    };
    // Where Open or Commit failed.
    enum class Failure {
        None,
        Refused,  // Refusal() was not empty
        Input,    // an input could not be opened (FailedPath() names it)
        Output,   // an output's temporary could not be made or committed
    };

    ConversionJob() = default;
    // Discards every output not committed.
    ~ConversionJob();
    // Owns open files and temporaries: neither copied nor moved.
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // Registration, before Open. Each answers the file's index among its kind.
    // An input registered with open false is compared with the outputs but not
    // opened: the job reads it by other means (a layer bound before the job began).
    int AddInput(const std::string& path, bool open = true);
    int AddOutput(const std::string& path, OutputKind kind = OutputKind::Layer);

    // Empty when the outputs may be written; else the refusal, naming the file: an
    // output that is an input, or two outputs that name one file. Nothing is opened.
    std::string Refusal() const;
    // The outputs that exist now, as they were named, in order: the overwrite
    // question asks about each of them.
    std::vector<std::string> ExistingOutputs() const;

    // Checks the files again, opens every input read-only and makes every output's
    // temporary. False with Error() and FailureKind() set and nothing left behind.
    bool Open();

    // The input as opened by Open (not for an input registered with open false). Readers on any thread read it with ReadAt or
    // pread on its descriptor (or a dup of it); nobody opens it again by name.
    // Throw FileException* (EBADF) while the job is not open.
    COrderFile& Input(int i);
    int InputFd(int i) { return Input(i).GetHandle(); }
    const std::string& InputPath(int i) const { return m_inputs.at(std::size_t(i)).path; }
    // Reads up to bytes at offset of input i, from any thread; answers how many the
    // file holds there (fewer only at its end). Throws FileException* on a failure.
    std::int64_t ReadAt(int i, std::int64_t offset, void* buf, std::int64_t bytes);

    // The output's writer: write through Out() or Map(), or create a layer in it
    // (CRDPLayer::CreateLayer(job.Output(i), ...)).
    // Throws FileException* (EBADF) while the job is not open.
    plat::ReplacingFile& Output(int i);
    // The name the output was registered by.
    const std::string& OutputPath(int i) const { return m_outputs.at(std::size_t(i)).path; }
    // Where the output is written until Commit: path-based writers (tags) use this.
    const std::string& WritePath(int i) { return Output(i).TempPath(); }
    bool IsOpen() const { return m_open; }
    int Inputs() const { return int(m_inputs.size()); }
    int Outputs() const { return int(m_outputs.size()); }

    // Flushes every output to disk, then renames each over its target (the files
    // written through layers must be closed first). False with Error() set when a
    // flush fails (nothing is replaced) or a rename fails (the outputs before it
    // were replaced, the rest discarded). The inputs are closed.
    bool Commit();
    // Removes every temporary now (a cancel or a failure); closes the inputs.
    void Discard();
    bool Committed() const { return m_committed; }

    const std::string& Error() const { return m_error; }
    Failure FailureKind() const { return m_failure; }
    // The file a failure concerns, as named.
    const std::string& FailedPath() const { return m_failedPath; }

private:
    struct In {
        std::string path;
        bool open = true;
        std::unique_ptr<COrderFile> file;
    };
    struct Out {
        std::string path;
        OutputKind kind = OutputKind::Layer;
        std::unique_ptr<plat::ReplacingFile> file;
    };
    bool Fail(Failure kind, const std::string& path, const std::string& error);
    void CloseInputs();

    std::vector<In> m_inputs;
    std::vector<Out> m_outputs;
    bool m_open = false;
    bool m_committed = false;
    Failure m_failure = Failure::None;
    std::string m_error;
    std::string m_failedPath;
};

// The identity of a path as a conversion compares it: the file's device and
// inode when it exists (symbolic links followed), else its resolved full path.
struct ConversionFileKey {
    bool exists = false;
    plat::FileId id;
    std::string path;  // resolved; for an existing file too
    bool operator==(const ConversionFileKey& other) const;
};
ConversionFileKey ConversionKeyOf(const std::string& path);
