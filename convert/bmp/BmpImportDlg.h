#pragma once
// The modeless "BMP Import" dialog: the bitmap's size and kind and, for colour
// bitmaps, the three channel files; Execute starts the import job and stays open.

#include <string>

#include "ConverterDialog.h"
#include "dialogs/InFileCtrl.h"

namespace plat {
struct DialogTemplate;
}

class CBmpImportDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 388,
        IDC_FILE_SIZE = 3000,
        IDC_FILE_TYPE = 3001,
        IDC_RED = 3165,
        IDC_GREEN = 3166,
        IDC_BLUE = 3168,
        IDC_HELP = 3137,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CBmpImportDlg(std::string input, std::string output, int bitCount, std::string sizeText, std::string kindText);
    CBmpImportDlg(const CBmpImportDlg&) = delete;
    CBmpImportDlg& operator=(const CBmpImportDlg&) = delete;

    // Builds and shows the window; false when it cannot be made. From then on the
    // object deletes itself when its window is closed.
    bool Create();

    int Mode() const { return m_mode; }
    CInFileCtrl& Channel(int i) { return i == 0 ? m_red : i == 1 ? m_green : m_blue; }
    static const plat::DialogTemplate& Template();

private:
    friend void OpenBmpImportDialog(const std::string&, const std::string&, int, const std::string&,
                                    const std::string&);
    ~CBmpImportDlg() override;
    void OnInitDialog() override;
    void OnExecute() override;
    std::string HelpTopic() const override;

    CInFileCtrl m_red, m_green, m_blue;
    int m_mode = 0;  // 0 nothing to do, 1 one output, 3 three outputs
    int m_bitCount = 0;
    std::string m_sizeText;
    std::string m_kindText;
};

// Checks the bitmap: 0 with its bit count, size text ("%d x %d") and kind text,
// or the refusal's text id (3075, 3098, 3091).
int ProbeBmpForImport(const std::string& input, int* bitCount, std::string* sizeText, std::string* kindText);

// Checks the bitmap (a refusal is told in a box captioned "Importing bitmap") and
// opens the dialog, modeless and without parent; nonzero when it opened.
int LaunchBmpImport(const char* input, const char* output);
