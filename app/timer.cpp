// Millisecond timers on the performance counter.
#include "app/app.h"

#include "platform/platform.h" // PlatformPerfCounter, PlatformPerfFrequency

// Defined in this order so that the run timer is zeroed before the frequency
// is read, as the program has always started.
Timer g_runTimer;
int64_t g_perfFrequency = PlatformPerfFrequency();

namespace {

// Start count of the frame timer, shared by ResetFrameTimer and FrameElapsedMs.
int64_t s_frameTimerStart = 0;
PerfCounterSource s_counter = nullptr;

int64_t CounterNow() {
    return s_counter != nullptr ? s_counter() : PlatformPerfCounter();
}

// ticks / (ticks per millisecond, rounded down); a counter slower than 1 kHz
// would round the divisor to 0, so it counts as 1.
uint32_t TicksToMs(const int64_t ticks) {
    int64_t perMs = g_perfFrequency / 1000;
    if (perMs < 1) {
        perMs = 1;
    }
    return static_cast<uint32_t>(ticks / perMs);
}

} // namespace

void SetPerfCounterSource(const PerfCounterSource source) {
    s_counter = source;
}

void Timer::Start() {
    start = CounterNow();
}

uint32_t Timer::ElapsedMs() const {
    return TicksToMs(CounterNow() - start);
}

void ResetFrameTimer() {
    s_frameTimerStart = CounterNow();
}

uint32_t FrameElapsedMs() {
    return TicksToMs(CounterNow() - s_frameTimerStart);
}
