// The display library over a recording display adapter and a recording
// requester adapter: what reaches each hook, in which form, and what the
// adapter's entries do to the displays.
#include <cstring>
#include <string>
#include <vector>

#include "display/adapter.h"
#include "display/backend.h"
#include "display/monitors.h"
#include "display/plugin_entries.h"
#include "display/requesters.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/plugins/plugin_registry.h"
#include "graphics/bitmap/bitmap.h"
#include "tests/display/displays/display_fixture.h"

namespace {

struct Record {
    std::vector<std::string> calls;
    std::vector<cxTagItem> openTags;
    uint32_t openFlags = 0;
    int32_t openW = 0, openH = 0;
    cxAdapterBlt lastBlt{};
    uint32_t lastBltBits = 0;
    int32_t sizeMove[4] = {};
    int freed[4] = {};
    std::string lastFileTags;
    uint32_t systemKind = 0;
} g_rec;

int g_handleStore;
void *const kHandle = &g_handleStore;

void *Open(const char *, int32_t, int32_t, int32_t w, int32_t h, uint32_t flags, const cxTagItem *tags) {
    g_rec.calls.push_back("open");
    g_rec.openFlags = flags;
    g_rec.openW = w;
    g_rec.openH = h;
    for (const cxTagItem *t = tags; t->tag; ++t) g_rec.openTags.push_back(*t);
    for (const cxTagItem *t = tags; t->tag; ++t)
        if (t->tag == 3) *reinterpret_cast<uint32_t *>(t->data) = 7;
    return kHandle;
}
int Close(void *h) {
    g_rec.calls.push_back(h == kHandle ? "close" : "close?");
    return 0;
}
int Blt(void *, void *h, const cxAdapterBlt *b, uint32_t bits) {
    g_rec.calls.push_back(h == kHandle ? "blt" : "blt?");
    g_rec.lastBlt = *b;
    g_rec.lastBltBits = bits;
    return 0;
}
int SizeMove(void *, int32_t x, int32_t y, int32_t w, int32_t h, int, int) {
    g_rec.calls.push_back("sizemove");
    g_rec.sizeMove[0] = x;
    g_rec.sizeMove[1] = y;
    g_rec.sizeMove[2] = w;
    g_rec.sizeMove[3] = h;
    return 0;
}
int Borders(uint32_t, int32_t *l, int32_t *r, int32_t *t, int32_t *b) {
    *l = 2;
    *r = 3;
    *t = 20;
    *b = 4;
    return 0;
}
cxAdapterMonitor g_monitors[3] = {{0, 0, 800, 600}, {800, 0, 1024, 768}, {0, 0, 0, 0}};
cxAdapterMode g_modes[4] = {{1024, 768, 32}, {640, 480, 32}, {800, 600, 16}, {0, 0, 0}};
cxAdapterMonitor g_endless[80];
bool g_useEndless = false;
int MonitorInfo(int kind, int, void **out) {
    *out = kind == 0 ? (g_useEndless ? static_cast<void *>(g_endless) : static_cast<void *>(g_monitors))
                     : static_cast<void *>(g_modes);
    return 0;
}
void FreeMonitors(int kind, void *) { g_rec.freed[kind]++; }

int SystemRequest(void *, const char *, const char *, uint32_t kind, int *result, const cxTagItem *) {
    g_rec.systemKind = kind;
    *result = 2;
    return 0;
}
char g_fileAnswer[] = "/tmp/a/one.txt\0/tmp/a/two.txt\0";
const char *FileRequest(void *, const char *, const cxTagItem *tags) {
    g_rec.lastFileTags.clear();
    for (const cxTagItem *t = tags; t->tag; ++t) g_rec.lastFileTags += std::to_string(t->tag);
    return g_fileAnswer;
}
void FreeRequest(int kind, const void *) { g_rec.freed[kind]++; }

template <class F>
cxPluginFunc Slot(F f) {
    return reinterpret_cast<cxPluginFunc>(f);
}

class AdapterDisplays : public cxtest::DisplayTest {
protected:
    cxPlugin display_{}, requester_{};
    void SetUp() override {
        g_rec = Record{};
        display_.capabilities = CX_CAP_DISPLAYADAPTER;
        display_.OpenDisplay = Slot(Open);
        display_.CloseDisplay = Slot(Close);
        display_.BltBitMap = Slot(Blt);
        display_.SizeMoveDisplay = Slot(SizeMove);
        display_.DetermineBorderSizes = Slot(Borders);
        display_.GetMonitorInfo = Slot(MonitorInfo);
        display_.FreeMonitorInfo = Slot(FreeMonitors);
        requester_.capabilities = CX_CAP_REQUESTERADAPTER;
        requester_.SystemRequest = Slot(SystemRequest);
        requester_.FileRequest = Slot(FileRequest);
        requester_.FreeRequest = Slot(FreeRequest);
        SetPluginStartupPhase(1);
        ASSERT_EQ(RegisterDisplayAdapter(&display_, CX_DISPLAY_MONITORS | CX_DISPLAY_EXCLUSIVE, nullptr), 0);
        ASSERT_EQ(RegisterRequesterAdapter(&requester_, CX_REQ_SYSTEM | CX_REQ_FILE), 0);
        SetPluginStartupPhase(0);
        DisplayTest::SetUp();
    }
    void TearDown() override {
        DisplayTest::TearDown();
        RemovePluginHooks(&display_);
        RemovePluginHooks(&requester_);
        FreeEventQueue(nullptr);
    }
    intptr_t Tag(uintptr_t tag) {
        for (const cxTagItem &t : g_rec.openTags)
            if (t.tag == tag) return t.data;
        return -1;
    }
};

TEST_F(AdapterDisplays, SecondAdapterAfterAnExclusiveOneIsRefused) {
    cxPlugin other{};
    other.capabilities = CX_CAP_DISPLAYADAPTER;
    SetPluginStartupPhase(1);
    EXPECT_EQ(RegisterDisplayAdapter(&other, 0, nullptr), ERR_SETADAPTER);
    SetPluginStartupPhase(0);
}

TEST_F(AdapterDisplays, OpenPresentResizeAndCloseGoThroughTheHooks) {
    ASSERT_EQ(Create(1, {{"width", 320.0}, {"height", 200.0}, {"scalewidth", 640.0}, {"scaleheight", 400.0},
                         {"scalemode", 1.0}, {"borderless", 1.0}}),
              0);
    ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
    cxDisplay *d = Display(1);
    EXPECT_EQ(d->adapterHandle, kHandle);
    EXPECT_EQ(FindDisplayByHandle(kHandle), d);
    EXPECT_EQ(d->adapterFlagA, 7u);
    EXPECT_EQ(g_rec.openW, 320);
    EXPECT_EQ(Tag(1), 320);  // picture width
    EXPECT_EQ(Tag(10), 640); // scaled width
    EXPECT_EQ(Tag(11), 400);
    EXPECT_EQ(Tag(7), -1);   // no screen size for a window
    EXPECT_EQ(g_rec.openFlags & (CX_ADAPTER_BORDERLESS | CX_ADAPTER_AUTOSCALE),
              uint32_t(CX_ADAPTER_BORDERLESS | CX_ADAPTER_AUTOSCALE));
    EXPECT_EQ(d->os.borderWidth, 5);
    EXPECT_EQ(d->os.borderHeight, 24);
    // The opening repaint: the picture scaled into the shared buffer, whole.
    ASSERT_FALSE(g_rec.calls.empty());
    EXPECT_EQ(g_rec.calls.back(), "blt");
    EXPECT_EQ(g_rec.lastBlt.width, 640);
    EXPECT_EQ(g_rec.lastBltBits & 0x20, 0x20u);
    ASSERT_EQ(Cmd("ChangeDisplaySize", {500, 300}), 0);
    EXPECT_EQ(g_rec.sizeMove[2], 500);
    EXPECT_EQ(g_rec.sizeMove[3], 300);
    ASSERT_EQ(Cmd("CloseDisplay", {1}), 0);
    EXPECT_EQ(g_rec.calls.back(), "close");
    EXPECT_EQ(d->adapterHandle, nullptr);
}

// Only the adapter's own scaling flag hands it the scaled size; an adapter
// that merely fills rectangles gets the picture scaled by the library.
TEST_F(AdapterDisplays, ScaledPresentFollowsOnlyTheScalingFlag) {
    struct Case {
        uint32_t drawFlags;
        int32_t width, scaledWidth;
        bool scaleBuffer;
    };
    const Case cases[] = {
        {0, 640, 0, true},
        {CX_DRAW_RECTFILL, 640, 0, true},
        {CX_DRAW_BLTBITMAP | CX_DRAW_RECTFILL | CX_DRAW_LINE, 640, 0, true},
        {CX_DRAW_SCALES, 320, 640, false},
    };
    int id = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.drawFlags);
        display_.drawFlags = c.drawFlags;
        g_rec = Record{};
        ASSERT_EQ(Create(id, {{"width", 320.0}, {"height", 200.0}, {"scalewidth", 640.0}, {"scaleheight", 400.0},
                             {"scalemode", 1.0}}),
                  0);
        ASSERT_EQ(Cmd("OpenDisplay", {double(id)}), 0);
        ASSERT_FALSE(g_rec.calls.empty());
        EXPECT_EQ(g_rec.calls.back(), "blt");
        EXPECT_EQ(g_rec.lastBlt.width, c.width);
        EXPECT_EQ(g_rec.lastBlt.scaledWidth, c.scaledWidth);
        EXPECT_EQ((g_rec.lastBltBits & 0x20) != 0, c.scaleBuffer);  // the shared scale buffer
        ASSERT_EQ(Cmd("CloseDisplay", {double(id)}), 0);
        ++id;
    }
}

