// Placeholder: byte order until the collation tables exist.
#include <cstring>

#include "engine/charset/collate.h"

extern "C" int CollateStrings(const char *a, const char *b, int) {
    int r = strcmp(a, b);
    return (r > 0) - (r < 0);
}
extern "C" int CompareStrings(const char *a, const char *b, int cs) { return CollateStrings(a, b, cs); }
extern "C" void FreeCollationTables(void) {}
