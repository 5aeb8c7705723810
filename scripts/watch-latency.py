#!/usr/bin/env python3
"""Times qor-player --watch: from saving a script to the reloaded screen being presented.

    scripts/watch-latency.py SRC OUT [--saves N] [--reloads M] [--player build/bin/qor-player]

SRC is a show's source folder already built into OUT by qor-build-show (the tutorial's, with
its music). The player runs OUT with --watch SRC; the script saves SRC/scripts/slide.sc N
times as an editor does (a new file renamed over it), each save a different quad size, and
reads the player's "on screen at T" line after each. It prints the median, smallest and
largest times, then saves M times more and prints the player's resident memory (VmRSS)
after the first reload and after the last. The source file is put back at the end, and what
the player says as it ends (a sanitizer build's leak report) is printed.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("src")
    ap.add_argument("out")
    ap.add_argument("--saves", type=int, default=10)
    ap.add_argument("--reloads", type=int, default=100)
    ap.add_argument("--player", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin", "qor-player"))
    args = ap.parse_args()
    script = os.path.join(args.src, "scripts", "slide.sc")
    with open(script) as f:
        original = f.read()
    if "setScale(300, 400)" not in original:
        sys.exit("watch-latency: scripts/slide.sc has no setScale(300, 400) to vary")
    env = dict(os.environ, SDL_VIDEODRIVER=os.environ.get("SDL_VIDEODRIVER", "offscreen"),
               SDL_AUDIODRIVER=os.environ.get("SDL_AUDIODRIVER", "dummy"), QOR_NO_DIALOGS="1")
    player = subprocess.Popen([os.path.abspath(args.player), "--dir", args.out, "--watch", args.src, "--loop",
                               "--screen", "1"], stderr=subprocess.PIPE, text=True, env=env)
    shown = re.compile(r"--watch: on screen at ([0-9.]+)")

    def wait_line(pattern):
        while True:
            line = player.stderr.readline()
            if not line:
                sys.exit("watch-latency: the player ended")
            m = pattern.search(line)
            if m:
                return m

    def save(i):
        tmp = script + ".tmp~"
        with open(tmp, "w") as f:
            f.write(original.replace("setScale(300, 400)", f"setScale({100 + i % 300}, 400)"))
        t0 = time.time()
        os.rename(tmp, script)
        return t0

    try:
        wait_line(re.compile(r"--watch: following"))
        time.sleep(0.5)
        times = []
        for i in range(args.saves):
            t0 = save(i)
            times.append((float(wait_line(shown).group(1)) - t0) * 1000.0)
            time.sleep(0.2)
        print(f"save to screen: median {statistics.median(times):.0f} ms, min {min(times):.0f}, "
              f"max {max(times):.0f} ({len(times)} saves)")
        if args.reloads > 0:
            save(1000)
            wait_line(shown)
            first = rss_kib(player.pid)
            for i in range(args.reloads - 1):
                save(1001 + i)
                wait_line(shown)
            last = rss_kib(player.pid)
            print(f"VmRSS after 1 reload {first} KiB, after {args.reloads} reloads {last} KiB "
                  f"(ratio {last / first:.3f})")
    finally:
        with open(script, "w") as f:
            f.write(original)
        player.terminate()
        rest = player.stderr.read()
        status = player.wait()
        # What the player said after the last reload (a sanitizer build's report among it).
        for line in rest.splitlines():
            if "on screen at" not in line:
                print(line)
        print(f"player exit status {status}")


if __name__ == "__main__":
    main()
