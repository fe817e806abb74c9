// The sample commands of the "sound" library: loading, creating, mixing,
// splicing, playing, reading back and saving samples.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "display/events/event_pump.h"
#include "engine/lib/memblock/memblock.h"
#include "errors/errors.h"
#include "media/sound/audio_engine.h"
#include "media/sound/sound_internal.h"
#include "media/sound/sound_library.h"
#include "platform/os_time.h"

namespace {

constexpr double kLeft = -90000, kRight = -80000, kCenter = -100000;

cxSample *SampleArg(lua_State *L, int index, int *err) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    cxSample *s = nullptr;
    *err = FindSample(id, &s);
    return s;
}

void FreeSampleByNumber(lua_State *L, const cxOptionalNumber &id) {
    if (id.wasNil) return;
    if (cxObjectHeader *old = LookupObject(&SoundState().samples, cxObjectID{id.value, nullptr}))
        FreeSampleRecord(L, reinterpret_cast<cxSample *>(old));
}

// Appends a sample holding data; pushes the automatic ID when asked for.
int AddSample(lua_State *L, const cxOptionalNumber &id, cxSampleData *data, uint32_t pitch, uintptr_t loader) {
    auto *s = static_cast<cxSample *>(calloc(1, sizeof(cxSample)));
    if (!s) {
        FreeSampleData(data);
        return ERR_MEM;
    }
    InitObjectHeader(&s->header, CX_OBJ_SAMPLE, id.value, id.wasNil);
    s->data = data;
    s->volume = 64;
    s->panning = 128;
    s->pitch = pitch;
    s->formatCode = data->formatCode;
    s->bytes = data->frames * data->bytesPerFrame;
    s->loader = loader;
    AddObject(&SoundState().samples, &s->header);
    return id.wasNil ? PushObjectID(L, GetObjectID(&s->header)) : 0;
}

void ReadLoaderOptions(lua_State *L, int index, char *loaders, char *adapters) {
    loaders[0] = adapters[0] = 0;
    if (lua_gettop(L) < index || lua_isnil(L, index)) return;
    luaL_checktable(L, index);
    GetTableString(L, index, "loader", loaders, 256, nullptr);
    GetTableString(L, index, "adapter", adapters, 256, nullptr);
}

int ReadPitchArg(lua_State *L, int index, uint32_t *pitch) {
    const double p = luaL_checknumber(L, index);
    if (!(p >= 256)) return ERR_LOWFREQ;
    *pitch = p > 4294967295.0 ? 0xFFFFFFFFu : uint32_t(p);
    return 0;
}

uint32_t ReadVolume(lua_State *L, int index) {
    const double v = GetNumberOrPercentArg(L, index, 64, 0, nullptr);
    return v <= 0 ? 0 : (v >= 64 ? 64 : uint32_t(v));
}

// A value of a sample as a signed 16-bit number.
inline int32_t Sample16(const cxSampleData *d, const unsigned char *p) {
    if (d->bits == 8) return (d->flags & CX_SND_SIGNED) ? int32_t(int8_t(p[0])) * 256 : (int32_t(p[0]) - 128) * 256;
    if (d->flags & CX_SND_BIGENDIAN) return int16_t(uint16_t(p[0] << 8 | p[1]));
    return int16_t(uint16_t(p[1] << 8 | p[0]));
}

// A value widened to 24 bits (MixSample).
inline int32_t Sample24(const cxSampleData *d, const unsigned char *p) {
    if (d->bits == 8) return (d->flags & CX_SND_SIGNED) ? int32_t(int8_t(p[0])) * 65536 : (int32_t(p[0]) - 128) * 65536;
    return Sample16(d, p) * 256;
}

void Put16(unsigned char *p, int32_t v, bool big) {
    const uint16_t u = uint16_t(int16_t(v));
    if (big) {
        p[0] = uint8_t(u >> 8);
        p[1] = uint8_t(u);
    } else {
        p[0] = uint8_t(u);
        p[1] = uint8_t(u >> 8);
    }
}

