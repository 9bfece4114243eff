#pragma once
// The modeless "Change data type" dialog: a raster layer file converted into a new
// file of another sample type, the source's range of values mapped linearly onto
// the new minimum and maximum. Execute starts the job and stays open.

#include <string>
#include <vector>

#include "ConverterDialog.h"
#include "dialogs/InFileCtrl.h"

namespace plat {
struct DialogTemplate;
}

class CTypeChangeDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 344,
        IDC_NEW_TYPE = 3043,
        IDC_NEW_MIN = 3045,
        IDC_NEW_MAX = 3046,
        IDC_OLD_MIN = 3047,
        IDC_OLD_MAX = 3048,
        IDC_INPUT = 3159,
        IDC_OUTPUT = 3160,
        IDC_HELP = 3137,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CTypeChangeDlg();
    CTypeChangeDlg(const CTypeChangeDlg&) = delete;
    CTypeChangeDlg& operator=(const CTypeChangeDlg&) = delete;

    // Builds and shows the window; false when it cannot be made. From then on the
    // object deletes itself when its window is closed.
    bool Create();

    CInFileCtrl& InputFile() { return m_inputFile; }
    CInFileCtrl& OutputFile() { return m_outputFile; }
    int Equal() const { return m_equal; }
    int SourceType() const { return m_sourceType; }
    int NewType() const { return m_newType; }
    int IsComplexSource() const { return m_complex; }
    double SourceMin() const { return m_min; }
    double SourceMax() const { return m_max; }
    // The types the list offers, in its order (empty before an input is chosen).
    const std::vector<int>& ListTypes() const { return m_listTypes; }
    static const plat::DialogTemplate& Template();

    // Handlers: the input control's notice, the list's selection, the new minimum.
    void OnInputChosen();
    void OnTypeSelected();
    void OnNewMinChanged();

private:
    friend CTypeChangeDlg* OpenTypeChangeDialog();
    ~CTypeChangeDlg() override;
    void OnInitDialog() override;
    void OnExecute() override;
    std::string HelpTopic() const override;
    void SetValue(unsigned id, double value);

    int m_equal = 0;
    int m_sourceType = 0;
    double m_max = 0.0;
    double m_min = 0.0;
    CInFileCtrl m_outputFile;
    CInFileCtrl m_inputFile;
    int m_complex = 0;
    int m_newType = 0;
    std::vector<int> m_listTypes;
};

// Makes and shows the dialog, modeless and without parent; null when it cannot.
CTypeChangeDlg* OpenTypeChangeDialog();
