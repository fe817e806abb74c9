#include "display/events/event_notices.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "errors/error_codes.h"
#include "engine/vm/lauxlib.h"
#include "platform/os_wake.h"

namespace {

std::mutex g_mutex;
std::deque<cxEventNotice> g_notices;

char *Copy(const char *s, bool *failed) {
    if (!s) return nullptr;
    char *c = strdup(s);
    if (!c) *failed = true;
    return c;
}

}  // namespace

extern "C" int PostEventNotice(const cxEventNotice *notice) {
    if (!notice) return 0;
    cxEventNotice n = *notice;
    bool failed = false;
    n.text = Copy(notice->text, &failed);
    n.args = Copy(notice->args, &failed);
    if (!failed) {
        try {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_notices.push_back(n);
        } catch (...) {
            failed = true;
        }
    }
    if (failed) {
        free(const_cast<char *>(n.text));
        free(const_cast<char *>(n.args));
        return ERR_MEM;
    }
    OsWakeMainThread();
    return 0;
}

extern "C" int TakeEventNotice(cxEventNotice *out) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_notices.empty()) return 0;
    *out = g_notices.front();
    g_notices.pop_front();
    return 1;
}

extern "C" void ReleaseEventNotice(lua_State *L, cxEventNotice *n) {
    free(const_cast<char *>(n->text));
    free(const_cast<char *>(n->args));
    n->text = n->args = nullptr;
    if (n->ownsUserData && n->userData != -1 && L) luaL_unref(L, LUA_REGISTRYINDEX, n->userData);
    n->userData = -1;
}

extern "C" void FreeEventNotices(lua_State *L) {
    cxEventNotice n;
    while (TakeEventNotice(&n)) ReleaseEventNotice(L, &n);
}

extern "C" int PostRunFinished(const char *program, const char *args, int32_t userData) {
    cxEventNotice n{};
    n.kind = CX_NOTICE_RUNFINISHED;
    n.text = program ? program : "";
    n.args = args;
    n.userData = userData;
    n.ownsUserData = 1;
    return PostEventNotice(&n);
}
