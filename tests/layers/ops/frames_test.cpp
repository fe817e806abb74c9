// Anim layers through the anim hooks (a stand-in anim store here, as the
// anims library registers them), NextFrame, ModifyLayerFrames, and
// InsertLayer of every kind.
#include <map>
#include <memory>
#include <vector>

#include "layers/core/anim_hooks.h"
#include "layers/ops/layer_frames.h"
#include "tests/layers/ops/layer_ops_fixture.h"
#include "text/library/text_library.h"

namespace {

// Anims as the anims library keeps them, by number; frame i is one colour.
struct StandInAnim {
    int32_t width, height;
    std::vector<uint32_t> colours;
    std::vector<cxBitmap *> bitmaps;
    bool pendingFree = false;
    int uses = 0;
    ~StandInAnim() {
        for (cxBitmap *b : bitmaps) FreeBitmap(b);
    }
    void Add(size_t at, uint32_t colour) {
        cxBitmap *b = AllocBitmap(width, height, 0, 0);
        FillRect(b, 0, 0, width, height, colour);
        bitmaps.insert(bitmaps.begin() + long(at), b);
        colours.insert(colours.begin() + long(at), colour);
    }
};
std::map<int32_t, std::unique_ptr<StandInAnim>> g_anims;
int32_t g_nextCopy = 1000;

StandInAnim *Find(cxObjectID id) {
    auto it = g_anims.find(id.number);
    return it == g_anims.end() ? nullptr : it->second.get();
}

const cxLayerAnimHooks kHooks = {
    [](lua_State *, cxObjectID id, int32_t frame, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha,
       int32_t *width, int32_t *height, int32_t *frames) -> int {
        StandInAnim *a = Find(id);
        if (!a) {
            SetErrorNumber(id.number);
            return ERR_FINDANIM;
        }
        if (bitmap && (frame < 0 || size_t(frame) >= a->bitmaps.size())) return ERR_ANIMFRAME;
        if (bitmap) *bitmap = a->bitmaps[size_t(frame)];
        if (mask) *mask = nullptr;
        if (alpha) *alpha = nullptr;
        if (width) *width = a->width;
        if (height) *height = a->height;
        if (frames) *frames = int32_t(a->bitmaps.size());
        return 0;
    },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    [](lua_State *, cxObjectID id, int delta) {
        if (StandInAnim *a = Find(id)) a->uses += delta;
    },
    [](lua_State *) {
        for (auto it = g_anims.begin(); it != g_anims.end();)
            it = it->second->pendingFree && it->second->uses == 0 ? g_anims.erase(it) : std::next(it);
    },
    [](lua_State *, cxObjectID id, cxObjectID *copy) -> int {
        StandInAnim *a = Find(id);
        if (!a) return ERR_FINDANIM;
        auto made = std::make_unique<StandInAnim>();
        made->width = a->width, made->height = a->height;
        for (size_t i = 0; i < a->colours.size(); ++i) made->Add(i, a->colours[i]);
        made->pendingFree = true;
        *copy = cxObjectID{g_nextCopy, nullptr};
        g_anims[g_nextCopy++] = std::move(made);
        return 0;
    },
    [](lua_State *, cxObjectID id, int32_t count, int32_t position) -> int {
        StandInAnim *a = Find(id);
        if (!a) return ERR_FINDANIM;
        const size_t n = a->bitmaps.size();
        if (count > 0) {
            const size_t at = position == 0 ? n : size_t(position - 1);
            for (int32_t i = 0; i < count; ++i) a->Add(at, 0x808080);
        } else {
            const size_t k = std::min(size_t(-count), n);
            const size_t first = position == 0 ? n - k : size_t(position - 1);
            for (size_t i = 0; i < k && first < a->bitmaps.size(); ++i) {
                FreeBitmap(a->bitmaps[first]);
                a->bitmaps.erase(a->bitmaps.begin() + long(first));
                a->colours.erase(a->colours.begin() + long(first));
            }
        }
        return 0;
    },
    [](lua_State *, cxObjectID id) -> int {
        StandInAnim *a = Find(id);
        return a && a->pendingFree ? 1 : 0;
    },
};

class Frames : public cxtest::LayerOpsTest {
  protected:
    void SetUp() override {
        LayerOpsTest::SetUp();
        SetLayerAnimHooks(&kHooks);
    }
    void TearDown() override {
        FreeAllLayers(L, BGPic(), 1, 1);
        SetLayerAnimHooks(nullptr);
        g_anims.clear();
        LayerOpsTest::TearDown();
    }
    static void Anim(int32_t id, std::initializer_list<uint32_t> colours) {
        auto a = std::make_unique<StandInAnim>();
        a->width = 6, a->height = 5;
        for (uint32_t c : colours) a->Add(a->bitmaps.size(), c);
        g_anims[id] = std::move(a);
    }
};

TEST_F(Frames, NextFrameWrapsAndChoosesFrames) {
    Anim(1, {0xFF0000, 0x00FF00, 0x0000FF});
    ASSERT_EQ(Run("InsertLayer", {0, 4, 1, 10, 10}), 0);
    ASSERT_EQ(Layer(1)->type, CX_LAYER_ANIM);
    EXPECT_EQ(Composed(11, 11), 0xFF0000u);
    EXPECT_EQ(g_anims[1]->uses, 1);
    ASSERT_EQ(Run("NextFrame", {1}), 0);
    EXPECT_EQ(Composed(11, 11), 0x00FF00u);
    ASSERT_EQ(Run("NextFrame", {1}), 0);
    ASSERT_EQ(Run("NextFrame", {1}), 0);
    EXPECT_EQ(Composed(11, 11), 0xFF0000u) << "the last frame wraps to the first";
    ASSERT_EQ(Run("NextFrame", {1, 100000, 100000, -1}), 0);
    EXPECT_EQ(Composed(11, 11), 0x0000FFu);
    ASSERT_EQ(Run("NextFrame", {1, 20, 100002, 2}), 0);
    EXPECT_EQ(Layer(1)->base->x, 20);
    EXPECT_EQ(Layer(1)->base->y, 12);
    EXPECT_EQ(Composed(21, 13), 0x00FF00u);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Run("NextFrame", {1, 100000, 100000, 4}), ERR_ANIMFRAME);
    EXPECT_EQ(Run("NextFrame", {1, 100000, 100000, -2}), ERR_ANIMFRAME);
    Brush(5, 4, 4, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {5, 0, 0}), 0);
    EXPECT_EQ(Run("NextFrame", {2}), ERR_NOANMLAYER);
    EXPECT_EQ(Run("ModifyLayerFrames", {2, 1}), ERR_NOANMLAYER);
    // The frame key of a style does the same.
    ASSERT_EQ(Style(1, [&] { Field("frame", 3); }), 0);
    EXPECT_EQ(Composed(21, 13), 0x0000FFu);
    EXPECT_EQ(Style(1, [&] { Field("frame", 0); }), ERR_ANIMFRAME);
}

