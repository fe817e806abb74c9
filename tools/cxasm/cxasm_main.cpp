// cxasm: writes a chunk from an assembly source file.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/cxasm/asm_text.h"

int main(int argc, char **argv) {
    cxasm::ChunkOptions opt;
    const char *in = nullptr;
    const char *out = nullptr;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--big-endian")) {
            opt.bigEndian = true;
        } else if (!strcmp(argv[i], "--size-t") && i + 1 < argc) {
            opt.sizeT = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "-o") && i + 1 < argc) {
            out = argv[++i];
        } else if (!in) {
            in = argv[i];
        } else {
            in = nullptr;
            break;
        }
    }
    if (!in || !out || (opt.sizeT != 4 && opt.sizeT != 8)) {
        fprintf(stderr, "usage: cxasm [--big-endian] [--size-t 4|8] input.cxs -o output.cxc\n");
        return 2;
    }
    std::ifstream f(in, std::ios::binary);
    if (!f) {
        fprintf(stderr, "cxasm: cannot read %s\n", in);
        return 1;
    }
    std::stringstream ss;
    ss << f.rdbuf();
    try {
        std::vector<uint8_t> chunk = cxasm::assembleText(ss.str(), opt);
        std::ofstream o(out, std::ios::binary);
        o.write(reinterpret_cast<const char *>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
        if (!o) {
            fprintf(stderr, "cxasm: cannot write %s\n", out);
            return 1;
        }
    } catch (const std::exception &e) {
        fprintf(stderr, "%s: %s\n", in, e.what());
        return 1;
    }
    return 0;
}
