// The plug-in API table: version 8.0 and its 16 sub-tables, one constant
// of the program.
#include "include/calyxtone/cxplugin.h"

#include "shell/plugins/api_tables.h"
#include "shell/plugins/plugin_loader.h"

namespace {

// Plug-ins index the sub-tables by position: the slot counts are fixed.
constexpr size_t kWord = sizeof(void *);
static_assert(sizeof(cxApiRuntime) == 60 * kWord);  // 59 functions and the null word
static_assert(sizeof(cxApiSystem) == 55 * kWord);
static_assert(sizeof(cxApiFiles) == 36 * kWord);
static_assert(sizeof(cxApiGraphics) == 36 * kWord);
static_assert(sizeof(cxApiAudio) == 3 * kWord);
static_assert(sizeof(cxApiRequesters) == 4 * kWord);
static_assert(sizeof(cxApiFonts) == 1 * kWord);
static_assert(sizeof(cxApiFreeType) == 38 * kWord);
static_assert(offsetof(cxApiFreeType, FT_MulFix) == 21 * kWord);
static_assert(sizeof(cxApiVM) == 78 * kWord);
static_assert(offsetof(cxApiVM, luaG_runerror) == 44 * kWord);
static_assert(sizeof(cxApiBuiltinFonts) == 6 * kWord);
static_assert(sizeof(cxApiZlib) == 13 * kWord);
static_assert(sizeof(cxApiJpeg) == 25 * kWord);
static_assert(sizeof(cxApiPluginList) == 5 * kWord);
static_assert(sizeof(cxApiDigest) == 4 * kWord);
static_assert(sizeof(cxApiUnicode) == 21 * kWord);
static_assert(sizeof(cxApiLocale) == 3 * kWord);
static_assert(sizeof(cxPluginApi) == 8 + 16 * kWord);

const cxPluginApi kPluginApi = {
    .version = CX_PLUGIN_API_VERSION,
    .revision = CX_PLUGIN_API_REVISION,
    .runtime = &kApiRuntime,
    .system = &kApiSystem,
    .files = &kApiFiles,
    .graphics = &kApiGraphics,
    .audio = &kApiAudio,
    .requesters = &kApiRequesters,
    .fonts = &kApiFonts,
    .freetype = &kApiFreeType,
    .vm = &kApiVM,
    .builtinFonts = &kApiBuiltinFonts,
    .zlib = &kApiZlib,
    .jpeg = &kApiJpeg,
    .plugins = &kApiPluginList,
    .digest = &kApiDigest,
    .unicode = &kApiUnicode,
    .locale = &kApiLocale,
};

}  // namespace

extern "C" const cxPluginApi *GetPluginApi(void) { return &kPluginApi; }
