// The project administrator: its start, New, Delete, renaming, Load and Save,
// and the way project events reach its tree.

#include "Viewer3DTestSupport.h"

#include "PumpUntil.h"
#include "TempDir.h"

#include "viewer3d/forms/SAdministratorUn.h"
#include "viewer3d/project/SNodes.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

class Administrator : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        Form = std::make_unique<TSAdministrator>();
        Form->show();
    }
    void TearDown() override
    {
        Form.reset();
        QCoreApplication::processEvents();
        Viewer3DTest::TearDown();
    }

    // The node texts, depth first, each indented by two spaces per level.
    std::vector<std::string> Nodes() const
    {
        std::vector<std::string> texts;
        for (QTreeWidgetItemIterator it(Form->TreeView1()); *it; ++it) {
            int depth = 0;
            for (QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent())
                ++depth;
            texts.push_back(std::string(2 * depth, ' ') + (*it)->text(0).toStdString());
        }
        return texts;
    }
    QTreeWidgetItem* Node(const std::string& Text) const
    {
        for (QTreeWidgetItemIterator it(Form->TreeView1()); *it; ++it)
            if ((*it)->text(0).toStdString() == Text)
                return *it;
        return nullptr;
    }
    QPoint LabelPoint(const std::string& Text) const
    {
        QTreeWidgetItem* node = Node(Text);
        EXPECT_NE(node, nullptr) << Text;
        if (node == nullptr)
            return {};
        const QRect row = Form->TreeView1()->visualItemRect(node);
        return QPoint(row.left() + 4, row.center().y());
    }
    void Press(Qt::MouseButton Button, const QPoint& At, QEvent::Type Type = QEvent::MouseButtonPress)
    {
        QWidget* viewport = Form->TreeView1()->viewport();
        QMouseEvent event(Type, QPointF(At), viewport->mapToGlobal(QPointF(At)), Button, Button, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(At), viewport->mapToGlobal(QPointF(At)), Button,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &release);
    }
    void Select(const std::string& Text) { Form->TreeView1()->setCurrentItem(Node(Text)); }
    TTestAdminProject* Project() const { return dynamic_cast<TTestAdminProject*>(Form->Project()); }
    void NewProject()
    {
        ChooseInNewDialog("Projects", "Test Project");
        Form->NewBtnClick();
        ASSERT_NE(Project(), nullptr);
    }
    TSCustomChangeObject* NewItem(const std::string& Name)
    {
        ChooseInNewDialog("Items", "Test Item");
        Form->NewBtnClick();
        auto* item = dynamic_cast<TSCustomChangeObject*>(Form->SelectedObject());
        if (item != nullptr) {
            item->SetName(Name);
            Settle();
        }
        return item;
    }
    // Lets the posted events and refreshes run.
    void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    std::unique_ptr<TSAdministrator> Form;
};

