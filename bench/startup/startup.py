#!/usr/bin/env python3
"""Start-up as a user meets it: the player running an applet that does
nothing, against lua5.4 -e '' (the interpreter's own start and exit), each a
whole process, taken in turn. Twice: without DISPLAY, and with the X server
DISPLAY names when one is set (the player connects at start). Prints the
median wall and processor time of each and the ratio player / lua5.4, pair
by pair, so that drift of a loaded machine cancels.

  bench/startup/startup.py [--build build/release] [--rounds 40]
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def cpu_children():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime


def run(cmd, env):
    c0, t0 = cpu_children(), time.perf_counter()
    r = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    t1, c1 = time.perf_counter(), cpu_children()
    if r.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (r.returncode, " ".join(cmd), r.stderr.decode(errors="replace")))
    return t1 - t0, c1 - c0


def compare(player, peer, env, rounds):
    run(player, env)  # warm the page cache for both
    run(peer, env)
    pw, pc, lw, lc, rw, rc = [], [], [], [], [], []
    for _ in range(rounds):
        a = run(player, env)
        b = run(peer, env)
        pw.append(a[0])
        pc.append(a[1])
        lw.append(b[0])
        lc.append(b[1])
        rw.append(a[0] / b[0])
        if b[1] > 0:
            rc.append(a[1] / b[1])
    med = statistics.median
    return med(pw), med(pc), med(lw), med(lc), med(rw), (med(rc) if rc else float("nan"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "..", "build", "release"))
    ap.add_argument("--rounds", type=int, default=40)
    args = ap.parse_args()
    player = [os.path.join(args.build, "player"), os.path.join(args.build, "bench", "startup", "empty.cxa")]
    for f in player:
        if not os.path.exists(f):
            sys.exit("missing %s: build the bench_startup target" % f)
    lua = shutil.which("lua5.4")
    if not lua:
        sys.exit("lua5.4 is missing: run scripts/install-deps.sh")
    peer = [lua, "-e", ""]
    cases = [("no DISPLAY", {k: v for k, v in os.environ.items() if k != "DISPLAY"})]
    if os.environ.get("DISPLAY"):
        cases.append(("DISPLAY=" + os.environ["DISPLAY"], dict(os.environ)))
    print("%-16s %12s %12s %12s %12s %8s %8s" % ("", "player wall", "player cpu", "lua5.4 wall", "lua5.4 cpu",
                                                  "x wall", "x cpu"))
    for name, env in cases:
        pw, pc, lw, lc, rw, rc = compare(player, peer, env, args.rounds)
        print("%-16s %10.2fms %10.2fms %10.2fms %10.2fms %8.2f %8.2f" % (name, pw * 1e3, pc * 1e3, lw * 1e3, lc * 1e3,
                                                                         rw, rc))


if __name__ == "__main__":
    main()
