// URLs: percent-encoding both ways, taking a URL apart, and where a
// redirect leads. The input is a flags byte (bit 0: already encoded, bit 1:
// the "ssl" option), the URL, a NUL and a redirect location.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/net/url_parts.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::vector<std::string> parts = cxfuzz::Split(data + 1, size - 1, 2);
    std::string url;
    if (EncodeUrl(parts[0], flags & 1, url) != 0) return 0;
    // What encoding gives has nothing left to encode.
    std::string again;
    if (EncodeUrl(url, true, again) != 0) abort();
    cxUrlParts u;
    if (ParseUrl(url, flags & 2, u) != 0) return 0;
    if (u.port < 0 || u.port > 65535 || u.path.empty() || u.path[0] != '/') abort();
    if (u.user.size() > 255 || u.password.size() > 255) abort();
    DecodePercent(u.path);
    const std::string next = ResolveRedirect(url, parts[1]);
    cxUrlParts v;
    ParseUrl(next, flags & 2, v);
    return 0;
}
