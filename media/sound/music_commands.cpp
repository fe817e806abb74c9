// The music commands of the "sound" library: music streamed from files,
// Protracker modules (the same commands under their second names) and
// music a script feeds itself from its "FillMusicBuffer" handler.
#include <cstdlib>
#include <cstring>

#include "display/events/dispatcher.h"
#include "display/events/event_pump.h"
#include "display/events/event_sources.h"
#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "media/sound/audio_engine.h"
#include "media/sound/protracker.h"
#include "media/sound/sound_internal.h"
#include "platform/os_time.h"
#include "platform/os_timers.h"

namespace {

cxMusic *MusicArg(lua_State *L, int index, int *err) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    cxMusic *m = nullptr;
    *err = FindMusic(id, &m);
    return m;
}

// The music an optional first argument names, or the one that plays (or
// is paused, for ResumeMusic).
cxMusic *MusicOrCurrent(lua_State *L, cxMusic *current, int *err) {
    *err = 0;
    if (lua_gettop(L) >= 1 && !lua_isnil(L, 1)) return MusicArg(L, 1, err);
    if (!current) *err = ERR_WRONGUSAGE;
    return current;
}

bool AnyOtherCallbackMusicPlays(const cxMusic *except) {
    for (cxObjectHeader *h = SoundState().music.first; h; h = h->next) {
        auto *m = reinterpret_cast<cxMusic *>(h);
        if (m != except && m->callback && m->state == CX_MUSIC_PLAYING) return true;
    }
    return false;
}

void ReleaseTickIfIdle(const cxMusic *m) {
    cxSoundState &st = SoundState();
    if (m->callback && st.tickClaimed && !AnyOtherCallbackMusicPlays(m)) {
        OsReleaseTickInterval(nullptr, 0);
        st.tickClaimed = false;
    }
}

void SetMusicInCallback(int on) {
    cxSoundState &st = SoundState();
    st.inCallback = on != 0;
    st.callbackMusic = on ? st.askedMusic : nullptr;
    if (!on) st.askedMusic = nullptr;
}

// Calls the handler for m; m stays alive meanwhile.
int AskHandler(lua_State *L, cxMusic *m, uint32_t frames) {
    cxSoundState &st = SoundState();
    st.askedMusic = m;
    const int err = CallFillMusicBufferHandler(L, nullptr, GetObjectID(&m->header), frames, 0, 1);
    st.askedMusic = nullptr;
    return err;
}

uint32_t MusicDuration(cxMusic *m) {
    const int64_t d = GetMusicAttribute(CX_MATTR_DURATION, int(m->sourceKind), m->source, nullptr);
    return d < 0 ? 0 : uint32_t(d);
}

int StartWith(lua_State *L, cxMusic *m, uint32_t times, uint32_t volume, uint32_t channel) {
    if (SoundState().inCallback) return ERR_NOCALLBACK;
    const int index = channel ? int(channel) - 1 : -1;
    if (int err = StartMusicChannel(L, int(m->sourceKind), m->source, GetObjectID(&m->header), times, m->pass, volume,
                                    index, m))
        return err;
    cxSoundState &st = SoundState();
    st.paused = nullptr;
    st.playing = m;
    m->times = times;
    m->volume = volume;
    m->channel = channel;
    if (m->callback && !st.tickClaimed && !AnyOtherCallbackMusicPlays(m)) {
        if (OsAcquireTickInterval(L, 0) == 0) st.tickClaimed = true;
    }
    m->state = CX_MUSIC_PLAYING;
    return 0;
}

