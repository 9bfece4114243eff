#include "platform/windows/StatusBar.h"

#include <QLabel>
#include <algorithm>

#include "platform/threads/GuiThread.h"

namespace plat {

ProgressCtrl::ProgressCtrl(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
    setRange(m_low, m_high);
    setValue(m_pos);
    m_handle = WindowHandle::Attach(this, [this](unsigned msg, WParam w, LParam l) { return OnMessage(msg, w, l); });
}

ProgressCtrl::~ProgressCtrl()
{
    m_handle.Close();
}

void ProgressCtrl::SetPos(int pos)
{
    m_pos = pos;
    // The bar draws what lies inside its range; the position itself is kept as given.
    setValue(std::max(m_low, std::min(pos, std::max(m_low, m_high))));
}

LResult ProgressCtrl::OnMessage(unsigned msg, WParam wParam, LParam lParam)
{
    const int old = m_pos;
    switch (msg) {
    case PBM_SETRANGE: {
        const int oldRange = int(MakeLParam(unsigned(m_low), unsigned(m_high)));
        m_low = int(lParam & 0xFFFF);
        m_high = int((lParam >> 16) & 0xFFFF);
        setRange(m_low, std::max(m_low, m_high));
        SetPos(std::max(m_low, std::min(m_pos, m_high)));
        return oldRange;
    }
    case PBM_SETPOS:
        SetPos(int(wParam));
        return old;
    case PBM_DELTAPOS:
        SetPos(m_pos + int(wParam));
        return old;
    case PBM_SETSTEP: {
        const int oldStep = m_step;
        m_step = int(wParam);
        return oldStep;
    }
    case PBM_STEPIT: {
        int pos = m_pos + m_step;
        if (pos > m_high)
            pos = m_low + (pos - m_high);
        SetPos(pos);
        return old;
    }
    case PBM_GETRANGE:
        return wParam ? m_low : m_high;
    case PBM_GETPOS:
        return m_pos;
    default:
        return 0;
    }
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    m_progress = new ProgressCtrl(this);
    m_progress->hide();
    m_handle = WindowHandle::Attach(this, [](unsigned, WParam, LParam) { return LResult(0); });
    SetParts({-1});
}

StatusBar::~StatusBar()
{
    m_handle.Close();
}

void StatusBar::SetParts(const std::vector<int>& rightEdges)
{
    const size_t count = std::max<size_t>(rightEdges.size(), 1);
    while (m_panes.size() > count) {
        QLabel* pane = m_panes.back();
        m_panes.pop_back();
        removeWidget(pane);
        delete pane;
    }
    while (m_panes.size() < count) {
        auto* pane = new QLabel(this);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panes.push_back(pane);
    }
    // Re-added in order so that each pane takes its own width.
    int left = 0;
    for (size_t i = 0; i < count; ++i) {
        QLabel* pane = m_panes[i];
        removeWidget(pane);
        const int edge = i < rightEdges.size() ? rightEdges[i] : -1;
        const bool last = i + 1 == count;
        if (edge < 0 || last) {
            pane->setMinimumWidth(0);
            pane->setMaximumWidth(QWIDGETSIZE_MAX);
            addWidget(pane, 1);
        } else {
            pane->setFixedWidth(std::max(0, edge - left));
            addWidget(pane, 0);
            left = edge;
        }
        pane->show();
    }
    // The bar lies over the panes, as a child placed by its owner.
    m_progress->raise();
}

void StatusBar::SetText(int part, const std::string& text)
{
    if (part < 0 || part >= PartCount())
        return;
    QLabel* pane = m_panes[size_t(part)];
    pane->setText(QString::fromStdString(text));
    pane->repaint();
}

std::string StatusBar::Text(int part) const
{
    if (part < 0 || part >= PartCount())
        return {};
    return m_panes[size_t(part)]->text().toStdString();
}

void SetStatusText(const WindowHandle& bar, int part, const std::string& text)
{
    if (!bar.IsWindow())
        return;
    auto apply = [bar, part, text] {
        if (auto* status = dynamic_cast<StatusBar*>(bar.Widget()))
            status->SetText(part, text);
    };
    if (IsGuiThread())
        apply();
    else
        PostToGuiThread(apply);
}

}  // namespace plat
