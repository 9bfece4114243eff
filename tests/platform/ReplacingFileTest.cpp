#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "platform/errors/Exception.h"
#include "platform/files/File.h"
#include "platform/files/MappedFile.h"
#include "platform/files/ReplacingFile.h"
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
    int EntryCount() const { return int(Entries().size()); }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir.Path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static mode_t ModeOf(const std::string& path)
    {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    // The OS error of the FileException that call throws (its file name to name);
    // 0 when it throws nothing.
    template <typename F>
    static int OsErrorOf(F&& call, std::string* name = nullptr)
    {
        try {
            call();
        } catch (plat::Exception* e) {
            auto* file = dynamic_cast<plat::FileException*>(e);
            const int code = file ? file->m_lOsError : -1;
            if (file && name)
                *name = file->m_strFileName;
            e->Delete();
            return code;
        }
        return 0;
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
    {
        plat::ReplacingFile out(path);
    }
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

TEST_F(ReplacingFileTest, RefusedTargetsStayAsTheyWere)
{
    const std::string readOnly = Path("locked.rdp");
    std::ofstream(readOnly, std::ios::binary) << "locked";
    ::chmod(readOnly.c_str(), 0444);
    const std::string folder = Path("folder");
    ::mkdir(folder.c_str(), 0755);
    const std::string fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);

    // A file without write permission is read-only for the superuser too.
    const struct {
        std::string path;
        int error;
    } cases[] = {{readOnly, EACCES}, {folder, EISDIR}, {fifo, EINVAL}, {folder + "/", EISDIR}, {"", ENOENT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string name;
        EXPECT_EQ(OsErrorOf([&] { plat::ReplacingFile out(c.path); }, &name), c.error);
        EXPECT_EQ(name, c.path);
    }
    EXPECT_EQ(Get(readOnly), "locked");
    EXPECT_EQ(ModeOf(readOnly), 0444u);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"fifo", "folder", "locked.rdp"}));
}

