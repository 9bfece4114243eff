#pragma once
// The options pane of the file dialog (child dialog 532): the histogram trim method the
// caller should stretch with later, its sigma factor, and "View" for the selected file.

#include <string>

#include "platform/dialogs/Dialog.h"

// Trim methods, as listed in the pane.
enum TrimMethod : int {
    TRIM_AUTO = 0,
    TRIM_NONE = 1,
    TRIM_DOUBLE_DISPERSION = 2,
    TRIM_SELECTED_DISPERSION = 3
};

class CPreviewOptionsPane final {
public:
    explicit CPreviewOptionsPane(QWidget* parent);
    // Its window belongs to the parent.
    CPreviewOptionsPane(const CPreviewOptionsPane&) = delete;
    CPreviewOptionsPane& operator=(const CPreviewOptionsPane&) = delete;

    void SetFileName(const std::string& name) { m_fileName = name; }
    const std::string& FileName() const { return m_fileName; }

    // Sigma and "Selected Dispersion", shown at once (the sigma edit enabled).
    void SetSigma(float sigma);
    float Sigma() const { return m_sigma; }
    int TrimMethod() const { return m_trimMethod; }

    // save: reads the controls into the values (false, with a message, when the sigma is
    // not a number); else shows the values.
    bool UpdateData(bool save);

    // The trim method's choice: the sigma edit is enabled for "Selected Dispersion" only.
    void OnSelchangeTrim();
    // "View": the View Parameters dialog for the file, modally.
    void OnView();

    plat::Dialog* Window() const { return m_window; }

private:
    plat::Dialog* m_window = nullptr;  // owned by the parent
    std::string m_fileName;
    int m_trimMethod = TRIM_AUTO;
    float m_sigma = 2.0f;
};

// Sigma as its edit shows it ("%.6g").
std::string FormatSigma(float sigma);
// The edit's text as a sigma; false when it is not a number.
bool ParseSigma(const std::string& text, float& sigma);
