#!/usr/bin/env python3
"""The VM programs on the armhf build against Debian's armhf lua5.4, both
under the same qemu-arm in the same run. Emulated times say little about a
device; their ratios say how the interpreters compare on ARM code. Each
script runs as its own process: the armhf player on the script assembled as
an applet (start-up included), bench_vm_run on the script (no hook, then the
player's line hook), and lua5.4 on the .lua twin. Runs alternate; the best
processor time of the rounds counts.

  cmake --build --preset armhf --target player bench_vm_applets
  bench/engine/vm/compare_armhf.py [--build build/armhf] [--lua PATH] [--rounds 3] [NAME...]

scripts/install-deps.sh armhf unpacks the armhf lua5.4 in /opt/armhf-lua5.4
(the host's own lua5.4 stays as it is).
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "scripts")
ALL = ["fib", "loop", "tables", "concat", "methods", "arrays", "strbuild", "upfib", "hashes"]


def cpu_children():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime


def run(cmd):
    c0 = cpu_children()
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if r.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (r.returncode, " ".join(cmd), r.stderr.decode(errors="replace")))
    return cpu_children() - c0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "..", "..", "build", "armhf"))
    ap.add_argument("--lua", default="/opt/armhf-lua5.4/usr/bin/lua5.4")
    ap.add_argument("--qemu", default=shutil.which("qemu-arm") or "qemu-arm")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("names", nargs="*")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    runner = os.path.join(build, "bench", "engine", "vm", "bench_vm_run")
    player = os.path.join(build, "player")
    applets = os.path.join(build, "bench", "engine", "vm", "applets")
    for f in (runner, player, a.lua, a.qemu):
        if not os.path.exists(f):
            sys.exit("missing %s: see the usage at the top of this script" % f)
    q = [a.qemu]
    impls = [
        ("player", lambda n: q + [player, os.path.join(applets, n + ".cxa")]),
        ("ours", lambda n: q + [runner, os.path.join(SCRIPTS, n + ".cxs")]),
        ("hook", lambda n: q + [runner, "--hook", os.path.join(SCRIPTS, n + ".cxs")]),
        ("lua5.4", lambda n: q + [a.lua, os.path.join(SCRIPTS, n + ".lua")]),
    ]
    names = a.names or ALL
    best = {}
    for _ in range(a.rounds):
        for n in names:
            for impl, cmd in impls:
                t = run(cmd(n))
                best[(n, impl)] = min(best.get((n, impl), t), t)
    print("| program | player/5.4 | ours/5.4 | hook/5.4 |")
    print("|---|---|---|---|")
    for n in names:
        r = ["%.2f" % (best[(n, i)] / best[(n, "lua5.4")]) for i in ("player", "ours", "hook")]
        print("| %s | %s |" % (n, " | ".join(r)))


if __name__ == "__main__":
    main()
