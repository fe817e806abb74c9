#include "graphics/vector/vector_fonts.h"

namespace {
cxVectorFontResolver g_resolver = nullptr;
}

extern "C" void SetVectorFontResolver(cxVectorFontResolver resolver) { g_resolver = resolver; }

extern "C" void *ResolveVectorFontKey(uint32_t key, const cxPlugin *engine) {
    return g_resolver ? g_resolver(key, engine) : nullptr;
}
