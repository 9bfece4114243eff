#include "viewer3d/forms/SDrawingsFinderUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/PickerParts.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/forms/SFlatCaption.h"

#include <QListWidget>

std::vector<std::pair<std::string, TSCustomDrawSystem3D*>> DrawingChoices(THalcyte3DProject* Project)
{
    std::vector<std::pair<std::string, TSCustomDrawSystem3D*>> lines;
    if (Project == nullptr)
        return lines;
    for (std::int32_t i = 0; i < Project->ViewerCount(); ++i)
        if (TSCustomDrawSystem3D* ds = Project->GetViewer(i))
            lines.emplace_back(ds->Name(), ds);
    return lines;
}

TSDrawingFinderForm::TSDrawingFinderForm()
{
    resize(206, 260);
    m_list = new QListWidget(this);
    m_list->setObjectName("ListBox1");
    const TSPickerParts parts = BuildPicker(this, "Select Drawing", m_list);
    m_caption = parts.Caption;
    m_ok = parts.Ok;
    m_cancel = parts.Cancel;
    ConfirmOnDoubleClick(this, m_list);
    CentreOnScreen(this);
}

TSCustomDrawSystem3D* TSDrawingFinderForm::PickDrawing(THalcyte3DProject* Project)
{
    m_objects.clear();
    std::vector<std::string> names;
    for (const auto& [name, ds] : DrawingChoices(Project)) {
        names.push_back(name);
        m_objects.push_back(ds);
    }
    if (m_objects.empty()) {
        m_list->clear();
        return nullptr;
    }
    const std::optional<int> row = RunListPicker(this, m_list, names, 0);
    return row && *row >= 0 ? m_objects[std::size_t(*row)] : nullptr;
}

TSCustomDrawSystem3D* TSDrawingFinderForm::Execute(THalcyte3DProject* Project)
{
    if (Project == nullptr)
        return nullptr;
    TSDrawingFinderForm form;
    return form.PickDrawing(Project);
}
