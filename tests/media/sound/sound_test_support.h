// What the sound tests share: scratch folders, running sox, streams opened
// from bytes held in memory.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "media/sound/sound_stream.h"
#include "platform/os_time.h"
#include "streams/memory_name.h"
#include "tests/shell/test_files.h"
#include "tools/sound-writer/sound_writer.h"

namespace soundtest {

// Runs a shell command; its exit status.
inline int Run(const std::string &command) {
    const int rc = system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline uint64_t NowUs() {
    cxOsTimeVal t;
    OsGetSysTime(&t);
    return uint64_t(t.seconds) * 1000000 + t.microseconds;
}

inline bool HaveProgram(const char *name) { return Run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0; }

// A stream over bytes in memory (the bytes must outlive it).
struct MemoryFile {
    std::vector<uint8_t> bytes;
    char name[CX_MEMORY_NAME_MAX] = "";
    explicit MemoryFile(std::vector<uint8_t> b) : bytes(std::move(b)) {
        if (bytes.empty()) bytes.reserve(1);
        MakeMemoryName(name, sizeof name, bytes.data(), bytes.size());
    }
    ~MemoryFile() { ReleaseMemoryName(bytes.data(), bytes.size()); }
};

// Every frame of a stream.
inline std::vector<uint8_t> DecodeAll(cxSoundStream *s) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> block(size_t(4096) * (s->transferUnit ? s->transferUnit : 4));
    for (;;) {
        int ended = 0;
        const uint32_t n = DecodeSoundStream(s, block.data(), 4096, &ended);
        out.insert(out.end(), block.begin(), block.begin() + size_t(n) * s->transferUnit);
        if (ended || n == 0) break;
    }
    return out;
}

}  // namespace soundtest
