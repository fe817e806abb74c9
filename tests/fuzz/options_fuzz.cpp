// The command line (NUL-separated tokens) and the configuration file text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string> tokens(1, "player");
    tokens.emplace_back();
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0) tokens.emplace_back();
        else tokens.back() += static_cast<char>(data[i]);
    }
    std::vector<char *> argv;
    for (std::string &t : tokens) argv.push_back(t.data());
    argv.push_back(nullptr);
    cxStartupOptions opts;
    InitStartupOptions(&opts);
    ParseArguments(&opts, static_cast<int>(argv.size()) - 1, argv.data());
    FreeStartupOptions(&opts);
    InitStartupOptions(&opts);
    ReadConfigText(&opts, reinterpret_cast<const char *>(data), size);
    FreeStartupOptions(&opts);
    return 0;
}
