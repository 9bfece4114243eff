#pragma once
// The modeless "Import TIFF" dialog: shows the image's size and depth, takes the
// window to import and, for RGB images, whether to write three planes; Execute
// starts the import job and stays open for further imports.

#include <string>

#include "ConverterDialog.h"
#include "tiff/TIFFReader.h"

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

class CTIFFImportDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 377,
        IDC_WIN_WIDTH = 3109,
        IDC_WIN_HEIGHT = 3110,
        IDC_DELTA_X = 3111,
        IDC_DELTA_Y = 3112,
        IDC_IMAGE_WIDTH = 3114,
        IDC_IMAGE_HEIGHT = 3115,
        IDC_DATA_TYPE = 3116,
        IDC_HELP = 3137,
        IDC_SEPARATE = 3169,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CTIFFImportDlg(std::string input, std::string output);
    // Owns its window: neither copied nor moved.
    CTIFFImportDlg(const CTIFFImportDlg&) = delete;
    CTIFFImportDlg& operator=(const CTIFFImportDlg&) = delete;

    // Builds the window from template 377, checks the input and shows it; false
    // when the window cannot be made. From then on the object deletes itself
    // when its window is closed.
    bool Create();

    // Reads and checks the input: 0, or the id of the refusal's text.
    int CheckInput();

    int OutBytesPerPixel() const { return m_outBytesPerPixel; }
    static const plat::DialogTemplate& Template();

private:
    ~CTIFFImportDlg() override;
    void OnInitDialog() override;
    void OnExecute() override;
    std::string HelpTopic() const override;
    void OnSeparate();
    int Box(const std::string& text, unsigned type) const;

    CTIFFReader m_reader;
    int m_bytesPerPixel = 0;
    int m_outBytesPerPixel = 0;
};

// Creates the dialog for the two files, modeless and without parent; nonzero on success.
int LaunchTiffImport(const char* input, const char* output);
