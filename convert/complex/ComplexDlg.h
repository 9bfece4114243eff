#pragma once
// The modeless "Operations with complex files" dialog: joins two real files into a
// complex one or divides a complex file into two real ones, as amplitude and phase
// or as real and imaginary parts. Execute starts the job and stays open.

#include <string>

#include "ConverterDialog.h"
#include "complex/ComplexOps.h"
#include "dialogs/InFileCtrl.h"

namespace plat {
struct DialogTemplate;
}

class CComplexDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 337,
        IDC_JOIN = 3052,
        IDC_DIVIDE = 3053,
        IDC_AMP_PHASE = 3059,
        IDC_RE_IM = 3060,
        IDC_LABEL1 = 3061,
        IDC_LABEL2 = 3062,
        IDC_WRITE1 = 3103,
        IDC_WRITE2 = 3104,
        IDC_COMPLEX = 3155,
        IDC_SOURCE1 = 3156,
        IDC_SOURCE2 = 3157,
        IDC_HELP = 3137,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CComplexDlg();
    CComplexDlg(const CComplexDlg&) = delete;
    CComplexDlg& operator=(const CComplexDlg&) = delete;

    // Builds and shows the window; false when it cannot be made. From then on the
    // object deletes itself when its window is closed.
    bool Create();

    int Action() const { return m_action; }
    int Interpretation() const { return m_interpretation; }
    const std::string& Label1() const { return m_label1; }
    const std::string& Label2() const { return m_label2; }
    CInFileCtrl& Component1() { return m_component1; }
    CInFileCtrl& Component2() { return m_component2; }
    CInFileCtrl& ComplexFile() { return m_complex; }
    // What Execute would ask for now.
    ComplexRequest Request() const;
    static const plat::DialogTemplate& Template();

private:
    friend CComplexDlg* OpenComplexDialog();
    ~CComplexDlg() override;
    void OnInitDialog() override;
    void OnExecute() override;
    std::string HelpTopic() const override;
    void OnJoin();
    void OnDivide();
    void OnInterpretation(int interpretation);
    // Each component control and its label enabled exactly when its write check is on.
    void EnableByChecks();
    bool Checked(unsigned id) const;

    CInFileCtrl m_component2;
    CInFileCtrl m_component1;
    CInFileCtrl m_complex;
    int m_action = -1;
    int m_interpretation = -1;
    std::string m_label1;
    std::string m_label2;
};

// Makes and shows the dialog, modeless and without parent; null when it cannot.
CComplexDlg* OpenComplexDialog();
