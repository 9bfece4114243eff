#include "viewer3d/forms/SViewer3DSetupUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/model/SGeneral.h"

#include <QLabel>

TSViewer3DSetup::TSViewer3DSetup() : QWidget(nullptr, Qt::Tool)
{
    m_caption = new TSFlatCaption(this);
    m_caption->SetText("SViewer 3D Setup");
    m_caption->ShowButtons({fccClose, fccScreenPin});
    resize(418, 206);
}

void TSViewer3DSetup::SetCaptionText(const std::string& Text)
{
    m_caption->SetText(Text);
    setWindowTitle(QString::fromStdString(Text));
}

std::string TSViewer3DSetup::CaptionText() const
{
    return m_caption->Text();
}

bool TSViewer3DSetup::Pinned() const
{
    return m_caption->IsPinned();
}

std::int32_t TSViewer3DSetup::SaveState(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return 16;
    const std::int32_t values[4] = {x(), y(), WindowStackOrder(this), (isVisible() ? 1 : 0) | (m_caption->IsPinned() ? 2 : 0)};
    Stream->Write(values, 16);
    return 16;
}

std::int32_t TSViewer3DSetup::LoadState(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t values[4] = {};
    Stream->Read(values, 16);
    const bool pinned = (values[3] & 2) != 0;
    PlaceWindow(this, values[0], values[1], -1, -1, pinned, false);
    m_caption->SetPinned(pinned);
    if ((values[3] & 1) != 0)
        if (auto* project = dynamic_cast<THalcyte3DProject*>(Stream->GetProject()))
            project->RegisterWindow(this, values[2]);
    return 16;
}
