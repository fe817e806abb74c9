/* Test plug-ins append what happened to them to the file named by the
   environment variable CX_PROBE_LOG, one line per event. */
#ifndef CX_TEST_PROBE_LOG_H
#define CX_TEST_PROBE_LOG_H

#include <stdio.h>
#include <stdlib.h>

static void ProbeLog(const char *event, const char *detail) {
    const char *path = getenv("CX_PROBE_LOG");
    if (!path) return;
    FILE *f = fopen(path, "a");
    if (!f) return;
    fprintf(f, "%s:%s\n", event, detail ? detail : "");
    fclose(f);
}

#endif
