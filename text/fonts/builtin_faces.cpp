// The built-in faces by name. Their bytes are generated at build time from
// the installed font files (builtin/embed_faces.cmake).
#include "engine/charset/charset.h"
#include "text/fonts/truetype.h"

extern "C" const struct cxBuiltInFace {
    const char *name;
    const uint8_t *data;
    size_t size;
} kBuiltInFaces[];

extern "C" int FindBuiltInFace(const char *name, const uint8_t **data, size_t *size) {
    for (const cxBuiltInFace *f = kBuiltInFaces; f->name; ++f) {
        if (Latin1CompareNoCase(name, f->name) == 0) {
            *data = f->data;
            *size = f->size;
            return 1;
        }
    }
    return 0;
}
