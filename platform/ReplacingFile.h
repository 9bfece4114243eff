#pragma once
// A file written under a fresh name beside its final path and renamed onto that
// path when complete. Whoever has the old file open or mapped keeps it intact
// (truncating a mapped file kills the mapper), and a write that fails part-way
// leaves the old file, or no file, as it was.

#include <string>

#include "File.h"

namespace plat {

class ReplacingFile final {
public:
    // Creates the temporary file read/write; throws FileException* when it cannot.
    explicit ReplacingFile(const std::string& path);
    // Removes the temporary file unless it was committed.
    ~ReplacingFile();
    // Owns a file on disk: neither copyable nor movable.
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    File& Out() { return m_file; }
    const std::string& TempPath() const { return m_temp; }

    // Closes the file if it is still open and renames it onto the final path;
    // throws FileException* on failure (the temporary is then removed at destruction).
    void Commit();

private:
    std::string m_path;
    std::string m_temp;
    File m_file;
    bool m_committed = false;
};

}  // namespace plat
