// The sub-tables of the plug-in API that serve the player's own services:
// system, files, graphics, audio, requesters, fonts, the plug-in list,
// digests, Unicode and locale. Slots whose service another subsystem has
// not delivered yet answer a clear failure, as the author header states.
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <new>
#include <string>
#include <vector>

#include "display/events/event_posting.h"
#include "display/events/event_types.h"
#include "display/plugin_entries.h"
#include "display/events/plugin_timers.h"
#include "engine/runtime/base64.h"
#include "engine/runtime/md5.h"
#include "engine/charset/charset.h"
#include "engine/charset/collate.h"
#include "errors/errors.h"
#include "shell/applet.h"
#include "streams/chunk_names.h"
#include "io/icons/icon_images.h"
#include "engine/plugins/plugin_registry.h"
#include "media/sound/sound_library.h"
#include "shell/options.h"
#include "shell/plugins/api_tables.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/images/image_handle.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "shell/plugins/plugin_internal.h"
#include "shell/plugins/plugin_manager.h"
#include "streams/stream.h"

void FillPluginStat(const struct stat &st, cxPluginStat *out);

namespace {

// Answers of slots whose service does not exist yet.
constexpr int kNotYet = ERR_UNSUPPORTEDFEAT;

int CopyOut(const std::string &text, char *out, size_t size) {
    if (!out || size == 0 || text.size() >= size) return ERR_INTERNAL;
    memcpy(out, text.c_str(), text.size() + 1);
    return 0;
}

// ---- system ----

int ApiCheckAppletVersion(int major, int minor) {
    const cxApplet *applet = GetPluginApplet();
    if (applet) return CheckAppletVersion(applet, major, minor);
    return major < 8 || (major == 8 && minor <= 0);
}

int ApiGetAppletInfo(cxTagItem *tags) {
    const cxApplet *applet = GetPluginApplet();
    if (!applet || !tags) return 0;
    int filled = 0;
    for (cxTagItem *t = tags; t->tag; t++) {
        if (t->tag >= 1 && t->tag <= 6)
            t->data = reinterpret_cast<intptr_t>(applet->info[t->tag - 1]);
        else if (t->tag == 7)
            t->data = reinterpret_cast<intptr_t>(applet->path);
        else if (t->tag == 8)
            t->data = reinterpret_cast<intptr_t>(applet->identifier);
        else if (t->tag == 9)
            t->data = applet->versionMajor;
        else if (t->tag == 10)
            t->data = applet->versionMinor;
        else
            continue;
        filled++;
    }
    return filled;
}

void GetTime(cxPluginTimeVal *now) {
    if (!now) return;
    timeval tv;
    gettimeofday(&tv, nullptr);
    now->seconds = tv.tv_sec;
    now->microseconds = tv.tv_usec;
}

void Normalise(cxPluginTimeVal *t) {
    t->seconds += t->microseconds / 1000000;
    t->microseconds %= 1000000;
    if (t->microseconds < 0) {
        t->microseconds += 1000000;
        t->seconds--;
    }
}

void SubTime(cxPluginTimeVal *a, const cxPluginTimeVal *b) {
    if (!a || !b) return;
    a->seconds -= b->seconds;
    a->microseconds -= b->microseconds;
    Normalise(a);
}

void AddTime(cxPluginTimeVal *a, const cxPluginTimeVal *b) {
    if (!a || !b) return;
    a->seconds += b->seconds;
    a->microseconds += b->microseconds;
    Normalise(a);
}

int CmpTime(const cxPluginTimeVal *a, const cxPluginTimeVal *b) {
    if (a->seconds != b->seconds) return a->seconds < b->seconds ? -1 : 1;
    if (a->microseconds != b->microseconds) return a->microseconds < b->microseconds ? -1 : 1;
    return 0;
}

void Delay(int milliseconds) {
    if (milliseconds <= 0) return;
    timespec rest{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

size_t GetDateString(char *out, size_t size, int64_t seconds) {
    if (!out || size == 0) return 0;
    time_t t = seconds < 0 ? time(nullptr) : static_cast<time_t>(seconds);
    tm local;
    // A 32-bit time_t cannot hold dates past 2038: no text rather than a wrong one.
    if ((seconds >= 0 && t != seconds) || !localtime_r(&t, &local)) {
        out[0] = 0;
        return 0;
    }
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int n = snprintf(out, size, "%02d-%s-%04d %02d:%02d:%02d", local.tm_mday, kMonths[local.tm_mon],
                     local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return n < 0 ? 0 : (static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1);
}

void *AllocMem(size_t size, int clear) {
    if (size == 0) return nullptr;
    return clear ? calloc(1, size) : malloc(size);
}

void *CreateMutex() {
    auto *m = new (std::nothrow) pthread_mutex_t;
    if (!m) return nullptr;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int err = pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
    if (err) {
        delete m;
        return nullptr;
    }
    return m;
}

void FreeMutex(void *mutex) {
    if (!mutex) return;
    auto *m = static_cast<pthread_mutex_t *>(mutex);
    pthread_mutex_destroy(m);
    delete m;
}

void LockMutex(void *mutex) {
    if (mutex) pthread_mutex_lock(static_cast<pthread_mutex_t *>(mutex));
}

void UnlockMutex(void *mutex) {
    if (mutex) pthread_mutex_unlock(static_cast<pthread_mutex_t *>(mutex));
}

void Print(const char *text) {
    if (!text) return;
    fputs(text, stdout);
    fflush(stdout);
}

void *AddTimer(lua_State *, int milliseconds, int oneShot, cxPluginTimerFunc callback, void *userData) {
    // The timer belongs to the library its callback lives in, so that the
    // library's unloading can end it (FreePluginTimersOf).
    return AddPluginTimer(milliseconds, oneShot, callback, userData, PluginLibraryOf(reinterpret_cast<void *>(callback)));
}
void FreeTimer(void *timer) { FreePluginTimer(timer); }
int CallErrorHandler(lua_State *, int code) { return code; }
int GetRaiseOnError(lua_State *) { return 0; }

int ApiGetErrorPosition(int *line, char *source, size_t sourceSize, char *command, size_t commandSize) {
    const cxErrorPosition *pos = GetErrorPosition();
    if (line) *line = pos->line;
    if (source && sourceSize) snprintf(source, sourceSize, "%s", pos->source);
    if (command && commandSize) snprintf(command, commandSize, "%s", pos->command);
    return 0;
}

std::string HomeFolder() {
    const char *home = getenv("HOME");
    return home && *home ? home : "/";
}

std::string TempFolder() {
    const char *temp = PluginStartupOption(CX_OPT_TEMPDIR);
    return temp && *temp ? temp : "/tmp";
}

int GetSystemFolder(int which, char *out, size_t size) {
    std::string folder;
    switch (which) {
    case 0: folder = HomeFolder(); break;
    case 1: folder = TempFolder(); break;
    case 2: {
        std::string program = PluginProgramPath();
        if (program.empty()) {
            char self[PATH_MAX];
            ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
            if (n > 0) program.assign(self, static_cast<size_t>(n));
        }
        size_t slash = program.rfind('/');
        folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : program.substr(0, slash));
        break;
    }
    case 3: folder = HomeFolder() + "/.calyxtone-data"; break;
    case 4: {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return ERR_INTERNAL;
        folder = cwd;
        break;
    }
    default: return ERR_ARGS;
    }
    return CopyOut(folder, out, size);
}

int GetRandomBytes(void *out, size_t length) {
    auto *p = static_cast<unsigned char *>(out);
    while (length > 0) {
        ssize_t n = getrandom(p, length, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ERR_INTERNAL;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return 0;
}

void *FindObject(int, const cxPluginObjectID *) { return nullptr; }
int RegisterObjectKind(const char *) { return 0; }

int IsQuiet() {
    bool set = false;
    PluginStartupOption(CX_OPT_QUIET, &set);
    return set || IsPluginQuiet();
}

const char *GetStartupOption(const char *name) {
    const cxOptionDef *def = FindOption(name);
    bool set = false;
    const char *value = def ? PluginStartupOption(def->id, &set) : nullptr;
    return set ? value : nullptr;
}

void DisablePlugin(cxPlugin *plugin, int disabled) { SetPluginDisabled(plugin, disabled); }

// ---- files ----

int DeleteFile(const char *name) {
    if (name && remove(name) == 0) return 0;
    SetErrorDetail(name);
    return ERR_DELETEFILE;
}

int MakeDirectory(const char *name) {
    if (name && mkdir(name, 0777) == 0) return 0;
    SetErrorDetail(name);
    return ERR_CREATEDIR;
}

int RenameFile(const char *from, const char *to) {
    if (from && to && rename(from, to) == 0) return 0;
    SetErrorDetail(from);
    return ERR_RENAME;
}

int ExaminePath(const char *name, cxPluginStat *out) {
    struct stat st;
    if (!name || stat(name, &st) != 0) return 0;
    if (out) FillPluginStat(st, out);
    return 1;
}

void *LockPath(const char *, int, const char *) { return nullptr; }
void UnlockPath(void *) {}
int ExamineLock(void *, cxPluginStat *) { return kNotYet; }
int NextLockEntry(void *, char *, size_t, int *) { return 0; }
int GetLockPath(void *, char *, size_t) { return 0; }

int GetCurrentDir(char *out, size_t size) {
    if (!out || size == 0 || !getcwd(out, size)) return ERR_INTERNAL;
    return 0;
}

int MakeTempFile(char *out, size_t size) {
    std::string name = TempFolder() + "/cxtmp-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) {
        SetErrorDetail(name.c_str());
        return ERR_WRITEFILE;
    }
    close(fd);
    if (int err = CopyOut(name, out, size)) {
        unlink(name.c_str());
        return err;
    }
    return 0;
}

int AddPart(char *folder, const char *name, size_t size) {
    if (!folder || !name) return 0;
    const size_t have = strlen(folder);
    const bool separator = have > 0 && folder[have - 1] != '/' && folder[have - 1] != ':';
    const size_t need = have + (separator ? 1 : 0) + strlen(name) + 1;
    if (need > size) return 0;
    if (separator) folder[have] = '/';
    memcpy(folder + have + (separator ? 1 : 0), name, strlen(name) + 1);
    return 1;
}

const char *FilePart(const char *path) {
    if (!path) return nullptr;
    const char *part = path;
    for (const char *p = path; *p; p++) {
        if (*p == '/' || *p == '\\' || *p == ':') part = p + 1;
    }
    return part;
}

const char *ResolveLinkedFile(const char *name, char *out, size_t size) {
    const cxApplet *applet = GetPluginApplet();
    if (!applet || !name) return name;
    return ResolveLinkedFileName(applet, name, 0, nullptr, out, size);
}

int ReadWholeFile(const char *name, const char *adapters, void **data, size_t *length) {
    if (data) *data = nullptr;
    if (length) *length = 0;
    cxStream *s = name ? OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, adapters) : nullptr;
    if (!s) {
        SetErrorDetail(name);
        return ERR_READFILE;
    }
    std::vector<unsigned char> bytes;
    unsigned char block[16384];
    int err = 0;
    try {
        for (;;) {
            size_t n = ReadStreamData(s, block, sizeof block);
            bytes.insert(bytes.end(), block, block + n);
            if (n < sizeof block) break;
        }
    } catch (const std::bad_alloc &) {
        err = ERR_MEM;
    }
    CloseFileStream(s);
    if (err) return err;
    auto *copy = static_cast<unsigned char *>(malloc(bytes.size() + 1));
    if (!copy) return ERR_MEM;
    if (!bytes.empty()) memcpy(copy, bytes.data(), bytes.size());
    copy[bytes.size()] = 0;
    if (data) *data = copy;
    else free(copy);
    if (length) *length = bytes.size();
    return 0;
}

int CopyFile(const char *from, const char *to, const char *adapters) {
    cxStream *in = from ? OpenFileStream(from, CX_STREAM_READ | CX_STREAM_ADAPTERS, adapters) : nullptr;
    if (!in) {
        SetErrorDetail(from);
        return ERR_READFILE;
    }
    cxStream *out = to ? OpenFileStream(to, CX_STREAM_WRITE | CX_STREAM_ADAPTERS, adapters) : nullptr;
    if (!out) {
        CloseFileStream(in);
        SetErrorDetail(to);
        return ERR_WRITEFILE;
    }
    unsigned char block[16384];
    int err = 0;
    for (;;) {
        size_t n = ReadStreamData(in, block, sizeof block);
        if (n && WriteStream(out, block, n) != n) {
            err = ERR_WRITE;
            break;
        }
        if (n < sizeof block) break;
    }
    CloseFileStream(in);
    if (!CloseFileStream(out) && !err) err = ERR_WRITE;
    return err;
}

int GetAdapterName(cxStream *, char *, size_t) { return 0; }

// ---- graphics ----

int LoadImage(lua_State *, const char *, const char *, cxImageHandle **out, int *, int *) {
    if (out) *out = nullptr;
    return kNotYet;
}
int LoadScaledImage(lua_State *, const char *, const char *, int, int, int, cxImageHandle **out) {
    if (out) *out = nullptr;
    return kNotYet;
}
void *LockBitMap(void *, int, void *) { return nullptr; }
void UnLockBitMap(void *) {}
// 0 width, 1 height of a bare bitmap store, the adapter's answer when it
// owns the bitmaps.
int GetBitMapAttr(void *store, int attribute) {
    return attribute < 0 ? 0 : int(GetRawBitmapAttr(store, uint32_t(attribute)));
}
void *AllocBitMap(int, int, int, uint32_t) { return nullptr; }
void FreeBitMap(void *) {}
int GetBrushBitmaps(const cxPluginObjectID *id, void **bitmap, void **mask, void **alpha, int *width, int *height) {
    if (!id || !bitmap || !mask || !alpha || !width || !height) return 0;
    cxBitmap *b = nullptr, *m = nullptr, *a = nullptr;
    int32_t w = 0, h = 0;
    if (!::GetBrushBitmaps(cxObjectID{id->number, id->pointer}, &b, &m, &a, &w, &h)) return 0;
    *bitmap = b, *mask = m, *alpha = a;
    *width = w, *height = h;
    return 1;
}
uint32_t *GetBrushARGB(const cxPluginObjectID *id, int *width, int *height) {
    if (!id || !width || !height) return nullptr;
    int32_t w = 0, h = 0;
    int error = 0;
    uint32_t *pixels = GetBrushARGBCopy(cxObjectID{id->number, id->pointer}, &w, &h, &error);
    *width = w, *height = h;
    return pixels;
}
int CreateBrushFromARGB(lua_State *L, const cxPluginObjectID *id, const uint32_t *argb, int width, int height,
                        int alpha) {
    if (!id || width < 1 || height < 1) return ERR_BADDIMENSIONS;
    cxObjectID oid{id->number, id->pointer};
    if (!oid.pointer) {
        if (int err = FreeBrushByID(L, oid, 0)) return err;
    }
    return CreateBrushFromARGBPixels(&oid, argb, width, height, width, -1, alpha ? 1u : 0u);
}
uint32_t ConvertToPixel(uint32_t argb, int) { return argb; }
uint32_t ConvertFromPixel(uint32_t pixel, int) { return pixel; }
int ConvertPixels(const void *, int, int, void *, int, int, int, int) { return kNotYet; }
int BlitBitMap(void *, int, int, void *, int, int, int, int, uint32_t) { return kNotYet; }
int RectFill(void *, int, int, int, int, uint32_t) { return kNotYet; }
int Line(void *, int, int, int, int, uint32_t) { return kNotYet; }
int WritePixel(void *, int, int, uint32_t) { return kNotYet; }
uint32_t ReadPixel(void *, int, int) { return 0; }
int FillPolygon(void *, const double *, int, uint32_t) { return kNotYet; }
int ScalePixels(const uint32_t *, int, int, uint32_t *, int, int, int) { return kNotYet; }
uint32_t *ScalePixelsAlloc(const uint32_t *, int, int, int, int, int) { return nullptr; }
int GetIconImages(const cxPluginObjectID *id, void **list, int *count) {
    if (list) *list = nullptr;
    if (count) *count = 0;
    if (!id || !list) return ERR_WRONGUSAGE;
    cxPluginIconImage *images = nullptr;
    int err = GetIconImageList(cxObjectID{id->number, id->pointer}, &images, count);
    *list = images;
    return err;
}
void FreeIconImages(void *list) { FreeIconImageList(static_cast<cxPluginIconImage *>(list)); }
int GetIconImage(const cxPluginObjectID *id, int width, int height, uint32_t **argb) {
    if (argb) *argb = nullptr;
    if (!id || !argb) return ERR_WRONGUSAGE;
    cxPluginIconImage *image = nullptr;
    if (int err = GetIconImageOfSize(cxObjectID{id->number, id->pointer}, width, height, 0, &image)) return err;
    // the plug-in frees the pixels with FreeMem: hand them over alone
    *argb = image->pixels;
    image->pixels = nullptr;
    FreeIconImageList(image);
    return 0;
}
int GetAppIconList(void **list, int *count) {
    if (list) *list = nullptr;
    if (count) *count = 0;
    if (!list) return ERR_WRONGUSAGE;
    cxPluginIconImage *images = nullptr;
    int err = GetAppIconImageList(&images, count);
    *list = images;
    return err;
}

int GetDefaultPixelFormat() {
    const cxPlugin *adapter = GetDisplayAdapter();
    return adapter ? static_cast<int>(adapter->pixelFormat) : 10;
}

int GetPixelFormatBytes(int format) {
    if (format >= 0 && format <= 7) return 2;
    if (format == 8 || format == 9) return 3;
    if (format >= 10 && format <= 13) return 4;
    return 0;
}

void *WrapImage(void *data, uint32_t *argb, int width, int height, void (*freeData)(void *)) {
    return WrapImageHandle(data, argb, freeData, 0, width, height, 0);
}

uint32_t *GetOverridePixels(cxImageHandle *image) { return image ? image->overridePixels : nullptr; }

// ---- audio, requesters, fonts ----

int SystemRequest(const char *, const char *, const char *, int *choice) {
    if (choice) *choice = 0;
    return kNotYet;
}
int FileRequest(const char *, const char *, const char *, const char *, uint32_t, char *out, size_t size) {
    if (out && size) out[0] = 0;
    return kNotYet;
}
int PathRequest(const char *, const char *, uint32_t, char *out, size_t size) {
    if (out && size) out[0] = 0;
    return kNotYet;
}
int RequesterHook(lua_State *, int, const cxTagItem *) { return kNotYet; }
void *OpenFont(const char *, int, const cxTagItem *) { return nullptr; }

// ---- plug-in list ----

cxPluginNode *GetNextPlugin(cxPluginNode *node) { return node ? node->next : nullptr; }
cxPlugin *GetNodePlugin(cxPluginNode *node) { return node ? node->plugin : nullptr; }
uint32_t GetNodeCapabilities(cxPluginNode *node) { return node && node->plugin ? node->plugin->capabilities : 0; }
const char *GetNodePath(cxPluginNode *node) {
    cxPluginEntry *e = node ? FindPluginEntry(node->plugin) : nullptr;
    return e ? e->path : nullptr;
}

// ---- digests and Base64 ----

// Results are malloc'd for the plug-in, which frees them through the API.
char *Base64Encode(const void *data, size_t length, size_t *outLength) {
    if (outLength) *outLength = 0;
    if (!data && length) return nullptr;
    try {
        const std::string text = EncodeBase64(data, length);
        char *out = static_cast<char *>(malloc(text.size() + 1));
        if (!out) return nullptr;
        memcpy(out, text.c_str(), text.size() + 1);
        if (outLength) *outLength = text.size();
        return out;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void *Base64Decode(const char *text, size_t length, size_t *outLength) {
    if (outLength) *outLength = 0;
    if (!text) return nullptr;
    try {
        std::string bytes;
        if (DecodeBase64(text, length, bytes) != 0) return nullptr;
        void *out = malloc(bytes.size() + 1);
        if (!out) return nullptr;
        memcpy(out, bytes.data(), bytes.size());
        if (outLength) *outLength = bytes.size();
        return out;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

uint32_t Crc32(uint32_t crc, const void *data, int length) {
    if (length <= 0 || !data) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(crc32(crc, static_cast<const Bytef *>(data), static_cast<uInt>(length)));
}

int Md5(const void *data, size_t length, char out[33]) {
    if (!out || (!data && length)) return ERR_ARGS;
    cxMD5Context context;
    uint8_t digest[16];
    MD5Init(&context);
    MD5Update(&context, data, length);
    MD5Final(&context, digest);
    for (int i = 0; i < 16; i++) snprintf(out + 2 * i, 3, "%02x", digest[i]);
    return 0;
}

// ---- Unicode ----

int Utf8Length(const char *s) {
    if (!s) return -1;
    int invalid = 0;
    size_t n = Utf8StrLenChecked(s, &invalid);
    if (invalid || n > INT_MAX) return -1;
    return static_cast<int>(n);
}

int NCompareNoCase(const char *a, const char *b, size_t chars) {
    const ptrdiff_t n = chars > PTRDIFF_MAX ? PTRDIFF_MAX : static_cast<ptrdiff_t>(chars);
    return Utf8CompareRangesNoCase(a, b, a + Utf8CharToByteOffset(a, n), b + Utf8CharToByteOffset(b, n));
}

int Validate(const char *s, size_t length) { return s ? ValidateUtf8(s, length, nullptr) : 0; }

// ---- locale ----

// "de_DE.UTF-8" -> {"de", "DE"}; the C and POSIX locales read as English.
void LocaleParts(std::string &language, std::string &country) {
    const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string value;
    for (const char *name : names) {
        const char *v = getenv(name);
        if (v && *v) {
            value = v;
            break;
        }
    }
    size_t cut = value.find_first_of(".@");
    if (cut != std::string::npos) value.resize(cut);
    size_t bar = value.find('_');
    language = value.substr(0, bar);
    country = bar == std::string::npos ? "" : value.substr(bar + 1);
    if (language.empty() || language == "C" || language == "POSIX") {
        language = "en";
        country = "";
    }
}

const char *GetLanguage() {
    thread_local std::string language, country;
    LocaleParts(language, country);
    return language.c_str();
}

const char *GetCountry() {
    thread_local std::string language, country;
    LocaleParts(language, country);
    return country.c_str();
}

long GetTimeZoneOffset() {
    time_t now = time(nullptr);
    tm local;
    return localtime_r(&now, &local) ? local.tm_gmtoff : 0;
}

}  // namespace

const cxApiSystem kApiSystem = {
    .CheckAppletVersion = ApiCheckAppletVersion,
    .GetAppletInfo = ApiGetAppletInfo,
    .RegisterErrorCode = RegisterErrorCode,
    .SetErrorDetail = SetErrorDetail,
    .SetErrorNumber = SetErrorNumber,
    .GetErrorText = GetErrorText,
    .GetTime = GetTime,
    .SubTime = SubTime,
    .AddTime = AddTime,
    .CmpTime = CmpTime,
    .Delay = Delay,
    .GetDateString = GetDateString,
    .AllocMem = AllocMem,
    .FreeMem = free,
    .PostSystemEvent = PostSystemEvent,
    .PostSystemEventNoState = PostSystemEventNoState,
    .RegisterEventType = RegisterEventType,
    .FindEventType = FindEventType,
    .PostRegisteredEvent = PostRegisteredEvent,
    .WakeMainThread = WakeMainThread,
    .RequestQuit = RequestQuit,
    .AddDisplayListener = PluginAddDisplayListener,
    .RemoveDisplayListener = PluginRemoveDisplayListener,
    .PostListenerEvent = PostListenerEvent,
    .RegisterDisplayAdapter = RegisterDisplayAdapter,
    .RegisterRequesterAdapter = RegisterRequesterAdapter,
    .RegisterTimerAdapter = RegisterTimerAdapter,
    .RegisterAudioAdapter = RegisterAudioAdapter,
    .RefreshDisplayByHandle = RefreshDisplayByHandle,
    .ResizeDisplayForListener = ResizeDisplayForListener,
    .GetDisplayAttrTags = GetDisplayAttrTags,
    .CreateMutex = CreateMutex,
    .FreeMutex = FreeMutex,
    .LockMutex = LockMutex,
    .UnlockMutex = UnlockMutex,
    .DisablePlugin = DisablePlugin,
    .RemovePluginHooks = RemovePluginHooks,
    .Print = Print,
    .AddTimer = AddTimer,
    .FreeTimer = FreeTimer,
    .AddCapabilityEntry = AddCapabilityEntry,
    .RemoveCapabilityEntry = RemoveCapabilityEntry,
    .HasCapabilityEntry = HasCapabilityEntry,
    .CallErrorHandler = CallErrorHandler,
    .GetRaiseOnError = GetRaiseOnError,
    .GetErrorPosition = ApiGetErrorPosition,
    .GetSystemFolder = GetSystemFolder,
    .GetRandomBytes = GetRandomBytes,
    .CompareStrings = CompareStrings,
    .FindObject = FindObject,
    .RegisterObjectKind = RegisterObjectKind,
    .GetUtf8Mode = GetUtf8Mode,
    .IsQuiet = IsQuiet,
    .GetStartupOption = GetStartupOption,
    .IsPluginStartupPhase = IsPluginStartupPhase,
};

const cxApiFiles kApiFiles = {
    .OpenFileStream = OpenFileStream,
    .CloseFileStream = CloseFileStream,
    .SeekFileStream = SeekFileStream,
    .ReadStreamData = ReadStreamData,
    .WriteStream = WriteStream,
    .ReadStreamByte = ReadStreamByte,
    .WriteStreamByte = WriteStreamByte,
    .IsStreamEof = IsStreamEof,
    .GetStreamSize = GetStreamSize,
    .FlushStream = FlushStream,
    .GetStreamAdapterFlags = GetStreamAdapterFlags,
    .ReadStream = ReadStream,
    .WriteStreamData = WriteStreamData,
    .ReadBE32 = ReadBE32,
    .ReadLE32 = ReadLE32,
    .WriteBE32 = WriteBE32,
    .WriteLE32 = WriteLE32,
    .DeleteFile = DeleteFile,
    .MakeDirectory = MakeDirectory,
    .RenameFile = RenameFile,
    .ExaminePath = ExaminePath,
    .LockPath = LockPath,
    .UnlockPath = UnlockPath,
    .ExamineLock = ExamineLock,
    .NextLockEntry = NextLockEntry,
    .GetLockPath = GetLockPath,
    .GetCurrentDir = GetCurrentDir,
    .MakeTempFile = MakeTempFile,
    .AddPart = AddPart,
    .FilePart = FilePart,
    .MakeChunkName = MakeChunkName,
    .IsChunkName = IsChunkName,
    .ResolveLinkedFile = ResolveLinkedFile,
    .ReadWholeFile = ReadWholeFile,
    .CopyFile = CopyFile,
    .GetAdapterName = GetAdapterName,
};

const cxApiGraphics kApiGraphics = {
    .LoadImage = LoadImage,
    .LoadScaledImage = LoadScaledImage,
    .GetImagePixels = GetImageHandlePixels,
    .FreeImage = ReleaseImageHandle,
    .GetImageSize = GetImageHandleSize,
    .AllocImage = AllocImageHandle,
    .RetainImage = RetainImageHandle,
    .LockBitMap = LockBitMap,
    .UnLockBitMap = UnLockBitMap,
    .GetBitMapAttr = GetBitMapAttr,
    .AllocBitMap = AllocBitMap,
    .FreeBitMap = FreeBitMap,
    .GetBrushBitmaps = GetBrushBitmaps,
    .GetBrushARGB = GetBrushARGB,
    .CreateBrushFromARGB = CreateBrushFromARGB,
    .FindDisplay = PluginFindDisplay,
    .GetCurrentDisplay = PluginGetCurrentDisplay,
    .ConvertToPixel = ConvertToPixel,
    .ConvertFromPixel = ConvertFromPixel,
    .ConvertPixels = ConvertPixels,
    .BlitBitMap = BlitBitMap,
    .RectFill = RectFill,
    .Line = Line,
    .WritePixel = WritePixel,
    .ReadPixel = ReadPixel,
    .FillPolygon = FillPolygon,
    .ScalePixels = ScalePixels,
    .ScalePixelsAlloc = ScalePixelsAlloc,
    .GetIconImages = GetIconImages,
    .FreeIconImages = FreeIconImages,
    .GetIconImage = GetIconImage,
    .GetAppIconList = GetAppIconList,
    .GetDefaultPixelFormat = GetDefaultPixelFormat,
    .GetPixelFormatBytes = GetPixelFormatBytes,
    .WrapImage = WrapImage,
    .GetOverridePixels = GetOverridePixels,
};

const cxApiAudio kApiAudio = {
    .ReplaceSampleData = ApiReplaceSampleData,
    .OpenSoundStream = ApiOpenSoundStream,
    .ReadSoundStream = ApiReadSoundStream,
};

const cxApiRequesters kApiRequesters = {
    .SystemRequest = SystemRequest,
    .FileRequest = FileRequest,
    .PathRequest = PathRequest,
    .RequesterHook = RequesterHook,
};

const cxApiFonts kApiFonts = {
    .OpenFont = OpenFont,
};

const cxApiPluginList kApiPluginList = {
    .GetFirstPlugin = GetOpenedPluginNodes,
    .GetNextPlugin = GetNextPlugin,
    .GetNodePlugin = GetNodePlugin,
    .GetNodeCapabilities = GetNodeCapabilities,
    .GetNodePath = GetNodePath,
};

const cxApiDigest kApiDigest = {
    .Base64Encode = Base64Encode,
    .Base64Decode = Base64Decode,
    .Crc32 = Crc32,
    .Md5 = Md5,
};

const cxApiUnicode kApiUnicode = {
    .Utf8Length = Utf8Length,
    .CompareNoCase = Utf8CompareNoCase,
    .NCompareNoCase = NCompareNoCase,
    .ToLower = UnicodeToLower,
    .ToUpper = UnicodeToUpper,
    .IsAlNum = IsUnicodeAlNum,
    .IsAlpha = IsUnicodeAlpha,
    .IsCntrl = IsUnicodeCntrl,
    .IsDigit = IsUnicodeDigit,
    .IsGraph = IsUnicodeGraph,
    .IsLower = IsUnicodeLower,
    .IsPrint = IsUnicodePrint,
    .IsPunct = IsUnicodePunct,
    .IsSpace = IsUnicodeSpace,
    .IsXDigit = IsUnicodeXDigit,
    .IsUpper = IsUnicodeUpper,
    .Validate = Validate,
    .CharToByteOffset = Utf8CharToByteOffset,
    .ByteToCharOffset = Utf8ByteToCharOffset,
    .NextChar = Utf8NextChar,
    .EncodeChar = Utf8EncodeChar,
};

const cxApiLocale kApiLocale = {
    .GetLanguage = GetLanguage,
    .GetCountry = GetCountry,
    .GetTimeZoneOffset = GetTimeZoneOffset,
};
