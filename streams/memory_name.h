// Names for blocks of memory, so that code which reads by name (the CXPK
// unpacker) can read data held in memory.
//
// The form is ":::memory:<pointer in hex>:<length in decimal>", for example
// ":::memory:7f3a1c004010:11272". Such a name points straight at memory, so
// only names made by MakeMemoryName and not yet released are honoured: a
// name from anywhere else (a script, a file) never resolves, and is then
// just an ordinary file name that does not exist.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_MEMORY_NAME_PREFIX ":::memory:"
/* Room for the longest name, NUL included. */
#define CX_MEMORY_NAME_MAX 64

/* Writes the name of the block {pointer, length} into out (size bytes;
   CX_MEMORY_NAME_MAX always suffices) and registers the block; making the
   same name again is harmless. Returns 1, or 0 when the name does not fit. */
int MakeMemoryName(char *out, size_t size, const void *pointer, uint64_t length);
/* 1 when the name has the memory-name form (registered or not). */
int IsMemoryName(const char *name);
/* 1 and the block when the name is a registered memory name, else 0. */
int ParseMemoryName(const char *name, const void **pointer, size_t *length);
/* Forgets a block registered by MakeMemoryName. Blocks of static data may
   stay registered for the whole run. */
void ReleaseMemoryName(const void *pointer, size_t length);

#ifdef __cplusplus
}
#endif
