#include "media/anim/anim_reader.h"

#include <stdlib.h>
#include <string.h>

#include "engine/plugins/plugin_registry.h"
#include "errors/errors.h"
#include "images/formats/gif_codec.h"
#include "images/formats/iff_anim.h"
#include "media/avi/avi_reader.h"
#include "streams/stream.h"

struct cxAnimReader {
    void *state;              // the format reader's record or the plug-in's handle
    uint32_t type;            // cxAnimReaderType
    uint32_t transparency;    // handed to a plug-in's LoadFrame
    cxPlugin *plugin;
    int32_t frames;
};

namespace {

const char *PluginName(const cxPlugin *p) { return p->moduleName ? p->moduleName : (p->name ? p->name : ""); }

// The anim-loader plug-ins the loader list lets serve, in list order; the
// first whose OpenAnim gives a handle takes the file.
bool OpenWithPlugins(const char *file, const char *loaders, const char *adapters, int transparency, cxAnimReader *r,
                     cxAnimInfo *info) {
    AddNamedAdapterList(loaders, CX_CAP_ANIMLOADER);
    for (cxPluginNode *n = GetCapabilityList(CX_CAP_ANIMLOADER); n; n = n->next) {
        cxPlugin *p = n->plugin;
        if (!p || p->disabled) continue;
        if (!MatchLoaderList(loaders, PluginName(p), 1)) continue;
        if (p->onlyWhenNamed && !IsLoaderNamed(loaders, PluginName(p))) continue;
        *info = cxAnimInfo{};
        info->adapters = adapters ? adapters : "";
        info->transparency = transparency ? 1 : 0;
        void *handle = CallPluginEntry(p, p->OpenAnim, file, info);
        if (!handle) continue;
        r->state = handle;
        r->type = CX_ANIMREADER_PLUGIN;
        r->plugin = p;
        r->transparency = 0;
        return true;
    }
    return false;
}

// The built-in formats by their first bytes. 0, or an error of the file;
// the reader stays empty when the format is none of them.
int OpenInbuilt(const char *file, const char *adapters, int deinterlace, int transparency, cxAnimReader *r,
                int *width, int *height, int *frames) {
    cxStream *s = OpenFileStream(file, CX_STREAM_READ | CX_STREAM_ADAPTERS, adapters);
    if (!s) {
        SetErrorDetail(file);
        return ERR_READFILE;
    }
    if (IsStreamUnseekable(s)) {
        CloseFileStream(s);
        return ERR_SEEKFILE;
    }
    uint8_t b[12];
    if (ReadStreamData(s, b, 12) != 12) {
        CloseFileStream(s);
        return ERR_READ;
    }
    int type = 0;
    if (memcmp(b, "FORM", 4) == 0 && memcmp(b + 8, "ANIM", 4) == 0) type = CX_ANIMREADER_IFF;
    else if (memcmp(b, "GIF87", 5) == 0 || memcmp(b, "GIF89", 5) == 0) type = CX_ANIMREADER_GIF;
    else if (memcmp(b, "RIFF", 4) == 0 && memcmp(b + 8, "AVI ", 4) == 0) type = CX_ANIMREADER_AVI;
    if (!type || SeekFileStream(s, 0, CX_SEEK_BEGINNING) < 0) {
        CloseFileStream(s);
        return 0;
    }
    // Each reader owns the stream from here, failing or not.
    switch (type) {
    case CX_ANIMREADER_IFF: r->state = OpenIFFAnim(s, deinterlace == 1, width, height, frames, transparency); break;
    case CX_ANIMREADER_GIF: r->state = OpenGIFFile(s, width, height, frames, 0, transparency, transparency); break;
    default: r->state = OpenAviReader(s, width, height, frames); break;
    }
    if (r->state) r->type = uint32_t(type);
    return 0;
}

}  // namespace

