#pragma once
// The modeless "Import ASCII" dialog: which of the three numbers of a point line
// is X, Y and Z, their minimum and maximum, and Execute, which starts the import
// job and stays open.

#include <string>

#include "ConverterDialog.h"
#include "ascii/AsciiText.h"

namespace plat {
struct DialogTemplate;
}

class CAsciiImportDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 385,
        IDC_MIN_A = 3002,
        IDC_MAX_A = 3003,
        IDC_MIN_B = 3005,
        IDC_MAX_B = 3006,
        IDC_MIN_C = 3008,
        IDC_MAX_C = 3009,
        IDC_COLUMN_A = 3151,
        IDC_COLUMN_B = 3152,
        IDC_COLUMN_C = 3153,
        IDC_STATISTICS = 3154,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CAsciiImportDlg(std::string input, std::string output);
    CAsciiImportDlg(const CAsciiImportDlg&) = delete;
    CAsciiImportDlg& operator=(const CAsciiImportDlg&) = delete;

    // Builds and shows the window; false when it cannot be made. From then on the
    // object deletes itself when its window is closed.
    bool Create();

    // Scans the input again and shows the six values.
    void ScanStatistics();
    const AsciiStatistics& Statistics() const { return m_stats; }
    static const plat::DialogTemplate& Template();

private:
    friend int LaunchAsciiImport(const char* output, const char* input);
    ~CAsciiImportDlg() override;
    void OnInitDialog() override;
    void OnExecute() override;
    std::string HelpTopic() const override;
    void ShowStatistics();

    AsciiStatistics m_stats;
};

// Creates the dialog modeless and without parent; nonzero on success.
int LaunchAsciiImport(const char* output, const char* input);
