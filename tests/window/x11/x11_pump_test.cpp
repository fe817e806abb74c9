// gtest comes before the X headers, whose macros clash with its names.
#include "x11_test_support.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/runtime/kernel.h"
#include "platform/os_time.h"
#include "platform/os_wake.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_pump.h"

using Events = std::vector<TestEvent>;

TEST_F(X11Display, KeyPressGivesKeyRawKeyAndCharacterEvents) {
    Open();
    Key(XK_a, true);
    PumpUntil([this](const Events &) { return Has(3, 1, 'a') && Has(29, 1, 'A') && Has(28, 0, 'a'); });
    EXPECT_TRUE(Has(3, 1, 'a'));
    EXPECT_TRUE(Has(29, 1, 'A'));
    EXPECT_TRUE(Has(28, 0, 'a'));
    EXPECT_EQ(display.keyStates['a'], 1);
    EXPECT_EQ(display.keyStates[CX_KEY_STATE_COUNT + 'A'], 1);
    Key(XK_a, false);
    PumpUntil([this](const Events &) { return Has(3, 0, 'a') && Has(29, 0, 'A'); });
    EXPECT_TRUE(Has(3, 0, 'a'));
    EXPECT_EQ(display.keyStates['a'], 0);
    EXPECT_EQ(display.keyStates[CX_KEY_STATE_COUNT + 'A'], 0);

    Key(XK_Escape, true);
    Key(XK_Escape, false);
    PumpUntil([this](const Events &) { return Has(3, 0, 275) && Has(29, 0, 275); });
    EXPECT_TRUE(Has(3, 1, 275));
    EXPECT_TRUE(Has(29, 1, 275));
    EXPECT_TRUE(Has(29, 0, 275));
    EXPECT_EQ(stop, 0);  // EscapeQuit is off
}

TEST_F(X11Display, ModifierKeysGiveRawEventsAndQualifiers) {
    Open();
    Key(XK_Shift_L, true);
    PumpUntil([this](const Events &) { return Has(29, 1, 306); });
    EXPECT_TRUE(Has(29, 1, 306));
    EXPECT_EQ(display.qualifiers, 0x80010000u);
    EXPECT_EQ(display.keyStates[CX_KEY_STATE_COUNT + 306], 1);
    Key(XK_a, true);
    Key(XK_a, false);
    Key(XK_Shift_L, false);
    PumpUntil([this](const Events &) { return Has(29, 0, 306); });
    EXPECT_TRUE(Has(3, 1, 'A'));  // the key value follows the shift
    EXPECT_TRUE(Has(29, 1, 'A'));
    EXPECT_EQ(display.qualifiers, 0x80000000u);
}

TEST_F(X11Display, QuitKeys) {
    Open();
    OsSetDisplayAttr(nullptr, 10, 1);
    Key(XK_Escape, true);
    int r = PumpUntil([this](const Events &) { return stop != 0; });
    EXPECT_EQ(r, 1);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(GetUserAbortFlag(), 1);
    EXPECT_EQ(OsGetQuitFlag(), 1);
    Key(XK_Escape, false);
    OsSetDisplayAttr(nullptr, 10, 0);
    // The quit flag is sticky.
    EXPECT_EQ(OsHandleEvents(nullptr, &code), 1);
}

TEST_F(X11Display, ControlCEndsTheRunWhileCtrlCQuitIsOn) {
    Open();
    OsSetDisplayAttr(nullptr, 8, 0);
    Key(XK_Control_L, true);
    Key(XK_c, true);
    Key(XK_c, false);
    PumpUntil([this](const Events &) { return Has(3, 0, 'c'); });
    EXPECT_EQ(stop, 0);
    OsSetDisplayAttr(nullptr, 8, 1);
    Key(XK_c, true);
    Key(XK_c, false);
    Key(XK_Control_L, false);
    EXPECT_EQ(PumpUntil([this](const Events &) { return stop != 0; }), 1);
}

