#pragma once
// The one way to write a file that replaces another. The new contents go to a
// hidden temporary file beside the target (".name.pid.n.r.part"), which is renamed
// over the target only when complete: whoever has the old file open or mapped keeps
// it intact (truncating a mapped file kills the mapper), and a failure or a cancel
// leaves the old file, or no file, as it was.
//
//   plat::ReplacingFile out(path);        // refuses a target it may not replace
//   out.Out().Reserve(size);              // space first, then write through Out()...
//   plat::MappedFile& view = out.Map(size, false);   // ...or through a mapping
//   out.Commit();                         // flushed to disk, then renamed
//
// - A symbolic link stays as it is: the file it points to is replaced.
// - An existing target keeps its permission bits. A target that is not a regular
//   file, that this process may not write, or that carries no write permission at
//   all (a read-only file, even for the superuser) is refused.
// - User data is flushed to disk before the rename. A regenerable file (a display
//   cache) is not: it proves itself valid by a header written after its data.
// - Every failure throws FileException* with the OS error and the target's path; the
//   temporary goes when the object goes uncommitted, or at Discard().
// - Temporaries that processes which have since died left beside the target are
//   removed when the same target is replaced again, and at the next start of a
//   program of the suite (TempRegistry.h).

#include <cstdint>
#include <string>
#include <utility>

#include "platform/files/File.h"
#include "platform/files/MappedFile.h"

namespace plat {

class ReplacingFile final {
public:
    enum Contents {
        UserData,     // flushed to disk before it replaces the target
        Regenerable,  // not flushed: it can be built again
    };

    // Creates the temporary file read/write; throws FileException* when the target
    // is refused or the temporary cannot be made.
    explicit ReplacingFile(const std::string& path, Contents contents = UserData);
    // Discards the temporary file unless it was committed.
    ~ReplacingFile();
    // Owns a file on disk: neither copyable nor movable.
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    File& Out() { return m_file; }
    // The file that will be replaced: the path with symbolic links followed.
    const std::string& Target() const { return m_target; }
    const std::string& TempPath() const { return m_temp; }

    // Reserves length bytes of the temporary file (a full disk fails here, not as
    // SIGBUS on a later write through the view) and maps them read/write; keep
    // copies the old file's first bytes (up to length), the rest reads as zero.
    // The view stays this object's until TakeView; Commit flushes it.
    MappedFile& Map(std::int64_t length, bool keep);
    MappedFile& View() { return m_view; }
    // Hands the view over; after Commit it maps the new file at its final name.
    MappedFile TakeView() { return std::move(m_view); }

    // Flushes user data to disk, closes the file and renames it over the target.
    // Throws FileException* on failure; the temporary is then discarded at
    // destruction and the target is as it was.
    void Commit();
    // Cancels: removes the temporary file now. Nothing is left to commit.
    void Discard();
    // Flushes user data to disk now, as Commit does first: outputs committed together
    // meet a full disk before any of them replaces its target. Throws FileException*.
    void Flush();

private:
    std::string m_path;    // as the caller named it, for error reports
    std::string m_target;  // links followed
    std::string m_temp;
    Contents m_contents = UserData;
    bool m_exists = false;  // the target exists and is replaced
    File m_file;
    MappedFile m_view;
    bool m_committed = false;
};

}  // namespace plat
