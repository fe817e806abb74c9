// Readers of named fields of option tables, and writers of fields of tables
// handed back to scripts.
//
// Every reader takes the stack index of the table and the key, reads the
// field through ordinary indexing and returns 1 when it is present (setting
// *found to 1 when found is given; it is never cleared) or 0 when it is Nil
// or absent, leaving the outputs untouched so that the caller's defaults
// stay. A present field of the wrong type raises the reader's error with the
// key as the error detail: ERR_NUMTABLEARG (1189) for number fields,
// ERR_STRTABLEARG (1247) for string fields.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A number truncated to 32 bits (negative values signed, others unsigned). */
int GetTableInt(lua_State *L, int table, const char *key, int *out, int *found);
int GetTableDouble(lua_State *L, int table, const char *key, double *out, int *found);
/* A number read as an unsigned 32-bit word: colours and flag words (a
   boolean reads as 0 or 1). */
int GetTableBool(lua_State *L, int table, const char *key, uint32_t *out, int *found);
/* The field's truth by the script rule: Nil, False, the number 0 and the
   empty string are false, every other value true. Any type is accepted. */
int GetTableTruth(lua_State *L, int table, const char *key, int *out, int *found);
/* Any value, stored as a reference in the registry (luaL_ref); the caller
   releases it with luaL_unref. */
int GetTableFunction(lua_State *L, int table, const char *key, int *ref, int *found);
/* A string (or a number as text) copied into buffer: at most size - 1 bytes
   and a NUL (nothing when size is 0). */
int GetTableString(lua_State *L, int table, const char *key, char *buffer, size_t size, int *found);
/* A string copied into a new allocation (free()) with its length; ERR_MEM
   is raised when that fails. resolve 1 resolves it as a file name against
   the files linked into the applet, 2 also against the linked fonts
   (*isFont, optional, is set for a linked font). */
int GetTableStringAlloc(lua_State *L, int table, const char *key, int resolve, int *isFont, char **out,
                        size_t *length, int *found);
/* An object ID as GetObjectIDArg reads it. */
int GetTableObjectID(lua_State *L, int table, const char *key, cxObjectID *out, int *found);
/* A number truncated to 32 bits, or a string of a number followed by "%",
   stored as the negated percentage (truncated). A string without digits, a
   negative percentage, or one of 101 or more unless allowOver100 raise
   ERR_PERCENTFORMATSTR (1502) with the key as detail. */
int GetTablePercent(lua_State *L, int table, const char *key, int allowOver100, int32_t *out, int *found);
/* As GetNumberOrPercentArg, for a field; errors carry the key as detail. */
int GetTableNumberOrPercent(lua_State *L, int table, const char *key, double base, int allowOver100,
                            double *out, int *isPercent, int *found);
/* A table of four numbers (indices 0 to 3): fewer raise ERR_MISSINGPARAMTR
   (1014), a non-number ERR_NUMTABLEARG; a field that is no table
   ERR_TABEXPECTED2 (1446). */
int GetTableNumbers(lua_State *L, int table, const char *key, double out[4], int *found);
/* A layer position: a number, or the name of a layer of the current BGPic
   (through the layer name resolver; none installed or no such layer:
   ERR_FINDLAYER, 1369, with the name). Other types ERR_WRONGUSAGE (1055). */
int GetTableLayerPos(lua_State *L, int table, const char *key, int *out, int *found);
/* Finds the 1-based position of the named layer of the current BGPic; 0 or
   an error code. Installed by the layers library. */
typedef int (*cxLayerNameResolver)(lua_State *L, const char *name, int *position);
void SetLayerNameResolver(cxLayerNameResolver resolver);
/* A sub-table of object IDs from index 0 up to the first Nil, copied into a
   new array (free()) with its count (*out null for 0 entries). A field that
   is no table raises ERR_TABEXPECTED2 (1446). */
int GetTableImageList(lua_State *L, int table, const char *key, cxObjectID **out, int *count, int *found);

/* Writers: each stores one field into the table on top of the stack. */
void SetTableNumber(lua_State *L, const char *key, int32_t value);
void SetTableUnsigned(lua_State *L, const char *key, uint32_t value);
void SetTableDouble(lua_State *L, const char *key, double value);
void SetTableString(lua_State *L, const char *key, const char *value);
void SetTableObjectID(lua_State *L, const char *key, cxObjectID id);

#ifdef __cplusplus
}
#endif
