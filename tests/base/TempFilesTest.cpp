#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ScopedEnvFolder.h"
#include "platform/resources/StringTable.h"
#include "VarnokApp.h"
#include "files/TempFiles.h"
#include "settings/SNRegKey.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const plat::StringEntry kHostStrings[] = {{115, "SOFTWARE\\Tolvek\\Quorvex"}};

// Each test gets its own counter (a fresh runtime folder), settings and work folder.
class TempFilesTest : public ::testing::Test {
protected:
    ScopedEnvFolder m_runtime{"XDG_RUNTIME_DIR"};
    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
    ScopedEnvFolder m_work{"SUITE_TEST_FOLDER"};
    plat::StringTableRegistration m_host{"TestHost", kHostStrings, true};

    std::string Work() const { return m_work.Path(); }
};

TEST_F(TempFilesTest, NamesCountFromOneAndSkipTakenNames)
{
    const std::string dir = Work() + "/out";
    fs::create_directory(dir);
    EXPECT_EQ(GetNotExistFileName(dir.c_str()), dir + "/##TEMP1##.rdp");
    EXPECT_TRUE(fs::is_regular_file(dir + "/##TEMP1##.rdp"));  // the name is held by an empty file
    EXPECT_EQ(fs::file_size(dir + "/##TEMP1##.rdp"), 0u);
    // A trailing '/' gives the same form.
    EXPECT_EQ(GetNotExistFileName((dir + "/").c_str()), dir + "/##TEMP2##.rdp");

    const std::string other = Work() + "/other";
    fs::create_directory(other);
    std::ofstream(other + "/##TEMP3##.rdp") << "taken";
    fs::create_symlink(other + "/nowhere", other + "/##TEMP4##.rdp");  // a dangling link is taken too
    EXPECT_EQ(GetNotExistFileName(other.c_str()), other + "/##TEMP5##.rdp");
    EXPECT_EQ(GetNotExistFileName(other.c_str()), other + "/##TEMP6##.rdp");
    std::ifstream taken(other + "/##TEMP3##.rdp");
    std::string content;
    taken >> content;
    EXPECT_EQ(content, "taken");
}

TEST_F(TempFilesTest, NullOrEmptyFolderIsTheCurrentOne)
{
    const fs::path old = fs::current_path();
    fs::current_path(Work());
    const std::string a = GetNotExistFileName(nullptr);
    const std::string b = GetNotExistFileName("");
    fs::current_path(old);
    EXPECT_EQ(a, Work() + "/##TEMP1##.rdp");
    EXPECT_EQ(b, Work() + "/##TEMP2##.rdp");
}

TEST_F(TempFilesTest, LongFoldersAreKeptWholeAndMissingOnesAnsweredWithoutAFile)
{
    std::string deep = Work();
    while (deep.size() < 600)
        deep += "/a-rather-long-folder-name-to-pass-the-old-limit";
    fs::create_directories(deep);
    const std::string name = GetNotExistFileName(deep.c_str());
    EXPECT_EQ(name, deep + "/##TEMP1##.rdp");
    EXPECT_TRUE(fs::exists(name));

    const std::string missing = Work() + "/missing";
    EXPECT_EQ(GetNotExistFileName(missing.c_str()), missing + "/##TEMP2##.rdp");
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(TempFilesTest, ThreadsNeverGetTheSameName)
{
    constexpr int kThreads = 8, kEach = 40;
    std::vector<std::vector<std::string>> names(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                names[t].push_back(GetNotExistFileName(Work().c_str()));
        });
    for (auto& th : threads)
        th.join();
    std::set<std::string> all;
    for (const auto& list : names)
        for (const auto& n : list) {
            EXPECT_TRUE(all.insert(n).second) << n;
            EXPECT_TRUE(fs::exists(n)) << n;
        }
    EXPECT_EQ(all.size(), size_t(kThreads * kEach));
}

constexpr int kChildNames = 300;

