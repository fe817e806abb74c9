#!/usr/bin/env bash
# Builds one libFuzzer target of the "fuzz" preset (clang, ASan+UBSan) and
# runs it for the given seconds (default 600), starting from its committed
# corpus. New inputs go to build/fuzz/work/<target>, crashes to
# build/fuzz/findings/<target>/. The last lines of the log give the count
# of executions.
#   scripts/fuzz.sh fuzz_pattern 600
#   scripts/fuzz.sh --list
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --list ]; then
  grep -ho 'cx_add_fuzz_target([a-z_0-9]*' $(git ls-files '*CMakeLists.txt') | sed 's/.*(//'
  exit 0
fi
target="${1:?target name, or --list}"
secs="${2:-600}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 3 --target "$target"
binary="$(find build/fuzz -type f -name "$target" -perm -u+x | head -1)"
corpus="$(grep -h "cx_add_fuzz_target($target " $(git ls-files '*CMakeLists.txt') | sed -n 's/.*CORPUS \${corpus}\/\([a-z0-9_]*\).*/\1/p')"
dir="$(dirname "$(grep -l "cx_add_fuzz_target($target " $(git ls-files '*CMakeLists.txt'))")"
mkdir -p "build/fuzz/work/$target" "build/fuzz/findings/$target"
exec "$binary" -max_total_time="$secs" -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 \
  -artifact_prefix="build/fuzz/findings/$target/" "build/fuzz/work/$target" "$dir/corpus/$corpus"