TEST_F(AdapterDisplays, MonitorsAndModesFromTheAdapterAreHandedBack) {
    EXPECT_EQ(CountMonitors(), 2);
    EXPECT_EQ(g_rec.freed[0], 1);
    ASSERT_EQ(Cmd("GetDisplayModes", {2}), 0);
    EXPECT_EQ(g_rec.freed[1], 1);
    lua_rawgeti(L, 1, 0);
    lua_pushstring(L, "width");
    lua_gettable(L, -2);
    EXPECT_EQ(lua_tonumber(L, -1), 640);  // sorted ascending
    EXPECT_EQ(Cmd("GetDisplayModes", {3}), ERR_MONITORRANGE);
    ASSERT_EQ(Create(1, {{"monitor", 2.0}}), 0);
    EXPECT_EQ(Display(1)->monitor, 1);
    // A list without its end mark is cut rather than read past its end.
    for (auto &m : g_endless) m = {0, 0, 10, 10};
    g_useEndless = true;
    EXPECT_EQ(CountMonitors(), 64);
    g_useEndless = false;
}

TEST_F(AdapterDisplays, ListenerInputReachesTheDisplay) {
    ASSERT_EQ(InitKernel(), 0);  // the event queue
    ASSERT_EQ(Create(1), 0);
    ASSERT_EQ(Create(2), 0);
    cxDisplayListener *l = AddDisplayListener(cxObjectID{2, nullptr}, nullptr, nullptr, nullptr, 0);
    ASSERT_NE(l, nullptr);
    const intptr_t move[3] = {10, 20, 0};
    PostListenerEvent(l, 4, move);
    EXPECT_EQ(Display(2)->os.mouseX, 10);
    EXPECT_EQ(Display(1)->os.mouseX, 0);
    int32_t mx = -1, my = -1;
    GetDisplayMousePos(Display(2), &mx, &my);  // closed: the last position stored
    EXPECT_EQ(mx, 10);
    EXPECT_EQ(my, 20);
    const intptr_t key0[3] = {0, 1, intptr_t(0x80000001u)};
    PostListenerEvent(l, 5, key0);  // key 0: qualifiers only
    EXPECT_EQ(Display(2)->os.qualifiers, 0x80000001u);
    const intptr_t press[3] = {5, 6, 1};
    PostListenerEvent(nullptr, 1, press);  // null: the first display
    EXPECT_EQ(Display(1)->os.mouseButtons[0], 1u);
    cxEventInfo info;
    ASSERT_EQ(FetchEvent(nullptr, 0, &info, 0), 1);
    EXPECT_EQ(info.type, 11u);
    ASSERT_EQ(FetchEvent(nullptr, 1, &info, 0), 2);
    EXPECT_EQ(info.type, 1u);
    EXPECT_EQ(FetchEvent(nullptr, 2, &info, 0), 0);
    // Attributes through the listener.
    int32_t w = 0, sw = -1;
    double factor = 0;
    cxTagItem tags[] = {{10, 1}, {1, reinterpret_cast<intptr_t>(&w)}, {6, reinterpret_cast<intptr_t>(&sw)},
                        {11, reinterpret_cast<intptr_t>(&factor)}, {99, 0}, {0, 0}};
    EXPECT_EQ(GetDisplayAttrTags(l, tags), 3);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(sw, 0);
    EXPECT_EQ(factor, 1.0);
    EXPECT_EQ(GetDisplayAttrTags(&w, tags + 1), -1);  // no display has that handle
    EXPECT_EQ(Cmd("FreeDisplay", {2}), ERR_SATFREEDISP);
    RemoveDisplayListener(l);
    EXPECT_EQ(Cmd("FreeDisplay", {2}), 0);
}