// Runs only inside the child processes that TwoProcessesNeverClash starts.
TEST(TempNamesChild, Produce)
{
    const char* dir = std::getenv("SUITE_TEMP_NAMES_DIR");
    const char* out = std::getenv("SUITE_TEMP_NAMES_OUT");
    if (dir == nullptr || out == nullptr)
        GTEST_SKIP() << "runs as a child process of TempFilesTest.TwoProcessesNeverClash";
    std::ofstream list(out);
    for (int i = 0; i < kChildNames; ++i)
        list << GetNotExistFileName(dir) << '\n';
}

pid_t StartChild(const std::string& dir, const std::string& out)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    env.push_back("SUITE_TEMP_NAMES_DIR=" + dir);
    env.push_back("SUITE_TEMP_NAMES_OUT=" + out);
    std::vector<char*> envp;
    for (auto& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string exe = fs::canonical("/proc/self/exe").string();
    std::string filter = "--gtest_filter=TempNamesChild.Produce";
    char* argv[] = {exe.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TEST_F(TempFilesTest, TwoProcessesNeverClash)
{
    const std::string dir = Work() + "/shared";
    fs::create_directory(dir);
    const std::string outs[2] = {Work() + "/child1.txt", Work() + "/child2.txt"};
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
        pids[i] = StartChild(dir, outs[i]);
        ASSERT_GT(pids[i], 0);
    }
    // Take names for as long as the children run, so the three really overlap.
    std::vector<std::string> names;
    int running = 2;
    int statuses[2] = {};
    while (running > 0 || names.size() < size_t(kChildNames)) {
        names.push_back(GetNotExistFileName(dir.c_str()));
        for (int i = 0; i < 2; ++i)
            if (pids[i] > 0 && waitpid(pids[i], &statuses[i], WNOHANG) == pids[i]) {
                pids[i] = 0;
                --running;
            }
    }
    for (int status : statuses)
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const size_t mine = names.size();
    for (const auto& out : outs) {
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);)
            names.push_back(line);
    }
    ASSERT_EQ(names.size(), mine + 2 * kChildNames);
    std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size());
    // One counter served all three: the numbers are exactly 1 to the total.
    for (size_t n = 1; n <= names.size(); ++n)
        EXPECT_EQ(unique.count(dir + "/##TEMP" + std::to_string(n) + "##.rdp"), 1u) << n;
}

void WriteCache(const std::string& path, double flag, std::time_t time, size_t size = kTempInfoSize + 4)
{
    std::vector<unsigned char> bytes(std::max(size, kTempInfoSize), 0xAB);
    CTempInfoStruct(flag, time).Store(bytes.data());
    bytes.resize(size);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(size));
}

