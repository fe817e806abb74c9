#!/bin/bash
# The programs demo in the real player: the end of a program started by Run
# reaches the script's RunFinished handler with the program, its arguments
# and the user data; the copied tree is there and is deleted again.
set -u
player="$1"
applet="$2"
# CX_EMULATOR: the emulator of a cross build, if any.
out=$(timeout 30 ${CX_EMULATOR:-} "$player" "$applet" 2>&1)
status=$?
text=$(printf '%s\n' "$out" | grep -E '^[0-9a-f]{8}: ' | cut -c59- | tr -d '\n')
for want in "RunFinished: /bin/sh -c 'sleep 0.3' (demo data)" "Size of copy/sub/a.txt: 7" "Tree still there: 0"; do
  case "$text" in
    *"$want"*) ;;
    *) echo "missing: $want"; printf '%s\n' "$out"; exit 1 ;;
  esac
done
[ "$status" = 0 ] || { echo "exit status $status"; exit 1; }
echo ok
