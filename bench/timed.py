#!/usr/bin/env python3
"""Times a command the way the benches compare tools: whole process against whole process.

Each run starts the command with posix_spawn and waits for it with wait4, so the figure is
the process's own life (start, work, exit) and nothing of the harness (no shell, no `date`
processes around it). Prints one line:
    MIN MEDIAN MAX CPU_MIN CPU_MEDIAN CPU_MAX PEAK_KB
seconds by the clock, the same of user + system seconds, and the peak resident size in KB
from one more run under /usr/bin/time (a process started from this one would count this
interpreter's own pages until its exec).

usage: timed.py RUNS [--stdin FILE] [--stdout FILE] [--fresh PATH] [--setup SHELL] -- COMMAND...
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


def main(argv):
    if "--" not in argv or len(argv) < 3:
        sys.exit(__doc__)
    split = argv.index("--")
    options, command = argv[1:split], argv[split + 1:]
    runs = int(options[0])
    settings = dict(zip(options[1::2], options[2::2]))
    stdin_path = settings.get("--stdin", os.devnull)
    stdout_path = settings.get("--stdout", os.devnull)
    fresh = settings.get("--fresh")
    setup = settings.get("--setup")
    clock, cpu = [], []
    for _ in range(runs):
        remove(fresh)
        if setup:
            subprocess.run(setup, shell=True, check=True)
        stdin = os.open(stdin_path, os.O_RDONLY)
        stdout = os.open(stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        devnull = os.open(os.devnull, os.O_WRONLY)
        actions = [(os.POSIX_SPAWN_DUP2, stdin, 0), (os.POSIX_SPAWN_DUP2, stdout, 1),
                   (os.POSIX_SPAWN_DUP2, devnull, 2)]
        start = time.perf_counter()
        pid = os.posix_spawnp(command[0], command, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        clock.append(time.perf_counter() - start)
        for fd in (stdin, stdout, devnull):
            os.close(fd)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"timed.py: {' '.join(command)} failed ({os.waitstatus_to_exitcode(status)})")
        cpu.append(usage.ru_utime + usage.ru_stime)
    if setup:
        subprocess.run(setup, shell=True, check=True)
    peak = peak_kb(command, stdin_path, stdout_path, fresh)
    print(" ".join(f"{f(times):.6f}" for times in (clock, cpu) for f in (min, statistics.median, max)), peak)


if __name__ == "__main__":
    main(sys.argv)
