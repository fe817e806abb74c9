#include "platform/os_bitmap.h"
#include "engine/plugins/plugin_registry.h"

#include <stdlib.h>
#include <string.h>

#include <string_view>

#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "streams/applet_record.h"

namespace {

struct CapabilityList {
    uint32_t bit;
    cxPluginNode *head;
};

CapabilityList g_lists[] = {
    {CX_CAP_IMAGELOADER, nullptr}, {CX_CAP_ANIMLOADER, nullptr},  {CX_CAP_SOUNDLOADER, nullptr},
    {CX_CAP_VIDEO, nullptr},       {CX_CAP_FILEADAPTER, nullptr}, {CX_CAP_DIRADAPTER, nullptr},
    {CX_CAP_NETWORKADAPTER, nullptr},
};

cxPlugin *g_displayAdapter = nullptr;
cxPlugin *g_requesterAdapter = nullptr;
cxPlugin *g_timerAdapter = nullptr;
cxPlugin *g_audioAdapter = nullptr;
uint32_t g_audioBufferFrames = 2048;
uint32_t g_audioChannels = 8;
uint32_t g_defaultAudioChannels = 8;
const cxApplet *g_applet = nullptr;
int g_startupPhase = 0;

CapabilityList *FindList(uint32_t bit) {
    for (CapabilityList &list : g_lists) {
        if (list.bit == bit) return &list;
    }
    return nullptr;
}

bool WordEquals(std::string_view word, const char *name) {
    const size_t n = strlen(name);
    return word.size() == n && (n == 0 || StrNCompareNoCase(word.data(), name, n) == 0);
}


// Calls f(word) for each "|"-separated word; stops when f answers true.
template <class F>
bool AnyWord(const char *list, F f) {
    std::string_view rest(list);
    for (;;) {
        size_t bar = rest.find('|');
        if (f(rest.substr(0, bar))) return true;
        if (bar == std::string_view::npos) return false;
        rest.remove_prefix(bar + 1);
    }
}


int CheckAdapterRegistration(cxPlugin *plugin, uint32_t capability) {
    if (g_applet && !CheckAppletVersion(g_applet, 6, 0)) return ERR_OLDAPPLET;
    if (!plugin || !(plugin->capabilities & capability)) return ERR_WRONGUSAGE;
    return 0;
}

}  // namespace

extern "C" cxPluginNode *GetCapabilityList(uint32_t capability) {
    CapabilityList *list = FindList(capability);
    return list ? list->head : nullptr;
}

extern "C" int HasCapabilityEntry(const cxPlugin *plugin, uint32_t capability) {
    for (cxPluginNode *n = GetCapabilityList(capability); n; n = n->next) {
        if (n->plugin == plugin) return 1;
    }
    return 0;
}

extern "C" int AddCapabilityEntry(cxPlugin *plugin, uint32_t capability) {
    CapabilityList *list = FindList(capability);
    if (!list || !plugin) return ERR_WRONGUSAGE;
    cxPluginNode **tail = &list->head;
    for (; *tail; tail = &(*tail)->next) {
        if ((*tail)->plugin == plugin) return 0;
    }
    auto *node = static_cast<cxPluginNode *>(calloc(1, sizeof(cxPluginNode)));
    if (!node) return ERR_MEM;
    node->plugin = plugin;
    *tail = node;
    return 0;
}

extern "C" int RemoveCapabilityEntry(cxPlugin *plugin, uint32_t capability) {
    CapabilityList *list = FindList(capability);
    if (!list) return ERR_WRONGUSAGE;
    for (cxPluginNode **p = &list->head; *p;) {
        if ((*p)->plugin == plugin) {
            cxPluginNode *gone = *p;
            *p = gone->next;
            free(gone);
        } else {
            p = &(*p)->next;
        }
    }
    return 0;
}

extern "C" void RemovePluginHooks(cxPlugin *plugin) {
    if (!plugin) return;
    for (CapabilityList &list : g_lists) RemoveCapabilityEntry(plugin, list.bit);
    if (g_displayAdapter == plugin) g_displayAdapter = nullptr;
    if (g_requesterAdapter == plugin) g_requesterAdapter = nullptr;
    if (g_timerAdapter == plugin) g_timerAdapter = nullptr;
    if (g_audioAdapter == plugin) g_audioAdapter = nullptr;
}

extern "C" int IsDefaultLoaderList(const char *list) {
    return !list || !*list || StrCompareNoCase(list, "default") == 0;
}

extern "C" int IsLoaderKeyword(const char *name) {
    return StrCompareNoCase(name, "native") == 0 || StrCompareNoCase(name, "inbuilt") == 0 ||
           StrCompareNoCase(name, "plugin") == 0;
}

extern "C" intptr_t OsCallPluginStub(cxPluginFunc entry, ...) {
    (void)entry;
    return 0;
}

extern "C" int MatchLoaderList(const char *list, const char *name, int allowPluginKeyword) {
    if (IsDefaultLoaderList(list)) return 1;
    if (!name) return 0;
    const bool keyword = IsLoaderKeyword(name);
    return AnyWord(list, [&](std::string_view word) {
        if (WordEquals(word, name)) return true;
        return !keyword && allowPluginKeyword && WordEquals(word, "plugin");
    });
}

extern "C" int IsLoaderNamed(const char *list, const char *name) {
    if (IsDefaultLoaderList(list) || !name) return 0;
    return AnyWord(list, [&](std::string_view word) { return WordEquals(word, name); });
}