// Bytes of a memory block or an open file for CreateSample.
int ReadSourceBytes(lua_State *L, int table, const char *source, unsigned char *out, size_t bytes) {
    cxObjectID id{0, nullptr};
    if (!GetTableObjectID(L, table, "id", &id, nullptr)) return ERR_WRONGUSAGE;
    if (!strcmp(source, "file")) {
        cxFileObjectFinder finder = GetFileObjectFinder();
        if (!finder) return ERR_FINDFILE;
        cxFileAccess file{};
        if (int err = finder(id, &file)) return err;
        if (file.openMode == 2) return ERR_WRITEONLY;
        const size_t got = file.unbuffered ? ReadStream(file.stream, out, bytes) : ReadStreamData(file.stream, out, bytes);
        return got == bytes ? 0 : ERR_READ;
    }
    cxMemBlock *block = nullptr;
    if (int err = FindMemBlock(id, &block)) return err;
    int offset = 0;
    GetTableInt(L, table, "offset", &offset, nullptr);
    if (offset < 0) return ERR_SMPRANGE;
    // A block of known size is read only within it.
    if (block->size > 0 && (uint64_t(offset) + bytes > uint64_t(block->size))) return ERR_SMPRANGE;
    memcpy(out, block->data + offset, bytes);
    return 0;
}

}  // namespace

int ScriptFormatToCode(int format) {
    switch (format) {
    case 0: return CX_SMP_MONO8S;
    case 1: return CX_SMP_MONO16;
    case 2: return CX_SMP_STEREO8S;
    case 3: return CX_SMP_STEREO16;
    default: return -1;
    }
}

int CodeToScriptFormat(int code) {
    switch (code) {
    case CX_SMP_STEREO8U:
    case CX_SMP_STEREO8S: return 2;
    case CX_SMP_MONO16: return 1;
    case CX_SMP_STEREO16: return 3;
    default: return 0;
    }
}

uint32_t ReadPanning(double v) {
    if (v == kLeft) return 0;
    if (v == kRight) return 255;
    if (v == kCenter) return 128;
    return v <= 0 ? 0 : (v >= 255 ? 255 : uint32_t(v));
}

int FindSample(cxObjectID id, cxSample **out) {
    cxObjectHeader *h = nullptr;
    int err = FindObject(&SoundState().samples, id, &h);
    *out = reinterpret_cast<cxSample *>(h);
    return err;
}

void FreeSampleRecord(lua_State *L, cxSample *s) {
    RemoveObject(&SoundState().samples, &s->header);
    StopSampleChannels(s->data, -1);
    FreeSampleData(s->data);
    FreeObjectDataList(L, s->header.data);
    free(s);
}

void FreeAllSamples(lua_State *L) {
    while (cxObjectHeader *h = SoundState().samples.first) FreeSampleRecord(L, reinterpret_cast<cxSample *>(h));
}

int ConvertSampleFrames(lua_State *L, int options, const cxSampleData *src, unsigned char *out, uint32_t frames,
                        int code, uint32_t flags) {
    int start = 0, end = 0, offset = 0, loop = 1;
    if (options) {
        GetTableInt(L, options, "start", &start, nullptr);
        GetTableInt(L, options, "end", &end, nullptr);
        GetTableInt(L, options, "offset", &offset, nullptr);
        GetTableTruth(L, options, "loop", &loop, nullptr);
    }
    if (end == 0) end = int(src->frames);
    if (start < 0 || offset < 0 || start >= end || uint32_t(end) > src->frames) return ERR_SMPRANGE;
    const bool toStereo = code == CX_SMP_STEREO8U || code == CX_SMP_STEREO8S || code == CX_SMP_STEREO16;
    const bool to16 = code >= CX_SMP_MONO16;
    const bool toSigned8 = code == CX_SMP_MONO8S || code == CX_SMP_STEREO8S;
    const bool big = flags & CX_SND_BIGENDIAN;
    const uint32_t outBpf = GetBytesPerFrame(code), range = uint32_t(end - start);
    const uint32_t width = src->bits / 8;
    uint64_t pos = uint64_t(offset);
    for (uint32_t i = 0; i < frames; i++, pos++) {
        int32_t l = 0, r = 0;
        bool silent = false;
        if (pos >= range) {
            if (loop) pos %= range;
            else silent = true;
        }
        if (!silent) {
            const unsigned char *p = src->buffer + size_t(uint32_t(start) + uint32_t(pos)) * src->bytesPerFrame;
            l = Sample16(src, p);
            r = src->channels == 2 ? Sample16(src, p + width) : l;
        }
        unsigned char *o = out + size_t(i) * outBpf;
        const int32_t values[2] = {l, r};
        for (int c = 0; c < (toStereo ? 2 : 1); c++) {
            const int32_t v = values[c];
            if (to16) {
                Put16(o + c * 2, v, big);
            } else {
                const int32_t s8 = (v < 0 ? v + 255 : v) >> 8;
                o[c] = toSigned8 ? uint8_t(int8_t(s8)) : uint8_t(s8 - 128);
            }
        }
        if (silent && !to16 && !toSigned8) memset(o, 128, outBpf);
    }
    return 0;
}