TEST_F(X11Display, ButtonsAndWheelCarryPositions) {
    Open();
    MoveInside(30, 40);
    Button(1, true);
    PumpUntil([this](const Events &) { return Has(1, 30, 1); });
    const TestEvent *e = Find(1, 30, 1);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->b, 40u);
    EXPECT_EQ(display.mouseButtons[0], 1u);
    Button(1, false);
    MoveInside(60, 70);
    Button(3, true);
    Button(3, false);
    Button(2, true);
    Button(2, false);
    Button(4, true);
    Button(4, false);
    Button(5, true);
    Button(5, false);
    PumpUntil([this](const Events &) { return Has(12, 60); });
    EXPECT_TRUE(Has(1, 30, 0));
    EXPECT_EQ(display.mouseButtons[0], 0u);
    for (uint32_t type : {2u, 16u}) {
        e = Find(type, 60, 1);
        ASSERT_NE(e, nullptr) << type;
        EXPECT_EQ(e->b, 70u);
        EXPECT_TRUE(Has(type, 60, 0));
    }
    for (uint32_t type : {11u, 12u}) {
        e = Find(type, 60);
        ASSERT_NE(e, nullptr) << type;
        EXPECT_EQ(e->b, 70u);
    }
    EXPECT_EQ(display.pointerMoved, 1u);
    EXPECT_EQ(display.mouseX, 60);
}

namespace {
void SendDelete(Display *dpy, Window win) {
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = win;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, win, False, NoEventMask, &ev);
    XSync(dpy, False);
}
}  // namespace

TEST_F(X11Display, CloseRequestWithoutHandlerEndsTheRun) {
    Open();
    SendDelete(tdpy, Win());
    EXPECT_EQ(PumpUntil([this](const Events &) { return Has(7, 0); }), 1);
    EXPECT_TRUE(Has(7, 0));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(GetUserAbortFlag(), 1);
    EXPECT_EQ(display.closeRequested, 1u);
}

TEST_F(X11Display, CloseRequestWithHandlerOnlyPostsTheEvent) {
    Open();
    SetHandler(CX_OS_HANDLER_CLOSE);
    SendDelete(tdpy, Win());
    EXPECT_EQ(PumpUntil([this](const Events &) { return Has(7, 0); }), 0);
    EXPECT_TRUE(Has(7, 0));
    EXPECT_EQ(OsGetQuitFlag(), 0);
}

TEST_F(X11Display, LosingTheFocusClearsTheKeyArrays) {
    Open();
    Key(XK_b, true);
    Key(XK_Shift_R, true);
    PumpUntil([this](const Events &) { return Has(29, 1, 307); });
    ASSERT_EQ(display.keyStates['b'], 1);
    ASSERT_EQ(display.keyStates[CX_KEY_STATE_COUNT + 'B'], 1);
    XSetInputFocus(tdpy, None, RevertToNone, CurrentTime);
    XSync(tdpy, False);
    PumpUntil([this](const Events &) { return Has(6, 0); });
    EXPECT_TRUE(Has(6, 0));
    EXPECT_EQ(display.active, 0u);
    for (int i = 0; i < 2 * CX_KEY_STATE_COUNT; ++i) ASSERT_EQ(display.keyStates[i], 0) << i;
    EXPECT_EQ(display.qualifiers, 0x80000000u);
    Key(XK_b, false);
    Key(XK_Shift_R, false);
}

