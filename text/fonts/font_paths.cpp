// The font-path list and the search for a bitmap font's contents file.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/charset/charset.h"
#include "errors/error_codes.h"
#include "streams/stream.h"
#include "text/fonts/font.h"

namespace {

std::vector<std::string> &Paths() {
    static std::vector<std::string> paths;
    return paths;
}

bool Opens(const std::string &path) {
    cxStream *s = OpenFileStream(path.c_str(), CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr);
    if (!s) return false;
    CloseFileStream(s);
    return true;
}

} // namespace

extern "C" {

int AddFontPath(const char *folder) {
    try {
        Paths().emplace_back(folder);
    } catch (...) {
        return ERR_MEM;
    }
    return 0;
}

void ClearFontPaths(void) { std::vector<std::string>().swap(Paths()); }
size_t GetFontPathCount(void) { return Paths().size(); }
const char *GetFontPath(size_t index) { return index < Paths().size() ? Paths()[index].c_str() : nullptr; }

int FindFontFile(const char *name, char *path, size_t size) {
    if (!name || name[0] == '/') return 0;
    std::string file(name);
    if (file.size() < 5 || Latin1CompareNoCase(file.c_str() + file.size() - 5, ".font") != 0) file += ".font";
    std::vector<std::string> tries;
    for (const std::string &folder : Paths())
        tries.push_back(folder.empty() || folder.back() == '/' || folder.back() == ':' ? folder + file
                                                                                       : folder + "/" + file);
    tries.push_back(file);
    for (const char *folder : {"Fonts/", "FONTS/", "fonts/"}) tries.push_back(folder + file);
    for (const std::string &t : tries) {
        if (t.size() < size && Opens(t)) {
            memcpy(path, t.c_str(), t.size() + 1);
            return 1;
        }
    }
    return 0;
}

} // extern "C"
