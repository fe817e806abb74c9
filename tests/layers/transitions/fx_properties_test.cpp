// Every effect through the harness's properties, over a sweep of sizes,
// speeds, transparencies and modes. CX_FX_SWEEP=full runs the whole
// matrix (minutes under the sanitizers); the default keeps the sizes and
// speeds that find faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/layers/transitions/fx_harness.h"

namespace {

using namespace cxfx;

struct Size {
    int w, h;
};

bool FullSweep() {
    const char *v = std::getenv("CX_FX_SWEEP");
    return v && std::strcmp(v, "full") == 0;
}

class EffectProperties : public ::testing::TestWithParam<int> {};

TEST_P(EffectProperties, HoldOverTheSweep) {
    const int effect = GetParam();
    std::vector<Size> sizes = {{1, 1}, {1, 7}, {7, 1}, {13, 11}, {61, 37}};
    std::vector<int> speeds = {CX_SPEED_NORMAL, 1, 1000000};
    if (FullSweep()) {
        sizes = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {3, 5}, {13, 11}, {61, 37}, {64, 48}};
        speeds = {CX_SPEED_NORMAL, CX_SPEED_FAST, CX_SPEED_SLOW, CX_SPEED_DEFAULT, 0, 1, 7, 1000000};
    }
    const bool bgOnly = IsBGPicOnly(effect);
    int failures = 0;
    for (const Size &s : sizes)
        for (int speed : speeds)
            for (Channel ch : {Channel::Opaque, Channel::Mask, Channel::Alpha})
                for (Mode m : {Mode::Direct, Mode::Layer, Mode::LayerHide}) {
                    if (bgOnly && (m != Mode::Direct || ch != Channel::Opaque)) continue;
                    FxCase c;
                    c.effect = effect, c.width = s.w, c.height = s.h, c.speed = speed, c.channel = ch, c.mode = m;
                    c.parameter = effect == 0 || effect == 7 ? 3 : CX_FX_RANDOMPARAMETER;
                    const std::string r = Check(c);
                    EXPECT_EQ(r, "");
                    if (!r.empty() && ++failures > 5) return;
                }
}

// One real size for every effect: done on time and ending on the new
// picture (the frame-by-frame checks stay with the small sizes).
TEST(EffectPropertiesAtSize, EveryEffectAt640x480) {
    for (int effect : BuiltEffects()) {
        FxCase c;
        c.effect = effect, c.width = 640, c.height = 480;
        EXPECT_EQ(Check(c, P1 | P3), "");
    }
}

INSTANTIATE_TEST_SUITE_P(AllBuilt, EffectProperties, ::testing::ValuesIn(BuiltEffects()),
                         [](const ::testing::TestParamInfo<int> &i) { return "Effect" + std::to_string(i.param); });

}  // namespace