int ReadTimesOptions(lua_State *L, int index, uint32_t *times, uint32_t *volume, uint32_t *channel) {
    if (lua_gettop(L) < index || lua_isnil(L, index)) return 0;
    if (lua_type(L, index) == LUA_TTABLE) {
        double v = 0;
        if (GetTableNumberOrPercent(L, index, "volume", 64, 0, &v, nullptr, nullptr))
            *volume = v <= 0 ? 0 : (v >= 64 ? 64 : uint32_t(v));
        int t = 0;
        if (GetTableInt(L, index, "times", &t, nullptr)) {
            if (t < 0) return ERR_WRONGUSAGE;
            *times = uint32_t(t);
        }
        int c = 0;
        if (GetTableInt(L, index, "channel", &c, nullptr)) {
            if (c < 0) return ERR_CHANNELRANGE;
            *channel = uint32_t(c);
        }
        return 0;
    }
    const double t = luaL_checknumber(L, index);
    if (t < 0) return ERR_WRONGUSAGE;
    *times = t > 4294967295.0 ? 0xFFFFFFFFu : uint32_t(t);
    return 0;
}

int QueueSilence(cxMusic *m, uint32_t frames) {
    auto *s = static_cast<cxSoundStream *>(m->source);
    const size_t bytes = size_t(frames) * s->bytesPerFrame;
    auto *data = static_cast<unsigned char *>(malloc(bytes ? bytes : 1));
    if (!data) return ERR_MEM;
    memset(data, s->bits == 8 ? 128 : 0, bytes);
    return QueueCustomBlock(s, data, frames);
}

}  // namespace

int FindMusic(cxObjectID id, cxMusic **out) {
    cxObjectHeader *h = nullptr;
    int err = FindObject(&SoundState().music, id, &h);
    *out = reinterpret_cast<cxMusic *>(h);
    return err;
}

void FreeMusicRecord(lua_State *L, cxMusic *m) {
    if (m->state != CX_MUSIC_STOPPED) {
        const bool in = SoundState().inCallback;
        SoundState().inCallback = false;
        StopMusicObject(L, m, 0);
        SoundState().inCallback = in;
    }
    cxSoundState &st = SoundState();
    if (st.playing == m) st.playing = nullptr;
    if (st.paused == m) st.paused = nullptr;
    RemoveObject(&st.music, &m->header);
    FreeMusicSource(int(m->sourceKind), m->source);
    FreeObjectDataList(L, m->header.data);
    free(m->fileName);
    free(m);
}

void FreeAllMusic(lua_State *L) {
    while (cxObjectHeader *h = SoundState().music.first) FreeMusicRecord(L, reinterpret_cast<cxMusic *>(h));
}

int StopMusicObject(lua_State *L, cxMusic *m, int pause) {
    (void)L;
    cxSoundState &st = SoundState();
    if (st.inCallback) return ERR_NOCALLBACK;
    uint32_t pass = 1, position = 0;
    StopMusicSource(int(m->sourceKind), m->source, pause, &pass, &position);
    const bool wasPlaying = m->state == CX_MUSIC_PLAYING;
    if (pause) {
        if (wasPlaying) {
            m->pass = pass;
            m->position = position;
            m->state = CX_MUSIC_PAUSED;
            st.paused = m;
        }
        if (st.playing == m) st.playing = nullptr;
    } else {
        m->position = 0;
        m->channel = 0;
        m->pass = 1;
        m->state = CX_MUSIC_STOPPED;
        if (st.playing == m) st.playing = nullptr;
        if (st.paused == m) st.paused = nullptr;
    }
    if (wasPlaying) ReleaseTickIfIdle(m);
    return 0;
}

int StartMusicObject(lua_State *L, cxMusic *m) { return StartWith(L, m, m->times, m->volume, m->channel); }

void OnMusicChannelEnded(void *owner) {
    cxSoundState &st = SoundState();
    for (cxObjectHeader *h = st.music.first; h; h = h->next) {
        auto *m = reinterpret_cast<cxMusic *>(h);
        if (m != owner) continue;
        const bool wasPlaying = m->state == CX_MUSIC_PLAYING;
        m->state = CX_MUSIC_STOPPED;
        m->pass = 1;
        m->position = 0;
        m->channel = 0;
        if (st.playing == m) st.playing = nullptr;
        if (m->sourceKind == CX_MUSIC_STREAM) {
            auto *s = static_cast<cxSoundStream *>(m->source);
            if (s->type == CX_SST_CUSTOM) {
                ClearCustomBlocks(s);
                s->firstFillPending = 1;
            }
        }
        if (wasPlaying) ReleaseTickIfIdle(m);
        return;
    }
}

