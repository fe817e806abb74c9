// Date texts of file attributes: "dd-Mon-yyyy hh:mm:ss" in local time.
#include <cctype>
#include <cstring>
#include <string>

#include "io/dos/dos_internal.h"
#include "platform/os_files.h"

namespace {

const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The decimal number in text[at, at + width); -1 unless all are digits.
int Digits(const char *text, int at, int width) {
    int v = 0;
    for (int i = at; i < at + width; i++) {
        if (!isdigit(static_cast<unsigned char>(text[i]))) return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

}  // namespace

extern "C" int ParseFileDate(const char *text, int64_t *seconds) {
    if (!text || strlen(text) != 20) return 0;
    if (text[2] != '-' || text[6] != '-' || text[11] != ' ' || text[14] != ':' || text[17] != ':') return 0;
    cxOsDate d{};
    d.mday = Digits(text, 0, 2);
    d.year = Digits(text, 7, 4);
    d.hour = Digits(text, 12, 2);
    d.min = Digits(text, 15, 2);
    d.sec = Digits(text, 18, 2);
    // Years below 1000 could not be written back in this form.
    if (d.mday < 1 || d.mday > 31 || d.year < 1000 || d.hour < 0 || d.hour > 23 || d.min < 0 || d.min > 59 ||
        d.sec < 0 || d.sec > 59)
        return 0;
    d.month = -1;
    for (int m = 0; m < 12; m++) {
        if (strncasecmp(text + 3, kMonths[m], 3) == 0) d.month = m;
    }
    if (d.month < 0) return 0;
    cxOsFileTimes t{};
    if (!OsDateToTime(&d, &t, 1)) return 0;
    if (seconds) *seconds = t.times[1];
    return 1;
}

namespace cxdos {

std::string FormatFileDate(int64_t seconds) {
    char buffer[256];
    return FormatDate(buffer, static_cast<long long>(seconds));
}

}  // namespace cxdos
