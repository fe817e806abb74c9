// The inline style tags of texts: [b] [i] [u] [color=c] [shadow=c,s,d]
// [edge=c,s] and their closing forms.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/vm/lua.h"
#include "text/layout/text_types.h"

// Reads the tag whose "[" is at text[0] and applies it to style (colours
// pushed on and popped off colours). *consumed: bytes up to and with the
// closing "]". 0 or ERR_UNKTEXTFMT, ERR_TEXTSYNTAX, ERR_TEXTARG,
// ERR_SQBRACKETCLOSE, ERR_WRONGUSAGE, ERR_FINDCST, ERR_VALUEEXPECTED,
// ERR_SYNTAXERROR. L may be null: "#" names then cannot be found.
int ParseStyleTag(lua_State *L, const char *text, size_t length, cxTextStyle *style, std::vector<uint32_t> &colours,
                  size_t *consumed);