int RequestMusicFill(lua_State *L, void *owner, uint32_t frames) {
    auto *m = static_cast<cxMusic *>(owner);
    if (!m || !m->callback) return 0;
    if (!GetGlobalHandler(CX_GSLOT_FILLMUSICBUFFER) || GetGlobalHandler(CX_GSLOT_FILLMUSICBUFFER)->function == -1)
        return ERR_NOFMBHANDLER;
    return AskHandler(L, m, frames);
}

uint32_t FindMusicToFill(cxObjectID *id, uint32_t *position) {
    for (cxObjectHeader *h = SoundState().music.first; h; h = h->next) {
        auto *m = reinterpret_cast<cxMusic *>(h);
        if (!m->callback || m->state != CX_MUSIC_PLAYING) continue;
        auto *s = static_cast<cxSoundStream *>(m->source);
        const uint32_t queued = GetUnconsumedFrames(s);
        if (queued >= s->rate) continue;
        *id = GetObjectID(&m->header);
        *position = s->queuedFrames.load();
        SoundState().askedMusic = m;
        return s->rate - queued;
    }
    return 0;
}

void InstallMusicFillSource(void) { SetMusicFillSource(FindMusicToFill, SetMusicInCallback); }

// ---- commands ----

int OpenMusicCmd(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    char loaders[256] = "", adapters[256] = "";
    if (lua_gettop(L) >= 3 && !lua_isnil(L, 3)) {
        luaL_checktable(L, 3);
        GetTableString(L, 3, "loader", loaders, sizeof loaders, nullptr);
        GetTableString(L, 3, "adapter", adapters, sizeof adapters, nullptr);
    }
    if (SoundOff()) return 0;
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(&SoundState().music, cxObjectID{id.value, nullptr}))
            FreeMusicRecord(L, reinterpret_cast<cxMusic *>(old));
    }
    if (int r = EnsureAudio(L)) return r < 0 ? 0 : r;
    PrintStatusMessage("Loading music %s", file, 1);
    int kind = 0;
    void *source = nullptr;
    uint32_t seekable = 0, subsongs = 1;
    uintptr_t loader = 0;
    if (int err = OpenMusicSource(file, loaders, adapters, 0, &kind, &source, &seekable, &subsongs, &loader)) return err;
    auto *m = static_cast<cxMusic *>(calloc(1, sizeof(cxMusic)));
    char *name = strdup(file);
    if (!m || !name) {
        free(m);
        free(name);
        FreeMusicSource(kind, source);
        return ERR_MEM;
    }
    InitObjectHeader(&m->header, CX_OBJ_MUSIC, id.value, id.wasNil);
    m->fileName = name;
    m->source = source;
    m->sourceKind = uint32_t(kind);
    m->volume = 64;
    m->times = 1;
    m->pass = 1;
    m->seekable = seekable;
    m->subsongCount = subsongs ? subsongs : 1;
    m->currentSubsong = 1;
    m->loader = loader;
    snprintf(m->adapters, sizeof m->adapters, "%s", adapters);
    AddObject(&SoundState().music, &m->header);
    PrintDoneMessage();
    return id.wasNil ? PushObjectID(L, GetObjectID(&m->header)) : 0;
}

int CloseMusicCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicArg(L, 1, &err);
    if (err) return err;
    const cxSoundState &st = SoundState();
    if (st.inCallback && (m == st.callbackMusic || (m->callback && m->state == CX_MUSIC_PLAYING))) return ERR_NOCALLBACK;
    if (m->state != CX_MUSIC_STOPPED)
        if (int e = StopMusicObject(L, m, 0)) return e;
    FreeMusicRecord(L, m);
    return 0;
}

