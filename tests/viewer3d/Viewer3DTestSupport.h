#pragma once
// Helpers of the 3D viewer's tests: a fixture that runs the program's units
// around each test with a small project class registered, and answerers for
// the modal dialogs.

#include "viewer3d/project/ProjectCommands.h"
#include "viewer3d/forms/SNewDialogUn.h"
#include "viewer3d/Viewer3DUnits.h"

#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/files/SProject.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

// An object the test project makes.
class TTestAdminItem final : public TSCustomChangeObject {
    S_CLASS(TTestAdminItem)
};

// A small project: two lists, "Objects" and "Others", whose events it passes
// on as its own (code 11), a category "Items" with the leaf "Test Item", and
// the administrator's commands. The lists may not be deleted.
class TTestAdminProject final : public TSProject {
    S_CLASS(TTestAdminProject)
public:
    TSCustomChangeObjectList* Objects = nullptr;
    TSCustomChangeObjectList* Others = nullptr;
    int OpenedEditors = 0;

    void Initialize() override;
    void Finalize() override;
    std::int32_t Process(std::int32_t Code, TSParam Param) override;
    std::int32_t WriteObjects(TSObjectsStream* Stream) override;
    std::int32_t ReadObjects(TSObjectsStream* Stream) override;

    // The project's tree: its name, "Scene" with the two lists.
    void BuildTree(TSDataBranch* Branch);

private:
    void MemberEvent(TObject* Sender, std::int32_t Code, TSParam Param);
};

// Registers the test classes with their captions, categories and routine.
void RegisterTestProjectClasses();

// Runs the program's units around each test, with the test classes, a message
// box answerer that records (and answers OK) and a file dialog that cancels.
class Viewer3DTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<plat::MessageBoxCall> Boxes() const { return m_boxes->Calls(); }
    // From now on the file dialog chooses Name (cancels when Name is empty).
    void AnswerFileDialog(const std::string& Name);
    // The file dialogs asked for since the last AnswerFileDialog.
    std::vector<plat::FileDialogRequest> FileRequests() const { return m_files->Calls(); }

private:
    std::unique_ptr<plat::ScopedMessageBoxAnswerer> m_boxes;
    std::unique_ptr<plat::ScopedFileDialogAnswerer> m_files;
};

class THalcyte3DProject;

// Project saved to Path and loaded from there into a new project of the kind
// the file names (nullptr when it names another).
std::unique_ptr<THalcyte3DProject> SaveAndLoad(THalcyte3DProject& Project, const std::string& Path);

// Once the next TSNewDialog runs modally, Act gets it (on the GUI thread).
void WhenNewDialog(std::function<void(TSNewDialog&)> Act);
// Chooses the leaf named Leaf under the category named Category and confirms.
void ChooseInNewDialog(const std::string& Category, const std::string& Leaf);
