// The "sound" library: its table and constants, the shared sound state,
// the audio control and channel commands, the settings listener, the
// attribute provider, the plug-in services and the clean-ups.
#include "media/sound/sound_library.h"

#include <cstdlib>
#include <cstring>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "media/sound/audio_engine.h"
#include "media/sound/sound_internal.h"
#include "media/sound/video_sound.h"
#include "platform/alsa/os_alsa.h"
#include "platform/os_timers.h"
#include "window/x11/os_display.h"

namespace {

cxSoundState g_stateRecord;
cxSoundState *const g_state = &g_stateRecord;
cxPluginSampleSaver g_sampleSaver = nullptr;

int ChannelArg(lua_State *L, int index) { return int(luaL_checknumber(L, index)) - 1; }

int OpenAudioNow(lua_State *L) {
    cxSoundState &st = SoundState();
    if (st.noSound || st.audioOpen) return 0;
    const int err = OpenAudioEngine(L, st.device.c_str());
    if (!err) {
        st.audioOpen = true;
        st.audioFailed = false;
        return 0;
    }
    st.audioFailed = true;
    return st.forceSound ? err : -1;
}

int OpenAudioCmdImpl(lua_State *L) {
    const int r = OpenAudioNow(L);
    return r > 0 ? r : 0;
}

cxMusic *MusicOfChannel(const cxAudioChannel *ch) {
    for (cxObjectHeader *h = SoundState().music.first; h; h = h->next)
        if (h == ch->owner) return reinterpret_cast<cxMusic *>(h);
    return nullptr;
}

cxSample *SampleOfData(const cxSampleData *d) {
    for (cxObjectHeader *h = SoundState().samples.first; h; h = h->next)
        if (reinterpret_cast<cxSample *>(h)->data == d) return reinterpret_cast<cxSample *>(h);
    return nullptr;
}

const luaL_reg kCommands[] = {
    {"FreeSample", FreeSampleCmd},
    {"LoadSample", LoadSampleCmd},
    {"IsSound", IsSoundCmd},
    {"GetPatternPosition", GetPatternPositionCmd},
    {"GetSongPosition", GetSongPositionCmd},
    {"PlaySubsong", PlaySubsongCmd},
    {"WaitPatternPosition", WaitPatternPositionCmd},
    {"WaitSongPosition", WaitSongPositionCmd},
    {"WaitSampleEnd", WaitSampleEndCmd},
    {"IsSamplePlaying", IsSamplePlayingCmd},
    {"SetVolume", SetVolumeCmd},
    {"SetPitch", SetPitchCmd},
    {"SetPanning", SetPanningCmd},
    {"StopSample", StopSampleCmd},
    {"PlaySample", PlaySampleCmd},
    {"SetMasterVolume", SetMasterVolumeCmd},
    {"IsSample", IsSampleCmd},
    {"CreateSample", CreateSampleCmd},
    {"OpenMusic", OpenMusicCmd},
    {"CloseMusic", CloseMusicCmd},
    {"PlayMusic", PlayMusicCmd},
    {"StopMusic", StopMusicCmd},
    {"PauseMusic", PauseMusicCmd},
    {"ResumeMusic", ResumeMusicCmd},
    {"SeekMusic", SeekMusicCmd},
    {"SetMusicVolume", SetMusicVolumeCmd},
    {"IsMusic", IsMusicCmd},
    {"IsMusicPlaying", IsMusicPlayingCmd},
    {"PlayModule", PlayMusicCmd},
    {"StopModule", StopMusicCmd},
    {"PauseModule", PauseMusicCmd},
    {"ResumeModule", ResumeMusicCmd},
    {"LoadModule", OpenMusicCmd},
    {"FreeModule", CloseMusicCmd},
    {"IsModule", IsMusicCmd},
    {"SaveSample", SaveSampleCmd},
    {"GetSampleData", GetSampleDataCmd},
    {"CreateMusic", CreateMusicCmd},
    {"FillMusicBuffer", FillMusicBufferCmd},
    {"MixSample", MixSampleCmd},
    {"CopySample", CopySampleCmd},
    {"InsertSample", InsertSampleCmd},
    {"FlushMusicBuffer", FlushMusicBufferCmd},
    {"IsChannelPlaying", IsChannelPlayingCmd},
    {"HaveFreeChannel", HaveFreeChannelCmd},
    {"StopChannel", StopChannelCmd},
    {"GetChannels", GetChannelsCmd},
    {"SetChannelVolume", SetChannelVolumeCmd},
    {"OpenAudio", OpenAudioCmd},
    {"CloseAudio", CloseAudioCmd},
    {"ForceSound", ForceSoundCmd},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"MONO16", nullptr, 1}, {"STEREO16", nullptr, 3}, {"MONO8", nullptr, 0},      {"STEREO8", nullptr, 2},
    {"SAMPLE", nullptr, 2}, {"MUSIC", nullptr, 33},   {"SMPFMT_WAVE", nullptr, 0}, {nullptr, nullptr, 0},
};

