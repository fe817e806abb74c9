// The applet reader: header, info block, sections and packed sections, then
// the main chunk's reader. Any input is read or refused with a code.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/applet.h"
#include "shell/chunk_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = cxfuzz::ScratchPath("applet");
    cxfuzz::WriteFile(path, data, size);
    for (int skipInfo = 0; skipInfo < 2; skipInfo++) {
        cxApplet *a = NewApplet();
        if (ReadAppletHeader(a, path.c_str(), 0, skipInfo) == 0 && LoadApplet(a) == 0) {
            cxChunkReader *r = nullptr;
            if (OpenMainChunkReader(a, &r) == 0) {
                size_t n = 0;
                while (ReadChunkBlock(r, &n)) {
                }
                CloseChunkReader(r);
            }
        }
        FreeApplet(a);
    }
    return 0;
}
