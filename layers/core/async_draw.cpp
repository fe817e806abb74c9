#include "layers/core/async_draw.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"

namespace {

// Every record, in creation order; a display's are those with its pointer.
std::vector<cxAsyncDraw *> g_draws;

void Destroy(cxAsyncDraw *a) {
    if (a->release) a->release(a);
    free(a);
}

bool Unlink(cxAsyncDraw *a) {
    auto it = std::find(g_draws.begin(), g_draws.end(), a);
    if (it == g_draws.end()) return false;
    g_draws.erase(it);
    return true;
}

}  // namespace

extern "C" int IsAsyncDrawAlive(const cxAsyncDraw *a) {
    return std::find(g_draws.begin(), g_draws.end(), a) != g_draws.end();
}

extern "C" int CreateAsyncDraw(uint32_t flags, cxAsyncFrameFunc frame, cxAsyncFinishFunc finish,
                               cxAsyncReleaseFunc release, cxAsyncControlFunc control, void *userData,
                               cxAsyncDraw **out) {
    if (out) *out = nullptr;
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    auto *a = static_cast<cxAsyncDraw *>(calloc(1, sizeof(cxAsyncDraw)));
    if (!a) return ERR_MEM;
    InitObjectHeader(&a->header, CX_OBJ_ASYNCDRAW, 0, 1);
    a->display = d;
    a->flags = flags;
    a->frame = frame, a->finish = finish, a->release = release, a->control = control;
    a->userData = userData;
    try {
        g_draws.push_back(a);
    } catch (...) {
        free(a);
        return ERR_MEM;
    }
    if (out) *out = a;
    return 0;
}

extern "C" void FreeAsyncDraw(lua_State *, cxAsyncDraw *a) {
    if (!a || !Unlink(a)) return;
    // A record freed from inside its own callback goes when it returns.
    if (a->running) {
        a->freeWhenDone = 1;
        return;
    }
    Destroy(a);
}

extern "C" int RunAsyncDrawFrame(lua_State *L, cxAsyncDraw *a, int *done) {
    int finished = 0, err = 0;
    a->running = 1;
    if (a->frame) err = a->frame(L, a, &finished);
    if (finished && !a->done && !a->freeWhenDone) {
        a->done = 1;
        if (a->finish) a->finish(L, a);
    }
    a->running = 0;
    if (done) *done = finished;
    if (a->freeWhenDone) Destroy(a);
    return err;
}

extern "C" void RunDisplayAsyncDraws(lua_State *L, cxDisplay *d) {
    // A snapshot: callbacks may add or free records.
    std::vector<cxAsyncDraw *> turn;
    for (cxAsyncDraw *a : g_draws)
        if (a->display == d) turn.push_back(a);
    for (cxAsyncDraw *a : turn) {
        if (!IsAsyncDrawAlive(a)) continue;
        int done = 0;
        const int err = RunAsyncDrawFrame(L, a, &done);
        if ((done || err) && IsAsyncDrawAlive(a)) FreeAsyncDraw(L, a);
    }
}

extern "C" intptr_t NotifyAsyncDraws(int code, void *object) {
    const std::vector<cxAsyncDraw *> all = g_draws;
    intptr_t answer = 0;
    for (cxAsyncDraw *a : all) {
        if (!IsAsyncDrawAlive(a) || !a->control) continue;
        const intptr_t r = a->control(a, code, object);
        if (r && !answer) answer = r;
    }
    return answer;
}

extern "C" int IsAsyncDrawObject(const void *object) {
    for (cxAsyncDraw *a : g_draws)
        if (a->control && a->control(a, CX_ASYNC_ANIMATES, const_cast<void *>(object)) == 1) return 1;
    return 0;
}

extern "C" int HasAsyncDrawOnDisplay(const cxDisplay *d) {
    for (cxAsyncDraw *a : g_draws)
        if (a->display == d) return 1;
    return 0;
}

extern "C" void FreeAllAsyncDraws(lua_State *L, cxDisplay *d) {
    for (;;) {
        auto it = std::find_if(g_draws.begin(), g_draws.end(), [&](cxAsyncDraw *a) { return !d || a->display == d; });
        if (it == g_draws.end()) return;
        FreeAsyncDraw(L, *it);
    }
}
