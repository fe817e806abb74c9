// Scratch folders and whole-file helpers for the shell's tests.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace cxtest {

using Bytes = std::vector<unsigned char>;

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "cxshell.XXXXXX").string();
        if (!mkdtemp(tmpl.data())) abort();
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string Path(const std::string &name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

inline void WriteBytes(const std::string &path, const Bytes &data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline void WriteText(const std::string &path, const std::string &text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

inline Bytes ReadBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// 0, 1, 2, ... 255, 0, 1, ...
inline Bytes Ramp(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; i++) b[i] = static_cast<unsigned char>(i);
    return b;
}

}  // namespace cxtest
