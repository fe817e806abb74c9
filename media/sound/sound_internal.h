// What the files of the sound library share: the sample and music records
// and the sound state.
#pragma once

#include <stdint.h>

#include <string>

#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "media/sound/sound_stream.h"

struct cxSample {
    cxObjectHeader header; /* kind CX_OBJ_SAMPLE */
    cxSampleData *data;
    uint32_t volume;
    uint32_t pitch;
    int32_t formatCode;
    uint32_t bytes;
    uint32_t panning;
    uintptr_t loader;
};

enum { CX_MUSIC_STOPPED = 0, CX_MUSIC_PLAYING = 1, CX_MUSIC_PAUSED = 2 };

struct cxMusic {
    cxObjectHeader header; /* kind CX_OBJ_MUSIC */
    char *fileName;
    void *source;
    uint32_t sourceKind;
    uint32_t state;
    uint32_t volume;
    uint32_t times;
    uint32_t pass;
    uint32_t position;
    uint32_t callback;
    uint32_t seekable;
    uint32_t subsongCount;
    uint32_t currentSubsong;
    uint32_t channel;
    uintptr_t loader;
    char adapters[256];
};

struct cxSoundState {
    cxObjectList samples{CX_OBJ_SAMPLE, ERR_FINDSAMPLE, nullptr, nullptr};
    cxObjectList music{CX_OBJ_MUSIC, ERR_FINDMUSIC, nullptr, nullptr};
    bool audioOpen = false;
    bool forceSound = false;
    bool noSound = false;
    bool audioFailed = false;
    std::string device = "default";
    cxMusic *playing = nullptr;
    cxMusic *paused = nullptr;
    bool inCallback = false;
    /* The music whose handler runs (it must not be freed under it), and the
       one the dispatcher is about to ask. */
    cxMusic *callbackMusic = nullptr;
    cxMusic *askedMusic = nullptr;
    bool tickClaimed = false;
};

cxSoundState &SoundState();

/* The "audio gate": true when sound is off (NOSOUND) or failed to open. */
bool SoundOff();
/* Opens the engine when not open. 0; -1 when it failed quietly (the
   command then does nothing); the error when sound is forced. */
int EnsureAudio(lua_State *L);

/* Script format constants and internal codes. */
int ScriptFormatToCode(int format);  /* -1 for anything else */
int CodeToScriptFormat(int code);
/* LEFT, RIGHT, CENTER or a value clamped to 0..255. */
uint32_t ReadPanning(double value);

int FindSample(cxObjectID id, cxSample **out);
int FindMusic(cxObjectID id, cxMusic **out);
void FreeSampleRecord(lua_State *L, cxSample *s);
void FreeMusicRecord(lua_State *L, cxMusic *m);
/* Stops a music (pause or not) as the music commands do: 0 or 1478. */
int StopMusicObject(lua_State *L, cxMusic *m, int pause);
/* Starts a music with its stored pass and position. */
int StartMusicObject(lua_State *L, cxMusic *m);
/* Frees every sample and every music (clean-up, CloseAudio). */
void FreeAllSamples(lua_State *L);
void FreeAllMusic(lua_State *L);

/* The conversion of sample frames into another format (InsertSample and
   FillMusicBuffer's "sample" source): options of the table at index (or 0
   for none). Writes frames frames of the destination layout (code, flags)
   into out. 0 or ERR_SMPRANGE. */
int ConvertSampleFrames(lua_State *L, int options, const cxSampleData *src, unsigned char *out, uint32_t frames,
                        int code, uint32_t flags);

/* Writes a RIFF WAVE file. 0 or ERR_WRITEFILE, ERR_WRITE, ERR_CLOSEFILE,
   ERR_WRONGUSAGE (more than 4 GiB). */
int WriteWaveFile(const char *name, const cxSampleData *d, uint32_t pitch);

/* The commands (sample_commands.cpp, music_commands.cpp,
   sound_library.cpp); the library's table lists them in its order. */
int FreeSampleCmd(lua_State *L);
int LoadSampleCmd(lua_State *L);
int IsSoundCmd(lua_State *L);
int GetPatternPositionCmd(lua_State *L);
int GetSongPositionCmd(lua_State *L);
int PlaySubsongCmd(lua_State *L);
int WaitPatternPositionCmd(lua_State *L);
int WaitSongPositionCmd(lua_State *L);
int WaitSampleEndCmd(lua_State *L);
int IsSamplePlayingCmd(lua_State *L);
int SetVolumeCmd(lua_State *L);
int SetPitchCmd(lua_State *L);
int SetPanningCmd(lua_State *L);
int StopSampleCmd(lua_State *L);
int PlaySampleCmd(lua_State *L);
int SetMasterVolumeCmd(lua_State *L);
int IsSampleCmd(lua_State *L);
int CreateSampleCmd(lua_State *L);
int OpenMusicCmd(lua_State *L);
int CloseMusicCmd(lua_State *L);
int PlayMusicCmd(lua_State *L);
int StopMusicCmd(lua_State *L);
int PauseMusicCmd(lua_State *L);
int ResumeMusicCmd(lua_State *L);
int SeekMusicCmd(lua_State *L);
int SetMusicVolumeCmd(lua_State *L);
int IsMusicCmd(lua_State *L);
int IsMusicPlayingCmd(lua_State *L);
int SaveSampleCmd(lua_State *L);
int GetSampleDataCmd(lua_State *L);
int CreateMusicCmd(lua_State *L);
int FillMusicBufferCmd(lua_State *L);
int MixSampleCmd(lua_State *L);
int CopySampleCmd(lua_State *L);
int InsertSampleCmd(lua_State *L);
int FlushMusicBufferCmd(lua_State *L);
int IsChannelPlayingCmd(lua_State *L);
int HaveFreeChannelCmd(lua_State *L);
int StopChannelCmd(lua_State *L);
int GetChannelsCmd(lua_State *L);
int SetChannelVolumeCmd(lua_State *L);
int OpenAudioCmd(lua_State *L);
int CloseAudioCmd(lua_State *L);
int ForceSoundCmd(lua_State *L);

/* A music callback's pending request (FindMusicToFill): frames wanted, 0
   when no callback music needs any. */
uint32_t FindMusicToFill(cxObjectID *id, uint32_t *position);
/* Hands FindMusicToFill and the in-callback flag to the dispatcher. */
void InstallMusicFillSource(void);
