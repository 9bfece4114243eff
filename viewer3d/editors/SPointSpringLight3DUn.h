#pragma once
// The editor of point lights: named records of colour, attenuation and spot.

#include "viewer3d/editors/SLightEditorParts.h"

// Record: Red, Green, Blue, Constant, Linear, Quadratic, SpotExponent,
// SpotCutOff (doubles), Enabled (byte), 3 bytes of padding.
class TSPointSpringLight3D_Depository final : public TSLightDepositoryBase {
    S_CLASS(TSPointSpringLight3D_Depository)
public:
    static const TSLightRecordLayout& RecordLayout();

    const TSLightRecordLayout& Layout() const override { return RecordLayout(); }
    bool Accepts(TSCustomConstruction3D* Value) const override;
    TSLightEditorForm* NewForm() override;
    void ApplyRecord() override;
};

class TSPointSpringLight3DForm final : public TSLightEditorForm {
public:
    TSPointSpringLight3DForm();
};

void SPointSpringLight3DUnInitialization();
void SPointSpringLight3DUnFinalization();
