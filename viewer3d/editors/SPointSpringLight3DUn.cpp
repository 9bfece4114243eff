#include "viewer3d/editors/SPointSpringLight3DUn.h"

#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/scene/SClasses3D.h"

constinit const TSClassInfo TSPointSpringLight3D_Depository::ClassInfo{
    "TSPointSpringLight3D_Depository", &TSDepositoryCustomConstruction3D::ClassInfo,
    &TSNewObject<TSPointSpringLight3D_Depository>};

const TSLightRecordLayout& TSPointSpringLight3D_Depository::RecordLayout()
{
    static const TSLightRecordLayout layout{68,
                                            64,
                                            {{"EditC1", "Red", "Color", 0},
                                             {"EditC2", "Green", "Color", 8},
                                             {"EditC3", "Blue", "Color", 16},
                                             {"EditA1", "Constant", "Attenuation", 24},
                                             {"EditA2", "Linear", "Attenuation", 32},
                                             {"EditA3", "Quadratic", "Attenuation", 40},
                                             {"EditS1", "Exponent", "Spot", 48},
                                             {"EditS2", "CutOff", "Spot", 56}},
                                            {1.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0, -1.0}};
    return layout;
}

bool TSPointSpringLight3D_Depository::Accepts(TSCustomConstruction3D* Value) const
{
    return dynamic_cast<TSPointSpringLight3D*>(Value) != nullptr;
}

TSLightEditorForm* TSPointSpringLight3D_Depository::NewForm()
{
    return new TSPointSpringLight3DForm();
}

void TSPointSpringLight3D_Depository::ApplyRecord()
{
    auto* light = dynamic_cast<TSPointSpringLight3D*>(Construction());
    const void* record = light ? GetRecordData(CurrentRecord()) : nullptr;
    if (record == nullptr)
        return;
    light->SetColor(Value(record, 0), Value(record, 8), Value(record, 16));
    light->SetAttenuation(Value(record, 24), Value(record, 32), Value(record, 40));
    light->SetSpot(Value(record, 48), Value(record, 56));
    light->SetEnabled(static_cast<const std::uint8_t*>(record)[64] != 0);
}

TSPointSpringLight3DForm::TSPointSpringLight3DForm()
    : TSLightEditorForm(&TSPointSpringLight3D_Depository::ClassInfo, TSPointSpringLight3D_Depository::RecordLayout())
{
}

void SPointSpringLight3DUnInitialization()
{
    RegisterRTDClass(&TSPointSpringLight3D_Depository::ClassInfo);
    RegisterDepositoryClass(&TSPointSpringLight3D_Depository::ClassInfo, &TSPointSpringLight3D::ClassInfo);
}

void SPointSpringLight3DUnFinalization()
{
    UnregisterDepositoryClass(&TSPointSpringLight3D_Depository::ClassInfo, &TSPointSpringLight3D::ClassInfo);
    UnregisterRTDClass(&TSPointSpringLight3D_Depository::ClassInfo);
}