extern "C" int OpenAnimFile(const char *file, const char *loaders, const char *adapters, int deinterlace,
                            int transparency, cxAnimReader **out, int *width, int *height, int *frames, int *hasAlpha,
                            cxPlugin **loader) {
    *out = nullptr;
    if (loader) *loader = nullptr;
    auto *r = static_cast<cxAnimReader *>(calloc(1, sizeof(cxAnimReader)));
    if (!r) return ERR_MEM;
    int w = 0, h = 0, n = 0, alpha = 0;
    cxAnimInfo info{};
    if (OpenWithPlugins(file, loaders, adapters, transparency, r, &info)) {
        w = info.width, h = info.height, n = info.frames, alpha = info.hasAlpha != 0;
        if (loader) *loader = r->plugin;
    } else if (MatchLoaderList(loaders, "inbuilt", 0)) {
        if (int err = OpenInbuilt(file, adapters, deinterlace, transparency, r, &w, &h, &n)) {
            free(r);
            return err;
        }
        // IFF ANIM and GIF frames carry the file's transparency in their
        // alpha bytes; AVI frames carry none.
        alpha = 0;
    }
    // The native decoder would come last ("native"); Linux has none.
    if (!r->type || n < 1 || w < 1 || h < 1) {
        if (r->type) CloseAnimReader(r);
        else free(r);
        SetErrorDetail(file);
        return ERR_OPENANIM2;
    }
    r->frames = n;
    *out = r;
    if (width) *width = w;
    if (height) *height = h;
    if (frames) *frames = n;
    if (hasAlpha) *hasAlpha = alpha;
    return 0;
}

extern "C" uint32_t *ReadAnimReaderFrame(cxAnimReader *r, int frame, int alphaWanted, int *hasTransparency) {
    if (hasTransparency) *hasTransparency = 0;
    if (!r || frame < 0 || frame >= r->frames) return nullptr;
    int transparent = 0;
    uint32_t *px = nullptr;
    switch (r->type) {
    case CX_ANIMREADER_IFF: px = ReadIFFAnimFrame(static_cast<cxIffAnim *>(r->state), frame, &transparent); break;
    case CX_ANIMREADER_GIF: px = ReadGIFFrame(static_cast<cxGifReader *>(r->state), frame, &transparent); break;
    case CX_ANIMREADER_AVI: px = ReadAviFrame(static_cast<cxAviReader *>(r->state), frame); break;
    case CX_ANIMREADER_PLUGIN: {
        cxAnimFrameRequest req{};
        req.alphaWanted = alphaWanted ? 1 : 0;
        req.transparency = int32_t(r->transparency);
        px = CallPluginEntry(r->plugin, r->plugin->LoadFrame, r->state, frame, &req);
        transparent = req.hasTransparency != 0;
        break;
    }
    default: break;
    }
    if (hasTransparency) *hasTransparency = px && transparent;
    return px;
}

extern "C" void FreeAnimReaderFrame(cxAnimReader *r, uint32_t *pixels) {
    if (!pixels) return;
    if (r && r->type == CX_ANIMREADER_PLUGIN) CallPluginEntry(r->plugin, r->plugin->FreeFrame, pixels);
    else free(pixels);
}

extern "C" int GetAnimReaderDelay(cxAnimReader *r, int frame) {
    if (!r) return 0;
    switch (r->type) {
    case CX_ANIMREADER_IFF: return GetIFFAnimFrameDelay(static_cast<cxIffAnim *>(r->state), frame);
    case CX_ANIMREADER_GIF: return GetGIFFrameDelay(static_cast<cxGifReader *>(r->state), frame);
    case CX_ANIMREADER_PLUGIN: return CallPluginEntry(r->plugin, r->plugin->GetFrameDelay, r->state, frame);
    default: return 0;
    }
}

extern "C" void CloseAnimReader(cxAnimReader *r) {
    if (!r) return;
    switch (r->type) {
    case CX_ANIMREADER_IFF: CloseIFFAnim(static_cast<cxIffAnim *>(r->state)); break;
    case CX_ANIMREADER_GIF: CloseGIFFile(static_cast<cxGifReader *>(r->state)); break;
    case CX_ANIMREADER_AVI: CloseAviReader(static_cast<cxAviReader *>(r->state)); break;
    case CX_ANIMREADER_PLUGIN: CallPluginEntry(r->plugin, r->plugin->CloseAnim, r->state); break;
    default: break;
    }
    free(r);
}

extern "C" int IsAnimFile(const char *file, const char *loaders, const char *adapters) {
    cxAnimReader *r = nullptr;
    int frames = 0;
    if (OpenAnimFile(file, loaders, adapters, 0, 0, &r, nullptr, nullptr, &frames, nullptr, nullptr) != 0) {
        SetErrorDetail(nullptr);
        return 0;
    }
    const bool still = r->type == CX_ANIMREADER_GIF && frames == 1;
    CloseAnimReader(r);
    return still ? 0 : 1;
}

extern "C" int IsIFFAnimReader(const cxAnimReader *r) { return r && r->type == CX_ANIMREADER_IFF; }
extern "C" int GetAnimReaderType(const cxAnimReader *r) { return r ? int(r->type) : 0; }
