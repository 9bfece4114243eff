#include "window/ProfileFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <new>

#include "platform/windows/StatusBar.h"
#include "window/ProfileView.h"

namespace {

// Room the window opens with, as a framework's default rectangle would give.
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 320;

// Icon 272: a jagged curve over a base line.
QIcon ProfileIcon()
{
    QPixmap art(32, 32);
    art.fill(Qt::white);
    QPainter p(&art);
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawRect(0, 0, 31, 31);
    p.drawLine(3, 28, 28, 28);
    p.setPen(QPen(QColor(10, 10, 10), 2));
    const QPoint curve[] = {{3, 22}, {8, 14}, {12, 18}, {17, 6}, {21, 16}, {25, 10}, {28, 20}};
    p.drawPolyline(curve, int(std::size(curve)));
    p.end();
    return QIcon(art);
}

}  // namespace

CProfileFrame::CProfileFrame() : QWidget(nullptr, Qt::Window) {}

CProfileFrame::~CProfileFrame() = default;

int CProfileFrame::Create(CVirtualView* view, const std::string& title, int axis, int position, int count)
{
    m_pLayerView = view;
    m_nCount = std::max(0, count);
    m_pValues.reset(new (std::nothrow) std::uint32_t[size_t(m_nCount) + 1]());
    if (!m_pValues)
        return 0;

    setWindowTitle(QString::fromStdString(title));
    setWindowIcon(ProfileIcon());
    setAutoFillBackground(true);
    QPalette back = palette();
    back.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(back);

    m_wndStatusBar = new plat::StatusBar(this);
    // The grey is the frame's own background; the bar keeps the usual face.
    QPalette face = m_wndStatusBar->palette();
    face.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
    m_wndStatusBar->setPalette(face);
    m_wndStatusBar->setAutoFillBackground(true);
    m_wndStatusBar->setSizeGripEnabled(false);
    m_wndStatusBar->SetParts({kPaneWidth, 2 * kPaneWidth});

    m_pProfileView = new CProfileView(axis, position);
    m_pProfileView->Create(this, m_pLayerView, m_nCount, m_pValues.get(), m_wndStatusBar);
    resize(kDefaultWidth, kDefaultHeight);
    RecalcLayout();
    return 1;
}

void CProfileFrame::RecalcLayout()
{
    if (!m_pProfileView)
        return;
    const int w = width(), h = height();
    m_pProfileView->setGeometry(0, 0, w, std::max(0, h - kStatusBarHeight));
    m_pProfileView->show();
    m_wndStatusBar->setGeometry(0, std::max(0, h - kStatusBarHeight), w, kStatusBarHeight);
}

void CProfileFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    RecalcLayout();
}

void CProfileFrame::closeEvent(QCloseEvent* event)
{
    event->accept();
    DestroyWindow();
}

void CProfileFrame::DestroyWindow()
{
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    // From now on nothing asks the layer view, which may be going right after this.
    if (m_pProfileView)
        m_pProfileView->ForgetLayerView();
    m_pLayerView = nullptr;
    hide();
    // The values, the view and the frame go together with the event loop.
    deleteLater();
}
