#pragma once
// The "Advanced Options" sheet of the import/export dialog: a tab for each export
// with options (TIFF first, then RAW), OK and Cancel. OK lets each page that was
// shown store its values in the settings; Cancel stores nothing.

#include <memory>
#include <string>

class QDialog;
class QTabWidget;
class QWidget;

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

// A page of the sheet: built as a pane from its template, read from the settings
// when first shown, stored on the sheet's OK.
class CExportPage {
public:
    virtual ~CExportPage();
    CExportPage(const CExportPage&) = delete;
    CExportPage& operator=(const CExportPage&) = delete;

    // Builds the pane (hidden until its tab shows it).
    plat::Dialog* Create(QWidget* parent);
    plat::Dialog* Window() const { return m_wnd; }
    std::string Title() const;
    // The first time the page is shown: its values from the settings into the controls.
    void Show();
    bool Shown() const { return m_shown; }
    // The controls' values into the settings; nothing when the page was never shown.
    void OnOK();

protected:
    CExportPage() = default;
    virtual const plat::DialogTemplate& PageTemplate() const = 0;
    virtual void OnInitDialog() = 0;
    virtual void Store() = 0;
    bool Checked(unsigned id) const;
    void SetChecked(unsigned id, bool on);

    plat::Dialog* m_wnd = nullptr;
    bool m_shown = false;
};

class CTIFFSheet final : public CExportPage {
public:
    enum : unsigned {
        IDD = 331,
        IDC_ONE_SAMPLE = 3008,
        IDC_BY_BYTES = 3009,
        IDC_GRAY_SCALE = 3016,
        IDC_CUT_2_SIGMA = 3104,
    };
    static const plat::DialogTemplate& Template();

    int m_cut = 0;     // the check box
    int m_color = -1;  // the radio: 0, 1, 2; -1 none

private:
    const plat::DialogTemplate& PageTemplate() const override { return Template(); }
    void OnInitDialog() override;
    void Store() override;
};

class CRawSheet final : public CExportPage {
public:
    enum : unsigned {
        IDD = 332,
        IDC_SAVE_INFO = 3105,
    };
    static const plat::DialogTemplate& Template();

    int m_saveInfo = 0;

private:
    const plat::DialogTemplate& PageTemplate() const override { return Template(); }
    void OnInitDialog() override;
    void Store() override;
};

class CImpExpPropSheet final {
public:
    // caption: the window's title; firstPage: the tab shown first (0: TIFF).
    CImpExpPropSheet(const char* caption, QWidget* parent, unsigned firstPage);
    ~CImpExpPropSheet();
    CImpExpPropSheet(const CImpExpPropSheet&) = delete;
    CImpExpPropSheet& operator=(const CImpExpPropSheet&) = delete;

    // Runs the sheet modally; 1 after OK (the shown pages stored), 2 after Cancel.
    int DoModal();

    QDialog* Window() const { return m_dialog.get(); }
    QTabWidget* Tabs() const { return m_tabs; }
    CTIFFSheet& TiffPage() { return m_tiff; }
    CRawSheet& RawPage() { return m_raw; }
    // What OK does: every shown page stores its values, then the sheet closes.
    void OnOK();

private:
    CTIFFSheet m_tiff;
    CRawSheet m_raw;
    std::unique_ptr<QDialog> m_dialog;
    QTabWidget* m_tabs = nullptr;
};

// Opens the "Advanced Options" sheet over parent, modally.
void ShowExportOptions(QWidget* parent);
