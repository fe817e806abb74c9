// Stands in for the CXPK unpacker in the applet tests: same contract for
// the cases the applet reader uses (an open stream, a caller's buffer).
#pragma once

#include "shell/applet.h"

namespace cxtest {

int StubUnpackCxpk(const char *magic, const char *source, const char *target, cxStream *stream, int64_t offset,
                   uint64_t *written, uint64_t *consumed, void *buffer, size_t bufferSize);

// Installs the stub for the lifetime of the object.
struct ScopedStubUnpacker {
    ScopedStubUnpacker() { SetCxpkUnpacker(StubUnpackCxpk); }
    ~ScopedStubUnpacker() { SetCxpkUnpacker(nullptr); }
};

}  // namespace cxtest
