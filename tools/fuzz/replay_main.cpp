// Replays fuzz inputs without libFuzzer: every file named (or inside a
// folder named, at any depth) on the command line goes once through the
// target's entry point. CTest runs the committed corpora this way in every build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; i++) {
        const std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto &e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.push_back(p);
        }
    }
    if (files.empty()) {
        fprintf(stderr, "no inputs\n");
        return 1;
    }
    for (const auto &f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    printf("%zu inputs replayed\n", files.size());
    return 0;
}
