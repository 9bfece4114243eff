#include "BarPage.h"

#include <QMenu>
#include <QRegion>

#include "BarMessages.h"
#include "platform/windows/BarResources.h"
#include "platform/windows/CommandBars.h"
#include "FlatButton.h"
#include "MenuBarButton.h"
#include "platform/paint/PaintExtras.h"
#include "QuorvexArt.h"
#include "QuorvexStrings.h"
#include "platform/paint/SysColors.h"

using plat::GetSysColor;

namespace {

// Image i of a strip of 32 x 32 images, its mask colour made transparent.
QImage StripImage(const QImage& strip, int i)
{
    QImage image = strip.copy(i * 32, 0, 32, 32).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] & 0xFFFFFF) == kToolMaskColor)
                row[x] = 0;
    }
    return image;
}

}  // namespace

CBarPage::CBarPage(QWidget* frame, const QFont* const* font, int fontHeight)
    : CBarHolder(frame), m_font(font), m_fontHeight(fontHeight)
{}

CBarPage::~CBarPage() = default;

int CBarPage::BuildMenuButtons(const std::vector<std::string>& captions, const std::vector<unsigned>& ids, int height)
{
    // The page's own copy of the menu bar, one popup per button.
    const plat::MenuResource* menu = plat::FindMenu(IDR_MENU_BAR, kQuorvexModule);
    int x = 0;
    for (std::size_t i = 0; i < captions.size(); ++i) {
        auto* popup = new QMenu(this);
        if (menu)
            plat::BuildPopupMenu(popup, *menu, static_cast<int>(i),
                                 [this](unsigned id) { Handle().PostMessage(plat::WM_COMMAND, id, 0); });
        QObject::connect(popup, &QMenu::aboutToHide, this, [this] {
            if (m_openPopup)
                m_openPopup->Handle().SendMessage(WM_BAR_MENU_CLOSED);
        });
        m_popups.push_back(popup);

        auto* button = new CMenuBarButton(this);
        CRect rect(x, 0, x + 40, height);
        int width = 0;
        button->Create(captions[i], &rect, i < ids.size() ? ids[i] : 0, m_font, m_fontHeight, static_cast<int>(i),
                       &width);
        m_menuButtons.push_back(button);
        x += width;
    }
    m_pageWidth = x;
    return m_pageWidth;
}

int CBarPage::BuildToolButtons(const std::string& bitmapName, const std::string& grayBitmapName,
                               const std::vector<std::string>& captions, const std::vector<unsigned>& ids,
                               int buttonWidth, int buttonHeight)
{
    const QImage colour = QuorvexBitmap(bitmapName);
    const QImage gray = QuorvexBitmap(grayBitmapName);
    int x = 0;
    for (std::size_t i = 0; i < captions.size(); ++i) {
        auto* button = new CFlatButton(this);
        button->SetLayoutMode(1);
        const int n = static_cast<int>(i);
        button->CreateWithIcons(captions[i], CRect(x, 0, x + buttonWidth, buttonHeight), i < ids.size() ? ids[i] : 0,
                                StripImage(colour, n), StripImage(gray, n), m_font, m_fontHeight);
        m_toolButtons.push_back(button);
        x += buttonWidth;
    }
    m_pageWidth = x;
    return m_pageWidth;
}

QMenu* CBarPage::PopupMenu(int index) const
{
    return index >= 0 && index < static_cast<int>(m_popups.size()) ? m_popups[index] : nullptr;
}

void CBarPage::OnPaint(plat::DeviceContext& dc)
{
    // Nothing of its own: the face shows between and behind the buttons.
    dc.FillRect(ClientRect(), GetSysColor(plat::COLOR_BTNFACE));
}

CBarFrame::CBarFrame(QWidget* dialog, plat::WindowHandle dialogHandle, int top, int height)
    : CBarHolder(dialog), m_top(top)
{
    SetParentHandle(dialogHandle);
    // The main window under the frames still gets its paint, which tells a splash
    // window that the start is over.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_scroll.height = height;
    setGeometry(0, top, dialog->width(), height);
    show();
}

void CBarFrame::CreateLeftArrow(const CRect& rect, unsigned id)
{
    m_left = new CArrowButton(this);
    m_left->Create("<", rect, id, -1);
    m_left->setVisible(!m_scroll.leftHidden);
}

void CBarFrame::CreateRightArrow(const CRect& rect, unsigned id)
{
    m_right = new CArrowButton(this);
    m_right->Create(">", rect, id, 1);
    m_right->setVisible(!m_scroll.rightHidden);
}

void CBarFrame::SetPage(CBarPage* page, int x)
{
    m_page = page;
    m_scroll.pageX = x;
    m_scroll.pageWidth = page ? page->PageWidth() : 0;
    if (m_left)
        m_left->raise();
    if (m_right)
        m_right->raise();
}

void CBarFrame::Layout(int clientWidth)
{
    setGeometry(0, m_top, clientWidth, m_scroll.height);
    m_scroll.Layout(clientWidth);
    if (m_right) {
        const CRect r = m_scroll.RightArrow();
        m_right->setGeometry(r.left, r.top, r.Width(), r.Height());
    }
    Invalidate();
    ShowPage();
}

void CBarFrame::ShowPage()
{
    if (m_left)
        m_left->setVisible(!m_scroll.leftHidden);
    if (m_right)
        m_right->setVisible(!m_scroll.rightHidden);
    if (!m_page)
        return;
    m_page->setGeometry(m_scroll.pageX, BarScroll::kMarginY, m_scroll.pageWidth,
                        m_scroll.height - 2 * BarScroll::kMarginY);
    const CRect clip = m_scroll.Clip();
    m_page->setMask(QRegion(clip.left, clip.top, std::max(0, clip.Width()), std::max(0, clip.Height())));
}

void CBarFrame::OnPaint(plat::DeviceContext& dc)
{
    const plat::Rect client = ClientRect();
    dc.FillRect(client, GetSysColor(plat::COLOR_BTNFACE));
    const plat::ColorRef light = GetSysColor(plat::COLOR_3DHILIGHT);
    const plat::ColorRef shadow = GetSysColor(plat::COLOR_3DSHADOW);
    plat::Draw3dRect(dc, client, shadow, light);
    plat::Draw3dRect(dc, plat::Rect{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1}, light,
                     shadow);
}

plat::LResult CBarFrame::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    if (msg != WM_BAR_SCROLL)
        return CBarHolder::OnMessage(msg, wParam, lParam);
    const int step = static_cast<int>(lParam);
    if (m_left && wParam == m_left->Id())
        m_scroll.ScrollLeft(step);
    else if (m_right && wParam == m_right->Id())
        m_scroll.ScrollRight(step);
    else
        return 0;
    ShowPage();
    return 0;
}
