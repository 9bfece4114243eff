#pragma once
// The modeless "Export ASCII" dialog: the text layout (three columns or a matrix)
// and the delimiter; Execute starts the export job and stays open.

#include <string>

#include "ConverterDialog.h"

namespace plat {
struct DialogTemplate;
}

class CAsciiExportDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 387,
        IDC_OTHER_TEXT = 3000,
        IDC_COLUMNS = 3015,
        IDC_MATRIX = 3016,
        IDC_SPACE = 3017,
        IDC_TAB = 3018,
        IDC_COMMA = 3019,
        IDC_OTHER = 3020,
        IDC_HELP = 3137,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CAsciiExportDlg(std::string input, std::string output);
    CAsciiExportDlg(const CAsciiExportDlg&) = delete;
    CAsciiExportDlg& operator=(const CAsciiExportDlg&) = delete;

    // Builds and shows the window; false when it cannot be made. From then on the
    // object deletes itself when its window is closed.
    bool Create();

    int Layout() const { return m_layout; }
    const std::string& Delimiter() const { return m_delimiter; }
    static const plat::DialogTemplate& Template();

private:
    friend int LaunchAsciiExport(const char* output, const char* input);
    ~CAsciiExportDlg() override;
    void OnInitDialog() override;
    void OnExecute() override;
    std::string HelpTopic() const override;

    int m_layout = 1;  // 1 three columns, 2 matrix
    std::string m_delimiter = " ";
};

// Creates the dialog modeless and without parent; nonzero on success.
int LaunchAsciiExport(const char* output, const char* input);