TEST_F(ReplacingFileTest, PermissionsAreKeptAndNewFilesTakeTheUmask)
{
    for (mode_t mode : {0600u, 0640u, 0755u, 0604u}) {
        SCOPED_TRACE(mode);
        const std::string path = Path("kept.rdp");
        std::ofstream(path, std::ios::binary) << "old";
        ::chmod(path.c_str(), mode);
        plat::ReplacingFile out(path);
        out.Out().Write("new", 3);
        out.Commit();
        EXPECT_EQ(Get(path), "new");
        EXPECT_EQ(ModeOf(path), mode);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    {
        plat::ReplacingFile out(Path("fresh.rdp"));
        out.Commit();
    }
    EXPECT_EQ(ModeOf(Path("fresh.rdp")), 0666u & ~mask);
}

TEST_F(ReplacingFileTest, SymbolicLinksKeepPointingAtTheReplacedFile)
{
    ::mkdir(Path("data").c_str(), 0755);
    const std::string real = Path("data/real.rdp");
    std::ofstream(real, std::ios::binary) << "old";
    ::chmod(real.c_str(), 0640);
    // A relative link, a link to that link, and a link whose file does not exist yet.
    ASSERT_EQ(::symlink("data/real.rdp", Path("link.rdp").c_str()), 0);
    ASSERT_EQ(::symlink("link.rdp", Path("link2.rdp").c_str()), 0);
    ASSERT_EQ(::symlink("data/later.rdp", Path("dangling.rdp").c_str()), 0);
    ASSERT_EQ(::symlink("loop.rdp", Path("loop.rdp").c_str()), 0);

    for (const char* link : {"link.rdp", "link2.rdp"}) {
        SCOPED_TRACE(link);
        plat::ReplacingFile out(Path(link));
        EXPECT_EQ(out.Target(), real);
        out.Out().Write(link, unsigned(std::strlen(link)));
        out.Commit();
        EXPECT_EQ(Get(real), link);
        EXPECT_EQ(ModeOf(real), 0640u);
    }
    {
        plat::ReplacingFile out(Path("dangling.rdp"));
        out.Out().Write("later", 5);
        out.Commit();
    }
    EXPECT_EQ(Get(Path("data/later.rdp")), "later");
    for (const char* link : {"link.rdp", "link2.rdp", "dangling.rdp", "loop.rdp"}) {
        struct stat st {};
        ASSERT_EQ(::lstat(Path(link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    }
    EXPECT_EQ(OsErrorOf([&] { plat::ReplacingFile out(Path("loop.rdp")); }), ELOOP);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"dangling.rdp", "data", "link.rdp", "link2.rdp", "loop.rdp"}));
}

TEST_F(ReplacingFileTest, MappedReplaceCopiesWhatItKeepsAndCommitsThroughTheView)
{
    const std::string path = Path("mapped.rdp");
    std::ofstream(path, std::ios::binary) << "abcdef";
    plat::MappedFile view;
    {
        plat::ReplacingFile out(path, plat::ReplacingFile::Regenerable);
        plat::MappedFile& map = out.Map(10, true);
        ASSERT_TRUE(map);
        EXPECT_EQ(std::string(static_cast<const char*>(map.Data()), 10), std::string("abcdef\0\0\0\0", 10));
        static_cast<char*>(map.Data())[9] = 'z';
        EXPECT_EQ(Get(path), "abcdef");
        out.Commit();
        view = out.TakeView();
    }
    EXPECT_EQ(Get(path), std::string("abcdef\0\0\0z", 10));
    // The view now maps the file at its final name.
    static_cast<char*>(view.Data())[0] = 'A';
    EXPECT_EQ(Get(path)[0], 'A');
    EXPECT_EQ(EntryCount(), 1);

    // Shorter than the old file: only its first bytes are kept.
    plat::ReplacingFile out(path);
    EXPECT_EQ(std::string(static_cast<const char*>(out.Map(3, true).Data()), 3), "Abc");
    EXPECT_EQ(OsErrorOf([&] { out.Map(3, true); }), EINVAL);  // mapped already
    out.Commit();
    EXPECT_EQ(Get(path), "Abc");
}

TEST_F(ReplacingFileTest, FailureOrCancelLeavesTheOldFileAndNoTemporary)
{
    const std::string path = Path("keep.rdp");
    std::ofstream(path, std::ios::binary) << "keep";

    // Cancelled after writing through the view: Discard, and a commit after it fails.
    {
        plat::ReplacingFile out(path);
        std::memset(out.Map(100, false).Data(), 'x', 100);
        out.Discard();
        EXPECT_EQ(EntryCount(), 1);
        EXPECT_EQ(OsErrorOf([&] { out.Commit(); }), EINVAL);
    }
    EXPECT_EQ(OsErrorOf([&] { plat::ReplacingFile(path).Map(0, false); }), EINVAL);

    // The rename fails: a folder took the target's name meanwhile.
    const std::string taken = Path("taken.rdp");
    {
        plat::ReplacingFile out(taken);
        out.Map(8, false);
        ASSERT_EQ(::mkdir(taken.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((taken + "/inside").c_str(), 0755), 0);
        std::string name;
        EXPECT_NE(OsErrorOf([&] { out.Commit(); }, &name), 0);
        EXPECT_EQ(name, taken);
    }
    EXPECT_TRUE(std::filesystem::is_directory(taken + "/inside"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"keep.rdp", "taken.rdp"}));
    EXPECT_EQ(Get(path), "keep");
}

TEST_F(ReplacingFileTest, FileSizeLimitFailsTheWriteInsteadOfEndingTheProgram)
{
    // The test program, like every program, ignores SIGXFSZ from its start: the write
    // past the limit throws, and the temporary is removed on the way out.
    const std::string path = Path("big.rdp");
    std::ofstream(path, std::ios::binary) << "old";
    const std::vector<char> block(64 * 1024, 'b');
    for (bool mapped : {false, true}) {
        SCOPED_TRACE(mapped);
        const int status = testsupport::RunInChild([&] {
            const rlimit limit{16 * 1024, 16 * 1024};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 3;
            int error = OsErrorOf([&] {
                plat::ReplacingFile out(path);
                if (mapped)
                    out.Map(std::int64_t(block.size()), false);
                else
                    out.Out().Write(block.data(), unsigned(block.size()));
                out.Commit();
            });
            return error == EFBIG ? 0 : 1;
        });
        EXPECT_TRUE(testsupport::ExitedWith(status, 0)) << "wait status " << status;
        EXPECT_EQ(Get(path), "old");
        EXPECT_EQ(EntryCount(), 1);
    }
}

TEST_F(ReplacingFileTest, TemporariesOfDeadProcessesGoWithTheNextReplace)
{
    const std::string path = Path("a.rdp");
    std::ofstream(path, std::ios::binary) << "old";
    std::ofstream(Path("b.rdp"), std::ios::binary) << "other";
    // A writer that a file-size limit ends (the signal at its default) leaves its
    // temporary behind.
    const int status = testsupport::RunInChild([&] {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        plat::ReplacingFile out(path);
        const std::vector<char> block(8192, 'x');
        out.Out().Write(block.data(), unsigned(block.size()));
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "wait status " << status;
    ASSERT_EQ(EntryCount(), 3);
    // A writer of this process at work, one of another file, and names that only
    // look alike stay.
    const std::string live = ".a.rdp." + std::to_string(::getpid()) + ".77.1.part";
    const std::vector<std::string> others = {live, ".b.rdp.999999999.0.1.part", ".a.rdp.999999999.x.1.part",
                                             ".a.rdp.999999999.0.1.part.bak"};
    for (const auto& name : others)
        std::ofstream(Path(name.c_str())) << "";

    {
        plat::ReplacingFile out(path);
        out.Out().Write("new", 3);
        out.Commit();
    }
    std::vector<std::string> expected = others;
    expected.insert(expected.end(), {"a.rdp", "b.rdp"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(Get(path), "new");
}

TEST_F(ReplacingFileTest, WritersThroughAMappingHaveTheirBlocksReservedFirst)
{
    // Reserved blocks: a full disk fails the call, never a later write through the
    // view with SIGBUS.
    constexpr std::int64_t kLength = 1 << 20;
    const auto allocated = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? std::int64_t(st.st_blocks) * 512 : -1;
    };
    {
        plat::ReplacingFile out(Path("new.rdp"));
        out.Map(kLength, false);
        EXPECT_GE(allocated(out.TempPath()), kLength);
    }
    // A sparse file mapped for writing.
    const std::string sparse = Path("sparse.rdp");
    {
        plat::File f(sparse.c_str(), plat::File::modeReadWrite | plat::File::modeCreate);
        f.SetLength(kLength);
    }
    ASSERT_LT(allocated(sparse), kLength);
    plat::MappedFile view = plat::MappedFile::Open(sparse, 0, true);
    ASSERT_TRUE(view);
    EXPECT_GE(allocated(sparse), kLength);
}

}  // namespace
