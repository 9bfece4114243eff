#pragma once
// The modeless "Import / Export" dialog: the user picks an input file and its format,
// an output file and one of the formats the input converts to; Execute checks both
// files and hands the pair to its converter. The dialog stays open for further
// conversions and deletes itself when closed.

#include <string>

#include "ConverterDialog.h"
#include "FormatTable.h"
#include "dialogs/InFileCtrl.h"

class QWidget;

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

class CImportExportDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 372,
        IDC_ADVANCED = 3007,
        IDC_OUTPUT_FORMAT = 3022,
        IDC_INPUT_FORMAT = 3023,
        IDC_HELP = 3137,
        IDC_EXECUTE = 3145,
        IDC_INPUT_FILE = 3149,
        IDC_OUTPUT_FILE = 3150,
        IDC_CLOSE = 2,
    };

    CImportExportDlg();
    // Owns its window: neither copied nor moved.
    CImportExportDlg(const CImportExportDlg&) = delete;
    CImportExportDlg& operator=(const CImportExportDlg&) = delete;

    // 1 lists all nine formats, 0 the short list; read when the window is made.
    void SetFullList(int full) { m_fullList = full; }
    int FullList() const { return m_fullList; }

    // Builds the window from template 372 with parent (may be null) and shows it;
    // false when it cannot be made. From then on the object deletes itself when its
    // window is closed.
    bool Create(QWidget* parent);

    // Handlers.
    void OnInputFormatChanged();
    void OnOutputFormatChanged();
    void OnInputFileChosen();
    void OnOutputFileChosen();
    void OnExecute() override;
    void OnHelp() override { ConverterDialog::OnHelp(); }
    void OnClose() override { ConverterDialog::OnClose(); }

    CInFileCtrl& InputFile() { return m_inputFile; }
    CInFileCtrl& OutputFile() { return m_outputFile; }
    const FormatList& Inputs() const { return m_inputs; }
    const FormatList& Outputs() const { return m_outputs; }
    static const plat::DialogTemplate& Template();

private:
    friend class ExternFunction;
    // Makes and shows one with the given list; says so when it cannot.
    static void Launch(QWidget* parent, int fullList);
    ~CImportExportDlg() override;
    void OnInitDialog() override;
    std::string HelpTopic() const override;
    void BuildOutputList();
    int InputPosition() const;
    int OutputPosition() const;
    void SelectInput(int pos);
    void SelectOutput(int pos);

    int m_fullList = 1;
    FormatList m_inputs;
    FormatList m_outputs;
    int m_inputPos = 0;  // the input position the output list was built for
    CInFileCtrl m_outputFile;
    CInFileCtrl m_inputFile;
};

// The library's launchers, called by the shell and by the viewers' hosts.
class ExternFunction final {
public:
    // "Import / Export" with all nine formats, owned by parent.
    void LaunchImport(QWidget* parent);
    // The same with the short list (no CEOS kinds); the shell passes no parent.
    void LaunchImportShort(QWidget* parent);
    // "Operations with complex files" and "Change data type", modeless, without parent.
    void LaunchComplex();
    void LaunchTypeChange();
};
