// DTR and RTS, which a pseudo-terminal cannot carry, through the ioctl
// recorder (ioctl_recorder.c) preloaded into this test: the test starts
// itself again with the recorder in LD_PRELOAD when it is not loaded yet.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "io/serial/serial_ports.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "tests/io/serial/pty_pair.h"

namespace {

// Runs before main (glibc hands init functions the arguments).
__attribute__((constructor)) void PreloadRecorder(int, char **argv, char **) {
    if (dlsym(RTLD_DEFAULT, "CxIoctlRecorderSet") || getenv("CX_IOCTL_RECORDER_TRIED")) return;
    setenv("CX_IOCTL_RECORDER_TRIED", "1", 1);
    if (const std::string emulator = CX_TEST_EMULATOR; !emulator.empty()) {
        // Under the emulator of a cross build: it starts this program again
        // and hands the preload to the emulated program only.
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return;
        self[n] = 0;
        std::vector<char *> args{const_cast<char *>(emulator.c_str()), const_cast<char *>("-E"),
                                 const_cast<char *>("LD_PRELOAD=" CX_IOCTL_RECORDER), self};
        for (char **a = argv + 1; *a; a++) args.push_back(*a);
        args.push_back(nullptr);
        execv(args[0], args.data());
        return;
    }
    setenv("LD_PRELOAD", CX_IOCTL_RECORDER, 1);
    // the sanitizer runtime then no longer comes first: that is intended
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
    execv("/proc/self/exe", argv);
}

struct Recorder {
    void (*set)(int, int);
    int (*lines)();
    int (*count)();
    unsigned long (*request)(int);
    int (*bits)(int);
    bool load() {
        set = reinterpret_cast<void (*)(int, int)>(dlsym(RTLD_DEFAULT, "CxIoctlRecorderSet"));
        lines = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "CxIoctlRecorderLines"));
        count = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "CxIoctlRecorderCount"));
        request = reinterpret_cast<unsigned long (*)(int)>(dlsym(RTLD_DEFAULT, "CxIoctlRecorderRequest"));
        bits = reinterpret_cast<int (*)(int)>(dlsym(RTLD_DEFAULT, "CxIoctlRecorderBits"));
        return set && lines && count && request && bits;
    }
};

class ModemLines : public cxtest::VmTest {
protected:
    serialtest::PtyPair pair;
    Recorder rec{};

    void SetUp() override {
        VmTest::SetUp();
        ASSERT_TRUE(rec.load()) << "the ioctl recorder " CX_IOCTL_RECORDER " could not be preloaded";
        ASSERT_TRUE(pair.ok());
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenSerialLibrary(L), 0);
        rec.set(1, 0);
    }
    void TearDown() override {
        FreeSerialPorts(L);
        if (rec.set) rec.set(0, 0);
        VmTest::TearDown();
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    int Open(int dtr, int rts) {
        return Call("OpenSerialPort", [&] {
            lua_pushnumber(L, 1);
            lua_pushstring(L, pair.near().c_str());
            lua_newtable(L);
            lua_pushstring(L, "dtr");
            lua_pushnumber(L, dtr);
            lua_settable(L, -3);
            lua_pushstring(L, "rts");
            lua_pushnumber(L, rts);
            lua_settable(L, -3);
        });
    }
};

TEST_F(ModemLines, OpenRaisesAndDropsTheLinesAsAsked) {
    ASSERT_EQ(Open(1, 0), 0);
    ASSERT_EQ(rec.count(), 2);
    EXPECT_EQ(rec.request(0), (unsigned long)TIOCMBIS);
    EXPECT_EQ(rec.bits(0), TIOCM_DTR);
    EXPECT_EQ(rec.request(1), (unsigned long)TIOCMBIC);
    EXPECT_EQ(rec.bits(1), TIOCM_RTS);
    EXPECT_EQ(rec.lines(), TIOCM_DTR);
    ASSERT_EQ(Cmd("GetDTR", {1}), 0);
    EXPECT_EQ(Num(1), 1);
    ASSERT_EQ(Cmd("GetRTS", {1}), 0);
    EXPECT_EQ(Num(1), 0);
}

TEST_F(ModemLines, SetCommandsSwitchTheLinesAtOnce) {
    ASSERT_EQ(Open(0, 0), 0);
    EXPECT_EQ(rec.lines(), 0);
    struct {
        const char *cmd;
        int code;
        int lines;
    } steps[] = {{"SetRTS", 1, TIOCM_RTS},
                 {"SetDTR", 1, TIOCM_RTS | TIOCM_DTR},
                 {"SetRTS", 0, TIOCM_DTR},
                 {"SetDTR", 0, 0}};
    for (const auto &s : steps) {
        ASSERT_EQ(Cmd(s.cmd, {1, double(s.code)}), 0) << s.cmd;
        EXPECT_EQ(rec.lines(), s.lines) << s.cmd << " " << s.code;
        ASSERT_EQ(Cmd(s.cmd[3] == 'D' ? "GetDTR" : "GetRTS", {1}), 0);
        EXPECT_EQ(Num(1), s.code);
    }
}

TEST_F(ModemLines, FailingLineGivesWrongUsageAndKeepsTheCode) {
    ASSERT_EQ(Open(0, 1), 0);
    rec.set(1, 1);
    EXPECT_EQ(Cmd("SetDTR", {1, 1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("SetRTS", {1, 0}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("GetDTR", {1}), 0);
    EXPECT_EQ(Num(1), 0);
    ASSERT_EQ(Cmd("GetRTS", {1}), 0);
    EXPECT_EQ(Num(1), 1);
    // a device that fails its modem lines outright is not opened
    EXPECT_EQ(Open(1, 1), ERR_OPENSERIAL);
    EXPECT_EQ(GetSerialList()->first, nullptr);
}

} // namespace