TEST_F(AdapterDisplays, ResizeAndRefreshForTheAdapter) {
    ASSERT_EQ(InitKernel(), 0);
    ASSERT_EQ(Create(1, {{"width", 100.0}, {"height", 50.0}}), 0);
    ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
    cxDisplayListener *l = AddDisplayListener(cxObjectID{1, nullptr}, nullptr, nullptr, nullptr, 0);
    ASSERT_EQ(ResizeDisplayForListener(l, 120, 60, nullptr), 0);
    EXPECT_EQ(Display(1)->os.width, 120);
    EXPECT_EQ(g_rec.sizeMove[2], 120);
    cxEventInfo info;
    ASSERT_EQ(FetchEvent(nullptr, 0, &info, 0), 1);
    EXPECT_EQ(info.type, 5u);
    EXPECT_EQ(ResizeDisplayForListener(&info, 10, 10, nullptr), ERR_FINDDISPLAY);
    EXPECT_EQ(ResizeDisplayForListener(l, 0, 10, nullptr), ERR_DISPLAYSIZE);
    g_rec.calls.clear();
    EXPECT_EQ(RefreshDisplayByHandle(kHandle), 0);
    ASSERT_FALSE(g_rec.calls.empty());
    EXPECT_EQ(g_rec.calls.back(), "blt");
    EXPECT_EQ(g_rec.lastBlt.width, 120);
    EXPECT_EQ(RefreshDisplayByHandle(&info), ERR_FINDDISPLAY);
    RemoveDisplayListener(l);
    DropEvents(nullptr, CX_EVENT_DROP_ALL, 1);
}

