// The per-user preferences of an applet: one file per applet identifier in
// "preferences" of ".calyxtone-data" in the home folder, the magic "PRFS"
// followed by one table body in the encoding of the table files. The dos
// library owns that encoding and registers it here at its start.
#pragma once

#include <stddef.h>

#include "engine/vm/lua.h"
#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The table codec (io/dos/dos.h: SerializeTable, DeserializeTable). */
typedef int (*cxSerializeTableFn)(lua_State *L, int index, cxStream *stream, unsigned char **cursor,
                                  size_t *size);
typedef int (*cxDeserializeTableFn)(lua_State *L, cxStream *stream, const unsigned char **cursor,
                                    const unsigned char *end, int pushed);
typedef struct cxTableCodecHooks {
    cxSerializeTableFn serialize;
    cxDeserializeTableFn deserialize;
} cxTableCodecHooks;

/* Installs the codec (copied); null removes it. Until one is installed,
   preferences are neither read nor written. */
void SetTableCodecHooks(const cxTableCodecHooks *hooks);
const cxTableCodecHooks *GetTableCodecHooks(void);

/* The preferences file of an identifier into out: "$HOME/.calyxtone-data/
   preferences/<identifier>". 0 when there is no home folder, the identifier
   is empty or holds a "/", or the path does not fit; else 1. */
int GetPrefsFilePath(const char *identifier, char *out, size_t size);

/* Pushes the preferences table of the identifier (null: the running
   applet's). A missing, foreign or damaged file, an applet without
   identifier and a missing codec all give an empty table. 0, or ERR_STACK. */
int LoadPrefsFile(lua_State *L, const char *identifier);

/* Writes the table at index as the preferences of the identifier (null:
   the running applet's), creating the folders. The file is replaced whole:
   a failed write leaves the previous one. 0 (also when there is nothing to
   write to: no identifier, no home, no codec), ERR_CREATEDIR, ERR_WRITEFILE
   with the path as detail, or an error of the codec. */
int SavePrefsFile(lua_State *L, int index, const char *identifier);

#ifdef __cplusplus
}
#endif
