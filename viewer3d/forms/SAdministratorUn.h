#pragma once
// The 3D viewer's main form: the open project (at most one) as a tree of
// named nodes, and the commands New, Delete, Load and Save. Everything it does
// with an object goes through the project's Process or the interface
// commands; it knows no 3D class.

#include "viewer3d/project/AdminTree.h"

#include "engine3d/files/SProject.h"
#include "platform/windows/WindowHandle.h"

#include <QWidget>

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class QLabel;
class TSFlatCaption;
class QMenu;
class QPoint;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class TSAdministrator final : public QWidget {
public:
    TSFlatCaption* Caption() const { return m_caption; }
    // WM_USER + 1: wParam 0 with lParam an object refreshes its node text,
    // wParam 1 rebuilds the pending branch.
    static constexpr unsigned WM_REFRESH = plat::WM_USER + 1;
    // WM_USER + 2: the project's events wait in the queue.
    static constexpr unsigned WM_PROJECTEVENTS = plat::WM_USER + 2;

    enum TSFileState : std::int32_t {
        fsIdle = 0,
        fsLoading = 1,
        fsSaving = 2
    };

    TSAdministrator();
    ~TSAdministrator() override;
    TSAdministrator(const TSAdministrator&) = delete;
    TSAdministrator& operator=(const TSAdministrator&) = delete;

    void NewBtnClick();
    void DeleteBtnClick();
    void LoadBtnClick();
    void SaveBtnClick();

    // The object of the selected node, or nullptr.
    TObject* SelectedObject() const;
    void UpdateCaption();
    void RefreshTree(TSDataBranch* Branch, TObject* Object);
    void UpdateDeleteButton();
    void CloseProject();
    // Handler of the project's events, in the announcing thread: queues the
    // event for the GUI thread.
    void ProjectEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    // Handler of the load job's thread events.
    void ThreadEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    plat::LResult WMRefresh(plat::WParam WParam, plat::LParam LParam);

    TSProject* Project() const { return m_project; }
    const std::string& FileName() const { return m_fileName; }
    TSDataBranch* RootBranch() const { return m_root; }
    TSDataBranch* PendingBranch() const { return m_schedule.PendingBranch; }
    std::int32_t ChangeNesting() const { return m_schedule.ChangeNesting; }
    bool LabelToggleAllowed() const { return m_labelToggleAllowed; }
    std::int32_t FileState() const { return m_fileState; }
    std::string CaptionText() const;
    plat::WindowHandle Handle() const { return m_handle; }
    QTreeWidget* TreeView1() const { return m_tree; }
    QToolButton* NewBtn() const { return m_buttons[0]; }
    QToolButton* DeleteBtn() const { return m_buttons[1]; }
    QToolButton* LoadBtn() const { return m_buttons[2]; }
    QToolButton* SaveBtn() const { return m_buttons[3]; }
    // The popup of the last right click; nullptr when it offered none.
    QMenu* PopupMenu1() const { return m_popup; }
    // Rebuilds of a branch so far, and the last branch rebuilt.
    std::int32_t RebuildCount() const { return m_rebuilds; }
    TSDataBranch* LastRebuilt() const { return m_lastRebuilt; }

    // Tree handlers, as the tree view calls them.
    void TreeView1Change();
    // Whether Node may expand or collapse now, with the cursor at Pos (tree
    // view client coordinates): not on an object node's label while an object
    // is selected.
    bool TreeView1Collapsing(QTreeWidgetItem* Node, const QPoint& Pos) const;
    void TreeView1Expanded(QTreeWidgetItem* Node, bool Expanded);
    void TreeView1DblClick(const QPoint& Pos);
    void TreeView1Edited(QTreeWidgetItem* Node, const std::string& S);
    void TreeView1MouseDown(Qt::MouseButton Button, const QPoint& Pos);
    // Whether Pos (tree view client coordinates) lies on a node's text.
    bool OnNodeLabel(const QPoint& Pos) const;

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    struct QueuedEvent {
        TObject* Sender = nullptr;
        std::int32_t Code = 0;
        // The open project itself is going.
        bool ProjectGone = false;
    };

    void Subscribe(TSProject* Project);
    void Unsubscribe();
    void DrainProjectEvents();
    void ScheduleRefresh(TSDataBranch* Branch);
    // Before Branch is rebuilt: a pending branch it covers is done with.
    void ForgetPendingUnder(TSDataBranch* Branch);
    void RefreshObjectText(TObject* Object);
    void PostRebuild();
    void SetCaptionText(const std::string& Text);
    // The job behind Load and Save: the project's own, keeping its error text.
    void FileJob(TSThread* Thread, TSThreadParams* Params);
    // Runs a command handler; an error goes to the error box.
    template <class F>
    void Guarded(F&& Handler);
    void ShowError(const std::string& Text);

    TSProject* m_project = nullptr;
    std::string m_fileName;
    TSDataBranch* m_root = nullptr;
    TSRefreshSchedule m_schedule;
    bool m_labelToggleAllowed = true;
    std::int32_t m_fileState = fsIdle;

    plat::WindowHandle m_handle;
    TSFlatCaption* m_caption = nullptr;
    QToolButton* m_buttons[4] = {};
    QTreeWidget* m_tree = nullptr;
    QMenu* m_popup = nullptr;

    // The project whose events ProjectEvent hears; read in any thread.
    std::atomic<TSProject*> m_subscribed{nullptr};
    std::mutex m_eventLock;
    std::vector<QueuedEvent> m_events;
    // Objects whose end was announced since the last rebuild: their branches
    // may still be in the tree, but nothing may touch them.
    std::set<TObject*> m_gone;

    // What the last file job left.
    std::string m_jobError;
    bool m_jobDone = false;

    std::int32_t m_rebuilds = 0;
    TSDataBranch* m_lastRebuilt = nullptr;
};
