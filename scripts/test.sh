#!/usr/bin/env bash
# Builds one preset (default: release) and runs its tests. X11 tests get a
# private virtual server when no DISPLAY is set. The server must not reset
# when its last client leaves: a test connecting at that moment would lose
# its connection.
#   scripts/test.sh [preset] [--only FOLDER,...] [ctest options...]
# --only builds and runs just the tests under those folders of tests/ (CI's
# armhf pass: engine,graphics,images). The armhf preset is the 32-bit ARM
# cross build, its tests under qemu-arm (scripts/install-deps.sh armhf).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
shift || true
only=""
if [ "${1:-}" = --only ]; then
  only="${2//,/ }"
  shift 2
fi
inner=0
if [ "${1:-}" = --inner ]; then
  inner=1
  shift
fi
if [ $inner = 0 ]; then
  cmake --preset "$preset" >/dev/null
  if [ -n "$only" ]; then
    targets=()
    for f in $only; do targets+=("tests/$f/all"); done
    cmake --build --preset "$preset" --target "${targets[@]}"
  elif [ "$preset" = tsan ]; then
    # Only the tests labelled "threads" run under ThreadSanitizer.
    cmake --build --preset "$preset" --target cx_threads_tests
  else
    cmake --build --preset "$preset"
  fi
fi
# Tests labelled x11 read windows back and inject input: they run after the
# others, one at a time, so that no other test's window covers theirs.
run_tests() {
  if [ -n "$only" ]; then
    local status=0 f
    for f in $only; do  # every preset builds into build/<preset>
      ctest --test-dir "build/$preset/tests/$f" --output-on-failure -j "$(nproc)" -LE x11 "$@" || status=1
      ctest --test-dir "build/$preset/tests/$f" --output-on-failure -L x11 "$@" || status=1
    done
    return $status
  fi
  if [ "$preset" = tsan ]; then
    ctest --preset "$preset" "$@"
    return
  fi
  local status=0
  ctest --preset "$preset" -LE x11 "$@" || status=1
  ctest --preset "$preset" -L x11 "$@" || status=1
  return $status
}
if [ $inner = 1 ]; then
  run_tests "$@"
  exit
fi
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$preset" ${only:+--only "${only// /,}"} --inner "$@"
fi
run_tests "$@"
