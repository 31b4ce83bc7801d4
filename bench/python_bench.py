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
             through ctypes; target: within 1.2x);
  validate   Blob.validate() on a 64 MiB blob of 1,048,576 string tags, each
             id of a schema of 16 tables once, beside check() on the same
             blob: the schema's check (with the format's in the same walk)
             beside the format's alone.

Each figure is the thread's CPU time (time.thread_time_ns), so that
neither other processes nor waits count, taken in pairs with its floor:
each pair runs the figure and its floor back to back, in alternating order,
and gives one ratio.  The minimum and the median ratio over the pairs are
reported; the median is the verdict.  Run it with the interpreter vantrel
is installed for:
  python bench/python_bench.py [--pairs N]
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


def cpu_ns(run):
    """The thread's CPU time of run(), in ns."""
    began = time.thread_time_ns()
    run()
    return time.thread_time_ns() - began


def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


class Pairs:
    """`pairs` timings of run() and of floor() (each a function returning
    ns), taken back to back in alternating order; the ratio of each pair."""

    def __init__(self, run, floor, pairs):
        self.times, self.floors = [], []
        for k in range(pairs):
            if k % 2 == 0:
                took = run()
                floor_took = floor()
            else:
                floor_took = floor()
                took = run()
            self.times.append(took)
            self.floors.append(floor_took)
        self.ratios = [t / f for t, f in zip(self.times, self.floors) if f > 0]
        self.time, self.floor = median(self.times), median(self.floors)

    def ratio(self, target):
        if not self.ratios:
            return ""
        return (f"ratio min {min(self.ratios):.2f}x, median {median(self.ratios):.2f}x"
                f" (target <= {target}x: {'met' if median(self.ratios) <= target else 'NOT met'})")


def integer_blob(count):
    """A blob of `count` integer tags, as Builder writes it (alignment 8)."""
    size = 16 + 24 * count + 8
    tags = b"".join(struct.pack("=IIQII", INTEGER, 24, n * 0x9E3779B97F4A7C15 % (1 << 64), n, 0)
                    for n in range(min(count, 4096)))
    body = (tags * (count // 4096 + 1))[:24 * count]
    return struct.pack("=IIII", START, 16, size, 0) + body + struct.pack("=II", END, 8)


def table_blob():
    """About 64 MiB of string tags of 64 bytes, ids 0 to 2**20-1, and a
    schema of 16 tables that declares each id once (the most marks a schema
    may take)."""
    tables, per = 16, 65536
    schema = vantrel.Schema("".join(f"str t{k} {k * per}..{k * per + per - 1} max 47 table\n" for k in range(tables)))
    builder = vantrel.Builder(size=64 * tables * per + 64)
    text = b"x" * 47
    for n in range(tables * per):
        builder.add_string(n, text)
    return builder.end(), schema


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
    extension is built with (Python's own CFLAGS): a call of vantrel_check
    over a buffer, timed here in the thread's CPU time as the Python call
    is."""
    library = os.path.join(work, "check_timing.so")
    cc = shlex.split(sysconfig.get_config_var("CC") or "cc")
    flags = shlex.split(sysconfig.get_config_var("CFLAGS") or "-O2")
    subprocess.run(cc + flags + ["-std=c11", "-D_POSIX_C_SOURCE=199309L", "-fPIC", "-shared",
                                 "-I", os.path.join(HERE, "..", "lib"),
                                 "-o", library, os.path.join(HERE, "check_timing.c")], check=True)
    function = ctypes.CDLL(library).check_timing_best_ns
    function.restype = ctypes.c_double
    function.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]

    def check(data):
        code = ctypes.c_int(-1)
        function(data, len(data), 1, ctypes.byref(code))  # bytes: passed as they are, no copy
        assert code.value == 0, f"vantrel_check: fault {code.value}"
    return check


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--pairs", "--runs", type=int, default=9,
                        help="pairs of each figure and its floor (the median ratio counts)")
    pairs = parser.parse_args().pairs

    blob = vantrel.Blob(integer_blob(TAGS))
    assert sum(1 for _ in blob) == TAGS + 2  # with the start and end tags
    tuples = [("integer", n, n * 3, 16 + 24 * n) for n in range(TAGS + 2)]
    iteration = Pairs(lambda: cpu_ns(lambda: loop_tags(blob)), lambda: cpu_ns(lambda: loop_tuples(tuples)), pairs)
    reading = Pairs(lambda: cpu_ns(lambda: read_values(blob)),
                    lambda: cpu_ns(lambda: read_tuple_values(tuples)), pairs)
    columns = Pairs(lambda: cpu_ns(blob.columns), lambda: 0, pairs)

    big = integer_blob((CHECK_BYTES - 24) // 24)
    with tempfile.TemporaryDirectory() as work:
        c_check = c_check_timing(work)
        check = Pairs(lambda: cpu_ns(lambda: vantrel.check(big)), lambda: cpu_ns(lambda: c_check(big)), pairs)
    named, schema = table_blob()
    named_blob = vantrel.Blob(named, schema=schema)
    named_blob.validate()
    validate = Pairs(lambda: cpu_ns(named_blob.validate), lambda: cpu_ns(lambda: vantrel.check(named)), pairs)

    per = TAGS + 2
    print(f"vantrel {vantrel.__version__}: thread CPU time, {pairs} pairs, medians")
    print(f"iteration: {iteration.time / 1e6:7.2f} ms for {TAGS} integer tags ({iteration.time / per:5.1f} ns/tag)"
          f"   floor (tuples): {iteration.floor / 1e6:7.2f} ms ({iteration.floor / per:5.1f} ns)   "
          + iteration.ratio(1.3))
    print(f"  reading tag.value: {reading.time / 1e6:7.2f} ms   floor (t[2]): {reading.floor / 1e6:7.2f} ms   "
          f"ratio min {min(reading.ratios):.2f}x, median {median(reading.ratios):.2f}x")
    print(f"columns():  {columns.time / 1e6:7.2f} ms ({columns.time / per:5.1f} ns/tag, "
          f"fastest {min(columns.times) / per:5.1f}, target <= 20: "
          f"{'met' if columns.time / per <= 20 else 'NOT met'})   floor (tuples): {iteration.floor / per:5.1f} ns/tuple")
    print(f"check():   {check.time / 1e6:7.2f} ms for {len(big) >> 20} MiB ({len(big) / check.time:.2f} GB/s)"
          f"   C vantrel_check: {check.floor / 1e6:7.2f} ms   " + check.ratio(1.2))
    print(f"validate(): {validate.time / 1e6:7.2f} ms for {len(named) >> 20} MiB of string tags"
          f" ({len(named) / validate.time:.2f} GB/s)   check(): {validate.floor / 1e6:7.2f} ms   "
          f"ratio min {min(validate.ratios):.2f}x, median {median(validate.ratios):.2f}x")


if __name__ == "__main__":
    main()
