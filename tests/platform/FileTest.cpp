#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ChildProcess.h"
#include "platform/errors/Exception.h"
#include "platform/files/File.h"
#include "TempDir.h"

namespace {

class FileTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return m_dir.File(name); }
    static void Put(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Get(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testsupport::TempDir m_dir;
};

// Expects body to throw a FileException carrying cause; frees it.
template <class Body>
void ExpectFileException(Body body, plat::FileException::Cause cause)
{
    try {
        body();
        ADD_FAILURE() << "no exception";
    } catch (plat::Exception* e) {
        auto* fe = dynamic_cast<plat::FileException*>(e);
        ASSERT_NE(fe, nullptr);
        EXPECT_EQ(fe->m_cause, cause);
        e->Delete();
    }
}

TEST_F(FileTest, ReadsSeeksAndReportsLength)
{
    Put(Path("a"), "0123456789");
    plat::File f(Path("a").c_str(), plat::File::modeRead | plat::File::shareDenyNone);
    EXPECT_EQ(f.GetLength(), 10);
    char buf[16] = {};
    EXPECT_EQ(f.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(f.GetPosition(), 4);
    EXPECT_EQ(f.Seek(-2, plat::File::end), 8);
    EXPECT_EQ(f.Read(buf, 16), 2u);  // short at the end, no error
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_EQ(f.Read(buf, 16), 0u);
    EXPECT_EQ(f.Seek(1, plat::File::begin), 1);
    EXPECT_EQ(f.Seek(2, plat::File::current), 3);
    // A read at an offset leaves the position alone and is short only at the end.
    EXPECT_EQ(f.ReadAt(6, buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "678");
    EXPECT_EQ(f.ReadAt(8, buf, 16), 2u);
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_EQ(f.ReadAt(10, buf, 16), 0u);
    EXPECT_EQ(f.GetPosition(), 3);
    EXPECT_EQ(f.Read(buf, 1), 1u);
    EXPECT_EQ(buf[0], '3');
    ExpectFileException([&] { f.ReadAt(-1, buf, 1); }, plat::FileException::genericException);
    EXPECT_EQ(f.GetFilePath(), Path("a"));
    ExpectFileException([&] { f.Write("x", 1); }, plat::FileException::genericException);  // read only
    f.Close();
    EXPECT_FALSE(f.IsOpen());
}

TEST_F(FileTest, OnlyRegularFilesOpenAndAFifoNeverWaits)
{
    const std::string fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ::mkdir(Path("folder").c_str(), 0755);
    const struct {
        std::string path;
        unsigned flags;
        int error;  // 0: any error
    } cases[] = {
        {fifo, plat::File::modeRead, EINVAL},
        {fifo, plat::File::modeReadWrite, EINVAL},
        {fifo, plat::File::modeWrite, 0},  // no reader: refused by the open itself
        {fifo, plat::File::modeCreate | plat::File::modeReadWrite, EINVAL},
        {fifo, plat::File::modeCreate | plat::File::modeNoTruncate | plat::File::modeReadWrite, EINVAL},
        {Path("folder"), plat::File::modeRead, EISDIR},
        {"/dev/null", plat::File::modeReadWrite, EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " flags " + std::to_string(c.flags));
        // In a child: opening a FIFO that waits for its other end would hang the test.
        const int status = testsupport::RunInChild(
            [&] {
                plat::File f;
                int error = 0;
                if (f.Open(c.path.c_str(), c.flags, &error))
                    return 1;
                return error != 0 && (c.error == 0 || error == c.error) ? 0 : 2;
            },
            5);
        EXPECT_TRUE(testsupport::ExitedWith(status, 0)) << "wait status " << status;
    }
}

TEST_F(FileTest, OpenModes)
{
    Put(Path("keep"), "abcdef");
    {
        plat::File f(Path("keep").c_str(), plat::File::modeReadWrite);
        // Opened without blocking on a FIFO, the descriptor blocks again once open.
        EXPECT_EQ(::fcntl(f.GetHandle(), F_GETFL) & (O_NONBLOCK | O_ACCMODE), O_RDWR);
        f.Seek(2, plat::File::begin);
        f.Write("XY", 2);
    }
    EXPECT_EQ(Get(Path("keep")), "abXYef");
    {
        plat::File f(Path("keep").c_str(), plat::File::modeWrite | plat::File::modeCreate | plat::File::modeNoTruncate);
        EXPECT_EQ(f.GetLength(), 6);
    }
    {
        plat::File f(Path("keep").c_str(), plat::File::modeWrite | plat::File::modeCreate);
        EXPECT_EQ(f.GetLength(), 0);
        f.Write("new", 3);
    }
    EXPECT_EQ(Get(Path("keep")), "new");

    plat::File g;
    int error = 0;
    EXPECT_FALSE(g.Open(Path("missing").c_str(), plat::File::modeReadWrite, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(g.Open(nullptr, plat::File::modeRead));
    EXPECT_FALSE(std::filesystem::exists(Path("missing")));
    ExpectFileException([&] { plat::File h(Path("missing").c_str(), plat::File::modeRead); },
                        plat::FileException::fileNotFound);
    ExpectFileException(
        [&] { plat::File h(Path("no/such/dir").c_str(), plat::File::modeCreate | plat::File::modeWrite); },
        plat::FileException::fileNotFound);
}

TEST_F(FileTest, SetLengthGrowsWithZerosAndCutsAndOffsetsAre64Bit)
{
    plat::File f(Path("big").c_str(), plat::File::modeReadWrite | plat::File::modeCreate);
    f.Write("abc", 3);
    f.SetLength(6);
    EXPECT_EQ(f.GetLength(), 6);
    f.SetLength(2);
    EXPECT_EQ(f.GetLength(), 2);
    // Past 4 GiB (sparse).
    const std::int64_t far = (std::int64_t(1) << 32) + 5;
    f.SetLength(far + 1);
    EXPECT_EQ(f.GetLength(), far + 1);
    EXPECT_EQ(f.Seek(far, plat::File::begin), far);
    f.Write("z", 1);
    EXPECT_EQ(f.Seek(far, plat::File::begin), far);
    char c = 0;
    EXPECT_EQ(f.Read(&c, 1), 1u);
    EXPECT_EQ(c, 'z');
    ExpectFileException([&] { f.SetLength(-1); }, plat::FileException::genericException);
    ExpectFileException([&] { f.Seek(-1, plat::File::begin); }, plat::FileException::genericException);
    f.SetLength(0);
}

// Every change made through the object counts; reading and moving do not.
TEST_F(FileTest, ChangesCountWritesLengthsAndReopening)
{
    plat::File f(Path("c").c_str(), plat::File::modeReadWrite | plat::File::modeCreate);
    char buf[4] = {};
    const auto unchangedBy = [&](auto step) {
        const std::uint64_t before = f.Changes();
        step();
        return f.Changes() == before;
    };
    EXPECT_FALSE(unchangedBy([&] { f.Write("abcd", 4); }));
    EXPECT_FALSE(unchangedBy([&] { f.SetLength(2); }));
    EXPECT_FALSE(unchangedBy([&] { f.Reserve(64); }));
    EXPECT_TRUE(unchangedBy([&] { f.ReadAt(0, buf, 4); }));
    EXPECT_TRUE(unchangedBy([&] { f.Seek(1, plat::File::begin); }));
    EXPECT_TRUE(unchangedBy([&] { f.Read(buf, 2); }));
    EXPECT_TRUE(unchangedBy([&] { f.GetLength(); }));
    EXPECT_FALSE(unchangedBy([&] { f.Open(Path("c").c_str(), plat::File::modeRead); }));
    EXPECT_FALSE(unchangedBy([&] { f.Close(); }));
}

TEST_F(FileTest, ClosedFileThrows)
{
    plat::File f;
    char c;
    ExpectFileException([&] { f.Read(&c, 1); }, plat::FileException::genericException);
    ExpectFileException([&] { f.ReadAt(0, &c, 1); }, plat::FileException::genericException);
    ExpectFileException([&] { f.GetLength(); }, plat::FileException::genericException);
    f.Close();  // closing twice is harmless
}

}  // namespace
