#include "BarWindow.h"

#include <QCursor>
#include <QMouseEvent>

#include "BarMessages.h"

CBarWindow::CBarWindow(QWidget* parent) : plat::BufferedWindow(parent)
{
    m_handle = plat::WindowHandle::Attach(this, [this](unsigned msg, plat::WParam wParam, plat::LParam lParam) {
        return OnMessage(msg, wParam, lParam);
    });
}

CBarWindow::~CBarWindow()
{
    m_handle.Close();
}

plat::WindowHandle CBarWindow::ParentHandle() const
{
    if (m_parentHandle)
        return m_parentHandle;
    return HandleOf(parentWidget());
}

plat::WindowHandle CBarWindow::HandleOf(QWidget* window)
{
    if (auto* bar = dynamic_cast<CBarWindow*>(window))
        return bar->Handle();
    return {};
}

plat::LResult CBarWindow::OnMessage(unsigned, plat::WParam, plat::LParam)
{
    return 0;
}

plat::LResult CBarHolder::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    switch (msg) {
    case WM_BAR_HOVER: {
        auto* control = reinterpret_cast<QWidget*>(wParam);
        if (m_hovered && m_hovered != control)
            HandleOf(m_hovered).SendMessage(WM_BAR_LEAVE);
        ParentHandle().SendMessage(WM_BAR_HOVER, wParam);
        m_hovered = control;
        return 0;
    }
    case WM_BAR_LEAVE:
        m_left = 1;
        if (m_hovered)
            HandleOf(m_hovered).SendMessage(WM_BAR_LEAVE);
        m_hovered = nullptr;
        return 0;
    case plat::WM_COMMAND:
        // A button's command (notification code 0) goes on up.
        if ((wParam >> 16) == 0) {
            ParentHandle().SendMessage(plat::WM_COMMAND, wParam, lParam);
            return 1;
        }
        return 0;
    default:
        return CBarWindow::OnMessage(msg, wParam, lParam);
    }
}

void CBarHolder::mouseMoveEvent(QMouseEvent* event)
{
    if (m_left) {
        ParentHandle().SendMessage(WM_BAR_HOVER, AsParam(this));
        m_left = 0;
    }
    if (m_hovered && !m_hovered->rect().contains(m_hovered->mapFromGlobal(QCursor::pos()))) {
        HandleOf(m_hovered).SendMessage(WM_BAR_LEAVE);
        m_hovered = nullptr;
    }
    CBarWindow::mouseMoveEvent(event);
}
