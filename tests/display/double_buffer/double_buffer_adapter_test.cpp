// Double buffering over a recording display adapter: hardware mode goes
// through the adapter's BeginDoubleBuffer, Flip and EndDoubleBuffer hooks;
// software mode presents only the merged dirty boxes through BltBitMap.
#include <string>
#include <vector>

#include "display/adapter.h"
#include "display/double_buffer.h"
#include "display/draw/draw_library.h"
#include "display/present.h"
#include "errors/error_codes.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/vm/lauxlib.h"
#include "tests/display/displays/display_fixture.h"

namespace {

struct Record {
    std::vector<std::string> calls;
    std::vector<cxAdapterBlt> blts;
    int32_t flipMessage[3] = {};
    int beginResult = 0;
} g_rec;

int g_handleStore;
void *const kHandle = &g_handleStore;

void *Open(const char *, int32_t, int32_t, int32_t, int32_t, uint32_t, const cxTagItem *) { return kHandle; }
int Close(void *) { return 0; }
int Blt(void *, void *, const cxAdapterBlt *b, uint32_t) {
    g_rec.calls.push_back("blt");
    g_rec.blts.push_back(*b);
    return 0;
}
int Begin(void *h) {
    g_rec.calls.push_back(h == kHandle ? "begin" : "begin?");
    return g_rec.beginResult;
}
int End(void *h) {
    g_rec.calls.push_back(h == kHandle ? "end" : "end?");
    return 0;
}
int Flip(void *h, const int32_t *message) {
    g_rec.calls.push_back(h == kHandle ? "flip" : "flip?");
    for (int i = 0; i < 3; i++) g_rec.flipMessage[i] = message[i];
    return 0;
}

template <class F>
cxPluginFunc Slot(F f) {
    return reinterpret_cast<cxPluginFunc>(f);
}

const luaL_reg kCommands[] = {{"BeginDoubleBuffer", CmdBeginDoubleBuffer},
                              {"Flip", CmdFlip},
                              {"EndDoubleBuffer", CmdEndDoubleBuffer},
                              {nullptr, nullptr}};

class DoubleBufferAdapter : public cxtest::DisplayTest {
protected:
    cxPlugin adapter_{};
    cxDisplay *d = nullptr;
    void SetUp() override {
        g_rec = Record{};
        adapter_.capabilities = CX_CAP_DISPLAYADAPTER;
        adapter_.OpenDisplay = Slot(Open);
        adapter_.CloseDisplay = Slot(Close);
        adapter_.BltBitMap = Slot(Blt);
        adapter_.BeginDoubleBuffer = Slot(Begin);
        adapter_.EndDoubleBuffer = Slot(End);
        adapter_.Flip = Slot(Flip);
        SetPluginStartupPhase(1);
        ASSERT_EQ(RegisterDisplayAdapter(&adapter_, CX_DISPLAY_HWDOUBLEBUFFER | CX_DISPLAY_EXCLUSIVE, nullptr), 0);
        SetPluginStartupPhase(0);
        DisplayTest::SetUp();
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        luaL_openlib(L, nullptr, kCommands, 0);
        ASSERT_EQ(Create(1, {{"width", 200.0}, {"height", 100.0}}), 0);
        ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
        d = Display(1);
        g_rec.calls.clear();
        g_rec.blts.clear();
    }
    void TearDown() override {
        FreeDrawLibraryBuffers(L);
        DisplayTest::TearDown();
        RemovePluginHooks(&adapter_);
    }
};

TEST_F(DoubleBufferAdapter, HardwareModeIsTheAdapters) {
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {1}), 0);
    EXPECT_EQ(d->doubleBuffer2, 1u);
    EXPECT_EQ(GetDoubleBufferBitmap(d), nullptr);  // no buffers of our own
    ASSERT_EQ(Cmd("Flip", {1}), 0);
    EXPECT_EQ(g_rec.flipMessage[0], 1);
    EXPECT_EQ(g_rec.flipMessage[1], 1);
    EXPECT_EQ(g_rec.flipMessage[2], 0);
    // Closing is refused while the adapter holds the buffers.
    EXPECT_EQ(Cmd("CloseDisplay", {1}), ERR_HWDBFREEDISP);
    ASSERT_EQ(Cmd("EndDoubleBuffer", {}), 0);
    EXPECT_EQ(g_rec.calls, (std::vector<std::string>{"begin", "flip", "end"}));
    EXPECT_EQ(d->doubleBuffer1 | d->doubleBuffer2 | d->doubleBuffer3, 0u);
}

TEST_F(DoubleBufferAdapter, HardwareRefusals) {
    g_rec.beginResult = ERR_BITMAP;
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {1}), ERR_BITMAP);
    EXPECT_EQ(d->doubleBuffer1, 0u);
    g_rec.beginResult = 0;
    cxDisplayListener *l = AddDisplayListener(cxObjectID{1, nullptr}, nullptr, nullptr, nullptr, 0);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {1}), ERR_SATELLITE);
    RemoveDisplayListener(l);
    ASSERT_EQ(Cmd("CloseDisplay", {1}), 0);
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {1}), ERR_CLOSEDDISPLAY);
    // Software double buffering works on a closed display.
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {0}), 0);
    EXPECT_EQ(Cmd("EndDoubleBuffer", {}), 0);
}

TEST_F(DoubleBufferAdapter, SoftwareFlipPresentsTheMergedBoxes) {
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    EXPECT_EQ(d->doubleBuffer2, 0u);
    ASSERT_EQ(Cmd("Box", {10, 10, 10, 10, 0xFF0000}), 0);
    ASSERT_EQ(Cmd("Box", {15, 15, 10, 10, 0xFF0000}), 0);  // overlaps: one box
    ASSERT_EQ(Cmd("Box", {100, 50, 5, 5, 0xFF0000}), 0);
    EXPECT_TRUE(g_rec.blts.empty());  // nothing before Flip
    ASSERT_EQ(Cmd("Flip", {}), 0);
    // Two boxes (the draw library reports its shapes with a margin): one
    // around both overlapping squares, one around the small square.
    ASSERT_EQ(g_rec.blts.size(), 2u);
    auto covers = [&](const cxAdapterBlt &b, int x, int y, int w, int h) {
        return b.srcX == b.dstX && b.srcY == b.dstY && b.dstX <= x && b.dstY <= y && b.dstX + b.width >= x + w &&
               b.dstY + b.height >= y + h;
    };
    EXPECT_TRUE(covers(g_rec.blts[0], 10, 10, 15, 15));
    EXPECT_TRUE(covers(g_rec.blts[1], 100, 50, 5, 5));
    EXPECT_LT(g_rec.blts[0].dstX + g_rec.blts[0].width, 100);
    // A flip with nothing drawn presents nothing.
    g_rec.blts.clear();
    ASSERT_EQ(Cmd("Flip", {}), 0);
    EXPECT_TRUE(g_rec.blts.empty());
    // Cls covers everything: one whole blit.
    ASSERT_EQ(Cmd("Cls", {0}), 0);
    ASSERT_EQ(Cmd("Flip", {}), 0);
    ASSERT_EQ(g_rec.blts.size(), 1u);
    EXPECT_EQ(g_rec.blts[0].width, 200);
    EXPECT_EQ(g_rec.blts[0].height, 100);
}

}  // namespace
