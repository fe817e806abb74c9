/*
 * Calyxtone plug-in interface, version 8.0.
 *
 * A plug-in is a shared object named after its module with the extension
 * ".cxp" (a leading "_" in the file name is allowed: such a plug-in is only
 * listed at start-up and opened when a script requires it). It exports
 *
 *     int  InitPlugin(cxPlugin *plugin, const cxPluginApi *api, const char *path);
 *     void ClosePlugin(void);
 *
 * and, by its capability bits, the entry points listed with the record
 * below, each looked up by exactly the name of its slot.
 *
 * InitPlugin fills the plug-in's part of the record (capabilities, version,
 * names, flags) and returns non-zero to accept. Before the call the record is
 * zeroed, apiVersion holds CX_PLUGIN_API_VERSION and apiRevision
 * CX_PLUGIN_API_REVISION; the plug-in leaves there the interface version it
 * needs. The api table and the strings the plug-in puts into the record must
 * stay valid until ClosePlugin returns. path is the plug-in's full path.
 *
 * BUILD RULE: compile plug-ins with unwind tables. Errors raised through
 * this interface (every luaL_check* reader, lua_call, luaG_runerror and
 * the rest of the virtual-machine table) leave by unwinding the plug-in's
 * frames as C++ exceptions. C plug-ins must be compiled with -fexceptions
 * (C++ plug-ins have unwind tables by default). A plug-in must not catch
 * those exceptions with catch (...) without rethrowing, and must not let
 * them pass through code compiled without unwind tables.
 *
 * Layout. Plug-ins index the record and the tables by position, so the
 * order of every field and slot below is part of the interface and never
 * changes. The byte offsets in the comments are those of 32-bit targets
 * (4-byte pointers); on 64-bit targets pointer fields are 8 bytes and the
 * offsets follow from natural alignment.
 *
 * Tag lists (cxTagItem arrays) end with a tag of 0.
 *
 * The header is plain C (C11 or C++). The library tables name the
 * libraries' records by their own struct tags (struct FT_FaceRec_,
 * struct z_stream_s, struct jpeg_decompress_struct, ...), so the pointer
 * types are those of the libraries' headers, which a plug-in includes to
 * use the records; their enumerations are passed as int. The libjpeg table
 * is bound to libjpeg-turbo's version 6.2 interface (JPEG_LIB_VERSION 62):
 * plug-ins that use it compile against that jpeglib.h.
 */
#ifndef CALYXTONE_CXPLUGIN_H
#define CALYXTONE_CXPLUGIN_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/time.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_PLUGIN_API_VERSION 8
#define CX_PLUGIN_API_REVISION 0

/* Exported entry points of a plug-in. */
#ifdef __cplusplus
#define CX_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define CX_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

/* ---- Capability bits (cxPlugin.capabilities) ---------------------------- */
#define CX_CAP_SCRIPT           0x1u
#define CX_CAP_LIBRARY          0x2u
#define CX_CAP_IMAGELOADER      0x4u
#define CX_CAP_ANIMLOADER       0x8u
#define CX_CAP_SOUNDLOADER      0x10u
#define CX_CAP_VECTORGRAPHICS   0x20u
#define CX_CAP_VIDEO            0x40u
#define CX_CAP_IMAGESAVER       0x80u
#define CX_CAP_ANIMSAVER        0x100u
#define CX_CAP_SAMPLESAVER      0x200u
#define CX_CAP_REQUIREHOOK      0x400u
#define CX_CAP_DISPLAYADAPTER   0x800u
#define CX_CAP_TIMERADAPTER     0x1000u
#define CX_CAP_REQUESTERADAPTER 0x2000u
#define CX_CAP_FILEADAPTER      0x4000u
#define CX_CAP_DIRADAPTER       0x8000u
#define CX_CAP_AUDIOADAPTER     0x10000u
#define CX_CAP_EXTENSIONS       0x20000u
#define CX_CAP_NETWORKADAPTER   0x40000u

/* Image, anim and sound loaders and video decoders join the player's list
   of their kind when they are opened (unless CX_EXT_LOADER_NAMEDONLY).
   File, directory and network adapters serve where an "adapter" option
   names them, or everywhere once they add themselves with the system
   table's AddCapabilityEntry. */

/* Extension words: with CX_CAP_EXTENSIONS the loader calls
   GetExtensions(bit, 0) for every other capability bit the plug-in sets and
   stores the answer in extensions[n] for bit (1 << n). */
#define CX_EXT_LOADER_NAMEDONLY  0x1u /* image/anim/sound/video loader: serve only when a script names it */
#define CX_EXT_LIBRARY_MULTI     0x1u /* GetLibraryCount and SetCurrentLibrary are exported */
#define CX_EXT_LIBRARY_DEFER     0x2u /* commands are registered only when the plug-in is required */
#define CX_EXT_LIBRARY_HELP      0x4u /* GetHelpStrings is exported */
#define CX_EXT_LIBRARY_UPVALUES  0x8u /* PushUpvalues is exported */
#define CX_EXT_DIR_REWIND        0x1u /* RewindDir is exported */

/* cxPlugin.callingConvention: 0 native; 2 the plug-in's functions cannot be
   called on this platform, and every call of one of its entry points does
   nothing and answers 0. */
#define CX_CALLCONV_NATIVE     0u
#define CX_CALLCONV_UNCALLABLE 2u

/* cxPlugin.tag */
#define CX_PLUGIN_RECORD_TAG 3u

/* More-formats-follow bits of the saver registration functions. */
#define CX_IMAGESAVER_MORE  8u
#define CX_ANIMSAVER_MORE   16u
#define CX_SAMPLESAVER_MORE 1u

/* Display-adapter flags (cxPlugin.displayFlags). */
#define CX_DISPLAY_EXCLUSIVE       0x1u
#define CX_DISPLAY_FALLBACK        0x4u
#define CX_DISPLAY_VIDEOBITMAPS    0x10u
#define CX_DISPLAY_OWNSBITMAPS     0x20u
#define CX_DISPLAY_INVERTEDALPHA   0x80u
#define CX_DISPLAY_SLEEP           0x100u
#define CX_DISPLAY_VWAIT           0x200u
#define CX_DISPLAY_MONITORS        0x400u
#define CX_DISPLAY_GRABSCREEN      0x800u
#define CX_DISPLAY_DRAWONWINDOWS   0x1000u
/* Display-adapter drawing flags (cxPlugin.drawFlags). */
#define CX_DRAW_BLTBITMAP  0x1u
#define CX_DRAW_MASKBLIT   0x2u
#define CX_DRAW_ALPHABLIT  0x4u
#define CX_DRAW_RECTFILL   0x8u
#define CX_DRAW_WRITEPIXEL 0x10u
#define CX_DRAW_LINE       0x20u
/* The adapter scales a display's picture itself: the present step hands it
   the scaled size instead of scaling into the shared buffer. */
#define CX_DRAW_SCALES     0x40u
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L)
#ifdef __cplusplus
#define CX_STATIC_ASSERT_ static_assert
#else
#define CX_STATIC_ASSERT_ _Static_assert
#endif
/* Each drawing flag is its own bit: the sum equals the union. */
CX_STATIC_ASSERT_((CX_DRAW_BLTBITMAP + CX_DRAW_MASKBLIT + CX_DRAW_ALPHABLIT + CX_DRAW_RECTFILL +
                   CX_DRAW_WRITEPIXEL + CX_DRAW_LINE + CX_DRAW_SCALES) ==
                      (CX_DRAW_BLTBITMAP | CX_DRAW_MASKBLIT | CX_DRAW_ALPHABLIT | CX_DRAW_RECTFILL |
                       CX_DRAW_WRITEPIXEL | CX_DRAW_LINE | CX_DRAW_SCALES),
                  "drawing flags overlap");
#undef CX_STATIC_ASSERT_
#endif

/* ---- Shared types --------------------------------------------------------- */

#ifndef LUA_REGISTRYINDEX /* the virtual machine's own header was not included */
typedef struct lua_State lua_State;
typedef double lua_Number;
typedef int (*lua_CFunction)(lua_State *L);
/* Pseudo-indices: upvalue i (from 1) of a running command is
   lua_upvalueindex(i). */
#define LUA_REGISTRYINDEX (-10000)
#define LUA_GLOBALSINDEX (-10001)
#define lua_upvalueindex(i) (LUA_GLOBALSINDEX - (i))
#define LUA_MULTRET (-1)
/* Value types as lua_type answers them; LUA_TNONE for an absent index. */
#define LUA_TNONE (-1)
#define LUA_TNIL 0
#define LUA_TBOOLEAN 1
#define LUA_TLIGHTUSERDATA 2
#define LUA_TNUMBER 3
#define LUA_TSTRING 4
#define LUA_TTABLE 5
#define LUA_TFUNCTION 6
#define LUA_TUSERDATA 7
#define LUA_TTHREAD 8
#endif

/* Any entry point whose prototype is fixed by the subsystem that calls it;
   those subsystems cast it to the prototype documented at the slot. */
typedef void (*cxPluginFunc)(void);

/* A timer's callback (cxApiSystem.AddTimer): the main state, the timer's
   handle and the user data given to AddTimer. Answers 0, or an error code
   (1000 or more) that the script's event wait fails with, as it fails with
   a handler's error; other answers count as 0. */
typedef int (*cxPluginTimerFunc)(lua_State *L, void *timer, void *userData);

typedef struct cxTagItem {
    uintptr_t tag;
    intptr_t data;
} cxTagItem;

/* One script command: the array ends with a null name. */
typedef struct cxPluginCommand {
    const char *name;
    lua_CFunction func;
} cxPluginCommand;

/* One script constant: a string when str is not null, else the number. The
   array ends with a null name. */