TEST_F(X11Display, MotionFloodEndsTheTurnWithinItsBudget) {
    Open();
    cxOsXConnection *c = OsGetXConnections();
    ASSERT_NE(c, nullptr);
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xmotion.type = MotionNotify;
    ev.xmotion.window = Win();
    ev.xmotion.x = 5;
    ev.xmotion.y = 6;
    // Grow the flood until one turn cannot take it all.
    bool stoppedEarly = false;
    uint32_t turnMs = 0;
    for (int count = 400000; count <= 800000 && !stoppedEarly; count *= 2) {
        // In chunks, each read into the pump connection's queue by a round
        // trip, so that the whole flood waits inside Xlib.
        for (int sent = 0; sent < count; sent += 20000) {
            for (int i = 0; i < 20000; ++i) XSendEvent(tdpy, Win(), False, PointerMotionMask, &ev);
            XSync(tdpy, False);
            XSync(c->dpy, False);
        }
        cxOsTimeVal start;
        OsGetMonotonicTime(&start);
        int code2 = 0;
        OsHandleEvents(nullptr, &code2);
        cxOsTimeVal now;
        OsGetMonotonicTime(&now);
        OsSubTime(&now, &start);
        turnMs = OsTimeToMs(&now);
        stoppedEarly = OsGetEventsPending() != 0;
        DropEvents(nullptr, CX_EVENT_DROP_ALL, 1);
    }
    ASSERT_TRUE(stoppedEarly);
    // The budget is 50 ms; a loaded machine gets generous slack.
    EXPECT_LT(turnMs, 2000u);
    EXPECT_GT(XEventsQueued(c->dpy, QueuedAlready), 0);
    // The next wait returns at once although no descriptor may be readable.
    EXPECT_EQ(OsWaitEvents(nullptr), 0);
    EXPECT_EQ(OsGetEventsPending(), 0);
    while (XPending(c->dpy) > 0) {
        int code2 = 0;
        OsHandleEvents(nullptr, &code2);
        DropEvents(nullptr, CX_EVENT_DROP_ALL, 1);
    }
    EXPECT_EQ(display.pointerMoved, 1u);
}

TEST_F(X11Display, ConfigureMovesAndResizes) {
    Open(CX_DISPLAY_SIZEABLE);
    XMoveWindow(tdpy, Win(), 70, 80);
    XSync(tdpy, False);
    PumpUntil([this](const Events &) { return Has(4, 70); });
    EXPECT_EQ(display.x, 70);
    EXPECT_EQ(display.y, 80);
    XResizeWindow(tdpy, Win(), 260, 170);
    XSync(tdpy, False);
    PumpUntil([this](const Events &) { return Has(5, 260); });
    const TestEvent *e = Find(5, 260);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->b, 170u);
    EXPECT_EQ(display.width, 260);  // through the display library's resize
}

TEST_F(X11Display, BorderlessDragBarMovesTheWindow) {
    Open(CX_DISPLAY_BORDERLESS);
    display.dragRegions[0] = {14, 0, 0, 200, 15};
    display.dragCount = 1;
    int x0, y0;
    Window child;
    XTranslateCoordinates(tdpy, Win(), DefaultRootWindow(tdpy), 0, 0, &x0, &y0, &child);
    MoveInside(50, 5);
    Button(1, true);
    PumpFor(50);
    MoveInside(80, 25);  // the window follows, so this is 30, 20 further
    PumpFor(100);
    Button(1, false);
    PumpFor(100);
    int x1, y1;
    XTranslateCoordinates(tdpy, Win(), DefaultRootWindow(tdpy), 0, 0, &x1, &y1, &child);
    EXPECT_EQ(x1 - x0, 30);
    EXPECT_EQ(y1 - y0, 20);
    EXPECT_FALSE(Has(1, 50));  // a drag is no click
}

TEST_F(X11Display, BorderlessSizeHandleResizesTheWindow) {
    Open(CX_DISPLAY_BORDERLESS | CX_DISPLAY_SIZEABLE);
    display.sizeRegions[0] = {14, 190, 140, 10, 10};
    display.sizeCount = 1;
    MoveInside(195, 145);
    Button(1, true);
    PumpFor(50);
    MoveInside(235, 165);
    PumpFor(100);
    Button(1, false);
    PumpUntil([this](const Events &) { return Has(5, 240); });
    const TestEvent *e = Find(5, 240);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->b, 170u);
}

