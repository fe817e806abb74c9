// String comparison and validation costs: the collation is meant to cost one
// table lookup per character pair once its tables are unpacked.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/charset/charset.h"
#include "engine/charset/collate.h"

namespace {

std::string Words(size_t n) {
    static const char *const words[] = {"caf\xC3\xA9 ", "Stra\xC3\x9F" "e ", "apple ", "\xC3\x84rger ", "zebra "};
    std::string out;
    for (size_t i = 0; out.size() < n; ++i) out += words[i % 5];
    out.resize(n);
    while (!ValidateUtf8(out.data(), out.size(), nullptr)) out.pop_back();
    return out;
}

void BM_CollateStrings(benchmark::State &state) {
    const std::string a = Words(static_cast<size_t>(state.range(0)));
    std::string b = a;
    b.back() = '~';  // differ at the last character: the whole string is walked
    CollateStrings("a", "b", 1);  // unpack the tables outside the timing
    for (auto _ : state) benchmark::DoNotOptimize(CollateStrings(a.c_str(), b.c_str(), 1));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CollateStrings)->Arg(16)->Arg(1024);

void BM_FirstCollationUnpacksTables(benchmark::State &state) {
    for (auto _ : state) {
        FreeCollationTables();
        benchmark::DoNotOptimize(CollateStrings("a", "b", 1));
    }
}
BENCHMARK(BM_FirstCollationUnpacksTables);

void BM_Utf8CompareNoCase(benchmark::State &state) {
    const std::string a = Words(static_cast<size_t>(state.range(0)));
    std::string b = a;
    for (char &c : b)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    for (auto _ : state) benchmark::DoNotOptimize(Utf8CompareNoCase(a.c_str(), b.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Utf8CompareNoCase)->Arg(16)->Arg(1024);

void BM_ValidateUtf8(benchmark::State &state) {
    const std::string a = Words(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ValidateUtf8(a.data(), a.size(), nullptr));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ValidateUtf8)->Arg(1024);

}  // namespace
