#pragma once
// The modal tree from which the navigator chooses a coordinate frame: the frames
// of the project's cameras, lights and objects.

#include <QDialog>

#include <string>

class QPushButton;
class QTreeWidget;
class TObject;
class TSBasis3D;
class TSDataBranch;
class TSFlatCaption;

class TSObject3DFinder final : public QDialog {
public:
    TSObject3DFinder();
    ~TSObject3DFinder() override;

    // False on Cancel or without a project; on Ok true, with Frame the chosen
    // frame or nullptr when the chosen node is no frame.
    static bool Execute(const std::string& Caption, TObject* Project, TSBasis3D*& Frame);
    bool PickFrame(TObject* Project, TSBasis3D*& Frame);
    // Root gets one child named after the project (expanded) holding the frame
    // trees of its Cameras, Lights and Objects lists, in that order.
    static void FillFrameTree(TObject* Project, TSDataBranch* Root);

    TSFlatCaption* Caption() const { return m_caption; }
    QTreeWidget* Tree() const { return m_tree; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }
    TSDataBranch* Root() const { return m_root; }

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    TSFlatCaption* m_caption = nullptr;
    QTreeWidget* m_tree = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    TSDataBranch* m_root = nullptr;
};
