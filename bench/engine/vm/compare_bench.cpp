// The interpreter on nine algorithms, as assembled chunks, against the same
// algorithms as Lua source under /usr/bin/lua5.1 and /usr/bin/lua5.4 (run
// as subprocesses that time only the algorithm, like the chunks here).
// Each chunk runs three ways: without a hook; with the player's own line
// hook as the player installs it (behind the gate, with the pump's pulse);
// and with a hook called on every line that only counts lines.
// Both sides measure processor time.
// After the benchmarks a table of time ratios (ours / theirs) is printed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "display/events/event_pump.h"
#include "engine/vm/lua.h"
#include "platform/os_linegate.h"
#include "tools/cxasm/asm_text.h"

namespace {

const char *const kAlgorithms[] = {"fib", "loop", "tables", "concat", "methods", "arrays", "strbuild", "upfib", "hashes"};

enum class Mode { NoHook, PlayerHook, EveryLine };
const char *modeName(Mode m) { return m == Mode::NoHook ? "nohook" : m == Mode::PlayerHook ? "hook" : "everyline"; }

std::map<std::string, double> g_best; // "fib/nohook" -> seconds
long g_lines;

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

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

// Processor time, as os.clock() measures it on the Lua side.
double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int countLine(lua_State *, lua_Debug *, int *) {
    g_lines++;
    return 0;
}

void runChunk(benchmark::State &state, const std::string &name, Mode mode) {
    std::vector<uint8_t> chunk = cxasm::assembleText(readFile(std::string(CX_BENCH_VM_SCRIPTS) + "/" + name + ".cxs"));
    lua_State *L = lua_open();
    if (mode == Mode::PlayerHook) {
        lua_sethook(L, EventLineHook, LUA_MASKLINE, 0);
        lua_sethookgate(L, OsLineHookGate());
        OsStartLineHookPulse(CX_LINEHOOK_INTERVAL_MS);
    } else if (mode == Mode::EveryLine) {
        lua_sethook(L, countLine, LUA_MASKLINE, 0);
    }
    double best = 1e30;
    for (auto _ : state) {
        Reader r{&chunk, false};
        if (lua_load(L, readChunk, &r, name.c_str()) != 0) {
            state.SkipWithError("load failed");
            break;
        }
        lua_setgcthreshold(L, 0); // the last run's garbage goes before the clock starts
        double t0 = cpuSeconds();
        int code = lua_pcall(L, 0, 1, 0);
        double t1 = cpuSeconds();
        if (code) {
            state.SkipWithError("run failed");
            break;
        }
        lua_settop(L, 0);
        best = std::min(best, t1 - t0);
    }
    std::string key = name + "/" + modeName(mode);
    if (best < 1e30) g_best[key] = std::min(g_best.count(key) ? g_best[key] : 1e30, best);
    OsStopLineHookPulse();
    lua_close(L);
}

// Best of three subprocess runs, each timing the algorithm with os.clock.
double runLua(const char *lua, const std::string &name) {
    std::string script = std::string(CX_BENCH_VM_SCRIPTS) + "/" + name + ".lua";
    std::string cmd = std::string(lua) + " -e \"local t = os.clock(); dofile('" + script +
                      "'); io.write(os.clock() - t)\" 2>/dev/null";
    double best = -1;
    for (int i = 0; i < 3; i++) {
        FILE *p = popen(cmd.c_str(), "r");
        if (!p) return -1;
        char buf[64] = {0};
        size_t n = fread(buf, 1, sizeof buf - 1, p);
        int status = pclose(p);
        if (status != 0 || n == 0) return -1;
        double t = atof(buf);
        if (best < 0 || t < best) best = t;
    }
    return best;
}

void registerAll() {
    for (const char *a : kAlgorithms) {
        for (Mode mode : {Mode::NoHook, Mode::PlayerHook, Mode::EveryLine}) {
            std::string name = std::string("VM/") + a + "/" + modeName(mode);
            benchmark::RegisterBenchmark(name.c_str(), [a, mode](benchmark::State &s) { runChunk(s, a, mode); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(3);
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // hook: the player's gated line hook; every: a hook called on every line
    printf("\n%-8s %9s %9s %9s %9s %9s %9s %9s %9s %9s\n", "algo", "ours(ms)", "hook(ms)", "every(ms)", "lua5.1",
           "lua5.4", "ours/5.4", "hook/5.4", "every/5.4", "ours/5.1");
    for (const char *a : kAlgorithms) {
        std::string n = a;
        if (!g_best.count(n + "/nohook") || !g_best.count(n + "/hook") || !g_best.count(n + "/everyline")) continue;
        double ours = g_best[n + "/nohook"], hook = g_best[n + "/hook"], every = g_best[n + "/everyline"];
        double l51 = runLua("/usr/bin/lua5.1", n), l54 = runLua("/usr/bin/lua5.4", n);
        auto ratio = [](double x, double y) { return y > 0 ? x / y : 0.0; };
        printf("%-8s %9.1f %9.1f %9.1f %9.1f %9.1f %9.2f %9.2f %9.2f %9.2f\n", a, ours * 1e3, hook * 1e3, every * 1e3,
               l51 * 1e3, l54 * 1e3, ratio(ours, l54), ratio(hook, l54), ratio(every, l54), ratio(ours, l51));
    }
    return 0;
}
