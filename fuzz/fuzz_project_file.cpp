// Arbitrary bytes as a 3D viewer project file: the factory, then a load into a
// project whose blocks hold nested objects with references. What loads must
// save again and load back: a failure there is a finding too.
//
// With PROJECT_FUZZ_SEEDS set to a folder, the first run writes a few
// well-formed projects there to start the corpus from.

#include "engine3d/model/EngineUnits.h"
#include <ProjectTestItem.h>
#include <RowProject.h>
#include "engine3d/files/SProject.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// A header string, then the row of object records and one branch.
class TFuzzProject final : public TRowProject {
    S_CLASS(TFuzzProject)
public:
    std::string Header;
    std::unique_ptr<TSObject> Tree;

    std::int32_t WriteObjectsHeader(TSObjectsStream* S) override { return WriteStreamString(S, Header); }
    std::int32_t ReadObjectsHeader(TSObjectsStream* S) override { return ReadStreamString(S, Header); }
    std::int32_t WriteObjects(TSObjectsStream* S) override
    {
        const std::int32_t n = TRowProject::WriteObjects(S);
        return n + S->WriteObject(Tree.get());
    }
    std::int32_t ReadObjects(TSObjectsStream* S) override
    {
        std::int32_t n = TRowProject::ReadObjects(S);
        TSObject* tree = nullptr;
        n += S->ReadObject(tree, &TSBranch::ClassInfo);
        Tree.reset(tree);
        return n;
    }
    std::int32_t Link(TSObjectsStream* S) override
    {
        const std::int32_t linked = TRowProject::Link(S);
        if (Tree)
            Tree->Process(ocLink, reinterpret_cast<TSParam>(S));
        return linked;
    }
};

}  // namespace

// The seeds name the item as before.
constinit const TSClassInfo TTestItem::ClassInfo{"TFuzzItem", &TSCustomChangeObject::ClassInfo,
                                                 &TSNewObject<TTestItem>};

namespace {

constinit const TSClassInfo TFuzzProject::ClassInfo{"TFuzzProject", &TRowProject::ClassInfo,
                                                    &TSNewObject<TFuzzProject>};

std::string ScratchFolder()
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_project_XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
    return pattern;
}

const std::string& Folder()
{
    static const std::string folder = ScratchFolder();
    return folder;
}

void WriteFile(const std::string& Path, const std::uint8_t* Data, std::size_t Size)
{
    const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < Size;) {
        const ssize_t n = ::write(fd, Data + done, Size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

template <class T>
std::unique_ptr<T> Make()
{
    return std::unique_ptr<T>(TSObject::Create<T>(nullptr));
}

void WriteSeeds(const std::string& Folder)
{
    auto empty = Make<TSProject>();
    empty->SetName("P");
    empty->SaveToFileName(Folder + "/empty.hcp");

    auto project = Make<TFuzzProject>();
    project->SetName("seed");
    project->Header = "header";
    auto first = Make<TTestItem>();
    auto second = Make<TTestItem>();
    first->Value = 1;
    second->Value = 2;
    first->Peer = second.get();
    second->Peer = first.get();
    std::unique_ptr<TSDataBranch> leaves(TSDataBranch::Create("leaves", 7, true));
    leaves->AddChild(TSDataBranch::Create("a"));
    leaves->GetChild(0)->AddChild(TSDataBranch::Create("b"));
    second->Child = std::move(leaves);
    project->Items.push_back(std::move(first));
    project->Items.push_back(nullptr);
    project->Items.push_back(std::move(second));
    project->Tree.reset(TSDataBranch::Create("tree"));
    project->SaveToFileName(Folder + "/objects.hcp");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartEngineUnits();
    RegisterRTDClass(&TTestItem::ClassInfo);
    RegisterRTDClass(&TRowProject::ClassInfo);
    RegisterRTDClass(&TFuzzProject::ClassInfo);
    if (const char* seeds = std::getenv("PROJECT_FUZZ_SEEDS"))
        WriteSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string input = Folder() + "/input.hcp";
    const std::string again = Folder() + "/again.hcp";
    WriteFile(input, Data, Size);
    try {
        std::unique_ptr<TSProject> made(CreateProjectFromFile(input));
    } catch (const ELibraryError&) {
    }
    auto project = Make<TFuzzProject>();
    try {
        project->LoadFromFileName(input);
    } catch (const ELibraryError&) {
        return 0;
    }
    // Loaded objects are whole: they save, and the copy loads.
    project->SaveToFileName(again);
    Make<TFuzzProject>()->LoadFromFileName(again);
    return 0;
}