int PlayMusicCmd(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicArg(L, 1, &err);
    if (err) return err;
    cxSoundState &st = SoundState();
    if ((LegacyControl("singlemusic", -1) == 1 || !AppletVersionAtLeast(6, 0)) && st.playing && !st.inCallback)
        if (int e = StopMusicObject(L, st.playing, 0)) return e;
    if (m->state == CX_MUSIC_PLAYING) return ERR_MUSPLAYING;
    if (m->state == CX_MUSIC_PAUSED) return ERR_MUSPAUSED;
    uint32_t times = 1, volume = m->volume, channel = 0;
    if (int e = ReadTimesOptions(L, 2, &times, &volume, &channel)) return e;
    if (st.inCallback) return ERR_NOCALLBACK;
    return StartWith(L, m, times, volume, channel);
}

int StopMusicCmd(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicOrCurrent(L, SoundState().playing, &err);
    if (err) return err;
    return StopMusicObject(L, m, 0);
}

int PauseMusicCmd(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicOrCurrent(L, SoundState().playing, &err);
    if (err) return err;
    return StopMusicObject(L, m, 1);
}

int ResumeMusicCmd(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicOrCurrent(L, SoundState().paused, &err);
    if (err) return err;
    if (m->state != CX_MUSIC_PAUSED) return ERR_MUSNOTPAUSED;
    return StartMusicObject(L, m);
}

int SeekMusicCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicArg(L, 1, &err);
    if (err) return err;
    const double ms = luaL_checknumber(L, 2);
    if (!m->seekable || m->sourceKind != CX_MUSIC_STREAM) return ERR_SEEKFORMAT;
    if (ms < 0 || ms >= double(MusicDuration(m))) return ERR_SEEKRANGE;
    auto *s = static_cast<cxSoundStream *>(m->source);
    const bool playing = m->state == CX_MUSIC_PLAYING;
    if (playing)
        if (int e = StopMusicObject(L, m, 1)) return e;
    SeekStreamMs(s, uint32_t(ms));
    m->position = s->position;
    if (playing) return StartMusicObject(L, m);
    return 0;
}

int SetMusicVolumeCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicArg(L, 1, &err);
    if (err) return err;
    const double v = GetNumberOrPercentArg(L, 2, 64, 0, nullptr);
    m->volume = v <= 0 ? 0 : (v >= 64 ? 64 : uint32_t(v));
    SetSourceVolume(int(m->sourceKind), m->source, m->volume, -1);
    return 0;
}

int IsMusicCmd(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *file = GetFileNameArg(L, 1, 0, nullptr);
    char loaders[256] = "", adapters[256] = "";
    if (lua_gettop(L) >= 2 && !lua_isnil(L, 2)) {
        luaL_checktable(L, 2);
        GetTableString(L, 2, "loader", loaders, sizeof loaders, nullptr);
        GetTableString(L, 2, "adapter", adapters, sizeof adapters, nullptr);
    }
    const char *name = "Unknown";
    const int ok = ProbeMusicFormat(file, loaders, adapters, &name);
    lua_pushboolean(L, ok);
    lua_pushstring(L, name);
    return 2;
}

int IsMusicPlayingCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err = 0;
    cxMusic *m = MusicArg(L, 1, &err);
    if (err) return err;
    ReleaseFinishedChannels();
    lua_pushboolean(L, m->state == CX_MUSIC_PLAYING);
    return 1;
}

int PlaySubsongCmd(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    if (SoundOff()) return 0;
    const int n = int(luaL_checknumber(L, 1));
    cxMusic *m = nullptr;
    int err = 0;
    if (lua_gettop(L) >= 2) m = MusicArg(L, 2, &err);
    else if (!(m = SoundState().playing)) err = ERR_WRONGUSAGE;
    if (err) return err;
    if (m->sourceKind == CX_MUSIC_MODULE) {
        QueryModulePosition(0, static_cast<cxModulePlayer *>(m->source), 0, n);
    } else {
        if (n < 1 || uint32_t(n) > m->subsongCount) return ERR_WRONGUSAGE;
        if (uint32_t(n) == m->currentSubsong) {
            if (int e = StopMusicObject(L, m, 0)) return e;
        } else {
            if (m->state != CX_MUSIC_STOPPED)
                if (int e = StopMusicObject(L, m, 0)) return e;
            // The same loader, asked for the other subsong.
            const char *loader = GetLoaderName(m->loader);
            int kind = 0;
            void *source = nullptr;
            uint32_t seekable = 0, subsongs = 1;
            uintptr_t used = 0;
            if (int e = OpenMusicSource(m->fileName, loader, m->adapters, n - 1, &kind, &source, &seekable, &subsongs, &used))
                return e;
            FreeMusicSource(int(m->sourceKind), m->source);
            m->source = source;
            m->sourceKind = uint32_t(kind);
            m->seekable = seekable;
            m->subsongCount = subsongs ? subsongs : 1;
            m->currentSubsong = uint32_t(n);
            m->pass = 1;
            m->position = 0;
        }
    }
    if (m->state == CX_MUSIC_STOPPED) return StartWith(L, m, 1, m->volume, 0);
    if (m->state == CX_MUSIC_PAUSED) return StartMusicObject(L, m);
    return 0;
}