TEST_F(Administrator, StartsWithoutProjectWhereClicksDoNothing)
{
    EXPECT_EQ(Form->CaptionText(), " SAdminstrator");
    EXPECT_EQ(Nodes(), std::vector<std::string>{" - NO PROJECT - "});
    EXPECT_FALSE(Form->DeleteBtn()->isEnabled());
    EXPECT_EQ(Form->Project(), nullptr);
    EXPECT_EQ(Form->FileName(), "");

    Press(Qt::RightButton, LabelPoint(" - NO PROJECT - "));
    EXPECT_EQ(Form->PopupMenu1(), nullptr);
    Press(Qt::LeftButton, LabelPoint(" - NO PROJECT - "), QEvent::MouseButtonDblClick);
    EXPECT_EQ(Nodes(), std::vector<std::string>{" - NO PROJECT - "});
    Form->SaveBtnClick();  // nothing to save: no dialog either
    EXPECT_TRUE(FileRequests().empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Administrator, NewOffersOnlyProjectsAndMakesAnUntitledProject)
{
    std::vector<std::string> categories;
    WhenNewDialog([&](TSNewDialog& Dialog) {
        for (QTreeWidgetItemIterator it(Dialog.TreeView1()); *it; ++it)
            categories.push_back((*it)->text(0).toStdString());
        Dialog.CancelBtn()->click();
    });
    Form->NewBtnClick();
    EXPECT_EQ(categories, std::vector<std::string>{"Projects"});
    EXPECT_EQ(Form->Project(), nullptr);

    NewProject();
    EXPECT_EQ(Project()->Name(), "Un titled project");
    EXPECT_EQ(Form->CaptionText(), " SAdministrator");
    EXPECT_EQ(Nodes(), (std::vector<std::string>{"Un titled project", "  Scene", "    Objects", "    Others"}));
}

TEST_F(Administrator, ANewObjectIsSelectedAndTheListsStayUndeletable)
{
    NewProject();
    TSCustomChangeObject* item = NewItem("first");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(Project()->Objects->IndexOf(item), 0);
    EXPECT_EQ(Form->TreeView1()->currentItem(), Node("first"));
    EXPECT_TRUE(Node("Objects")->isExpanded());
    EXPECT_TRUE(Form->DeleteBtn()->isEnabled());
    EXPECT_FALSE(Form->LabelToggleAllowed());

    Select("Objects");
    EXPECT_FALSE(Form->DeleteBtn()->isEnabled());
    Form->DeleteBtnClick();
    EXPECT_EQ(Project()->Objects->Count(), 1);

    // A double click on a group's label folds it; on an object's label it opens the editor.
    Select("Scene");
    EXPECT_TRUE(Form->LabelToggleAllowed());
    Press(Qt::LeftButton, LabelPoint("Scene"), QEvent::MouseButtonDblClick);
    EXPECT_FALSE(Node("Scene")->isExpanded());
    Press(Qt::LeftButton, LabelPoint("Scene"), QEvent::MouseButtonDblClick);
    EXPECT_TRUE(Node("Scene")->isExpanded());
    Select("first");
    Press(Qt::LeftButton, LabelPoint("first"), QEvent::MouseButtonDblClick);
    EXPECT_EQ(Project()->OpenedEditors, 1);

    Select("first");
    Form->DeleteBtnClick();
    Settle();
    EXPECT_EQ(Project()->Objects->Count(), 0);
    EXPECT_EQ(Node("first"), nullptr);
}

TEST_F(Administrator, RightClickOnAnObjectOffersItsMenuAndNew)
{
    NewProject();
    NewItem("item");
    Select("Others");
    Press(Qt::RightButton, LabelPoint("item"));  // selects the node it hits
    EXPECT_EQ(Form->TreeView1()->currentItem(), Node("item"));
    ASSERT_NE(Form->PopupMenu1(), nullptr);
    std::vector<std::string> entries;
    for (QAction* action : Form->PopupMenu1()->actions())
        entries.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    EXPECT_EQ(entries, (std::vector<std::string>{"Open", "-", "Cut", "Copy", "Paste", "-", "New..."}));
    Form->PopupMenu1()->close();
    // Beside the label nothing is offered.
    const QRect row = Form->TreeView1()->visualItemRect(Node("item"));
    Press(Qt::RightButton, QPoint(row.right() - 2, row.center().y()));
    EXPECT_EQ(Form->PopupMenu1(), nullptr);
}

TEST_F(Administrator, ARenameSurvivesARebuildWithExpandedNodesKept)
{
    NewProject();
    TSCustomChangeObject* item = NewItem("old");
    ASSERT_NE(item, nullptr);
    Node("Others")->setExpanded(true);
    Node("Scene")->setExpanded(true);

    QTreeWidgetItem* node = Node("old");
    node->setText(0, "renamed");  // the label editor's end
    EXPECT_EQ(item->Name(), "renamed");
    Settle();
    Form->UpdateCaption();  // a full rebuild
    EXPECT_EQ(Nodes(),
              (std::vector<std::string>{"Un titled project", "  Scene", "    Objects", "      renamed", "    Others"}));
    EXPECT_TRUE(Node("Others")->isExpanded());
    EXPECT_TRUE(Node("Objects")->isExpanded());

    // A rename from elsewhere reaches the node through the project's events.
    item->SetName("from the model");
    Settle();
    EXPECT_NE(Node("from the model"), nullptr);
}

TEST_F(Administrator, OneOuterChangeGivesOneRebuildOfTheSmallestCoveringBranch)
{
    struct Case {
        bool TouchOthers;
        const char* Rebuilt;  // a branch without object is rebuilt with the whole tree
    };
    for (const Case c : {Case{false, "Objects"}, Case{true, "Un titled project"}}) {
        NewProject();
        Settle();
        TTestAdminProject* project = Project();
        const std::int32_t before = Form->RebuildCount();
        project->BeginChange();
        auto* a = TSObject::Create<TTestAdminItem>();
        a->SetName("a");
        project->Objects->Add(a);
        project->Objects->Delete(0);
        project->Objects->Add(a);
        if (c.TouchOthers) {
            auto* b = TSObject::Create<TTestAdminItem>();
            b->SetName("b");
            project->Others->Add(b);
        }
        Settle();
        EXPECT_EQ(Form->RebuildCount(), before);  // still inside the change
        EXPECT_EQ(Form->ChangeNesting(), 1);
        project->EndChange();
        Settle();
        EXPECT_EQ(Form->RebuildCount(), before + 1);
        ASSERT_NE(Form->LastRebuilt(), nullptr);
        EXPECT_EQ(Form->LastRebuilt()->Name(), c.Rebuilt);
        EXPECT_NE(Node("a"), nullptr);
        EXPECT_EQ(Node("b") != nullptr, c.TouchOthers);
        EXPECT_EQ(Form->PendingBranch(), nullptr);
        EXPECT_EQ(Form->ChangeNesting(), 0);
    }
}

TEST_F(Administrator, AFullRebuildInsideAChangeLeavesNoPendingBranchBehind)
{
    NewProject();
    Settle();
    TTestAdminProject* project = Project();
    project->BeginChange();
    auto* a = TSObject::Create<TTestAdminItem>();
    a->SetName("a");
    project->Objects->Add(a);
    Settle();
    ASSERT_NE(Form->PendingBranch(), nullptr);  // the "Objects" branch, waiting
    Form->UpdateCaption();                      // frees every branch below the root
    EXPECT_EQ(Form->PendingBranch(), nullptr);
    project->EndChange();
    Settle();
    EXPECT_NE(Node("a"), nullptr);
}

TEST_F(Administrator, ClosingAProjectInsideItsChangeLeavesNoChangeOpen)
{
    NewProject();
    Settle();
    Project()->BeginChange();
    Settle();
    EXPECT_EQ(Form->ChangeNesting(), 1);
    Project()->Objects->Add(TSObject::Create<TTestAdminItem>());  // queued, not served
    NewProject();  // the old project goes with its queued events and its open change
    Settle();
    EXPECT_EQ(Form->ChangeNesting(), 0);
    auto* b = TSObject::Create<TTestAdminItem>();
    b->SetName("b");
    Project()->Objects->Add(b);
    Settle();
    EXPECT_NE(Node("b"), nullptr);
}

TEST_F(Administrator, EventsFromAWorkerThreadRefreshTheNodeOnceTheLoopRuns)
{
    NewProject();
    TSCustomChangeObject* item = NewItem("before");
    ASSERT_NE(item, nullptr);
    std::thread worker([&] {
        // Renamed while the GUI thread waits: the tree is touched only there.
        item->SetName("after");
        auto* added = TSObject::Create<TTestAdminItem>();
        added->SetName("added");
        Project()->Others->Add(added);
    });
    worker.join();
    EXPECT_NE(Node("before"), nullptr);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return Node("after") && Node("added"); }, 5s));
}

