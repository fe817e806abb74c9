#include "platform/os_time.h"

#include <cerrno>
#include <ctime>
#include <sys/time.h>

extern "C" void OsGetSysTime(cxOsTimeVal *out) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    out->seconds = uint32_t(tv.tv_sec);
    out->microseconds = uint32_t(tv.tv_usec);
}

extern "C" double OsGetTimeSeconds(void) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

extern "C" void OsGetMonotonicTime(cxOsTimeVal *out) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    out->seconds = uint32_t(ts.tv_sec);
    out->microseconds = uint32_t(ts.tv_nsec / 1000);
}

extern "C" void OsSubTime(cxOsTimeVal *a, const cxOsTimeVal *b) {
    if (OsCmpTime(a, b) <= 0) {
        a->seconds = 0;
        a->microseconds = 0;
        return;
    }
    uint32_t sec = a->seconds - b->seconds;
    uint32_t usec = a->microseconds;
    if (usec < b->microseconds) {
        usec += 1000000;
        --sec;
    }
    a->seconds = sec;
    a->microseconds = usec - b->microseconds;
}

extern "C" void OsAddTime(cxOsTimeVal *a, const cxOsTimeVal *b) {
    uint32_t usec = a->microseconds + b->microseconds;
    uint32_t sec = a->seconds + b->seconds;
    while (usec >= 1000000) {
        usec -= 1000000;
        ++sec;
    }
    a->seconds = sec;
    a->microseconds = usec;
}

extern "C" int OsCmpTime(const cxOsTimeVal *a, const cxOsTimeVal *b) {
    if (a->seconds != b->seconds) return a->seconds < b->seconds ? -1 : 1;
    if (a->microseconds != b->microseconds) return a->microseconds < b->microseconds ? -1 : 1;
    return 0;
}

extern "C" uint32_t OsTimeToMs(const cxOsTimeVal *t) {
    return t->seconds * 1000u + t->microseconds / 1000u;
}

extern "C" void OsDelayMs(uint32_t ms) {
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = long(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

extern "C" void OsSleepUntil(const cxOsTimeVal *deadline) {
    struct timespec ts;
    ts.tv_sec = time_t(deadline->seconds);
    ts.tv_nsec = long(deadline->microseconds) * 1000L;
    // An absolute deadline: a signal's restart sleeps only what is left.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}
