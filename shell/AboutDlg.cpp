#include "AboutDlg.h"

#include <QLabel>
#include <QPixmap>
#include <algorithm>

#include "platform/dialogs/Dialog.h"
#include "HyperLink.h"
#include "platform/dialogs/MessageBox.h"
#include "QuorvexArt.h"

namespace {

using plat::ControlKind;

const plat::ControlTemplate kControls[] = {
    {CAboutDlg::IDC_PICTURE, ControlKind::Static, 0, 0, 204, 57, nullptr, plat::CS_NONE},
    {plat::IDC_STATIC, ControlKind::Static, 7, 62, 190, 18,
     "Quorvex  v1.3  7/08/99\nCopyright (C) 1999 Tolvek. All rights reserved.", plat::CS_NONE},
    {plat::IDC_STATIC, ControlKind::Static, 7, 84, 190, 26,
     "WARNING :\nThis program is protected by copyright law.\nDo not copy it without the maker's written consent.",
     plat::CS_NONE},
    {plat::IDC_STATIC, ControlKind::GroupBox, 7, 112, 130, 28, "Write us to :", plat::CS_NONE},
    {plat::IDC_STATIC, ControlKind::Static, 13, 126, 26, 8, "E-mail:", plat::CS_NONE},
    {CAboutDlg::IDC_EMAIL, ControlKind::Static, 40, 126, 92, 8, "quorvex@tolvek.example", plat::CS_NONE},
    {plat::IDOK, ControlKind::PushButton, 147, 123, 50, 14, "OK", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    CAboutDlg::IDD, "About", "Tahoma", 8, 204, 146, kControls, std::size(kControls),
};

}  // namespace

const plat::DialogTemplate& CAboutDlg::Template()
{
    return kTemplate;
}

CAboutDlg::~CAboutDlg()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

void CAboutDlg::Create()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
    m_wnd = new plat::Dialog(kTemplate);
    // The picture at its own size across the top.
    const QImage art = QuorvexAboutPicture();
    auto* picture = new QLabel;
    picture->setPixmap(QPixmap::fromImage(art));
    picture->setAlignment(Qt::AlignCenter);
    m_wnd->ReplaceControl(IDC_PICTURE, picture);
    m_wnd->GrowControl(IDC_PICTURE, art.width(), art.height());
    picture->setGeometry(0, 0, std::max(art.width(), m_wnd->width()), art.height());

    m_link = new CHyperLink;
    const std::string address = m_wnd->ControlText(IDC_EMAIL);
    m_wnd->ReplaceControl(IDC_EMAIL, m_link);
    m_link->PreSubclassWindow(address);

    const auto end = [this] { m_wnd->done(QDialog::Accepted); };
    m_wnd->OnClicked(plat::IDOK, end);
    m_wnd->SetOkHandler(end);
    m_wnd->SetCancelHandler(end);
}

int CAboutDlg::DoModal()
{
    Create();
    m_wnd->exec();
    return plat::IDOK;
}
