#pragma once
// The editor of ambient and directional lights: named colour records.

#include "viewer3d/editors/SLightEditorParts.h"

// Record: Red, Green, Blue (doubles), Enabled (byte), 3 bytes of padding.
class TSAmbientLight3D_Depository final : public TSLightDepositoryBase {
    S_CLASS(TSAmbientLight3D_Depository)
public:
    static const TSLightRecordLayout& RecordLayout();

    const TSLightRecordLayout& Layout() const override { return RecordLayout(); }
    // A TSAmbientLight3D or a TSFlatSpringLight3D.
    bool Accepts(TSCustomConstruction3D* Value) const override;
    TSLightEditorForm* NewForm() override;
    void ApplyRecord() override;
};

class TSAmbientLight3DForm final : public TSLightEditorForm {
public:
    TSAmbientLight3DForm();
};

// Start and end of the unit: the class and its depository registrations.
void SAmbientLight3DUnInitialization();
void SAmbientLight3DUnFinalization();
