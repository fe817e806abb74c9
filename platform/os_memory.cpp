#include "platform/os_memory.h"

#include <cstdlib>

extern "C" void *OsAllocMem(size_t size, int clear) {
    if (size == 0) return nullptr;
    return clear ? calloc(1, size) : malloc(size);
}
