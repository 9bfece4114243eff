#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TempDir.h"
#include "files/MemoryMap.h"

namespace fs = std::filesystem;

namespace {

int RegistrySize()
{
    std::lock_guard lock(CMemoryMap::m_FileOpenLock);
    int n = 0;
    while (CMemoryMap::m_FileOpenList.GetElementAddress(n) != nullptr)
        ++n;
    return n;
}

class MemoryMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::canonical(m_scratch.Path()).string();
        m_registry = RegistrySize();
    }

    void TearDown() override { EXPECT_EQ(RegistrySize(), m_registry) << "a mapping was left registered"; }

    std::string PathOf(const std::string& name) const { return m_dir + "/" + name; }

    std::string MakeFile(const std::string& name, const std::string& bytes) const
    {
        std::string path = PathOf(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string FileBytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.insert(e.path().filename().string());
        return names;
    }

    static void ExpectEmpty(const CMemoryMap& map)
    {
        EXPECT_EQ(map.AdresData(), nullptr);
        EXPECT_EQ(map.GetFileName(), "");
        EXPECT_EQ(map.Length(), 0);
    }

    testsupport::TempDir m_scratch;
    std::string m_dir;
    int m_registry = 0;
};

TEST_F(MemoryMapTest, SameFileSharesOneViewReleasedInEitherOrder)
{
    struct Case {
        int firstWritable;
        int secondWritable;
        bool firstReleasedFirst;
    };
    const Case cases[] = {
        {0, 0, true}, {0, 0, false}, {1, 0, true}, {1, 0, false}, {1, 1, true}, {1, 1, false},
    };
    std::string path = MakeFile("shared.rdp", "shared bytes");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firstWritable << c.secondWritable << c.firstReleasedFirst);
        CMemoryMap first;
        CMemoryMap second;
        void* view = first.Open(path, 0, c.firstWritable);
        ASSERT_NE(view, nullptr);
        // A different spelling of the same file still finds the view.
        EXPECT_EQ(second.Open(m_dir + "/./shared.rdp", 0, c.secondWritable), view);
        EXPECT_EQ(second.GetFileName(), path);
        EXPECT_EQ(RegistrySize(), m_registry + 1);

        CMemoryMap& gone = c.firstReleasedFirst ? first : second;
        CMemoryMap& kept = c.firstReleasedFirst ? second : first;
        gone.DeleteData();
        ExpectEmpty(gone);
        EXPECT_EQ(kept.AdresData(), view);
        EXPECT_EQ(std::memcmp(view, "shared bytes", 12), 0);
        EXPECT_EQ(RegistrySize(), m_registry + 1);
        kept.Close();
        EXPECT_EQ(RegistrySize(), m_registry);
    }
}

TEST_F(MemoryMapTest, ReadOnlyViewIsNotReusedForWriting)
{
    std::string path = MakeFile("access.rdp", "0123456789");
    CMemoryMap reader;
    CMemoryMap writer;
    CMemoryMap reader2;
    auto* ro = static_cast<const char*>(reader.Open(path, 0, 0));
    auto* rw = static_cast<char*>(writer.Open(path, 0, 1));
    ASSERT_NE(ro, nullptr);
    ASSERT_NE(rw, nullptr);
    EXPECT_NE(static_cast<const void*>(ro), static_cast<void*>(rw));
    EXPECT_EQ(RegistrySize(), m_registry + 2);
    EXPECT_NE(reader2.Open(path, 0, 0), nullptr);
    EXPECT_EQ(RegistrySize(), m_registry + 2);

    // Both views show the file's pages: a write through one is seen in the other and on disk.
    rw[0] = 'X';
    EXPECT_EQ(ro[0], 'X');
    EXPECT_EQ(FileBytes(path), "X123456789");

    // The read-only object refuses writes even though a writable view of the file exists.
    EXPECT_EQ(reader.Write("ab", 2), 0);
    EXPECT_EQ(ro[0], 'X');
    writer.Seek(1, 0);
    EXPECT_EQ(writer.Write("ab", 2), 2);
    EXPECT_EQ(FileBytes(path), "Xab3456789");
}

