#!/usr/bin/env bash
# Builds the plug-in of docs/plugins.md exactly as the guide shows it (code
# block and build command), puts it into Plugins beside a copy of the
# player, and checks that it loads and that a script can call its command.
# A cross build passes its C compiler (CX_PLUGIN_CC, used in place of the
# guide's cc, as the guide says for the device) and its emulator (CX_EMULATOR).
set -euo pipefail
repo="$1" player="$2" cxapplet="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
guide="$repo/docs/plugins.md"

# The first ```c block is the source, the ```sh block the build command.
awk '/^```c$/{on=1;next} /^```$/{if(on){exit}} on' "$guide" > "$work/hello.c"
build="$(awk '/^```sh$/{on=1;next} /^```$/{on=0} on' "$guide")"
build="${build//\/path\/to\/calyxtone\/include/$repo/include}"
build="${CX_PLUGIN_CC:-cc}${build#cc}"
(cd "$work" && eval "$build")

mkdir "$work/Plugins"
cp "$player" "$work/player"
mv "$work/hello.cxp" "$work/Plugins/"

out="$(${CX_EMULATOR:-} "$work/player" -PLUGININFO)"
grep -q "^hello.Twice$" <<<"$out" || { echo "not listed: $out"; exit 1; }

# hello.twice(21) and #HELLO_ANSWER, shown on the console through an error
# message of the script's own text.
cat > "$work/use.cxs" <<'ASM'
.source "=use.cxs"
        GETGLOBAL 0 "hello"
        GETTABLE 0 0 "twice"
        LOADK 1 #21
        CALL 0 2 2
        GETGLOBAL 1 "eval"
        LOADK 2 "#HELLO_ANSWER"
        CALL 1 2 2
        GETGLOBAL 2 "error"
        LOADK 3 "twice="
        MOVE 4 0
        LOADK 5 " answer="
        MOVE 6 1
        CONCAT 3 3 6
        CALL 2 2 1
        RETURN 0 1
ASM
${CX_EMULATOR:-} "$cxapplet" "$work/use.cxs" -o "$work/use.cxa"
set +e
run="$(${CX_EMULATOR:-} "$work/player" "$work/use.cxa")"
set -e
grep -q "Loading plugin hello.cxp... done" <<<"$run" || { echo "no load line: $run"; exit 1; }
grep -q "twice=42 answer=42" <<<"$run" || { echo "no result: $run"; exit 1; }
echo "guide plug-in: ok"