typedef struct cxPluginConstant {
    const char *name;
    const char *str;
    double num;
} cxPluginConstant;

/* One format of a saver. The saver's Register...Saver(index, format) is
   called for index 0, 1, 2, ... with a zeroed record; it fills the format id,
   the flags and the format's name (which becomes the script constant
   IMGFMT_name, ANMFMT_name or SMPFMT_name). As long as the flags carry the
   saver's more-follow bit another call follows. */
typedef struct cxSaverFormat {
    int32_t format;
    uint32_t flags;
    const char *name;
} cxSaverFormat;

/* What IsImage, LoadImage and GetImage tell of an image. type 1 marks a
   vector image; flags bit 1 (value 2) says it has an alpha channel. */
typedef struct cxImageInfo {
    int32_t width;
    int32_t height;
    int32_t depth;
    uint32_t type;
    uint32_t flags;
    uint32_t reserved[3];
} cxImageInfo;

/* What an anim loader's OpenAnim tells of an anim: it fills width, height,
   frames and hasAlpha (1 when frames carry alpha); adapters is the "adapter"
   list to open the file with, transparency 1 when the script asks for the
   file's own transparent pen. */
typedef struct cxAnimInfo {
    int32_t width;
    int32_t height;
    int32_t reserved8;   /* 0 */
    int32_t frames;
    int32_t hasAlpha;
    int32_t reserved20;  /* 0 */
    const char *adapters;
    int32_t transparency;
} cxAnimInfo;

/* LoadFrame's request: alphaWanted asks for the alpha bytes, transparency
   repeats the open's request; the loader sets hasTransparency when the
   frame has a transparent pen (its pixels then carry alpha 0 there). */
typedef struct cxAnimFrameRequest {
    int32_t alphaWanted;
    int32_t transparency;
    int32_t hasTransparency;
    uint32_t reserved[5];
} cxAnimFrameRequest;

/* One frame for an anim saver's WriteAnimFrame. Palette frames (the
   format row lacks its true-colour bit) bring width x height index bytes
   and 256 palette words 0x00RRGGBB; others 0xAARRGGBB words. */
#define CX_ANIMFRAME_ALPHA       1u /* the ARGB alpha bytes are to be stored */
#define CX_ANIMFRAME_TRANSPARENT 2u /* transparentIndex is valid */
typedef struct cxAnimFrame {
    const void *pixels;
    const uint32_t *palette;
    int32_t bytesPerRow;     /* width, or width x 4 */
    int32_t colours;
    int32_t transparentIndex;
    int32_t delay;           /* milliseconds */
    uint32_t flags;          /* CX_ANIMFRAME_* */
    int32_t format;          /* the format number of the row */
} cxAnimFrame;

/* The stat slots fill this record and leave its first word untouched. */
#define CX_STAT_DIRECTORY   0x20000u
#define CX_STAT_OWNER_READ  0x1u
#define CX_STAT_OWNER_WRITE 0x2u
#define CX_STAT_OWNER_EXEC  0x8u
#define CX_STAT_GROUP_READ  0x200u
#define CX_STAT_GROUP_WRITE 0x400u
#define CX_STAT_GROUP_EXEC  0x800u
#define CX_STAT_OTHER_READ  0x1000u
#define CX_STAT_OTHER_WRITE 0x2000u
#define CX_STAT_OTHER_EXEC  0x4000u
typedef struct cxPluginStat {
    uint32_t reserved; /* left as the caller set it */
    uint32_t flags;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    int64_t accessTime;   /* seconds since 1970 */
    int64_t modifyTime;
    int64_t changeTime;
} cxPluginStat;

/* An object ID: a script's number, or an automatic handle (pointer). */
typedef struct cxPluginObjectID {
    int32_t number;
    void *pointer;
} cxPluginObjectID;

typedef struct cxPluginTimeVal {
    int64_t seconds;
    int64_t microseconds;
} cxPluginTimeVal;

/* The string buffer of the virtual machine's auxiliary library: a plug-in
   declares one on its stack and passes it to the luaL_* buffer slots. */
#define CX_LUA_BUFFERSIZE 8192
typedef struct cxLuaBuffer {
    char *p;
    int lvl;
    lua_State *L;
    char buffer[CX_LUA_BUFFERSIZE];
} cxLuaBuffer;

/* A help text attached to a plug-in record (host-owned). */
typedef struct cxPluginHelpText cxPluginHelpText;

/* Records of the calling subsystems that plug-ins only pass on or fill as
   those subsystems document. */
struct cxAnimInfo;
struct cxAnimFrameRequest;
struct cxAnimFrame;
struct cxSoundFormat;
struct cxSampleRequest;
struct cxStreamRequest;
struct cxVideoFormat;
struct cxVideoPacket;
struct cxVideoFrame;
struct cxVectorParams;
struct cxVectorExtentsRequest;
struct cxVectorDrawRequest;
struct cxVectorTranslateRequest;
struct FT_FaceRec_;
struct cxAudioChannel;
struct cxPluginDirEntry;

/* ---- Sound records ---------------------------------------------------------- */

/* What a sound loader's OpenStream tells of the file it accepts. On entry
   subsong holds the 0-based subsong asked for, subsongs 1 and adapters the
   "adapter" option (null or "" for any); the loader fills the rest. */
#define CX_SOUND_BIGENDIAN 0x1u /* 16-bit samples are big-endian */
#define CX_SOUND_SIGNED    0x2u /* samples are signed */
#define CX_SOUND_SEEKABLE  0x4u /* SeekStream takes any frame */
typedef struct cxSoundFormat {
    uint32_t frames;      /*  0 length in frames */
    uint32_t channels;    /*  4 1 or 2 */
    uint32_t bits;        /*  8 8 or 16 */
    uint32_t rate;        /* 12 frames per second */
    uint32_t flags;       /* 16 CX_SOUND_* */
    int32_t subsong;      /* 20 */
    uint32_t subsongs;    /* 24 */
    const char *adapters; /* 28 */
    uint32_t bitRate;     /* 32 kbit/s, 0 when not known */
} cxSoundFormat;

/* StreamSamples: fill up to frames frames (interleaved, in the stream's
   format) into buffer, then set delivered, and ended when the request
   reached past the end. */
typedef struct cxStreamRequest {
    void *buffer;      /*  0 */
    int32_t frames;    /*  4 */
    int32_t delivered; /*  8 */
    int32_t ended;     /* 12 */
} cxStreamRequest;

/* What a sample saver's SaveSample gets: the sample as stored (8-bit data
   unsigned unless flags say signed; 16-bit data in the byte order of
   flags). */
typedef struct cxSampleRequest {
    const void *data; /*  0 */
    uint32_t bytes;   /*  4 */
    uint32_t frames;  /*  8 */
    uint32_t channels;/* 12 */
    uint32_t bits;    /* 16 */
    uint32_t pitch;   /* 20 */
    uint32_t flags;   /* 24 CX_SOUND_BIGENDIAN, CX_SOUND_SIGNED */
    int32_t format;   /* 28 the format number the script asked for */
} cxSampleRequest;

/* An output channel of the audio engine, handed to an audio adapter's
   AllocAudioChannel. The adapter pulls the channel's sound with
   channel->Fill(0, 0, buffer, frames, channel) from a thread of its own,
   in the format and at the rate given to AllocAudioChannel (format codes:
   0 8-bit mono unsigned, 1 8-bit stereo unsigned, 2 8-bit mono signed, 3
   8-bit stereo signed, 4 16-bit mono signed, 5 16-bit stereo signed; 16-bit
   samples in the machine's byte order, except a sample whose source was
   big-endian). Fill answers the frames it gave: fewer than asked once the
   sound has ended. It applies neither volume, panning nor pitch: those come
   through SetChannelAttributes (tags 1 volume 0..64, 2 panning 0..255, 3
   pitch in Hz). After FreeAudioChannel returns, the adapter must not call
   Fill for that channel again. The other fields are the engine's own and
   are read only. */
typedef int32_t (*cxAudioFillFunc)(intptr_t reserved1, intptr_t reserved2, void *buffer, int32_t frames,
                                   struct cxAudioChannel *channel);
#define CX_AUDIOCHANNEL_FREE      0u
#define CX_AUDIOCHANNEL_PREPARED  1u /* a sample waiting for its start */
#define CX_AUDIOCHANNEL_SAMPLE    2u
#define CX_AUDIOCHANNEL_MODULE    3u
#define CX_AUDIOCHANNEL_MUSIC     4u
#define CX_AUDIOCHANNEL_VIDEORING 5u
#define CX_AUDIOCHANNEL_RESERVED  6u /* music being set up */
#define CX_AUDIOCHANNEL_VIDEOOPEN 7u /* video sound before its first block */
#define CX_AUDIOCHANNEL_ENDED     8u /* waiting to be released */
struct cxAudioChannel {
    struct cxSampleData *sample;     /*   0 kinds 1, 2 */
    struct cxSoundStream *stream;    /*   4 kind 4 */
    struct cxModulePlayer *module;   /*   8 kind 3 */
    uint32_t kind;                   /*  12 CX_AUDIOCHANNEL_* */
    uint32_t previousKind;           /*  16 the kind before ENDED */
    cxPluginObjectID id;             /*  20 the sample, music or video */
    uint32_t times;                  /*  28 passes to play, 0 forever */
    uint32_t pass;                   /*  32 from 1 */
    uint32_t lastPassFrames;         /*  36 */
    uint32_t lastPassMs;             /*  40 */
    uint32_t passMs;                 /*  44 one pass at the playing pitch */
    uint32_t samplePosition;         /*  48 next frame of the sample */
    uint32_t volume;                 /*  52 0..64 */
    uint32_t firstFill;              /*  56 */
    uint32_t reserved60;             /*  60 */
    cxPluginTimeVal startTime;       /*  64 */
    uint32_t finished;               /*  80 */
    struct cxMusicBuffer *music;     /*  84 the halves of a music stream */
    void *adapterChannel;            /*  88 AllocAudioChannel's answer */
    uint32_t finalHalfFrames;        /*  92 */
    cxPluginTimeVal endTime;         /*  96 a finished channel is released after it */
    void *owner;                     /* 112 the music or video player that started it */
    void *driver;                    /* 116 the ALSA driver's PCM */
    struct cxVideoSoundRing *ring;   /* 120 kinds 5 and 7 */
    cxAudioFillFunc Fill;            /* 124 */
    uint32_t index;                  /* 128 from 0 */
    int32_t format;                  /* 132 format code */
    uint32_t rate;                   /* 136 */
    uint32_t panning;                /* 140 */
}; /* 144 bytes on 32-bit targets */

