// Collating string comparison (UTF-8 mode) and its ISO-8859-1 fallbacks.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Negative, 0 or positive. Not a strict weak order: strings that are not
   valid UTF-8, or that reach a code point above U+024F, compare as equal to
   everything, so anything that sorts with it must use a sort that stays in
   bounds with an inconsistent comparator. */
int CompareStrings(const char *a, const char *b, int caseSensitive);
/* -1, 0 or +1 (UTF-8 collation). */
int CollateStrings(const char *a, const char *b, int caseSensitive);
/* Releases the lazily built weight tables; called at clean-up. */
void FreeCollationTables(void);

#ifdef __cplusplus
}
#endif
