// Bounded string copies and the date text of the runtime.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Copies at most size - 1 bytes of source and a NUL (nothing when size is
   0). Returns 1 when the whole source fitted, else 0. */
int StrCopySafe(char *destination, size_t size, const char *source);
/* Appends source to the text in destination within size bytes, always
   terminated (a destination without a NUL in its size is left alone).
   Returns 1 when the whole source fitted, else 0. */
int StrCatSafe(char *destination, size_t size, const char *source);
/* The local date and time as "%.2d-%s-%d %.2d:%.2d:%.2d" (day, English
   month abbreviation, year, hours, minutes, seconds) into a buffer of at
   least 256 bytes. Returns buffer. */
char *FormatCurrentDate(char *buffer);
/* The same for a given time (seconds since the epoch, local time); an empty
   text for a time the platform's time_t cannot hold (past 2038 on 32 bits). */
char *FormatDate(char *buffer, long long seconds);

#ifdef __cplusplus
}
#endif
