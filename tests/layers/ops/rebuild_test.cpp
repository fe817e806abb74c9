// RebuildLayer: a layer built anew around a new image keeps everything
// else (its whole name among it), and where drawing into a layer's mask
// or alpha channel goes.
#include <string>

#include "display/events/buttons.h"
#include "layers/ops/layer_rebuild.h"
#include "tests/layers/ops/layer_ops_fixture.h"

namespace {

class Rebuild : public cxtest::LayerOpsTest {};

TEST_F(Rebuild, TheNewLayerShowsTheNewImageAndKeepsTheRest) {
    Named(3);
    const std::string name(255, 'n');
    ASSERT_EQ(Call("SetLayerName", [&] { lua_pushnumber(L, 2), lua_pushstring(L, name.c_str()); }), 0);
    ASSERT_EQ(Style(2, [&] { Field("transparency", 40), Field("border", 1), Field("x", 20), Field("y", 20); }), 0);
    cxLayer *l = Layer(2);
    strcpy(l->group, "g");
    l->effect = 1;
    cxBitmap *image = AllocBitmap(8, 8, 0, 0);
    FillRect(image, 0, 0, 8, 8, 0x00FF00);
    const int32_t drawX = l->display->drawX;
    ASSERT_EQ(RebuildLayer(L, d, &l, image, nullptr, nullptr), 0);
    EXPECT_EQ(l, Layer(2));
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(std::string(l->name), name);
    EXPECT_STREQ(l->group, "g");
    EXPECT_EQ(l->effect, 1u);
    EXPECT_EQ(l->transparency, 40);
    EXPECT_EQ(l->border.on, 1u);
    EXPECT_EQ(l->base->x, 20);
    EXPECT_EQ(l->display->drawX, drawX);
    EXPECT_EQ(l->source.number, 2);
    EXPECT_EQ(StalePixels(), "");
    RedrawWholeDisplay(L, d);
    EXPECT_NE(Composed(22, 22), Shown(22, 22));
    // The output and current display are what they were.
    EXPECT_EQ(d->targetKind, 21u);
    EXPECT_EQ(GetCurrentDisplay(), d);
    // A layer in no list is refused and the image freed.
    cxLayer loose{};
    cxLayer *p = &loose;
    EXPECT_EQ(RebuildLayer(L, d, &p, AllocBitmap(2, 2, 0, 0), nullptr, nullptr), ERR_LAYERRANGE);
}

TEST_F(Rebuild, MaskSlotsAreThoseOfWhatTheLayerShows) {
    Named(1);
    cxBitmap **mask = nullptr, **alpha = nullptr;
    ASSERT_EQ(GetLayerMaskSlots(L, Layer(1), 0, &mask, &alpha), 0);
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    EXPECT_EQ(mask, &b->mask);
    EXPECT_EQ(alpha, &b->alpha);
    ASSERT_EQ(Cmd("Box", {1, 1, 4, 4, 0xFFFFFF}), 0);
    ASSERT_EQ(GetLayerMaskSlots(L, Layer(2), 0, &mask, &alpha), 0);
    EXPECT_EQ(mask, nullptr);
    EXPECT_EQ(alpha, nullptr);
}

}  // namespace
