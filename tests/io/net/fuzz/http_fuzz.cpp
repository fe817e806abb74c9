// HTTP responses from a server played by the input: status lines, headers,
// chunked bodies and redirects (a redirect's next connection hears the
// next NUL-separated part). The first byte chooses the request: bit 0 a
// file for the body, bit 1 no redirects, bit 2 a POST body.
#include <cstdint>
#include <cstdio>

#include "tests/io/net/fuzz/fuzz_peer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    lua_State *L = netfuzz::Setup();
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    std::vector<std::pair<const char *, std::string>> options;
    const std::string file = cxfuzz::ScratchPath("http");
    if (flags & 1) options.push_back({"file", file});
    if (flags & 2) options.push_back({"redirect", "#0"});
    if (flags & 4) options.push_back({"post", "a=1"});
    netfuzz::Transfer(L, "downloadfile", "http://fuzz.invalid/start", options, cxfuzz::Split(data + 1, size - 1, 6));
    if (flags & 1) remove(file.c_str());
    return 0;
}