void PushLoaderName(lua_State *L, uintptr_t loader) { lua_pushstring(L, GetLoaderName(loader)); }

int PushSampleAttribute(lua_State *L, cxSample *s, int selector) {
    const cxSoundState &st = SoundState();
    switch (selector) {
    case 7: lua_pushnumber(L, CodeToScriptFormat(s->data->formatCode)); return 1;
    case 8: lua_pushnumber(L, s->pitch ? double(uint64_t(s->data->frames) * 1000 / s->pitch) : 0); return 1;
    case 9: lua_pushnumber(L, s->pitch); return 1;
    case 24: lua_pushnumber(L, s->data->frames); return 1;
    case 30:
        if (!st.audioOpen) return 0;
        lua_pushboolean(L, IsSampleDataPlaying(s->data));
        return 1;
    case 31: PushLoaderName(L, s->loader); return 1;
    case 16: {
        if (!st.audioOpen) return 0;
        uint32_t ms = 0, pass = 0;
        if (GetSamplePlayPosition(s->data, &ms, &pass)) {
            lua_pushnumber(L, ms);
            lua_pushnumber(L, pass);
        } else {
            lua_pushnumber(L, -1);
            lua_pushnumber(L, -1);
        }
        return 2;
    }
    default: return 0;
    }
}

int PushMusicAttribute(lua_State *L, cxMusic *m, int selector) {
    const int kind = int(m->sourceKind);
    const char *text = nullptr;
    switch (selector) {
    case 14: lua_pushnumber(L, double(GetMusicAttribute(CX_MATTR_DURATION, kind, m->source, nullptr))); return 1;
    case 15: lua_pushnumber(L, double(GetMusicAttribute(CX_MATTR_POSITION, kind, m->source, nullptr))); return 1;
    case 17:
        GetMusicAttribute(CX_MATTR_FORMATNAME, kind, m->source, &text);
        lua_pushstring(L, text ? text : "");
        return 1;
    case 19: lua_pushnumber(L, double(GetMusicAttribute(CX_MATTR_BITRATE, kind, m->source, nullptr))); return 1;
    case 20: lua_pushnumber(L, double(GetMusicAttribute(CX_MATTR_RATE, kind, m->source, nullptr))); return 1;
    case 21:
        lua_pushnumber(L, CodeToScriptFormat(int(GetMusicAttribute(CX_MATTR_FORMAT, kind, m->source, nullptr))));
        return 1;
    case 25: lua_pushboolean(L, m->seekable != 0); return 1;
    case 26: lua_pushnumber(L, m->subsongCount); return 1;
    case 27: lua_pushnumber(L, m->currentSubsong); return 1;
    case 28: lua_pushboolean(L, m->state == CX_MUSIC_PLAYING); return 1;
    case 29: lua_pushboolean(L, m->state == CX_MUSIC_PAUSED); return 1;
    case 32: PushLoaderName(L, m->loader); return 1;
    default: return 0;
    }
}

