#include "tests/layers/transitions/fx_harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/pixels/pixel_format.h"
#include "images/formats/image_saver.h"
#include "layers/transitions/effect_engine.h"
#include "layers/transitions/effect_traits.h"

namespace cxfx {

namespace {

std::vector<uint32_t> ReadRect(const cxBitmap *b, int x, int y, int w, int h) {
    std::vector<uint32_t> out(size_t(w) * h, 0);
    cxOsBitmapLock l{};
    if (b && LockBitmap(b, CX_LOCK_SOURCE, &l) && l.pixels) {
        std::vector<uint32_t> row(static_cast<size_t>(w), 0u);
        for (int r = 0; r < h; ++r) {
            PixelRowToARGB(l.pixels + (size_t(y + r) * l.rowLength + x) * l.bytesPerPixel, l.pixelFormat, row.data(), w);
            for (int c = 0; c < w; ++c) out[size_t(r) * w + c] = row[c] & 0xFFFFFFu;
        }
    }
    UnlockBitmap(&l);
    return out;
}

void WriteRect(cxBitmap *b, int x, int y, int w, int h, const std::vector<uint32_t> &px) {
    cxOsBitmapLock l{};
    if (LockBitmap(b, 0, &l) && l.pixels) {
        std::vector<uint32_t> row(static_cast<size_t>(w), 0u);
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) row[c] = 0xFF000000u | px[size_t(r) * w + c];
            ARGBToPixelRow(row.data(), l.pixels + (size_t(y + r) * l.rowLength + x) * l.bytesPerPixel, l.pixelFormat, w);
        }
    }
    UnlockBitmap(&l);
}

std::vector<uint8_t> ReadAlpha(const cxBitmap *a, int w, int h) {
    std::vector<uint8_t> out(size_t(w) * h, 0);
    cxOsBitmapLock l{};
    if (a && LockBitmap(a, CX_LOCK_SOURCE, &l) && l.pixels)
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) out[size_t(r) * w + c] = l.pixels[size_t(r) * l.rowLength + c];
    UnlockBitmap(&l);
    return out;
}

// The readable pictures: dark blue-green (old) and bright orange (new),
// shaded by the coordinates.
uint32_t Readable(int source, int x, int y, int w, int h) {
    const uint32_t fx = w > 1 ? uint32_t(x * 255 / (w - 1)) : 128, fy = h > 1 ? uint32_t(y * 255 / (h - 1)) : 128;
    if (source) return (0xC0u + fx / 4) << 16 | (0x60u + fy / 3) << 8 | 0x20u;
    return (0x10u + fx / 6) << 16 | (0x30u + fy / 4) << 8 | (0x60u + fx / 4);
}

bool MaskBit(int x, int y) { return (x + 2 * y) % 3 != 0; }
uint8_t AlphaOf(int x, int y) { return uint8_t((x * 37 + y * 11 + 40) % 256); }

std::string Fail(const FxCase &c, const std::string &what) { return c.Describe() + ": " + what; }

std::string At(int i, int w) {
    std::ostringstream s;
    s << "(" << i % w << "," << i / w << ")";
    return s.str();
}

}  // namespace

const char *ChannelName(Channel c) {
    switch (c) {
    case Channel::Mask: return "mask";
    case Channel::Alpha: return "alpha";
    default: return "opaque";
    }
}

const char *ModeName(Mode m) {
    switch (m) {
    case Mode::Layer: return "layer";
    case Mode::LayerHide: return "layer-hide";
    default: return "direct";
    }
}

uint32_t Encode(int source, int x, int y) {
    return (uint32_t(source & 1) << 23) | (uint32_t(x & 0x7FF) << 11) | uint32_t(y & 0x7FF);
}

bool Decode(uint32_t rgb, int *source, int *x, int *y) {
    if (rgb == kCanaryColour) return false;
    *source = int((rgb >> 23) & 1);
    *x = int((rgb >> 11) & 0x7FF);
    *y = int(rgb & 0x7FF);
    return (rgb >> 22 & 1) == 0;
}

std::string FxCase::Describe() const {
    std::ostringstream s;
    const cxEffectTraits *t = GetEffectTraits(effect);
    s << (t && t->name ? t->name : "effect") << "(" << effect << ") " << width << "x" << height << " speed " << speed
      << " parameter " << parameter << " " << ChannelName(channel) << " " << ModeName(mode) << " seed " << seed;
    return s.str();
}

