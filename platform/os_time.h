// Time of day, a monotonic clock for ages, and sleeping.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A moment or a span: whole seconds and microseconds (0..999999). */
typedef struct cxOsTimeVal {
    uint32_t seconds;
    uint32_t microseconds;
} cxOsTimeVal;

/* Wall-clock time of day (seconds since 1970). */
void OsGetSysTime(cxOsTimeVal *out);
/* The wall-clock time as double seconds. */
double OsGetTimeSeconds(void);
/* A clock that never steps: use it for ages, time-outs and periods. Its
   origin is unspecified, so only differences mean something. */
void OsGetMonotonicTime(cxOsTimeVal *out);

/* a -= b; a result below zero is clamped to zero. */
void OsSubTime(cxOsTimeVal *a, const cxOsTimeVal *b);
/* a += b. */
void OsAddTime(cxOsTimeVal *a, const cxOsTimeVal *b);
/* -1 when a < b, 0 when equal, 1 when a > b. */
int OsCmpTime(const cxOsTimeVal *a, const cxOsTimeVal *b);
/* The span in milliseconds (seconds x 1000 + microseconds / 1000), cut to
   32 bits. */
uint32_t OsTimeToMs(const cxOsTimeVal *t);

/* Sleeps at least the given number of milliseconds (signals do not shorten
   it). */
void OsDelayMs(uint32_t ms);
/* Sleeps until the monotonic clock (OsGetMonotonicTime) reaches the
   deadline; at once when it has passed. */
void OsSleepUntil(const cxOsTimeVal *deadline);

#ifdef __cplusplus
}
#endif