int PreloadWith(lua_State *L, lua_CFunction command, int32_t id, const char *file, const char *loaders,
                const char *adapters) {
    lua_pushcfunction(L, command);
    lua_pushnumber(L, id);
    lua_pushstring(L, file ? file : "");
    lua_newtable(L);
    SetTableString(L, "loader", loaders ? loaders : "");
    SetTableString(L, "adapter", adapters ? adapters : "");
    return lua_pcall(L, 3, 0, 0);
}

}  // namespace

cxSoundState &SoundState() { return *g_state; }

bool SoundOff() { return g_state->noSound || g_state->audioFailed; }

int EnsureAudio(lua_State *L) {
    if (g_state->audioOpen) return 0;
    return OpenAudioNow(L);
}

int StopChannelObject(lua_State *L, int index) {
    int kind = 0;
    cxObjectID id{0, nullptr};
    if (int err = GetChannelState(index, &kind, &id, 1)) return err;
    cxAudioChannel *ch = GetAudioChannel(index);
    int err = 0;
    if (kind == CX_OBJ_SAMPLE) {
        StopSampleChannels(ch->sample, index);
    } else if (kind == CX_OBJ_MUSIC) {
        if (cxMusic *m = MusicOfChannel(ch)) err = StopMusicObject(L, m, 0);
        else FreeChannel(index);
    } else if (kind == CX_OBJ_VIDEO) {
        const cxVideoSoundHooks *h = GetVideoSoundHooks();
        if (h->stopVideo) err = h->stopVideo(L, ch->owner);
        else FreeChannel(index);
    }
    UnlockAudioChannels();
    return err;
}

int IsSoundCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const cxSoundState &st = SoundState();
    bool on = st.audioOpen;
    if (!on && !st.noSound) on = OpenAudioNow(L) == 0 && SoundState().audioOpen;
    lua_pushboolean(L, on);
    return 1;
}

int SetMasterVolumeCmd(lua_State *) { return 0; }

int OpenAudioCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    return OpenAudioCmdImpl(L);
}

int CloseAudioCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    StopAllPlayback(L);
    FreeAllSamples(L);
    CloseAudioEngine();
    SoundState().audioOpen = false;
    return 0;
}

int ForceSoundCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    SoundState().forceSound = luaL_checknumber(L, 1) != 0;
    return 0;
}

int GetChannelsCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    if (SoundState().noSound) {
        lua_pushnumber(L, 0);
        return 1;
    }
    uint32_t count = GetAudioChannelCount();
    if (!count) {
        // Not open yet: the count it will open with.
        uint32_t adapterChannels = 0;
        count = GetAudioAdapter(nullptr, &adapterChannels) ? adapterChannels : GetDefaultChannelCount();
    }
    lua_pushnumber(L, count);
    return 1;
}

int HaveFreeChannelCmd(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    if (SoundState().noSound) {
        lua_pushnumber(L, 0);
        return 1;
    }
    if (int r = OpenAudioNow(L); r > 0) return r;
    const int free = SoundState().audioOpen ? GetFirstFreeChannel() : -1;
    lua_pushnumber(L, free + 1);
    return 1;
}

int IsChannelPlayingCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const int index = ChannelArg(L, 1);
    if (!SoundState().audioOpen) {
        lua_pushboolean(L, 0);
        return 1;
    }
    ReleaseFinishedChannels();
    int kind = 0;
    cxObjectID id{0, nullptr};
    if (int err = GetChannelState(index, &kind, &id, 0)) return err;
    if (kind == 7) {
        lua_pushboolean(L, 0);
        return 1;
    }
    lua_pushboolean(L, 1);
    lua_pushnumber(L, kind);
    PushObjectID(L, id);
    return 3;
}

int StopChannelCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const int index = ChannelArg(L, 1);
    if (!SoundState().audioOpen) return 0;
    return StopChannelObject(L, index);
}

int SetChannelVolumeCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const int index = ChannelArg(L, 1);
    const double v = GetNumberOrPercentArg(L, 2, 64, 0, nullptr);
    if (!SoundState().audioOpen) return 0;
    const uint32_t volume = v <= 0 ? 0 : (v >= 64 ? 64 : uint32_t(v));
    int kind = 0;
    if (int err = GetChannelState(index, &kind, nullptr, 1)) return err;
    cxAudioChannel *ch = GetAudioChannel(index);
    if (kind == CX_OBJ_MUSIC) {
        if (cxMusic *m = MusicOfChannel(ch)) {
            m->volume = volume;
            SetSourceVolume(int(m->sourceKind), m->source, volume, index);
        }
    } else if (kind == CX_OBJ_VIDEO) {
        const cxVideoSoundHooks *h = GetVideoSoundHooks();
        if (h->setVideoVolume) h->setVideoVolume(ch->owner, volume);
        else ApplyChannelAttributes(index, -1, int32_t(volume), -1);
    } else if (kind == CX_OBJ_SAMPLE) {
        if (cxSample *s = SampleOfData(ch->sample)) s->volume = volume;
        SetSampleChannelAttributes(ch->sample, -1, int32_t(volume), -1, index);
    }
    UnlockAudioChannels();
    return 0;
}

extern "C" int SoundSettingsListener(int selector, intptr_t value) {
    cxSoundState &st = SoundState();
    switch (selector) {
    case 2: st.noSound = value != 0; return 1;
    case 3: st.device = value ? reinterpret_cast<const char *>(value) : "default"; return 1;
    case 33: st.forceSound = value != 0; return 1;
    case 89: SetDefaultChannelCount(int32_t(value)); return 1;
    case 12: SetAudioEventHook("onsampleloop", int(value)); return 1;
    case 13: SetAudioEventHook("onsampleend", int(value)); return 1;
    case 18: SetAudioEventHook("onmusicend", int(value)); return 1;
    case 23: SetAudioEventHook("onvideoend", int(value)); return 1;
    default: return 0;
    }
}

extern "C" int PushSoundAttribute(lua_State *L, int kind, cxObjectID id, int selector) {
    if (kind == CX_OBJ_SAMPLE) {
        cxSample *s = nullptr;
        if (FindSample(id, &s)) return 0;
        return PushSampleAttribute(L, s, selector);
    }
    if (kind == CX_OBJ_MUSIC) {
        cxMusic *m = nullptr;
        if (FindMusic(id, &m)) return 0;
        return PushMusicAttribute(L, m, selector);
    }
    return 0;
}

extern "C" int PreloadSample(lua_State *L, int32_t id, const char *file, const char *loaders, const char *adapters) {
    return PreloadWith(L, LoadSampleCmd, id, file, loaders, adapters);
}

extern "C" int PreloadMusic(lua_State *L, int32_t id, const char *file, const char *loaders, const char *adapters) {
    return PreloadWith(L, OpenMusicCmd, id, file, loaders, adapters);
}

extern "C" void SetPluginSampleSaver(cxPluginSampleSaver saver) { g_sampleSaver = saver; }

extern "C" int SavePluginSample(int format, const char *file, cxSampleRequest *request) {
    return g_sampleSaver ? g_sampleSaver(format, file, request) : ERR_UNKNOWNSMPOUT;
}