bool IsBGPicOnly(int effect) {
    const cxEffectTraits *t = GetEffectTraits(effect);
    return t && (t->flags & CX_FXT_BGPICONLY);
}
bool IsReveal(int effect) {
    const cxEffectTraits *t = GetEffectTraits(effect);
    return t && (t->flags & CX_FXT_REVEAL);
}
int Mirror(int effect) {
    const cxEffectTraits *t = GetEffectTraits(effect);
    return t ? t->mirror : effect;
}

std::vector<int> BuiltEffects() {
    std::vector<int> out;
    for (int e = 0; e < CX_FX_COUNT; ++e)
        if (IsEffectBuilt(e)) out.push_back(e);
    return out;
}

FxRun::FxRun(const FxCase &c) : case_(c) {}

FxRun::~FxRun() {
    if (prepared_) ReleaseEffect(&fx_, 1);
    FreeBitmap(output_);
    FreeBitmap(newImage_);
    FreeMask(mask_);
    FreeAlphaChannel(alpha_);
}

int FxRun::Prepare() {
    const int W = case_.width, H = case_.height;
    srand(case_.seed);
    srand48(long(case_.seed));
    const size_t n = size_t(std::max(W, 0)) * size_t(std::max(H, 0));
    oldPixels_.resize(n), newPixels_.resize(n), base_.assign(n, 255);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            oldPixels_[size_t(y) * W + x] = case_.readable ? Readable(0, x, y, W, H) : Encode(0, x, y);
            newPixels_[size_t(y) * W + x] = case_.readable ? Readable(1, x, y, W, H) : Encode(1, x, y);
        }
    final_ = newPixels_;
    fx_ = cxEffectInstance{};
    fx_.effect = case_.effect;
    fx_.speed = case_.speed;
    fx_.parameter = case_.parameter;
    fx_.width = W, fx_.height = H;
    fx_.target = IsBGPicOnly(case_.effect) ? CX_FXTARGET_BGPIC : CX_FXTARGET_BRUSH;
    fx_.layerMode = case_.mode != Mode::Direct;
    fx_.reverse = case_.mode == Mode::LayerHide;
    if (W >= 1 && H >= 1) {
        newImage_ = AllocBitmap(W, H, 0, 0);
        if (!newImage_) return 1522;
        WriteRect(newImage_, 0, 0, W, H, newPixels_);
        if (case_.channel == Channel::Mask) {
            mask_ = AllocMask(newImage_, W, H, 1, nullptr, 0);
            if (!mask_) return 1565;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    if (MaskBit(x, y)) FillMaskRect(mask_, x, y, 1, 1, CX_MASKVISIBLE);
                    else base_[size_t(y) * W + x] = 0;
        } else if (case_.channel == Channel::Alpha) {
            alpha_ = AllocAlphaChannel(W, H, 1, nullptr, 0);
            if (!alpha_) return 1564;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    FillAlphaRect(alpha_, x, y, 1, 1, AlphaOf(x, y));
                    base_[size_t(y) * W + x] = AlphaOf(x, y);
                }
        }
    } else {
        // An empty rectangle still needs a picture to name.
        newImage_ = AllocBitmap(1, 1, CX_ALLOC_CLEAR, 0);
    }
    fx_.newImage = newImage_;
    fx_.newMask = mask_;
    fx_.newAlpha = alpha_;
    if (case_.mode == Mode::Direct) {
        const int ow = std::max(W, 0) + 2 * kCanary, oh = std::max(H, 0) + 2 * kCanary;
        output_ = AllocBitmap(ow, oh, 0, 0);
        if (!output_) return 1522;
        FillRect(output_, 0, 0, ow, oh, kCanaryColour);
        if (W >= 1 && H >= 1) WriteRect(output_, kCanary, kCanary, W, H, oldPixels_);
        fx_.output = output_;
        fx_.dx = fx_.dy = kCanary;
        // The new picture laid over the old one is what must show at the
        // end.
        if (W >= 1 && H >= 1 && (mask_ || alpha_)) {
            cxBitmap *flat = AllocBitmap(W, H, 0, 0);
            WriteRect(flat, 0, 0, W, H, oldPixels_);
            if (mask_) BltBitmapMask(newImage_, 0, 0, flat, 0, 0, W, H, mask_);
            else BltBitmapAlpha(newImage_, 0, 0, flat, 0, 0, W, H, alpha_);
            final_ = ReadRect(flat, 0, 0, W, H);
            FreeBitmap(flat);
        }
    }
    const int err = PrepareEffect(&fx_);
    prepared_ = true;
    return err;
}

