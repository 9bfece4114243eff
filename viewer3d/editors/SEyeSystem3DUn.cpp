#include "viewer3d/editors/SEyeSystem3DUn.h"

#include "viewer3d/editors/EditorParts.h"
#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/scene/SClasses3D.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

constinit const TSClassInfo TSEyeSystem3D_Depository::ClassInfo{
    "TSEyeSystem3D_Depository", &TSObject::ClassInfo, &TSNewObject<TSEyeSystem3D_Depository>};

void TSEyeSystem3D_Depository::Initialize()
{
    TSObject::Initialize();
    m_eyeSystem = nullptr;
    m_eyeId = 0;
}

TSEyeSystem3D_Depository::~TSEyeSystem3D_Depository()
{
    Finalize();
    if (m_eyeSystem != nullptr)
        m_eyeSystem->Events.Remove(Handler());
    m_eyeSystem = nullptr;
}

void TSEyeSystem3D_Depository::EyeEvent(TObject* Sender, std::int32_t Code, TSParam)
{
    if (IsDestroying())
        return;
    if (Code == ecDestroying && Sender == m_eyeSystem) {
        m_eyeSystem->Events.Remove(Handler());
        m_eyeSystem = nullptr;
    }
}

std::int32_t TSEyeSystem3D_Depository::SetParameter(std::int32_t Id, void* Data)
{
    if (Id != 4096)
        return -1;
    auto** slot = static_cast<TObject**>(Data);
    TObject* object = slot ? *slot : nullptr;
    if (object == static_cast<TObject*>(m_eyeSystem))
        return 0;
    auto* eye = dynamic_cast<TSEyeSystem3D*>(object);
    if (eye == nullptr && slot != nullptr)
        *slot = nullptr;
    if (m_eyeSystem != nullptr)
        m_eyeSystem->Events.Remove(Handler());
    m_eyeSystem = eye;
    if (eye != nullptr)
        eye->Events.Add(Handler());
    return 0;
}

std::int32_t TSEyeSystem3D_Depository::GetParameter(std::int32_t Id, void* Data)
{
    if (Id != 4096 || Data == nullptr)
        return -1;
    *static_cast<TObject**>(Data) = m_eyeSystem;
    return 0;
}

std::int32_t TSEyeSystem3D_Depository::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    Stream->WriteInt32(std::int32_t(Stream->ObjectIdentity(m_eyeSystem)));
    return 4;
}

std::int32_t TSEyeSystem3D_Depository::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    if (m_eyeSystem != nullptr)
        m_eyeSystem->Events.Remove(Handler());
    m_eyeSystem = nullptr;
    m_eyeId = std::uint32_t(Stream->ReadInt32());
    return 4;
}

std::int32_t TSEyeSystem3D_Depository::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    // Not subscribed: the project frees this depository when the eye system goes.
    m_eyeSystem = dynamic_cast<TSEyeSystem3D*>(Stream->FindObject(m_eyeId, &TSEyeSystem3D::ClassInfo));
    m_eyeId = 0;
    return 4;
}

std::int32_t TSEyeSystem3D_Depository::Process(std::int32_t Code, TSParam Param)
{
    std::int32_t result = TSObject::Process(Code, Param);
    if (result >= 0 || Code != 4098)
        return result;
    result = 0;
    TSEyeSystem3D* eye = m_eyeSystem;
    if (eye == nullptr)
        return result;
    auto form = std::make_unique<TSEyeSystem3DForm>();
    form->Caption()->SetText(eye->Name() + " : Properties");
    form->Edit1()->setText(QString::fromStdString(FormatReal(eye->ScreenDistance(), 12, 6)));
    form->Edit2()->setText(QString::fromStdString(FormatReal(eye->DepthScale(), 12, 6)));
    if (form->exec() == 1) {
        double distance = 0, scale = 0;
        const bool hasDistance = TryParseReal(form->Edit1()->text().toStdString(), distance);
        const bool hasScale = TryParseReal(form->Edit2()->text().toStdString(), scale);
        InChange(*eye, true, [&] {
            if (hasDistance)
                eye->SetScreenDistance(distance);
            if (hasScale)
                eye->SetDepthScale(scale);
        });
    }
    return result;
}

TSEyeSystem3DForm::TSEyeSystem3DForm()
{
    setWindowTitle("Eye System");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSizeConstraint(QLayout::SetFixedSize);
    m_caption = new TSFlatCaption(this);
    m_caption->ShowButtons({fccClose});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);
    auto* fields = new QFormLayout();
    fields->setContentsMargins(8, 4, 8, 4);
    m_edit1 = new QLineEdit(this);
    m_edit2 = new QLineEdit(this);
    m_edit1->setObjectName("Edit1");
    m_edit2->setObjectName("Edit2");
    FilterRealKeys(m_edit1);
    FilterRealKeys(m_edit2);
    fields->addRow("Screen Distance", m_edit1);
    fields->addRow("Depth Scale", m_edit2);
    column->addLayout(fields);
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
    CentreOnScreen(this);
}

void SEyeSystem3DUnInitialization()
{
    RegisterRTDClass(&TSEyeSystem3D_Depository::ClassInfo);
    RegisterDepositoryClass(&TSEyeSystem3D_Depository::ClassInfo, &TSEyeSystem3D::ClassInfo);
}

void SEyeSystem3DUnFinalization()
{
    UnregisterDepositoryClass(&TSEyeSystem3D_Depository::ClassInfo, &TSEyeSystem3D::ClassInfo);
    UnregisterRTDClass(&TSEyeSystem3D_Depository::ClassInfo);
}
