#pragma once
// A function that tests install in place of a system service (message boxes, the
// desktop's handlers, a splash window), read and replaced from any thread.

#include <mutex>
#include <utility>

namespace plat {

// Holds a mutex: neither copyable nor movable.
template <class Fn>
class Hook final {
public:
    // Installs fn and returns the previous one.
    Fn Set(Fn fn)
    {
        std::lock_guard<std::mutex> g(m_lock);
        return std::exchange(m_fn, std::move(fn));
    }
    // A copy, so the caller runs it without holding the lock.
    Fn Get() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_fn;
    }

private:
    mutable std::mutex m_lock;
    Fn m_fn;
};

}  // namespace plat