void SetTime(const std::string& path, std::time_t t)
{
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(TempInfo, HeaderBytesAreLittleEndian)
{
    unsigned char bytes[kTempInfoSize];
    CTempInfoStruct(1.5, 0x01020304).Store(bytes);
    const unsigned char expected[kTempInfoSize] = {0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(bytes, expected, kTempInfoSize), 0);
    CTempInfoStruct(2.0, -1).Store(bytes);
    const CTempInfoStruct back = CTempInfoStruct::Load(bytes);
    EXPECT_EQ(back.m_flag, 2.0);
    EXPECT_EQ(back.m_time, -1);
}

TEST_F(TempFilesTest, HeadersReadOrDefault)
{
    const std::string d = Work();
    WriteCache(d + "/good.tmp", 1.75, 123456789);
    WriteCache(d + "/exact.tmp", 3.0, 42, kTempInfoSize);
    WriteCache(d + "/short.tmp", 1.75, 123456789, 11);
    WriteCache(d + "/flagonly.tmp", 1.75, 123456789, 8);
    fs::create_directory(d + "/folder.tmp");
    struct Case {
        const char* file;
        double flag;
        std::time_t time;
    } cases[] = {
        {"/good.tmp", 1.75, 123456789}, {"/exact.tmp", 3.0, 42}, {"/short.tmp", 2.0, 0},
        {"/flagonly.tmp", 2.0, 0},      {"/folder.tmp", 2.0, 0}, {"/missing.tmp", 2.0, 0},
    };
    for (const auto& c : cases) {
        const CTempInfoStruct info = GetTMPInfo(d + c.file);
        EXPECT_EQ(info.m_flag, c.flag) << c.file;
        EXPECT_EQ(info.m_time, c.time) << c.file;
    }
    // The flag of the ".tmp" beside a source, whatever its time.
    EXPECT_EQ(GetTMPFlag(d + "/good.rdp"), 1.75f);
    EXPECT_EQ(GetTMPFlag(d + "/short.rdp"), 2.0f);
    EXPECT_EQ(GetTMPFlag(d + "/missing.rdp"), 2.0f);
}

TEST_F(TempFilesTest, MappedCacheStillReads)
{
    const std::string path = Work() + "/mapped.tmp";
    WriteCache(path, 1.25, 77, 4096);
    const int fd = open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    void* view = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ASSERT_NE(view, MAP_FAILED);
    CTempInfoStruct(1.5, 88).Store(static_cast<unsigned char*>(view));
    const CTempInfoStruct info = GetTMPInfo(path);
    EXPECT_EQ(info.m_flag, 1.5);
    EXPECT_EQ(info.m_time, 88);
    EXPECT_EQ(GetTMPFlag(Work() + "/mapped.rdp"), 1.5f);
    munmap(view, 4096);
    close(fd);
}

TEST_F(TempFilesTest, FindsValidCachesBesideTheFileThenInTempDir)
{
    const std::time_t T = 1600000000;
    const std::string src = Work() + "/data.old";
    const std::string temp = Work() + "/cache";
    const auto inTemp = [&](const char* ext) { return TempDirCacheName(temp, src + "/image.rdp", ext); };
    enum Kind {
        None,
        Valid,
        Stale,
        Short
    };
    struct Case {
        const char* label;
        Kind beside;
        Kind inTemp;
        bool tempDirSet;
        int tmf;
        std::string expected;
    } cases[] = {
        {"beside", Valid, None, true, 0, src + "/image.tmp"},
        {"beside before TempDir", Valid, Valid, true, 0, src + "/image.tmp"},
        {"in TempDir", None, Valid, true, 0, inTemp(".tmp")},
        {"stale beside, TempDir valid", Stale, Valid, true, 0, inTemp(".tmp")},
        {"stale beside", Stale, None, true, 0, ""},
        {"stale everywhere", Stale, Stale, true, 0, ""},
        {"TempDir not set", None, Valid, false, 0, ""},
        {"short beside", Short, None, true, 0, ""},
        {"phase beside", Valid, None, true, 1, src + "/image.tmf"},
        {"phase in TempDir", None, Valid, true, 1, inTemp(".tmf")},
        {"nothing", None, None, true, 0, ""},
    };
    for (const auto& c : cases) {
        fs::remove_all(src);
        fs::remove_all(temp);
        fs::remove_all(m_config.Path() + "/Tolvek");
        fs::create_directories(src);
        fs::create_directories(temp);
        std::ofstream(src + "/image.rdp") << "source";
        SetTime(src + "/image.rdp", T);
        const char* ext = c.tmf ? ".tmf" : ".tmp";
        const char* wrongExt = c.tmf ? ".tmp" : ".tmf";
        const auto beside = [&](const char* e) { return src + "/image" + e; };
        for (const auto& [kind, name] : {std::pair{c.beside, std::function<std::string(const char*)>(beside)},
                                         std::pair{c.inTemp, std::function<std::string(const char*)>(inTemp)}}) {
            // The other kind is always valid: it must never be taken for this one.
            WriteCache(name(wrongExt), 2.0, T);
            if (kind == Valid)
                WriteCache(name(ext), 2.0, T);
            else if (kind == Stale)
                WriteCache(name(ext), 2.0, T - 1);
            else if (kind == Short)
                WriteCache(name(ext), 2.0, T, 10);
        }
        if (c.tempDirSet) {
            CSNRegKey w;
            ASSERT_EQ(w.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()), 1);
            ASSERT_EQ(w.SetStringValue(temp.c_str(), "TempDir"), 1);
        }
        EXPECT_EQ(FindTMPFile(src + "/image.rdp", c.tmf), c.expected) << c.label;
    }
}

