#!/usr/bin/env python3
"""Times commands the way the benches compare tools: whole process against whole process.

Each run starts the command with posix_spawn and waits for it with wait4, so the figure is
the process's own life (start, work, exit) and nothing of the harness (no shell, no `date`
processes around it). Prints one line per command:
    MIN MEDIAN MAX CPU_MIN CPU_MEDIAN CPU_MAX PEAK_KB PAIRED
seconds by the clock, the same of user + system seconds, the peak resident size in KB
from one more run under /usr/bin/time (a process started from this one would count this
interpreter's own pages until its exec), and the median over the rounds of this command's
time divided by the first command's in the same round (1 for the first).

Several commands, separated by "---", are run in turn, one run of each per round, so that
a shared machine that slows down or speeds up meanwhile weighs on all of them alike. The
paired figure compares runs made moments apart: where the host switches between a fast
and a slow state for seconds at a time, it is steadier than a ratio of two medians.

usage: timed.py RUNS [OPTIONS] -- COMMAND... [--- [OPTIONS] -- COMMAND...]...
  --stdin FILE    standard input from FILE (default: /dev/null)
  --stdout FILE   standard output to FILE (default: /dev/null)
  --fresh PATH    PATH (a file or folder) is removed before each run, out of the timing
  --setup SHELL   a shell command run before each run, out of the timing
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def remove(path):
    if path and os.path.lexists(path):
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.remove(path)


def peak_kb(command, stdin_path, stdout_path, fresh):
    remove(fresh)
    with tempfile.NamedTemporaryFile("r") as report, open(stdin_path, "rb") as stdin, \
            open(stdout_path, "wb") as stdout:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + command, stdin=stdin, stdout=stdout,
                       stderr=subprocess.DEVNULL, check=True)
        return int(report.read().split()[-1])


class Command:
    def __init__(self, words):
        if "--" not in words:
            sys.exit(__doc__)
        split = words.index("--")
        options, self.command = words[:split], words[split + 1:]
        if not self.command or len(options) % 2:
            sys.exit(__doc__)
        settings = dict(zip(options[0::2], options[1::2]))
        self.stdin_path = settings.get("--stdin", os.devnull)
        self.stdout_path = settings.get("--stdout", os.devnull)
        self.fresh = settings.get("--fresh")
        self.setup = settings.get("--setup")
        self.clock, self.cpu = [], []

    def prepare(self):
        remove(self.fresh)
        if self.setup:
            subprocess.run(self.setup, shell=True, check=True)

    def run(self):
        self.prepare()
        stdin = os.open(self.stdin_path, os.O_RDONLY)
        stdout = os.open(self.stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        devnull = os.open(os.devnull, os.O_WRONLY)
        actions = [(os.POSIX_SPAWN_DUP2, stdin, 0), (os.POSIX_SPAWN_DUP2, stdout, 1),
                   (os.POSIX_SPAWN_DUP2, devnull, 2)]
        start = time.perf_counter()
        pid = os.posix_spawnp(self.command[0], self.command, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        self.clock.append(time.perf_counter() - start)
        for fd in (stdin, stdout, devnull):
            os.close(fd)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"timed.py: {' '.join(self.command)} failed ({os.waitstatus_to_exitcode(status)})")
        self.cpu.append(usage.ru_utime + usage.ru_stime)

    def report(self, first):
        if self.setup:
            subprocess.run(self.setup, shell=True, check=True)
        peak = peak_kb(self.command, self.stdin_path, self.stdout_path, self.fresh)
        figures = (f(times) for times in (self.clock, self.cpu) for f in (min, statistics.median, max))
        paired = statistics.median(mine / theirs for mine, theirs in zip(self.clock, first.clock))
        print(" ".join(f"{figure:.6f}" for figure in figures), peak, f"{paired:.4f}")


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    runs = int(argv[1])
    groups, words = [], []
    for word in argv[2:] + ["---"]:
        if word == "---":
            groups.append(Command(words))
            words = []
        else:
            words.append(word)
    for _ in range(runs):
        for command in groups:
            command.run()
    for command in groups:
        command.report(groups[0])


if __name__ == "__main__":
    main(sys.argv)
