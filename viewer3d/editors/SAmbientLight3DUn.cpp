#include "viewer3d/editors/SAmbientLight3DUn.h"

#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/scene/SClasses3D.h"

constinit const TSClassInfo TSAmbientLight3D_Depository::ClassInfo{
    "TSAmbientLight3D_Depository", &TSDepositoryCustomConstruction3D::ClassInfo,
    &TSNewObject<TSAmbientLight3D_Depository>};

const TSLightRecordLayout& TSAmbientLight3D_Depository::RecordLayout()
{
    static const TSLightRecordLayout layout{
        28, 24, {{"RedEdit", "Red", nullptr, 0}, {"GreenEdit", "Green", nullptr, 8}, {"BlueEdit", "Blue", nullptr, 16}},
        {1.0, 1.0, 1.0}};
    return layout;
}

bool TSAmbientLight3D_Depository::Accepts(TSCustomConstruction3D* Value) const
{
    return dynamic_cast<TSAmbientLight3D*>(Value) != nullptr || dynamic_cast<TSFlatSpringLight3D*>(Value) != nullptr;
}

TSLightEditorForm* TSAmbientLight3D_Depository::NewForm()
{
    return new TSAmbientLight3DForm();
}

void TSAmbientLight3D_Depository::ApplyRecord()
{
    TSCustomConstruction3D* light = Construction();
    const void* record = light ? GetRecordData(CurrentRecord()) : nullptr;
    if (record == nullptr)
        return;
    const TSVector3D color{Value(record, 0), Value(record, 8), Value(record, 16)};
    if (auto* flat = dynamic_cast<TSFlatSpringLight3D*>(light))
        flat->SetColor(color.X, color.Y, color.Z);
    else if (auto* ambient = dynamic_cast<TSAmbientLight3D*>(light))
        ambient->SetColor(color);
    light->SetEnabled(static_cast<const std::uint8_t*>(record)[24] != 0);
}

TSAmbientLight3DForm::TSAmbientLight3DForm()
    : TSLightEditorForm(&TSAmbientLight3D_Depository::ClassInfo, TSAmbientLight3D_Depository::RecordLayout())
{
}

void SAmbientLight3DUnInitialization()
{
    RegisterRTDClass(&TSAmbientLight3D_Depository::ClassInfo);
    RegisterDepositoryClass(&TSAmbientLight3D_Depository::ClassInfo, &TSAmbientLight3D::ClassInfo);
    RegisterDepositoryClass(&TSAmbientLight3D_Depository::ClassInfo, &TSFlatSpringLight3D::ClassInfo);
}

void SAmbientLight3DUnFinalization()
{
    UnregisterDepositoryClass(&TSAmbientLight3D_Depository::ClassInfo, &TSFlatSpringLight3D::ClassInfo);
    UnregisterDepositoryClass(&TSAmbientLight3D_Depository::ClassInfo, &TSAmbientLight3D::ClassInfo);
    UnregisterRTDClass(&TSAmbientLight3D_Depository::ClassInfo);
}