TEST_F(TempFilesTest, TempDirNamesCarryAHashOfTheSourcesFullPath)
{
    fs::create_directories(Work() + "/a");
    fs::create_directories(Work() + "/b");
    std::ofstream(Work() + "/a/img.rdp") << "a";
    fs::create_symlink(Work() + "/a", Work() + "/link");
    const std::string a = TempDirCacheName("/cache", Work() + "/a/img.rdp", ".tmp");
    const std::string b = TempDirCacheName("/cache/", Work() + "/b/img.rdp", ".tmp");
    // "/cache/img-" + 8 hex digits + ".tmp"
    ASSERT_EQ(a.size(), std::string("/cache/img-12345678.tmp").size()) << a;
    EXPECT_EQ(a.substr(0, 11), "/cache/img-");
    EXPECT_EQ(a.substr(19), ".tmp");
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef", 11), 19u) << a;
    EXPECT_NE(a, b);
    EXPECT_EQ(b.substr(0, 11), "/cache/img-");
    // One file reached by other paths keeps its name; the extension only changes the end.
    const fs::path old = fs::current_path();
    fs::current_path(Work());
    EXPECT_EQ(TempDirCacheName("/cache", "a/../a/img.rdp", ".tmp"), a);
    fs::current_path(old);
    EXPECT_EQ(TempDirCacheName("/cache", Work() + "/link/img.rdp", ".tmp"), a);
    EXPECT_EQ(TempDirCacheName("/cache", Work() + "/a/img.rdp", ".tmf"), a.substr(0, 19) + ".tmf");
}

// A cache cut short (or grown) keeps its header time but not the length its
// layout gives: with the length asked for, it is not valid.
TEST_F(TempFilesTest, FindWithALengthTakesOnlyCachesOfExactlyThatLength)
{
    const std::time_t T = 1650000000;
    const std::string dir = Work() + "/len";
    const std::string temp = Work() + "/lencache";
    const size_t exact = 5000;
    const std::string inTemp = TempDirCacheName(temp, dir + "/image.rdp", ".tmp");
    struct Case {
        const char* label;
        size_t beside, inTemp;  // 0: no file
        std::int64_t asked;
        std::string expected;
    } cases[] = {
        {"exact", exact, 0, std::int64_t(exact), dir + "/image.tmp"},
        {"cut short", exact - 1, 0, std::int64_t(exact), ""},
        {"header only", kTempInfoSize, 0, std::int64_t(exact), ""},
        {"too long", exact + 4096, 0, std::int64_t(exact), ""},
        {"short beside, exact in TempDir", 100, exact, std::int64_t(exact), inTemp},
        {"no length asked", 100, 0, -1, dir + "/image.tmp"},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir);
        fs::remove_all(temp);
        fs::create_directories(dir);
        fs::create_directories(temp);
        std::ofstream(dir + "/image.rdp") << "source";
        SetTime(dir + "/image.rdp", T);
        if (c.beside)
            WriteCache(dir + "/image.tmp", 2.0, T, c.beside);
        if (c.inTemp)
            WriteCache(inTemp, 2.0, T, c.inTemp);
        CSNRegKey w;
        ASSERT_EQ(w.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()), 1);
        ASSERT_EQ(w.SetStringValue(temp.c_str(), "TempDir"), 1);
        EXPECT_EQ(FindTMPFile(dir + "/image.rdp", 0, c.asked), c.expected) << c.label;
    }
}

