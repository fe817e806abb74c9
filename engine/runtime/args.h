// The argument readers every command uses. All of them raise a script error
// (luaG_runerror) instead of returning a failure; before raising they set
// the error number to the argument index.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Checks the argument count and the applet's version. With n arguments:
   min = max = 0 and n > 0 raises ERR_TOOMANYARGS (1193); n < min raises
   ERR_MISSINGPARAMTR (1014); max > 0 and n > max raises 1193 (a maximum of
   0 with a nonzero minimum means no limit). With needMajor nonzero an
   applet compiled by an older version than needMajor.needMinor raises
   ERR_OLDAPPLET (1566) with the needed version ("%d.%d") as detail; an
   applet of unknown version passes. Returns L. */
lua_State *CheckArgCount(lua_State *L, int min, int max, int needMajor, int needMinor);

/* An object ID argument: a light userdata gives {0, pointer}; anything else
   is read as a number (numeric strings converted; else ERR_NUMEXPECTED,
   1138) and truncated, giving {number, null}. Nil is not an ID: commands
   that take Nil for an automatic ID read it with GetOptionalNumberArg. */
void GetObjectIDArg(cxObjectID *out, lua_State *L, int index);

typedef struct cxOptionalNumber {
    int32_t value;
    uint32_t wasNil;
} cxOptionalNumber;
/* A number truncated to an integer, or wasNil = 1 (value 0) for Nil or an
   absent argument. */
void GetOptionalNumberArg(cxOptionalNumber *out, lua_State *L, int index);

/* Pushes the number, or the pointer as a light userdata when it is set.
   Returns 1. */
int PushObjectID(lua_State *L, cxObjectID id);

/* A position argument (a number; else ERR_NUMEXPECTED is raised) as a
   whole coordinate, truncated and held within 32 bits. 0, or
   ERR_COORDSRANGE when it is not finite (nothing could be placed there). */
int GetCoordinateArg(lua_State *L, int index, int32_t *out);

/* A number, or Nil (0), as it is; or a string: a decimal number, which,
   followed by "%", is a percentage: value / 100 with base 0 (and *isPercent
   set to 1), value * base / 100 otherwise. A string without digits, a
   negative percentage, or one above 100 unless allowOver100 raise
   ERR_PERCENTFORMAT (1184); other types ERR_STRORNUM (1183). isPercent may
   be null. */
double GetNumberOrPercentArg(lua_State *L, int index, double base, int allowOver100, int *isPercent);

/* A string argument (a number is converted; else ERR_STREXPECTED, 1139).
   *bytes (optional) receives its length in bytes. With checkUtf8 the bytes
   must be valid UTF-8 (else ERR_INVALIDUTF8ARG, 1588) and *length
   (optional) receives the character count; without it *length receives the
   byte length. */
const char *GetStringArgChecked(lua_State *L, int index, size_t *length, int checkUtf8, size_t *bytes);

/* A file name argument resolved against the files linked into the running
   applet (and, with font set, its linked fonts): a matching name is
   replaced in its stack slot by the linked file's ":::chunk" name and
   *isLinked (optional) is set; any other name is returned as it is. */
const char *GetFileNameArg(lua_State *L, int index, int font, int *isLinked);

/* Parses the decimal number at the start of text (blanks skipped first; an
   optional sign, digits, an optional fraction). Returns the number of bytes
   used, 0 when no digit was found. */
size_t ParseDecimalPrefix(const char *text, double *value);

#ifdef __cplusplus
}
#endif
