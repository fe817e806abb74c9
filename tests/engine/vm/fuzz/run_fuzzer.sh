#!/usr/bin/env bash
# Builds the loader's libFuzzer target with clang (ASan+UBSan) in its own
# build folder and fuzzes for the given seconds (default 60), starting from
# the committed corpus. New findings land in build/fuzz/findings. With
# CX_FUZZ_RUN=1 in the environment, chunks that load also run (bounded).
set -euo pipefail
cd "$(dirname "$0")/../../../.."
secs="${1:-60}"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCX_SANITIZE=address,undefined -DCX_BUILD_BENCH=OFF -DCX_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build build/fuzz -j 3 --target vm_chunk_fuzzer
mkdir -p build/fuzz/findings build/fuzz/work
build/fuzz/tests/engine/vm/vm_chunk_fuzzer -max_total_time="$secs" -rss_limit_mb=4096 -artifact_prefix=build/fuzz/findings/ \
  build/fuzz/work tests/engine/vm/fuzz/corpus