int WriteWaveFile(const char *name, const cxSampleData *d, uint32_t pitch) {
    const uint64_t bytes = uint64_t(d->frames) * d->bytesPerFrame;
    const uint64_t padded = (bytes + 3) / 4 * 4;
    if (padded + 36 > 0xFFFFFFFFu) return ERR_WRONGUSAGE;
    cxStream *f = OpenFileStream(name, CX_STREAM_WRITE | CX_STREAM_ADAPTERS, nullptr);
    if (!f) {
        SetErrorDetail(name);
        return ERR_WRITEFILE;
    }
    const uint32_t channels = d->channels == 2 ? 2 : 1, bits = d->bits == 16 ? 16 : 8;
    const uint32_t align = bits * channels / 8;
    int err = 0;
    bool ok = WriteStream(f, "RIFF", 4) == 4 && WriteLE32(f, int32_t(uint32_t(padded + 36))) == 4 &&
              WriteStream(f, "WAVEfmt ", 8) == 8 && WriteLE32(f, 16) == 4 && WriteLE16(f, 1) == 2 &&
              WriteLE16(f, int(channels)) == 2 && WriteLE32(f, int32_t(pitch)) == 4 &&
              WriteLE32(f, int32_t(pitch * align)) == 4 && WriteLE16(f, int(align)) == 2 &&
              WriteLE16(f, int(bits)) == 2 && WriteStream(f, "data", 4) == 4 &&
              WriteLE32(f, int32_t(uint32_t(bytes))) == 4;
    if (!ok || SeekFileStream(f, 0, CX_SEEK_CURRENT) != 44) err = ERR_WRITE;
    const bool swap = bits == 16 && (d->flags & CX_SND_BIGENDIAN);
    const bool flip = bits == 8 && (d->flags & CX_SND_SIGNED);
    if (!err && bytes) {
        if (swap || flip) {
            std::vector<unsigned char> chunk;
            try {
                chunk.resize(65536);
            } catch (...) {
                err = ERR_MEM;
            }
            for (uint64_t at = 0; !err && at < bytes; at += chunk.size()) {
                const size_t n = size_t(bytes - at < chunk.size() ? bytes - at : chunk.size());
                memcpy(chunk.data(), d->buffer + at, n);
                if (swap)
                    for (size_t i = 0; i + 1 < n; i += 2) std::swap(chunk[i], chunk[i + 1]);
                else
                    for (size_t i = 0; i < n; i++) chunk[i] ^= 0x80;
                if (WriteStream(f, chunk.data(), n) != n) err = ERR_WRITE;
            }
        } else if (WriteStream(f, d->buffer, size_t(bytes)) != bytes) {
            err = ERR_WRITE;
        }
    }
    static const unsigned char zeros[4] = {0, 0, 0, 0};
    if (!err && padded > bytes && WriteStream(f, zeros, size_t(padded - bytes)) != padded - bytes) err = ERR_WRITE;
    if (!CloseFileStream(f) && !err) err = ERR_CLOSEFILE;
    return err;
}

