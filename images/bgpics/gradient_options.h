// Gradient descriptions read from command arguments and option tables, and
// written back into tables.
#pragma once

#include "engine/vm/lua.h"
#include "graphics/gradient/gradient.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Style 2 (linear), centre 0.5/0.5, balance 0.5, border 0; without keep
   also no stops and angle 0. */
void InitGradientDefaults(cxGradient *g, int keep);

/* The arguments from index on: for linear and conical an optional angle,
   then an optional table ("centerx", "centery", "balance", "border",
   "colors"). The style is stored by the caller; 0 and 1 become linear at 0
   and 90 degrees. 0 or an error code. */
int ReadGradientArgs(lua_State *L, int index, cxGradient *g);

/* The centre, balance and border keys (radial and conical only, each 0..1)
   and the colour stops: a table of {colour, position} pairs from index 0;
   2 to 64 pairs. *hasStops is set when stops were read. 0, ERR_WRONGUSAGE,
   ERR_INTERNAL (a 65th pair), ERR_NUMTABLEARG (detail: the key) or
   ERR_MISSINGPARAMTR (a colour without position). */
int ReadGradientTable(lua_State *L, int table, cxGradient *g, const char *centerX, const char *centerY,
                      const char *balance, const char *border, const char *colors, int *hasStops);

/* "gradientstyle", "gradientstartcolor", "gradientendcolor",
   "gradientangle" and the "gradient..." table keys. */
int ReadGradientFillOptions(lua_State *L, int table, cxGradient *g, int keep, int init);

/* Stores the gradient under "<prefix>style", "<prefix>startcolor", ... in
   the table on top of the stack. */
void WriteGradientOptions(lua_State *L, const char *prefix, const cxGradient *g);

#ifdef __cplusplus
}
#endif
