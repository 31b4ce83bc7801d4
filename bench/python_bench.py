#!/usr/bin/env python3
"""vantrel for Python, each figure beside its floor.

  iteration  `for tag in blob` over 1,000,000 integer tags, beside Python's
             own floor: `for t in tuples` over as many ready-made tuples
             (target: at most 1.3x the floor);
  columns    Blob.columns() on the same blob, in ns per tag (target: at
             most 20 ns), beside the same floor per tuple;
  check      vantrel.check on a 64 MiB blob of integer tags, beside the C
             reader's vantrel_check on the same bytes (bench/check_timing.c,
             built here with the flags the extension is built with; target:
             within 1.2x).

Each figure is the fastest of several runs.  Run it with the interpreter
vantrel is installed for:
  python bench/python_bench.py [--runs N]
"""
import argparse
import os
import shlex
import struct
import subprocess
import sysconfig
import tempfile
import time

import vantrel

HERE = os.path.dirname(os.path.abspath(__file__))
TAGS = 1_000_000
CHECK_BYTES = 64 << 20
START, INTEGER, END = 0x7A600001, 0x7A600003, 0


def best_ns(run, runs):
    """The fastest of `runs` calls of run(), in nanoseconds."""
    best = None
    for _ in range(runs):
        began = time.perf_counter_ns()
        run()
        took = time.perf_counter_ns() - began
        best = took if best is None else min(best, took)
    return best


def integer_blob(count):
    """A blob of `count` integer tags, as Builder writes it (alignment 8)."""
    size = 16 + 24 * count + 8
    tags = b"".join(struct.pack("=IIQII", INTEGER, 24, n * 0x9E3779B97F4A7C15 % (1 << 64), n, 0)
                    for n in range(min(count, 4096)))
    body = (tags * (count // 4096 + 1))[:24 * count]
    return struct.pack("=IIII", START, 16, size, 0) + body + struct.pack("=II", END, 8)


def loop_tags(blob):
    for _ in blob:
        pass


def loop_tuples(tuples):
    for _ in tuples:
        pass


def c_check_ns(blob, runs):
    """vantrel_check's fastest run on the same bytes, from check_timing."""
    with tempfile.TemporaryDirectory() as work:
        program, path = os.path.join(work, "check_timing"), os.path.join(work, "blob.dat")
        cc = shlex.split(sysconfig.get_config_var("CC") or "cc")
        flags = shlex.split(sysconfig.get_config_var("CFLAGS") or "-O2")
        subprocess.run(cc + flags + ["-std=c11", "-D_POSIX_C_SOURCE=199309L",
                                     "-I", os.path.join(HERE, "..", "lib"),
                                     "-o", program, os.path.join(HERE, "check_timing.c")], check=True)
        with open(path, "wb") as f:
            f.write(blob)
        out = subprocess.run([program, path, str(runs)], check=True, capture_output=True, text=True).stdout
    ns, code = out.split()
    assert code == "0", f"check_timing: fault {code}"
    return int(ns)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=7, help="runs of each figure, the fastest counts")
    runs = parser.parse_args().runs

    blob = vantrel.Blob(integer_blob(TAGS))
    tags = sum(1 for _ in blob) - 2  # less the start and end tags
    assert tags == TAGS
    tuples = [("integer", n, n * 3, 16 + 24 * n) for n in range(TAGS + 2)]
    floor = best_ns(lambda: loop_tuples(tuples), runs)
    iteration = best_ns(lambda: loop_tags(blob), runs)
    columns = best_ns(blob.columns, runs)

    big = integer_blob((CHECK_BYTES - 24) // 24)
    python_check = best_ns(lambda: vantrel.check(big), runs)
    c_check = c_check_ns(big, runs)

    per = TAGS + 2
    print(f"vantrel {vantrel.__version__}, fastest of {runs} runs")
    print(f"iteration: {iteration / 1e6:7.2f} ms for {TAGS} integer tags ({iteration / per:5.1f} ns/tag)"
          f"   floor (tuples): {floor / 1e6:7.2f} ms ({floor / per:5.1f} ns)   ratio {iteration / floor:.2f}x"
          f" (target <= 1.3x)")
    print(f"columns():  {columns / 1e6:7.2f} ms ({columns / per:5.1f} ns/tag, target <= 20)"
          f"   floor (tuples): {floor / per:5.1f} ns/tuple")
    print(f"check():   {python_check / 1e6:7.2f} ms for {len(big) >> 20} MiB ({len(big) / python_check:.2f} GB/s)"
          f"   C vantrel_check: {c_check / 1e6:7.2f} ms   ratio {python_check / c_check:.2f}x (target <= 1.2x)")


if __name__ == "__main__":
    main()
