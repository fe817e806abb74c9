// Fuzz target of the chunk loader: any input either loads (and then
// survives a dump and a reload) or is refused with a loader code; nothing
// leaks or crashes. Built with libFuzzer under clang; otherwise (and in
// CI) a replay driver runs the committed corpus and simple mutations of it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "errors/error_codes.h"
#include "engine/vm/lua.h"

namespace {

struct Input {
    const uint8_t *data;
    size_t size;
    bool done = false;
};

const char *readInput(lua_State *, void *ud, size_t *size) {
    auto *in = static_cast<Input *>(ud);
    if (in->done) {
        *size = 0;
        return nullptr;
    }
    in->done = true;
    *size = in->size;
    return reinterpret_cast<const char *>(in->data);
}

int writeVector(lua_State *, const void *p, size_t n, void *ud) {
    auto *v = static_cast<std::vector<uint8_t> *>(ud);
    v->insert(v->end(), static_cast<const uint8_t *>(p), static_cast<const uint8_t *>(p) + n);
    return 0;
}

// With CX_FUZZ_RUN set in the environment, loaded chunks also run, for a
// bounded number of instructions: the verifier must make running safe.
bool g_mutating; // the replay's own mutations only load
bool runChunks() {
    static const bool on = getenv("CX_FUZZ_RUN") != nullptr;
    return on && !g_mutating;
}

int g_budget;
int countHook(lua_State *, lua_Debug *, int *code) {
    if (--g_budget <= 0) *code = ERR_USERABORT;
    return 0;
}

int checkOne(lua_State *L, const uint8_t *data, size_t size) {
    Input in{data, size};
    int code = lua_load(L, readInput, &in, "=fuzz");
    if (code == 0 && runChunks()) {
        lua_pushvalue(L, -1);
        g_budget = 50;
        lua_sethook(L, countHook, LUA_MASKCOUNT, 1000);
        lua_pcall(L, 0, 0, 0);
        lua_sethook(L, nullptr, 0, 0);
        lua_settop(L, 1);
        lua_setgcthreshold(L, 0); // what the chunk made goes before the next input
    }
    if (code == 0) {
        std::vector<uint8_t> again;
        if (lua_dump(L, -1, writeVector, &again) != 0) abort();
        lua_settop(L, 0);
        Input in2{again.data(), again.size()};
        if (lua_load(L, readInput, &in2, "=fuzz") != 0) abort(); // what loaded once must load again
    } else if (code != ERR_MEM && (code < ERR_UNEXPECTEDEOF || code > ERR_UNKNUMFMT)) {
        abort(); // only the loader's own codes
    }
    lua_settop(L, 0);
    return code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static lua_State *L = lua_open(); // one state for the whole run
    static int runs;
    checkOne(L, data, size);
    if (++runs % 1000 == 0) lua_setgcthreshold(L, 0);
    return 0;
}

#ifdef CX_FUZZ_REPLAY
int main(int argc, char **argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; i++) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto &e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.push_back(p);
        }
    }
    if (files.empty()) {
        fprintf(stderr, "no inputs\n");
        return 1;
    }
    long runs = 0, loaded = 0;
    lua_State *L = lua_open();
    for (const auto &f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        g_mutating = false;
        loaded += checkOne(L, seed.data(), seed.size()) == 0;
        runs++;
        // The mutations only load, so the running replay leaves them to the
        // loading one (the same corpus, the same inputs).
        if (getenv("CX_FUZZ_RUN")) continue;
        g_mutating = true;
        // every truncation, and two corruptions of every byte
        for (size_t n = 0; n < seed.size(); n++, runs++) checkOne(L, seed.data(), n);
        for (size_t pos = 0; pos < seed.size(); pos++) {
            for (uint8_t v : {uint8_t(seed[pos] ^ 0x01), uint8_t(0xFF)}) {
                std::vector<uint8_t> m = seed;
                m[pos] = v;
                checkOne(L, m.data(), m.size());
                runs++;
            }
        }
    }
    lua_close(L);
    printf("%zu seeds, %ld inputs, %ld seeds loaded\n", files.size(), runs, loaded);
    return 0;
}
#endif
