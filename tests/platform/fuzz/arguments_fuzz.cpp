// The argument splitter of external programs: any text either splits or is
// refused for an unbalanced quote, and the words, quoted again, split back
// into the same words.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "platform/os_process.h"

namespace {

std::vector<std::string> Words(char **w) {
    std::vector<std::string> out;
    for (char **p = w; *p; p++) out.emplace_back(*p);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));
    int err = 0;
    char **w = OsSplitArguments(text.c_str(), &err);
    if (!w) {
        if (err != ERR_WRONGUSAGE) abort();
        return 0;
    }
    const std::vector<std::string> first = Words(w);
    free(w);
    std::string quoted;
    for (const std::string &word : first) {
        quoted += " '";
        for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
    }
    char **again = OsSplitArguments(quoted.c_str(), &err);
    if (!again) abort();
    if (Words(again) != first) abort();
    free(again);
    return 0;
}