namespace {
Atom A(Display *d, const char *n) { return XInternAtom(d, n, False); }

void SendXdnd(Display *dpy, Window to, const char *type, long l0, long l1, long l2, long l3, long l4) {
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = to;
    ev.xclient.message_type = A(dpy, type);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(dpy, to, False, NoEventMask, &ev);
    XSync(dpy, False);
}

// Waits on the test connection for a client message of that type.
bool WaitClientMessage(Display *dpy, Window win, const char *type, XClientMessageEvent *out) {
    for (int i = 0; i < 500; ++i) {
        XEvent ev;
        while (XCheckTypedWindowEvent(dpy, win, ClientMessage, &ev)) {
            if (ev.xclient.message_type == A(dpy, type)) {
                *out = ev.xclient;
                return true;
            }
        }
        OsDelayMs(5);
    }
    return false;
}
}  // namespace

TEST_F(X11Display, DropOfAUriListPostsTheNames) {
    Open();
    SetHandler(CX_OS_HANDLER_DROP);
    Window src = XCreateSimpleWindow(tdpy, DefaultRootWindow(tdpy), 0, 0, 10, 10, 0, 0, 0);
    XSetSelectionOwner(tdpy, A(tdpy, "XdndSelection"), src, CurrentTime);
    XSync(tdpy, False);
    int rx, ry;
    Window child;
    XTranslateCoordinates(tdpy, Win(), DefaultRootWindow(tdpy), 25, 35, &rx, &ry, &child);

    SendXdnd(tdpy, Win(), "XdndEnter", long(src), 5L << 24, long(A(tdpy, "text/uri-list")), 0, 0);
    SendXdnd(tdpy, Win(), "XdndPosition", long(src), 0, (long(rx) << 16) | ry, CurrentTime,
             long(A(tdpy, "XdndActionCopy")));
    PumpFor(50);
    XClientMessageEvent status;
    ASSERT_TRUE(WaitClientMessage(tdpy, src, "XdndStatus", &status));
    EXPECT_EQ(Window(status.data.l[0]), Win());
    EXPECT_EQ(status.data.l[1] & 1, 1);
    EXPECT_EQ(Atom(status.data.l[4]), A(tdpy, "XdndActionCopy"));

    SendXdnd(tdpy, Win(), "XdndDrop", long(src), 0, CurrentTime, 0, 0);
    PumpFor(50);
    // Serve the selection request as a drag source does.
    XEvent req;
    bool served = false;
    for (int i = 0; i < 500 && !served; ++i) {
        if (XCheckTypedEvent(tdpy, SelectionRequest, &req)) {
            const char *uris = "file:///tmp/one%20file.txt\r\nfile:///tmp/100%.txt\r\n";
            XChangeProperty(tdpy, req.xselectionrequest.requestor, req.xselectionrequest.property,
                            req.xselectionrequest.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(uris), int(strlen(uris)));
            XEvent reply;
            memset(&reply, 0, sizeof reply);
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = req.xselectionrequest.requestor;
            reply.xselection.selection = req.xselectionrequest.selection;
            reply.xselection.target = req.xselectionrequest.target;
            reply.xselection.property = req.xselectionrequest.property;
            reply.xselection.time = req.xselectionrequest.time;
            XSendEvent(tdpy, req.xselectionrequest.requestor, False, NoEventMask, &reply);
            XSync(tdpy, False);
            served = true;
        } else {
            OsDelayMs(5);
        }
    }
    ASSERT_TRUE(served);
    PumpUntil([this](const Events &) { return Has(14, 25); });
    const TestEvent *e = Find(14, 25);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->b, 35u);
    ASSERT_NE(e->data, nullptr);
    const char *names = static_cast<const char *>(e->data);
    EXPECT_STREQ(names, "/tmp/one file.txt");
    names += strlen(names) + 1;
    EXPECT_STREQ(names, "/tmp/100%.txt");
    names += strlen(names) + 1;
    EXPECT_STREQ(names, "");
    XClientMessageEvent finished;
    ASSERT_TRUE(WaitClientMessage(tdpy, src, "XdndFinished", &finished));
    EXPECT_EQ(finished.data.l[1] & 1, 1);
    XDestroyWindow(tdpy, src);
}

