// Event types registered by plug-ins, the posting entries that back-ends
// and plug-ins call from any thread, and the notices of other subsystems.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "display/events/event_notices.h"
#include "display/events/event_posting.h"
#include "display/events/event_types.h"
#include "window/x11/x11_window.h"
#include "tests/display/events/event_fixture.h"

namespace {

using cxtest::Events;

int g_fills, g_pushes, g_afters, g_frees;

void Fill(lua_State *L, uint32_t, void *data, cxEventType *) {
    g_fills++;
    lua_pushstring(L, "value");
    lua_pushnumber(L, data ? *static_cast<int *>(data) : -1);
    lua_settable(L, -3);
    lua_pushnumber(L, 99); // left behind on purpose
}
int Push(lua_State *L, uint32_t, void *data, cxEventType *) {
    g_pushes++;
    if (!data) return -ERR_WRONGUSAGE;
    lua_pushstring(L, "pushed");
    lua_pushnumber(L, *static_cast<int *>(data));
    return 2;
}
void After(lua_State *, uint32_t, void *, cxEventType *) { g_afters++; }
void Free(lua_State *, uint32_t, void *data) {
    g_frees++;
    delete static_cast<int *>(data);
}

const cxPluginFunc kFillHooks[] = {reinterpret_cast<cxPluginFunc>(Fill)};
const cxPluginFunc kPushHooks[] = {reinterpret_cast<cxPluginFunc>(Push), reinterpret_cast<cxPluginFunc>(After),
                                   reinterpret_cast<cxPluginFunc>(Free)};
const uint32_t *Hooks(const cxPluginFunc *f) { return reinterpret_cast<const uint32_t *>(f); }

class EventTypes : public Events {
protected:
    void SetUp() override {
        Events::SetUp();
        g_fills = g_pushes = g_afters = g_frees = 0;
    }
};

TEST_F(EventTypes, RegistrationNumbersAndRefusals) {
    EXPECT_EQ(RegisterEventType("OnMouseDown", 0, Hooks(kFillHooks), 0), 0) << "built-in name";
    EXPECT_EQ(RegisterEventType("RUNFINISHED", 0, Hooks(kFillHooks), 0), 0) << "built-in global name";
    EXPECT_EQ(RegisterEventType("First", 0, Hooks(kFillHooks), 0), 32);
    EXPECT_EQ(RegisterEventType("first", 0, Hooks(kFillHooks), 0), 0) << "registered name";
    EXPECT_EQ(RegisterEventType("Second", 1, Hooks(kPushHooks), 0), 33);
    EXPECT_EQ(RegisterEventType("Bad", 2, Hooks(kFillHooks), 0), 0) << "no such kind";
    EXPECT_EQ(RegisterEventType("Bad", 0, nullptr, 0), 0) << "no hooks";
    EXPECT_EQ(RegisterEventType("Third", 0, Hooks(kFillHooks), 0), 34);
    EXPECT_EQ(FindEventType("SECOND", nullptr), 33);
    EXPECT_EQ(FindEventType("none", nullptr), -1);
    ASSERT_EQ(Install({"third"}), 0);
    int32_t ref = -5;
    cxTagItem tags[] = {{1, reinterpret_cast<intptr_t>(&ref)}, {0, 0}};
    EXPECT_EQ(FindEventType("Third", tags), 34);
    EXPECT_NE(ref, -1);
    EXPECT_EQ(FindEventTypeSlot("third")->function, ref);
}

TEST_F(EventTypes, QueuedEventsOfBothKinds) {
    ASSERT_EQ(RegisterEventType("Filled", 0, Hooks(kFillHooks), 0), 32);
    ASSERT_EQ(RegisterEventType("Pushed", 1, Hooks(kPushHooks), 0), 33);
    ASSERT_EQ(Install({"filled", "pushed"}), 0);
    int value = 7;
    cxTagItem filled[] = {{1, reinterpret_cast<intptr_t>(&value)}, {0, 0}};
    ASSERT_EQ(PostSystemEvent(L, 32, filled), 0);
    ASSERT_EQ(Call("CheckEvent"), 0);
    EXPECT_EQ(Field(1, "action"), "Filled");
    EXPECT_EQ(Last("value"), "7");
    EXPECT_EQ(Last("action"), "Filled");
    EXPECT_EQ(g_fills, 1);
    // Kind 1: arguments from the push hook, the data freed by its hook,
    // and no result for the caller.
    cxTagItem pushed[] = {{1, reinterpret_cast<intptr_t>(new int(5))}, {0, 0}};
    ASSERT_EQ(PostSystemEventNoState(33, pushed), 0);
    ASSERT_EQ(Call("CheckEvent"), 0);
    EXPECT_EQ(Field(1, "triggered"), "0");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Last("action"), "<none>") << "the handler got its pushed arguments, no table";
    EXPECT_EQ(g_pushes, 1);
    EXPECT_EQ(g_afters, 1);
    EXPECT_EQ(g_frees, 1);
    // Dropped unserved: still freed by the hook.
    cxTagItem dropped[] = {{1, reinterpret_cast<intptr_t>(new int(6))}, {0, 0}};
    ASSERT_EQ(PostSystemEvent(L, 33, dropped), 0);
    ASSERT_EQ(Call("FreeEventCache"), 0);
    EXPECT_EQ(g_frees, 2);
    // A push hook's error is the handler's error; the data is still freed.
    ASSERT_EQ(PostSystemEvent(L, 33, nullptr), 0);
    EXPECT_EQ(Call("CheckEvent"), ERR_WRONGUSAGE);
}

