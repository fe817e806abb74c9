// Reads a 100 MB file through a script loop of ReadLine, of ReadBytes in
// 64 KiB pieces, and hashes it with MD5 and CRC32, each beside the
// system's own tool on the same file in the same run:
//   bench_io_dos [megabytes] [folder]
// The file is read once first so that every contender finds it cached.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "io/dos/dos.h"
#include "tools/cxasm/asm_text.h"

namespace {

double Seconds(const std::function<void()> &f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The best of three runs.
double Best(const std::function<void()> &f) {
    double best = 1e30;
    for (int i = 0; i < 3; i++) best = std::min(best, Seconds(f));
    return best;
}

void Shell(const std::string &cmd) {
    if (system(cmd.c_str()) != 0) {
        fprintf(stderr, "failed: %s\n", cmd.c_str());
        exit(1);
    }
}

int Run(lua_State *L, const std::string &text) {
    std::vector<uint8_t> bytes = cxasm::assembleText(text);
    struct Reader {
        std::vector<uint8_t> *b;
        bool done;
    } r{&bytes, false};
    auto read = [](lua_State *, void *ud, size_t *size) -> const char * {
        auto *rd = static_cast<Reader *>(ud);
        if (rd->done) return *size = 0, nullptr;
        rd->done = true;
        *size = rd->b->size();
        return reinterpret_cast<const char *>(rd->b->data());
    };
    if (int err = lua_load(L, read, &r, "=bench")) return err;
    return lua_pcall(L, 0, 0, 0);
}

void SetGlobal(lua_State *L, const char *name, double v) {
    lua_pushstring(L, name);
    lua_pushnumber(L, v);
    lua_settable(L, LUA_GLOBALSINDEX);
}
void SetGlobal(lua_State *L, const char *name, const std::string &v) {
    lua_pushstring(L, name);
    lua_pushstring(L, v.c_str());
    lua_settable(L, LUA_GLOBALSINDEX);
}

// OpenFile(1, path); for i = 1, count do cmd(1[, arg]) end; CloseFile(1)
std::string Loop(bool withArg) {
    std::string call = withArg ? "GETGLOBAL 7 \"arg\"\n        CALL 5 3 1" : "CALL 5 2 1";
    return R"(
        GETGLOBAL 0 "openfile"
        LOADK 1 #1
        GETGLOBAL 2 "path"
        CALL 0 3 1
        LOADK 0 #0
        GETGLOBAL 1 "count"
        LOADK 2 #1
        GETGLOBAL 4 "cmd"
        JMP check
body:   MOVE 5 4
        LOADK 6 #1
        )" + call + R"(
check:  FORLOOP 0 body
        GETGLOBAL 0 "closefile"
        LOADK 1 #1
        CALL 0 2 1
        RETURN 0 1
)";
}

// Throughputs, ours as a share of the tool's, and the time ratio.
void Row(const char *what, double mine, const char *tool, double theirs, double mb) {
    printf("| %-18s | %6.0f MB/s | %-16s | %6.0f MB/s | %5.0f %% | %5.2fx |\n", what, mb / mine, tool, mb / theirs,
           100.0 * theirs / mine, mine / theirs);
}

}  // namespace

int main(int argc, char **argv) {
    const int mb = argc > 1 ? atoi(argv[1]) : 100;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    const std::string path = folder + "/cx_bench_lines.txt";
    // Lines of 20 to 100 bytes.
    {
        FILE *f = fopen(path.c_str(), "wb");
        if (!f) return 1;
        std::string line;
        uint32_t x = 1;
        size_t total = 0, lines = 0;
        while (total < static_cast<size_t>(mb) << 20) {
            x = x * 1103515245 + 12345;
            line.assign(20 + (x >> 16) % 80, 'a' + (x >> 8) % 26);
            line += '\n';
            fwrite(line.data(), 1, line.size(), f);
            total += line.size();
            lines++;
        }
        fclose(f);
        SetUtf8Mode(1);
        lua_State *L = lua_open();
        OpenScriptLibraries(L);
        OpenDosLibrary(L);
        SetKernelTags(L, CX_KTAG_QUIET, 1, CX_KTAG_END);
        SetGlobal(L, "path", path);
        const double size = static_cast<double>(total) / 1e6;
        Shell("cat '" + path + "' > /dev/null");

        printf("file: %.1f MB, %zu lines\n\n", size, lines);
        printf("| %-18s | %11s | %-16s | %11s | %7s | %6s |\n", "dos library", "throughput", "beside", "throughput",
               "share", "time");
        printf("|---|---|---|---|---|---|\n");
        auto cat = [&] { return Best([&] { Shell("cat '" + path + "' > /dev/null"); }); };

        SetGlobal(L, "count", static_cast<double>(lines));
        lua_pushstring(L, "cmd");
        lua_pushstring(L, "readline");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_settable(L, LUA_GLOBALSINDEX);
        // CX_BENCH_ONLY=lines|bytes|md5|crc runs one row (for profiling).
        const char *only = getenv("CX_BENCH_ONLY");
        auto want = [&](const char *row) { return !only || strcmp(only, row) == 0; };
        if (want("lines")) {
        double lineTime = Best([&] {
            if (int err = Run(L, Loop(false))) fprintf(stderr, "ReadLine loop failed: %d\n", err);
        });
        Row("ReadLine", lineTime, "cat > /dev/null", cat(), size);
        // The same loop calling FilePos: what a command call costs the
        // script before any line is read or any string made.
        lua_pushstring(L, "cmd");
        lua_pushstring(L, "filepos");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_settable(L, LUA_GLOBALSINDEX);
        const double floor = Best([&] { Run(L, Loop(false)); });
        printf("\n(%zu lines: ReadLine %.0f ns a line; the same loop calling FilePos %.0f ns a call)\n\n", lines,
               1e9 * lineTime / static_cast<double>(lines), 1e9 * floor / static_cast<double>(lines));
        }
        if (want("bytes")) {

        lua_pushstring(L, "cmd");
        lua_pushstring(L, "readbytes");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_settable(L, LUA_GLOBALSINDEX);
        SetGlobal(L, "arg", 65536.0);
        SetGlobal(L, "count", static_cast<double>(total / 65536));
        double byteTime = Best([&] {
            if (int err = Run(L, Loop(true))) fprintf(stderr, "ReadBytes loop failed: %d\n", err);
        });
        Row("ReadBytes 64 KiB", byteTime, "cat > /dev/null", cat(), size);
        }
        if (want("md5")) {

        const double md5sum = Best([&] { Shell("md5sum '" + path + "' > /dev/null"); });
        const double md5 = Best([&] { CallCommandByName(L, "MD5", 1, 1, LUA_TSTRING, path.c_str()); lua_settop(L, 0); });
        Row("MD5", md5, "md5sum", md5sum, size);
        }
        if (want("crc")) {

        const double zcrc = Best([&] {
            int fd = open(path.c_str(), O_RDONLY);
            std::vector<unsigned char> block(65536);
            uLong crc = crc32(0, Z_NULL, 0);
            for (ssize_t n; (n = read(fd, block.data(), block.size())) > 0;) crc = crc32(crc, block.data(), static_cast<uInt>(n));
            close(fd);
            volatile uLong sink = crc;
            (void)sink;
        });
        const double crc = Best([&] { CallCommandByName(L, "CRC32", 1, 1, LUA_TSTRING, path.c_str()); lua_settop(L, 0); });
        Row("CRC32", crc, "zlib crc32 loop", zcrc, size);
        }
        FreeDosObjects(L);
        lua_close(L);
    }
    unlink(path.c_str());
    return 0;
}
