#include "dialogs/PreviewOptionsPane.h"

#include <QComboBox>
#include <QLineEdit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/dialogs/MessageBox.h"
#include "dialogs/FileParamsDialog.h"

namespace {

constexpr unsigned kTrimList = 5009, kSigmaEdit = 5010, kViewButton = 5011;

const plat::ControlTemplate kRows[] = {
    {plat::IDC_STATIC, plat::ControlKind::GroupBox, 4, 4, 124, 44, "Histogram Trim method", plat::CS_NONE},
    {kTrimList, plat::ControlKind::DropDownList, 16, 16, 108, 60, nullptr, plat::CS_NONE},
    {kSigmaEdit, plat::ControlKind::Edit, 16, 32, 20, 12, nullptr, plat::CS_DISABLED},
    {plat::IDC_STATIC, plat::ControlKind::GroupBox, 4, 52, 124, 36, "Advanced Information", plat::CS_NONE},
    {kViewButton, plat::ControlKind::PushButton, 12, 64, 56, 16, "View", plat::CS_NONE},
};
const plat::DialogTemplate kTemplate = {532, nullptr, "MS Sans Serif", 8, 132, 112, kRows, std::size(kRows)};

const char* const kTrimNames[] = {"Auto", "None", "Double Dispersion", "Selected Dispersion", ""};

}  // namespace

std::string FormatSigma(float sigma)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", double(sigma));
    return text;
}

bool ParseSigma(const std::string& text, float& sigma)
{
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t')
        ++begin;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(value) || std::fabs(value) > 3.4e38)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return false;
    sigma = float(value);
    return true;
}

CPreviewOptionsPane::CPreviewOptionsPane(QWidget* parent)
    : m_window(new plat::Dialog(kTemplate, parent, plat::DialogRole::Pane))
{
    auto* list = m_window->ControlAs<QComboBox>(kTrimList);
    for (const char* name : kTrimNames)
        list->addItem(QString::fromUtf8(name));
    m_window->OnSelChange(kTrimList, [this] { OnSelchangeTrim(); });
    m_window->OnClicked(kViewButton, [this] { OnView(); });
    UpdateData(false);
}

void CPreviewOptionsPane::SetSigma(float sigma)
{
    m_sigma = sigma;
    m_trimMethod = TRIM_SELECTED_DISPERSION;
    UpdateData(false);
    m_window->Control(kSigmaEdit)->setEnabled(true);
}

bool CPreviewOptionsPane::UpdateData(bool save)
{
    auto* list = m_window->ControlAs<QComboBox>(kTrimList);
    if (!save) {
        list->setCurrentIndex(m_trimMethod);
        m_window->SetControlText(kSigmaEdit, FormatSigma(m_sigma));
        return true;
    }
    float sigma = m_sigma;
    if (!ParseSigma(m_window->ControlText(kSigmaEdit), sigma)) {
        plat::MessageBox(m_window->Handle(), "Please enter a number.", "", plat::MB_OK | plat::MB_ICONWARNING);
        m_window->Control(kSigmaEdit)->setFocus();
        return false;
    }
    m_sigma = sigma;
    m_trimMethod = list->currentIndex();
    return true;
}

void CPreviewOptionsPane::OnSelchangeTrim()
{
    m_trimMethod = m_window->ControlAs<QComboBox>(kTrimList)->currentIndex();
    m_window->Control(kSigmaEdit)->setEnabled(m_trimMethod == TRIM_SELECTED_DISPERSION);
}

void CPreviewOptionsPane::OnView()
{
    CFileParamsDialog dialog(m_window->Handle());
    dialog.m_filePath = m_fileName;
    dialog.DoModal();
}
