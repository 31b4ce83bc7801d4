#!/usr/bin/env python3
"""vantrel for Python, each figure beside its floor.

  iteration  `for tag in blob` over 1,000,000 integer tags, beside Python's
             own floor: `for t in tuples` over as many ready-made tuples
             (target: at most 1.3x the floor); and the same loops reading
             one field, tag.value beside t[2];
  columns    Blob.columns() on the same blob, in ns per tag (target: at
             most 20 ns), beside the same floor per tuple;
  check      vantrel.check on a 64 MiB blob of integer tags, beside the C
             reader's vantrel_check on the same buffer (bench/check_timing.c,
             built here with the flags the extension is built with and called
             through ctypes; target: within 1.2x).

Each figure is the fastest of several runs, taken in turns with its floor
so that both see the machine alike.  Run it with the interpreter
vantrel is installed for:
  python bench/python_bench.py [--runs N]
"""
import argparse
import ctypes
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


def timed_ns(run):
    began = time.perf_counter_ns()
    run()
    return time.perf_counter_ns() - began


def best_pair(run, floor, runs):
    """The fastest of `runs` timings of run() and of floor(), in ns, taken
    in turns so that both see the machine alike."""
    best = [None, None]
    for _ in range(runs):
        for k, call in enumerate((run, floor)):
            took = call()
            best[k] = took if best[k] is None else min(best[k], took)
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


def read_values(blob):
    for tag in blob:
        tag.value


def read_tuple_values(tuples):
    for t in tuples:
        t[2]


def c_check_timing(work):
    """bench/check_timing.c built as a shared library with the flags the
    extension is built with (Python's own CFLAGS): a function that times
    vantrel_check over a buffer, in ns."""
    library = os.path.join(work, "check_timing.so")
    cc = shlex.split(sysconfig.get_config_var("CC") or "cc")
    flags = shlex.split(sysconfig.get_config_var("CFLAGS") or "-O2")
    subprocess.run(cc + flags + ["-std=c11", "-D_POSIX_C_SOURCE=199309L", "-fPIC", "-shared",
                                 "-I", os.path.join(HERE, "..", "lib"),
                                 "-o", library, os.path.join(HERE, "check_timing.c")], check=True)
    function = ctypes.CDLL(library).check_timing_best_ns
    function.restype = ctypes.c_double
    function.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]

    def best_of_3(data):
        code = ctypes.c_int(-1)
        ns = function(data, len(data), 3, ctypes.byref(code))  # bytes: passed as they are, no copy
        assert code.value == 0, f"vantrel_check: fault {code.value}"
        return int(ns)
    return best_of_3


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=7, help="runs of each figure, the fastest counts")
    runs = parser.parse_args().runs

    blob = vantrel.Blob(integer_blob(TAGS))
    assert sum(1 for _ in blob) == TAGS + 2  # with the start and end tags
    tuples = [("integer", n, n * 3, 16 + 24 * n) for n in range(TAGS + 2)]
    iteration, floor = best_pair(lambda: timed_ns(lambda: loop_tags(blob)),
                                 lambda: timed_ns(lambda: loop_tuples(tuples)), runs)
    reading, reading_floor = best_pair(lambda: timed_ns(lambda: read_values(blob)),
                                       lambda: timed_ns(lambda: read_tuple_values(tuples)), runs)
    columns, _ = best_pair(lambda: timed_ns(blob.columns), lambda: 0, runs)

    big = integer_blob((CHECK_BYTES - 24) // 24)
    with tempfile.TemporaryDirectory() as work:
        c_timing = c_check_timing(work)
        python_check, c_check = best_pair(lambda: min(timed_ns(lambda: vantrel.check(big)) for _ in range(3)),
                                          lambda: c_timing(big), runs)

    per = TAGS + 2
    print(f"vantrel {vantrel.__version__}, fastest of {runs} runs")
    print(f"iteration: {iteration / 1e6:7.2f} ms for {TAGS} integer tags ({iteration / per:5.1f} ns/tag)"
          f"   floor (tuples): {floor / 1e6:7.2f} ms ({floor / per:5.1f} ns)   ratio {iteration / floor:.2f}x"
          f" (target <= 1.3x)")
    print(f"  reading tag.value: {reading / 1e6:7.2f} ms   floor (t[2]): {reading_floor / 1e6:7.2f} ms"
          f"   ratio {reading / reading_floor:.2f}x")
    print(f"columns():  {columns / 1e6:7.2f} ms ({columns / per:5.1f} ns/tag, target <= 20)"
          f"   floor (tuples): {floor / per:5.1f} ns/tuple")
    print(f"check():   {python_check / 1e6:7.2f} ms for {len(big) >> 20} MiB ({len(big) / python_check:.2f} GB/s)"
          f"   C vantrel_check: {c_check / 1e6:7.2f} ms   ratio {python_check / c_check:.2f}x (target <= 1.2x)")


if __name__ == "__main__":
    main()
