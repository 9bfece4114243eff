#include "viewer3d/forms/SDrawingsFinderUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/forms/SFlatCaption.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

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
    setWindowTitle("Select Drawing");
    resize(206, 260);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_caption = new TSFlatCaption(this);
    m_caption->SetText("Select Drawing");
    m_caption->ShowButtons({fccClose});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);
    m_list = new QListWidget(this);
    m_list->setObjectName("ListBox1");
    column->addWidget(m_list, 1);
    auto* panel = new QHBoxLayout();
    panel->setContentsMargins(4, 4, 8, 4);
    panel->addStretch(1);
    m_ok = new QPushButton("Ok", this);
    m_cancel = new QPushButton("Cancel", this);
    m_ok->setDefault(true);
    panel->addWidget(m_ok);
    panel->addWidget(m_cancel);
    column->addLayout(panel);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(2); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { done(1); });
    CentreOnScreen(this);
}

TSCustomDrawSystem3D* TSDrawingFinderForm::PickDrawing(THalcyte3DProject* Project)
{
    m_list->clear();
    m_objects.clear();
    for (const auto& [name, ds] : DrawingChoices(Project)) {
        m_list->addItem(QString::fromStdString(name));
        m_objects.push_back(ds);
    }
    if (m_objects.empty())
        return nullptr;
    m_list->setCurrentRow(0);
    if (exec() != 1)
        return nullptr;
    const int row = m_list->currentRow();
    return row >= 0 && row < int(m_objects.size()) ? m_objects[std::size_t(row)] : nullptr;
}

TSCustomDrawSystem3D* TSDrawingFinderForm::Execute(THalcyte3DProject* Project)
{
    if (Project == nullptr)
        return nullptr;
    TSDrawingFinderForm form;
    return form.PickDrawing(Project);
}
