// The layer record and list: layers made by the display commands, the
// guard, names, groups, positions and the commands that inspect the list.
#include "graphics/blit/mask_alpha_rect.h"
#include "tests/layers/layer_test_display.h"

namespace {

constexpr uint32_t kBack = 0x000080;

class LayerList : public cxtest::LayerDisplayTest {};

TEST_F(LayerList, DisplayedBrushesBecomeLayersOverAnUntouchedBackground) {
    Brush(1, 8, 6, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 3, 4}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}), 0);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Composed(3, 4), 0xFF0000u);
    EXPECT_EQ(Composed(27, 25), 0xFF0000u);
    EXPECT_EQ(Composed(11, 4), kBack);
    // The background copy never holds a layer.
    EXPECT_EQ(Shown(3, 4), kBack);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_BRUSH);
    EXPECT_EQ(Layer(1)->display->drawX, 3);
}

}  // namespace
