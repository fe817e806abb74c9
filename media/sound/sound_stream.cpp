// Recognising, parsing, decoding, seeking and closing sound streams.
#include "media/sound/sound_stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"

namespace {

constexpr uint32_t kSniffBytes = 1084;

uint32_t BE32(const unsigned char *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t LE32(const unsigned char *p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
uint32_t LE16(const unsigned char *p) { return uint32_t(p[1]) << 8 | p[0]; }

cxStream *File(cxSoundStream *s) { return static_cast<cxStream *>(s->handle); }

bool ReadAt(cxStream *f, uint64_t offset, void *buffer, size_t length) {
    if (SeekFileStream(f, int64_t(offset), CX_SEEK_BEGINNING) < 0) return false;
    return ReadStreamData(f, buffer, length) == length;
}

// Bytes of the file from offset on, clamped to 32 bits; unknown sizes give
// all ones.
uint32_t BytesFrom(cxStream *f, uint64_t offset) {
    const uint64_t size = GetStreamSize(f);
    if (size == CX_STREAM_SIZE_UNKNOWN) return 0xFFFFFFFFu;
    if (size <= offset) return 0;
    const uint64_t rest = size - offset;
    return rest > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(rest);
}

// Chunk sizes come from the file: a body is never taken larger than the
// bytes that are there, and a skipped chunk of odd size skips its pad byte.
uint64_t NextChunk(uint64_t dataStart, uint32_t size) { return dataStart + size + (size & 1); }

// IFF 8SVX and 16SV (big-endian sizes). false leaves the file open.
bool ParseIFF(cxSoundStream *s, const unsigned char *head, uint32_t got) {
    cxStream *f = File(s);
    if (got < 40 || BE32(head + 16) != 20) return false;
    s->rate = uint32_t(head[32]) << 8 | head[33];
    s->compression = head[35];
    if (s->compression != 0) return false;
    uint32_t channels = 1;
    uint64_t at = 40;
    for (;;) {
        unsigned char ch[8];
        if (!ReadAt(f, at, ch, 8)) return false;
        const uint32_t size = BE32(ch + 4);
        s->dataLength = size;
        if (!memcmp(ch, "BODY", 4)) {
            const uint32_t present = BytesFrom(f, at + 8);
            s->dataOffset = uint32_t(at + 8 > 0xFFFFFFFFu ? 0xFFFFFFFFu : at + 8);
            s->dataLength = size < present ? size : present;
            break;
        }
        if (!memcmp(ch, "CHAN", 4) && size >= 4) {
            unsigned char v[4];
            if (ReadStreamData(f, v, 4) == 4 && BE32(v) == 6) channels = 2;
        }
        at = NextChunk(at + 8, size);
    }
    s->channels = channels;
    if (s->type == CX_SST_8SVX) {
        s->bits = 8;
        s->flags = 0; // delivered unsigned
        s->bytesPerFrame = channels;
        s->length = s->dataLength / channels;
    } else {
        s->bits = 16;
        s->flags = CX_SND_BIGENDIAN | CX_SND_SIGNED;
        s->bytesPerFrame = 2 * channels;
        s->length = (s->dataLength / 2) / channels;
    }
    s->seekable = IsStreamUnseekable(f) ? 0 : 1;
    return true;
}

// RIFF WAVE (little-endian sizes).
bool ParseWAVE(cxSoundStream *s) {
    cxStream *f = File(s);
    uint64_t at = 12;
    bool haveFormat = false;
    uint32_t channels = 0;
    for (;;) {
        unsigned char ch[8];
        if (!ReadAt(f, at, ch, 8)) return false;
        const uint32_t size = LE32(ch + 4);
        if (!memcmp(ch, "fmt ", 4)) {
            if (size != 16 && size != 18 && size != 40) return false;
            unsigned char fmt[16];
            if (ReadStreamData(f, fmt, 16) != 16) return false;
            if (LE16(fmt) != 1) return false;
            channels = LE16(fmt + 2);
            s->channels = channels == 2 ? 2 : 1;
            s->rate = LE32(fmt + 4);
            s->bits = LE16(fmt + 14);
            if (s->bits != 8 && s->bits != 16) return false;
            haveFormat = true;
        } else if (!memcmp(ch, "data", 4)) {
            if (!haveFormat || s->rate == 0) return false;
            const uint32_t present = BytesFrom(f, at + 8);
            s->dataOffset = uint32_t(at + 8 > 0xFFFFFFFFu ? 0xFFFFFFFFu : at + 8);
            s->dataLength = size < present ? size : present;
            break;
        }
        at = NextChunk(at + 8, size);
    }
    s->flags = s->bits == 16 ? CX_SND_SIGNED : 0;
    // Frames as the file stores them: every channel, even beyond two.
    s->bytesPerFrame = s->bits * channels / 8;
    if (s->bytesPerFrame == 0) return false;
    s->length = s->dataLength / s->bytesPerFrame;
    s->seekable = IsStreamUnseekable(f) ? 0 : 1;
    return true;
}

// Bytes of one frame as decoding delivers it (a file with more than two
// channels delivers its first).
uint32_t OutFrameBytes(const cxSoundStream *s) { return s->transferUnit; }

bool GrowScratch(cxSoundStream *s, uint32_t bytes) {
    if (s->scratchSize >= bytes) return true;
    auto *p = static_cast<unsigned char *>(realloc(s->scratch, bytes));
    if (!p) return false;
    s->scratch = p;
    s->scratchSize = bytes;
    return true;
}

uint32_t ClipToLength(cxSoundStream *s, uint32_t frames, int *ended) {
    const uint32_t left = s->position < s->length ? s->length - s->position : 0;
    if (frames > left) {
        if (ended) *ended = 1;
        return left;
    }
    return frames;
}

uint32_t DecodeIFF(cxSoundStream *s, unsigned char *out, uint32_t n) {
    cxStream *f = File(s);
    const uint32_t width = s->bits / 8; // bytes of one sample
    if (s->channels == 1) {
        if (!ReadAt(f, uint64_t(s->dataOffset) + uint64_t(s->position) * width, out, size_t(n) * width)) {
            // A body cut short delivers what is there.
            n = 0;
        }
        if (width == 1)
            for (uint32_t i = 0; i < n; i++) out[i] = static_cast<unsigned char>(out[i] + 128);
        return n;
    }
    const uint64_t half = uint64_t(n) * width;
    if (half * 2 > 0xFFFFFFFFu || !GrowScratch(s, uint32_t(half * 2))) return 0;
    unsigned char *left = s->scratch, *right = s->scratch + half;
    const uint64_t base = uint64_t(s->dataOffset) + uint64_t(s->position) * width;
    if (!ReadAt(f, base, left, size_t(half)) ||
        !ReadAt(f, base + uint64_t(s->length) * width, right, size_t(half)))
        return 0;
    if (width == 1) {
        for (uint32_t i = 0; i < n; i++) {
            out[2 * i] = static_cast<unsigned char>(left[i] + 128);
            out[2 * i + 1] = static_cast<unsigned char>(right[i] + 128);
        }
    } else {
        for (uint32_t i = 0; i < n; i++) {
            memcpy(out + 4 * i, left + 2 * i, 2);
            memcpy(out + 4 * i + 2, right + 2 * i, 2);
        }
    }
    return n;
}

uint32_t DecodeWAVE(cxSoundStream *s, unsigned char *out, uint32_t n) {
    cxStream *f = File(s);
    const uint64_t at = uint64_t(s->dataOffset) + uint64_t(s->position) * s->bytesPerFrame;
    if (SeekFileStream(f, int64_t(at), CX_SEEK_BEGINNING) < 0) return 0;
    const uint32_t outBytes = OutFrameBytes(s);
    if (outBytes == s->bytesPerFrame) {
        const size_t got = ReadStreamData(f, out, size_t(n) * s->bytesPerFrame);
        return uint32_t(got / s->bytesPerFrame);
    }
    // More than two channels: keep the first of each frame.
    uint32_t done = 0;
    while (done < n) {
        const uint32_t step = n - done < 4096 ? n - done : 4096;
        if (!GrowScratch(s, step * s->bytesPerFrame)) break;
        const size_t got = ReadStreamData(f, s->scratch, size_t(step) * s->bytesPerFrame) / s->bytesPerFrame;
        for (size_t i = 0; i < got; i++) memcpy(out + (done + i) * outBytes, s->scratch + i * s->bytesPerFrame, outBytes);
        done += uint32_t(got);
        if (got < step) break;
    }
    return done;
}

void SetPositionTime(cxSoundStream *s, uint32_t frame) {
    if (s->rate == 0) {
        s->positionTime = {0, 0};
        return;
    }
    s->positionTime.seconds = frame / s->rate;
    s->positionTime.microseconds = uint32_t(uint64_t(frame % s->rate) * 1000000u / s->rate);
}

void MovePosition(cxSoundStream *s, uint32_t frame) {
    switch (s->type) {
    case CX_SST_8SVX:
    case CX_SST_16SV:
    case CX_SST_WAVE:
        if (frame < s->length) s->position = frame;
        break;
    case CX_SST_PLUGIN:
        if (frame == 0 || s->seekable) {
            CallPluginEntry(s->plugin, s->plugin ? s->plugin->SeekStream : nullptr, s->handle, int64_t(frame));
            s->position = frame;
        }
        break;
    default: break;
    }
}

// Loaders: plug-ins first, in list order.
int TryPlugins(cxSoundStream *s, const char *name, const char *loaders, const char *adapters, int subsong,
               uintptr_t *loader) {
    for (cxPluginNode *n = GetCapabilityList(CX_CAP_SOUNDLOADER); n; n = n->next) {
        cxPlugin *p = n->plugin;
        if (!p || p->disabled) continue;
        const char *pname = GetLoaderName(reinterpret_cast<uintptr_t>(p));
        if (!MatchLoaderList(loaders, pname, 1)) continue;
        if (p->onlyWhenNamed && !IsLoaderNamed(loaders, pname)) continue;
        cxSoundFormat fmt{};
        fmt.subsong = subsong;
        fmt.subsongs = 1;
        fmt.adapters = adapters;
        void *handle = CallPluginEntry(p, p->OpenStream, name, &fmt);
        if (!handle) continue;
        s->type = CX_SST_PLUGIN;
        s->handle = handle;
        s->plugin = p;
        s->channels = fmt.channels == 2 ? 2 : 1;
        s->bits = fmt.bits;
        s->rate = fmt.rate;
        s->bytesPerFrame = s->bits == 16 ? 2 * s->channels : s->channels;
        s->length = s->endFrame = fmt.frames;
        s->dataLength = uint32_t(uint64_t(fmt.frames) * s->bytesPerFrame > 0xFFFFFFFFu
                                     ? 0xFFFFFFFFu
                                     : uint64_t(fmt.frames) * s->bytesPerFrame);
        s->flags = fmt.flags & (CX_SND_BIGENDIAN | CX_SND_SIGNED);
        s->seekable = (fmt.flags & CX_SOUND_SEEKABLE) ? 1 : 0;
        s->subsongCount = fmt.subsongs ? fmt.subsongs : 1;
        s->bitRate = fmt.bitRate;
        *loader = reinterpret_cast<uintptr_t>(p);
        return 1;
    }
    return 0;
}

}  // namespace

int GetSampleFormatCode(uint32_t bits, uint32_t channels, uint32_t flags) {
    const bool sign = flags & CX_SND_SIGNED;
    if (channels == 2) {
        if (bits == 8) return sign ? CX_SMP_STEREO8S : CX_SMP_STEREO8U;
        if (bits == 16) return CX_SMP_STEREO16;
        return CX_SMP_UNKNOWN;
    }
    if (bits == 8) return sign ? CX_SMP_MONO8S : CX_SMP_MONO8U;
    if (bits == 16) return CX_SMP_MONO16;
    return CX_SMP_UNKNOWN;
}

uint32_t GetBytesPerFrame(int code) {
    static const uint32_t bytes[] = {1, 2, 1, 2, 2, 4};
    return code >= 0 && code <= 5 ? bytes[code] : 0;
}

int OpenSoundFile(const char *name, const char *loaders, const char *adapters, int subsong, int streaming,
                  cxSoundStream **out, uintptr_t *loader) {
    *out = nullptr;
    uintptr_t dummy = 0;
    if (!loader) loader = &dummy;
    *loader = 0;
    auto *s = new (std::nothrow) cxSoundStream{};
    if (!s) return ERR_MEM;
    s->streaming = streaming ? 1 : 0;
    s->subsongCount = 1;
    s->framesPerUnit = 1;
    if (int err = AddNamedAdapterList(loaders, CX_CAP_SOUNDLOADER)) {
        delete s;
        return err;
    }
    bool opened = TryPlugins(s, name, loaders, adapters, subsong, loader) != 0;
    if (!opened && MatchLoaderList(loaders, "inbuilt", 0)) {
        cxStream *f = OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, adapters);
        if (!f) {
            delete s;
            SetErrorDetail(name);
            return ERR_READFILE;
        }
        unsigned char head[kSniffBytes];
        const size_t got = ReadStreamData(f, head, sizeof head);
        s->handle = f;
        if (got >= 12 && !memcmp(head, "FORM", 4) && !memcmp(head + 8, "8SVX", 4)) s->type = CX_SST_8SVX;
        else if (got >= 12 && !memcmp(head, "FORM", 4) && !memcmp(head + 8, "16SV", 4)) s->type = CX_SST_16SV;
        else if (got >= 12 && !memcmp(head, "RIFF", 4) && !memcmp(head + 8, "WAVE", 4)) s->type = CX_SST_WAVE;
        else if (got == kSniffBytes && !memcmp(head + 1080, "M.K.", 4)) s->type = CX_SST_MODULE;
        bool ok = false;
        if (s->type == CX_SST_8SVX || s->type == CX_SST_16SV) ok = ParseIFF(s, head, uint32_t(got));
        else if (s->type == CX_SST_WAVE) ok = ParseWAVE(s);
        else if (s->type == CX_SST_MODULE) {
            ok = true;
            s->seekable = 0;
            s->rate = 48000;
            s->bits = 16;
            s->channels = 2;
            s->flags = CX_SND_SIGNED;
            s->bytesPerFrame = 4;
        }
        if (ok) {
            opened = true;
            s->endFrame = s->length;
        } else {
            CloseFileStream(f);
            s->handle = nullptr;
            s->type = 0;
        }
    }
    if (!opened) {
        // The native loader of this platform knows no format.
        delete s;
        SetErrorDetail(name);
        return ERR_OPENSOUND2;
    }
    s->formatCode = GetSampleFormatCode(s->bits, s->channels, s->flags);
    s->transferUnit = s->formatCode >= 0 ? GetBytesPerFrame(s->formatCode) : s->bytesPerFrame;
    *out = s;
    return 0;
}

uint32_t DecodeSoundStream(cxSoundStream *s, void *buffer, uint32_t frames, int *ended) {
    if (ended) *ended = 0;
    uint32_t n = 0;
    auto *out = static_cast<unsigned char *>(buffer);
    switch (s->type) {
    case CX_SST_8SVX:
    case CX_SST_16SV:
        n = ClipToLength(s, frames, ended);
        n = DecodeIFF(s, out, n);
        break;
    case CX_SST_WAVE:
        n = ClipToLength(s, frames, ended);
        n = DecodeWAVE(s, out, n);
        break;
    case CX_SST_PLUGIN: {
        cxStreamRequest r{buffer, int32_t(frames > 0x7FFFFFFFu ? 0x7FFFFFFFu : frames), 0, 0};
        CallPluginEntry(s->plugin, s->plugin ? s->plugin->StreamSamples : nullptr, s->handle, &r);
        n = r.delivered < 0 ? 0 : (uint32_t(r.delivered) > frames ? frames : uint32_t(r.delivered));
        if (ended && r.ended) *ended = 1;
        break;
    }
    case CX_SST_CUSTOM: n = DecodeCustomStream(s, out, frames, ended); break;
    default:
        if (ended) *ended = 1;
        break;
    }
    s->position += n;
    s->lastFrames = n;
    s->lastBytes = n * OutFrameBytes(s);
    return n;
}

void SeekSoundStream(cxSoundStream *s, uint32_t frame) {
    MovePosition(s, frame);
    SetPositionTime(s, frame);
    s->playStartUs.store(0);
}

void RewindSoundStream(cxSoundStream *s, uint32_t frame) { MovePosition(s, frame); }

void SeekStreamMs(cxSoundStream *s, uint32_t ms) { SeekSoundStream(s, uint32_t(uint64_t(ms) * s->rate / 1000)); }

const char *GetStreamFormatName(cxSoundStream *s) {
    switch (s->type) {
    case CX_SST_8SVX: return "IFF 8SVX";
    case CX_SST_16SV: return "IFF 16SV";
    case CX_SST_WAVE: return "RIFF WAVE";
    case CX_SST_PLUGIN: return CallPluginEntry(s->plugin, s->plugin ? s->plugin->GetFormatName : nullptr, s->handle);
    case CX_SST_CUSTOM: return "Custom stream";
    case CX_SST_MODULE: return "Protracker";
    default: return nullptr;
    }
}

void CloseSoundStream(cxSoundStream *s) {
    if (!s) return;
    switch (s->type) {
    case CX_SST_8SVX:
    case CX_SST_16SV:
    case CX_SST_WAVE:
    case CX_SST_MODULE:
        if (s->handle) CloseFileStream(File(s));
        break;
    case CX_SST_PLUGIN: CallPluginEntry(s->plugin, s->plugin ? s->plugin->CloseStream : nullptr, s->handle); break;
    case CX_SST_CUSTOM:
        ClearCustomBlocks(s);
        if (s->mutex) OsFreeMutex(s->mutex);
        break;
    default: break;
    }
    free(s->scratch);
    delete s;
}

uint32_t GetStreamPositionMs(cxSoundStream *s) {
    uint64_t ms = uint64_t(s->positionTime.seconds) * 1000 + s->positionTime.microseconds / 1000;
    const int64_t start = s->playStartUs.load();
    if (start == 0) return uint32_t(ms);
    cxOsTimeVal now;
    OsGetSysTime(&now);
    const int64_t nowUs = int64_t(now.seconds) * 1000000 + now.microseconds;
    if (nowUs > start) ms += uint64_t(nowUs - start) / 1000;
    // A looping music tells its place in the current pass; a stream of
    // unknown or zero length has no passes.
    if (s->rate && s->length != CX_SND_UNKNOWN_LENGTH) {
        const uint64_t duration = uint64_t(s->length) * 1000 / s->rate;
        if (duration) ms %= duration;
    }
    return uint32_t(ms);
}

int64_t GetMusicAttribute(int attribute, int kind, void *source, const char **text) {
    if (text) *text = nullptr;
    if (kind == CX_MUSIC_MODULE) {
        switch (attribute) {
        case CX_MATTR_FORMAT: return CX_SMP_STEREO16;
        case CX_MATTR_RATE: return 48000;
        case CX_MATTR_FORMATNAME:
            if (text) *text = "Protracker";
            return 0;
        default: return -1;
        }
    }
    if (kind != CX_MUSIC_STREAM || !source) return -1;
    auto *s = static_cast<cxSoundStream *>(source);
    switch (attribute) {
    case CX_MATTR_DURATION:
        if (s->rate == 0 || s->length == CX_SND_UNKNOWN_LENGTH) return -1;
        return int64_t(uint64_t(s->length) * 1000 / s->rate);
    case CX_MATTR_POSITION: return GetStreamPositionMs(s);
    case CX_MATTR_FORMATNAME:
        if (text) *text = GetStreamFormatName(s);
        return 0;
    case CX_MATTR_FORMAT: return s->formatCode;
    case CX_MATTR_RATE: return s->rate;
    case CX_MATTR_BITRATE:
        if (s->bitRate) return s->bitRate;
        if (s->dataLength == 0 || s->bytesPerFrame == 0 || s->bits == 0) return 0;
        return int64_t((uint64_t(s->bytesPerFrame) * s->rate + 1023) / 1024 * 8);
    default: return -1;
    }
}
