// Message catalogs, text and IFF, read from memory.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "shell/catalog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cxCatalog *c = nullptr;
    if (LoadCatalogFromMemory(data, size, &c) == 0 && c) {
        const size_t n = GetCatalogStringCount(c);
        for (unsigned id = 0; id < n + 2; id++) {
            if (const char *s = GetCatalogString(c, id)) (void)strlen(s);
        }
        if (const char *v = GetCatalogVersion(c)) (void)strlen(v);
        FreeCatalog(c);
    }
    return 0;
}
