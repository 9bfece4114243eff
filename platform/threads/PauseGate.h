#pragma once
// A gate one thread may be held at while another decides something: Close() it, and
// Wait() blocks until Open(). Open at start.

#include <condition_variable>
#include <mutex>

namespace plat {

class PauseGate final {
public:
    PauseGate() = default;
    // Shared by the threads that use it: neither copied nor moved.
    PauseGate(const PauseGate&) = delete;
    PauseGate& operator=(const PauseGate&) = delete;

    void Close();
    void Open();
    bool IsClosed() const;
    // Returns at once while open; blocks while closed. waited tells whether it blocked.
    void Wait(bool* waited = nullptr);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_closed = false;
};

}  // namespace plat