TEST_F(X11Display, DropIsRefusedWithoutAHandler) {
    Open();
    Window src = XCreateSimpleWindow(tdpy, DefaultRootWindow(tdpy), 0, 0, 10, 10, 0, 0, 0);
    SendXdnd(tdpy, Win(), "XdndEnter", long(src), 5L << 24, long(A(tdpy, "text/uri-list")), 0, 0);
    SendXdnd(tdpy, Win(), "XdndPosition", long(src), 0, 0, CurrentTime, long(A(tdpy, "XdndActionCopy")));
    PumpFor(50);
    XClientMessageEvent status;
    ASSERT_TRUE(WaitClientMessage(tdpy, src, "XdndStatus", &status));
    EXPECT_EQ(status.data.l[1] & 1, 0);
    XDestroyWindow(tdpy, src);
}

TEST_F(X11Display, ClipboardChangeNoticeThroughXfixes) {
    Open();
    cxOsXConnection *c = OsGetXConnections();
    if (!c || !c->hasXfixes) GTEST_SKIP() << "no XFixes";
    SetHandler(CX_OS_HANDLER_CLIPBOARD);
    Window owner = XCreateSimpleWindow(tdpy, DefaultRootWindow(tdpy), 0, 0, 10, 10, 0, 0, 0);
    XSetSelectionOwner(tdpy, A(tdpy, "CLIPBOARD"), owner, CurrentTime);
    XSync(tdpy, False);
    PumpUntil([this](const Events &) { return Has(15, 0); });
    EXPECT_TRUE(Has(15, 0));
    XDestroyWindow(tdpy, owner);
}

TEST_F(X11Display, PointerWakeMessageMarksTheActiveDisplay) {
    Open();
    PumpFor(20);
    display.pointerMoved = 0;
    OsPostWakeMessage(CX_WAKE_POINTER, reinterpret_cast<uintptr_t>(OsGetXConnections()));
    int c = 0;
    OsHandleEvents(nullptr, &c);
    EXPECT_EQ(display.pointerMoved, 1u);
}

namespace {
int &g_refreshes = g_testRefreshes;
int &g_realizes = g_testRealizes;
}  // namespace

TEST_F(X11Display, ExposeRepaintsTheWholeDisplay) {
    Open();
    PumpFor(30);
    g_refreshes = 0;
    XClearArea(tdpy, Win(), 0, 0, 10, 10, True);
    XSync(tdpy, False);
    PumpUntil([](const Events &) { return g_refreshes > 0; });
    EXPECT_EQ(g_refreshes, 1);
}

TEST_F(X11Display, AltReturnTogglesFullScreen) {
    Open();
    Key(XK_Alt_L, true);
    Key(XK_Return, true);
    Key(XK_Return, false);
    Key(XK_Alt_L, false);
    PumpUntil([this](const Events &) { return Has(13, 200); });
    EXPECT_EQ(g_realizes, 1);
    const TestEvent *e = Find(13, 200);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->b, 150u);
    EXPECT_EQ(e->c, 2u);  // now full screen
    // A display that forbids the toggle keeps its mode.
    display.flags |= CX_DISPLAY_NOMODESWITCH;
    Key(XK_Alt_L, true);
    Key(XK_Return, true);
    Key(XK_Return, false);
    Key(XK_Alt_L, false);
    PumpFor(200);
    EXPECT_EQ(g_realizes, 1);
}
