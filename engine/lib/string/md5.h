// MD5 digests (RFC 1321), shared by the string library's MD5Str and the
// other parts of the player that hash data.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxMD5Context {
    uint32_t countLow; /* bits hashed, low word */
    uint32_t countHigh;
    uint32_t state[4];
    uint8_t buffer[64];
} cxMD5Context;

void MD5Init(cxMD5Context *context);
void MD5Update(cxMD5Context *context, const void *data, size_t length);
void MD5Final(cxMD5Context *context, uint8_t digest[16]);

#ifdef __cplusplus
}
#endif
