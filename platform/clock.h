#pragma once
// The recording loop's sense of time: a millisecond counter and a sleep. The loop takes both from this
// interface so that tests can drive its time grid without waiting. Thread-safe.

#include <cstdint>

namespace zelq {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a steady clock, truncated to 32 bits: it wraps after about 49.7 days, and callers
    // compute differences in unsigned 32-bit arithmetic so that the wrap does no harm.
    virtual std::uint32_t timeGetTime() = 0;
    virtual void sleep(std::uint32_t ms) = 0;
};

// The machine's steady clock and a real sleep.
Clock& systemClock();

}  // namespace zelq