TEST_F(MemoryMapTest, RefusedOpenLeavesTheObjectEmptyAndCreatesNothing)
{
    MakeFile("empty.rdp", "");
    MakeFile("short.rdp", "abc");
    fs::create_directory(PathOf("folder"));
    ASSERT_EQ(::mkfifo(PathOf("fifo").c_str(), 0600), 0);
    struct Case {
        std::string name;
        int size;
        int writable;
    };
    const Case cases[] = {
        {PathOf("missing.rdp"), 0, 0},
        {PathOf("missing.rdp"), 0, 1},
        {PathOf("nofolder/missing.rdp"), 0, 0},
        {PathOf("empty.rdp"), 0, 0},
        {PathOf("empty.rdp"), 0, 1},
        {PathOf("folder"), 0, 0},
        {PathOf("fifo"), 0, 0},
        {PathOf("fifo"), 0, 1},
        {PathOf("short.rdp"), -1, 0},
        {PathOf("short.rdp"), 4, 0},  // longer than the file, read-only
        {"", 0, 0},
    };
    std::set<std::string> before = Names();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.size) + " " + std::to_string(c.writable));
        CMemoryMap map;
        ASSERT_NE(map.Open(PathOf("short.rdp"), 0, 0), nullptr);
        EXPECT_EQ(map.Open(c.name, c.size, c.writable), nullptr);
        ExpectEmpty(map);
        EXPECT_EQ(RegistrySize(), m_registry);
    }
    EXPECT_EQ(Names(), before);
    EXPECT_EQ(FileBytes(PathOf("short.rdp")), "abc");
}

TEST_F(MemoryMapTest, OpenSizeSetsTheView)
{
    std::string path = MakeFile("sized.rdp", "abcdef");
    CMemoryMap map;
    ASSERT_NE(map.Open(path, 3, 0), nullptr);
    EXPECT_EQ(map.Length(), 3);
    EXPECT_EQ(FileBytes(path), "abcdef");

    // Read/write and larger than the file: the file grows, its bytes kept.
    auto* p = static_cast<char*>(map.Open(path, 10, 1));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(map.Length(), 10);
    EXPECT_EQ(std::string(p, 10), std::string("abcdef\0\0\0\0", 10));
    EXPECT_EQ(GetFileLength(path.c_str()), 10);
    EXPECT_EQ(Names(), std::set<std::string>{"sized.rdp"});
}

TEST_F(MemoryMapTest, LengthIsTheViewsNotTheFilesCurrentSize)
{
    std::string path = MakeFile("grown.rdp", "1234");
    CMemoryMap map;
    ASSERT_NE(map.Open(path, 0, 0), nullptr);
    std::ofstream(path, std::ios::binary | std::ios::app) << "5678";
    EXPECT_EQ(GetFileLength(path.c_str()), 8);
    EXPECT_EQ(map.Length(), 4);
    char buf[8];
    EXPECT_EQ(map.Read(buf, 5), 0);
    EXPECT_EQ(map.Read(buf, 4), 4);
    // A whole-file view of the grown file is a new view; the short one is kept.
    CMemoryMap second;
    ASSERT_NE(second.Open(path, 0, 0), nullptr);
    EXPECT_EQ(second.Length(), 8);
    EXPECT_EQ(second.Read(buf, 8), 8);
    EXPECT_EQ(std::string(buf, 8), "12345678");
    EXPECT_EQ(map.Length(), 4);
    // A view that covers the file is shared again.
    CMemoryMap third;
    ASSERT_NE(third.Open(path, 0, 0), nullptr);
    EXPECT_EQ(third.AdresData(), second.AdresData());
}

