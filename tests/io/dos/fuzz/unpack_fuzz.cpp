// The CXPK unpacker on arbitrary bytes held in memory: into a small buffer,
// a large one, and nowhere. It must fail cleanly or agree with itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "errors/errors.h"
#include "streams/cxpk/cxpk.h"
#include "streams/memory_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> packed(data, data + size);
    char name[CX_MEMORY_NAME_MAX];
    if (!MakeMemoryName(name, sizeof name, packed.data(), packed.size())) return 0;
    uint64_t written = 0, consumed = 0;
    const int dropped = UnpackCxpk("CXPK", name, nullptr, nullptr, 0, &written, &consumed, nullptr, 0);
    const uint64_t total = written;
    std::vector<uint8_t> big(1 << 16);
    uint64_t written2 = 0;
    const int intoBig = UnpackCxpk("CXPK", name, nullptr, nullptr, 0, &written2, nullptr, big.data(), big.size());
    if (dropped == 0 && total <= big.size() && (intoBig != 0 || written2 != total)) abort();
    std::vector<uint8_t> small(7);
    uint64_t written3 = 0;
    const int intoSmall = UnpackCxpk("CXPK", name, nullptr, nullptr, 0, &written3, nullptr, small.data(), small.size());
    if (dropped == 0 && (intoSmall != 0 || written3 != (total < 7 ? total : 7))) abort();
    if (dropped == 0 && consumed > size) abort();
    ReleaseMemoryName(packed.data(), packed.size());
    return 0;
}
