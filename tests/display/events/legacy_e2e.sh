#!/bin/bash
# Legacy event labels in the real player: an applet whose labels append to
# a trace shown as its window title. Clicks and keys reach the labels,
# GetEventCode names the entry, the ALL switch and Enable/DisableEvent
# change which label fires, WhileKeyDown holds until the key is up,
# WhileMouseOn until the pointer leaves or BreakWhileMouseOn, ClearEvents
# ends it all, and ESC still ends the run with status 0.
set -u
# A key held on purpose must not repeat: the repeats would be key-downs too.
xset r off
player="$1"
applet="$2"
# CX_EMULATOR: the emulator of a cross build, if any.
${CX_EMULATOR:-} "$player" "$applet" >/dev/null 2>&1 &
pid=$!
win=$(timeout 20 xdotool search --sync --name "^T:" | head -1)
[ -n "$win" ] || { echo "no window"; kill "$pid"; exit 1; }
sleep 1
title() { xdotool getwindowname "$win"; }
# Waits until the title ends with the expected trace (a busy machine may be
# slow); fails with what it saw.
expect() {
  for _ in $(seq 1 50); do
    [ "$(title)" = "T:$1" ] && return 0
    sleep 0.1
  done
  echo "title \"$(title)\", expected \"T:$1\""
  kill "$pid" 2>/dev/null
  exit 1
}
xdotool mousemove --sync --window "$win" 280 180
# Declaring ONBUTTONCLICKALL switches its pass on at start-up.
xdotool mousemove --sync --window "$win" 50 50 click 1
expect " all1"
xdotool mousemove --sync --window "$win" 280 180 click 1
xdotool keydown x
expect " all1 k2"
sleep 0.5
expect " all1 k2" # WhileKeyDown holds while x is down
xdotool keyup x
t=" all1 k2 up"; expect "$t"
xdotool key n
xdotool mousemove --sync --window "$win" 60 60 click 1
xdotool key e
xdotool click 1 # the pointer is still there
t="$t n e c1"; expect "$t"
xdotool key a
xdotool click 1
t="$t a all1"; expect "$t"
xdotool mousemove --sync --window "$win" 200 50
t="$t over3"; expect "$t"
xdotool mousemove --sync --window "$win" 280 180
t="$t left"; expect "$t"
xdotool mousemove --sync --window "$win" 200 50
t="$t over3"; expect "$t"
xdotool key b
t="$t brk left over3"; expect "$t"
xdotool mousemove --sync --window "$win" 280 180
t="$t left"; expect "$t"
xdotool key z
xdotool mousemove --sync --window "$win" 60 60 click 1
xdotool key x
xdotool mousemove --sync --window "$win" 200 50
sleep 0.5
t="$t z"; expect "$t"
xdotool key Escape
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "still running after ESC"; kill "$pid"; exit 1; fi
wait "$pid"
status=$?
[ "$status" = 0 ] || { echo "exit status $status"; exit 1; }
echo ok