/* ---- Video decoder records ---------------------------------------------- */

/* What a video decoder's OpenVideo tells of the file it accepts. The player
   clears the record, presets streamSize to CX_VIDEO_SIZE_UNKNOWN and sets
   adapters (the "adapter" option, "" for any) before the call. */
#define CX_VIDEO_SEEKABLE     0x1u /* flags: SeekVideo takes any position */
#define CX_VIDEO_SIZE_UNKNOWN (-2)
typedef struct cxVideoFormat {
    int32_t width;          /*  0 */
    int32_t height;         /*  4 */
    uint32_t duration;      /*  8 milliseconds */
    int32_t audioRate;      /* 12 */
    int32_t audioChannels;  /* 16 0: no sound; else 1 or 2 */
    uint32_t seekByBytes;   /* 20 SeekVideo takes byte positions */
    uint32_t byteRate;      /* 24 bytes a second, with seekByBytes */
    uint32_t rgbOutput;     /* 28 frames come as 32-bit pixels, not Y, U, V planes */
    uint32_t flags;         /* 32 CX_VIDEO_* */
    uint32_t reserved36;    /* 36 */
    double frameDuration;   /* 40 seconds */
    int64_t streamSize;     /* 48 bytes; -1 unknown */
    union {
        const char *adapters; /* 56 */
        uint64_t adaptersSlot;
    };
} cxVideoFormat; /* 64 bytes */

/* One packet of the file. type 0 is a picture, any other value sound. The
   decoder owns data; the player hands the record back to FreePacket. */
#define CX_VIDEO_PACKET_VIDEO 0
typedef struct cxVideoPacket {
    void *data;         /*  0 the decoder's own packet */
    int32_t size;       /*  4 bytes the packet weighs in the player's queues */
    int32_t type;       /*  8 */
    int32_t stream;     /* 12 */
    int32_t reserved16; /* 16 */
    double pts;         /* 24 seconds, -1 unknown */
} cxVideoPacket;

/* A decoded picture (DecodeVideoFrame) or block of sound
   (DecodeAudioFrame). Pictures: Y, U, V planes (4:2:0) with their row
   lengths in bytes, or with rgbOutput planes[0] holding 32-bit pixels with
   the bytes A, R, G, B in memory order; width and height must not exceed
   the announced size. Sound: the player sets buffer and size (capacity in
   bytes); the decoder writes 16-bit signed samples, answers the bytes
   written and sets more while the packet holds more sound. */
typedef struct cxVideoFrame {
    uint8_t *planes[3];      /*  0 */
    int32_t rowLengths[3];   /* 12 */
    int32_t width, height;   /* 24 */
    double pts;              /* 32 seconds, -1 unknown */
    double dts;              /* 40 seconds, -1 unknown */
    int64_t bytePosition;    /* 48 */
    int32_t repeat;          /* 56 extra field repeats */
    int32_t more;            /* 60 sound: more of this packet follows */
    void *buffer;            /* 64 sound */
    int32_t size;            /* 68 sound: capacity in, unused out */
} cxVideoFrame;

/* ---- The plug-in record ---------------------------------------------------- */

typedef struct cxPluginApi cxPluginApi;
typedef struct cxPlugin cxPlugin;

typedef int (*cxInitPluginFunc)(cxPlugin *plugin, const cxPluginApi *api, const char *path);
typedef void (*cxClosePluginFunc)(void);
/* The main-chunk callback handed to a display adapter's AdapterMainLoop. */
typedef int (*cxMainChunkFunc)(lua_State *L);

struct cxPlugin {
    /* Filled by the plug-in in InitPlugin. */
    uint32_t capabilities;      /*   0 */
    uint32_t version;           /*   4 */
    uint32_t revision;          /*   8 */
    int32_t apiVersion;         /*  12 the loader writes 8; the plug-in leaves the version it needs */
    int32_t apiRevision;        /*  16 the loader writes 0; the plug-in leaves the revision it needs */
    const char *name;           /*  20 display name */
    const char *moduleName;     /*  24 must equal the file's base name */
    const char *author;         /*  28 */
    const char *description;    /*  32 */
    const char *copyright;      /*  36 */
    const char *url;            /*  40 */
    const char *date;           /*  44 */
    const char *helpReference;  /*  48 */
    uint32_t reserved52;        /*  52 not used by the player */
    uint32_t callingConvention; /*  56 CX_CALLCONV_* */
    uint32_t reserved60;        /*  60 not used by the player */
    uint32_t tag;               /*  64 CX_PLUGIN_RECORD_TAG */
    uint32_t pixelFormat;       /*  68 display adapter's bitmaps, 0..13: RegisterDisplayAdapter's tag 1, else 10 */
    uint32_t vectorFlags;       /*  72 vector engine: bit 0 takes the drawing offset in the second offset pair */
    uint32_t audioFlags;        /*  76 audio adapter */
    uint32_t drawFlags;         /*  80 CX_DRAW_* */
    uint32_t fileFlags;         /*  84 file adapter: 1 streaming, 2 cannot seek */
    uint32_t dirFlags;          /*  88 directory adapter */
    uint32_t networkFlags;      /*  92 network adapter: bit 0 serve only after being required */
    uint32_t displayFlags;      /*  96 CX_DISPLAY_* */
    uint32_t requesterFlags;    /* 100 requester adapter: 1 exclusive, 2 system requester */
    uint32_t timerFlags;        /* 104 timer adapter: 1 exclusive */

    /* Kept by the player; a plug-in reads them only. */
    uint32_t disabled;          /* 108 non-zero keeps the plug-in out of every choice */
    uint32_t onlyWhenNamed;     /* 112 serve only where a script names the plug-in */
    uint32_t initialised;       /* 116 InitLibrary has run */
    uint32_t required;          /* 120 RequirePlugin has run */
    cxPluginHelpText *helpTexts; /* 124 */
    uint32_t reserved128[3];    /* 128 */
    uint32_t extensions[32];    /* 140 GetExtensions answers, by capability bit number */
    uint32_t reserved268[3];    /* 268 */

    /* Entry points, resolved by the loader by capability. */
    cxInitPluginFunc InitPlugin;   /* 280 */
    cxClosePluginFunc ClosePlugin; /* 284 */

    /* 288 image loader (CX_CAP_IMAGELOADER) */
    int (*IsImage)(const char *file, cxImageInfo *info, const cxTagItem *tags);
    void *(*LoadImage)(const char *file, cxImageInfo *info, const cxTagItem *tags);
    uint32_t *(*GetImage)(void *image, cxImageInfo *info); /* ARGB, width * height words */
    void (*FreeImage)(void *image);
    int (*TransformImage)(void *image, int width, int height, const double *matrix); /* non-zero on success */

    /* 308 anim loader (CX_CAP_ANIMLOADER) */
    void *(*OpenAnim)(const char *file, struct cxAnimInfo *info);
    uint32_t *(*LoadFrame)(void *anim, int frame, struct cxAnimFrameRequest *request);
    void (*FreeFrame)(uint32_t *pixels);
    int (*GetFrameDelay)(void *anim, int frame);
    void (*CloseAnim)(void *anim);

    /* 328 sound loader (CX_CAP_SOUNDLOADER) */
    void *(*OpenStream)(const char *file, struct cxSoundFormat *format);
    void (*CloseStream)(void *stream);
    int (*SeekStream)(void *stream, int64_t frame);
    int (*StreamSamples)(void *stream, struct cxStreamRequest *request);
    const char *(*GetFormatName)(void *stream);

    /* 348 vector graphics engine (CX_CAP_VECTORGRAPHICS); the request
       records are in calyxtone/cxvector.h. */
    void (*GetPathExtents)(struct cxVectorExtentsRequest *request);
    int (*DrawPath)(struct cxVectorDrawRequest *request); /* non-zero on success */
    void (*TranslatePath)(struct cxVectorTranslateRequest *request);
    void (*GetCurrentPoint)(const void *items, const struct cxVectorParams *params, double *x, double *y);
    void *(*CreateVectorFont)(struct FT_FaceRec_ *face); /* engine font handle, null on failure */
    void (*FreeVectorFont)(void *font);
    struct FT_FaceRec_ *(*OpenFont)(const void *data, size_t size);
    void (*CloseFont)(struct FT_FaceRec_ *face);

    /* 380 video decoder (CX_CAP_VIDEO) */
    void *(*OpenVideo)(const char *file, struct cxVideoFormat *format);
    void (*CloseVideo)(void *video);
    int (*NextPacket)(void *video, struct cxVideoPacket *packet); /* -1 at the end */
    void (*FreePacket)(void *video, struct cxVideoPacket *packet);
    int (*DecodeVideoFrame)(void *video, struct cxVideoPacket *packet, struct cxVideoFrame *frame);
    int (*DecodeAudioFrame)(void *video, struct cxVideoPacket *packet, struct cxVideoFrame *frame);
    int (*SeekVideo)(void *video, int64_t position, int flags);
    void (*FlushAudio)(void *video);
    void (*FlushVideo)(void *video);
    int64_t (*GetVideoFrames)(void *video);
    int (*GetVideoFormat)(void *video, struct cxVideoFormat *format);

