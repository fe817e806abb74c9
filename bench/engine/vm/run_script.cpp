// bench_vm_run: runs one assembled script as a whole process, the way the
// process comparison times it. Without options no hook is installed (the
// plain interpreter); --hook installs the player's line hook behind its gate
// with the pump's pulse, as the player does.
//   bench_vm_run [--hook] SCRIPT.cxs
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "display/events/event_pump.h"
#include "engine/vm/lua.h"
#include "platform/os_linegate.h"
#include "tools/cxasm/asm_text.h"

namespace {

struct Reader {
    const std::vector<uint8_t> *bytes;
    bool done;
};

const char *readChunk(lua_State *, void *ud, size_t *size) {
    auto *r = static_cast<Reader *>(ud);
    if (r->done) {
        *size = 0;
        return nullptr;
    }
    r->done = true;
    *size = r->bytes->size();
    return reinterpret_cast<const char *>(r->bytes->data());
}

} // namespace

int main(int argc, char **argv) {
    bool hook = argc > 1 && strcmp(argv[1], "--hook") == 0;
    if (argc != (hook ? 3 : 2)) {
        fprintf(stderr, "usage: bench_vm_run [--hook] SCRIPT.cxs\n");
        return 2;
    }
    std::ifstream in(argv[argc - 1], std::ios::binary);
    if (!in) {
        fprintf(stderr, "bench_vm_run: cannot read %s\n", argv[argc - 1]);
        return 2;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    std::vector<uint8_t> chunk = cxasm::assembleText(ss.str());
    lua_State *L = lua_open();
    if (hook) {
        lua_sethook(L, EventLineHook, LUA_MASKLINE, 0);
        lua_sethookgate(L, OsLineHookGate());
        OsStartLineHookPulse(CX_LINEHOOK_INTERVAL_MS);
    }
    Reader r{&chunk, false};
    int code = lua_load(L, readChunk, &r, argv[argc - 1]);
    if (code == 0) code = lua_pcall(L, 0, 1, 0);
    if (hook) OsStopLineHookPulse();
    lua_close(L);
    if (code) fprintf(stderr, "bench_vm_run: error %d\n", code);
    return code ? 1 : 0;
}
