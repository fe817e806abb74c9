#!/usr/bin/env bash
# Builds one libFuzzer target of the "fuzz" preset (clang, ASan+UBSan) and
# runs it for the given seconds (default 600), starting from its committed
# corpus. New inputs go to build/fuzz/work/<target>, crashes to
# build/fuzz/findings/<target>/. Leaks are not checked input by input
# (that would slow every run down): once the time is up, the target's
# replay driver runs the committed and the new inputs under LeakSanitizer.
# The last lines of the log give the count of executions.
#   scripts/fuzz.sh fuzz_pattern 600
#   scripts/fuzz.sh --list
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
# One line per target: its name and its committed corpus (CMake writes it).
targets=build/fuzz/fuzz-targets.txt
if [ "${1:-}" = --list ]; then
  cut -d' ' -f1 "$targets" | sed '/^$/d'
  exit 0
fi
target="${1:?target name, or --list}"
secs="${2:-600}"
corpus="$(awk -v t="$target" '$1 == t { print $2 }' "$targets")"
if [ -z "$corpus" ]; then
  echo "fuzz: no target $target (scripts/fuzz.sh --list)" >&2
  exit 2
fi
cmake --build --preset fuzz -j 3 --target "$target" "${target}_replay"
binary="$(find build/fuzz -type f -name "$target" -perm -u+x | head -1)"
replay="$(find build/fuzz -type f -name "${target}_replay" -perm -u+x | head -1)"
mkdir -p "build/fuzz/work/$target" "build/fuzz/findings/$target"
status=0
"$binary" -max_total_time="$secs" -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 -detect_leaks=0 \
  -artifact_prefix="build/fuzz/findings/$target/" "build/fuzz/work/$target" "$corpus" || status=$?
ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" "$replay" "$corpus" "build/fuzz/work/$target" || status=$?
exit $status