int FxRun::Step(int *done) { return RunEffectStep(&fx_, done); }
int FxRun::Seek(int32_t step) { return SeekEffect(&fx_, step, 1); }

std::vector<uint32_t> FxRun::Frame() const {
    const int W = case_.width, H = case_.height;
    if (W < 1 || H < 1) return {};
    if (case_.mode == Mode::Direct) return ReadRect(output_, kCanary, kCanary, W, H);
    return ReadRect(fx_.canvas, 0, 0, W, H);
}

std::vector<uint8_t> FxRun::CanvasChannel() const {
    if (case_.width < 1 || case_.height < 1) return {};
    return ReadAlpha(fx_.canvasAlpha, case_.width, case_.height);
}

std::vector<uint32_t> FxRun::Look() const {
    std::vector<uint32_t> f = Frame();
    if (case_.mode == Mode::Direct) return f;
    const std::vector<uint8_t> a = CanvasChannel();
    // Layers over a plain grey background, so that both modes read alike.
    for (size_t i = 0; i < f.size(); ++i) {
        const uint32_t bg = 0x404040u, fg = f[i], k = a[i];
        uint32_t out = 0;
        for (int s = 0; s < 24; s += 8) {
            const uint32_t b = (bg >> s) & 0xFF, c = (fg >> s) & 0xFF;
            out |= ((b * (255 - k) + c * k) / 255) << s;
        }
        f[i] = out;
    }
    return f;
}

std::string FxRun::CheckCanary() const {
    if (case_.mode != Mode::Direct || !output_) return "";
    const int ow = output_->width, oh = output_->height;
    const std::vector<uint32_t> all = ReadRect(output_, 0, 0, ow, oh);
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            const bool inside = x >= kCanary && y >= kCanary && x < ow - kCanary && y < oh - kCanary;
            if (!inside && all[size_t(y) * ow + x] != kCanaryColour) {
                std::ostringstream s;
                s << "band written at (" << x - kCanary << "," << y - kCanary << ")";
                return s.str();
            }
        }
    return "";
}

namespace {

// P5 on one frame: every pixel old or final at its place (layer modes:
// transparent or the new picture's own); what is uncovered only grows.
std::string CheckReveal(const FxRun &run, std::vector<char> &uncovered, int step) {
    const FxCase &c = run.Case();
    const int W = c.width;
    const std::vector<uint32_t> f = run.Frame();
    std::ostringstream s;
    if (c.mode == Mode::Direct) {
        const auto &o = run.OldPixels(), &fin = run.Final();
        for (size_t i = 0; i < f.size(); ++i) {
            if (f[i] != o[i] && f[i] != fin[i]) {
                int src, x, y;
                s << "step " << step << ": pixel " << At(int(i), W) << " is " << std::hex << f[i];
                if (Decode(f[i], &src, &x, &y)) s << std::dec << " (" << (src ? "new" : "old") << " " << x << "," << y << ")";
                return s.str();
            }
            const bool now = f[i] == fin[i] && fin[i] != o[i];
            if (uncovered[i] && !now) {
                s << "step " << step << ": pixel " << At(int(i), W) << " covered again";
                return s.str();
            }
            uncovered[i] = now;
        }
        return "";
    }
    const std::vector<uint8_t> a = run.CanvasChannel();
    const auto &base = run.Base();
    const auto &np = run.NewPixels();
    const bool hide = c.mode == Mode::LayerHide;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != 0 && a[i] != base[i]) {
            s << "step " << step << ": channel " << int(a[i]) << " at " << At(int(i), W) << " (picture's "
              << int(base[i]) << ")";
            return s.str();
        }
        if (a[i] && f[i] != np[i]) {
            s << "step " << step << ": canvas pixel " << At(int(i), W) << " is not the new picture's";
            return s.str();
        }
        const bool now = base[i] && (hide ? a[i] == 0 : a[i] != 0);
        if (uncovered[i] && !now) {
            s << "step " << step << ": pixel " << At(int(i), W) << (hide ? " shown again" : " hidden again");
            return s.str();
        }
        uncovered[i] = now;
    }
    return "";
}