TEST_F(AdapterDisplays, RequestersThroughTheAdapter) {
    int choice = -1;
    ASSERT_EQ(RunSystemRequester(L, nullptr, "t", "b", "yes|no", 1, 0, &choice), 0);
    EXPECT_EQ(g_rec.systemKind, 4u | 64u);
    EXPECT_EQ(choice, 2);
    cxFileRequestResult r;
    ASSERT_EQ(RunFileRequester(L, nullptr, "t", "#?", "/tmp", "", 0, 1, &r), 0);
    EXPECT_EQ(g_rec.lastFileTags, "134");  // the all-files pattern is not passed
    EXPECT_EQ(g_rec.freed[0], 1);
    ASSERT_EQ(r.success, 1);
    EXPECT_EQ(r.count, 2);
    EXPECT_STREQ(r.path, "/tmp/a/");
    EXPECT_STREQ(r.files, "one.txt");
    EXPECT_STREQ(r.files + 8, "two.txt");
    FreeFileRequestResult(&r);
    ASSERT_EQ(RunFileRequester(L, nullptr, "t", "*.png", "", "", 0, 0, &r), 0);
    EXPECT_EQ(g_rec.lastFileTags, "1234");
    EXPECT_EQ(r.count, 1);
    EXPECT_STREQ(r.files, "one.txt");
    FreeFileRequestResult(&r);
}

TEST_F(AdapterDisplays, MenusRefuseAnAdapter) {
    ASSERT_EQ(Create(1), 0);
    EXPECT_EQ(Create(2, {{"menu", 1.0}}), ERR_DISPLAYADAPTERSUPPORT);
    EXPECT_EQ(Call("SelectMenuItem", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "x");
              }),
              ERR_DISPLAYADAPTERSUPPORT);
}

}  // namespace