TEST_F(Frames, ModifyingTheFramesOfASharedAnimGivesTheLayerItsOwnCopy) {
    Anim(1, {0xFF0000, 0x00FF00, 0x0000FF});
    ASSERT_EQ(Run("InsertLayer", {0, 4, 1, 0, 0}), 0);
    ASSERT_EQ(Run("InsertLayer", {0, 4, 1, 20, 0}), 0);
    ASSERT_EQ(Run("NextFrame", {1, 100000, 100000, 2}), 0);
    // Two frames in front of the one shown: the layer keeps showing it.
    ASSERT_EQ(Run("ModifyLayerFrames", {1, 2, 1}), 0);
    cxLayer *l = Layer(1);
    EXPECT_NE(l->source.number, 1);
    EXPECT_EQ(Layer(2)->source.number, 1);
    EXPECT_EQ(g_anims[1]->bitmaps.size(), 3u) << "the script's anim keeps its frames";
    StandInAnim *copy = g_anims[l->source.number].get();
    EXPECT_EQ(copy->bitmaps.size(), 5u);
    EXPECT_EQ(l->base->partX, 3);
    EXPECT_EQ(Composed(1, 1), 0x00FF00u);
    EXPECT_EQ(g_anims[1]->uses, 1);
    EXPECT_EQ(copy->uses, 1);
    // The layer's own copy is changed in place from now on.
    const int32_t own = l->source.number;
    ASSERT_EQ(Run("ModifyLayerFrames", {1, -1, 4}), 0);
    EXPECT_EQ(l->source.number, own);
    EXPECT_EQ(copy->bitmaps.size(), 4u);
    // The frame shown is gone: the first one shows.
    EXPECT_EQ(l->base->partX, 0);
    EXPECT_EQ(Composed(1, 1), 0x808080u);
    EXPECT_EQ(StalePixels(), "");
    // The copy goes with its layer.
    ASSERT_EQ(Run("RemoveLayer", {1}), 0);
    EXPECT_EQ(g_anims.count(own), 0u);
    EXPECT_EQ(g_anims.count(1), 1u);
}

