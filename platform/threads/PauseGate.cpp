#include "platform/threads/PauseGate.h"

namespace plat {

void PauseGate::Close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
}

void PauseGate::Open()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = false;
    }
    m_opened.notify_all();
}

bool PauseGate::IsClosed() const
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}

void PauseGate::Wait(bool* waited)
{
    std::unique_lock lock(m_mutex);
    if (waited)
        *waited = m_closed;
    m_opened.wait(lock, [this] { return !m_closed; });
}

}  // namespace plat