TEST_F(TempFilesTest, FindAnswersFullPathsAndNeverTheSourceItself)
{
    const std::time_t T = 1700000000;
    fs::create_directories(Work() + "/d");
    std::ofstream(Work() + "/d/img.rdp") << "x";
    SetTime(Work() + "/d/img.rdp", T);
    WriteCache(Work() + "/d/img.tmp", 2.0, T);
    const fs::path old = fs::current_path();
    fs::current_path(Work());
    EXPECT_EQ(FindTMPFile("d/../d/img.rdp", 0), Work() + "/d/img.tmp");
    fs::current_path(old);

    // A raster file named like a cache is not its own cache, even with a matching time.
    WriteCache(Work() + "/d/raster.tmp", 2.0, 0);
    SetTime(Work() + "/d/raster.tmp", 0);
    EXPECT_EQ(FindTMPFile(Work() + "/d/raster.tmp", 0), "");
    // No status, no cache; an unreadable header never matches a source from 1970.
    EXPECT_EQ(FindTMPFile(Work() + "/d/missing.rdp", 0), "");
    std::ofstream(Work() + "/d/epoch.rdp") << "x";
    SetTime(Work() + "/d/epoch.rdp", 0);
    WriteCache(Work() + "/d/epoch.tmp", 2.0, 0, 4);
    EXPECT_EQ(FindTMPFile(Work() + "/d/epoch.rdp", 0), "");
    EXPECT_EQ(FindTMPFile("", 0), "");
}

TEST(TempInfo, StretchFactorTolerance)
{
    struct Case {
        double stored, k;
        bool same;
    } cases[] = {
        {2.0, 2.0, true},  {2.0, 2.00009, true}, {2.0, 1.99991, true}, {2.0, 2.0002, false},
        {1.5, 2.0, false}, {NAN, 2.0, false},    {2.0, NAN, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TMPFlagMatches(c.stored, c.k), c.same) << c.stored << " " << c.k;
}

TEST_F(TempFilesTest, DeletesOnlyTheFilesOwnCaches)
{
    const std::string d = Work();
    struct Case {
        const char* label;
        const char* source;  // relative to the work folder
        bool sourceExists;
        int which;
        std::vector<const char*> present;
        std::vector<const char*> remaining;
        int result;
    } cases[] = {
        {"both", "a.b/img.rdp", true, 0, {"a.b/img.tmp", "a.b/img.tmf"}, {}, 1},
        {"tmp only", "a.b/img.rdp", true, 1, {"a.b/img.tmp", "a.b/img.tmf"}, {"a.b/img.tmf"}, 1},
        {"tmf only", "a.b/img.rdp", true, 2, {"a.b/img.tmp", "a.b/img.tmf"}, {"a.b/img.tmp"}, 1},
        {"missing source", "x.rdp", false, 0, {"x.tmp", "x.tmf"}, {}, 1},
        {"no extension",
         "dir.d/img",
         true,
         0,
         {"dir.d/img.tmp", "dir.tmp", "dir.d/i.tmp"},
         {"dir.tmp", "dir.d/i.tmp"},
         1},
        {"missing, no extension", "dir.d/img", false, 0, {"dir.d/img.tmp", "dir.d/i.tmp"}, {"dir.d/i.tmp"}, 1},
        {"source named like a cache", "s.tmp", true, 0, {"s.tmf"}, {}, 1},
        {"nothing there", "n.rdp", true, 0, {}, {}, 0},
    };
    for (const auto& c : cases) {
        fs::remove_all(d + "/t");
        fs::create_directories(d + "/t/a.b");
        fs::create_directories(d + "/t/dir.d");
        for (const char* p : c.present)
            std::ofstream(d + "/t/" + p) << "cache";
        const std::string source = d + "/t/" + c.source;
        if (c.sourceExists)
            std::ofstream(source) << "source";
        EXPECT_EQ(DeleteTMPFiles(c.which, source), c.result) << c.label;
        for (const char* p : c.present) {
            const bool kept = std::find_if(c.remaining.begin(), c.remaining.end(),
                                           [&](const char* r) { return std::string(r) == p; }) != c.remaining.end();
            EXPECT_EQ(fs::exists(d + "/t/" + p), kept) << c.label << ": " << p;
        }
        if (c.sourceExists) {
            EXPECT_TRUE(fs::exists(source)) << c.label;
        }
    }
    EXPECT_EQ(DeleteTMPFiles(0, ""), 0);
}

}  // namespace
