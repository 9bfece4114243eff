#pragma once
// The modal picker of one of the project's drawing systems.

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QListWidget;
class QPushButton;
class TSCustomDrawSystem3D;
class TSFlatCaption;
class THalcyte3DProject;

// The lines of the picker: each viewer's drawing system, in viewer order.
std::vector<std::pair<std::string, TSCustomDrawSystem3D*>> DrawingChoices(THalcyte3DProject* Project);

class TSDrawingFinderForm final : public QDialog {
public:
    TSDrawingFinderForm();

    // The chosen drawing system, or nil (no project, no viewers, cancelled).
    static TSCustomDrawSystem3D* Execute(THalcyte3DProject* Project);
    TSCustomDrawSystem3D* PickDrawing(THalcyte3DProject* Project);

    QListWidget* List() const { return m_list; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }

private:
    TSFlatCaption* m_caption = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    std::vector<TSCustomDrawSystem3D*> m_objects;
};