    /* 424 script library (CX_CAP_LIBRARY) */
    const char *(*GetBaseTable)(void); /* null: globals; "name": table; "name:": class table */
    const cxPluginCommand *(*GetCommands)(void);
    const cxPluginConstant *(*GetConstants)(void);
    int (*InitLibrary)(lua_State *L);
    void (*FreeLibrary)(lua_State *L);
    int (*GetLibraryCount)(void);              /* CX_EXT_LIBRARY_MULTI */
    void (*SetCurrentLibrary)(int index);      /* CX_EXT_LIBRARY_MULTI */
    const char *const *(*GetHelpStrings)(void); /* CX_EXT_LIBRARY_HELP: two strings per command */
    int (*PushUpvalues)(lua_State *L);         /* CX_EXT_LIBRARY_UPVALUES: pushes n values, returns n */

    /* 460 script (CX_CAP_SCRIPT) */
    const void *(*GetScript)(uint32_t *length);
    void (*FreeScript)(const void *script);

    /* 468 image saver (CX_CAP_IMAGESAVER) */
    void (*RegisterImageSaver)(int index, cxSaverFormat *format);
    int (*SaveImage)(int format, const uint32_t *argb, int width, int height, const char *file,
                     const cxTagItem *tags);
    cxSaverFormat *imageFormats; /* 476 kept by the player */

    /* 480 anim saver (CX_CAP_ANIMSAVER) */
    cxSaverFormat *animFormats; /* 480 kept by the player */
    void (*RegisterAnimSaver)(int index, cxSaverFormat *format);
    void *(*BeginAnimStream)(const char *file, int width, int height, int format, int quality, int fps);
    int (*WriteAnimFrame)(void *stream, struct cxAnimFrame *frame, const cxSaverFormat *formats);
    int (*FinishAnimStream)(void *stream);

    /* 500 sample saver (CX_CAP_SAMPLESAVER) */
    void (*RegisterSampleSaver)(int index, cxSaverFormat *format);
    int (*SaveSample)(const char *file, struct cxSampleRequest *request, const cxTagItem *tags);
    cxSaverFormat *sampleFormats; /* 508 kept by the player */

    /* 512 require hook (CX_CAP_REQUIREHOOK); tags: 1 pointer to the
       caller's result word, 2 an extra value (REQUIRETAGS: its text) */
    int (*RequirePlugin)(lua_State *L, int version, int revision, uint32_t flags, const cxTagItem *tags);

    /* 516 display adapter (CX_CAP_DISPLAYADAPTER): all 44 are required.
       HandleEvents answers 0, 1003 to end the run, or an error code. The
       slots typed cxPluginFunc take the prototypes of the display code. */
    int (*HandleEvents)(lua_State *L, uint32_t flags, const cxTagItem *tags);
    int (*WaitEvents)(lua_State *L, uint32_t flags, const cxTagItem *tags);
    cxPluginFunc ForceEventLoopIteration;
    cxPluginFunc Sleep;
    cxPluginFunc VWait;
    cxPluginFunc DetermineBorderSizes;
    cxPluginFunc OpenDisplay;
    cxPluginFunc CloseDisplay;
    cxPluginFunc ChangeBufferSize;
    cxPluginFunc ShowHideDisplay;
    cxPluginFunc SizeMoveDisplay;
    cxPluginFunc SetDisplayTitle;
    cxPluginFunc ActivateDisplay;
    int (*SetDisplayAttributes)(void *display, const cxTagItem *tags);
    cxPluginFunc CreatePointer;
    cxPluginFunc FreePointer;
    cxPluginFunc SetPointer;
    cxPluginFunc ShowHidePointer;
    cxPluginFunc MovePointer;
    cxPluginFunc GetMousePos;
    cxPluginFunc GetQualifiers;
    cxPluginFunc BltBitMap;
    cxPluginFunc RectFill;
    cxPluginFunc WritePixel;
    cxPluginFunc Line;
    cxPluginFunc GetMonitorInfo;
    cxPluginFunc FreeMonitorInfo;
    cxPluginFunc GrabScreenPixels;
    cxPluginFunc FreeGrabScreenPixels;
    int (*AdapterMainLoop)(lua_State *L, cxMainChunkFunc run, lua_State *state);
    cxPluginFunc BeginDoubleBuffer;
    cxPluginFunc EndDoubleBuffer;
    cxPluginFunc Flip;
    cxPluginFunc Cls;
    cxPluginFunc AllocVideoBitMap;
    cxPluginFunc FreeVideoBitMap;
    cxPluginFunc ReadVideoPixels;
    cxPluginFunc FreeVideoPixels;
    cxPluginFunc DoVideoBitMapMethod;
    cxPluginFunc AllocBitMap;
    cxPluginFunc FreeBitMap;
    cxPluginFunc LockBitMap;
    cxPluginFunc UnLockBitMap;
    cxPluginFunc GetBitMapAttr;

    /* 692 timer adapter (CX_CAP_TIMERADAPTER) */
    void *(*RegisterTimer)(lua_State *L, int milliseconds, int oneShot); /* null on failure */
    void (*FreeTimer)(void *timer);

    /* 700 requester adapter (CX_CAP_REQUESTERADAPTER); prototypes of the
       requester code. */
    cxPluginFunc SystemRequest;
    cxPluginFunc FileRequest;
    cxPluginFunc PathRequest;
    cxPluginFunc StringRequest;
    cxPluginFunc ListRequest;
    cxPluginFunc FontRequest;
    cxPluginFunc ColorRequest;
    cxPluginFunc FreeRequest;

    /* 732 file adapter (CX_CAP_FILEADAPTER); modes and seek modes as the
       files table below. FOpen answers null when it does not serve the name. */
    void *(*FOpen)(const char *name, int mode, const cxTagItem *tags);
    int (*FClose)(void *file);
    int64_t (*FRead)(void *file, void *buffer, int64_t length);
    int (*FGetC)(void *file);
    int64_t (*FWrite)(void *file, const void *buffer, int64_t length);
    int (*FPutC)(void *file, int c);
    int64_t (*FSeek)(void *file, int64_t position, int mode); /* previous position or -1 */
    int (*FFlush)(void *file);
    int (*FEof)(void *file);
    int (*FStat)(void *file, cxPluginStat *stat, const cxTagItem *tags);
    int (*Stat)(const char *name, cxPluginStat *stat, const cxTagItem *tags);

    /* 776 directory adapter (CX_CAP_DIRADAPTER) */
    void *(*OpenDir)(const char *name, int mode, const cxTagItem *tags);
    void (*CloseDir)(void *dir);
    int (*NextDirEntry)(void *dir, struct cxPluginDirEntry *entry, const cxTagItem *tags);
    int (*RewindDir)(void *dir); /* CX_EXT_DIR_REWIND */

    /* 792 audio adapter (CX_CAP_AUDIOADAPTER) */
    void *(*OpenAudio)(uint32_t flags, const cxTagItem *tags);
    void (*CloseAudio)(void *audio);
    void *(*AllocAudioChannel)(void *audio, int format, int rate, int volume, struct cxAudioChannel *channel);
    void (*FreeAudioChannel)(void *audio, void *channel);
    int (*SetChannelAttributes)(void *audio, void *channel, const cxTagItem *tags);

    /* 812 extensions (CX_CAP_EXTENSIONS) */
    uint32_t (*GetExtensions)(uint32_t capability, uint32_t reserved);

    /* 816 network adapter (CX_CAP_NETWORKADAPTER); tags of OpenConnection:
       1 secure flag, 2 time-out in milliseconds. ReceiveData answers 0 with
       data, 1422 when nothing is there yet, 1423 when the peer closed. */
    void *(*OpenConnection)(const char *host, int port, const cxTagItem *tags);
    void (*CloseConnection)(void *connection);
    int (*GetConnectionInfo)(void *connection, cxTagItem *tags);
    int (*ReceiveData)(void *connection, void *buffer, int length, int *received, const cxTagItem *tags);
    int (*SendData)(void *connection, const void *buffer, int length, int *sent, const cxTagItem *tags);
}; /* 836 bytes on 32-bit targets */

/* ---- Library types ------------------------------------------------------- */

typedef int cxFT_Error;
typedef struct FT_LibraryRec_ *cxFT_Library;
typedef struct FT_FaceRec_ *cxFT_Face;
typedef struct FT_GlyphSlotRec_ *cxFT_GlyphSlot;
typedef struct FT_CharMapRec_ *cxFT_CharMap;
typedef struct FT_GlyphRec_ *cxFT_Glyph;
typedef struct FT_StrokerRec_ *cxFT_Stroker;
typedef struct FT_Vector_ cxFT_Vector;
typedef struct FT_Matrix_ cxFT_Matrix;
typedef struct FT_Outline_ cxFT_Outline;
typedef struct FT_Outline_Funcs_ cxFT_Outline_Funcs;
typedef struct FT_BBox_ cxFT_BBox;
typedef struct FT_Bitmap_ cxFT_Bitmap;
typedef struct FT_Raster_Params_ cxFT_Raster_Params;
typedef int cxFT_Encoding;
typedef int cxFT_Render_Mode;
typedef int cxFT_LineCap;
typedef int cxFT_LineJoin;

typedef int cxJpegBool;
typedef int cxJpegColorSpace;
typedef unsigned char **cxJpegSampArray;
typedef unsigned int cxJpegDimension;
struct jpeg_decompress_struct;
struct jpeg_compress_struct;
struct jpeg_common_struct;
struct jpeg_error_mgr;
struct z_stream_s;