TEST_F(Administrator, AnObjectRenamedThenDeletedBeforeTheLoopRunsIsNotTouched)
{
    NewProject();
    TSCustomChangeObject* item = NewItem("doomed");
    ASSERT_NE(item, nullptr);
    item->SetName("renamed");  // queued
    delete item;               // gone before the queue is served
    Settle();
    EXPECT_EQ(Node("renamed"), nullptr);
    EXPECT_EQ(Node("doomed"), nullptr);
    EXPECT_EQ(Project()->Objects->Count(), 0);
}

class AdministratorFiles : public Administrator {
protected:
    testsupport::TempDir Dir;
};

TEST_F(AdministratorFiles, SaveAndLoadBack)
{
    NewProject();
    NewItem("kept");
    const std::string path = Dir.Path() + "/first";  // no extension: exactly this name
    AnswerFileDialog(path);
    Form->SaveBtnClick();
    Settle();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(Form->FileName(), path);
    EXPECT_EQ(Form->CaptionText(), "first - SAdministrator");

    ChooseInNewDialog("Projects", "Test Project");
    Form->NewBtnClick();  // replaces the project, unasked
    EXPECT_EQ(Form->FileName(), "");
    EXPECT_EQ(Node("kept"), nullptr);

    AnswerFileDialog(path);
    Form->LoadBtnClick();
    Settle();
    EXPECT_TRUE(Boxes().empty());
    ASSERT_NE(Project(), nullptr);
    EXPECT_EQ(Project()->Name(), "Un titled project");
    ASSERT_EQ(Project()->Objects->Count(), 1);
    EXPECT_EQ(Form->CaptionText(), "first - SAdministrator");
    EXPECT_NE(Node("kept"), nullptr);
    EXPECT_EQ(Form->FileState(), 0);

    // Events of the loaded project reach the tree.
    Project()->Objects->GetItem(0)->SetName("still heard");
    Settle();
    EXPECT_NE(Node("still heard"), nullptr);

    // The next dialog proposes the file.
    AnswerFileDialog("");
    Form->SaveBtnClick();
    ASSERT_EQ(FileRequests().size(), 1u);
    const plat::FileDialogRequest request = FileRequests()[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.fileName, path);
    EXPECT_EQ(request.title, "Select Halcyte Project File");
    EXPECT_EQ(request.filter, "Halcyte Project (*.hcp)|*.hcp|All Files (*.*)|*.*");
    EXPECT_EQ(request.defaultExt, "");
    EXPECT_TRUE(request.flags & plat::OFN_OVERWRITEPROMPT);
    EXPECT_TRUE(request.owned);
    EXPECT_EQ(Form->FileName(), path);  // cancelled: nothing changes
}

