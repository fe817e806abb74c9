#!/usr/bin/env python3
"""Whole programs as a user runs them: each script in bench/engine/vm/scripts runs
as its own process under bench_vm_run without a hook (ours) and with the
player's line hook installed as the player installs it (hook), under the
player itself (start-up included), and as Lua source under lua5.1, lua5.4 and
luajit -joff (LuaJIT's interpreter). The runs alternate between the
implementations; the best time of the rounds counts: processor time (user
and system, of the process and its threads) by default, which a loaded
machine disturbs less than the wall time (--wall). --instructions counts the
instructions each process executes under valgrind's callgrind instead (one
round, in millions): a figure the load does not move.

  bench/engine/vm/compare_processes.py [--build build/release] [--rounds 3] [--wall | --instructions] [NAME...]
"""
import argparse
import os
import re
import resource
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "scripts")
ALL = ["fib", "loop", "tables", "concat", "methods", "arrays", "strbuild", "upfib", "hashes"]


def cpu_children():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime


def run(cmd, wall):
    c0, t0 = cpu_children(), time.perf_counter()
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    c1, t1 = cpu_children(), time.perf_counter()
    if r.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (r.returncode, " ".join(cmd), r.stderr.decode(errors="replace")))
    return t1 - t0 if wall else c1 - c0


def instructions(cmd):
    r = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + cmd,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    m = re.search(rb"Collected : (\d+)", r.stderr)
    if r.returncode != 0 or not m:
        sys.exit("failed (%d): %s\n%s" % (r.returncode, " ".join(cmd), r.stderr.decode(errors="replace")))
    return int(m.group(1)) / 1e6


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "..", "..", "build", "release"))
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--wall", action="store_true", help="wall time instead of processor time")
    ap.add_argument("--instructions", action="store_true",
                    help="instructions executed (millions, callgrind) instead of time")
    ap.add_argument("--baseline", help="another build (an earlier version) timed alongside: columns ours0, hook0, player0")
    ap.add_argument("names", nargs="*")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    runner = os.path.join(build, "bench", "engine", "vm", "bench_vm_run")
    player = os.path.join(build, "player")
    applets = os.path.join(build, "bench", "engine", "vm", "applets")
    for f in (runner, player):
        if not os.path.exists(f):
            sys.exit("missing %s: build the release preset (targets player, bench_vm_applets)" % f)
    impls = [
        ("ours", lambda n: [runner, os.path.join(SCRIPTS, n + ".cxs")]),
        ("hook", lambda n: [runner, "--hook", os.path.join(SCRIPTS, n + ".cxs")]),
        ("player", lambda n: [player, os.path.join(applets, n + ".cxa")]),
    ]
    if a.baseline:
        base = os.path.abspath(a.baseline)
        brunner = os.path.join(base, "bench", "engine", "vm", "bench_vm_run")
        bplayer = os.path.join(base, "player")
        bapplets = os.path.join(base, "bench", "engine", "vm", "applets")
        impls += [
            ("ours0", lambda n: [brunner, os.path.join(SCRIPTS, n + ".cxs")]),
            ("hook0", lambda n: [brunner, "--hook", os.path.join(SCRIPTS, n + ".cxs")]),
            ("player0", lambda n: [bplayer, os.path.join(bapplets, n + ".cxa")]),
        ]
    for name, cmd in (("lua5.1", ["lua5.1"]), ("lua5.4", ["lua5.4"]), ("jit-joff", ["luajit", "-joff"])):
        if shutil.which(cmd[0]):
            impls.append((name, lambda n, cmd=cmd: cmd + [os.path.join(SCRIPTS, n + ".lua")]))
    names = a.names or ALL
    best = {}
    if a.instructions:
        if not shutil.which("valgrind"):
            sys.exit("--instructions needs valgrind (scripts/install-deps.sh)")
        a.rounds = 1
    for _ in range(a.rounds):
        for n in names:
            for impl, cmd in impls:
                t = instructions(cmd(n)) if a.instructions else run(cmd(n), a.wall)
                key = (n, impl)
                best[key] = min(best.get(key, t), t)
    cols = [i for i, _ in impls]
    unit = "(M)" if a.instructions else "(s)"
    print("| program | " + " | ".join(c + " " + unit for c in cols) +
          " | ours/5.4 | hook/5.4 | player/5.4 | hook/5.1 | hook/jit |")
    print("|---" * (len(cols) + 6) + "|")

    def ratio(x, y):
        return "%.2f" % (best[x] / best[y]) if x in best and y in best else "-"

    for n in names:
        cells = [("%.0f" if a.instructions else "%.3f") % best[(n, c)] for c in cols]
        print("| %s | %s | %s | %s | %s | %s | %s |" % (n, " | ".join(cells), ratio((n, "ours"), (n, "lua5.4")),
                                                     ratio((n, "hook"), (n, "lua5.4")),
                                                     ratio((n, "player"), (n, "lua5.4")),
                                                     ratio((n, "hook"), (n, "lua5.1")),
                                                     ratio((n, "hook"), (n, "jit-joff"))))


if __name__ == "__main__":
    main()
