/* An audio adapter for tests: "testaudio". It registers itself with 1,024
   buffer frames and 4 channels, and a thread of its own pulls every
   allocated channel at simulated real time (rate / 100 frames every 10
   ms), keeping what it got. It logs every allocation, attribute tag and
   free; TestAudioLog() copies the log for the test, TestAudioData(n) the
   bytes channel handle n received. */
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "include/calyxtone/cxplugin.h"

#define MAX_CHANNELS 16

typedef struct {
    int used;
    int format, rate, volume;
    struct cxAudioChannel *channel;
    unsigned char *data;
    size_t size, capacity;
    double owed; /* frames due but not yet pulled */
} Channel;

static const cxPluginApi *api;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_t thread;
static int running, quitting;
static Channel channels[MAX_CHANNELS];
static char logText[65536];
static int opened;

static void Log(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Log(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    size_t used = strlen(logText);
    vsnprintf(logText + used, sizeof logText - used, format, ap);
    va_end(ap);
}

static int BytesPerFrame(int format) {
    static const int bytes[] = {1, 2, 1, 2, 2, 4};
    return format >= 0 && format <= 5 ? bytes[format] : 4;
}

static void *Pull(void *unused) {
    (void)unused;
    unsigned char buffer[65536];
    for (;;) {
        struct timespec ts = {0, 10 * 1000 * 1000};
        nanosleep(&ts, 0);
        pthread_mutex_lock(&lock);
        if (quitting) {
            pthread_mutex_unlock(&lock);
            return 0;
        }
        for (int i = 0; i < MAX_CHANNELS; i++) {
            Channel *c = &channels[i];
            if (!c->used) continue;
            const int bpf = BytesPerFrame(c->format);
            c->owed += c->rate / 100.0;
            int frames = (int)c->owed;
            if (frames > (int)(sizeof buffer / (size_t)bpf)) frames = (int)(sizeof buffer / (size_t)bpf);
            c->owed -= frames;
            const int32_t got = c->channel->Fill(0, 0, buffer, frames, c->channel);
            if (got <= 0) continue;
            const size_t bytes = (size_t)got * (size_t)bpf;
            if (c->size + bytes > c->capacity) {
                c->capacity = (c->size + bytes) * 2;
                c->data = realloc(c->data, c->capacity);
            }
            memcpy(c->data + c->size, buffer, bytes);
            c->size += bytes;
        }
        pthread_mutex_unlock(&lock);
    }
}

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *a, const char *path) {
    (void)path;
    api = a;
    p->capabilities = CX_CAP_AUDIOADAPTER;
    p->version = 1;
    p->name = "Test audio";
    p->moduleName = "testaudio";
    p->author = p->description = p->copyright = p->url = p->date = p->helpReference = "";
    const cxTagItem tags[] = {{1, 1024}, {2, 4}, {0, 0}};
    return api->system->RegisterAudioAdapter(p, 0, tags) == 0;
}

CX_PLUGIN_EXPORT void ClosePlugin(void) {}

CX_PLUGIN_EXPORT void *OpenAudio(uint32_t flags, const cxTagItem *tags) {
    (void)flags, (void)tags;
    pthread_mutex_lock(&lock);
    quitting = 0;
    opened++;
    Log("open\n");
    pthread_mutex_unlock(&lock);
    if (!running && pthread_create(&thread, 0, Pull, 0) == 0) running = 1;
    return &opened;
}

CX_PLUGIN_EXPORT void CloseAudio(void *audio) {
    (void)audio;
    pthread_mutex_lock(&lock);
    quitting = 1;
    Log("close\n");
    pthread_mutex_unlock(&lock);
    if (running) pthread_join(thread, 0);
    running = 0;
    for (int i = 0; i < MAX_CHANNELS; i++) {
        free(channels[i].data);
        memset(&channels[i], 0, sizeof channels[i]);
    }
}

CX_PLUGIN_EXPORT void *AllocAudioChannel(void *audio, int format, int rate, int volume, struct cxAudioChannel *ch) {
    (void)audio;
    pthread_mutex_lock(&lock);
    void *handle = 0;
    for (int i = 0; i < MAX_CHANNELS && !handle; i++) {
        Channel *c = &channels[i];
        if (c->used) continue;
        free(c->data);
        memset(c, 0, sizeof *c);
        c->used = 1;
        c->format = format;
        c->rate = rate;
        c->volume = volume;
        c->channel = ch;
        handle = (void *)(intptr_t)(i + 1);
        Log("alloc %d format %d rate %d volume %d\n", i + 1, format, rate, volume);
    }
    pthread_mutex_unlock(&lock);
    return handle;
}

CX_PLUGIN_EXPORT void FreeAudioChannel(void *audio, void *handle) {
    (void)audio;
    pthread_mutex_lock(&lock);
    const intptr_t n = (intptr_t)handle;
    if (n >= 1 && n <= MAX_CHANNELS) channels[n - 1].used = 0;
    Log("free %d\n", (int)n);
    pthread_mutex_unlock(&lock);
}

CX_PLUGIN_EXPORT int SetChannelAttributes(void *audio, void *handle, const cxTagItem *tags) {
    (void)audio;
    pthread_mutex_lock(&lock);
    Log("attributes %d", (int)(intptr_t)handle);
    for (const cxTagItem *t = tags; t && t->tag; t++) Log(" %d=%d", (int)t->tag, (int)t->data);
    Log("\n");
    pthread_mutex_unlock(&lock);
    return 1;
}

/* For the test. */
CX_PLUGIN_EXPORT void TestAudioLog(char *out, size_t size) {
    pthread_mutex_lock(&lock);
    snprintf(out, size, "%s", logText);
    pthread_mutex_unlock(&lock);
}
CX_PLUGIN_EXPORT void TestAudioClearLog(void) {
    pthread_mutex_lock(&lock);
    logText[0] = 0;
    pthread_mutex_unlock(&lock);
}
CX_PLUGIN_EXPORT size_t TestAudioData(int handle, unsigned char *out, size_t size) {
    pthread_mutex_lock(&lock);
    size_t n = 0;
    if (handle >= 1 && handle <= MAX_CHANNELS) {
        const Channel *c = &channels[handle - 1];
        n = c->size < size ? c->size : size;
        if (out) memcpy(out, c->data, n);
        else n = c->size;
    }
    pthread_mutex_unlock(&lock);
    return n;
}
