#pragma once
// A scratch folder for tests that removes itself.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace testsupport {

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir final {
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/rdptest.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace testsupport
