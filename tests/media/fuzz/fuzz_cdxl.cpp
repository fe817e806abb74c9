// The CDXL reader on arbitrary bytes: every packet decoded, then a seek.
#include <stdlib.h>

#include <vector>

#include "media/anim/cdxl_reader.h"
#include "streams/memory_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint8_t kEmpty[1] = {0};
    const uint8_t *bytes = size ? data : kEmpty;
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, bytes, size);
    cxCdxlInfo info{};
    if (cxCdxlReader *r = OpenCdxlFile(name, nullptr, &info)) {
        std::vector<uint8_t> px(size_t(info.width) * size_t(info.height) * 4);
        std::vector<int16_t> samples(65536);
        cxCdxlPacket *p = nullptr;
        for (int i = 0; i < 16 && ReadCdxlPacket(r, &p) == 0; ++i) {
            cxCdxlFrame f{px.data(), info.width * 4, 0, 0};
            DecodeCdxlVideo(r, p, &f);
            size_t got = 0;
            int more = 0;
            DecodeCdxlAudio(r, p, samples.data(), samples.size(), &got, &more);
            free(p);
        }
        SeekCdxl(r, 1000);
        if (ReadCdxlPacket(r, &p) == 0) free(p);
        CloseCdxlFile(r);
    }
    ReleaseMemoryName(bytes, size);
    return 0;
}
