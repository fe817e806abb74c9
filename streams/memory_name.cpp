#include "streams/memory_name.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace {

using Block = std::pair<uintptr_t, size_t>;

// Both live for the whole process (never destroyed), so that names stay
// usable from clean-up code that runs during exit.
std::mutex &RegistryLock() {
    static std::mutex *lock = new std::mutex;
    return *lock;
}

std::set<Block> &Registry() {
    static std::set<Block> *blocks = new std::set<Block>;
    return *blocks;
}

// Strict decimal or hexadecimal number up to the next ':' or the end.
bool ParseNumber(const char *&p, int base, uint64_t &out) {
    const char *start = p;
    uint64_t value = 0;
    for (; *p && *p != ':'; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9') digit = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
        else return false;
        if (value > (UINT64_MAX - digit) / base) return false;
        value = value * base + digit;
    }
    out = value;
    return p != start && p - start <= 20;
}

}  // namespace

extern "C" int MakeMemoryName(char *out, size_t size, const void *pointer, uint64_t length) {
    if (!out || size == 0) return 0;
    if (length > SIZE_MAX) {
        out[0] = 0;
        return 0;
    }
    int n = std::snprintf(out, size, CX_MEMORY_NAME_PREFIX "%" PRIxPTR ":%" PRIu64,
                          reinterpret_cast<uintptr_t>(pointer), length);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = 0;
        return 0;
    }
    std::lock_guard<std::mutex> hold(RegistryLock());
    Registry().emplace(reinterpret_cast<uintptr_t>(pointer), static_cast<size_t>(length));
    return 1;
}

extern "C" int IsMemoryName(const char *name) {
    return name && std::strncmp(name, CX_MEMORY_NAME_PREFIX, std::strlen(CX_MEMORY_NAME_PREFIX)) == 0;
}

extern "C" int ParseMemoryName(const char *name, const void **pointer, size_t *length) {
    const size_t prefix = std::strlen(CX_MEMORY_NAME_PREFIX);
    if (!name || std::strncmp(name, CX_MEMORY_NAME_PREFIX, prefix) != 0) return 0;
    const char *p = name + prefix;
    uint64_t address = 0, size = 0;
    if (!ParseNumber(p, 16, address) || *p != ':') return 0;
    ++p;
    if (!ParseNumber(p, 10, size) || *p != '\0') return 0;
    if (address > UINTPTR_MAX || size > SIZE_MAX) return 0;
    std::lock_guard<std::mutex> hold(RegistryLock());
    if (!Registry().count({static_cast<uintptr_t>(address), static_cast<size_t>(size)})) return 0;
    if (pointer) *pointer = reinterpret_cast<const void *>(static_cast<uintptr_t>(address));
    if (length) *length = static_cast<size_t>(size);
    return 1;
}

extern "C" void ReleaseMemoryName(const void *pointer, size_t length) {
    std::lock_guard<std::mutex> hold(RegistryLock());
    Registry().erase({reinterpret_cast<uintptr_t>(pointer), length});
}
