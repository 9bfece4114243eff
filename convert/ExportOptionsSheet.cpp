#include "ExportOptionsSheet.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/dialogs/Dialog.h"
#include "MirvaneStrings.h"
#include "raw/RawExport.h"
#include "settings/SNRegKey.h"
#include "tiff/TiffExport.h"

using plat::ControlKind;
using plat::IDC_STATIC;

namespace {

const plat::ControlTemplate kTiffControls[] = {
    {IDC_STATIC, ControlKind::GroupBox, 7, 7, 200, 62, "Samples per Pixel", plat::CS_NONE},
    {CTIFFSheet::IDC_GRAY_SCALE, ControlKind::RadioButton, 15, 20, 180, 10, "256 Gray Scale", plat::CS_GROUP},
    {CTIFFSheet::IDC_ONE_SAMPLE, ControlKind::RadioButton, 15, 35, 180, 10, "One Sample", plat::CS_NONE},
    {CTIFFSheet::IDC_BY_BYTES, ControlKind::RadioButton, 15, 50, 180, 10, "By numbers of Byte", plat::CS_DISABLED},
    {CTIFFSheet::IDC_CUT_2_SIGMA, ControlKind::CheckBox, 15, 78, 180, 10, "Cut by 2 Sigma", plat::CS_NONE},
};
const plat::DialogTemplate kTiffTemplate{
    CTIFFSheet::IDD, "TIFF", "MS Sans Serif", 8, 214, 100, kTiffControls, std::size(kTiffControls)};

const plat::ControlTemplate kRawControls[] = {
    {CRawSheet::IDC_SAVE_INFO, ControlKind::CheckBox, 15, 15, 190, 10, "Save Parameters in Text File",
     plat::CS_NONE},
};
const plat::DialogTemplate kRawTemplate{
    CRawSheet::IDD, "RAW", "MS Sans Serif", 8, 214, 100, kRawControls, std::size(kRawControls)};

// The sheet's window: F1 is taken and does nothing.
class SheetWindow final : public QDialog {
public:
    using QDialog::QDialog;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::WhatsThis)
            return true;
        if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) {
            if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1) {
                e->accept();
                return true;
            }
        }
        return QDialog::event(e);
    }
};

}  // namespace

CExportPage::~CExportPage() = default;

plat::Dialog* CExportPage::Create(QWidget* parent)
{
    m_wnd = new plat::Dialog(PageTemplate(), parent, plat::DialogRole::Pane);
    return m_wnd;
}

std::string CExportPage::Title() const
{
    const char* caption = PageTemplate().caption;
    return caption ? caption : "";
}

void CExportPage::Show()
{
    if (m_shown || !m_wnd)
        return;
    m_shown = true;
    OnInitDialog();
}

void CExportPage::OnOK()
{
    if (m_shown && m_wnd)
        Store();
}

bool CExportPage::Checked(unsigned id) const
{
    auto* button = m_wnd ? m_wnd->ControlAs<QAbstractButton>(id) : nullptr;
    return button && button->isChecked();
}

void CExportPage::SetChecked(unsigned id, bool on)
{
    if (auto* button = m_wnd ? m_wnd->ControlAs<QAbstractButton>(id) : nullptr)
        button->setChecked(on);
}

const plat::DialogTemplate& CTIFFSheet::Template()
{
    return kTiffTemplate;
}

void CTIFFSheet::OnInitDialog()
{
    std::string cut = "0";
    std::string color = "1";
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, TiffExportKey().c_str())) {
        key.GetStringValue(cut, "Cut2Sigma");
        key.GetStringValue(color, "Color");
    }
    m_cut = cut == "0" ? 0 : 1;
    m_color = color == "2" ? 1 : color == "3" ? 2 : 0;
    SetChecked(IDC_CUT_2_SIGMA, m_cut != 0);
    SetChecked(IDC_GRAY_SCALE, m_color == 0);
    SetChecked(IDC_ONE_SAMPLE, m_color == 1);
    SetChecked(IDC_BY_BYTES, m_color == 2);
}

void CTIFFSheet::Store()
{
    m_cut = Checked(IDC_CUT_2_SIGMA) ? 1 : 0;
    m_color = Checked(IDC_GRAY_SCALE) ? 0 : Checked(IDC_ONE_SAMPLE) ? 1 : Checked(IDC_BY_BYTES) ? 2 : -1;
    const char* color = m_color == 0 ? "1" : m_color == 1 ? "2" : m_color == 2 ? "3" : "";
    CSNRegKey key;
    if (key.Create(HKEY_CURRENT_USER, TiffExportKey().c_str())) {
        key.SetStringValue(m_cut ? "1" : "0", "Cut2Sigma");
        key.SetStringValue(color, "Color");
        key.Close();
    }
}

const plat::DialogTemplate& CRawSheet::Template()
{
    return kRawTemplate;
}

void CRawSheet::OnInitDialog()
{
    m_saveInfo = ReadRawSaveInfo();
    SetChecked(IDC_SAVE_INFO, m_saveInfo != 0);
}

void CRawSheet::Store()
{
    m_saveInfo = Checked(IDC_SAVE_INFO) ? 1 : 0;
    CSNRegKey key;
    if (key.Create(HKEY_CURRENT_USER, RawExportKey().c_str())) {
        key.SetStringValue(m_saveInfo ? "1" : "0", "Save Info");
        key.Close();
    }
}

CImpExpPropSheet::CImpExpPropSheet(const char* caption, QWidget* parent, unsigned firstPage)
    : m_dialog(std::make_unique<SheetWindow>(parent))
{
    m_dialog->setWindowTitle(QString::fromUtf8(caption ? caption : ""));
    m_dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(m_dialog.get());
    m_tabs = new QTabWidget(m_dialog.get());
    layout->addWidget(m_tabs);
    for (CExportPage* page : {static_cast<CExportPage*>(&m_tiff), static_cast<CExportPage*>(&m_raw)}) {
        plat::Dialog* pane = page->Create(m_tabs);
        m_tabs->addTab(pane, QString::fromUtf8(page->Title().c_str()));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, m_dialog.get());
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, m_dialog.get(), [this] { OnOK(); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, m_dialog.get(), &QDialog::reject);
    auto showPage = [this](int index) {
        if (index == 0)
            m_tiff.Show();
        else if (index == 1)
            m_raw.Show();
    };
    QObject::connect(m_tabs, &QTabWidget::currentChanged, m_dialog.get(), showPage);
    const int first = firstPage < 2 ? int(firstPage) : 0;
    m_tabs->setCurrentIndex(first);
    showPage(first);
}

CImpExpPropSheet::~CImpExpPropSheet() = default;

void CImpExpPropSheet::OnOK()
{
    m_tiff.OnOK();
    m_raw.OnOK();
    m_dialog->accept();
}

int CImpExpPropSheet::DoModal()
{
    return m_dialog->exec() == QDialog::Accepted ? 1 : 2;
}

void ShowExportOptions(QWidget* parent)
{
    CImpExpPropSheet sheet(LoadMirvaneString(IDS_ADVANCED_OPTIONS).c_str(), parent, 0);
    sheet.DoModal();
}