// ---- commands ----

int LoadSampleCmd(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    char loaders[256], adapters[256];
    ReadLoaderOptions(L, 3, loaders, adapters);
    if (SoundOff()) return 0;
    if (int r = EnsureAudio(L)) return r < 0 ? 0 : r;
    FreeSampleByNumber(L, id);
    PrintStatusMessage("Loading sample %s", file, 1);
    cxSampleData *data = nullptr;
    uint32_t bytes = 0, rate = 0;
    int32_t code = 0;
    uintptr_t loader = 0;
    if (int err = LoadSampleData(file, loaders, adapters, &data, &bytes, &rate, &code, &loader)) return err;
    const int r = AddSample(L, id, data, rate ? rate : 8000, loader);
    if (r < 1000) PrintDoneMessage();
    return r;
}

int FreeSampleCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (SoundOff()) return 0;
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    FreeSampleRecord(L, s);
    return 0;
}

int IsSampleCmd(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *file = GetFileNameArg(L, 1, 0, nullptr);
    char loaders[256], adapters[256];
    ReadLoaderOptions(L, 2, loaders, adapters);
    lua_pushboolean(L, IsSampleFile(file, loaders, adapters));
    return 1;
}

int PlaySampleCmd(lua_State *L) {
    CheckArgCount(L, 1, 8, 0, 0);
    if (SoundOff()) return 0;
    const int n = lua_gettop(L);
    const int pairs = (n + 1) / 2;
    if (pairs > 4) return ERR_WRONGUSAGE;
    if (int r = EnsureAudio(L)) return r < 0 ? 0 : r;
    std::vector<int> prepared;
    int err = 0;
    for (int p = 0; p < pairs && !err; p++) {
        const int at = 1 + 2 * p;
        uint32_t times = 1;
        int32_t time = -1, volume = -1, pitch = -1, panning = -1, channel = 0;
        if (at + 1 <= n && lua_type(L, at + 1) == LUA_TTABLE) {
            const int t = at + 1;
            double v = 0;
            int found = 0;
            if (GetTableDouble(L, t, "time", &v, &found)) {
                if (!(v > 0)) {
                    err = ERR_WRONGUSAGE;
                    break;
                }
                time = v > 2147483647.0 ? 2147483647 : int32_t(v);
            }
            double vol = 0;
            if (GetTableNumberOrPercent(L, t, "volume", 64, 0, &vol, nullptr, nullptr))
                volume = vol <= 0 ? 0 : (vol >= 64 ? 64 : int32_t(vol));
            if (GetTableDouble(L, t, "panning", &v, nullptr)) panning = int32_t(ReadPanning(v));
            int ti = 0;
            if (GetTableInt(L, t, "times", &ti, nullptr)) {
                if (ti < 0) {
                    err = ERR_WRONGUSAGE;
                    break;
                }
                times = uint32_t(ti);
                time = -1;
            }
            GetTableInt(L, t, "pitch", &pitch, nullptr);
            GetTableInt(L, t, "channel", &channel, nullptr);
        } else if (at + 1 <= n && !lua_isnil(L, at + 1)) {
            const double t = luaL_checknumber(L, at + 1);
            if (t < 0) {
                err = ERR_WRONGUSAGE;
                break;
            }
            times = t > 4294967295.0 ? 0xFFFFFFFFu : uint32_t(t);
        }
        cxSample *s = SampleArg(L, at, &err);
        if (err) break;
        if (pitch == -1) pitch = int32_t(s->pitch);
        if (volume == -1) volume = int32_t(s->volume);
        if (panning == -1) panning = int32_t(s->panning);
        if (pitch <= 255) {
            err = ERR_LOWFREQ;
            break;
        }
        if (channel < 0) {
            err = ERR_CHANNELRANGE;
            break;
        }
        int index = channel - 1;
        cxObjectID id = GetObjectID(&s->header);
        err = PlaySampleOnChannel(L, s->data, id, s->data->formatCode, uint32_t(pitch), uint32_t(volume),
                                  uint32_t(panning), time, times, index);
        if (!err) {
            // The channel it got, so that a failing later pair can undo it.
            for (uint32_t c = 0; c < GetAudioChannelCount(); c++) {
                cxAudioChannel *ch = GetAudioChannel(int(c));
                if (ch && ch->sample == s->data && std::atomic_ref<uint32_t>(ch->kind).load() == CX_AUDIOCHANNEL_PREPARED)
                    prepared.push_back(int(c));
            }
        }
    }
    if (err) {
        for (int c : prepared) FreeChannel(c);
        return err;
    }
    StartPreparedChannels();
    return 0;
}

int StopSampleCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (!SoundState().audioOpen) return 0;
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    StopSampleChannels(s->data, -1);
    return 0;
}

int SetVolumeCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    if (!SoundState().audioOpen) return 0;
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    s->volume = ReadVolume(L, 2);
    SetSampleChannelAttributes(s->data, -1, int32_t(s->volume), -1, -1);
    return 0;
}

int SetPitchCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    if (!SoundState().audioOpen) return 0;
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    uint32_t pitch = 0;
    if (int e = ReadPitchArg(L, 2, &pitch)) return e;
    s->pitch = pitch;
    SetSampleChannelAttributes(s->data, int32_t(pitch > 0x7FFFFFFF ? 0x7FFFFFFF : pitch), -1, -1, -1);
    return 0;
}

int SetPanningCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    if (!SoundState().audioOpen) return 0;
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    s->panning = ReadPanning(luaL_checknumber(L, 2));
    SetSampleChannelAttributes(s->data, -1, -1, int32_t(s->panning), -1);
    return 0;
}

int IsSamplePlayingCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (!SoundState().audioOpen) {
        lua_pushboolean(L, 0);
        return 1;
    }
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    lua_pushboolean(L, IsSampleDataPlaying(s->data));
    return 1;
}

int WaitSampleEndCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (!SoundState().audioOpen) return 0;
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    for (;;) {
        cxSample *s = nullptr;
        if (int err = FindSample(id, &s)) return err;
        if (!IsSampleDataPlaying(s->data)) return 0;
        int code = 0;
        if (ProcessEvents(L, CX_PUMP_WAITING, 0, &code)) return code ? code : ERR_USERABORT;
        OsDelayMs(10);
    }
}

int GetSampleDataCmd(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    const cxSampleData *d = s->data;
    const uint32_t values = d->frames * d->channels;
    lua_createtable(L, int(values > 0x7FFFFFFF ? 0x7FFFFFFF : values), 0);
    for (uint32_t i = 0; i < values; i++) {
        const unsigned char *p = d->buffer + size_t(i) * (d->bits / 8);
        int32_t v;
        if (d->bits == 8) v = (d->flags & CX_SND_SIGNED) ? int32_t(int8_t(p[0])) : int32_t(p[0]) - 128;
        else v = Sample16(d, p);
        lua_pushnumber(L, v);
        lua_rawseti(L, -2, int(i));
    }
    lua_pushnumber(L, d->frames);
    return 2;
}

int SaveSampleCmd(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    const char *file = luaL_checklstring(L, 2, nullptr);
    const int format = lua_gettop(L) >= 3 ? int(luaL_checknumber(L, 3)) : 0;
    if (format == 0) return WriteWaveFile(file, s->data, s->pitch);
    const cxSampleData *d = s->data;
    cxSampleRequest req{};
    req.data = d->buffer;
    req.bytes = d->frames * d->bytesPerFrame;
    req.frames = d->frames;
    req.channels = d->channels;
    req.bits = d->bits;
    req.pitch = s->pitch;
    req.flags = ((d->flags & CX_SND_SIGNED) ? CX_SOUND_SIGNED : 0) | ((d->flags & CX_SND_BIGENDIAN) ? CX_SOUND_BIGENDIAN : 0);
    req.format = format;
    return SavePluginSample(format, file, &req);
}