/* ---- The API table --------------------------------------------------------- */

/* 0: runtime library. FOpen opens through the player's file layer
   (applet-linked files, memory names and file adapters included); the
   FILE it answers works with every FILE slot here. FStat and Stat fill a
   cxPluginStat. The table ends with a null word. */
typedef struct cxApiRuntime {
    void *(*Malloc)(size_t size);
    void *(*Calloc)(size_t count, size_t size);
    void *(*Realloc)(void *p, size_t size);
    void (*Free)(void *p);
    char *(*StrDup)(const char *s);
    FILE *(*FOpen)(const char *name, const char *mode);
    int (*FClose)(FILE *f);
    int (*FSeek)(FILE *f, long offset, int whence);
    long (*FTell)(FILE *f);
    size_t (*FRead)(void *buffer, size_t size, size_t count, FILE *f);
    size_t (*FWrite)(const void *buffer, size_t size, size_t count, FILE *f);
    int (*FGetC)(FILE *f);
    int (*FPutC)(int c, FILE *f);
    int (*FError)(FILE *f);
    int (*FEof)(FILE *f);
    int (*VFPrintf)(FILE *f, const char *format, va_list args);
    int (*VSNPrintf)(char *out, size_t size, const char *format, va_list args);
    int (*VPrintf)(const char *format, va_list args);
    void (*QSort)(void *base, size_t count, size_t size, int (*compare)(const void *, const void *));
    int (*VSScanf)(const char *text, const char *format, va_list args);
    double (*StrToD)(const char *text, char **end);
    long (*StrToL)(const char *text, char **end, int base);
    unsigned long (*StrToUL)(const char *text, char **end, int base);
    int (*StrICmp)(const char *a, const char *b);               /* in the script encoding */
    int (*StrNICmp)(const char *a, const char *b, size_t n);    /* at most n bytes */
    int (*ToLower)(int c);                                      /* a character of the script encoding */
    int (*ToUpper)(int c);
    char *(*StrLwr)(char *s);                                   /* in place; returns s */
    char *(*StrUpr)(char *s);
    int (*GetTimeOfDay)(struct timeval *tv, void *tz);
    time_t (*Time)(time_t *t);
    long (*LRint)(double x);
    struct tm *(*LocalTime)(const time_t *t);
    struct tm *(*GmTime)(const time_t *t);
    char *(*AscTime)(const struct tm *tm);
    char *(*CTime)(const time_t *t);
    time_t (*MkTime)(struct tm *tm);
    size_t (*StrFTime)(char *out, size_t size, const char *format, const struct tm *tm);
    clock_t (*Clock)(void);
    void (*DiffTime)(double *result, time_t end, time_t start);
    int (*FileNo)(FILE *f);                                     /* -1 for a file of the file layer */
    void (*ClearErr)(FILE *f);
    int (*FFlush)(FILE *f);
    int (*FStat)(FILE *f, cxPluginStat *stat);                  /* 0 or -1 */
    int (*Stat)(const char *name, cxPluginStat *stat);          /* 0 or -1 */
    int (*VFScanf)(FILE *f, const char *format, va_list args);
    int (*UngetC)(int c, FILE *f);
    int (*Rename)(const char *from, const char *to);
    int (*Remove)(const char *name);
    void (*SetErrno)(int value);
    int (*GetErrno)(void);
    int *(*ErrnoLocation)(void);
    char *(*StrError)(int error);
    FILE *(*StdIn)(void);
    FILE *(*StdOut)(void);
    FILE *(*StdErr)(void);
    int *(*ErrnoLocation2)(void); /* the same as ErrnoLocation */
    int (*FPutS)(const char *s, FILE *f);
    char *(*FGetS)(char *out, int size, FILE *f);
    void *end; /* null */
} cxApiRuntime;

/* 1: system. Slots marked "not yet" answer ERR_UNSUPPORTEDFEAT (1288), 0 or
   null (as stated) until the player's service behind them exists. */
typedef struct cxApiSystem {
    /* applet and start-up */
    int (*CheckAppletVersion)(int major, int minor);   /* 1 when the applet is of that version or later */
    int (*GetAppletInfo)(cxTagItem *tags);             /* fills tag data (below); answers the tags filled */
    /* errors */
    int (*RegisterErrorCode)(const char *text);        /* a new code from 1630, or 1000 */
    void (*SetErrorDetail)(const char *text);
    void (*SetErrorNumber)(int number);
    char *(*GetErrorText)(int code, char *buffer, size_t size);
    /* time */
    void (*GetTime)(cxPluginTimeVal *now);
    void (*SubTime)(cxPluginTimeVal *a, const cxPluginTimeVal *b); /* a -= b */
    void (*AddTime)(cxPluginTimeVal *a, const cxPluginTimeVal *b); /* a += b */
    int (*CmpTime)(const cxPluginTimeVal *a, const cxPluginTimeVal *b); /* -1, 0, 1 */
    void (*Delay)(int milliseconds);
    size_t (*GetDateString)(char *out, size_t size, int64_t seconds); /* "DD-Mon-YYYY HH:MM:SS"; seconds -1: now */
    /* memory */
    void *(*AllocMem)(size_t size, int clear);          /* null for size 0 */
    void (*FreeMem)(void *p);
    /* events and listeners. PostSystemEvent codes: 0 end the run, 1 tags
       {function (int (*)(lua_State *, void *)), argument} run on the main
       thread by the dispatcher, 2 wake only, 3-13 input of the display whose
       platform handle is word 0, from 32 a registered type with word 0 as
       its data. The words are the data of the tag items up to the end tag. RegisterEventType's data points at the hooks, one pointer each:
       kind 0 {fill}, kind 1 {push, after-call, free}; 0 when refused. */
    int (*PostSystemEvent)(lua_State *L, int code, const cxTagItem *tags);     /* 0, 1344, 1000 or 1528 */
    int (*PostSystemEventNoState)(int code, const cxTagItem *tags);
    int (*RegisterEventType)(const char *name, uint32_t kind, const uint32_t *data, uint32_t foreign);
    int (*FindEventType)(const char *name, cxTagItem *tags);                  /* -1 when unknown */
    int (*PostRegisteredEvent)(lua_State *L, int type, void *data);           /* calls the handler at once */
    void (*WakeMainThread)(void);
    int (*RequestQuit)(void);
    void *(*AddDisplayListener)(void *display, cxPluginFunc callback, void *userData); /* not yet: null */
    void (*RemoveDisplayListener)(void *listener);                            /* not yet: no effect */
    void (*PostListenerEvent)(void *listener, int type, const intptr_t *data); /* not yet: no effect */
    /* requester and display hooks */
    int (*RegisterDisplayAdapter)(cxPlugin *plugin, uint32_t flags, const cxTagItem *tags);
    int (*RegisterRequesterAdapter)(cxPlugin *plugin, uint32_t flags);
    int (*RegisterTimerAdapter)(cxPlugin *plugin, uint32_t flags);
    int (*RegisterAudioAdapter)(cxPlugin *plugin, uint32_t flags, const cxTagItem *tags); /* not yet: 1288 */
    int (*RefreshDisplayByHandle)(void *handle);                              /* not yet: 1288 */
    int (*ResizeDisplayForListener)(void *listener, int width, int height, const cxTagItem *tags); /* not yet: 1288 */
    int (*GetDisplayAttrTags)(void *listenerOrHandle, cxTagItem *tags);       /* not yet: -1 */
    /* mutexes (recursive) */
    void *(*CreateMutex)(void);
    void (*FreeMutex)(void *mutex);
    void (*LockMutex)(void *mutex);
    void (*UnlockMutex)(void *mutex);
    /* plug-in hook control */
    void (*DisablePlugin)(cxPlugin *plugin, int disabled);
    void (*RemovePluginHooks)(cxPlugin *plugin); /* out of every capability list and adapter slot */
    /* console */
    void (*Print)(const char *text);             /* to standard output, as it stands */
    /* timers, on the player's timer thread. The callback never runs on that
       thread: it runs on the main thread, from the event dispatcher, so
       while the script waits in WaitEvent or calls CheckEvent/CheckEvents
       (as its intervals do). A periodic timer calls it every `milliseconds`
       (a main thread that fell behind gets one call, not a burst); a
       one-shot timer once. AddTimer answers a handle, or null for a period
       below 1 ms, a null callback, or a timer that cannot start; L may be
       null. FreeTimer stops a timer; it may be called from the callback.
       The handle of a one-shot timer dies as it fires, before its callback
       runs: FreeTimer on it afterwards, or inside the callback, does
       nothing. FreeTimer of null, or of a handle freed before, does
       nothing too: handles are never reused within a run. Timers still
       running when their plug-in is unloaded, or at the end of the run,
       are freed by the player. Call both from the main thread only. */
    void *(*AddTimer)(lua_State *L, int milliseconds, int oneShot, cxPluginTimerFunc callback, void *userData);
    void (*FreeTimer)(void *timer);
    /* capability lists */
    int (*AddCapabilityEntry)(cxPlugin *plugin, uint32_t capability);     /* 0, 1000, or 1055 for no such list */
    int (*RemoveCapabilityEntry)(cxPlugin *plugin, uint32_t capability);  /* 0, or 1055 */
    int (*HasCapabilityEntry)(const cxPlugin *plugin, uint32_t capability); /* 1 or 0 */
    /* error handler */
    int (*CallErrorHandler)(lua_State *L, int code);  /* not yet: answers code unchanged */
    int (*GetRaiseOnError)(lua_State *L);             /* not yet: 0 */
    int (*GetErrorPosition)(int *line, char *source, size_t sourceSize, char *command, size_t commandSize);
    /* system folders: 0 home, 1 temporary files, 2 the program's folder,
       3 the per-user data folder, 4 the current folder. 0 or 1060/1066. */
    int (*GetSystemFolder)(int which, char *out, size_t size);
    int (*GetRandomBytes)(void *out, size_t length); /* 0 or 1066 */
    int (*CompareStrings)(const char *a, const char *b, int caseSensitive); /* the player's collation */
    /* objects (not yet: null / 0) */
    void *(*FindObject)(int kind, const cxPluginObjectID *id);
    int (*RegisterObjectKind)(const char *name); /* a kind from 61, or 0 when refused */
    /* encoding and settings */
    int (*GetUtf8Mode)(void);                         /* 1 UTF-8, 0 ISO-8859-1 */
    int (*IsQuiet)(void);                             /* 1 with the QUIET option */
    const char *(*GetStartupOption)(const char *name); /* a value option's text, "1" for a set flag, or null */
    int (*IsPluginStartupPhase)(void);                 /* 1 while plug-ins are being initialised */
} cxApiSystem; /* 55 slots */

