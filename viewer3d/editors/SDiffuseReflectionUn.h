#pragma once
// The modal dialog of the diffuse reflection law's six coefficients, opened
// through the interface registry's command 1 for the law.

#include <QDialog>

#include <cstdint>

class QLineEdit;
class QPushButton;
class TSFlatCaption;
struct TSCommandRecord;

class TSSimpleDiffuseReflectionForm final : public QDialog {
public:
    TSSimpleDiffuseReflectionForm();

    TSFlatCaption* Caption() const { return m_caption; }
    // 0..2 attenuation Constant, Linear, Quadratic; 3..5 radiation.
    QLineEdit* Edit(int Index) const { return m_edits[Index]; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }

private:
    TSFlatCaption* m_caption = nullptr;
    QLineEdit* m_edits[6] = {};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Command 1 (open) for a TSSimpleDiffuseReflection runs the dialog and answers
// 0; anything else -1.
std::int32_t EditSimpleDiffuseReflection(TSCommandRecord* Record);

void SDiffuseReflectionUnInitialization();
void SDiffuseReflectionUnFinalization();
