// The names of the special keys, shared by every place that turns key
// codes into names and back. Printable keys are their character codes;
// special keys have codes 256 to 313.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_KEYNAME_COUNT 58
/* Rows of the table that lookups by code start or stop at. */
#define CX_KEYROW_ESC 4
#define CX_KEYROW_LSHIFT 50
#define CX_KEY_LSHIFT 306
#define CX_KEY_RCONTROL 313

typedef struct cxKeyName {
    const char *name;
    uint32_t code;
} cxKeyName;

extern const cxKeyName kKeyNames[CX_KEYNAME_COUNT];

/* The code of a key name: one graphic character below 128 is its own code,
   longer names are looked up without regard to case; 0 when unknown. */
uint32_t LookupKeyCode(const char *name);
/* The name of a code, searching rows first..end-1 of the table in order;
   null when none of them has it. */
const char *LookupKeyName(uint32_t code, int first, int end);
/* The qualifier bits (0x80000000 and the key's bit) of a modifier key
   code, 0 for other codes. */
uint32_t ModifierQualifierMask(uint32_t code);
/* The "modifiers" sum (MODLSHIFT 1 ... MODRCOMMAND 128) of qualifier bits. */
uint32_t ModifiersOfQualifiers(uint32_t qualifiers);

#ifdef __cplusplus
}
#endif
