#include "shell/options.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "shell/catalog.h"

namespace {

const cxOptionDef kOptions[CX_OPTION_COUNT] = {
    {"WINDOW", CX_OPT_WINDOW, 0, 0, nullptr, nullptr, "open script in a window (default)"},
    {"BORDERLESS", CX_OPT_BORDERLESS, 0, 0, nullptr, nullptr, "make window borderless"},
    {"SIZEABLE", CX_OPT_SIZEABLE, 0, 0, nullptr, nullptr, "allow window resizing"},
    {"FIXED", CX_OPT_FIXED, 0, 0, nullptr, nullptr, "forbid window dragging"},
    {"NOHIDE", CX_OPT_NOHIDE, 0, 0, nullptr, nullptr, "forbid window minimizing"},
    {"DISABLEBLANKER", CX_OPT_DISABLEBLANKER, 0, 0, nullptr, nullptr, "disable screen blanker while Calyxtone is running"},
    {"ALLDISPLAYS", CX_OPT_ALLDISPLAYS, 0, 0, nullptr, nullptr, "apply command line options to all displays"},
    {"OVERRIDEPLACEMENT", CX_OPT_OVERRIDEPLACEMENT, 0, 0, nullptr, nullptr, "override restoration of previous display placements"},
    {"MAXIMIZED", CX_OPT_MAXIMIZED, 0, 0, nullptr, nullptr, "open display in maximized state"},
    {"WINWIDTH", CX_OPT_WINWIDTH, 1, 0, "<width>", nullptr, "set initial display width"},
    {"WINHEIGHT", CX_OPT_WINHEIGHT, 1, 0, "<height>", nullptr, "set initial display height"},
    {"NATIVEUNITS", CX_OPT_NATIVEUNITS, 0, 0, nullptr, nullptr, "use native screen units instead of pixels"},
    {"NOLIVERESIZE", CX_OPT_NOLIVERESIZE, 0, 0, nullptr, nullptr, "do not use live resizing for display"},
    {"ALWAYSONTOP", CX_OPT_ALWAYSONTOP, 0, 0, nullptr, nullptr, "open display on top of all other windows"},
    {"FULLSCREEN", CX_OPT_FULLSCREEN, 0, 1, nullptr, nullptr, "open script in best available full screen mode"},
    {"FULLSCREENSCALE", CX_OPT_FULLSCREENSCALE, 0, 1, nullptr, nullptr, "scale script to current monitor's full resolution"},
    {"FAKEFULLSCREEN", CX_OPT_FAKEFULLSCREEN, 0, 1, nullptr, nullptr, "open script in fake full screen mode"},
    {"MODEREQUESTER", CX_OPT_MODEREQUESTER, 0, 1, nullptr, nullptr, "prompt the user for full screen resolution"},
    {"ASKDISPLAYMODE", CX_OPT_ASKDISPLAYMODE, 0, 1, nullptr, nullptr, "allow the user to select between full screen and window mode"},
    {"SCRWIDTH", CX_OPT_SCRWIDTH, 1, 1, "<width>", nullptr, "set width for custom full screen mode"},
    {"SCRHEIGHT", CX_OPT_SCRHEIGHT, 1, 1, "<height>", nullptr, "set height for custom full screen mode"},
    {"SCRDEPTH", CX_OPT_SCRDEPTH, 1, 1, "<depth>", nullptr, "set depth for custom full screen mode"},
    {"MONITOR", CX_OPT_MONITOR, 1, 1, "<num>", nullptr, "set monitor to use for display"},
    {"HIDEPOINTER", CX_OPT_HIDEPOINTER, 0, 1, nullptr, nullptr, "automatically hide pointer when in full screen mode"},
    {"NOMODESWITCH", CX_OPT_NOMODESWITCH, 0, 1, nullptr, nullptr, "forbid hotkey switching between windowed and full screen modes"},
    {"BACKFILL", CX_OPT_BACKFILL, 1, 2, "<mode>", "color, gradient, texture, picture", "enable backfill decoration"},
    {"STARTCOLOR", CX_OPT_STARTCOLOR, 1, 2, "<color>", "$RRGGBB", "set start color to use for backfilling"},
    {"ENDCOLOR", CX_OPT_ENDCOLOR, 1, 2, "<color>", "$RRGGBB", "set end color to use for backfilling"},
    {"BRUSHFILE", CX_OPT_BRUSHFILE, 1, 2, "<image file>", nullptr, "set image to be used for backfilling"},
    {"BRUSH", CX_OPT_BRUSH, 1, 2, "<brush id>", nullptr, "alternative way of specifying backfill image"},
    {"SCALEPICTURE", CX_OPT_SCALEPICTURE, 0, 2, nullptr, nullptr, "scale backfill image to fit display size"},
    {"PICXPOS", CX_OPT_PICXPOS, 1, 2, "<pos>", nullptr, "set x-position of backfill image (defaults to center)"},
    {"PICYPOS", CX_OPT_PICYPOS, 1, 2, "<pos>", nullptr, "set y-position of backfill image (defaults to center)"},
    {"PICTRANS", CX_OPT_PICTRANS, 1, 2, "<color>", "$RRGGBB", "set transparent color for backfill image (defaults to no transparency)"},
    {"HIDETITLEBAR", CX_OPT_HIDETITLEBAR, 0, 2, nullptr, nullptr, "position backfill above desktop title bar"},
    {"AUTOSCALE", CX_OPT_AUTOSCALE, 0, 3, nullptr, nullptr, "enable auto scaling engine"},
    {"LAYERSCALE", CX_OPT_LAYERSCALE, 0, 3, nullptr, nullptr, "enable layer scaling engine"},
    {"SYSTEMSCALE", CX_OPT_SYSTEMSCALE, 0, 3, nullptr, nullptr, "automatically apply scaling on high dpi display"},
    {"SCALEFACTOR", CX_OPT_SCALEFACTOR, 1, 3, "<factor>", nullptr, "use constant scale factor"},
    {"SCALEWIDTH", CX_OPT_SCALEWIDTH, 1, 3, "<width>", nullptr, "set scaling engine output width"},
    {"SCALEHEIGHT", CX_OPT_SCALEHEIGHT, 1, 3, "<height>", nullptr, "set scaling engine output height"},
    {"SMOOTHSCALE", CX_OPT_SMOOTHSCALE, 0, 3, nullptr, nullptr, "enable antialiased interpolation (slower)"},
    {"KEEPPROPORTIONS", CX_OPT_KEEPPROPORTIONS, 0, 3, nullptr, nullptr, "do not allow distorted scaling"},
    {"FITSCALE", CX_OPT_FITSCALE, 0, 3, nullptr, nullptr, "choose scaling resolution automatically from current desktop size"},
    {"NOSCALEENGINE", CX_OPT_NOSCALEENGINE, 0, 3, nullptr, nullptr, "do not use any scale engine for full screen scale"},
    {"NOSOUND", CX_OPT_NOSOUND, 0, 4, nullptr, nullptr, "disable sound output"},
    {"FORCESOUND", CX_OPT_FORCESOUND, 0, 4, nullptr, nullptr, "fail if sound hardware isn't available"},
    {"NUMCHANNELS", CX_OPT_NUMCHANNELS, 1, 4, "<count>", nullptr, "set number of available audio channels"},
    {"AUDIODEVICE", CX_OPT_AUDIODEVICE, 1, 4, "<name>", nullptr, "set ALSA audio device that Calyxtone shall use"},
    {"REQUIREPLUGINS", CX_OPT_REQUIREPLUGINS, 1, 5, "<list>", nullptr, "initialize the specified plugins"},
    {"REQUIRETAGS", CX_OPT_REQUIRETAGS, 1, 5, "<list>", nullptr, "specify tags to pass to plugin require functions"},
    {"SKIPPLUGINS", CX_OPT_SKIPPLUGINS, 1, 5, "<list>", nullptr, "skip loading specified plugins"},
    {"DEBUGDEVICE", CX_OPT_DEBUGDEVICE, 1, 6, "<name>", nullptr, "set device for debug output"},
    {"DEBUGOUTPUT", CX_OPT_DEBUGOUTPUT, 0, 6, nullptr, nullptr, "enable debug output"},
    {"FORCEFLUSH", CX_OPT_FORCEFLUSH, 0, 6, nullptr, nullptr, "force buffer flushing after every write to stdout"},
    {"NODEBUG", CX_OPT_NODEBUG, 0, 6, nullptr, nullptr, "do not call any debug functions"},
    {"HELP", CX_OPT_HELP, 0, 7, nullptr, nullptr, "show this help information"},
    {"QUIET", CX_OPT_QUIET, 0, 7, nullptr, nullptr, "suppress Calyxtone's startup output"},
    {"ENCODING", CX_OPT_ENCODING, 1, 7, "<name>", "utf8, iso8859_1", "specify script's encoding (default: utf8)"},
    {"TEMPDIR", CX_OPT_TEMPDIR, 1, 7, "<path>", nullptr, "store temporary files in this directory"},
    {"NOCHDIR", CX_OPT_NOCHDIR, 0, 7, nullptr, nullptr, "do not change directory to script's directory"},
    {"SETCONSTANTS", CX_OPT_SETCONSTANTS, 1, 7, "<list>", nullptr, "list of constants to define"},
    {"XSERVER", CX_OPT_XSERVER, 1, 7, "<name>", nullptr, "set X server to connect to"},
    {"NOMOUSEHOOK", CX_OPT_NOMOUSEHOOK, 0, 7, nullptr, nullptr, "do not install a mouse hook (for slow X servers)"},
    {"SOFTTIMER", CX_OPT_SOFTTIMER, 0, 7, nullptr, nullptr, "use low resolution software timer"},
};

const char *const kGroups[] = {
    "Arguments controlling the window style:",
    "Arguments controlling full screen mode:",
    "Arguments controlling backfill style:",
    "Arguments controlling the scaling engine:",
    "Arguments controlling the audio driver:",
    "Arguments controlling plugins:",
    "Arguments controlling debugger settings:",
    "Miscellaneous arguments:",
};

constexpr int kGroupCount = static_cast<int>(sizeof kGroups / sizeof kGroups[0]);

// Longest name a configuration file line may hold.
constexpr size_t kMaxConfigName = 63;

bool SameNoCase(const char *a, const char *b) {
    for (; *a && *b; a++, b++) {
        if (toupper(static_cast<unsigned char>(*a)) != toupper(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

char *Dup(const char *s) {
    size_t n = strlen(s);
    auto *p = static_cast<char *>(malloc(n + 1));
    if (p) memcpy(p, s, n + 1);
    return p;
}

int SetValue(cxStartupOptions *opts, int id, const char *value, bool given) {
    char *copy = Dup(value);
    if (!copy) return ERR_MEM;
    free(opts->slots[id].value);
    opts->slots[id].value = copy;
    if (given) opts->slots[id].set = 1;
    return 0;
}

// Values that the parser turns into settings of its own.
int ApplyKeyword(cxStartupOptions *opts, const cxOptionDef *def, const char *value) {
    if (def->id == CX_OPT_BACKFILL) {
        static const char *const modes[] = {"COLOR", "RAINBOW", "GRADIENT", "TEXTURE", "PICTURE", "CLASSIC"};
        for (int i = 0; i < 6; i++) {
            if (SameNoCase(value, modes[i])) {
                opts->backfillMode = CX_BACKFILL_COLOR + i;
                return 0;
            }
        }
        SetErrorDetail(value);
        return ERR_ARGS;
    }
    if (def->id == CX_OPT_ENCODING) {
        if (SameNoCase(value, "utf8")) {
            opts->encoding = CX_ENCODING_UTF8;
        } else if (SameNoCase(value, "iso8859_1")) {
            opts->encoding = CX_ENCODING_ISO8859_1;
        } else {
            SetErrorDetail(value);
            return ERR_ARGS;
        }
    }
    return 0;
}

int ApplyOption(cxStartupOptions *opts, const cxOptionDef *def, const char *value) {
    if (!def->takesValue) {
        opts->slots[def->id].set = 1;
        return 0;
    }
    int err = ApplyKeyword(opts, def, value);
    if (err) return err;
    return SetValue(opts, def->id, value, true);
}

int AddUnknown(cxStartupOptions *opts, const char *name, const char *value) {
    auto *node = static_cast<cxUnknownOption *>(calloc(1, sizeof(cxUnknownOption)));
    if (!node) return ERR_MEM;
    node->name = Dup(name);
    node->value = Dup(value);
    if (!node->name || !node->value) {
        free(node->name);
        free(node->value);
        free(node);
        return ERR_MEM;
    }
    cxUnknownOption **tail = &opts->unknown;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    return 0;
}

bool IsNameStart(char c) { return isalpha(static_cast<unsigned char>(c)); }
bool IsNameChar(char c) { return isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// One "NAME=value" line (without its line feed); comments and blank lines
// are handled by the caller.
int ParseConfigLine(cxStartupOptions *opts, const char *p, const char *end) {
    const char *name = p;
    if (p == end || !IsNameStart(*p)) return ERR_INISYNTAX;
    while (p < end && IsNameChar(*p)) p++;
    size_t nameLen = static_cast<size_t>(p - name);
    if (nameLen > kMaxConfigName) return ERR_INISYNTAX;
    while (p < end && IsBlank(*p)) p++;
    if (p == end || *p != '=') return ERR_INISYNTAX;
    p++;
    while (p < end && IsBlank(*p)) p++;
    std::string value;
    if (p < end && *p == '"') {
        const char *close = static_cast<const char *>(memchr(p + 1, '"', static_cast<size_t>(end - p - 1)));
        if (!close) return ERR_INISYNTAX;
        value.assign(p + 1, close);
        p = close + 1;
        while (p < end && IsBlank(*p)) p++;
        if (p != end) return ERR_INISYNTAX;
    } else {
        const char *stop = end;
        while (stop > p && IsBlank(stop[-1])) stop--;
        value.assign(p, stop);
    }
    if (value.find('\0') != std::string::npos) return ERR_INISYNTAX;

    char upper[kMaxConfigName + 1];
    for (size_t i = 0; i < nameLen; i++) upper[i] = static_cast<char>(toupper(static_cast<unsigned char>(name[i])));
    upper[nameLen] = 0;
    const cxOptionDef *def = FindOption(upper);
    if (!def) return 0;
    if (!def->takesValue) {
        if (SameNoCase(value.c_str(), "true")) opts->slots[def->id].set = 1;
        return 0;
    }
    int err = ApplyOption(opts, def, value.c_str());
    // A bad keyword in the file is a fault of the file.
    return err == ERR_ARGS ? ERR_INISYNTAX : err;
}

void FreeUnknown(cxUnknownOption *node) {
    while (node) {
        cxUnknownOption *next = node->next;
        free(node->name);
        free(node->value);
        free(node);
        node = next;
    }
}

}  // namespace

extern "C" {

// The tool that appends an applet and plug-ins to the executable patches
// the offset behind this text; volatile keeps the compiler from folding
// the sentinel into the code that reads it.
__attribute__((used)) const volatile unsigned char cxAppendedDataMarker[36] = {
    'C', 'A', 'L', 'Y', 'X', 'T', 'O', 'N', 'E', '-', 'A', 'P', 'P', 'E', 'N', 'D', 'E', 'D',
    '-', 'D', 'A', 'T', 'A', '-', 'O', 'F', 'F', 'S', 'E', 'T', ':', 0, 0xDE, 0xAD, 0xC0, 0xDE};

const cxOptionDef *GetOptionTable(size_t *count) {
    if (count) *count = CX_OPTION_COUNT;
    return kOptions;
}

const char *GetOptionGroupHeading(int group) {
    return group >= 0 && group < kGroupCount ? kGroups[group] : nullptr;
}

int GetOptionGroupCount(void) { return kGroupCount; }

const cxOptionDef *FindOption(const char *name) {
    if (!name) return nullptr;
    for (const cxOptionDef &def : kOptions) {
        if (SameNoCase(def.name, name)) return &def;
    }
    return nullptr;
}

void InitStartupOptions(cxStartupOptions *opts) {
    memset(opts, 0, sizeof *opts);
    opts->slots[CX_OPT_AUDIODEVICE].value = Dup("default");
    opts->slots[CX_OPT_TEMPDIR].value = Dup("/tmp");
    strcpy(opts->appletExtension, ".cxa");
    opts->encoding = CX_ENCODING_UTF8;
    opts->appendedOffset = CX_APPENDED_NONE;
    opts->displayX = opts->displayY = -100000;
    opts->displayWidth = opts->displayHeight = -1;
    opts->displayScale = 1.0;
}

void FreeStartupOptions(cxStartupOptions *opts) {
    if (!opts) return;
    for (cxOptionSlot &slot : opts->slots) {
        free(slot.value);
        slot.value = nullptr;
        slot.set = 0;
    }
    FreeUnknown(opts->unknown);
    opts->unknown = nullptr;
}

int IsOptionSet(const cxStartupOptions *opts, int id) {
    return opts && id > 0 && id < CX_OPTION_SLOTS && opts->slots[id].set;
}

const char *GetOptionValue(const cxStartupOptions *opts, int id) {
    if (!opts || id <= 0 || id >= CX_OPTION_SLOTS) return nullptr;
    return opts->slots[id].value;
}

int MakeConfigPath(const char *programPath, char *out, size_t size) {
    if (!programPath || !out || size == 0) return 0;
    std::string path = programPath;
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) path.resize(dot);
    path += ".ini";
    if (path.size() >= size) {
        out[0] = 0;
        return 0;
    }
    memcpy(out, path.c_str(), path.size() + 1);
    return 1;
}

int ReadConfigText(cxStartupOptions *opts, const char *text, size_t length) {
    const char *p = text;
    const char *end = text + length;
    int line = 0;
    while (p < end) {
        line++;
        const char *eol = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!eol) eol = end;
        const char *q = p;
        while (q < eol && IsBlank(*q)) q++;
        if (q < eol && *q != '#' && *q != '[') {
            int err = ParseConfigLine(opts, q, eol);
            if (err) {
                SetErrorNumber(line);
                return err;
            }
        }
        p = eol + 1;
    }
    return 0;
}

int ReadConfigFile(cxStartupOptions *opts, const char *path) {
    // Read with plain calls: a folder or an unreadable file is reported
    // with its name, a missing one is no configuration at all.
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return 0;
        SetErrorDetail(path);
        return ERR_READFILE;
    }
    std::string text;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (ok) {
        char buf[4096];
        const ssize_t got = read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        text.append(buf, static_cast<size_t>(got));
    }
    close(fd);
    if (!ok) {
        SetErrorDetail(path);
        return ERR_READFILE;
    }
    const int err = ReadConfigText(opts, text.data(), text.size());
    // The report names the file and the line.
    if (err == ERR_INISYNTAX) SetErrorPosition(GetErrorNumber(), path, nullptr);
    return err;
}

int ParseArguments(cxStartupOptions *opts, int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        const char *tok = argv[i];
        if (!tok) break;
        if (tok[0] != '-') {
            if (opts->appletPath[0]) {
                SetErrorDetail(tok);
                return ERR_ARGS;
            }
            size_t n = strlen(tok);
            if (n == 0) return ERR_ARGS;
            if (n > CX_STARTUP_PATH_MAX) {
                SetErrorDetail(tok);
                return ERR_NAMETOOLONG;
            }
            memcpy(opts->appletPath, tok, n + 1);
            continue;
        }
        const char *name = tok + 1;
        if (!*name) return ERR_ARGS;
        const cxOptionDef *def = FindOption(name);
        if (!def) {
            const char *value = i + 1 < argc && argv[i + 1] ? argv[++i] : "";
            int err = AddUnknown(opts, name, value);
            if (err) return err;
            continue;
        }
        if (def->takesValue) {
            if (i + 1 >= argc || !argv[i + 1]) {
                SetErrorDetail(tok);
                return ERR_ARGS;
            }
            int err = ApplyOption(opts, def, argv[++i]);
            if (err) return err;
        } else {
            opts->slots[def->id].set = 1;
        }
    }
    return 0;
}

uint32_t DecodeAppendedMarker(const unsigned char offset[4]) {
    return (uint32_t{offset[0]} << 24) | (uint32_t{offset[1]} << 16) | (uint32_t{offset[2]} << 8) | offset[3];
}

uint32_t GetAppendedDataOffset(void) {
    unsigned char b[4];
    for (int i = 0; i < 4; i++) b[i] = cxAppendedDataMarker[32 + i];
    return DecodeAppendedMarker(b);
}

int FindAppendedMarker(const unsigned char *image, size_t size, size_t *at) {
    // Compared with the marker itself: a second copy of its text in the
    // program would be found as well.
    unsigned char text[32];
    for (size_t i = 0; i < sizeof text; i++) text[i] = cxAppendedDataMarker[i];
    const size_t n = sizeof text;
    if (!image || size < n + 4) return 0;
    for (size_t i = 0; i + n + 4 <= size; i++) {
        if (image[i] == 'C' && memcmp(image + i, text, n) == 0) {
            if (at) *at = i;
            return 1;
        }
    }
    return 0;
}

void PrintBanner(FILE *out) {
    if (!out) out = stdout;
    fprintf(out, "CalyxtonePlayer %d.%d [Linux] [%d-bit]\n", 8, 0, static_cast<int>(sizeof(void *) * 8));
    fprintf(out, "Runs Calyxtone applets: multimedia scripts compiled to bytecode.\n\n");
}

void PrintOptionHelp(FILE *out) {
    if (!out) out = stdout;
    int group = -1;
    for (const cxOptionDef &def : kOptions) {
        if (def.group != group) {
            group = def.group;
            fprintf(out, "%s%s\n", group ? "\n" : "", kGroups[group]);
        }
        std::string left = std::string("-") + def.name;
        if (def.valueTemplate) left += std::string(" ") + def.valueTemplate;
        fprintf(out, "  %-28s %s", left.c_str(), def.help);
        if (def.choices) fprintf(out, " (%s)", def.choices);
        fputc('\n', out);
    }
}

int ParseCommandLine(cxStartupOptions *opts, int argc, char **argv, FILE *out) {
    if (!opts) return ERR_ARGS;
    if (!out) out = stdout;
    if (!opts->programPath[0]) {
        char resolved[PATH_MAX];
        const char *self = nullptr;
        if (argc > 0 && argv && argv[0] && realpath(argv[0], resolved)) {
            self = resolved;
        } else {
            ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
            if (n > 0) {
                resolved[n] = 0;
                self = resolved;
            }
        }
        if (self && strlen(self) <= CX_STARTUP_PATH_MAX) strcpy(opts->programPath, self);
    }
    if (opts->programPath[0]) {
        char ini[CX_STARTUP_PATH_MAX + 8];
        if (MakeConfigPath(opts->programPath, ini, sizeof ini)) {
            int err = ReadConfigFile(opts, ini);
            if (err) return err;
        }
    }
    int err = ParseArguments(opts, argc, argv);
    if (err) return err;

    opts->appendedOffset = GetAppendedDataOffset();
    opts->linked = opts->appendedOffset != CX_APPENDED_NONE;

    if (!IsOptionSet(opts, CX_OPT_QUIET) && !opts->linked) PrintBanner(out);
    if (IsOptionSet(opts, CX_OPT_HELP)) {
        PrintOptionHelp(out);
        return ERR_USERABORT;
    }

    // A catalog that does not load leaves the built-in texts in place.
    char language[64];
    std::string dir = opts->programPath;
    size_t slash = dir.rfind('/');
    dir.resize(slash == std::string::npos ? 0 : slash);
    const char *locale = getenv("LC_ALL");
    if (!locale || !*locale) locale = getenv("LANG");
    if (!dir.empty() && CatalogLanguage(locale, language, sizeof language)) OpenPlayerCatalog(dir.c_str(), language);
    return 0;
}

int CheckCompileRequest(const cxStartupOptions *opts) { return opts && opts->compile ? ERR_PLAYERCOMP : 0; }

}  // extern "C"
