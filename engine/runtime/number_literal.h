// Number literals in the system's syntax, as style tags and other texts
// carry them: "-" sign, "$" or "0x" hex, "%" binary, else decimal.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Parses the literal at the start of text. consumed gets the number of bytes
   used, error 0 or: 1018 (ERR_SYNTAXERROR) for a "$", "0x" or "%" prefix
   without digits, 1024 (ERR_VALUEEXPECTED) when no number starts the text.
   A decimal may have a fraction and an exponent. Either out pointer may be
   null. On error the result is 0 and consumed is 0. */
double ParseNumberLiteral(const char *text, size_t *consumed, int *error);

#ifdef __cplusplus
}
#endif
