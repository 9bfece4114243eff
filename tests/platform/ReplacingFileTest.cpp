#include <gtest/gtest.h>

#include <sys/mman.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Exception.h"
#include "File.h"
#include "ReplacingFile.h"
#include "TempDir.h"

namespace {

class ReplacingFileTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return m_dir.File(name); }
    static std::string Get(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    int EntryCount() const
    {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(m_dir.Path())) {
            (void)e;
            ++n;
        }
        return n;
    }

    testsupport::TempDir m_dir;
};

TEST_F(ReplacingFileTest, CommitReplacesWhileTheOldFileStaysMapped)
{
    const std::string path = Path("a.rdp");
    std::ofstream(path, std::ios::binary) << "old contents";
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    void* view = ::mmap(nullptr, 12, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(view, MAP_FAILED);

    {
        plat::ReplacingFile out(path);
        out.Out().Write("new", 3);
        EXPECT_EQ(Get(path), "old contents");
        out.Commit();
    }
    EXPECT_EQ(Get(path), "new");
    // The mapper still reads its own file, not a truncated one.
    EXPECT_EQ(std::memcmp(view, "old contents", 12), 0);
    EXPECT_EQ(EntryCount(), 1);
    ::munmap(view, 12);
    ::close(fd);
}

TEST_F(ReplacingFileTest, WithoutCommitNothingChangesAndNothingIsLeft)
{
    const std::string path = Path("b.rdp");
    {
        plat::ReplacingFile out(path);
        out.Out().Write("x", 1);
        EXPECT_EQ(EntryCount(), 1);
    }
    EXPECT_EQ(EntryCount(), 0);

    std::ofstream(path, std::ios::binary) << "kept";
    { plat::ReplacingFile out(path); }
    EXPECT_EQ(Get(path), "kept");
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(ReplacingFileTest, NameAtTheFolderLimitIsReplaced)
{
    // The temporary name beside it must still fit the 255-byte name limit.
    const std::string path = Path(std::string(255, 'n').c_str());
    std::ofstream(path, std::ios::binary) << "old";
    {
        plat::ReplacingFile out(path);
        out.Out().Write("new", 3);
        out.Commit();
    }
    EXPECT_EQ(Get(path), "new");
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(ReplacingFileTest, MissingFolderThrows)
{
    try {
        plat::ReplacingFile out(Path("no/such/folder.rdp"));
        ADD_FAILURE() << "no exception";
    } catch (plat::Exception* e) {
        EXPECT_NE(dynamic_cast<plat::FileException*>(e), nullptr);
        e->Delete();
    }
}

TEST_F(ReplacingFileTest, CreateNewRefusesAnExistingNameAndReserveAddsZeros)
{
    const std::string path = Path("c");
    std::ofstream(path, std::ios::binary) << "ab";
    plat::File f;
    int error = 0;
    EXPECT_FALSE(f.Open(path.c_str(), plat::File::modeReadWrite | plat::File::modeCreateNew, &error));
    EXPECT_EQ(error, EEXIST);

    ASSERT_TRUE(f.Open(path.c_str(), plat::File::modeReadWrite));
    f.Reserve(6);
    EXPECT_EQ(f.GetLength(), 6);
    f.Reserve(3);  // never shrinks
    EXPECT_EQ(f.GetLength(), 6);
    f.Close();
    EXPECT_EQ(Get(path), std::string("ab\0\0\0\0", 6));
}

}  // namespace
