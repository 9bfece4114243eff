#include "pyramid/BandPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Neither copied nor moved: its workers refer to it until it is destroyed.
class Pool final {
public:
    Pool()
    {
        const int workers = int(std::max(1u, std::thread::hardware_concurrency())) - 1;
        for (int i = 0; i < workers; ++i)
            m_threads.emplace_back([this] { Work(); });
    }
    ~Pool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        for (auto& t : m_threads)
            t.join();
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    int Size() const { return int(m_threads.size()) + 1; }

    void Run(int bands, const std::function<void(int)>& band)
    {
        std::unique_lock owner(m_owner, std::try_to_lock);
        if (!owner || m_threads.empty() || bands < 2) {
            for (int i = 0; i < bands; ++i)
                band(i);
            return;
        }
        uint32_t generation;
        {
            std::lock_guard lock(m_mutex);
            generation = ++m_generation;
            m_band = &band;
            m_bands = bands;
            m_done = 0;
            m_ticket.store(uint64_t(generation) << 32);
        }
        m_wake.notify_all();
        Take(generation, &band, bands);
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [&] { return m_done == m_bands; });
        m_band = nullptr;
    }

private:
    // Takes bands of one piece of work until none is left. The ticket holds
    // the work's generation beside the next band, so a worker that wakes late
    // never takes a band of a later piece.
    void Take(uint32_t generation, const std::function<void(int)>* band, int bands)
    {
        for (;;) {
            uint64_t ticket = m_ticket.load();
            do {
                if (uint32_t(ticket >> 32) != generation || uint32_t(ticket) >= uint32_t(bands))
                    return;
            } while (!m_ticket.compare_exchange_weak(ticket, ticket + 1));
            (*band)(int(uint32_t(ticket)));
            std::lock_guard lock(m_mutex);
            if (++m_done == m_bands)
                m_finished.notify_all();
        }
    }

    void Work()
    {
        uint32_t seen = 0;
        for (;;) {
            uint32_t generation;
            const std::function<void(int)>* band;
            int bands;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_quit || m_generation != seen; });
                if (m_quit)
                    return;
                seen = generation = m_generation;
                band = m_band;
                bands = m_bands;
            }
            if (band)
                Take(generation, band, bands);
        }
    }

    std::mutex m_owner;  // one piece of work at a time
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    std::vector<std::thread> m_threads;
    const std::function<void(int)>* m_band = nullptr;
    std::atomic<uint64_t> m_ticket{0};
    int m_bands = 0;
    int m_done = 0;
    uint32_t m_generation = 0;
    bool m_quit = false;
};

Pool& ThePool()
{
    static Pool pool;
    return pool;
}

}  // namespace

void RunOnBandPool(int bands, const std::function<void(int)>& band)
{
    ThePool().Run(bands, band);
}

int BandPoolSize()
{
    return ThePool().Size();
}
