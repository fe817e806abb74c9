#include "display/requesters.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "display/backend.h"
#include "display/display_record.h"
#include "errors/error_codes.h"
#include "engine/plugins/plugin_registry.h"
#include "window/gtk/os_requesters.h"

namespace {

typedef int (*SystemRequestHook)(void *handle, const char *title, const char *body, uint32_t kind, int *result,
                                 const cxTagItem *tags);
typedef const char *(*TextRequestHook)(void *handle, const char *title, const cxTagItem *tags);
typedef const char *(*BodyTextRequestHook)(void *handle, const char *title, const char *body, const cxTagItem *tags);
typedef int (*ListRequestHook)(void *handle, const char *title, const char *body, const char *entries,
                               const cxTagItem *tags);
typedef const char *(*FontRequestHook)(void *handle, const char *title, uint32_t *style, const cxTagItem *tags);
typedef int32_t (*ColorRequestHook)(void *handle, const char *title, const cxTagItem *tags);
typedef void (*FreeRequestHook)(int kind, const void *data);

cxPlugin *AdapterFor(uint32_t flag) {
    cxPlugin *a = GetRequesterAdapter();
    return a && (a->requesterFlags & flag) ? a : nullptr;
}

void *HandleOf(cxDisplay *d) { return d ? GetDisplayHandle(d) : nullptr; }

char *Dup(const char *s, size_t n) {
    auto *out = static_cast<char *>(malloc(n + 1));
    if (!out) return nullptr;
    memcpy(out, s, n);
    out[n] = 0;
    return out;
}

// The adapter's memory goes back to it after the answer was copied.
void GiveBack(cxPlugin *a, int kind, const void *data) {
    if (data) CallPluginEntry(a, reinterpret_cast<FreeRequestHook>(a->FreeRequest), kind, data);
}

std::string Join(int a, int b, int c = -1) {
    // The catalog's own texts (messages 217 and the yes/no/cancel words)
    // are the English ones until a catalog replaces them.
    static const char *const words[] = {"OK|Cancel", "Yes", "No", "Cancel"};
    std::string s = words[a];
    if (b >= 0) s += std::string("|") + words[b];
    if (c >= 0) s += std::string("|") + words[c];
    return s;
}

int Around(cxDisplay *d, int result) {
    // Keys and buttons held when the requester opened are not held after.
    if (d) ResetDisplayInputState(d);
    return result;
}

}  // namespace

extern "C" uint32_t SystemRequesterKind(const char *buttons, int icon) {
    uint32_t kind;
    if (!buttons || !*buttons || strcasecmp(buttons, "OK") == 0)
        kind = 1;
    else if (strcasecmp(buttons, "OK|Cancel") == 0 || strcasecmp(buttons, Join(0, -1).c_str()) == 0)
        kind = 2;
    else if (strcasecmp(buttons, "Yes|No") == 0 || strcasecmp(buttons, Join(1, 2).c_str()) == 0)
        kind = 4;
    else if (strcasecmp(buttons, "Yes|No|Cancel") == 0 || strcasecmp(buttons, Join(1, 2, 3).c_str()) == 0)
        kind = 8;
    else
        kind = 16;
    if (icon >= 0 && icon <= 4) kind |= 32u << icon;
    return kind;
}

extern "C" int RunSystemRequester(lua_State *, cxDisplay *d, const char *title, const char *body, const char *buttons,
                                  int icon, intptr_t tagValue, int *result) {
    *result = 0;
    if (cxPlugin *a = AdapterFor(CX_REQ_SYSTEM)) {
        const uint32_t kind = SystemRequesterKind(buttons, icon);
        cxTagItem tags[3] = {{1, tagValue}, {0, 0}, {0, 0}};
        if (kind & 16) tags[1] = cxTagItem{2, reinterpret_cast<intptr_t>(buttons)};
        return Around(d, CallPluginEntry(a, reinterpret_cast<SystemRequestHook>(a->SystemRequest), HandleOf(d), title,
                                         body, kind, result, static_cast<const cxTagItem *>(tags)));
    }
    return Around(d, OsSystemRequest(title, body, buttons ? buttons : "OK", icon, result));
}

