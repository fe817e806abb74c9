// Compiled (not run) for 32-bit ARM by the cross compiler: the plug-in
// record and the API table keep the byte offsets that plug-ins built for
// the player's target rely on.
#include <cstddef>

#include "include/calyxtone/cxplugin.h"

static_assert(sizeof(void *) == 4, "a 32-bit target");

#define AT(field, offset) static_assert(offsetof(cxPlugin, field) == (offset), #field)
AT(capabilities, 0);
AT(version, 4);
AT(revision, 8);
AT(apiVersion, 12);
AT(apiRevision, 16);
AT(name, 20);
AT(moduleName, 24);
AT(author, 28);
AT(description, 32);
AT(copyright, 36);
AT(url, 40);
AT(date, 44);
AT(helpReference, 48);
AT(callingConvention, 56);
AT(tag, 64);
AT(pixelFormat, 68);
AT(drawFlags, 80);
AT(displayFlags, 96);
AT(requesterFlags, 100);
AT(timerFlags, 104);
AT(extensions, 140);
AT(InitPlugin, 280);
AT(ClosePlugin, 284);
AT(IsImage, 288);
AT(OpenAnim, 308);
AT(OpenStream, 328);
AT(GetPathExtents, 348);
AT(OpenVideo, 380);
AT(GetBaseTable, 424);
AT(PushUpvalues, 456);
AT(GetScript, 460);
AT(RegisterImageSaver, 468);
AT(imageFormats, 476);
AT(animFormats, 480);
AT(RegisterAnimSaver, 484);
AT(RegisterSampleSaver, 500);
AT(sampleFormats, 508);
AT(RequirePlugin, 512);
AT(HandleEvents, 516);
AT(AdapterMainLoop, 516 + 29 * 4);
AT(GetBitMapAttr, 688);
AT(RegisterTimer, 692);
AT(SystemRequest, 700);
AT(FOpen, 732);
AT(Stat, 772);
AT(OpenDir, 776);
AT(RewindDir, 788);
AT(OpenAudio, 792);
AT(GetExtensions, 812);
AT(OpenConnection, 816);
AT(SendData, 832);
#undef AT
static_assert(sizeof(cxPlugin) == 836, "the record is 836 bytes");

static_assert(offsetof(cxPluginApi, version) == 0);
static_assert(offsetof(cxPluginApi, revision) == 4);
static_assert(offsetof(cxPluginApi, runtime) == 8);
static_assert(offsetof(cxPluginApi, vm) == 8 + 8 * 4);
static_assert(offsetof(cxPluginApi, locale) == 8 + 15 * 4);
static_assert(sizeof(cxApiRuntime) == 60 * 4);
static_assert(sizeof(cxApiSystem) == 55 * 4);
static_assert(sizeof(cxApiFiles) == 36 * 4);
static_assert(sizeof(cxApiGraphics) == 36 * 4);
static_assert(sizeof(cxApiFreeType) == 38 * 4);
static_assert(offsetof(cxApiFreeType, FT_MulFix) == 21 * 4);
static_assert(sizeof(cxApiVM) == 78 * 4);
static_assert(offsetof(cxApiVM, luaG_runerror) == 44 * 4);
static_assert(sizeof(cxApiBuiltinFonts) == 6 * 4);
static_assert(sizeof(cxApiZlib) == 13 * 4);
static_assert(sizeof(cxApiJpeg) == 25 * 4);
static_assert(sizeof(cxApiUnicode) == 21 * 4);
static_assert(sizeof(cxTagItem) == 8);
static_assert(sizeof(cxSaverFormat) == 12);
static_assert(offsetof(cxPluginStat, flags) == 4 && offsetof(cxPluginStat, sizeLow) == 8 &&
              offsetof(cxPluginStat, sizeHigh) == 12 && offsetof(cxPluginStat, accessTime) == 16);
static_assert(sizeof(cxPluginIconImage) == 20 && offsetof(cxPluginIconImage, pixels) == 4 &&
              offsetof(cxPluginIconImage, flags) == 16);
static_assert(sizeof(cxAnimInfo) == 32 && offsetof(cxAnimInfo, frames) == 12 && offsetof(cxAnimInfo, adapters) == 24 &&
              offsetof(cxAnimInfo, transparency) == 28);
static_assert(sizeof(cxAnimFrameRequest) == 32 && offsetof(cxAnimFrameRequest, hasTransparency) == 8);
static_assert(sizeof(cxAnimFrame) == 32 && offsetof(cxAnimFrame, colours) == 12 && offsetof(cxAnimFrame, delay) == 20 &&
              offsetof(cxAnimFrame, format) == 28);
static_assert(sizeof(cxSoundFormat) == 36 && offsetof(cxSoundFormat, flags) == 16 &&
              offsetof(cxSoundFormat, adapters) == 28 && offsetof(cxSoundFormat, bitRate) == 32);
static_assert(sizeof(cxStreamRequest) == 16 && offsetof(cxStreamRequest, ended) == 12);
static_assert(sizeof(cxSampleRequest) == 32 && offsetof(cxSampleRequest, pitch) == 20 &&
              offsetof(cxSampleRequest, format) == 28);
static_assert(sizeof(cxAudioChannel) == 144 && offsetof(cxAudioChannel, kind) == 12 &&
              offsetof(cxAudioChannel, id) == 20 && offsetof(cxAudioChannel, startTime) == 64 &&
              offsetof(cxAudioChannel, music) == 84 && offsetof(cxAudioChannel, endTime) == 96 &&
              offsetof(cxAudioChannel, Fill) == 124 && offsetof(cxAudioChannel, panning) == 140);
static_assert(sizeof(cxVideoFormat) == 64 && offsetof(cxVideoFormat, flags) == 32 &&
              offsetof(cxVideoFormat, frameDuration) == 40 && offsetof(cxVideoFormat, streamSize) == 48 &&
              offsetof(cxVideoFormat, adapters) == 56);
static_assert(sizeof(cxVideoPacket) == 32 && offsetof(cxVideoPacket, type) == 8 && offsetof(cxVideoPacket, pts) == 24);
static_assert(sizeof(cxVideoFrame) == 72 && offsetof(cxVideoFrame, pts) == 32 &&
              offsetof(cxVideoFrame, bytePosition) == 48 && offsetof(cxVideoFrame, buffer) == 64 &&
              offsetof(cxVideoFrame, size) == 68);
