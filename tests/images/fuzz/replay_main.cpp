// Replays files (or every file of folders) through a fuzz target, so that
// builds without libFuzzer run the seeds as a test.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {
void Run(const std::string &path, int *count) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        DIR *d = opendir(path.c_str());
        if (!d) return;
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') Run(path + "/" + e->d_name, count);
        closedir(d);
        return;
    }
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++*count;
}
}  // namespace

int main(int argc, char **argv) {
    int count = 0;
    for (int i = 1; i < argc; i++) Run(argv[i], &count);
    printf("%d inputs replayed\n", count);
    return count > 0 ? 0 : 1;
}