extern "C" int RunFileRequester(lua_State *, cxDisplay *d, const char *title, const char *pattern, const char *path,
                                const char *file, uint32_t flags, int mode, cxFileRequestResult *r) {
    memset(r, 0, sizeof *r);
    cxPlugin *a = AdapterFor(CX_REQ_FILE);
    const char *answer = nullptr;
    std::string own;
    if (a) {
        cxTagItem tags[5];
        int n = 0;
        tags[n++] = {1, intptr_t(flags)};
        if (pattern && *pattern && strcmp(pattern, "*") != 0 && strcmp(pattern, "#?") != 0)
            tags[n++] = {2, reinterpret_cast<intptr_t>(pattern)};
        tags[n++] = {3, reinterpret_cast<intptr_t>(path ? path : "")};
        tags[n++] = {4, reinterpret_cast<intptr_t>(file ? file : "")};
        tags[n] = {0, 0};
        answer = CallPluginEntry(a, reinterpret_cast<TextRequestHook>(a->FileRequest), HandleOf(d), title,
                                 static_cast<const cxTagItem *>(tags));
    } else {
        if (int err = OsFileRequest(title, pattern, path, file, flags, mode, &own)) return Around(d, err);
        answer = own.c_str();
    }
    int err = 0;
    if (answer && *answer) {
        // Single: one full name. Several: full names each ended by a NUL,
        // the list by an empty name.
        std::vector<std::string> names;
        if (mode == 1)
            for (const char *p = answer; *p; p += strlen(p) + 1) names.emplace_back(p);
        else
            names.emplace_back(answer);
        const std::string &first = names[0];
        const size_t cut = first.find_last_of('/');
        r->path = Dup(first.c_str(), cut == std::string::npos ? 0 : cut + 1);
        size_t total = 1;
        for (const std::string &n : names) total += n.size() + 1;
        r->files = static_cast<char *>(calloc(total, 1));
        if (!r->path || !r->files) {
            FreeFileRequestResult(r);
            err = ERR_MEM;
        } else {
            char *p = r->files;
            for (const std::string &n : names) {
                const size_t s = n.find_last_of('/');
                const std::string part = s == std::string::npos ? n : n.substr(s + 1);
                memcpy(p, part.c_str(), part.size() + 1);
                p += part.size() + 1;
            }
            r->count = int(names.size());
            r->success = 1;
        }
    }
    if (a) GiveBack(a, 0, answer);
    return Around(d, err);
}

extern "C" void FreeFileRequestResult(cxFileRequestResult *r) {
    free(r->path);
    free(r->files);
    memset(r, 0, sizeof *r);
}

extern "C" int RunPathRequester(lua_State *, cxDisplay *d, const char *title, const char *path, uint32_t flags,
                                char **out) {
    *out = nullptr;
    if (cxPlugin *a = AdapterFor(CX_REQ_PATH)) {
        cxTagItem tags[3] = {{1, reinterpret_cast<intptr_t>(path ? path : "")}, {0, 0}, {0, 0}};
        if (flags) tags[1] = {2, intptr_t(flags)};
        const char *answer = CallPluginEntry(a, reinterpret_cast<TextRequestHook>(a->PathRequest), HandleOf(d), title,
                                             static_cast<const cxTagItem *>(tags));
        int err = 0;
        if (answer && !(*out = Dup(answer, strlen(answer)))) err = ERR_MEM;
        GiveBack(a, 1, answer);
        return Around(d, err);
    }
    std::string answer;
    int found = 0;
    if (int err = OsPathRequest(title, path, flags, &answer, &found)) return Around(d, err);
    if (found && !(*out = Dup(answer.c_str(), answer.size()))) return Around(d, ERR_MEM);
    return Around(d, 0);
}

extern "C" int RunStringRequester(lua_State *, cxDisplay *d, const char *title, const char *body, const char *text,
                                  uint32_t flags, intptr_t further, char **out) {
    *out = nullptr;
    if (cxPlugin *a = AdapterFor(CX_REQ_STRING)) {
        cxTagItem tags[4];
        int n = 0;
        tags[n++] = {1, reinterpret_cast<intptr_t>(text ? text : "")};
        if (flags) tags[n++] = {2, intptr_t(flags)};
        if (further) tags[n++] = {3, further};
        tags[n] = {0, 0};
        const char *answer = CallPluginEntry(a, reinterpret_cast<BodyTextRequestHook>(a->StringRequest), HandleOf(d),
                                             title, body, static_cast<const cxTagItem *>(tags));
        int err = 0;
        if (answer && !(*out = Dup(answer, strlen(answer)))) err = ERR_MEM;
        GiveBack(a, 2, answer);
        return Around(d, err);
    }
    std::string answer;
    int found = 0;
    if (int err = OsStringRequest(title, body, text, flags, &answer, &found)) return Around(d, err);
    if (found && !(*out = Dup(answer.c_str(), answer.size()))) return Around(d, ERR_MEM);
    return Around(d, 0);
}