TEST_F(EventTypes, SynchronousPostCallsAtOnce) {
    ASSERT_EQ(RegisterEventType("Now", 1, Hooks(kPushHooks), 0), 32);
    EXPECT_EQ(PostRegisteredEvent(L, 32, new int(1)), 0) << "no handler: nothing runs";
    EXPECT_EQ(g_frees, 1);
    ASSERT_EQ(Install({"now"}), 0);
    EXPECT_EQ(PostRegisteredEvent(L, 32, new int(2)), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(g_frees, 2);
    EXPECT_EQ(PostRegisteredEvent(L, 40, nullptr), 0) << "no such type";
}

TEST_F(EventTypes, BackEndEventsForADisplay) {
    // The display's platform handle (its window record) finds it.
    const intptr_t h = reinterpret_cast<intptr_t>(GetDisplayHandle(d));
    ASSERT_NE(h, 0);
    struct Case {
        int code;
        std::vector<intptr_t> words;
        uint32_t type;
    } cases[] = {
        {3, {h, 10, 20, 1, 1}, 1}, {3, {h, 10, 20, 2, 1}, 2}, {3, {h, 10, 20, 3, 0}, 16},
        {4, {h, 'x', 1, intptr_t(0x80000000u)}, 3}, {5, {h}, 7}, {7, {h}, 4}, {8, {h, 1}, 10}, {8, {h, 0}, 9},
        {9, {h, 1}, 8}, {9, {h, 0}, 6}, {10, {h, 'q'}, 28}, {12, {h, 300, 1}, 29}, {13, {h, 0}, 12},
        {13, {h, 1}, 11},
    };
    for (const Case &c : cases) {
        std::vector<cxTagItem> tags;
        for (intptr_t w : c.words) tags.push_back({1, w});
        tags.push_back({0, 0});
        ASSERT_EQ(PostSystemEvent(L, c.code, tags.data()), 0) << c.code;
        cxEventInfo info{};
        ASSERT_EQ(FetchEvent(L, 0, &info, 0), 1u) << c.code;
        EXPECT_EQ(info.type, c.type) << c.code;
        DropEvents(L, CX_EVENT_DROP_ALL, 1);
    }
    EXPECT_EQ(d->os.keyStates['x'], 1);
    EXPECT_EQ(d->os.keyStates[CX_KEY_STATE_COUNT + 300], 1);
    EXPECT_EQ(d->os.mouseButtons[0], 1u);
    // A pointer move posts nothing and marks the display.
    cxTagItem move[] = {{1, h}, {1, 5}, {1, 6}, {1, 0}, {1, 0}, {0, 0}};
    ASSERT_EQ(PostSystemEvent(L, 3, move), 0);
    EXPECT_EQ(Queued(), 0u);
    EXPECT_EQ(d->os.pointerMoved, 1u);
    // Unknown display, unknown code, suspension.
    cxTagItem nobody[] = {{1, 12345}, {0, 0}};
    EXPECT_EQ(PostSystemEvent(L, 5, nobody), ERR_FINDDISPLAY);
    EXPECT_EQ(PostSystemEvent(L, 20, nobody), 0);
    SetEventSuspension(1);
    cxTagItem close[] = {{1, h}, {0, 0}};
    EXPECT_EQ(PostSystemEvent(L, 5, close), 0);
    EXPECT_EQ(Queued(), 0u);
    SetEventSuspension(0);
}

TEST_F(EventTypes, QuitKeysAndQuitRequests) {
    const intptr_t h = reinterpret_cast<intptr_t>(GetDisplayHandle(d));
    OsSetDisplayAttr(nullptr, 10, 1);
    cxTagItem esc[] = {{1, h}, {1, 275}, {1, 1}, {1, intptr_t(0x80000000u)}, {0, 0}};
    ASSERT_EQ(PostSystemEvent(L, 4, esc), 0);
    OsSetDisplayAttr(nullptr, 10, 0);
    cxEventInfo info{};
    ASSERT_EQ(FetchEvent(L, 0, &info, 0), 1u);
    EXPECT_EQ(info.type, 3u) << "the key event comes first";
    ASSERT_EQ(FetchEvent(L, 1, &info, 0), 2u);
    EXPECT_EQ(info.type, 23u);
    EXPECT_EQ(GetUserAbortFlag(), 1);
    SetUserAbortFlag(0);
    DropEvents(L, CX_EVENT_DROP_ALL, 1);
    // Control-C only with its switch on.
    const int ctrlCWas = OsGetDisplayAttr(8);
    OsSetDisplayAttr(nullptr, 8, 0);
    cxTagItem ctrlc[] = {{1, h}, {1, 'c'}, {1, 1}, {1, intptr_t(0x80400000u)}, {0, 0}};
    ASSERT_EQ(PostSystemEvent(L, 4, ctrlc), 0);
    EXPECT_EQ(GetUserAbortFlag(), 0);
    OsSetDisplayAttr(nullptr, 8, 1);
    ASSERT_EQ(PostSystemEvent(L, 4, ctrlc), 0);
    OsSetDisplayAttr(nullptr, 8, ctrlCWas);
    EXPECT_EQ(GetUserAbortFlag(), 1);
    SetUserAbortFlag(0);
    DropEvents(L, CX_EVENT_DROP_ALL, 1);
    // From another thread: the end of the run ends a waiting WaitEvent
    // (the virtual machine raises "User abort!" at its next hook).
    std::thread t([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        RequestQuit();
    });
    const int err = Call("WaitEvent");
    t.join();
    EXPECT_TRUE(err == 0 || err == ERR_USERABORT) << err;
    EXPECT_EQ(GetUserAbortFlag(), 1);
    SetUserAbortFlag(0);
}

TEST_F(EventTypes, MenuSelectionCopiesItsText) {
    ASSERT_EQ(Install({"onmenuselect"}), 0);
    std::string text = "Open";
    cxTagItem tags[] = {{2, reinterpret_cast<intptr_t>(text.c_str())}, {0, 0}};
    ASSERT_EQ(PostMenuSelection(d, tags, 3), 0);
    text = "gone";
    cxEventInfo info{};
    ASSERT_EQ(FetchEvent(L, 0, &info, 0), 1u);
    EXPECT_EQ(info.type, 26u);
    EXPECT_STREQ(static_cast<const char *>(info.data), "Open");
    EXPECT_EQ(PostMenuSelection(d, nullptr, 4), 0);
    ASSERT_EQ(FetchEvent(L, 1, &info, 0), 2u);
    EXPECT_STREQ(static_cast<const char *>(info.data), "");
}

TEST_F(EventTypes, NoticesOfOtherSubsystems) {
    // Without their handlers notices wait; handlers then get them in order.
    cxEventNotice end{};
    end.kind = CX_NOTICE_SAMPLEEND;
    end.id = {3, nullptr};
    end.time = 1500;
    end.starts = 2;
    end.userData = -1;
    ASSERT_EQ(PostEventNotice(&end), 0);
    lua_pushstring(L, "ud");
    const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
    std::thread([ref] { EXPECT_EQ(PostRunFinished("/bin/true", nullptr, ref), 0); }).join();
    EXPECT_EQ(CheckAction(), "");
    ASSERT_EQ(Install({"onsampleend", "runfinished"}), 0);
    EXPECT_EQ(CheckAction(), "OnSampleEnd");
    EXPECT_EQ(Last("time"), "1500");
    EXPECT_EQ(Last("starts"), "2");
    EXPECT_EQ(Last("id"), "3");
    EXPECT_EQ(CheckAction(), "RunFinished");
    EXPECT_EQ(Last("program"), "/bin/true");
    EXPECT_EQ(Last("args"), "");
    EXPECT_EQ(Last("runuserdata"), "ud");
    // A notice without its handler is consumed silently.
    cxEventNotice video{};
    video.kind = CX_NOTICE_VIDEOEND;
    video.userData = -1;
    ASSERT_EQ(PostEventNotice(&video), 0);
    EXPECT_EQ(CheckAction(), "");
    cxEventNotice left{};
    EXPECT_EQ(TakeEventNotice(&left), 0);
}

}  // namespace