TEST_F(MemoryMapTest, ReadWriteAndSeekStayInsideTheView)
{
    std::string path = MakeFile("cursor.rdp", "0123456789");
    CMemoryMap map;
    ASSERT_NE(map.Open(path, 0, 1), nullptr);

    struct SeekCase {
        long offset;
        int origin;
        long cursor;
    };
    const SeekCase seeks[] = {
        {3, 0, 3},  {3, 4, 7},  {9, 0, 9},        {10, 0, 9},        {100, 0, 9},
        {-1, 0, 0}, {5, -8, 0}, {LONG_MAX, 1, 9}, {LONG_MIN, -1, 0},
    };
    for (const auto& s : seeks) {
        SCOPED_TRACE(s.offset);
        EXPECT_EQ(map.Seek(s.offset, s.origin), s.cursor);
    }

    struct IoCase {
        long at;
        int n;
        int result;  // bytes moved; 0 when the range leaves the view
    };
    const IoCase io[] = {{0, 10, 10}, {0, 11, 0}, {8, 2, 2},  {8, 3, 0},
                         {9, 1, 1},   {0, 0, 0},  {0, -1, 0}, {5, INT_MAX, 0}};
    const char digits[] = "0123456789";
    char buf[16] = {};
    for (const auto& c : io) {
        SCOPED_TRACE(testing::Message() << c.at << " " << c.n);
        map.Seek(c.at, 0);
        EXPECT_EQ(map.Read(buf, c.n), c.result);
        // The cursor moved by exactly what was copied.
        long next = c.at + c.result;
        char after = 0;
        EXPECT_EQ(map.Read(&after, 1), next < 10 ? 1 : 0);
        if (next < 10) {
            EXPECT_EQ(after, digits[next]);
        }
        map.Seek(c.at, 0);
        EXPECT_EQ(map.Write(digits + c.at, c.n), c.result);
    }
    EXPECT_EQ(FileBytes(path), "0123456789");
    map.Seek(2, 0);
    EXPECT_EQ(map.Read(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "234");
    EXPECT_EQ(map.Read(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "567");
    EXPECT_EQ(map.Read(nullptr, 1), 0);

    map.Close();
    EXPECT_EQ(map.Seek(5, 0), 0);
    EXPECT_EQ(map.Read(buf, 1), 0);
    EXPECT_EQ(map.Write(buf, 1), 0);
}

TEST_F(MemoryMapTest, TemporaryFileGoesWithTheLastRelease)
{
    for (bool creatorFirst : {true, false}) {
        SCOPED_TRACE(creatorFirst);
        std::string path = PathOf("##TEMP1##.rdp");
        CMemoryMap creator;
        CMemoryMap reader;
        void* view = creator.Create(path, 4096, 1);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(creator.Length(), 4096);
        EXPECT_EQ(reader.Open(path, 0, 0), view);
        EXPECT_EQ(Names(), std::set<std::string>{"##TEMP1##.rdp"});
        (creatorFirst ? creator : reader).Close();
        EXPECT_TRUE(fs::exists(path));
        (creatorFirst ? reader : creator).Close();
        EXPECT_FALSE(fs::exists(path));
    }

    CMemoryMap kept;
    ASSERT_NE(kept.Create(PathOf("kept.rdp"), 16, 0), nullptr);
    kept.Close();
    EXPECT_EQ(GetFileLength(PathOf("kept.rdp").c_str()), 16);
}

TEST_F(MemoryMapTest, CreateGivesZeroedFileOfExactSize)
{
    std::string path = MakeFile("new.rdp", std::string(100, 'x'));
    CMemoryMap map;
    auto* p = static_cast<const char*>(map.Create(path, 10, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, 10), std::string(10, '\0'));
    EXPECT_EQ(map.GetFileName(), path);
    EXPECT_EQ(FileBytes(path), std::string(10, '\0'));
    EXPECT_EQ(Names(), std::set<std::string>{"new.rdp"});
}

TEST_F(MemoryMapTest, RefusedCreateLeavesNothingBehind)
{
    std::string existing = MakeFile("existing.rdp", "keep me");
    struct Case {
        std::string name;
        int size;
    };
    const std::vector<Case> cases = {
        {PathOf("zero.rdp"), 0},           {PathOf("negative.rdp"), -5},        {existing, 0},
        {PathOf("nofolder/file.rdp"), 16}, {PathOf(std::string(260, 'n')), 16}, {PathOf(""), 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 80) + " " + std::to_string(c.size));
        CMemoryMap map;
        EXPECT_EQ(map.Create(c.name, c.size, 0), nullptr);
        EXPECT_EQ(map.Create(c.name, c.size, 1), nullptr);
        ExpectEmpty(map);
        EXPECT_EQ(Names(), std::set<std::string>{"existing.rdp"});
    }
    EXPECT_EQ(FileBytes(existing), "keep me");

    if (::geteuid() != 0) {  // root may write anything
        std::string locked = MakeFile("locked.rdp", "locked");
        ::chmod(locked.c_str(), 0444);
        CMemoryMap map;
        EXPECT_EQ(map.Create(locked, 16, 0), nullptr);
        EXPECT_EQ(FileBytes(locked), "locked");
        ::chmod(m_dir.c_str(), 0555);
        EXPECT_EQ(map.Create(PathOf("nowrite.rdp"), 16, 0), nullptr);
        ::chmod(m_dir.c_str(), 0755);
        EXPECT_EQ(Names(), (std::set<std::string>{"existing.rdp", "locked.rdp"}));
    }
}

TEST_F(MemoryMapTest, CreateOverAMappedFileLeavesTheOldViewWhole)
{
    std::string path = MakeFile("busy.rdp", "old content");
    CMemoryMap old;
    auto* before = static_cast<const char*>(old.Open(path, 0, 1));
    ASSERT_NE(before, nullptr);
    CMemoryMap fresh;
    auto* after = static_cast<char*>(fresh.Create(path, 4, 0));
    ASSERT_NE(after, nullptr);
    EXPECT_NE(static_cast<const void*>(before), static_cast<void*>(after));
    EXPECT_EQ(std::string(before, 11), "old content");
    std::memcpy(after, "new!", 4);
    EXPECT_EQ(FileBytes(path), "new!");

    // Opening the path now finds the new file, not the old view.
    CMemoryMap again;
    EXPECT_EQ(again.Open(path, 0, 1), after);
    EXPECT_EQ(Names(), std::set<std::string>{"busy.rdp"});
}

TEST_F(MemoryMapTest, CopiesAreCountedUsersOfTheView)
{
    std::string path = PathOf("copied.rdp");
    auto* original = new CMemoryMap;
    void* view = original->Create(path, 64, 1);
    ASSERT_NE(view, nullptr);
    original->Seek(5, 0);

    auto* copy = new CMemoryMap(*original);
    EXPECT_EQ(copy->AdresData(), view);
    EXPECT_EQ(copy->GetFileName(), path);
    EXPECT_EQ(copy->Length(), 64);

    CMemoryMap assigned;
    ASSERT_NE(assigned.Open(MakeFile("other.rdp", "x"), 0, 0), nullptr);
    assigned = *copy;
    EXPECT_EQ(assigned.AdresData(), view);
    EXPECT_EQ(RegistrySize(), m_registry + 1);  // other.rdp was released

    CMemoryMap moved(std::move(assigned));
    ExpectEmpty(assigned);
    EXPECT_EQ(moved.AdresData(), view);

    // Self-assignment changes nothing.
    CMemoryMap& alias = moved;
    moved = alias;
    EXPECT_EQ(moved.AdresData(), view);

    // Three users were made; only the last release unmaps and removes the file.
    EXPECT_EQ(original->Resize(128), nullptr);  // shared: refused
    delete original;
    delete copy;
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(std::memcmp(moved.AdresData(), std::string(64, '\0').data(), 64), 0);
    moved.Close();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(RegistrySize(), m_registry);
    assigned.Close();  // empty: nothing to release
}

TEST_F(MemoryMapTest, ResizeRemapsTheFileAndKeepsItsBytes)
{
    for (int temporary : {0, 1}) {
        SCOPED_TRACE(temporary);
        std::string path = PathOf("resized.rdp");
        CMemoryMap map;
        EXPECT_EQ(map.Resize(10), nullptr);  // nothing mapped
        auto* p = static_cast<char*>(map.Create(path, 8, temporary));
        ASSERT_NE(p, nullptr);
        std::memcpy(p, "12345678", 8);
        EXPECT_EQ(map.Resize(0), nullptr);
        EXPECT_EQ(map.AdresData(), p);  // a refused resize leaves the view alone

        p = static_cast<char*>(map.Resize(12));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(map.Length(), 12);
        EXPECT_EQ(std::string(p, 12), std::string("12345678\0\0\0\0", 12));
        EXPECT_EQ(FileBytes(path), std::string("12345678\0\0\0\0", 12));

        p = static_cast<char*>(map.Resize(4));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(map.Length(), 4);
        EXPECT_EQ(std::string(p, 4), "1234");
        EXPECT_EQ(Names(), std::set<std::string>{"resized.rdp"});
        EXPECT_EQ(RegistrySize(), m_registry + 1);
        map.Close();
        EXPECT_EQ(fs::exists(path), temporary == 0);
        fs::remove(path);
    }
}

TEST_F(MemoryMapTest, DeleteAllMappingLeavesHoldersSafe)
{
    std::string temp = PathOf("temp.rdp");
    CMemoryMap a;
    CMemoryMap b;
    CMemoryMap c;
    ASSERT_NE(a.Create(temp, 32, 1), nullptr);
    ASSERT_NE(b.Open(temp, 0, 0), nullptr);
    ASSERT_NE(c.Open(MakeFile("plain.rdp", "plain"), 0, 0), nullptr);
    DeleteAllMapping();
    EXPECT_EQ(RegistrySize(), 0);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(fs::exists(PathOf("plain.rdp")));

    // A new entry may take a freed entry's address; the old holders must not touch it.
    CMemoryMap d;
    ASSERT_NE(d.Open(PathOf("plain.rdp"), 0, 0), nullptr);
    EXPECT_EQ(a.Resize(64), nullptr);
    CMemoryMap copy(c);
    ExpectEmpty(copy);
    a.Close();
    b.Close();
    c.Close();
    EXPECT_EQ(RegistrySize(), 1);
    EXPECT_EQ(std::memcmp(d.AdresData(), "plain", 5), 0);
    d.Close();
    m_registry = 0;
}

TEST_F(MemoryMapTest, LengthsBeyondAnIntAreRefused)
{
    std::string path = PathOf("huge.rdp");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(INT_MAX) + 2), 0);  // sparse
    ::pwrite(fd, "tail", 4, static_cast<off_t>(INT_MAX) - 2);
    ::close(fd);

    EXPECT_EQ(GetFileLength(path.c_str()), -1);
    CMemoryMap map;
    EXPECT_EQ(map.Open(path, 0, 0), nullptr);
    // Its first bytes still map: offsets inside are 64-bit.
    auto* p = static_cast<const char*>(map.Open(path, INT_MAX, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p + INT_MAX - 2, 2), "ta");
}

