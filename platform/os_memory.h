// Memory blocks of the platform layer.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A block of size bytes, zero-filled when clear is non-zero. Null for size 0
   or when memory runs out. Release it with free(). */
void *OsAllocMem(size_t size, int clear);

#ifdef __cplusplus
}
#endif