std::string CheckFinal(const FxRun &run) {
    const FxCase &c = run.Case();
    const int W = c.width;
    const std::vector<uint32_t> f = run.Frame();
    std::ostringstream s;
    if (c.mode == Mode::Direct) {
        const auto &fin = run.Final();
        for (size_t i = 0; i < f.size(); ++i)
            if (f[i] != fin[i]) {
                s << "last frame differs at " << At(int(i), W) << ": " << std::hex << f[i] << " for " << fin[i];
                return s.str();
            }
        return "";
    }
    const std::vector<uint8_t> a = run.CanvasChannel();
    const auto &base = run.Base();
    const auto &np = run.NewPixels();
    for (size_t i = 0; i < a.size(); ++i) {
        const uint8_t want = c.mode == Mode::LayerHide ? 0 : base[i];
        if (a[i] != want) {
            s << "last channel " << int(a[i]) << " at " << At(int(i), W) << " for " << int(want);
            return s.str();
        }
        if (c.mode == Mode::Layer && base[i] && f[i] != np[i]) {
            s << "last canvas differs at " << At(int(i), W);
            return s.str();
        }
    }
    return "";
}

// The state a run shows: its frame and, in layer modes, its channel.
struct Shot {
    std::vector<uint32_t> frame;
    std::vector<uint8_t> channel;
    bool operator==(const Shot &o) const { return frame == o.frame && channel == o.channel; }
};

Shot Take(const FxRun &run) {
    Shot s;
    s.frame = run.Frame();
    if (run.Case().mode != Mode::Direct) {
        s.channel = run.CanvasChannel();
        // Transparent pixels may hold anything.
        for (size_t i = 0; i < s.channel.size(); ++i)
            if (!s.channel[i]) s.frame[i] = 0;
    }
    return s;
}

std::string CheckSeek(const FxCase &c, int32_t steps) {
    const cxEffectTraits *t = GetEffectTraits(c.mode == Mode::LayerHide ? Mirror(c.effect) : c.effect);
    // Effects without a redraw rebuild their canvas: layer modes only.
    if (c.mode == Mode::Direct && !(t->flags & CX_FXT_PHASE2)) return "";
    std::vector<int32_t> targets = {0, 1, steps / 2, steps - 1, steps};
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    for (int32_t k : targets) {
        if (k < 0 || k > steps) continue;
        FxRun a(c), b(c);
        if (a.Prepare() || b.Prepare()) return "seek: set-up failed";
        int done = 0;
        for (int32_t i = 0; i < k; ++i)
            if (a.Step(&done)) return "seek: a step failed";
        // The other run goes elsewhere first, then seeks back.
        const int32_t away = std::min(steps, k + 2);
        for (int32_t i = 0; i < away && !done; ++i)
            if (b.Step(&done)) return "seek: a step failed";
        if (int err = b.Seek(k)) return "seek: error " + std::to_string(err);
        if (!(Take(a) == Take(b))) return "seeking to step " + std::to_string(k) + " differs from stepping there";
    }
    return "";
}

std::string CheckHideMirrorsShow(const FxCase &c) {
    const int e = c.effect;
    const bool reveal = IsReveal(e), fade = e == 115;
    if (c.mode != Mode::LayerHide || !(reveal || fade || e == 139)) return "";
    FxCase showCase = c;
    showCase.mode = Mode::Layer;
    showCase.effect = Mirror(e);
    FxRun hide(c), show(showCase);
    if (hide.Prepare() || show.Prepare()) return "P7: set-up failed";
    if (hide.Steps() != show.Steps())
        return "P7: hiding takes " + std::to_string(hide.Steps()) + " steps, showing " + std::to_string(show.Steps());
    const auto &base = hide.Base();
    for (int32_t k = 0; k < hide.Steps(); ++k) {
        int d1 = 0, d2 = 0;
        if (hide.Step(&d1) || show.Step(&d2)) return "P7: a step failed";
        const std::vector<uint8_t> h = hide.CanvasChannel(), s = show.CanvasChannel();
        for (size_t i = 0; i < h.size(); ++i) {
            const bool ok = fade ? std::abs(int(h[i]) + int(s[i]) - int(base[i])) <= 2
                                 : ((h[i] == 0) == (s[i] == base[i])) || base[i] == 0;
            if (!ok)
                return "P7: step " + std::to_string(k) + " at " + At(int(i), c.width) + ": hiding " +
                       std::to_string(h[i]) + ", showing " + std::to_string(s[i]);
        }
    }
    return "";
}

}  // namespace

