#pragma once
// The recording loop's sense of time: a millisecond counter and a sleep that a stop can cut short. The loop takes both from this
// interface so that tests can drive its time grid without waiting. Thread-safe.

#include <cstdint>
#include <functional>

namespace zelq {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a steady clock, truncated to 32 bits: it wraps after about 49.7 days, and callers
    // compute differences in unsigned 32-bit arithmetic so that the wrap does no harm.
    virtual std::uint32_t timeGetTime() = 0;
    virtual void sleep(std::uint32_t ms) = 0;
    // Sleeps `ms` unless `going` answers false: false as soon as it does (the rest is not slept), true
    // once the whole time is slept. Here in slices of `slice` ms, looking at `going` after each and before
    // the remainder. A clock that wake() reaches may wait the whole time at once instead: a stop wakes it.
    virtual bool sleepWhile(std::uint32_t ms, std::uint32_t slice, const std::function<bool()>& going);
    // Whoever makes a sleepWhile's `going` answer false calls this after, so that the sleep sees it now.
    virtual void wake() {}
};

// The machine's steady clock and a real sleep.
Clock& systemClock();

}  // namespace zelq
