// The conversion road: outputs written beside their targets and committed together
// or not at all, files compared as files, every existing output reported.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"
#include "conversion/ConversionJob.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"

namespace {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Names of the folder's entries, hidden ones included.
std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteAll(ConversionJob& job, int output, const std::string& bytes)
{
    job.Output(output).Out().Write(bytes.data(), unsigned(bytes.size()));
}

class ConversionJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Write(m_dir.File("in.raw"), "input bytes");
        Write(m_dir.File("old.rdp"), "old output");
    }
    testsupport::TempDir m_dir;
};

}  // namespace

// A job that commits replaces the old output and makes the new one; a job that
// stops at any step before its commit leaves every file as it was and no temporary.
TEST_F(ConversionJobTest, OutputsAreCommittedTogetherOrNotAtAll)
{
    const std::string in = m_dir.File("in.raw"), old = m_dir.File("old.rdp"), fresh = m_dir.File("new.rdp");
    const std::vector<std::string> before = Entries(m_dir.Path());
    struct Case {
        const char* what;
        std::function<void(ConversionJob&)> stop;  // ends the job without a commit
    };
    const Case cases[] = {
        {"gone right after Open", [](ConversionJob&) {}},
        {"gone after the first output", [](ConversionJob& j) { WriteAll(j, 0, "new first"); }},
        {"gone with both written",
         [](ConversionJob& j) {
             WriteAll(j, 0, "new first");
             WriteAll(j, 1, "new second");
         }},
        {"discarded (a cancel)",
         [](ConversionJob& j) {
             WriteAll(j, 0, "new first");
             j.Discard();
             EXPECT_FALSE(j.Commit());
         }},
        {"an exception through the job",
         [](ConversionJob& j) {
             try {
                 WriteAll(j, 0, "x");
                 throw 11;
             } catch (int) {
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            ConversionJob job;
            job.AddInput(in);
            job.AddOutput(old);
            job.AddOutput(fresh);
            ASSERT_TRUE(job.Open()) << job.Error();
            // The temporaries lie beside their targets while the job runs.
            EXPECT_EQ(Entries(m_dir.Path()).size(), before.size() + 2);
            c.stop(job);
        }
        EXPECT_EQ(Read(old), "old output");
        EXPECT_EQ(Read(in), "input bytes");
        EXPECT_FALSE(Exists(fresh));
        EXPECT_EQ(Entries(m_dir.Path()), before);
    }

    ConversionJob job;
    const int i = job.AddInput(in);
    job.AddOutput(old);
    job.AddOutput(fresh);
    ASSERT_TRUE(job.Open());
    char head[5] = {};
    EXPECT_EQ(job.ReadAt(i, 6, head, 4), 4);
    EXPECT_EQ(std::string(head), "byte");
    WriteAll(job, 0, "new first");
    WriteAll(job, 1, "new second");
    ASSERT_TRUE(job.Commit()) << job.Error();
    EXPECT_EQ(Read(old), "new first");
    EXPECT_EQ(Read(fresh), "new second");
    EXPECT_EQ(Entries(m_dir.Path()), (std::vector<std::string>{"in.raw", "new.rdp", "old.rdp"}));
}

// An output that is an input, by any name, or two outputs naming one file, are
// refused with the file named before anything is written; letter case makes
// another file.
TEST_F(ConversionJobTest, FilesAreComparedAsFiles)
{
    const std::string dir = m_dir.Path(), in = m_dir.File("in.raw");
    std::filesystem::create_directory(m_dir.File("sub"));
    ASSERT_EQ(::symlink(in.c_str(), m_dir.File("link.raw").c_str()), 0);
    ASSERT_EQ(::link(in.c_str(), m_dir.File("hard.raw").c_str()), 0);
    ASSERT_EQ(::symlink("later.rdp", m_dir.File("dangling.rdp").c_str()), 0);
    // Relative names below are relative to the folder.
    struct Cwd {
        std::filesystem::path saved = std::filesystem::current_path();
        ~Cwd() { std::filesystem::current_path(saved); }
    } cwd;
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    struct Case {
        const char* what;
        std::vector<std::string> inputs, outputs;
        std::string refusal;  // "" when the job may go
    };
    const std::string isInput = "The output file is an input of this conversion:\n";
    const std::string twice = "Two outputs of this conversion name one file:\n";
    const Case cases[] = {
        {"the same name", {in}, {in}, isInput + in},
        {"./ against the bare name", {"in.raw"}, {"./in.raw"}, isInput + "./in.raw\nin.raw"},
        {"through a folder and ..", {in}, {dir + "/sub/../in.raw"}, isInput + dir + "/sub/../in.raw\n" + in},
        {"a symbolic link", {in}, {m_dir.File("link.raw")}, isInput + m_dir.File("link.raw") + "\n" + in},
        {"a hard link", {m_dir.File("hard.raw")}, {in}, isInput + in + "\n" + m_dir.File("hard.raw")},
        {"the second of two inputs", {m_dir.File("old.rdp"), in}, {"x.rdp", "./in.raw"}, isInput + "./in.raw\n" + in},
        {"two new outputs", {in}, {"a.rdp", dir + "/sub/../a.rdp"}, twice + "a.rdp\n" + dir + "/sub/../a.rdp"},
        {"a new output and a dangling link to it",
         {in},
         {m_dir.File("later.rdp"), m_dir.File("dangling.rdp")},
         twice + m_dir.File("later.rdp") + "\n" + m_dir.File("dangling.rdp")},
        {"two existing outputs", {in}, {"old.rdp", "./old.rdp"}, twice + "old.rdp\n./old.rdp"},
        {"letter case", {in}, {"IN.raw", "In.raw"}, ""},
        {"two inputs that are one file", {in, "link.raw"}, {"out.rdp"}, ""},
    };
    const std::vector<std::string> before = Entries(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConversionJob job;
        for (const std::string& name : c.inputs)
            job.AddInput(name);
        for (const std::string& name : c.outputs)
            job.AddOutput(name);
        EXPECT_EQ(job.Refusal(), c.refusal);
        if (c.refusal.empty()) {
            EXPECT_TRUE(job.Open()) << job.Error();
            job.Discard();
        } else {
            EXPECT_FALSE(job.Open());
            EXPECT_EQ(job.FailureKind(), ConversionJob::Failure::Refused);
            EXPECT_EQ(job.Error(), c.refusal);
        }
        EXPECT_EQ(Read(in), "input bytes");
        EXPECT_EQ(Read(m_dir.File("old.rdp")), "old output");
        EXPECT_EQ(Entries(dir), before);
    }
}

// Every output that exists is reported for the overwrite question, in order; an
// output that cannot be made fails Open and leaves nothing of the others.
TEST_F(ConversionJobTest, ExistingOutputsAndOutputsThatCannotBeMade)
{
    const std::string in = m_dir.File("in.raw");
    Write(m_dir.File("x_R.rdp"), "red");
    Write(m_dir.File("x_B.rdp"), "blue");
    ConversionJob planes;
    planes.AddInput(in);
    for (const char* name : {"x_R.rdp", "x_G.rdp", "x_B.rdp"})
        planes.AddOutput(m_dir.File(name));
    EXPECT_EQ(planes.ExistingOutputs(), (std::vector<std::string>{m_dir.File("x_R.rdp"), m_dir.File("x_B.rdp")}));

    ASSERT_EQ(::chmod(m_dir.File("x_B.rdp").c_str(), 0444), 0);
    const std::vector<std::string> before = Entries(m_dir.Path());
    struct Case {
        const char* what;
        std::string input, blocked;
        ConversionJob::Failure failure;
    };
    const Case cases[] = {
        {"a missing input", m_dir.File("missing.raw"), m_dir.File("y.rdp"), ConversionJob::Failure::Input},
        {"a folder as input", m_dir.Path(), m_dir.File("y.rdp"), ConversionJob::Failure::Input},
        {"a read-only output", in, m_dir.File("x_B.rdp"), ConversionJob::Failure::Output},
        {"an output in a missing folder", in, m_dir.File("none/y.rdp"), ConversionJob::Failure::Output},
        {"a folder as output", in, m_dir.File("."), ConversionJob::Failure::Output},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConversionJob job;
        job.AddInput(c.input);
        job.AddOutput(m_dir.File("x_R.rdp"));
        job.AddOutput(c.blocked);
        EXPECT_FALSE(job.Open());
        EXPECT_EQ(job.FailureKind(), c.failure);
        EXPECT_FALSE(job.Error().empty());
        EXPECT_EQ(job.FailedPath(), c.failure == ConversionJob::Failure::Input ? c.input : c.blocked);
        EXPECT_EQ(Entries(m_dir.Path()), before);
        EXPECT_EQ(Read(m_dir.File("x_R.rdp")), "red");
    }
}

// A layer is created in an output's temporary; the old file stays whole while the
// layer is written and is replaced by the finished layer at the commit.
TEST_F(ConversionJobTest, LayersAreCreatedInTheTemporary)
{
    const std::string old = m_dir.File("old.rdp");
    for (const bool commit : {false, true}) {
        SCOPED_TRACE(commit);
        ConversionJob job;
        const int out = job.AddOutput(old);
        ASSERT_TRUE(job.Open());
        {
            CRDPLayer layer;
            void** rows = layer.CreateLayer(job.Output(out), 30, 20, UINT8, 7);
            ASSERT_NE(rows, nullptr);
            EXPECT_EQ(layer.FileName(), plat::MappedFile::FullPath(job.WritePath(out)));
            for (int r = 0; r < 20; ++r)
                std::memset(rows[r], r, 30);
            // A second layer in the same output is refused.
            CRDPLayer second;
            EXPECT_EQ(second.CreateLayer(job.Output(out), 30, 20, UINT8, 7), nullptr);
            EXPECT_EQ(Read(old), "old output");
            if (!commit)
                layer.DestroyLayer();
        }
        if (!commit) {
            job.Discard();
            EXPECT_EQ(Read(old), "old output");
            continue;
        }
        ASSERT_TRUE(job.Commit()) << job.Error();
        CRDPLayer check;
        ASSERT_NE(check.OpenLayer(old.c_str(), 0), nullptr);
        EXPECT_EQ(check.Width(), 30);
        EXPECT_EQ(check.Height(), 20);
        EXPECT_EQ(static_cast<unsigned char*>(check.Rows()[19])[29], 19);
        EXPECT_EQ(check.Max(), 19.0);
    }
    EXPECT_EQ(Entries(m_dir.Path()), (std::vector<std::string>{"in.raw", "old.rdp"}));
}