extern "C" int ApiReplaceSampleData(lua_State *L, const cxPluginObjectID *id, const void *data, int frames, int channels,
                                    int bits, int rate) {
    (void)L;
    if (!id || !data || frames < 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < 256)
        return ERR_WRONGUSAGE;
    cxSample *s = nullptr;
    if (int err = FindSample(cxObjectID{id->number, id->pointer}, &s)) return err;
    if (IsSampleDataPlaying(s->data)) return ERR_MODIFYPSMP;
    const uint64_t bytes = uint64_t(frames) * uint64_t(channels) * uint64_t(bits / 8);
    if (bytes > 0x7FFFFFFFu) return ERR_MEM;
    auto *copy = static_cast<unsigned char *>(malloc(size_t(bytes)));
    if (!copy) return ERR_MEM;
    memcpy(copy, data, size_t(bytes));
    int code = bits == 16 ? (channels == 2 ? CX_SMP_STEREO16 : CX_SMP_MONO16) : (channels == 2 ? CX_SMP_STEREO8U : CX_SMP_MONO8U);
    if (bits == 8)
        for (uint64_t i = 0; i < bytes; i++) copy[i] = static_cast<unsigned char>(copy[i] + 128);
    ReplaceSampleData(s->data, copy, uint32_t(frames), code, bits == 16 ? CX_SND_SIGNED : 0);
    s->data->rate = uint32_t(rate);
    s->pitch = uint32_t(rate);
    s->formatCode = code;
    s->bytes = uint32_t(bytes);
    return 0;
}

extern "C" void *ApiOpenSoundStream(const char *file, const char *loaders, cxSoundFormat *format) {
    cxSoundStream *s = nullptr;
    if (!file || OpenSoundFile(file, loaders, nullptr, 0, 0, &s, nullptr)) return nullptr;
    if (s->type == CX_SST_MODULE || s->formatCode < 0) {
        CloseSoundStream(s);
        return nullptr;
    }
    if (format) {
        format->frames = s->length;
        format->channels = s->channels;
        format->bits = s->bits;
        format->rate = s->rate;
        format->flags = ((s->flags & CX_SND_BIGENDIAN) ? CX_SOUND_BIGENDIAN : 0) |
                        ((s->flags & CX_SND_SIGNED) ? CX_SOUND_SIGNED : 0) | (s->seekable ? CX_SOUND_SEEKABLE : 0);
        format->subsongs = s->subsongCount;
        format->bitRate = uint32_t(GetMusicAttribute(CX_MATTR_BITRATE, CX_MUSIC_STREAM, s, nullptr));
    }
    return s;
}

extern "C" int ApiReadSoundStream(void *stream, void *buffer, int frames) {
    auto *s = static_cast<cxSoundStream *>(stream);
    if (!s) return -1;
    if (!buffer) {
        CloseSoundStream(s);
        return 0;
    }
    if (frames <= 0) return 0;
    return int(DecodeSoundStream(s, buffer, uint32_t(frames), nullptr));
}

extern "C" int OpenSoundLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "sound")) return err;
    luaL_openconstants(L, kConstants, 0);
    RegisterObjectList(&SoundState().samples);
    RegisterObjectList(&SoundState().music);
    if (int err = InitAudioLocks()) return err;
    OsSetChannelReleaseHook(ReleaseFinishedChannels);
    InstallMusicFillSource();
    return 0;
}

extern "C" void StopAllPlayback(lua_State *L) {
    const cxVideoSoundHooks *h = GetVideoSoundHooks();
    if (h->stopAllVideos) h->stopAllVideos(L);
    if (!IsAudioEngineOpen()) return;
    cxSoundState &st = SoundState();
    const bool in = st.inCallback;
    st.inCallback = false;
    StopAllChannels(L);
    st.inCallback = in;
}

extern "C" void FreeAllSoundObjects(lua_State *L) {
    cxSoundState &st = SoundState();
    st.inCallback = false;
    FreeAllSamples(L);
    FreeAllMusic(L);
    CloseAudioEngine();
    st.audioOpen = false;
    if (st.tickClaimed) {
        OsReleaseTickInterval(L, 0);
        st.tickClaimed = false;
    }
}

extern "C" void ResetSoundLibrary(void) {
    cxSoundState &st = SoundState();
    st.audioOpen = st.forceSound = st.noSound = st.audioFailed = st.inCallback = st.tickClaimed = false;
    st.device = "default";
    st.playing = st.paused = nullptr;
    st.samples.first = st.music.first = nullptr;
    SetDefaultChannelCount(8);
    OsSetChannelReleaseHook(nullptr);
}