TEST_F(Frames, InsertLayerOfEveryKind) {
    Named(2);
    Anim(3, {0x00FFFF});
    // By name: the new layer takes that place.
    ASSERT_EQ(Run("InsertLayer", {"b", 3, 1, 30, 30}), 0);
    EXPECT_EQ(Stack(), "a?b");
    EXPECT_EQ(Composed(31, 31), 0x100040u);
    ASSERT_EQ(Run("InsertLayer", {1, 4, 3, -100000, -100000, 1}), 0);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_ANIM);
    EXPECT_EQ(Layer(1)->hidden, 1u);
    EXPECT_EQ(Layer(1)->base->x, (kW - 6) / 2);
    ASSERT_EQ(Run("InsertLayer", {99, 3, 2, 0, 40}), 0);
    EXPECT_EQ(Layer(Count())->source.number, 2);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Run("InsertLayer", {-1, 3, 1, 0, 0}), ERR_INVINSERT);
    EXPECT_EQ(Run("InsertLayer", {1, 5, 1, 0, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("InsertLayer", {1, 3, 42, 0, 0}), ERR_FINDBRUSH);
    EXPECT_EQ(Run("InsertLayer", {1, 4, 42, 0, 0}), ERR_FINDANIM);
    EXPECT_EQ(Run("InsertLayer", {1, 50, 1, 0, 0}), ERR_FINDVIDEO);
    EXPECT_EQ(Run("InsertLayer", {"x", 3, 1, 0, 0}), ERR_FINDLAYER);
    EXPECT_EQ(Run("InsertLayer", {1, 3, 1, NAN, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Count(), 5);
    // Without the anims library there are no anims.
    SetLayerAnimHooks(nullptr);
    EXPECT_EQ(Run("InsertLayer", {1, 4, 3, 0, 0}), ERR_FINDANIM);
    SetLayerAnimHooks(&kHooks);
    // A text object.
    ASSERT_EQ(OpenTextLibrary(L), 0);
    ASSERT_EQ(Call("CreateTextObject", [&] { lua_pushnumber(L, 7), lua_pushstring(L, "T"); }), 0);
    ASSERT_EQ(Run("InsertLayer", {2, 8, 7, 40, 20}), 0);
    EXPECT_EQ(Layer(2)->type, CX_LAYER_TEXTOBJECT);
    EXPECT_EQ(StalePixels(), "");
    FreeAllLayers(L, BGPic(), 1, 1);
    FreeTextLibrary(L);
}

}  // namespace
