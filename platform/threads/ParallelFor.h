#pragma once
// The one parallel loop of the suite. Workers are started once, on first use,
// and kept; a loop hands its pieces to those that are free and works on them
// itself. Progress and cancellation stay on the calling thread: only the caller
// runs the progress function, so a meter's cancel unwinds there, after the
// pieces already running have finished.

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace plat {

// A non-owning reference to a callable; valid while the callable lives.
template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> final {
public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
    FunctionRef(F&& f)  // NOLINT: implicit by design, like std::function
        : m_object(const_cast<void*>(static_cast<const void*>(std::addressof(f)))), m_call([](void* o, Args... a) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(a)...);
          })
    {}
    FunctionRef(const FunctionRef&) = default;
    FunctionRef& operator=(const FunctionRef&) = default;

    R operator()(Args... a) const { return m_call(m_object, std::forward<Args>(a)...); }

private:
    void* m_object;
    R (*m_call)(void*, Args...);
};

// Threads a loop can run on: the kept workers and the caller.
int ParallelThreads();

// Caps ParallelThreads() for the whole process (0: no cap), e.g. to time a
// loop on one core.
void SetParallelThreadLimit(int threads);

// Threads worth using for a loop over this many bytes: 1 (the caller alone,
// no hand-over at all) below about a megabyte, else ParallelThreads().
int ParallelThreadsFor(int64_t bytes);

// Cuts [0, count) into pieces of grain items (the last may be shorter) and runs
// body(begin, end, slot) once for each. threads <= 1, a single piece, or a
// machine with one core run everything on the caller, in order. Otherwise up to
// threads - 1 free workers help; slot (0 for the caller) is unique among the
// pieces running at one time and below threads, so per-slot accumulators need
// no lock.
//
// After each piece it finishes and while it waits for the helpers, the caller
// runs progress(done), done being the count of leading items that are all
// finished (their writes visible to the caller); done only grows and its last
// value is count. An exception from progress (a cancel) or from a body stops
// the handing out of pieces, waits for those running, and leaves on the
// caller's thread; the first one wins.
//
// Loops may run on several threads at once and may nest: a worker that runs a
// loop of its own is that loop's caller.
void ParallelFor(int64_t count, int64_t grain, int threads, FunctionRef<void(int64_t, int64_t, int)> body,
                 FunctionRef<void(int64_t)> progress);
void ParallelFor(int64_t count, int64_t grain, int threads, FunctionRef<void(int64_t, int64_t, int)> body);

}  // namespace plat
