// FTP dialogues with a server played by the input: the control connection
// hears the part before the first NUL (greeting, multi-line replies, PASV
// and SIZE replies), the data connection the part after it. The first byte
// chooses the transfer: bit 0 an upload, bit 1 a file, bit 2 credentials.
#include <cstdint>
#include <cstdio>

#include "tests/io/net/fuzz/fuzz_peer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    lua_State *L = netfuzz::Setup();
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string url = (flags & 4) ? "ftp://user:pw@fuzz.invalid/dir/file.bin" : "ftp://fuzz.invalid/file.bin";
    const std::string file = cxfuzz::ScratchPath("ftp");
    std::vector<std::pair<const char *, std::string>> options;
    if (flags & 1) {
        options.push_back({"data", "uploaded bytes"});
    } else if (flags & 2) {
        options.push_back({"file", file});
    }
    netfuzz::Transfer(L, (flags & 1) ? "uploadfile" : "downloadfile", url, options, cxfuzz::Split(data + 1, size - 1, 2));
    if (flags & 2) remove(file.c_str());
    return 0;
}