/* Tags of GetAppletInfo: 1..6 the info strings (const char *), 7 the applet
   path, 8 the identifier (or null), 9 version major, 10 version minor. */

/* 2: files. Modes of OpenFileStream: 1 read, 2 write (create), 4 read and
   write, plus 0x100 to let file adapters serve the name. Seek modes:
   0 from the current position, 1 from the beginning, 2 from the end. */
typedef struct cxStream cxStream;
typedef struct cxApiFiles {
    cxStream *(*OpenFileStream)(const char *name, int mode, const char *adapters);
    int (*CloseFileStream)(cxStream *s);                     /* non-zero on success */
    int64_t (*SeekFileStream)(cxStream *s, int64_t offset, int mode); /* previous position or -1 */
    size_t (*ReadStreamData)(cxStream *s, void *buffer, size_t length);
    size_t (*WriteStream)(cxStream *s, const void *buffer, size_t length);
    int (*ReadStreamByte)(cxStream *s);                      /* -1 at the end */
    int (*WriteStreamByte)(cxStream *s, int byte);
    int (*IsStreamEof)(cxStream *s);
    uint64_t (*GetStreamSize)(cxStream *s);                  /* all ones when unknown */
    int (*FlushStream)(cxStream *s);
    unsigned (*GetStreamAdapterFlags)(cxStream *s);
    size_t (*ReadStream)(cxStream *s, void *buffer, size_t length);      /* unbuffered */
    size_t (*WriteStreamData)(cxStream *s, const void *buffer, size_t length); /* unbuffered */
    int32_t (*ReadBE32)(cxStream *s);
    int32_t (*ReadLE32)(cxStream *s);
    int (*WriteBE32)(cxStream *s, int32_t value);
    int (*WriteLE32)(cxStream *s, int32_t value);
    int (*DeleteFile)(const char *name);                     /* 0 or 1143 */
    int (*MakeDirectory)(const char *name);                  /* 0 or 1084 */
    int (*RenameFile)(const char *from, const char *to);     /* 0 or 1145 */
    int (*ExaminePath)(const char *name, cxPluginStat *stat); /* non-zero when it exists */
    void *(*LockPath)(const char *name, int mode, const char *adapters); /* not yet: null */
    void (*UnlockPath)(void *lock);                                    /* not yet: no effect */
    int (*ExamineLock)(void *lock, cxPluginStat *stat);                /* not yet: 1288 */
    int (*NextLockEntry)(void *lock, char *name, size_t size, int *isFolder); /* not yet: 0 */
    int (*GetLockPath)(void *lock, char *out, size_t size);           /* not yet: 0 */
    int (*GetCurrentDir)(char *out, size_t size);             /* 0 or 1066 */
    int (*MakeTempFile)(char *out, size_t size);              /* creates an empty file in the temporary folder; 0, 1052 or 1066 */
    int (*AddPart)(char *folder, const char *name, size_t size); /* 1, or 0 when it does not fit */
    const char *(*FilePart)(const char *path);                /* after the last "/", "\\" or ":" */
    int (*MakeChunkName)(const char *display, char *out, size_t size, int64_t offset, uint32_t length,
                         int64_t baseOrReference, const char *source); /* 1 or 0 */
    int (*IsChunkName)(const char *name);
    const char *(*ResolveLinkedFile)(const char *name, char *out, size_t size); /* a linked file's name, or name */
    int (*ReadWholeFile)(const char *name, const char *adapters, void **data, size_t *length); /* 0, 1045, 1000; free data with FreeMem */
    int (*CopyFile)(const char *from, const char *to, const char *adapters); /* 0, 1045, 1052 */
    int (*GetAdapterName)(cxStream *s, char *out, size_t size); /* not yet: 0 */
} cxApiFiles; /* 36 slots */

/* One image of an icon or of the application icon: the lists that
   GetIconImages and GetAppIconList hand out (freed with FreeIconImages),
   and the image GetIconImage makes (its pixels freed with FreeMem). */
typedef struct cxPluginIconImage {
    struct cxPluginIconImage *next;
    uint32_t *pixels; /* 0xAARRGGBB, width x height */
    int32_t width;
    int32_t height;
    uint32_t flags;   /* 1 standard size, 2 selected image, 4 opaque */
} cxPluginIconImage;

/* 3: graphics. Image handles are the player's loaded images; the bitmap
   and drawing slots are not yet served (1288, 0 or null as stated). */
typedef struct cxImageHandle cxImageHandle;
typedef struct cxApiGraphics {
    int (*LoadImage)(lua_State *L, const char *file, const char *loaders, cxImageHandle **out, int *width, int *height); /* not yet: 1288 */
    int (*LoadScaledImage)(lua_State *L, const char *file, const char *loaders, int width, int height, int smooth, cxImageHandle **out); /* not yet: 1288 */
    uint32_t *(*GetImagePixels)(cxImageHandle *image);
    void (*FreeImage)(cxImageHandle *image);          /* drops one reference */
    void (*GetImageSize)(cxImageHandle *image, int *width, int *height);
    cxImageHandle *(*AllocImage)(int width, int height);
    void (*RetainImage)(cxImageHandle *image);
    void *(*LockBitMap)(void *bitmap, int mode, void *lockInfo);   /* not yet: null */
    void (*UnLockBitMap)(void *lock);                               /* not yet: no effect */
    int (*GetBitMapAttr)(void *bitmap, int attribute);              /* 0 width, 1 height of a bitmap store */
    void *(*AllocBitMap)(int kind, int width, int height, uint32_t flags); /* not yet: null */
    void (*FreeBitMap)(void *bitmap);                               /* not yet: no effect */
    int (*GetBrushBitmaps)(const cxPluginObjectID *id, void **bitmap, void **mask, void **alpha, int *width, int *height); /* 1, or 0 for no such brush or a vector brush */
    uint32_t *(*GetBrushARGB)(const cxPluginObjectID *id, int *width, int *height); /* a malloc'd copy (free it), or null */
    int (*CreateBrushFromARGB)(lua_State *L, const cxPluginObjectID *id, const uint32_t *argb, int width, int height, int alpha); /* 0 or an error code; a number ID replaces that brush */
    void *(*FindDisplay)(const cxPluginObjectID *id);              /* not yet: null */
    void *(*GetCurrentDisplay)(void);                               /* not yet: null */
    uint32_t (*ConvertToPixel)(uint32_t argb, int pixelFormat);    /* not yet: argb unchanged */
    uint32_t (*ConvertFromPixel)(uint32_t pixel, int pixelFormat); /* not yet: pixel unchanged */
    int (*ConvertPixels)(const void *src, int srcFormat, int srcModulo, void *dst, int dstFormat, int dstModulo, int width, int height); /* not yet: 1288 */
    int (*BlitBitMap)(void *src, int sx, int sy, void *dst, int dx, int dy, int width, int height, uint32_t flags); /* not yet: 1288 */
    int (*RectFill)(void *bitmap, int x, int y, int width, int height, uint32_t color); /* not yet: 1288 */
    int (*Line)(void *bitmap, int x1, int y1, int x2, int y2, uint32_t color);           /* not yet: 1288 */
    int (*WritePixel)(void *bitmap, int x, int y, uint32_t color);                       /* not yet: 1288 */
    uint32_t (*ReadPixel)(void *bitmap, int x, int y);                                    /* not yet: 0 */
    int (*FillPolygon)(void *bitmap, const double *points, int count, uint32_t color);   /* not yet: 1288 */
    int (*ScalePixels)(const uint32_t *src, int srcWidth, int srcHeight, uint32_t *dst, int dstWidth, int dstHeight, int smooth); /* not yet: 1288 */
    uint32_t *(*ScalePixelsAlloc)(const uint32_t *src, int srcWidth, int srcHeight, int dstWidth, int dstHeight, int smooth); /* not yet: null */
    int (*GetIconImages)(const cxPluginObjectID *id, void **list, int *count);         /* not yet: 1288 */
    void (*FreeIconImages)(void *list);                                                  /* not yet: no effect */
    int (*GetIconImage)(const cxPluginObjectID *id, int width, int height, uint32_t **argb); /* not yet: 1288 */
    int (*GetAppIconList)(void **list, int *count);                                      /* not yet: 1288 */
    int (*GetDefaultPixelFormat)(void);                                                  /* 10 */
    int (*GetPixelFormatBytes)(int pixelFormat);                                         /* 2, 3 or 4; 0 for an unknown format */
    void *(*WrapImage)(void *data, uint32_t *argb, int width, int height, void (*freeData)(void *data)); /* an image handle, or null */
    uint32_t *(*GetOverridePixels)(cxImageHandle *image);
} cxApiGraphics; /* 36 slots */

