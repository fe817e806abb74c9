// Pure helpers of the X11 pump: key translation, drop lists and the
// geometry of borderless sizing. Kept apart so that they can be tested
// without a server.
#pragma once

#include <X11/X.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Key values of the special keys. */
enum {
    CX_KEY_UP = 256, CX_KEY_DOWN = 257, CX_KEY_RIGHT = 258, CX_KEY_LEFT = 259, CX_KEY_HELP = 260,
    CX_KEY_F1 = 261, CX_KEY_F10 = 270, CX_KEY_BACKSPACE = 271, CX_KEY_TAB = 272, CX_KEY_ENTER = 273,
    CX_KEY_RETURN = 274, CX_KEY_ESC = 275, CX_KEY_SPACE = 276, CX_KEY_DEL = 277, CX_KEY_F11 = 278,
    CX_KEY_F12 = 279, CX_KEY_INSERT = 280, CX_KEY_HOME = 281, CX_KEY_END = 282, CX_KEY_PAGEUP = 283,
    CX_KEY_PAGEDOWN = 284, CX_KEY_PRINT = 285, CX_KEY_PAUSE = 286, CX_KEY_F13 = 287, CX_KEY_F16 = 290,
    CX_KEY_NP0 = 291, CX_KEY_NPMUL = 301, CX_KEY_NPADD = 302, CX_KEY_NPSUB = 303, CX_KEY_NPDEC = 304,
    CX_KEY_NPDIV = 305, CX_KEY_LSHIFT = 306, CX_KEY_RSHIFT = 307, CX_KEY_LALT = 308, CX_KEY_RALT = 309,
    CX_KEY_LCOMMAND = 310, CX_KEY_RCOMMAND = 311, CX_KEY_LCONTROL = 312, CX_KEY_RCONTROL = 313
};

/* Translates a key: sym is the keysym of XLookupString (shift applied),
   unshifted the keysym at index 0 of the key code. Fills the key value and
   the raw key (0 when the key has none); returns 0 when the key gives
   neither. */
int OsTranslateKey(KeySym sym, KeySym unshifted, int *key, int *raw);
/* For a modifier keysym: its index in cxOsWindow.modifiers and its raw key;
   -1 for other keys. */
int OsModifierOfKeySym(KeySym sym, int *raw);
/* The qualifier bits of eight modifier states. */
uint32_t OsQualifiersOf(const uint8_t *modifiers);

/* Decodes a "text/uri-list" into NUL-terminated names followed by an empty
   name: a leading "file://" is removed, %XX escapes are decoded (a "%" not
   followed by two hexadecimal digits stays as it is), a carriage return or
   a NUL (raw or escaped) ends a name, comment lines are skipped, and without UTF-8 mode the names are
   converted to ISO-8859-1. A malloc'd block, or null when there is no name
   or no memory. */
char *OsDecodeUriList(const char *text, size_t length, int utf8, size_t *size);

/* The edges a press at (x, y) in a window of that size grabs: bands of 10
   pixels; a press inside the bands grabs the bottom-right corner. */
int OsClassifyEdge(int x, int y, int width, int height);
/* The window rectangle while sizing: start is {x, y, width, height} at the
   press, the pointer moved by (dx, dy); the edges not grabbed stay and the
   size is at least 1 x 1. */
void OsSizingRect(const int start[4], int edges, int dx, int dy, int out[4]);

#ifdef __cplusplus
}
#endif