TEST_F(AdministratorFiles, ADamagedFileShowsABoxAndLeavesNoProject)
{
    NewProject();
    NewItem("item");
    const std::string path = Dir.Path() + "/damaged.hcp";
    AnswerFileDialog(path);
    Form->SaveBtnClick();
    ASSERT_TRUE(Boxes().empty());
    // The last object's name: its length now runs past its record.
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(-8, std::ios::end);
        const std::int32_t length = 1000;
        file.write(reinterpret_cast<const char*>(&length), 4);
    }
    Form->LoadBtnClick();
    Settle();
    EXPECT_EQ(Form->Project(), nullptr);
    EXPECT_EQ(Nodes(), std::vector<std::string>{" - NO PROJECT - "});
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Invalid Halcyte Project file format");
    EXPECT_TRUE(Boxes()[0].owned);

    // Not a project file at all: the box from the factory.
    const std::string text = Dir.Path() + "/text.hcp";
    std::ofstream(text) << "just some words, no project";
    AnswerFileDialog(text);
    Form->LoadBtnClick();
    EXPECT_EQ(Form->Project(), nullptr);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].text, "Invalid Halcyte Project file format");
    EXPECT_EQ(Form->FileName(), text);
}

TEST_F(AdministratorFiles, ASaveThatFailsShowsABoxAndKeepsThePreviousName)
{
    NewProject();
    const std::string good = Dir.Path() + "/good.hcp";
    AnswerFileDialog(good);
    Form->SaveBtnClick();
    ASSERT_EQ(Form->FileName(), good);

    AnswerFileDialog(Dir.Path() + "/no such folder/bad.hcp");
    Form->SaveBtnClick();
    Settle();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].text.find("no such folder"), std::string::npos) << Boxes()[0].text;
    EXPECT_EQ(Form->FileName(), good);
    EXPECT_EQ(Form->CaptionText(), "good.hcp - SAdministrator");
    EXPECT_NE(Form->Project(), nullptr);
}

}  // namespace
