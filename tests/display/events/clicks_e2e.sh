#!/bin/bash
# The clicks demo in the real player under the test's X server: a click
# draws a yellow box around the pointer, the corner marker blinks (an
# interval), ESC ends the run with status 0.
set -u
player="$1"
applet="$2"
# CX_EMULATOR: the emulator of a cross build, if any.
${CX_EMULATOR:-} "$player" "$applet" >/dev/null 2>&1 &
pid=$!
win=$(timeout 20 xdotool search --sync --name "Calyxtone clicks" | head -1)
[ -n "$win" ] || { echo "no window"; kill "$pid"; exit 1; }
sleep 1
xdotool mousemove --window "$win" 100 80 click 1
sleep 1
pixel() {
  xwd -id "$win" | xwdtopnm 2>/dev/null | python3 -c '
import sys
x, y = int(sys.argv[1]), int(sys.argv[2])
d = sys.stdin.buffer.read()
parts = d.split(maxsplit=4)
w = int(parts[1])
pix = parts[4]
o = (y * w + x) * 3
print("%02x%02x%02x" % tuple(pix[o:o + 3]))' "$1" "$2"
}
# Pixel (92, 72) is the box's top-left corner.
colour=$(pixel 92 72)
# The marker's corner (8, 8) turns red and black by turns every half second.
# Sampled until both colours were seen (a busy machine may be slow).
marks=""
for _ in $(seq 1 20); do
  marks="$marks $(pixel 8 8)"
  case "$marks" in *ff0000*000000*|*000000*ff0000*) break ;; esac
  sleep 0.3
done
xdotool mousemove --window "$win" 10 10 key Escape
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "still running after ESC"; kill "$pid"; exit 1; fi
wait "$pid"
status=$?
[ "$colour" = "ffff00" ] || { echo "pixel $colour, expected ffff00"; exit 1; }
case "$marks" in *ff0000*) ;; *) echo "marker never red:$marks"; exit 1 ;; esac
case "$marks" in *000000*) ;; *) echo "marker never black:$marks"; exit 1 ;; esac
[ "$status" = 0 ] || { echo "exit status $status"; exit 1; }
echo ok