int CreateSampleCmd(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    luaL_checktable(L, 2);
    uint32_t pitch = 0;
    if (int e = ReadPitchArg(L, 3, &pitch)) return e;
    const int format = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? int(luaL_checknumber(L, 4)) : 0;
    const int code = ScriptFormatToCode(format);
    if (code < 0) return ERR_WRONGUSAGE;
    const double framesArg = lua_gettop(L) >= 5 && !lua_isnil(L, 5) ? luaL_checknumber(L, 5) : 0;
    if (framesArg < 0 || framesArg > 0x7FFFFFFF) return ERR_WRONGUSAGE;
    uint32_t frames = uint32_t(framesArg);
    if (SoundOff()) return 0;
    if (int r = EnsureAudio(L)) return r < 0 ? 0 : r;
    FreeSampleByNumber(L, id);
    char source[16] = "pcm";
    GetTableString(L, 2, "source", source, sizeof source, nullptr);
    const uint32_t bpf = GetBytesPerFrame(code), channels = bpf / (code >= CX_SMP_MONO16 ? 2 : 1);
    unsigned char *data = nullptr;
    if (!StrCompareNoCase(source, "pcm")) {
        // The values from index 0 up to the first hole.
        uint32_t count = 0;
        for (;; count++) {
            lua_rawgeti(L, 2, int(count));
            const bool end = lua_isnil(L, -1);
            lua_pop(L, 1);
            if (end) break;
        }
        if (frames == 0) {
            if (channels == 2 && (count & 1)) return ERR_WRONGUSAGE;
            frames = count / channels;
        }
        if (frames == 0) return ERR_WRONGUSAGE;
        data = static_cast<unsigned char *>(malloc(size_t(frames) * bpf));
        if (!data) return ERR_MEM;
        const int32_t lo = code >= CX_SMP_MONO16 ? -32768 : -128, hi = code >= CX_SMP_MONO16 ? 32767 : 127;
        for (uint32_t i = 0; i < frames * channels; i++) {
            lua_rawgeti(L, 2, int(i));
            const bool number = lua_type(L, -1) == LUA_TNUMBER;
            const double v = number ? lua_tonumber(L, -1) : 0;
            lua_pop(L, 1);
            if (!number || v < lo || v > hi) {
                free(data);
                return ERR_SMPRANGE;
            }
            if (code >= CX_SMP_MONO16) Put16(data + size_t(i) * 2, int32_t(v), false);
            else data[i] = uint8_t(int8_t(int32_t(v)));
        }
    } else if (!StrCompareNoCase(source, "file") || !StrCompareNoCase(source, "memory")) {
        if (frames == 0) return ERR_WRONGUSAGE;
        const uint64_t bytes = uint64_t(frames) * bpf;
        if (bytes > 0x7FFFFFFFu) return ERR_MEM;
        data = static_cast<unsigned char *>(malloc(size_t(bytes)));
        if (!data) return ERR_MEM;
        char lower[16];
        snprintf(lower, sizeof lower, "%s", !StrCompareNoCase(source, "file") ? "file" : "memory");
        if (int err = ReadSourceBytes(L, 2, lower, data, size_t(bytes))) {
            free(data);
            return err;
        }
        int swap = 0;
        GetTableTruth(L, 2, "swap", &swap, nullptr);
        if (swap && code >= CX_SMP_MONO16)
            for (size_t i = 0; i + 1 < bytes; i += 2) std::swap(data[i], data[i + 1]);
    } else {
        return ERR_WRONGUSAGE;
    }
    cxSampleData *d = nullptr;
    if (int err = WrapSampleData(data, frames, pitch, code, &d, nullptr)) return err;
    return AddSample(L, id, d, pitch, 0);
}

