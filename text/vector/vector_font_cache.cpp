#include "text/vector/vector_font_cache.h"

#include <cstdlib>
#include <vector>

#include "errors/error_codes.h"
#include "engine/plugins/plugin_registry.h"
#include "graphics/vector/vector_fonts.h"
#include "text/fonts/truetype.h"
#include "text/library/text_state.h"

namespace {

cxVectorTextFontHook g_fontHook = nullptr;
// Key k names g_keys[k - 1]; a closed font leaves a null slot behind, so
// that old items never reach a font that took its place.
std::vector<cxOsFont *> g_keys;

void FreeNode(cxFontVectorHandle *n) {
    cxPlugin *engine = static_cast<cxPlugin *>(n->plugin);
    if (engine && n->handle && engine->callingConvention != CX_CALLCONV_UNCALLABLE)
        CallPluginEntry(engine, engine->FreeVectorFont, n->handle);
    n->handle = nullptr;
    free(n);
}

void *Resolve(uint32_t key, const cxPlugin *engine) {
    cxOsFont *font = GetVectorFontOfKey(key);
    if (!font) return nullptr;
    for (cxFontVectorHandle *n = font->vectorFonts; n; n = n->next)
        if (n->plugin == engine) return n->handle;
    return nullptr;
}

} // namespace

extern "C" void SetVectorTextFontHook(cxVectorTextFontHook hook) { g_fontHook = hook; }

extern "C" cxOsFont *GetVectorTextFont(lua_State *L, int32_t *size) {
    if (g_fontHook) return g_fontHook(L, size);
    // The text library's current font at the size it was opened with.
    cxOsFont *font = GetCurrentFont();
    if (font) *size = font->size;
    return font;
}

extern "C" int GetVectorFont(cxOsFont *font, cxPlugin *engine, void **handle) {
    if (!font || font->kind != CX_FONT_TRUETYPE) return ERR_VFONTTYPE;
    cxFontVectorHandle *last = nullptr;
    for (cxFontVectorHandle *n = font->vectorFonts; n; n = n->next) {
        if (n->plugin == engine) {
            *handle = n->handle;
            return 0;
        }
        last = n;
    }
    cxFontVectorHandle *node = static_cast<cxFontVectorHandle *>(calloc(1, sizeof(cxFontVectorHandle)));
    if (!node) return ERR_MEM;
    node->plugin = engine;
    node->handle = CallPluginEntry(engine, engine->CreateVectorFont, GetFreeTypeFace(font));
    if (!node->handle) {
        free(node);
        return ERR_VFONT;
    }
    if (last) last->next = node;
    else font->vectorFonts = node;
    *handle = node->handle;
    return 0;
}

extern "C" int GetVectorFontKey(cxOsFont *font, uint32_t *key) {
    for (size_t i = 0; i < g_keys.size(); ++i)
        if (g_keys[i] == font) {
            *key = uint32_t(i + 1);
            return 0;
        }
    if (g_keys.size() >= UINT32_MAX - 1) return ERR_MEM;
    try {
        g_keys.push_back(font);
    } catch (...) {
        return ERR_MEM;
    }
    *key = uint32_t(g_keys.size());
    return 0;
}

extern "C" cxOsFont *GetVectorFontOfKey(uint32_t key) {
    return key >= 1 && key <= g_keys.size() ? g_keys[key - 1] : nullptr;
}

extern "C" void ForgetVectorFont(cxOsFont *font) {
    if (!font) return;
    while (cxFontVectorHandle *n = font->vectorFonts) {
        font->vectorFonts = n->next;
        FreeNode(n);
    }
    for (cxOsFont *&f : g_keys)
        if (f == font) f = nullptr;
}

extern "C" void FreeVectorFontCache(void) {
    for (cxOsFont *f : g_keys)
        if (f) ForgetVectorFont(f);
    g_keys.clear();
    g_keys.shrink_to_fit();
}

extern "C" void InstallVectorFontResolver(void) { SetVectorFontResolver(Resolve); }
