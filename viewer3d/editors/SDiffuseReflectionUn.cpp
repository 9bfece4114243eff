#include "viewer3d/editors/SDiffuseReflectionUn.h"

#include "viewer3d/editors/EditorParts.h"
#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/model/SInterface.h"
#include "engine3d/scene/SClasses3D.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

TSSimpleDiffuseReflectionForm::TSSimpleDiffuseReflectionForm()
{
    setWindowTitle("SSimpleDiffuseReflection");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSizeConstraint(QLayout::SetFixedSize);
    m_caption = new TSFlatCaption(this);
    m_caption->ShowButtons({fccClose});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);
    auto* grid = new QGridLayout();
    grid->setContentsMargins(8, 4, 8, 4);
    grid->addWidget(new QLabel("Atteniuation", this), 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel("Radiation", this), 0, 2, Qt::AlignHCenter);
    const char* rows[3] = {"Constant", "Linear", "Quadratic"};
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(new QLabel(rows[r], this), r + 1, 0);
        for (int c = 0; c < 2; ++c) {
            const int index = c * 3 + r;
            auto* edit = new QLineEdit(this);
            edit->setObjectName(QString("Edit%1").arg(index + 1));
            edit->setFixedWidth(96);
            FilterRealKeys(edit);
            grid->addWidget(edit, r + 1, c + 1);
            m_edits[index] = edit;
        }
    }
    column->addLayout(grid);
    auto* panel = new QHBoxLayout();
    panel->setContentsMargins(8, 4, 8, 8);
    panel->addStretch(1);
    m_ok = new QPushButton("Ok", this);
    m_cancel = new QPushButton("Cancel", this);
    m_ok->setDefault(true);
    panel->addWidget(m_ok);
    panel->addWidget(m_cancel);
    column->addLayout(panel);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(2); });
    adjustSize();
    m_caption->SetText("SSimpleDiffuseReflection");
    CentreOnScreen(this);
}

std::int32_t EditSimpleDiffuseReflection(TSCommandRecord* Record)
{
    if (Record == nullptr || Record->Object == nullptr || Record->Command != icOpen)
        return -1;
    auto* law = dynamic_cast<TSSimpleDiffuseReflection*>(Record->Object);
    if (law == nullptr)
        return -1;
    auto form = std::make_unique<TSSimpleDiffuseReflectionForm>();
    double values[6] = {law->AttenuationConstant(), law->AttenuationLinear(), law->AttenuationQuadratic(),
                        law->RadiationConstant(),   law->RadiationLinear(),   law->RadiationQuadratic()};
    for (int i = 0; i < 6; ++i)
        form->Edit(i)->setText(QString::fromStdString(FormatReal(values[i], 12, 6)));
    if (form->exec() == 1) {
        for (int i = 0; i < 6; ++i) {
            double v = 0;
            if (TryParseReal(form->Edit(i)->text().toStdString(), v))
                values[i] = v;
        }
        law->SetAttenuation(values[0], values[1], values[2]);
        law->SetRadiation(values[3], values[4], values[5]);
    }
    return 0;
}

void SDiffuseReflectionUnInitialization()
{
    RegisterInterfaceHandler(&TSSimpleDiffuseReflection::ClassInfo, &EditSimpleDiffuseReflection);
}

void SDiffuseReflectionUnFinalization()
{
    UnregisterInterfaceHandler(&TSSimpleDiffuseReflection::ClassInfo, &EditSimpleDiffuseReflection);
}