int MixSampleCmd(lua_State *L) {
    CheckArgCount(L, 6, 0, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const double framesArg = luaL_checknumber(L, 2);
    if (framesArg < 1 || framesArg > 0x7FFFFFFF) return ERR_WRONGUSAGE;
    const uint32_t frames = uint32_t(framesArg);
    uint32_t pitch = 0;
    if (int e = ReadPitchArg(L, 3, &pitch)) return e;
    const int code = ScriptFormatToCode(int(luaL_checknumber(L, 4)));
    if (code < 0) return ERR_WRONGUSAGE;
    const int n = lua_gettop(L);
    if ((n - 4) % 2) return ERR_WRONGUSAGE;
    struct Source {
        const cxSampleData *d;
        double step, position;
        int64_t threshold, length;
        bool loop;
        double scale;
    };
    std::vector<Source> sources;
    for (int at = 5; at < n; at += 2) {
        int err = 0;
        cxSample *s = SampleArg(L, at, &err);
        if (err) return err;
        luaL_checktable(L, at + 1);
        double srcPitch = s->pitch, offset = 0, threshold = 0, length = -1, scale = 1.0;
        int loop = 1;
        GetTableDouble(L, at + 1, "pitch", &srcPitch, nullptr);
        if (srcPitch < 1.0) return ERR_WRONGUSAGE;
        GetTableDouble(L, at + 1, "offset", &offset, nullptr);
        if (offset < 0) return ERR_SMPRANGE;
        GetTableDouble(L, at + 1, "threshold", &threshold, nullptr);
        GetTableDouble(L, at + 1, "length", &length, nullptr);
        GetTableTruth(L, at + 1, "loop", &loop, nullptr);
        GetTableDouble(L, at + 1, "scale", &scale, nullptr);
        sources.push_back(Source{s->data, srcPitch / pitch, std::floor(offset), int64_t(threshold), int64_t(length),
                                 loop != 0, scale});
    }
    if (SoundOff()) return 0;
    if (int r = EnsureAudio(L)) return r < 0 ? 0 : r;
    FreeSampleByNumber(L, id);
    const uint32_t bpf = GetBytesPerFrame(code);
    auto *out = static_cast<unsigned char *>(malloc(size_t(frames) * bpf));
    if (!out) return ERR_MEM;
    const bool stereo = code == CX_SMP_STEREO8S || code == CX_SMP_STEREO16, is16 = code >= CX_SMP_MONO16;
    std::vector<int32_t> acc;
    try {
        acc.assign(size_t(frames) * 2, 0);
    } catch (...) {
        free(out);
        return ERR_MEM;
    }
    // Source by source: each walks its own position over the output.
    for (Source &src : sources) {
        const cxSampleData *d = src.d;
        if (d->frames == 0) continue;
        const uint32_t width = d->bits / 8;
        const int64_t first = src.threshold > 0 ? src.threshold : 0;
        for (int64_t i = first; i < int64_t(frames); i++) {
            const int64_t k = i - first;
            if (src.length >= 0 && k >= src.length) break;
            double pos = src.position + double(k) * src.step;
            uint64_t at = uint64_t(pos);
            if (at >= d->frames) {
                if (!src.loop) break;
                at %= d->frames;
            }
            const unsigned char *p = d->buffer + size_t(at) * d->bytesPerFrame;
            const int32_t l = Sample24(d, p), r = d->channels == 2 ? Sample24(d, p + width) : l;
            int64_t vl = acc[size_t(i) * 2] + int64_t(double(l) * src.scale);
            int64_t vr = acc[size_t(i) * 2 + 1] + int64_t(double(r) * src.scale);
            acc[size_t(i) * 2] = int32_t(vl < -0x7FFFFFFF ? -0x7FFFFFFF : (vl > 0x7FFFFFFF ? 0x7FFFFFFF : vl));
            acc[size_t(i) * 2 + 1] = int32_t(vr < -0x7FFFFFFF ? -0x7FFFFFFF : (vr > 0x7FFFFFFF ? 0x7FFFFFFF : vr));
        }
    }
    for (uint32_t i = 0; i < frames; i++) {
        int32_t l = acc[size_t(i) * 2], r = acc[size_t(i) * 2 + 1];
        l = l < -8388608 ? -8388608 : (l > 8388607 ? 8388607 : l);
        r = r < -8388608 ? -8388608 : (r > 8388607 ? 8388607 : r);
        unsigned char *o = out + size_t(i) * bpf;
        if (is16) {
            if (stereo) {
                Put16(o, l >> 8, false);
                Put16(o + 2, r >> 8, false);
            } else {
                Put16(o, (l + r) >> 9, false);
            }
        } else if (stereo) {
            o[0] = uint8_t(int8_t(l >> 16));
            o[1] = uint8_t(int8_t(r >> 16));
        } else {
            o[0] = uint8_t(int8_t((l + r) >> 17));
        }
    }
    cxSampleData *d = nullptr;
    if (int err = WrapSampleData(out, frames, pitch, code, &d, nullptr)) return err;
    return AddSample(L, id, d, pitch, 0);
}

int CopySampleCmd(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err = 0;
    cxSample *s = SampleArg(L, 1, &err);
    if (err) return err;
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 2);
    if (!id.wasNil && s->header.idPointer == nullptr && s->header.idNumber == id.value) return ERR_WRONGUSAGE;
    FreeSampleByNumber(L, id);
    cxSampleData *d = nullptr;
    if (int e = CopySampleData(s->data, &d)) return e;
    cxObjectData *data = nullptr;
    if (int e = CopyObjectDataList(L, s->header.data, &data)) {
        FreeSampleData(d);
        return e;
    }
    auto *c = static_cast<cxSample *>(calloc(1, sizeof(cxSample)));
    if (!c) {
        FreeSampleData(d);
        FreeObjectDataList(L, data);
        return ERR_MEM;
    }
    *c = *s;
    InitObjectHeader(&c->header, CX_OBJ_SAMPLE, id.value, id.wasNil);
    c->header.data = data;
    c->data = d;
    AddObject(&SoundState().samples, &c->header);
    return id.wasNil ? PushObjectID(L, GetObjectID(&c->header)) : 0;
}

