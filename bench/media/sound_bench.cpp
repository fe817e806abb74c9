// The sound library's work beside its peers, in one run on the same data:
//   module     60 s of a busy module at 48 kHz: the replayer, libxmp and
//              libopenmpt (both with nearest-neighbour resampling); the
//              replayer's allocations while it renders
//   channels   8 channels of 16-bit stereo for 60 s into alsa-lib's file
//              PCM (not paced), beside aplay writing the same data to it
//   mix        MixSample of 10 sources of 10 M frames, beside sox -m
//   decode     100 MB of WAVE and of 8SVX decoded, beside sox to raw
//   sound_bench [module|channels|mix|decode ...] [--seconds N] [--megabytes N]
// Times are the best of three; CPU times come from getrusage.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xmp.h>

#include <libopenmpt/libopenmpt.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "display/events/event_library.h"
#include "engine/runtime/runtime.h"
#include "media/sound/protracker.h"
#include "media/sound/sound_library.h"
#include "media/sound/sound_stream.h"
#include "platform/alsa/os_alsa.h"
#include "tools/sound-writer/sound_writer.h"

// Allocation counting: while counting is on, every malloc of the process
// is counted.
extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace
extern "C" void *malloc(size_t n) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations++;
    return __libc_malloc(n);
}
extern "C" void *calloc(size_t n, size_t m) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations++;
    return __libc_calloc(n, m);
}
extern "C" void *realloc(void *p, size_t n) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations++;
    return __libc_realloc(p, n);
}

