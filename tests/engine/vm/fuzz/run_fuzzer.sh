#!/usr/bin/env bash
# Builds the loader's libFuzzer target in the "fuzz" preset (clang, ASan+UBSan)
# and fuzzes for the given seconds (default 60), starting from
# the committed corpus. New findings land in build/fuzz/findings. With
# CX_FUZZ_RUN=1 in the environment, chunks that load also run (bounded).
set -euo pipefail
cd "$(dirname "$0")/../../../.."
secs="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 3 --target vm_chunk_fuzzer
mkdir -p build/fuzz/findings build/fuzz/work
build/fuzz/tests/engine/vm/vm_chunk_fuzzer -max_total_time="$secs" -rss_limit_mb=4096 -artifact_prefix=build/fuzz/findings/ \
  build/fuzz/work tests/engine/vm/fuzz/corpus