std::string Check(const FxCase &c, unsigned properties) {
    FxRun run(c);
    if (int err = run.Prepare()) return Fail(c, "set-up failed with " + std::to_string(err));
    const cxEffectInstance &fx = run.Instance();
    const int32_t steps = run.Steps();
    if (steps < 1) return Fail(c, "no steps");
    const size_t n = size_t(std::max(c.width, 0)) * size_t(std::max(c.height, 0));
    if (properties & P2) {
        const Shot s = Take(run);
        if (fx.presents) return Fail(c, "P2: the set-up presented");
        if (c.mode == Mode::Direct && s.frame != run.OldPixels()) return Fail(c, "P2: the set-up drew");
        if (c.mode == Mode::Layer)
            for (uint8_t a : s.channel)
                if (a) return Fail(c, "P2: the set-up showed the canvas");
        if (c.mode == Mode::LayerHide && s.channel != run.Base()) return Fail(c, "P2: the set-up hid the canvas");
    }
    std::vector<char> uncovered(n, 0);
    const bool reveal = IsReveal(c.mode == Mode::LayerHide ? Mirror(c.effect) : c.effect);
    int done = 0;
    int32_t calls = 0;
    while (!done && calls < steps + 2) {
        if (int err = run.Step(&done)) return Fail(c, "step " + std::to_string(calls) + " failed with " + std::to_string(err));
        ++calls;
        if (properties & P4) {
            const std::string canary = run.CheckCanary();
            if (!canary.empty()) return Fail(c, "P4: step " + std::to_string(calls) + ": " + canary);
        }
        if ((properties & P5) && reveal) {
            const std::string r = CheckReveal(run, uncovered, calls);
            if (!r.empty()) return Fail(c, "P5: " + r);
        }
    }
    if ((properties & P1) && (!done || calls != steps))
        return Fail(c, "P1: done on call " + std::to_string(done ? calls : -1) + " of " + std::to_string(steps));
    if (properties & P3) {
        const std::string f = CheckFinal(run);
        if (!f.empty()) return Fail(c, "P3: " + f);
    }
    if (properties & P6) {
        const std::string s = CheckSeek(c, steps);
        if (!s.empty()) return Fail(c, "P6: " + s);
    }
    if (properties & P7) {
        const std::string s = CheckHideMirrorsShow(c);
        if (!s.empty()) return Fail(c, s);
    }
    return "";
}

std::vector<uint32_t> ContactSheet(const std::vector<std::vector<uint32_t>> &frames, int width, int height,
                                   int columns, int *sheetWidth, int *sheetHeight) {
    columns = std::max(columns, 1);
    const int count = int(frames.size()), rows = (count + columns - 1) / columns;
    const int sw = columns * (width + 1) + 1, sh = std::max(rows, 1) * (height + 1) + 1;
    std::vector<uint32_t> sheet(size_t(sw) * sh, 0x202020u);
    for (int i = 0; i < count; ++i) {
        const int ox = 1 + (i % columns) * (width + 1), oy = 1 + (i / columns) * (height + 1);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) sheet[size_t(oy + y) * sw + ox + x] = frames[i][size_t(y) * width + x];
    }
    *sheetWidth = sw, *sheetHeight = sh;
    return sheet;
}

int WritePng(const std::string &file, const std::vector<uint32_t> &pixels, int width, int height) {
    std::vector<uint32_t> argb(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) argb[i] = 0xFF000000u | pixels[i];
    return SaveImage(CX_SAVE_PNG, argb.data(), width, height, file.c_str(), 0, 0, 0, 0);
}

}  // namespace cxfx
