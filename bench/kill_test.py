#!/usr/bin/env python3
"""Kills `chengwen-cli batch` at random moments and checks that no file was lost.

Two modes, each killed `--rounds` times (default 20): overwriting the originals, and
writing into the output folder. The folder holds a few thousand small GBK files and a
few large ones. After every SIGKILL, each original is its exact original bytes or its
exact converted bytes, each file under a final name in the output folder is exactly its
output (never a short one); then a complete run converts the rest and leaves no
temporary file anywhere. Exits 1 on the first broken promise, printing it.

usage: bench/kill_test.py [--cli path/to/chengwen-cli] [--small 3000] [--large 3]
                          [--large-mb 24] [--rounds 20] [--seed N]
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MARKER = "(已转换)"
TEMPORARY = re.compile(r"^~cw[0-9a-fA-F]{8}\.tmp$|\.cw~\d+\.tmp$")


def gbk_text(rng, size):
    """GBK prose that does not pass for UTF-8: common characters, ASCII and line breaks."""
    common = "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严"
    out = []
    length = 0
    while length < size:
        n = rng.randint(5, 40)
        line = "".join(rng.choice(common) for _ in range(n))
        if rng.random() < 0.3:
            line += " ascii %d" % rng.randint(0, 99999)
        line += "\r\n"
        out.append(line)
        length += len(line) * 2
    return "".join(out).encode("gbk")


def make_corpus(folder, small, large, large_mb, rng):
    os.makedirs(folder)
    names = []
    for i in range(small):
        sub = os.path.join(folder, "d%02d" % (i % 10))
        os.makedirs(sub, exist_ok=True)
        path = os.path.join(sub, "f%05d.txt" % i)
        with open(path, "wb") as f:
            f.write(gbk_text(rng, rng.randint(200, 4000)))
        names.append(path)
    block = gbk_text(rng, 1 << 20)
    for i in range(large):
        path = os.path.join(folder, "large%d.txt" % i)
        with open(path, "wb") as f:
            for _ in range(large_mb):
                f.write(block)
        names.append(path)
    return [os.path.relpath(p, folder) for p in names]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def temporaries(top):
    found = []
    for folder, _, files in os.walk(top):
        found += [os.path.join(folder, f) for f in files if TEMPORARY.search(f)]
    return found


def run(cli, args, kill_after=None):
    proc = subprocess.Popen([cli, "batch", "--in", "auto", "--out", "utf8", "--no-bom", "--recursive"] + args,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if kill_after is None:
        return proc.wait()
    time.sleep(kill_after)
    if proc.poll() is None:
        proc.send_signal(signal.SIGKILL)
    proc.wait()
    return None


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build", "native", "bin", "chengwen-cli"))
    parser.add_argument("--small", type=int, default=3000)
    parser.add_argument("--large", type=int, default=3)
    parser.add_argument("--large-mb", type=int, default=24)
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    a = parser.parse_args()
    rng = random.Random(a.seed)
    base = os.environ.get("CW_BENCH_DIR") or ("/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    work = tempfile.mkdtemp(dir=base)
    try:
        pristine = os.path.join(work, "pristine")
        names = make_corpus(pristine, a.small, a.large, a.large_mb, rng)
        original = {n: read(os.path.join(pristine, n)) for n in names}
        converted = {n: b.decode("gbk").encode("utf-8") for n, b in original.items()}

        # How long a whole run takes, so that the kills land all over it.
        probe = os.path.join(work, "probe")
        shutil.copytree(pristine, probe)
        start = time.time()
        if run(a.cli, ["--overwrite", probe]) != 0:
            fail("the uninterrupted run reported failures")
        span = time.time() - start
        for n in names:
            if read(os.path.join(probe, n)) != converted[n]:
                fail("uninterrupted run: %s is not its expected output (detected as UTF-8?)" % n)
        shutil.rmtree(probe)
        print("seed %d, %d files, a whole run takes %.2f s" % (a.seed, len(names), span))

        for mode in ("overwrite", "output folder"):
            counts = {"original": 0, "converted": 0, "missing": 0}
            for round_ in range(a.rounds):
                tree = os.path.join(work, "t%d" % round_)
                shutil.copytree(pristine, tree)
                out = tree + MARKER
                args = (["--overwrite"] if mode == "overwrite" else []) + [tree]
                run(a.cli, args, kill_after=rng.uniform(0.0, span))
                for n in names:
                    now = read(os.path.join(tree, n))
                    if mode == "overwrite":
                        if now == original[n]:
                            counts["original"] += 1
                        elif now == converted[n]:
                            counts["converted"] += 1
                        else:
                            fail("%s round %d: %s is neither original nor output (%d bytes)" %
                                 (mode, round_, n, len(now)))
                    else:
                        if now != original[n]:
                            fail("%s round %d: source %s changed" % (mode, round_, n))
                        path = os.path.join(out, n)
                        if not os.path.exists(path):
                            counts["missing"] += 1
                        elif read(path) != converted[n]:
                            fail("%s round %d: output %s is not complete (%d bytes)" %
                                 (mode, round_, n, len(read(path))))
                        else:
                            counts["converted"] += 1
                # The next run finishes the work and clears what the killed one left.
                if run(a.cli, args) != 0:
                    fail("%s round %d: the run after the kill reported failures" % (mode, round_))
                final = tree if mode == "overwrite" else out
                for n in names:
                    if read(os.path.join(final, n)) != converted[n]:
                        fail("%s round %d: %s not converted by the next run" % (mode, round_, n))
                left = temporaries(tree) + (temporaries(out) if os.path.isdir(out) else [])
                if left:
                    fail("%s round %d: temporary files left: %s" % (mode, round_, left[:3]))
                shutil.rmtree(tree)
                if os.path.isdir(out):
                    shutil.rmtree(out)
            print("%s: %d kills, files found after the kills: %s; all complete after the next run, "
                  "no temporary file left" % (mode, a.rounds, counts))
        print("PASS")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
