// A virtual machine with the sound library whose audio goes to alsa-lib's
// file PCM: every PCM the engine opens on the device "cxtest" becomes a
// WAVE file of the exact bytes written, in a scratch folder of the test
// process.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "display/events/event_library.h"
#include "display/events/event_notices.h"
#include "media/sound/audio_engine.h"
#include "media/sound/sound_internal.h"
#include "media/sound/sound_library.h"
#include "platform/alsa/os_alsa.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "tests/media/sound/sound_test_support.h"

namespace soundtest {

// The scratch folder and the ALSA configuration, made once per process
// (alsa-lib reads its configuration once).
inline const std::string &PcmFolder() {
    static const std::string folder = [] {
        char tmpl[] = "/tmp/cxsound.XXXXXX";
        if (!mkdtemp(tmpl)) abort();
        const std::string dir = tmpl;
        // The configuration stands alone: the system's configuration may
        // call hooks of plug-ins that a cross build's libasound lacks.
        const std::string conf = dir + "/asound.conf";
        cxtest::WriteText(conf, "pcm.cxtest { type file; slave { pcm { type null } } file \"" + dir +
                                    "/ch-%r-%c-%b.wav\"; format wav; truncate false }\n");
        setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        return dir;
    }();
    return folder;
}

// The WAVE files the file PCM wrote, by name.
inline std::vector<std::string> PcmFiles() {
    std::vector<std::string> names;
    if (DIR *d = opendir(PcmFolder().c_str())) {
        while (dirent *e = readdir(d))
            if (!strncmp(e->d_name, "ch-", 3)) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline void ClearPcmFiles() {
    for (const std::string &n : PcmFiles()) unlink((PcmFolder() + "/" + n).c_str());
}

// The data chunk of a WAVE file the file PCM wrote.
inline std::vector<uint8_t> PcmData(const std::string &name) {
    const cxtest::Bytes b = cxtest::ReadBytes(PcmFolder() + "/" + name);
    if (b.size() < 44) return {};
    return std::vector<uint8_t>(b.begin() + 44, b.end());
}

class SoundTest : public cxtest::VmTest {
protected:
    void SetUp() override {
        PcmFolder();
        ClearPcmFiles();
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenEventLibrary(L), 0);
        ASSERT_EQ(OpenSoundLibrary(L), 0);
        SoundSettingsListener(3, reinterpret_cast<intptr_t>("cxtest"));
        OsSetAlsaRealtime(0);
        OsSetAlsaPacing(Pacing());
    }
    void TearDown() override {
        StopAllPlayback(L);
        FreeAllSoundObjects(L);
        FreeAudioEngine();
        ResetSoundLibrary();
        OsSetAlsaPacing(1);
        FreeEventNotices(L);
        CleanupEvents(L);
        VmTest::TearDown();
    }
    // How much faster than real time the mixer may run.
    virtual double Pacing() { return 8; }

    // Calls a command with numbers, strings and Nil (nullptr) arguments.
    struct Arg {
        enum { kNumber, kString, kNil, kTable } kind;
        double number = 0;
        std::string text;
        std::vector<std::pair<std::string, Arg>> fields;
        Arg(double n) : kind(kNumber), number(n) {}
        Arg(int n) : kind(kNumber), number(n) {}
        Arg(const char *s) : kind(s ? kString : kNil), text(s ? s : "") {}
        Arg(const std::string &s) : kind(kString), text(s) {}
        Arg(std::nullptr_t) : kind(kNil) {}
        static Arg Table(std::vector<std::pair<std::string, Arg>> f) {
            Arg a(nullptr);
            a.kind = kTable;
            a.fields = std::move(f);
            return a;
        }
    };
    void Push(const Arg &a) {
        switch (a.kind) {
        case Arg::kNumber: lua_pushnumber(L, a.number); break;
        case Arg::kString: lua_pushstring(L, a.text.c_str()); break;
        case Arg::kNil: lua_pushnil(L); break;
        case Arg::kTable:
            lua_newtable(L);
            for (const auto &[k, v] : a.fields) {
                lua_pushstring(L, k.c_str());
                Push(v);
                lua_settable(L, -3);
            }
            break;
        }
    }
    int Cmd(const char *name, std::initializer_list<Arg> args = {}) {
        return Call(name, [&] {
            for (const Arg &a : args) Push(a);
        });
    }
    static Arg T(std::vector<std::pair<std::string, Arg>> f) { return Arg::Table(std::move(f)); }
    bool Bool(int index) { return lua_toboolean(L, index) != 0; }

    // A sample made from signed values (CreateSample's "pcm" source).
    int MakeSample(int id, const std::vector<int> &values, int pitch, int format) {
        return Call("CreateSample", [&] {
            lua_pushnumber(L, id);
            lua_newtable(L);
            for (size_t i = 0; i < values.size(); i++) {
                lua_pushnumber(L, values[i]);
                lua_rawseti(L, -2, int(i));
            }
            lua_pushnumber(L, pitch);
            lua_pushnumber(L, format);
        });
    }
    // Waits (turning the pump) until the sample stops; false after 20 s.
    bool WaitSample(int id) { return Cmd("WaitSampleEnd", {id}) == 0; }
    bool WaitMusicEnd(int id, int seconds = 20) {
        for (int i = 0; i < seconds * 100; i++) {
            if (Cmd("IsMusicPlaying", {id}) != 0) return false;
            if (!Bool(1)) return true;
            usleep(10000);
        }
        return false;
    }
    // The notices the engine posted, oldest first.
    std::vector<cxEventNotice> Notices() {
        std::vector<cxEventNotice> out;
        cxEventNotice n;
        while (TakeEventNotice(&n)) {
            out.push_back(n);
            cxEventNotice copy = n;
            ReleaseEventNotice(L, &copy);
        }
        return out;
    }
};

}  // namespace soundtest
