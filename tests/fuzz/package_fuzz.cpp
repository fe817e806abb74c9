// The plug-in package behind a linked executable: unpacked into a scratch
// folder (which must be gone again afterwards) or refused with a code.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "shell/plugins/plugin_package.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string program = cxfuzz::ScratchPath("program");
    static const std::string root = [] {
        std::string r = cxfuzz::ScratchPath("root");
        mkdir(r.c_str(), 0700);
        return r;
    }();
    cxfuzz::WriteFile(program, data, size);
    uint64_t applet = 0;
    ExtractAppendedPlugins(program.c_str(), 0, root.c_str(), &applet);
    RemoveAppendedPlugins();
    if (!std::filesystem::is_empty(root)) abort();  // nothing left behind
    return 0;
}
