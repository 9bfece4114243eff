#pragma once
// ThreadSanitizer builds, with GCC (__SANITIZE_THREAD__) or clang (the feature test),
// and the annotations that tell it where a hand-over it cannot see orders two threads.

#if defined(__SANITIZE_THREAD__)
#define PLAT_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PLAT_THREAD_SANITIZER 1
#endif
#endif
#ifndef PLAT_THREAD_SANITIZER
#define PLAT_THREAD_SANITIZER 0
#endif

#if PLAT_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace plat {

// What this thread did so far happens before whatever follows a TakeOver(token).
inline void HandOver(void* token)
{
#if PLAT_THREAD_SANITIZER
    __tsan_release(token);
#else
    (void)token;
#endif
}

inline void TakeOver(void* token)
{
#if PLAT_THREAD_SANITIZER
    __tsan_acquire(token);
#else
    (void)token;
#endif
}

}  // namespace plat
