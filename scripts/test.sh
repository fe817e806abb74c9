#!/usr/bin/env bash
# Builds one preset (default: release) and runs its tests. X11 tests get a
# private virtual server when no DISPLAY is set. The server must not reset
# when its last client leaves: a test connecting at that moment would lose
# its connection.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
shift || true
cmake --preset "$preset" >/dev/null
if [ "$preset" = tsan ]; then
  # Only the tests labelled "threads" run under ThreadSanitizer.
  cmake --build --preset "$preset" --target cx_threads_tests
else
  cmake --build --preset "$preset"
fi
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" ctest --preset "$preset" "$@"
fi
exec ctest --preset "$preset" "$@"
