#include "display/frame_limiter.h"

#include "display/display_record.h"
#include "platform/os_time.h"
#include "window/x11/x11_monitors.h"

namespace {

int64_t Micros(const cxOsTimeVal &t) { return int64_t(t.seconds) * 1000000 + t.microseconds; }

cxOsTimeVal TimeVal(int64_t us) {
    return cxOsTimeVal{uint32_t(us / 1000000), uint32_t(us % 1000000)};
}

// The rate of the last display asked for, kept a while: asking the server
// costs round trips, and monitors seldom change their mode.
struct Rate {
    const cxDisplay *display = nullptr;
    int64_t askedAt = 0;
    double hz = 0;
} g_rate;

constexpr int64_t kAskAgainUs = 5000000;

double RefreshRate(const cxDisplay *d, int64_t now) {
    if (g_rate.display != d || now - g_rate.askedAt > kAskAgainUs || g_rate.askedAt == 0) {
        const double hz = OsGetDisplayRefreshRate(&d->os);
        // Rates outside what monitors run at are not believed.
        g_rate.hz = hz >= 20 && hz <= 500 ? hz : CX_DEFAULT_REFRESH_HZ;
        g_rate.display = d;
        g_rate.askedAt = now;
    }
    return g_rate.hz;
}

}  // namespace

extern "C" void PaceFrame(int64_t last, int64_t now, int64_t interval, int64_t *sleepUntil, int64_t *frame) {
    *sleepUntil = 0;
    const int64_t due = last + interval;
    if (last <= 0 || now >= due + interval || now < last) {
        *frame = now;
    } else if (now >= due) {
        *frame = due;
    } else {
        *sleepUntil = due;
        *frame = due;
    }
}

extern "C" void LimitFrameRate(lua_State *, cxDisplay *d, int) {
    if (!d) return;
    cxOsTimeVal t;
    OsGetMonotonicTime(&t);
    const int64_t now = Micros(t);
    const int64_t interval = int64_t(1e6 / RefreshRate(d, now) + 0.5);
    int64_t sleepUntil = 0, frame = 0;
    PaceFrame(Micros(d->lastFrame), now, interval, &sleepUntil, &frame);
    if (sleepUntil > 0) {
        const cxOsTimeVal deadline = TimeVal(sleepUntil);
        OsSleepUntil(&deadline);
    }
    d->lastFrame = TimeVal(frame);
}