extern "C" int RunListRequester(lua_State *, cxDisplay *d, const char *title, const char *body, const char *entries,
                                int preselected, uint32_t flags, int *index) {
    *index = -1;
    if (cxPlugin *a = AdapterFor(CX_REQ_LIST)) {
        cxTagItem tags[3] = {{1, intptr_t(flags)}, {0, 0}, {0, 0}};
        if (preselected != -1) tags[1] = {2, preselected};
        *index = CallPluginEntry(a, reinterpret_cast<ListRequestHook>(a->ListRequest), HandleOf(d), title, body,
                                 entries, static_cast<const cxTagItem *>(tags));
        return Around(d, 0);
    }
    std::vector<std::string> list;
    for (const char *p = entries; p && *p; p += strlen(p) + 1) list.emplace_back(p);
    return Around(d, OsListRequest(title, body, list, preselected, flags, index));
}

extern "C" void ParseFontAnswer(const char *answer, uint32_t style, cxFontRequestResult *out) {
    memset(out, 0, sizeof *out);
    const char *bar = strchr(answer, '|');
    const size_t n = bar ? size_t(bar - answer) : strlen(answer);
    memcpy(out->name, answer, n < 255 ? n : 255);
    if (bar) {
        out->size = atoi(bar + 1);
        if (const char *second = strchr(bar + 1, '|')) out->extra = atoi(second + 1);
    }
    static const int32_t weights[] = {0, 40, 50, 75, 80, 100, 180, 200, 205, 210, 215};
    out->weight = 80;
    for (int i = 0; i < 11; ++i)
        if (style & (1u << i)) {
            out->weight = weights[i];
            break;
        }
    if (style & 0x800) out->slant = 0;
    else if (style & 0x1000) out->slant = 100;
    else if (style & 0x2000) out->slant = 110;
    for (int i = 0; i < 4; ++i) out->style[i] = (style & (0x4000u << i)) ? 1 : 0;
}

extern "C" int RunFontRequester(lua_State *, cxDisplay *d, const char *title, const char *font, uint32_t flags,
                                cxFontRequestResult *out) {
    memset(out, 0, sizeof *out);
    if (cxPlugin *a = AdapterFor(CX_REQ_FONT)) {
        cxTagItem tags[3];
        int n = 0;
        tags[n++] = {1, intptr_t(flags)};
        if (font && *font) tags[n++] = {2, reinterpret_cast<intptr_t>(font)};
        tags[n] = {0, 0};
        uint32_t style = 0;
        const char *answer = CallPluginEntry(a, reinterpret_cast<FontRequestHook>(a->FontRequest), HandleOf(d), title,
                                             &style, static_cast<const cxTagItem *>(tags));
        if (answer) ParseFontAnswer(answer, style, out);
        GiveBack(a, 3, answer);
        return Around(d, 0);
    }
    std::string answer;
    int found = 0;
    if (int err = OsFontRequest(title, font, flags, &answer, &found)) return Around(d, err);
    if (found) ParseFontAnswer(answer.c_str(), 0x10, out);
    return Around(d, 0);
}

extern "C" int RunColorRequester(lua_State *, cxDisplay *d, const char *title, int32_t colour, int32_t *out) {
    if (cxPlugin *a = AdapterFor(CX_REQ_COLOR)) {
        cxTagItem tags[2] = {{0, 0}, {0, 0}};
        if (colour != -1) tags[0] = {2, colour};
        *out = CallPluginEntry(a, reinterpret_cast<ColorRequestHook>(a->ColorRequest), HandleOf(d), title,
                               static_cast<const cxTagItem *>(tags));
        return Around(d, 0);
    }
    return Around(d, OsColorRequest(title, colour, out));
}