TEST(MemoryMapFree, GetFileLengthAndTestFileList)
{
    EXPECT_EQ(GetFileLength(nullptr), -1);
    EXPECT_EQ(GetFileLength(""), -1);
    EXPECT_EQ(GetFileLength("/nonexistent/file.rdp"), -1);
    EXPECT_EQ(GetFileLength("/"), -1);
    EXPECT_EQ(GetFileLength(SUITE_SOURCE_DIR "/CMakeLists.txt"),
              static_cast<int>(fs::file_size(SUITE_SOURCE_DIR "/CMakeLists.txt")));

    // The entry's full path against a text path, exactly; user plays no part.
    MapFileEntry entry;
    entry.path = "/data/Img.rdp";
    char path[] = "/data/Img.rdp";
    const struct {
        void* entry;
        const char* path;
        int user;
        int result;
    } kCases[] = {
        {nullptr, path, 0, 0},
        {&entry, nullptr, 0, 0},
        {&entry, path, 0, 1},
        {&entry, path, 1, 1},
        {&entry, path, -5, 1},
        {&entry, "/data/img.rdp", 0, 0},
        {&entry, "/data/Img.rdp/", 0, 0},
        {&entry, "/data/Img.rd", 0, 0},
        {&entry, "", 0, 0},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(TestFileList(c.entry, const_cast<char*>(c.path), c.user), c.result)
            << (c.path ? c.path : "(null)") << " " << c.user;
}

// The registry can be searched by the full path of a live view.
TEST_F(MemoryMapTest, RegistryIsSearchedByFullPath)
{
    const std::string path = MakeFile("a.rdp", "abcdef");
    CMemoryMap map;
    ASSERT_NE(map.Open(path, 0, 0), nullptr);
    std::string full = map.GetFileName();
    std::lock_guard lock(CMemoryMap::m_FileOpenLock);
    EXPECT_NE(CMemoryMap::m_FileOpenList.GetElementWithProperty(TestFileList, full.data(), 0), nullptr);
    std::string other = PathOf("b.rdp");
    EXPECT_EQ(CMemoryMap::m_FileOpenList.GetElementWithProperty(TestFileList, other.data(), 0), nullptr);
}

// Mapping and releasing from several threads at once, each on its own files plus
// one file they all share. Run once under ThreadSanitizer as well.
TEST_F(MemoryMapTest, ConcurrentOpenAndCloseFromSeveralThreads)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 150;
    std::string common = MakeFile("common.rdp", std::string(4096, 'c'));
    std::vector<std::string> own;
    for (int t = 0; t < kThreads; ++t)
        own.push_back(MakeFile("own" + std::to_string(t) + ".rdp", std::string(4096, static_cast<char>('a' + t))));

    std::atomic<int> faults{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const char mark = static_cast<char>('a' + t);
            for (int r = 0; r < kRounds; ++r) {
                CMemoryMap mine;
                auto* p = static_cast<char*>(mine.Open(own[t], 0, r % 2));
                if (p == nullptr || p[r] != mark || mine.Length() != 4096)
                    ++faults;
                CMemoryMap shared;
                auto* s = static_cast<const char*>(shared.Open(common, 0, 0));
                if (s == nullptr || s[4095] != 'c')
                    ++faults;
                CMemoryMap copy(shared);
                if (r % 3 == 0)
                    shared.Close();

                std::string tempPath = own[t] + ".tmp" + std::to_string(r);
                CMemoryMap temp;
                CMemoryMap reader;
                auto* q = static_cast<char*>(temp.Create(tempPath, 64, 1));
                if (q == nullptr || reader.Open(tempPath, 0, 0) != q)
                    ++faults;
                else
                    q[0] = mark;
                temp.Close();
                reader.Close();
                if (access(tempPath.c_str(), F_OK) == 0)
                    ++faults;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(faults.load(), 0);
    std::set<std::string> expected{"common.rdp"};
    for (int t = 0; t < kThreads; ++t)
        expected.insert("own" + std::to_string(t) + ".rdp");
    EXPECT_EQ(Names(), expected);
}

// Two processes, each with its own mapping of one file, see each other's writes.
TEST_F(MemoryMapTest, TwoProcessesSeeEachOthersWrites)
{
    std::string path = MakeFile("two.rdp", std::string(4096, '\0'));
    int toChild[2];
    int toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(toChild[1]);
        ::close(toParent[0]);
        int code = 0;
        char step = 0;
        CMemoryMap map;
        auto* p = static_cast<char*>(map.Open(path, 0, 1));
        if (p == nullptr)
            ::_exit(2);
        if (::write(toParent[1], "m", 1) != 1 || ::read(toChild[0], &step, 1) != 1)
            ::_exit(3);
        if (std::memcmp(p, "parent", 6) != 0)
            code = 4;
        std::memcpy(p + 100, "child", 5);
        if (::write(toParent[1], "w", 1) != 1 || ::read(toChild[0], &step, 1) != 1)
            ::_exit(5);
        map.Close();
        ::_exit(code);
    }
    ::close(toChild[0]);
    ::close(toParent[1]);
    CMemoryMap map;  // mapped after the fork, so the two mappings are independent
    auto* p = static_cast<char*>(map.Open(path, 0, 1));
    char step = 0;
    EXPECT_NE(p, nullptr);
    bool ok = p != nullptr && ::read(toParent[0], &step, 1) == 1;
    if (ok) {
        std::memcpy(p, "parent", 6);
        ok = ::write(toChild[1], "p", 1) == 1 && ::read(toParent[0], &step, 1) == 1;
    }
    EXPECT_TRUE(ok);
    if (ok) {
        // Checked while the child still holds its mapping.
        EXPECT_EQ(std::memcmp(p + 100, "child", 5), 0);
        EXPECT_EQ(::write(toChild[1], "d", 1), 1);
    }
    ::close(toChild[1]);  // a child still waiting after a failure sees the end and exits
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(toParent[0]);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    map.Close();
    std::string bytes = FileBytes(path);
    EXPECT_EQ(bytes.substr(0, 6), "parent");
    EXPECT_EQ(bytes.substr(100, 5), "child");
}

}  // namespace
