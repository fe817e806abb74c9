#!/usr/bin/env bash
# Builds the release preset and runs the player on a demo applet (default:
# hello). Under xvfb-run when no X display is set, so that applets that
# open displays work too.
#   scripts/run-demo.sh [demo] [player options...]
set -euo pipefail
cd "$(dirname "$0")/.."
demo="${1:-hello}"
shift || true
cmake --preset release >/dev/null
cmake --build --preset release -j 3 --target player demos >/dev/null
player=build/release/player
applet="build/release/demos/${demo}.cxa"
if [ ! -f "$applet" ]; then
  echo "run-demo: no demo applet $applet" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a "$player" "$applet" "$@"
fi
exec "$player" "$applet" "$@"
