// The effect harness: one effect driven off screen, step by step, on
// pictures whose every pixel says where it came from, and the checks every
// effect must pass. Shared by the tests of all effect families and by
// tools/fxdump; it needs no display and no test framework.
//
// Pictures: the old picture's pixel (x, y) is Encode(0, x, y), the new
// picture's Encode(1, x, y); a band of kCanary pixels of kCanaryColour
// surrounds the effect rectangle on the output (direct mode), so a pixel
// written outside the rectangle shows. The new picture may carry a mask or
// an alpha channel of a fixed pattern.
//
// Modes: direct (the effect draws into the output over the old picture),
// layer (it shows the new picture in a canvas) and layer hiding (it hides
// the canvas).
//
// A family enters the sweep (fx_properties_test) as soon as its rows of
// the traits table name a step function; the rows' flags choose what
// applies to it: REVEAL families are held to P5 and P7, BGPICONLY ones run
// in direct mode only, PHASE2 ones are sought in direct mode too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/bitmap/bitmap.h"
#include "layers/transitions/effect_instance.h"

namespace cxfx {

enum class Channel { Opaque, Mask, Alpha };
enum class Mode { Direct, Layer, LayerHide };

const char *ChannelName(Channel c);
const char *ModeName(Mode m);

constexpr int kCanary = 2;
constexpr uint32_t kCanaryColour = 0x7FFFFFu;  // decodes to nothing

// (source 0 old, 1 new; x and y below 2048) as 0xRRGGBB, and back.
uint32_t Encode(int source, int x, int y);
bool Decode(uint32_t rgb, int *source, int *x, int *y);

struct FxCase {
    int effect = 0;
    int width = 16, height = 16;
    int speed = CX_SPEED_NORMAL;
    int parameter = CX_FX_RANDOMPARAMETER;
    Channel channel = Channel::Opaque;
    Mode mode = Mode::Direct;
    unsigned seed = 1;
    // Pictures for the eye (tools): the old one a dark and the new one a
    // bright gradient, instead of the coded pixels the checks read.
    bool readable = false;
    std::string Describe() const;
};

// One run of one case.
class FxRun {
  public:
    explicit FxRun(const FxCase &c);
    ~FxRun();
    FxRun(const FxRun &) = delete;
    FxRun &operator=(const FxRun &) = delete;

    // Makes the pictures and prepares the effect (phase 0). 0 or the error.
    int Prepare();
    // One step; *done from the step. 0 or the error.
    int Step(int *done);
    int Seek(int32_t step);

    cxEffectInstance &Instance() { return fx_; }
    const FxCase &Case() const { return case_; }
    int32_t Steps() const { return fx_.steps; }

    // The frame now, W x H, as 0xRRGGBB: direct mode the output inside the
    // band, layer modes the canvas's pixels.
    std::vector<uint32_t> Frame() const;
    // Layer modes: the canvas's transparency, W x H.
    std::vector<uint8_t> CanvasChannel() const;
    // Direct mode: "" when the band is untouched, else where it is not.
    std::string CheckCanary() const;

    // What the frame must show at the end (direct mode), the new picture's
    // pixels and transparency (255 where it has none), the old picture.
    const std::vector<uint32_t> &Final() const { return final_; }
    const std::vector<uint32_t> &NewPixels() const { return newPixels_; }
    const std::vector<uint8_t> &Base() const { return base_; }
    const std::vector<uint32_t> &OldPixels() const { return oldPixels_; }

    // The frame as the eye sees it (layer modes: the canvas laid over the
    // old picture), for pictures.
    std::vector<uint32_t> Look() const;

  private:
    FxCase case_;
    cxEffectInstance fx_{};
    cxBitmap *output_ = nullptr, *newImage_ = nullptr, *mask_ = nullptr, *alpha_ = nullptr;
    std::vector<uint32_t> final_, newPixels_, oldPixels_;
    std::vector<uint8_t> base_;
    bool prepared_ = false;
};

// The properties (bits of Check):
//   P1 done on exactly the call number the set-up gave (a watchdog stops
//      at steps + 2 calls);
//   P2 the set-up draws nothing;
//   P3 the last frame is the new picture (layer: the new picture shown;
//      hiding: transparent);
//   P4 the band around the rectangle is never written;
//   P5 wipes: each pixel is the old or the final one at its own place and
//      what is uncovered only grows;
//   P6 seeking to a step equals stepping to it;
//   P7 hiding clears what showing (the mirrored effect) uncovers.
enum : unsigned { P1 = 1, P2 = 2, P3 = 4, P4 = 8, P5 = 16, P6 = 32, P7 = 64, PAll = 127 };

// Runs the case and checks the properties; "" when all hold, else what
// failed (the case described).
std::string Check(const FxCase &c, unsigned properties = PAll);

// The effects a harness sweeps: those with a step function; BGPic-only
// ones run in direct mode only, with an opaque picture.
std::vector<int> BuiltEffects();
bool IsBGPicOnly(int effect);
bool IsReveal(int effect);
int Mirror(int effect);

// Frames of a run as a contact sheet (frames in rows of columns, a
// one-pixel gap) and a PNG writer; used by tools/fxdump.
std::vector<uint32_t> ContactSheet(const std::vector<std::vector<uint32_t>> &frames, int width, int height,
                                   int columns, int *sheetWidth, int *sheetHeight);
int WritePng(const std::string &file, const std::vector<uint32_t> &pixels, int width, int height);

}  // namespace cxfx