namespace {

double Seconds(const std::function<void()> &f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Best(const std::function<void()> &f) {
    double best = 1e30;
    for (int i = 0; i < 3; i++) best = std::min(best, Seconds(f));
    return best;
}

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Shell(const std::string &cmd) {
    if (system(cmd.c_str()) != 0) {
        fprintf(stderr, "failed: %s\n", cmd.c_str());
        exit(1);
    }
}

std::string g_dir;

void Row(const char *what, double seconds, const char *peer, double peerSeconds) {
    printf("  %-34s %9.3f s   %-26s %9.3f s   ratio %.2f\n", what, seconds, peer, peerSeconds, seconds / peerSeconds);
}

// ---- module ----

void Module(int seconds) {
    const cxsound::Bytes bytes = cxsound::MakeModule(cxsound::DemoModule(16));
    const uint32_t frames = uint32_t(48000 * seconds);
    std::vector<int16_t> out(4800 * 2);
    long allocations = 0;
    const double ours = Best([&] {
        std::vector<unsigned char> copy(bytes.begin(), bytes.end());
        std::vector<char> state(InitModulePlayer(nullptr, copy.data(), uint32_t(copy.size()), 48000));
        auto *m = reinterpret_cast<cxModulePlayer *>(state.data());
        InitModulePlayer(m, copy.data(), uint32_t(copy.size()), 48000);
        g_allocations = 0;
        g_counting = true;
        for (uint32_t done = 0; done < frames; done += 4800) RenderModuleBlock(m, out.data(), 4800);
        g_counting = false;
        allocations = g_allocations;
    });
    const double xmp = Best([&] {
        xmp_context ctx = xmp_create_context();
        xmp_load_module_from_memory(ctx, const_cast<uint8_t *>(bytes.data()), long(bytes.size()));
        xmp_set_player(ctx, XMP_PLAYER_MODE, XMP_MODE_PROTRACKER);
        xmp_start_player(ctx, 48000, 0);
        xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
        for (uint32_t done = 0; done < frames; done += 4800) xmp_play_buffer(ctx, out.data(), 4800 * 4, 0);
        xmp_end_player(ctx);
        xmp_release_module(ctx);
        xmp_free_context(ctx);
    });
    const double mpt = Best([&] {
        openmpt::module mod(bytes);
        mod.set_repeat_count(-1);
        mod.set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, 1);
        for (uint32_t done = 0; done < frames; done += 4800) mod.read_interleaved_stereo(48000, 4800, out.data());
    });
    printf("module: %d s of a busy four-channel module at 48 kHz\n", seconds);
    Row("replayer", ours, "libxmp", xmp);
    Row("replayer", ours, "libopenmpt", mpt);
    printf("  real time: replayer %.0fx, libxmp %.0fx, libopenmpt %.0fx; allocations while rendering: %ld\n",
           seconds / ours, seconds / xmp, seconds / mpt, allocations);
}

// ---- channels into the file PCM ----

lua_State *OpenVm() {
    lua_State *L = lua_open();
    OpenScriptLibraries(L);
    OpenEventLibrary(L);
    OpenSoundLibrary(L);
    return L;
}

int Call(lua_State *L, const char *name, const std::function<void()> &push) {
    lua_settop(L, 0);
    lua_pushstring(L, name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    push();
    return lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
}

void Channels(int seconds) {
    const std::string conf = g_dir + "/asound.conf";
    FILE *f = fopen(conf.c_str(), "w");
    fprintf(f,
            "pcm.cxbench { type file; slave { pcm { type null } } file \"%s/ch-%%r-%%c-%%b.wav\"; format wav;"
            " truncate false }\npcm.null { type null }\n",
            g_dir.c_str());
    fclose(f);
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    const std::string wav = g_dir + "/tone.wav";
    cxsound::WriteFile(wav, cxsound::Wave16(cxsound::Sine16(44100 * seconds, 440, 44100, 0.5, 2), 2, 44100));

    lua_State *L = OpenVm();
    SoundSettingsListener(3, reinterpret_cast<intptr_t>("cxbench"));
    OsSetAlsaRealtime(0);
    OsSetAlsaPacing(0);
    if (Call(L, "loadsample", [&] {
            lua_pushnumber(L, 1);
            lua_pushstring(L, wav.c_str());
        }))
        exit(1);
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double wall = Seconds([&] {
        for (int c = 1; c <= 8; c++)
            Call(L, "playsample", [&] {
                lua_pushnumber(L, 1);
                lua_newtable(L);
                lua_pushstring(L, "channel");
                lua_pushnumber(L, c);
                lua_settable(L, -3);
            });
        Call(L, "waitsampleend", [&] { lua_pushnumber(L, 1); });
    });
    const double ours = CpuSeconds(RUSAGE_SELF) - cpu0;
    StopAllPlayback(L);
    FreeAllSoundObjects(L);
    lua_close(L);
    auto written = [&] {
        FILE *p = popen(("cat " + g_dir + "/ch-* | wc -c").c_str(), "r");
        unsigned long long n = 0;
        if (p && fscanf(p, "%llu", &n) != 1) n = 0;
        if (p) pclose(p);
        return n;
    };
    const unsigned long long oursBytes = written();
    Shell("rm -f " + g_dir + "/ch-*");
    const double child0 = CpuSeconds(RUSAGE_CHILDREN);
    const double aplayWall = Seconds([&] {
        for (int c = 0; c < 8; c++) Shell("ALSA_CONFIG_PATH=" + conf + " aplay -q -D cxbench " + wav);
    });
    const double aplay = CpuSeconds(RUSAGE_CHILDREN) - child0;
    const unsigned long long aplayBytes = written();
    Shell("rm -f " + g_dir + "/ch-*");
    printf("channels: 8 channels of 16-bit stereo, %d s each, into the file PCM (CPU time; wall %.2f s and %.2f s;"
           " %llu and %llu bytes written)\n",
           seconds, wall, aplayWall, oursBytes, aplayBytes);
    Row("engine and mixer", ours, "aplay, 8 times", aplay);
}

// ---- MixSample ----

void Mix(uint32_t frames) {
    lua_State *L = OpenVm();
    SoundSettingsListener(3, reinterpret_cast<intptr_t>("null"));
    std::string files;
    for (int s = 1; s <= 10; s++) {
        const std::string name = g_dir + "/mix" + std::to_string(s) + ".wav";
        cxsound::WriteFile(name, cxsound::Wave16(cxsound::Sine16(frames, 100.0 * s, 44100, 0.09, 1), 1, 44100));
        files += " " + name;
        Call(L, "loadsample", [&] {
            lua_pushnumber(L, s);
            lua_pushstring(L, name.c_str());
        });
    }
    const double ours = Best([&] {
        const int err = Call(L, "mixsample", [&] {
            lua_pushnumber(L, 20);
            lua_pushnumber(L, frames);
            lua_pushnumber(L, 44100);
            lua_pushnumber(L, 1);
            for (int s = 1; s <= 10; s++) {
                lua_pushnumber(L, s);
                lua_newtable(L);
            }
        });
        if (err) fprintf(stderr, "MixSample: %d\n", err), exit(1);
    });
    const double sox = Best([&] { Shell("sox -m" + files + " -t raw -b 16 -e signed-integer /dev/null"); });
    printf("mix: 10 sources of %u frames (16-bit mono)\n", frames);
    Row("MixSample", ours, "sox -m", sox);
    FreeAllSoundObjects(L);
    lua_close(L);
    Shell("rm -f " + g_dir + "/mix*.wav");
}

// ---- decoding ----

void Decode(int megabytes) {
    const uint32_t frames = uint32_t(megabytes) * 1000000 / 4;
    const std::string wav = g_dir + "/big.wav", svx = g_dir + "/big.8svx";
    cxsound::WriteFile(wav, cxsound::Wave16(cxsound::Sine16(frames, 440, 44100, 0.5, 2), 2, 44100));
    cxsound::WriteFile(svx, cxsound::Make8SVX(cxsound::Sine8(uint32_t(megabytes) * 1000000 / 2, 440, 22050, 0.5, 2),
                                              22050, true));
    std::vector<uint8_t> block(65536 * 4);
    uint64_t decoded = 0;
    auto decode = [&](const std::string &name) {
        cxSoundStream *s = nullptr;
        if (OpenSoundFile(name.c_str(), "", "", 0, 0, &s, nullptr)) exit(1);
        int ended = 0;
        decoded = 0;
        while (!ended) {
            const uint32_t n = DecodeSoundStream(s, block.data(), 65536, &ended);
            if (!n) break;
            decoded += uint64_t(n) * s->transferUnit;
        }
        CloseSoundStream(s);
    };
    decode(wav);
    const uint64_t wavBytes = decoded;
    decode(svx); // both cached
    printf("decode: %d MB of WAVE and of 8SVX (%llu and %llu bytes decoded)\n", megabytes,
           (unsigned long long)wavBytes, (unsigned long long)decoded);
    Row("WAVE", Best([&] { decode(wav); }), "sox to raw", Best([&] { Shell("sox " + wav + " -t raw /dev/null"); }));
    Row("8SVX", Best([&] { decode(svx); }), "sox to raw", Best([&] { Shell("sox " + svx + " -t raw /dev/null"); }));
    Shell("rm -f " + wav + " " + svx);
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> parts;
    int seconds = 60, megabytes = 100;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--megabytes") && i + 1 < argc) megabytes = atoi(argv[++i]);
        else parts.push_back(argv[i]);
    }
    if (parts.empty()) parts = {"module", "channels", "mix", "decode"};
    char tmpl[] = "/tmp/cxsoundbench.XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    g_dir = tmpl;
    for (const std::string &p : parts) {
        if (p == "module") Module(seconds);
        else if (p == "channels") Channels(seconds);
        else if (p == "mix") Mix(10000000);
        else if (p == "decode") Decode(megabytes);
    }
    Shell("rm -rf " + g_dir);
    return 0;
}