/* 4: audio (not yet: 1288 / null). */
typedef struct cxApiAudio {
    int (*ReplaceSampleData)(lua_State *L, const cxPluginObjectID *id, const void *data, int frames, int channels, int bits, int rate);
    void *(*OpenSoundStream)(const char *file, const char *loaders, struct cxSoundFormat *format);
    int (*ReadSoundStream)(void *stream, void *buffer, int frames);
} cxApiAudio;

/* 5: requesters (not yet: 1288). */
typedef struct cxApiRequesters {
    int (*SystemRequest)(const char *title, const char *body, const char *buttons, int *choice);
    int (*FileRequest)(const char *title, const char *folder, const char *file, const char *pattern, uint32_t flags, char *out, size_t size);
    int (*PathRequest)(const char *title, const char *folder, uint32_t flags, char *out, size_t size);
    int (*RequesterHook)(lua_State *L, int type, const cxTagItem *tags);
} cxApiRequesters;

/* 6: fonts (not yet: null). */
typedef struct cxApiFonts {
    void *(*OpenFont)(const char *name, int size, const cxTagItem *tags);
} cxApiFonts;

/* 7: FreeType 2. */
typedef struct cxApiFreeType {
    cxFT_Error (*FT_Init_FreeType)(cxFT_Library *library);
    cxFT_Error (*FT_Done_FreeType)(cxFT_Library library);
    cxFT_Error (*FT_New_Face)(cxFT_Library library, const char *path, long index, cxFT_Face *face);
    cxFT_Error (*FT_New_Memory_Face)(cxFT_Library library, const unsigned char *data, long size, long index, cxFT_Face *face);
    cxFT_Error (*FT_Done_Face)(cxFT_Face face);
    cxFT_Error (*FT_Set_Char_Size)(cxFT_Face face, long width, long height, unsigned int hres, unsigned int vres);
    cxFT_Error (*FT_Set_Pixel_Sizes)(cxFT_Face face, unsigned int width, unsigned int height);
    void (*FT_Set_Transform)(cxFT_Face face, cxFT_Matrix *matrix, cxFT_Vector *delta);
    unsigned int (*FT_Get_Char_Index)(cxFT_Face face, unsigned long code);
    cxFT_Error (*FT_Load_Glyph)(cxFT_Face face, unsigned int glyph, int32_t flags);
    cxFT_Error (*FT_Load_Char)(cxFT_Face face, unsigned long code, int32_t flags);
    cxFT_Error (*FT_Render_Glyph)(cxFT_GlyphSlot slot, cxFT_Render_Mode mode);
    cxFT_Error (*FT_Get_Kerning)(cxFT_Face face, unsigned int left, unsigned int right, unsigned int mode, cxFT_Vector *kerning);
    cxFT_Error (*FT_Select_Charmap)(cxFT_Face face, cxFT_Encoding encoding);
    cxFT_Error (*FT_Set_Charmap)(cxFT_Face face, cxFT_CharMap charmap);
    unsigned long (*FT_Get_First_Char)(cxFT_Face face, unsigned int *glyph);
    unsigned long (*FT_Get_Next_Char)(cxFT_Face face, unsigned long code, unsigned int *glyph);
    cxFT_Error (*FT_Get_Glyph_Name)(cxFT_Face face, unsigned int glyph, void *buffer, unsigned int size);
    const char *(*FT_Get_Postscript_Name)(cxFT_Face face);
    cxFT_Error (*FT_Outline_Embolden)(cxFT_Outline *outline, long strength);
    void (*FT_GlyphSlot_Embolden)(cxFT_GlyphSlot slot);
    long (*FT_MulFix)(long a, long b); /* slot 21 */
    long (*FT_DivFix)(long a, long b);
    void (*FT_Vector_Transform)(cxFT_Vector *vector, const cxFT_Matrix *matrix);
    cxFT_Error (*FT_Outline_Decompose)(cxFT_Outline *outline, const cxFT_Outline_Funcs *funcs, void *user);
    void (*FT_Outline_Get_CBox)(const cxFT_Outline *outline, cxFT_BBox *box);
    void (*FT_Outline_Translate)(const cxFT_Outline *outline, long x, long y);
    void (*FT_Outline_Transform)(const cxFT_Outline *outline, const cxFT_Matrix *matrix);
    cxFT_Error (*FT_Outline_Get_Bitmap)(cxFT_Library library, cxFT_Outline *outline, const cxFT_Bitmap *bitmap);
    cxFT_Error (*FT_Outline_Render)(cxFT_Library library, cxFT_Outline *outline, cxFT_Raster_Params *params);
    cxFT_Error (*FT_Stroker_New)(cxFT_Library library, cxFT_Stroker *stroker);
    void (*FT_Stroker_Set)(cxFT_Stroker stroker, long radius, cxFT_LineCap cap, cxFT_LineJoin join, long miterLimit);
    void (*FT_Stroker_Done)(cxFT_Stroker stroker);
    cxFT_Error (*FT_Glyph_Stroke)(cxFT_Glyph *glyph, cxFT_Stroker stroker, unsigned char destroy);
    cxFT_Error (*FT_Get_Glyph)(cxFT_GlyphSlot slot, cxFT_Glyph *glyph);
    void (*FT_Done_Glyph)(cxFT_Glyph glyph);
    cxFT_Error (*FT_Glyph_Transform)(cxFT_Glyph glyph, const cxFT_Matrix *matrix, const cxFT_Vector *delta);
    cxFT_Error (*FT_Glyph_To_Bitmap)(cxFT_Glyph *glyph, cxFT_Render_Mode mode, const cxFT_Vector *origin, unsigned char destroy);
} cxApiFreeType; /* 38 slots */

/* 8: the virtual machine. The slots behave as the functions of the same
   names; luaG_runerror raises a script error by its error code and never
   returns. The object-ID readers fill *id; an absent optional argument
   gives {0, null}. */
typedef struct cxApiVM {
    int (*lua_gettop)(lua_State *L);
    void (*lua_settop)(lua_State *L, int idx);
    void (*lua_pushvalue)(lua_State *L, int idx);
    void (*lua_remove)(lua_State *L, int idx);
    void (*lua_insert)(lua_State *L, int idx);
    void (*lua_replace)(lua_State *L, int idx);
    int (*lua_iscfunction)(lua_State *L, int idx);
    int (*lua_isnumber)(lua_State *L, int idx);
    int (*lua_isstring)(lua_State *L, int idx);
    int (*lua_isuserdata)(lua_State *L, int idx);
    int (*lua_type)(lua_State *L, int idx);
    int (*lua_equal)(lua_State *L, int idx1, int idx2);
    int (*lua_rawequal)(lua_State *L, int idx1, int idx2);
    int (*lua_lessthan)(lua_State *L, int idx1, int idx2);
    lua_Number (*lua_tonumber)(lua_State *L, int idx);
    const char *(*lua_tostring)(lua_State *L, int idx);
    size_t (*lua_strlen)(lua_State *L, int idx);
    lua_CFunction (*lua_tocfunction)(lua_State *L, int idx);
    void *(*lua_touserdata)(lua_State *L, int idx);
    const void *(*lua_topointer)(lua_State *L, int idx);
    void (*lua_pushnil)(lua_State *L);
    void (*lua_pushnumber)(lua_State *L, lua_Number n);
    void (*lua_pushlstring)(lua_State *L, const char *s, size_t len);
    void (*lua_pushstring)(lua_State *L, const char *s);
    void (*lua_pushlightuserdata)(lua_State *L, void *p);
    void (*lua_pushcclosure)(lua_State *L, lua_CFunction fn, int n);
    void (*lua_gettable)(lua_State *L, int idx);
    void (*lua_rawget)(lua_State *L, int idx);
    void (*lua_rawgeti)(lua_State *L, int idx, int n);
    void (*lua_newtable)(lua_State *L);
    void (*lua_getfenv)(lua_State *L, int idx);
    void (*lua_settable)(lua_State *L, int idx);
    void (*lua_rawset)(lua_State *L, int idx);
    void (*lua_rawseti)(lua_State *L, int idx, int n);
    int (*lua_setfenv)(lua_State *L, int idx);
    int (*lua_pcall)(lua_State *L, int nargs, int nresults, int errfunc);
    int (*lua_next)(lua_State *L, int idx);
    void (*lua_concat)(lua_State *L, int n);
    int (*lua_pushupvalues)(lua_State *L);
    const char *(*lua_getupvalue)(lua_State *L, int funcindex, int n);
    const char *(*lua_setupvalue)(lua_State *L, int funcindex, int n);
    void *(*lua_newuserdata)(lua_State *L, size_t size);
    int (*lua_setmetatable)(lua_State *L, int objindex);
    int (*lua_getmetatable)(lua_State *L, int objindex);
    void (*luaG_runerror)(lua_State *L, int code);
    const char *(*luaL_checklstring)(lua_State *L, int arg, size_t *len);
    const char *(*luaL_optlstring)(lua_State *L, int arg, const char *def, size_t *len);
    lua_Number (*luaL_checknumber)(lua_State *L, int arg);
    lua_Number (*luaL_optnumber)(lua_State *L, int arg, lua_Number def);
    int (*luaL_checkint)(lua_State *L, int arg);
    int (*luaL_optint)(lua_State *L, int arg, int def);
    void (*luaL_checktable)(lua_State *L, int arg);
    void (*luaL_checkfunction)(lua_State *L, int arg);
    void (*luaL_checktype)(lua_State *L, int arg, int type);
    int (*luaL_ref)(lua_State *L, int t);
    void (*luaL_unref)(lua_State *L, int t, int ref);
    void (*GetObjectIDArg)(lua_State *L, int arg, cxPluginObjectID *id);
    int (*luaL_newmetatable)(lua_State *L, const char *name);
    void (*luaL_getmetatable)(lua_State *L, const char *name);
    void *(*luaL_checkudata)(lua_State *L, int arg, const char *name);
    void (*luaL_buffinit)(lua_State *L, cxLuaBuffer *b);
    char *(*luaL_prepbuffer)(cxLuaBuffer *b);
    void (*luaL_addlstring)(cxLuaBuffer *b, const char *s, size_t len);
    void (*luaL_addstring)(cxLuaBuffer *b, const char *s);
    void (*luaL_addvalue)(cxLuaBuffer *b);
    void (*luaL_pushresult)(cxLuaBuffer *b);
    int (*luaL_findstring)(const char *name, const char *const list[]);
    int (*lua_checkstack)(lua_State *L, int n);
    const char *(*GetFileNameArg)(lua_State *L, int arg);
    void (*GetOptObjectIDArg)(lua_State *L, int arg, cxPluginObjectID *id);
    void (*lua_pushboolean)(lua_State *L, int b);
    int (*lua_toboolean)(lua_State *L, int idx);
    void (*lua_createtable)(lua_State *L, int narr, int nrec);
    const char *(*lua_typename)(lua_State *L, int type);
    void (*lua_call)(lua_State *L, int nargs, int nresults);
    int (*lua_getgcthreshold)(lua_State *L);
    int (*lua_getgccount)(lua_State *L);
    void (*lua_setgcthreshold)(lua_State *L, int threshold);
} cxApiVM; /* 78 slots */