extern "C" const char *GetLoaderName(uintptr_t loader) {
    if (loader == 0) return "inbuilt";
    if (loader == 1) return "native";
    const cxPlugin *plugin = reinterpret_cast<const cxPlugin *>(loader);
    return plugin->moduleName ? plugin->moduleName : "";
}

extern "C" void SetPluginApplet(const cxApplet *applet) { g_applet = applet; }
extern "C" const cxApplet *GetPluginApplet(void) { return g_applet; }
extern "C" void SetPluginStartupPhase(int on) { g_startupPhase = on != 0; }
extern "C" int IsPluginStartupPhase(void) { return g_startupPhase; }

extern "C" int RegisterDisplayAdapter(cxPlugin *plugin, uint32_t flags, const cxTagItem *tags) {
    if (int err = CheckAdapterRegistration(plugin, CX_CAP_DISPLAYADAPTER)) return err;
    if (!g_startupPhase || (g_displayAdapter && (g_displayAdapter->displayFlags & CX_DISPLAY_EXCLUSIVE)))
        return ERR_SETADAPTER;
    plugin->displayFlags = flags;
    plugin->pixelFormat = 10;
    for (const cxTagItem *t = tags; t && t->tag; t++) {
        switch (t->tag) {
        case 1: plugin->pixelFormat = static_cast<uint32_t>(t->data); break;
        case 2: plugin->drawFlags = static_cast<uint32_t>(t->data); break;
        case 3: plugin->tag = static_cast<uint32_t>(t->data); break;
        default: break;
        }
    }
    // The adapter's bitmaps are the process's bitmaps.
    OsSetPixelFormat(plugin->pixelFormat);
    g_displayAdapter = plugin;
    return 0;
}

extern "C" int RegisterRequesterAdapter(cxPlugin *plugin, uint32_t flags) {
    if (int err = CheckAdapterRegistration(plugin, CX_CAP_REQUESTERADAPTER)) return err;
    if (!g_startupPhase || (g_requesterAdapter && (g_requesterAdapter->requesterFlags & 1))) return ERR_SETADAPTER;
    plugin->requesterFlags = flags;
    g_requesterAdapter = plugin;
    return 0;
}

extern "C" int RegisterTimerAdapter(cxPlugin *plugin, uint32_t flags) {
    if (int err = CheckAdapterRegistration(plugin, CX_CAP_TIMERADAPTER)) return err;
    if (!g_startupPhase || (g_timerAdapter && (g_timerAdapter->timerFlags & 1))) return ERR_SETADAPTER;
    plugin->timerFlags = flags;
    g_timerAdapter = plugin;
    return 0;
}

extern "C" int RegisterAudioAdapter(cxPlugin *plugin, uint32_t flags, const cxTagItem *tags) {
    if (int err = CheckAdapterRegistration(plugin, CX_CAP_AUDIOADAPTER)) return err;
    if ((flags & 2) && g_audioAdapter == plugin) {
        // Only the buffer size may change later.
        for (const cxTagItem *t = tags; t && t->tag; t++)
            if (t->tag == 1 && t->data > 0) g_audioBufferFrames = static_cast<uint32_t>(t->data);
        return 0;
    }
    if (!g_startupPhase || (g_audioAdapter && (g_audioAdapter->audioFlags & 1))) return ERR_SETADAPTER;
    uint32_t frames = 2048, channels = g_defaultAudioChannels;
    for (const cxTagItem *t = tags; t && t->tag; t++) {
        if (t->tag == 1 && t->data > 0) frames = static_cast<uint32_t>(t->data);
        if (t->tag == 2) {
            if (t->data <= 0) return ERR_WRONGUSAGE;
            channels = static_cast<uint32_t>(t->data);
        }
    }
    if (channels == 0) return ERR_WRONGUSAGE;
    plugin->audioFlags = flags;
    g_audioAdapter = plugin;
    g_audioBufferFrames = frames;
    g_audioChannels = channels;
    return 0;
}

extern "C" cxPlugin *GetAudioAdapter(uint32_t *bufferFrames, uint32_t *channels) {
    if (bufferFrames) *bufferFrames = g_audioBufferFrames;
    if (channels) *channels = g_audioChannels;
    return g_audioAdapter;
}

extern "C" void SetDefaultAudioChannels(uint32_t channels) { g_defaultAudioChannels = channels ? channels : 8; }

extern "C" cxPlugin *GetDisplayAdapter(void) { return g_displayAdapter; }
extern "C" cxPlugin *GetRequesterAdapter(void) { return g_requesterAdapter; }
extern "C" cxPlugin *GetTimerAdapter(void) { return g_timerAdapter; }

extern "C" void ForgetCapabilityLists(void) {
    for (CapabilityList &list : g_lists) {
        while (list.head) {
            cxPluginNode *next = list.head->next;
            free(list.head);
            list.head = next;
        }
    }
    g_displayAdapter = g_requesterAdapter = g_timerAdapter = g_audioAdapter = nullptr;
}

namespace {
cxNamedAdapterHook g_namedAdapterHook = nullptr;
}

extern "C" void SetNamedAdapterHook(cxNamedAdapterHook hook) { g_namedAdapterHook = hook; }

extern "C" int AddNamedAdapterList(const char *list, uint32_t capability) {
    if (!g_namedAdapterHook || IsDefaultLoaderList(list)) return 0;
    return g_namedAdapterHook(list, capability);
}