namespace {

int PlayingModuleQuery(int query) {
    cxMusic *m = SoundState().playing;
    if (!m || m->sourceKind != CX_MUSIC_MODULE || m->state != CX_MUSIC_PLAYING) return -1;
    return QueryModulePosition(1, static_cast<cxModulePlayer *>(m->source), query, 0);
}

int WaitModule(lua_State *L, int query) {
    CheckArgCount(L, 1, 1, 0, 0);
    const int want = int(luaL_checknumber(L, 1));
    for (;;) {
        // Nothing to wait for without a module that plays.
        const int at = PlayingModuleQuery(query);
        if (at < 0 || at == want) return 0;
        int code = 0;
        if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) return code ? code : ERR_USERABORT;
        OsDelayMs(10);
    }
}

}  // namespace

int GetSongPositionCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, PlayingModuleQuery(2));
    return 1;
}

int GetPatternPositionCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, PlayingModuleQuery(1));
    return 1;
}

int WaitSongPositionCmd(lua_State *L) { return WaitModule(L, 2); }
int WaitPatternPositionCmd(lua_State *L) { return WaitModule(L, 1); }

int CreateMusicCmd(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const double pitch = luaL_checknumber(L, 2);
    const int format = int(luaL_checknumber(L, 3));
    cxSoundState &st = SoundState();
    if (st.inCallback) return ERR_NOCALLBACK;
    if (GetGlobalHandler(CX_GSLOT_FILLMUSICBUFFER)->function == -1) return ERR_NOFMBHANDLER;
    const int code = ScriptFormatToCode(format);
    if (code < 0) return ERR_WRONGUSAGE;
    if (!(pitch >= 256) || pitch > 1e7) return ERR_LOWFREQ;
    if (SoundOff()) return 0;
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(&st.music, cxObjectID{id.value, nullptr}))
            FreeMusicRecord(L, reinterpret_cast<cxMusic *>(old));
    }
    if (int r = EnsureAudio(L)) return r < 0 ? 0 : r;
    auto *m = static_cast<cxMusic *>(calloc(1, sizeof(cxMusic)));
    if (!m) return ERR_MEM;
    int kind = 0;
    cxSoundStream *s = nullptr;
    if (int err = CreateCustomStream(m, uint32_t(pitch), code, &kind, &s)) {
        free(m);
        return err;
    }
    InitObjectHeader(&m->header, CX_OBJ_MUSIC, id.value, id.wasNil);
    m->source = s;
    m->sourceKind = uint32_t(kind);
    m->volume = 64;
    m->times = 1;
    m->pass = 1;
    m->subsongCount = 1;
    m->currentSubsong = 1;
    m->callback = 1;
    AddObject(&st.music, &m->header);
    const cxObjectID made = GetObjectID(&m->header);
    if (int err = AskHandler(L, m, 2 * uint32_t(pitch))) return err;
    return id.wasNil ? PushObjectID(L, made) : 0;
}

