// Bounded string copies and the date text.
#include "engine/runtime/text_utils.h"

#include <cstdio>
#include <cstring>
#include <ctime>

extern "C" int StrCopySafe(char *destination, size_t size, const char *source) {
    if (!destination || size == 0) return source && !*source ? 1 : 0;
    if (!source) source = "";
    size_t len = strlen(source);
    size_t n = len < size - 1 ? len : size - 1;
    memcpy(destination, source, n);
    destination[n] = 0;
    return n == len ? 1 : 0;
}

extern "C" int StrCatSafe(char *destination, size_t size, const char *source) {
    if (!destination || size == 0) return 0;
    const char *end = static_cast<const char *>(memchr(destination, 0, size));
    if (!end) return 0;
    size_t used = static_cast<size_t>(end - destination);
    return StrCopySafe(destination + used, size - used, source);
}

extern "C" char *FormatDate(char *buffer, long long seconds) {
    static const char *const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t t = static_cast<time_t>(seconds);
    struct tm tmv;
    // A 32-bit time_t cannot hold dates past 2038: no text rather than a wrong one.
    if (t != seconds || !localtime_r(&t, &tmv)) {
        buffer[0] = 0;
        return buffer;
    }
    snprintf(buffer, 256, "%.2d-%s-%d %.2d:%.2d:%.2d", tmv.tm_mday, months[tmv.tm_mon % 12], tmv.tm_year + 1900,
             tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
    return buffer;
}

extern "C" char *FormatCurrentDate(char *buffer) { return FormatDate(buffer, static_cast<long long>(time(nullptr))); }
