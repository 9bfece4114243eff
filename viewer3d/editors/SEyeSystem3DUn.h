#pragma once
// The eye system's depository, which opens its modal dialog and is saved with
// the project, and the dialog of screen distance and depth scale.

#include "engine3d/model/SGeneral.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class TSEyeSystem3D;
class TSFlatCaption;

class TSEyeSystem3D_Depository final : public TSObject {
    S_CLASS(TSEyeSystem3D_Depository)
public:
    ~TSEyeSystem3D_Depository() override;

    TSEyeSystem3D* EyeSystem() const { return m_eyeSystem; }

    void Initialize() override;
    // 4 bytes: the eye system's identity.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;
    // 4096: Data a TObject** holding the eye system (anything else becomes nil).
    std::int32_t SetParameter(std::int32_t Id, void* Data) override;
    std::int32_t GetParameter(std::int32_t Id, void* Data) override;
    // 4098 opens the dialog of the linked eye system.
    std::int32_t Process(std::int32_t Code, TSParam Param) override;

private:
    void EyeEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    TSEventHandler Handler() { return TSEventHandler::Of<&TSEyeSystem3D_Depository::EyeEvent>(this); }

    TSEyeSystem3D* m_eyeSystem = nullptr;
    std::uint32_t m_eyeId = 0;
};

class TSEyeSystem3DForm final : public QDialog {
public:
    TSEyeSystem3DForm();

    TSFlatCaption* Caption() const { return m_caption; }
    QLineEdit* Edit1() const { return m_edit1; }
    QLineEdit* Edit2() const { return m_edit2; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }

private:
    TSFlatCaption* m_caption = nullptr;
    QLineEdit* m_edit1 = nullptr;
    QLineEdit* m_edit2 = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

void SEyeSystem3DUnInitialization();
void SEyeSystem3DUnFinalization();