int InsertSampleCmd(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    int err = 0;
    cxSample *src = SampleArg(L, 1, &err);
    if (err) return err;
    cxSample *dst = SampleArg(L, 2, &err);
    if (err) return err;
    if (src == dst) return ERR_WRONGUSAGE;
    if (IsSampleDataPlaying(dst->data)) return ERR_MODIFYPSMP;
    const double posArg = luaL_checknumber(L, 3);
    double countArg = lua_gettop(L) >= 4 && !lua_isnil(L, 4) ? luaL_checknumber(L, 4) : 0;
    const int options = lua_gettop(L) >= 5 && !lua_isnil(L, 5) ? (luaL_checktable(L, 5), 5) : 0;
    cxSampleData *d = dst->data;
    uint32_t count = (countArg <= 0 || countArg > src->data->frames) ? src->data->frames : uint32_t(countArg);
    const uint32_t position = posArg <= 0 ? 0 : (posArg >= d->frames ? d->frames : uint32_t(posArg));
    const uint64_t total = uint64_t(d->frames) + count;
    if (total * d->bytesPerFrame > 0x7FFFFFFFu) return ERR_MEM;
    auto *buffer = static_cast<unsigned char *>(malloc(size_t(total * d->bytesPerFrame)));
    if (!buffer) return ERR_MEM;
    const size_t bpf = d->bytesPerFrame;
    memcpy(buffer, d->buffer, position * bpf);
    if (int e = ConvertSampleFrames(L, options, src->data, buffer + position * bpf, count, d->formatCode, d->flags)) {
        free(buffer);
        return e;
    }
    memcpy(buffer + (size_t(position) + count) * bpf, d->buffer + position * bpf, (d->frames - position) * bpf);
    ReplaceSampleData(d, buffer, uint32_t(total), d->formatCode, d->flags);
    dst->bytes = d->frames * d->bytesPerFrame;
    return 0;
}

int GetSampleInfo(cxObjectID id, int32_t *code, const void **data, uint32_t *bytes, uint32_t *pitch) {
    cxObjectHeader *h = LookupObject(&SoundState().samples, id);
    if (!h) return 0;
    auto *s = reinterpret_cast<cxSample *>(h);
    if (code) *code = s->data->formatCode;
    if (data) *data = s->data->buffer;
    if (bytes) *bytes = s->data->frames * s->data->bytesPerFrame;
    if (pitch) *pitch = s->pitch;
    return 1;
}