int FillMusicBufferCmd(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    if (!SoundState().inCallback) return ERR_NOMUSICCB;
    int err = 0;
    cxMusic *m = MusicArg(L, 1, &err);
    if (err) return err;
    if (!m->callback) return ERR_WRONGUSAGE;
    const char *type = luaL_checklstring(L, 2, nullptr);
    const double countArg = luaL_checknumber(L, 3);
    if (countArg < 0 || countArg > 0x7FFFFFFF) return ERR_WRONGUSAGE;
    uint32_t count = uint32_t(countArg);
    auto *s = static_cast<cxSoundStream *>(m->source);
    const uint32_t bpf = s->bytesPerFrame;
    if (!StrCompareNoCase(type, "end")) return QueueCustomBlock(s, nullptr, 0);
    if (!StrCompareNoCase(type, "mute")) return QueueSilence(m, count);
    const int data = lua_gettop(L) >= 4 ? 4 : 0;
    if (!StrCompareNoCase(type, "pcm")) {
        if (!data || lua_type(L, data) != LUA_TTABLE) return ERR_WRONGUSAGE;
        lua_pushstring(L, "data");
        lua_gettable(L, data);
        if (lua_type(L, -1) != LUA_TTABLE) return ERR_WRONGUSAGE;
        const int values = lua_gettop(L);
        if (uint64_t(count) * bpf > 0x7FFFFFFFu) return ERR_MEM;
        auto *block = static_cast<unsigned char *>(malloc(size_t(count) * bpf + 1));
        if (!block) return ERR_MEM;
        const bool is16 = s->bits == 16;
        uint32_t stored = 0;
        bool bad = false;
        for (; stored < count && !bad; stored++) {
            for (uint32_t c = 0; c < s->channels; c++) {
                lua_rawgeti(L, values, int(stored * s->channels + c));
                if (lua_type(L, -1) != LUA_TNUMBER) {
                    lua_pop(L, 1);
                    bad = true;
                    break;
                }
                double v = lua_tonumber(L, -1);
                lua_pop(L, 1);
                // Values beyond the format's range are clamped.
                unsigned char *p = block + size_t(stored) * bpf;
                if (is16) {
                    const int32_t x = v < -32768 ? -32768 : (v > 32767 ? 32767 : int32_t(v));
                    const uint16_t u = uint16_t(int16_t(x));
                    p[c * 2] = uint8_t(u);
                    p[c * 2 + 1] = uint8_t(u >> 8);
                } else {
                    const int32_t x = v < -128 ? -128 : (v > 127 ? 127 : int32_t(v));
                    p[c] = uint8_t(x + 128);
                }
            }
        }
        if (bad) {
            free(block);
            return ERR_NUMCALLBACK;
        }
        if (stored == 0) {
            free(block);
            return QueueSilence(m, 1);
        }
        return QueueCustomBlock(s, block, stored);
    }
    if (!StrCompareNoCase(type, "sample")) {
        if (!data || lua_type(L, data) != LUA_TTABLE) return ERR_WRONGUSAGE;
        cxObjectID sid{0, nullptr};
        if (!GetTableObjectID(L, data, "id", &sid, nullptr)) return ERR_WRONGUSAGE;
        cxSample *smp = nullptr;
        if (int e = FindSample(sid, &smp)) return e;
        if (uint64_t(count) * bpf > 0x7FFFFFFFu) return ERR_MEM;
        auto *block = static_cast<unsigned char *>(malloc(size_t(count) * bpf + 1));
        if (!block) return ERR_MEM;
        if (int e = ConvertSampleFrames(L, data, smp->data, block, count, s->formatCode, s->flags)) {
            free(block);
            return e;
        }
        int freeIt = 0;
        GetTableTruth(L, data, "free", &freeIt, nullptr);
        if (freeIt) FreeSampleRecord(L, smp);
        return QueueCustomBlock(s, block, count);
    }
    return ERR_WRONGUSAGE;
}

int FlushMusicBufferCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxMusic *m = MusicArg(L, 1, &err);
    if (err) return err;
    if (!m->callback || m->state != CX_MUSIC_PLAYING) return ERR_WRONGUSAGE;
    const uint32_t volume = m->volume, channel = m->channel, times = m->times;
    if (int e = StopMusicObject(L, m, 0)) return e;
    return StartWith(L, m, times, volume, channel);
}
