#pragma once
// The frame every converter dialog is built on: the window from its template, the
// Execute (and Enter), Close (and Esc) and Help (and F1) wiring, the names of the
// files it converts, the checks of the conversion road before a job starts, and
// the close that destroys the window and deletes the dialog. A converter dialog
// derives from it, fills its controls in OnInitDialog and starts its job in
// OnExecute after ConfirmFiles.

#include <string>
#include <vector>

class QWidget;

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

// "File with name <path> already exists.\nReplace it?"
std::string ReplaceQuestion(const std::string& path);

class ConverterDialog {
public:
    // Owns its window: neither copied nor moved.
    ConverterDialog(const ConverterDialog&) = delete;
    ConverterDialog& operator=(const ConverterDialog&) = delete;

    plat::Dialog* Window() const { return m_wnd; }
    const std::string& InputName() const { return m_input; }
    const std::string& OutputName() const { return m_output; }

    // The road's checks before a job over these files starts, shown with the dialog
    // as owner and caption: an output that is an input, or two outputs naming one
    // file, is refused in a box; then every existing output, except those in
    // askedBefore (the launching dialog asked about them), is asked about with
    // "File with name ... already exists. Replace it?". True when the job may start.
    bool ConfirmFiles(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                      const std::string& caption, const std::vector<std::string>& askedBefore = {}) const;

protected:
    // The controls' ids of the frame's buttons.
    struct Buttons {
        unsigned execute = 1;  // also Enter
        unsigned close = 2;    // also Esc
        unsigned help = 0;     // also F1; 0: none
    };

    ConverterDialog(std::string input, std::string output);
    virtual ~ConverterDialog();

    // Builds the window from tmpl with parent (may be null), wires the buttons,
    // runs OnInitDialog and shows it (showFirst: shown before OnInitDialog, for a
    // dialog whose set-up may put up a box). False without the GUI application or
    // off its thread: nothing is made. From then on the dialog deletes itself when
    // its window is closed.
    bool CreateFrame(const plat::DialogTemplate& tmpl, QWidget* parent, Buttons buttons, bool showFirst = false);

    virtual void OnInitDialog() {}
    virtual void OnExecute() = 0;
    // The help topic F1 and the Help button open.
    virtual std::string HelpTopic() const = 0;
    virtual void OnHelp();
    // Destroys the window and deletes the dialog.
    virtual void OnClose();

    std::string m_input;
    std::string m_output;
    plat::Dialog* m_wnd = nullptr;
};
