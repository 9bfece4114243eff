#pragma once
// The modal picker of a camera among the project's cameras.

#include <QDialog>

#include <string>

class QTreeWidget;
class QLabel;
class TSFlatCaption;
class QPushButton;
class TObject;
class TSDataBranch;
class TSCustomProjectionSystem3D;

class TSSelectCameraForm final : public QDialog {
public:
    TSFlatCaption* Caption() const { return m_caption; }
    TSSelectCameraForm();
    ~TSSelectCameraForm() override;

    void SetCaptionText(const std::string& Text);
    // True when the user confirmed; Camera is then the chosen node's camera,
    // or nullptr when that node is no camera of the project.
    bool Execute(TObject* Project, TSCustomProjectionSystem3D*& Camera);
    // Tree gets one child in which the project's camera list describes itself.
    static void FillCameraTree(TObject* Project, TSDataBranch* Tree);

    QTreeWidget* Tree() const { return m_tree; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    TSFlatCaption* m_caption = nullptr;
    QTreeWidget* m_tree = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    TSDataBranch* m_cameraTree = nullptr;
};

// False without project (Camera unchanged); else the picker's answer.
bool SelectCamera(const std::string& Caption, TObject* Project, TSCustomProjectionSystem3D*& Camera);
