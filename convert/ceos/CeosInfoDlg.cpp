#include "ceos/CeosInfoDlg.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QThread>

#include <iterator>

#include "ceos/CeosFields.h"
#include "ceos/CeosStrings.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"

namespace {

using plat::ControlKind;
using D = CCeosInfoDlg;

const plat::ControlTemplate kControls[] = {
    {D::IDC_TEXT, ControlKind::Static, 6, 6, 328, 196, "", plat::CS_NONE},
    {D::IDC_OK, ControlKind::PushButton, 143, 208, 54, 14, "OK", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, nullptr, "MS Sans Serif", 8, 340, 228, kControls, std::size(kControls),
};

// The edit shows lines broken by "\n".
QString Displayed(const std::string& text)
{
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines += text[i];
    return QString::fromUtf8(lines.data(), int(lines.size()));
}

}  // namespace

const plat::DialogTemplate& CCeosInfoDlg::Template()
{
    return kTemplate;
}

CCeosInfoDlg::CCeosInfoDlg() : m_table(CeosFieldResource()) {}

CCeosInfoDlg::~CCeosInfoDlg()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

void CCeosInfoDlg::Show()
{
    if (m_shown && m_wnd) {
        m_wnd->raise();
        m_wnd->activateWindow();
        return;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        plat::MessageBox({}, LoadCeosString(IDS_CEOS_CANNOT_SHOW_INFO), "", plat::MB_OK);
        return;
    }
    m_wnd = new plat::Dialog(kTemplate, nullptr);
    auto* edit = new QPlainTextEdit;
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_wnd->ReplaceControl(IDC_TEXT, edit);
    m_wnd->OnClicked(IDC_OK, [this] { Close(); });
    m_wnd->SetOkHandler([this] { Close(); });
    m_wnd->SetCancelHandler([this] { Close(); });
    m_shown = 1;
    m_text = FillText(m_leaderFile);
    edit->setPlainText(Displayed(m_text));
    m_wnd->show();
}

void CCeosInfoDlg::Close()
{
    m_shown = 0;
    if (m_wnd) {
        plat::Dialog* wnd = m_wnd;
        m_wnd = nullptr;
        wnd->DestroyWindow();
    }
}
