#include "platform/windows/WindowHandle.h"

#include <QPointer>
#include <QWidget>
#include <atomic>

#include "platform/threads/GuiThread.h"

namespace plat {

namespace {

// Remembers a window's handle as a child object, so that a control can find the handle
// of the window it lies in.
class HandleMark final : public QObject {
public:
    HandleMark(QObject* owner, std::weak_ptr<void> block) : QObject(owner), m_block(std::move(block)) {}
    std::weak_ptr<void> m_block;
};

}  // namespace

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
    for (QObject* child : window->children())
        if (auto* mark = dynamic_cast<HandleMark*>(child))
            delete mark;
    new HandleMark(window, std::weak_ptr<void>(std::static_pointer_cast<void>(block)));
    QObject::connect(window, &QObject::destroyed, [weak] {
        if (auto b = weak.lock())
            WindowHandle(b).Close();
    });
    return WindowHandle(std::move(block));
}

WindowHandle WindowHandle::Of(const QWidget* window)
{
    if (!window)
        return {};
    for (QObject* child : window->children())
        if (auto* mark = dynamic_cast<HandleMark*>(child))
            if (auto block = std::static_pointer_cast<Block>(mark->m_block.lock()))
                return WindowHandle(std::move(block));
    return {};
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
