#include "shell/plugins/plugin_startup.h"

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "shell/plugins/plugin_internal.h"
#include "shell/plugins/plugin_manager.h"
#include "shell/plugins/plugin_package.h"

namespace {

struct OptionCopy {
    bool set = false;
    bool hasValue = false;
    std::string value;
};
std::vector<OptionCopy> g_options;
std::string g_programPath;

const char *OptionText(const cxStartupOptions *opts, int id) {
    return IsOptionSet(opts, id) ? GetOptionValue(opts, id) : nullptr;
}

bool IsSeparator(char c) { return c == '|' || c == ',' || c == ';' || c == ' ' || c == '\t'; }

}  // namespace

void SetPluginStartupOptions(const cxStartupOptions *opts) {
    g_options.clear();
    g_programPath.clear();
    if (!opts) return;
    g_options.resize(CX_OPTION_SLOTS);
    for (int id = 0; id < CX_OPTION_SLOTS; id++) {
        g_options[id].set = opts->slots[id].set != 0;
        if (opts->slots[id].value) {
            g_options[id].hasValue = true;
            g_options[id].value = opts->slots[id].value;
        }
    }
    g_programPath = opts->programPath;
}

const char *PluginStartupOption(int id, bool *set) {
    if (set) *set = false;
    if (id < 0 || static_cast<size_t>(id) >= g_options.size()) return nullptr;
    const OptionCopy &o = g_options[static_cast<size_t>(id)];
    if (set) *set = o.set;
    if (o.hasValue) return o.value.c_str();
    return o.set ? "1" : nullptr;
}

const std::string &PluginProgramPath() { return g_programPath; }

extern "C" char *MakePluginNameList(const char *text) {
    if (!text) return nullptr;
    std::string list;
    for (const char *p = text; *p;) {
        while (*p && IsSeparator(*p)) p++;
        const char *start = p;
        while (*p && !IsSeparator(*p)) p++;
        if (p > start) {
            list.append(start, static_cast<size_t>(p - start));
            list += '\0';
        }
    }
    if (list.empty()) return nullptr;
    char *out = static_cast<char *>(malloc(list.size() + 1));
    if (!out) return nullptr;
    memcpy(out, list.data(), list.size());
    out[list.size()] = 0;
    return out;
}

extern "C" int ExtractLinkedPlugins(const cxStartupOptions *opts, uint64_t *appletOffset) {
    SetPluginStartupOptions(opts);
    return ExtractAppendedPlugins(opts->programPath, opts->appendedOffset, GetOptionValue(opts, CX_OPT_TEMPDIR),
                                  appletOffset);
}

extern "C" int CountPlugins(const cxStartupOptions *opts, int *count) {
    int n = 0;
    int err = ScanPlugins(opts->programPath, nullptr, &n);
    if (count) *count = n;
    return err;
}

extern "C" int InitPlugins(lua_State *L, const cxStartupOptions *opts) {
    SetPluginStartupOptions(opts);
    SetPluginQuiet(IsOptionSet(opts, CX_OPT_QUIET));
    SetPluginStartupPhase(1);
    struct PhaseEnd {
        ~PhaseEnd() { SetPluginStartupPhase(0); }
    } phaseEnd;

    std::unique_ptr<char, decltype(&free)> skip(MakePluginNameList(OptionText(opts, CX_OPT_SKIPPLUGINS)), free);
    if (int err = ScanPlugins(opts->programPath, skip.get(), nullptr)) return err;
    for (cxPluginEntry *e = GetPluginList(); e; e = e->next) {
        if (int err = RegisterPluginFormats(L, e)) return err;
    }

    std::unique_ptr<char, decltype(&free)> required(MakePluginNameList(OptionText(opts, CX_OPT_REQUIREPLUGINS)),
                                                    free);
    const char *tags = OptionText(opts, CX_OPT_REQUIRETAGS);
    int flags = CX_REQUIRE_CALLHOOK | CX_REQUIRE_LIBRARIES | (tags ? CX_REQUIRE_EXTRA : 0);
    for (const char *name = required.get(); name && *name; name += strlen(name) + 1) {
        if (int err = LoadRequiredPlugin(L, name, 0, 0, flags, nullptr, reinterpret_cast<intptr_t>(tags))) return err;
    }
    return 0;
}
