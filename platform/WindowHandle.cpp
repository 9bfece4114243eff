#include "WindowHandle.h"

#include <QPointer>
#include <QWidget>
#include <atomic>

#include "GuiThread.h"

namespace plat {

struct WindowHandle::Block {
    std::atomic<bool> alive{true};
    // Both touched on the GUI thread only.
    QPointer<QWidget> window;
    std::shared_ptr<MessageHandler> handler;
};

WindowHandle WindowHandle::Attach(QWidget* window, MessageHandler handler)
{
    auto block = std::make_shared<Block>();
    block->window = window;
    block->handler = std::make_shared<MessageHandler>(std::move(handler));
    std::weak_ptr<Block> weak = block;
    QObject::connect(window, &QObject::destroyed, [weak] {
        if (auto b = weak.lock())
            WindowHandle(b).Close();
    });
    return WindowHandle(std::move(block));
}

bool WindowHandle::IsWindow() const
{
    return m_block && m_block->alive.load();
}

QWidget* WindowHandle::Widget() const
{
    return IsWindow() ? m_block->window.data() : nullptr;
}

void WindowHandle::Close() const
{
    if (!m_block)
        return;
    m_block->alive = false;
    m_block->window = nullptr;
    m_block->handler.reset();
}

LResult WindowHandle::Deliver(unsigned msg, WParam wParam, LParam lParam) const
{
    if (!IsWindow() || !m_block->handler)
        return 0;
    // Holds the handler while it runs, since it may close its own window.
    std::shared_ptr<MessageHandler> handler = m_block->handler;
    return (*handler)(msg, wParam, lParam);
}

bool WindowHandle::PostMessage(unsigned msg, WParam wParam, LParam lParam) const
{
    if (!IsWindow())
        return false;
    WindowHandle self = *this;
    PostToGuiThread([self, msg, wParam, lParam] { self.Deliver(msg, wParam, lParam); });
    return true;
}

LResult WindowHandle::SendMessage(unsigned msg, WParam wParam, LParam lParam) const
{
    if (!IsWindow())
        return 0;
    LResult result = 0;
    CallOnGuiThread([&] { result = Deliver(msg, wParam, lParam); });
    return result;
}

}  // namespace plat
