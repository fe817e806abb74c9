#include "shell/plugins/plugin_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "display/events/plugin_timers.h"
#include "engine/runtime/kernel.h"
#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "shell/plugins/plugin_internal.h"
#include "shell/plugins/plugin_package.h"

namespace {

cxPluginEntry *g_entries = nullptr;
int g_quiet = 0;
int g_besideProgram = 0;
bool g_announcedRequiredOpening = false;

// Copies of plug-in command tables in the virtual machine's layout; the
// kernel's library list points at them until the plug-ins are freed.
std::deque<std::vector<luaL_reg>> g_commandTables;
std::deque<std::string> g_libraryNames;

// The API's list of opened plug-ins, rebuilt when plug-ins open or close.
std::vector<cxPluginNode> g_nodes;
bool g_nodesStale = true;

constexpr int kMaxSaverFormats = 1024;
constexpr size_t kMaxClassName = 63;

const char *FilePartOf(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

bool EndsWithCxp(const char *name) {
    size_t n = strlen(name);
    return n >= 5 && strcasecmp(name + n - 4, ".cxp") == 0;
}

std::string WithoutUnderscore(const char *name) { return std::string(name[0] == '_' ? name + 1 : name); }

cxPluginEntry *FindEntryByName(const char *name) {
    for (cxPluginEntry *e = g_entries; e; e = e->next) {
        if (SamePluginName(e->name, name)) return e;
    }
    return nullptr;
}

cxPluginEntry *AppendEntry(const std::string &name, const char *path) {
    if (name.size() >= CX_PLUGIN_NAME_MAX || strlen(path) >= CX_PLUGIN_PATH_MAX) return nullptr;
    auto *e = static_cast<cxPluginEntry *>(calloc(1, sizeof(cxPluginEntry)));
    if (!e) return nullptr;
    memcpy(e->name, name.c_str(), name.size() + 1);
    memcpy(e->path, path, strlen(path) + 1);
    cxPluginEntry **tail = &g_entries;
    while (*tail) tail = &(*tail)->next;
    *tail = e;
    return e;
}

// The progress line of the plug-in being opened: quiet runs print it only
// when the load fails, so that a later "Function ... not found!" has a cause.
char g_loadingLine[CX_PLUGIN_PATH_MAX + 64];

void AnnounceLoading(const char *name) {
    const char *text = GetMessageText(CX_MSG_LOADING_PLUGIN);
    FillMessagePlaceholders(text ? text : "Loading plugin %s", name, 0, g_loadingLine, sizeof g_loadingLine);
    PluginProgress("%s... ", g_loadingLine);
}

void AnnounceResult(int err) {
    if (err) {
        if (g_quiet) printf("%s... ", g_loadingLine);
        printf("failed\n");
        fflush(stdout);
    } else {
        const char *done = GetMessageText(CX_MSG_DONE);
        PluginProgress("%s\n", done ? done : "done");
    }
}

int OpenAndAnnounce(const char *path, const char *name, uint32_t *caps, cxPluginHandle **handle) {
    AnnounceLoading(name);
    int err = OpenPlugin(path, caps, handle);
    AnnounceResult(err);
    g_nodesStale = true;
    return err;
}

// Whether the skip list names this file ("*" names every file).
bool SkipListNames(const char *skipList, const char *file) {
    if (!skipList) return false;
    for (const char *name = skipList; *name; name += strlen(name) + 1) {
        std::string want = name;
        if (!EndsWithCxp(want.c_str())) want += ".cxp";
        if (want == "*" || want == "*.cxp" || SamePluginName(want.c_str(), file)) return true;
    }
    return false;
}

void FreeHelpTexts(cxPlugin *p) {
    while (p->helpTexts) {
        cxPluginHelpText *next = p->helpTexts->next;
        free(p->helpTexts);
        p->helpTexts = next;
    }
}

void FreeSaverFormats(cxPlugin *p) {
    free(p->imageFormats);
    free(p->animFormats);
    free(p->sampleFormats);
    p->imageFormats = p->animFormats = p->sampleFormats = nullptr;
}

using RegisterSaverFn = void (*)(int, cxSaverFormat *);

struct SaverKind {
    uint32_t capability;
    const char *prefix;
    uint32_t more;
};

// Asks the saver for its formats and registers one constant per format.
int RegisterSaverFormats(lua_State *L, cxPlugin *p, const SaverKind &kind, RegisterSaverFn fn,
                         cxSaverFormat **store) {
    // First pass: how many formats, and how long their names are.
    int count = 0;
    size_t nameBytes = 0;
    for (int i = 0;; i++) {
        if (i == kMaxSaverFormats) return ERR_INTERNAL;
        cxSaverFormat f{};
        CallPluginEntry(p, fn, i, &f);
        if (f.name) {
            count++;
            nameBytes += strlen(kind.prefix) + strlen(f.name) + 1;
        }
        if (!(f.flags & kind.more)) break;
    }
    auto *formats = static_cast<cxSaverFormat *>(calloc(static_cast<size_t>(count) + 1, sizeof(cxSaverFormat)));
    std::unique_ptr<luaL_Const[]> constants(new (std::nothrow) luaL_Const[static_cast<size_t>(count) + 1]());
    std::unique_ptr<char[]> names(new (std::nothrow) char[nameBytes + 1]);
    if (!formats || !constants || !names) {
        free(formats);
        return ERR_MEM;
    }
    // Second pass: keep each format and make its constant.
    // The saver must answer as it did in the first pass; one that does not
    // cannot push the names past their buffer.
    int filled = 0;
    char *at = names.get();
    for (int i = 0; filled < count && i < kMaxSaverFormats; i++) {
        cxSaverFormat f{};
        CallPluginEntry(p, fn, i, &f);
        if (f.name) {
            const size_t room = nameBytes + 1 - static_cast<size_t>(at - names.get());
            const int len = snprintf(at, room, "%s%s", kind.prefix, f.name);
            if (len < 0 || static_cast<size_t>(len) >= room) break;
            formats[filled] = f;
            constants[filled] = luaL_Const{at, nullptr, static_cast<double>(f.format)};
            at += len + 1;
            filled++;
        }
        if (!(f.flags & kind.more)) break;
    }
    if (filled != count) {
        free(formats);
        return ERR_INTERNAL;
    }
    int err = PluginProtectedCall(L, [&](lua_State *S) {
        luaL_openconstants(S, constants.get(), 0);
        return 0;
    });
    if (err) {
        free(formats);
        return err;
    }
    free(*store);
    *store = formats;
    return 0;
}

// Registers one library (the plug-in's current one) with the virtual
// machine. Runs inside a protected call.
int RegisterOneLibrary(lua_State *L, cxPlugin *p, int withCommands) {
    const char *base = CallPluginEntry(p, p->GetBaseTable);
    const cxPluginCommand *commands = CallPluginEntry(p, p->GetCommands);
    const cxPluginConstant *constants = CallPluginEntry(p, p->GetConstants);

    if (commands && withCommands) {
        // A null function would be called as one: refuse the whole table.
        for (const cxPluginCommand *c = commands; c->name; c++) {
            if (c->func) continue;
            const std::string what = std::string(p->moduleName ? p->moduleName : "?") + ".cxp: command \"" + c->name +
                                     "\" has no function";
            SetErrorDetail(what.c_str());
            return ERR_PLUGINSYMBOL;
        }
        const int top = lua_gettop(L);
        if (p->PushUpvalues) CallPluginEntry(p, p->PushUpvalues, L);
        const int nup = std::max(0, lua_gettop(L) - top);

        std::vector<luaL_reg> regs;
        for (const cxPluginCommand *c = commands; c->name; c++) regs.push_back(luaL_reg{c->name, c->func});
        regs.push_back(luaL_reg{nullptr, nullptr});

        const size_t baseLen = base ? strlen(base) : 0;
        if (base && baseLen > 0 && base[baseLen - 1] == ':') {
            // A class-like table in the registry: "<module>.cxp.<name>",
            // whose __index is the table itself.
            if (baseLen - 1 > kMaxClassName) {
                lua_settop(L, top);
                return ERR_INTERNAL;
            }
            std::string registryName = std::string(p->moduleName) + ".cxp." + std::string(base, baseLen - 1);
            luaL_newmetatable(L, registryName.c_str());
            const int table = lua_gettop(L);
            lua_pushstring(L, "__index");
            lua_pushvalue(L, table);
            lua_rawset(L, table);
            for (const luaL_reg &r : regs) {
                if (!r.name) break;
                std::string lower = r.name;
                // ASCII only, as the virtual machine lowers command names.
                for (char &ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
                lua_pushstring(L, lower.c_str());
                for (int i = 1; i <= nup; i++) lua_pushvalue(L, top + i);
                lua_pushcclosure(L, r.func, nup);
                lua_rawset(L, table);
            }
        } else {
            g_commandTables.push_back(std::move(regs));
            const luaL_reg *table = g_commandTables.back().data();
            g_libraryNames.emplace_back(base ? base : "plugin");
            luaL_openlib(L, base, table, nup);
            if (int err = AddCommandLibrary(table, g_libraryNames.back().c_str())) {
                lua_settop(L, top);
                return err;
            }
        }
        lua_settop(L, top);
    }

    if (constants) {
        std::vector<luaL_Const> rows;
        for (const cxPluginConstant *c = constants; c->name; c++) rows.push_back(luaL_Const{c->name, c->str, c->num});
        rows.push_back(luaL_Const{nullptr, nullptr, 0});
        luaL_openconstants(L, rows.data(), 0);
    }
    return 0;
}

void AppendLine(std::string &out, const char *text) {
    if (text) out += text;
    out += '\n';
}

}  // namespace

// ---- shared helpers ----

int PluginProtectedCall(lua_State *L, const std::function<int(lua_State *)> &fn) {
    struct Context {
        const std::function<int(lua_State *)> *fn;
        int result;
    } ctx{&fn, 0};
    lua_pushcfunction(L, [](lua_State *S) -> int {
        auto *c = static_cast<Context *>(lua_touserdata(S, 1));
        lua_remove(S, 1);
        c->result = (*c->fn)(S);
        return 0;
    });
    lua_pushlightuserdata(L, &ctx);
    int err = lua_pcall(L, 1, 0, 0);
    return err ? err : ctx.result;
}

void PluginProgress(const char *format, ...) {
    if (g_quiet) return;
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fflush(stdout);
}

bool SamePluginName(const char *a, const char *b) { return a && b && StrCompareNoCase(a, b) == 0; }

std::string StripPluginExtension(const char *name) {
    std::string s = name ? name : "";
    if (s.size() >= 4 && strcasecmp(s.c_str() + s.size() - 4, ".cxp") == 0) s.resize(s.size() - 4);
    return s;
}

// ---- settings ----

extern "C" void SetPluginQuiet(int quiet) { g_quiet = quiet != 0; }
extern "C" int IsPluginQuiet(void) { return g_quiet; }
extern "C" void SetPluginsBesideProgram(int on) { g_besideProgram = on != 0; }

// ---- the list ----

extern "C" cxPluginEntry *GetPluginList(void) { return g_entries; }

extern "C" cxPluginEntry *FindPluginEntry(const cxPlugin *plugin) {
    for (cxPluginEntry *e = g_entries; e; e = e->next) {
        if (plugin && GetPluginInfo(e->handle) == plugin) return e;
    }
    return nullptr;
}

extern "C" cxPluginNode *GetOpenedPluginNodes(void) {
    if (g_nodesStale) {
        g_nodes.clear();
        for (cxPluginEntry *e = g_entries; e; e = e->next) {
            if (e->handle) g_nodes.push_back(cxPluginNode{nullptr, e->handle->plugin});
        }
        for (size_t i = 0; i + 1 < g_nodes.size(); i++) g_nodes[i].next = &g_nodes[i + 1];
        g_nodesStale = false;
    }
    return g_nodes.empty() ? nullptr : g_nodes.data();
}

extern "C" void SetPluginDisabled(cxPlugin *plugin, int disabled) {
    if (plugin) plugin->disabled = disabled != 0;
}
extern "C" int IsPluginDisabled(const cxPlugin *plugin) { return plugin && plugin->disabled; }
extern "C" void SetPluginOnlyWhenNamed(cxPlugin *plugin, int on) {
    if (plugin) plugin->onlyWhenNamed = on != 0;
}
extern "C" int IsPluginOnlyWhenNamed(const cxPlugin *plugin) { return plugin && plugin->onlyWhenNamed; }

extern "C" int AddPluginHelpText(cxPlugin *plugin, const char *name, const char *second, const char *text,
                                 uint32_t flags, intptr_t value) {
    if (!plugin) return ERR_WRONGUSAGE;
    const size_t n1 = strlen(name ? name : "") + 1;
    const size_t n2 = second ? strlen(second) + 1 : 0;
    const size_t n3 = strlen(text ? text : "") + 1;
    auto *node = static_cast<cxPluginHelpText *>(calloc(1, sizeof(cxPluginHelpText) + n1 + n2 + n3));
    if (!node) return ERR_MEM;
    char *at = reinterpret_cast<char *>(node + 1);
    memcpy(at, name ? name : "", n1);
    node->name = at;
    at += n1;
    if (second) {
        memcpy(at, second, n2);
        node->second = at;
        at += n2;
    }
    memcpy(at, text ? text : "", n3);
    node->text = at;
    node->owner = plugin;
    node->flags = flags;
    if (flags & 1) node->value = value;
    cxPluginHelpText **tail = &plugin->helpTexts;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    return 0;
}

// ---- scanning and opening ----

extern "C" int FindOrOpenPlugin(const char *path, int openNow, cxPluginEntry **out) {
    if (out) *out = nullptr;
    if (!path) return ERR_LOADPLUGIN;
    const std::string name = WithoutUnderscore(FilePartOf(path));
    if (cxPluginEntry *e = FindEntryByName(name.c_str())) {
        if (out) *out = e;
        if (e->handle || !openNow) return ERR_USERABORT;
        const char *use = access(path, R_OK) == 0 ? path : e->path;
        uint32_t caps = 0;
        int err = OpenAndAnnounce(use, e->name, &caps, &e->handle);
        if (err) return err;
        e->capabilities = caps;
        return 0;
    }
    if (name.size() >= CX_PLUGIN_NAME_MAX || strlen(path) >= CX_PLUGIN_PATH_MAX) {
        SetErrorDetail(FilePartOf(path));
        return ERR_LOADPLUGIN;
    }
    uint32_t caps = 0;
    cxPluginHandle *handle = nullptr;
    int err = OpenAndAnnounce(path, name.c_str(), &caps, &handle);
    if (err) return err;
    cxPluginEntry *e = AppendEntry(name, path);
    if (!e) {
        ClosePluginHandle(handle);
        g_nodesStale = true;
        return ERR_MEM;
    }
    e->capabilities = caps;
    e->handle = handle;
    if (out) *out = e;
    return 0;
}

extern "C" int ScanPluginDir(const char *folder, const char *skipList, int *count) {
    if (!folder) return 0;
    DIR *dir = opendir(folder);
    if (!dir) return 0;
    std::vector<std::string> files;
    while (dirent *d = readdir(dir)) {
        if (!EndsWithCxp(d->d_name)) continue;
        struct stat st;
        if (fstatat(dirfd(dir), d->d_name, &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
        files.emplace_back(d->d_name);
    }
    closedir(dir);
    // A stable order, whatever the folder's own order is.
    std::sort(files.begin(), files.end());

    for (const std::string &file : files) {
        if (count) {
            (*count)++;
            continue;
        }
        std::string path = std::string(folder) + "/" + file;
        if (path.size() >= CX_PLUGIN_PATH_MAX) continue;
        const bool listOnly = file[0] == '_' || SkipListNames(skipList, file.c_str());
        if (listOnly) {
            const std::string name = WithoutUnderscore(file.c_str());
            if (!FindEntryByName(name.c_str()) && !AppendEntry(name, path.c_str())) return ERR_MEM;
        } else {
            int err = FindOrOpenPlugin(path.c_str(), 0, nullptr);
            if (err && err != ERR_USERABORT) {
                char message[CX_ERROR_DETAIL_MAX + 256];
                GetErrorText(err, message, sizeof message);
                // A failure is reported even in a quiet run.
                printf("(Reason: %s)\n", message);
                fflush(stdout);
            }
        }
        // The user may end the run while a long scan goes on.
        if (GetUserAbortFlag()) return ERR_USERABORT;
    }
    return 0;
}

extern "C" int ScanPlugins(const char *programPath, const char *skipList, int *count) {
    const char *temp = GetPluginTempDir();
    if (temp) {
        if (int err = ScanPluginDir(temp, skipList, count)) return err;
        return 0;  // a linked program brings its own plug-ins
    }
    if (!programPath) return 0;
    const char *slash = strrchr(programPath, '/');
    if (!slash) return 0;
    std::string folder(programPath, static_cast<size_t>(slash - programPath));
    if (folder.empty()) folder = "/";
    if (!g_besideProgram) folder += folder == "/" ? "Plugins" : "/Plugins";
    return ScanPluginDir(folder.c_str(), skipList, count);
}

// ---- registration ----

extern "C" int RegisterPluginLibrary(lua_State *L, cxPluginHandle *handle, int withCommands, int callInit) {
    cxPlugin *p = GetPluginInfo(handle);
    if (!L || !p || !(p->capabilities & CX_CAP_LIBRARY)) return 0;
    const int libraries = p->GetLibraryCount ? CallPluginEntry(p, p->GetLibraryCount) : 1;
    if (libraries < 1) return 0;
    return PluginProtectedCall(L, [&](lua_State *S) -> int {
        for (int i = 0; i < libraries; i++) {
            if (p->SetCurrentLibrary) CallPluginEntry(p, p->SetCurrentLibrary, i);
            if (int err = RegisterOneLibrary(S, p, withCommands)) return err;
        }
        if (!callInit) return 0;
        int result = CallPluginEntry(p, p->InitLibrary, S);
        p->initialised = 1;
        return result;
    });
}

extern "C" int RegisterPluginFormats(lua_State *L, cxPluginEntry *entry) {
    if (!entry || !entry->handle || entry->registered) return 0;
    cxPlugin *p = entry->handle->plugin;
    entry->registered = 1;
    if ((p->capabilities & CX_CAP_LIBRARY) && !(p->extensions[1] & CX_EXT_LIBRARY_DEFER)) {
        entry->librariesRegistered = 1;
        if (int err = RegisterPluginLibrary(L, entry->handle, 1, 1)) return err;
    }
    static const SaverKind kImage{CX_CAP_IMAGESAVER, "imgfmt_", CX_IMAGESAVER_MORE};
    static const SaverKind kAnim{CX_CAP_ANIMSAVER, "anmfmt_", CX_ANIMSAVER_MORE};
    static const SaverKind kSample{CX_CAP_SAMPLESAVER, "smpfmt_", CX_SAMPLESAVER_MORE};
    if (p->capabilities & CX_CAP_IMAGESAVER) {
        if (int err = RegisterSaverFormats(L, p, kImage, p->RegisterImageSaver, &p->imageFormats)) return err;
    }
    if (p->capabilities & CX_CAP_ANIMSAVER) {
        if (int err = RegisterSaverFormats(L, p, kAnim, p->RegisterAnimSaver, &p->animFormats)) return err;
    }
    if (p->capabilities & CX_CAP_SAMPLESAVER) {
        if (int err = RegisterSaverFormats(L, p, kSample, p->RegisterSampleSaver, &p->sampleFormats)) return err;
    }
    return 0;
}

// ---- requiring ----

extern "C" int LoadRequiredPlugin(lua_State *L, const char *name, int version, int revision, int flags, int *result,
                                  intptr_t extra) {
    const std::string wanted = StripPluginExtension(name);
    auto refuse = [&]() {
        char detail[CX_PLUGIN_NAME_MAX + 64];
        if (version == 0 && revision == 0)
            snprintf(detail, sizeof detail, "%s.cxp", wanted.c_str());
        else
            snprintf(detail, sizeof detail, "%s.cxp %d.%d", wanted.c_str(), version, revision);
        SetErrorDetail(detail);
        return ERR_REQUIREPLUGIN;
    };

    cxPluginEntry *found = nullptr;
    for (cxPluginEntry *e = g_entries; e && !found; e = e->next) {
        if (!e->handle && SamePluginName(StripPluginExtension(e->name).c_str(), wanted.c_str())) {
            if (!g_announcedRequiredOpening) {
                PluginProgress("\n");
                g_announcedRequiredOpening = true;
            }
            uint32_t caps = 0;
            int err = OpenAndAnnounce(e->path, e->name, &caps, &e->handle);
            if (err) return err;
            e->capabilities = caps;
            if ((err = RegisterPluginFormats(L, e))) return err;
        }
        cxPlugin *p = GetPluginInfo(e->handle);
        if (p && SamePluginName(p->moduleName, wanted.c_str())) found = e;
    }
    if (!found) return refuse();

    cxPlugin *p = found->handle->plugin;
    const bool newEnough = static_cast<int64_t>(p->version) > version ||
                           (static_cast<int64_t>(p->version) == version && static_cast<int64_t>(p->revision) >= revision);
    if (!newEnough) return refuse();

    if ((flags & CX_REQUIRE_LIBRARIES) && (p->capabilities & CX_CAP_LIBRARY) && !found->librariesRegistered) {
        found->librariesRegistered = 1;
        if (int err = RegisterPluginLibrary(L, found->handle, 1, 1)) return err;
    }

    if ((p->capabilities & CX_CAP_REQUIREHOOK) && !found->required && (flags & CX_REQUIRE_CALLHOOK)) {
        cxTagItem tags[3] = {};
        int n = 0;
        if (result) tags[n++] = cxTagItem{1, reinterpret_cast<intptr_t>(result)};
        if (flags & CX_REQUIRE_EXTRA) tags[n++] = cxTagItem{2, extra};
        found->required = 1;
        p->required = 1;
        int hook = 0;
        int err = PluginProtectedCall(L, [&](lua_State *S) {
            hook = CallPluginEntry(p, p->RequirePlugin, S, version, revision, 0u, static_cast<const cxTagItem *>(tags));
            return 0;
        });
        return err ? err : hook;
    }
    return 0;
}

// ---- listing ----

extern "C" char *DumpPluginInfo(lua_State *L, int withHelp) {
    (void)L;
    std::string out;
    char line[64];
    for (cxPluginEntry *e = g_entries; e; e = e->next) {
        cxPlugin *p = GetPluginInfo(e->handle);
        if (!p) continue;
        snprintf(line, sizeof line, "%d.%d\n", static_cast<int>(p->version), static_cast<int>(p->revision));
        out += line;
        snprintf(line, sizeof line, "0x%.8x\n", p->capabilities);
        out += line;
        AppendLine(out, p->name);
        AppendLine(out, p->moduleName);
        AppendLine(out, p->author);
        AppendLine(out, p->description);
        AppendLine(out, p->copyright);
        AppendLine(out, p->url);
        AppendLine(out, p->date);
        AppendLine(out, p->helpReference);
        if (!(p->capabilities & CX_CAP_LIBRARY)) continue;
        const int libraries = p->GetLibraryCount ? CallPluginEntry(p, p->GetLibraryCount) : 1;
        for (int i = 0; i < libraries; i++) {
            if (p->SetCurrentLibrary) CallPluginEntry(p, p->SetCurrentLibrary, i);
            const char *base = CallPluginEntry(p, p->GetBaseTable);
            const cxPluginCommand *commands = CallPluginEntry(p, p->GetCommands);
            const cxPluginConstant *constants = CallPluginEntry(p, p->GetConstants);
            const char *const *help = (withHelp && p->GetHelpStrings) ? CallPluginEntry(p, p->GetHelpStrings) : nullptr;
            std::string prefix;
            if (base && *base) {
                prefix = base;
                if (prefix.back() != ':') prefix += '.';
            }
            for (int c = 0; commands && commands[c].name; c++) {
                out += prefix + commands[c].name;
                if (help) {
                    for (int k = 0; k < 2; k++) {
                        out += '\t';
                        if (help[2 * c + k]) out += help[2 * c + k];
                    }
                }
                out += '\n';
            }
            for (int c = 0; constants && constants[c].name; c++) AppendLine(out, constants[c].name);
        }
    }
    char *text = static_cast<char *>(malloc(out.size() + 1));
    if (text) memcpy(text, out.c_str(), out.size() + 1);
    return text;
}

// ---- clean-up ----

extern "C" void ClosePlugins(lua_State *L) {
    for (cxPluginEntry *e = g_entries; e; e = e->next) {
        cxPlugin *p = GetPluginInfo(e->handle);
        if (!p) continue;
        if (L && p->initialised && p->FreeLibrary) {
            PluginProtectedCall(L, [&](lua_State *S) {
                CallPluginEntry(p, p->FreeLibrary, S);
                return 0;
            });
            p->initialised = 0;
        }
        CallClosePlugin(e->handle);
    }
}

extern "C" void FreePlugins(void) {
    while (g_entries) {
        cxPluginEntry *e = g_entries;
        g_entries = e->next;
        if (cxPlugin *p = GetPluginInfo(e->handle)) {
            FreeHelpTexts(p);
            FreeSaverFormats(p);
        }
        ClosePluginHandle(e->handle);
        free(e);
    }
    // Timers whose callbacks lie in no plug-in's library end here.
    FreePluginTimersOf(nullptr);
    ForgetCapabilityLists();
    g_commandTables.clear();
    g_libraryNames.clear();
    g_nodes.clear();
    g_nodesStale = true;
    g_announcedRequiredOpening = false;
    SetPluginStartupOptions(nullptr);
    SetPluginApplet(nullptr);
}

extern "C" int AddNamedAdapters(const char *list, uint32_t capability) {
    if (IsDefaultLoaderList(list)) return 0;
    std::string_view rest(list);
    for (;;) {
        const size_t bar = rest.find('|');
        const std::string_view word = rest.substr(0, bar);
        if (!word.empty() && word.size() <= 255) {
            const std::string name(word);
            if (!IsLoaderKeyword(name.c_str())) {
                for (cxPluginEntry *e = GetPluginList(); e; e = e->next) {
                    cxPlugin *p = GetPluginInfo(e->handle);
                    if (!p || p->disabled || !(p->capabilities & capability)) continue;
                    if (!p->moduleName || StrCompareNoCase(p->moduleName, name.c_str()) != 0) continue;
                    if (int err = AddCapabilityEntry(p, capability)) return err;
                    p->onlyWhenNamed = 1;
                    break;
                }
            }
        }
        if (bar == std::string_view::npos) return 0;
        rest.remove_prefix(bar + 1);
    }
}