/* 9: the built-in faces: Vera Sans, Vera Sans Mono, Vera Serif (TrueType
   data), then their sizes in bytes (65,932; 49,224; 60,280). Null and 0
   while the player carries no faces. */
typedef struct cxApiBuiltinFonts {
    const void *faces[3];
    uintptr_t sizes[3];
} cxApiBuiltinFonts;

/* 10: zlib. */
typedef struct cxApiZlib {
    int (*inflateInit_)(struct z_stream_s *strm, const char *version, int streamSize);
    int (*inflate)(struct z_stream_s *strm, int flush);
    int (*inflateEnd)(struct z_stream_s *strm);
    int (*deflateInit_)(struct z_stream_s *strm, int level, const char *version, int streamSize);
    int (*deflate)(struct z_stream_s *strm, int flush);
    int (*deflateEnd)(struct z_stream_s *strm);
    int (*inflateInit2_)(struct z_stream_s *strm, int windowBits, const char *version, int streamSize);
    int (*inflateReset)(struct z_stream_s *strm);
    int (*deflateReset)(struct z_stream_s *strm);
    int (*compress2)(unsigned char *dest, unsigned long *destLen, const unsigned char *source, unsigned long sourceLen, int level);
    int (*uncompress)(unsigned char *dest, unsigned long *destLen, const unsigned char *source, unsigned long sourceLen);
    int (*deflateInit2_)(struct z_stream_s *strm, int level, int method, int windowBits, int memLevel, int strategy,
                         const char *version, int streamSize);
    unsigned long (*crc32)(unsigned long crc, const unsigned char *buf, unsigned int len);
} cxApiZlib; /* 13 slots */

/* 11: libjpeg (libjpeg-turbo, interface 6.2). */
typedef struct cxApiJpeg {
    void (*jpeg_CreateDecompress)(struct jpeg_decompress_struct *cinfo, int version, size_t structSize);
    cxJpegBool (*jpeg_finish_decompress)(struct jpeg_decompress_struct *cinfo);
    void (*jpeg_destroy_decompress)(struct jpeg_decompress_struct *cinfo);
    struct jpeg_error_mgr *(*jpeg_std_error)(struct jpeg_error_mgr *err);
    int (*jpeg_read_header)(struct jpeg_decompress_struct *cinfo, cxJpegBool requireImage);
    cxJpegDimension (*jpeg_read_scanlines)(struct jpeg_decompress_struct *cinfo, cxJpegSampArray lines, cxJpegDimension count);
    cxJpegBool (*jpeg_start_decompress)(struct jpeg_decompress_struct *cinfo);
    cxJpegBool (*jpeg_resync_to_restart)(struct jpeg_decompress_struct *cinfo, int desired);
    void (*jpeg_CreateCompress)(struct jpeg_compress_struct *cinfo, int version, size_t structSize);
    void (*jpeg_finish_compress)(struct jpeg_compress_struct *cinfo);
    void (*jpeg_destroy_compress)(struct jpeg_compress_struct *cinfo);
    void (*jpeg_start_compress)(struct jpeg_compress_struct *cinfo, cxJpegBool writeAllTables);
    void (*jpeg_set_defaults)(struct jpeg_compress_struct *cinfo);
    cxJpegDimension (*jpeg_write_scanlines)(struct jpeg_compress_struct *cinfo, cxJpegSampArray lines, cxJpegDimension count);
    void (*jpeg_set_quality)(struct jpeg_compress_struct *cinfo, int quality, cxJpegBool forceBaseline);
    void (*jpeg_set_colorspace)(struct jpeg_compress_struct *cinfo, cxJpegColorSpace space);
    void (*jpeg_simple_progression)(struct jpeg_compress_struct *cinfo);
    void (*jpeg_destroy)(struct jpeg_common_struct *cinfo);
    void (*jpeg_save_markers)(struct jpeg_decompress_struct *cinfo, int marker, unsigned int lengthLimit);
    void (*jpeg_stdio_src)(struct jpeg_decompress_struct *cinfo, FILE *in);
    void (*jpeg_stdio_dest)(struct jpeg_compress_struct *cinfo, FILE *out);
    void (*jpeg_abort_decompress)(struct jpeg_decompress_struct *cinfo);
    void (*jpeg_calc_output_dimensions)(struct jpeg_decompress_struct *cinfo);
    void (*jpeg_mem_src)(struct jpeg_decompress_struct *cinfo, const unsigned char *data, unsigned long size);
    void (*jpeg_mem_dest)(struct jpeg_compress_struct *cinfo, unsigned char **data, unsigned long *size);
} cxApiJpeg; /* 25 slots */

/* 12: the opened plug-ins, in load order. */
typedef struct cxPluginNode {
    struct cxPluginNode *next;
    cxPlugin *plugin;
} cxPluginNode;
typedef struct cxApiPluginList {
    cxPluginNode *(*GetFirstPlugin)(void); /* null when none is open */
    cxPluginNode *(*GetNextPlugin)(cxPluginNode *node);
    cxPlugin *(*GetNodePlugin)(cxPluginNode *node);
    uint32_t (*GetNodeCapabilities)(cxPluginNode *node);
    const char *(*GetNodePath)(cxPluginNode *node);
} cxApiPluginList;

/* 13: digests and Base64. Results of the encoders are allocated; release
   them with FreeMem. */
typedef struct cxApiDigest {
    char *(*Base64Encode)(const void *data, size_t length, size_t *outLength);
    void *(*Base64Decode)(const char *text, size_t length, size_t *outLength); /* null for bad input */
    uint32_t (*Crc32)(uint32_t crc, const void *data, int length);           /* 0xFFFFFFFF (-1) for length <= 0 */
    int (*Md5)(const void *data, size_t length, char out[33]);               /* not yet: 1288 */
} cxApiDigest;

/* 14: Unicode (UTF-8). */
typedef struct cxApiUnicode {
    int (*Utf8Length)(const char *s);                      /* characters, or -1 when invalid */
    int (*CompareNoCase)(const char *a, const char *b);
    int (*NCompareNoCase)(const char *a, const char *b, size_t chars);
    uint32_t (*ToLower)(uint32_t c);
    uint32_t (*ToUpper)(uint32_t c);
    int (*IsAlNum)(uint32_t c);
    int (*IsAlpha)(uint32_t c);
    int (*IsCntrl)(uint32_t c);
    int (*IsDigit)(uint32_t c);
    int (*IsGraph)(uint32_t c);
    int (*IsLower)(uint32_t c);
    int (*IsPrint)(uint32_t c);
    int (*IsPunct)(uint32_t c);
    int (*IsSpace)(uint32_t c);
    int (*IsXDigit)(uint32_t c);
    int (*IsUpper)(uint32_t c);
    int (*Validate)(const char *s, size_t length);          /* 1 valid, 0 not */
    size_t (*CharToByteOffset)(const char *s, ptrdiff_t chars);
    size_t (*ByteToCharOffset)(const char *s, ptrdiff_t bytes);
    uint32_t (*NextChar)(const char *s, size_t *index);
    int (*EncodeChar)(char *out, uint32_t c);               /* out holds 5 bytes; answers the length */
} cxApiUnicode;

/* 15: locale, from the environment (LANG) and the C library. */
typedef struct cxApiLocale {
    const char *(*GetLanguage)(void);  /* ISO 639 code, "en" when unknown */
    const char *(*GetCountry)(void);   /* ISO 3166 code, "" when unknown */
    long (*GetTimeZoneOffset)(void);   /* seconds east of UTC, now */
} cxApiLocale;

struct cxPluginApi {
    int32_t version;  /* 8 */
    int32_t revision; /* 0 */
    const cxApiRuntime *runtime;
    const cxApiSystem *system;
    const cxApiFiles *files;
    const cxApiGraphics *graphics;
    const cxApiAudio *audio;
    const cxApiRequesters *requesters;
    const cxApiFonts *fonts;
    const cxApiFreeType *freetype;
    const cxApiVM *vm;
    const cxApiBuiltinFonts *builtinFonts;
    const cxApiZlib *zlib;
    const cxApiJpeg *jpeg;
    const cxApiPluginList *plugins;
    const cxApiDigest *digest;
    const cxApiUnicode *unicode;
    const cxApiLocale *locale;
};

#ifdef __cplusplus
}
#endif

#endif /* CALYXTONE_CXPLUGIN_H */
