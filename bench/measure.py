#!/usr/bin/env python3
"""Runs commands in turn, A B C A B C ..., and prints for each the median wall
time, the median ratio to the first command (pair by pair, so drift of the
machine's speed cancels) and the peak resident memory of its largest run.

    measure.py RUNS 'NAME=COMMAND' 'NAME=COMMAND' ...

A command is split as a shell splits words; ENV=VALUE words in front set
environment variables. The commands' output is thrown away; a failing run stops
everything.
"""
import os
import resource
import shlex
import statistics
import subprocess
import sys
import time


def run_once(words):
    env = dict(os.environ)
    while words and "=" in words[0] and not words[0].startswith("/"):
        key, value = words[0].split("=", 1)
        env[key] = value
        words = words[1:]
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.execvpe(words[0], words, env)
    start = time.monotonic()
    _, status, usage = os.wait4(pid, 0)
    wall = time.monotonic() - start
    if status != 0:
        sys.exit(f"measure.py: {' '.join(words)} failed with status {status}")
    return wall, usage.ru_maxrss


def main():
    runs = int(sys.argv[1])
    cases = [arg.split("=", 1) for arg in sys.argv[2:]]
    walls = {name: [] for name, _ in cases}
    peaks = {name: 0 for name, _ in cases}
    for _ in range(runs + 1):  # the first round warms the caches and is not counted
        for name, command in cases:
            wall, peak = run_once(shlex.split(command))
            walls[name].append(wall)
            peaks[name] = max(peaks[name], peak)
    first = cases[0][0]
    print(f"{'command':<14} {'median-s':>9} {'ratio':>7} {'peak-MB':>8}")
    for name, _ in cases:
        counted = walls[name][1:]
        ratios = [a / b for a, b in zip(counted, walls[first][1:])]
        print(f"{name:<14} {statistics.median(counted):9.3f} {statistics.median(ratios):7.2f} "
              f"{peaks[name] / 1024:8.1f}")


main()
