#!/usr/bin/env python3
"""Bytes from files that would drive a terminal never reach one.

A blob whose strings hold escape sequences (window title, colour,
clipboard), BEL, BS, DEL, C1 controls raw and in UTF-8, a tab and a line
feed is written to a pseudo-terminal and to a pipe:
  - the listing shows bytes below 0x20 and 0x7F as "." on the terminal,
    every byte below 0x80 as stored through the pipe;
  - --source shows control characters and bytes that are no UTF-8 as "."
    on the terminal, every byte as stored (but its escapes) through the
    pipe;
  - --json writes no control byte on either but its line feed.
A file name holding control bytes shows with "?" for them in the dump's
header (standard output) and messages (standard error) and in the
compiler's messages, on a terminal only; and with both streams on one
terminal, a file's header and tags come before its fault message.

Usage: terminal_check.py VANTREL_DUMP VANTREL_COMP
"""
import os
import pty
import subprocess
import sys
import tempfile
import tty

dump, comp = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
order = sys.byteorder


def word(v):
    return v.to_bytes(4, order)


def string_tag(ident, raw):
    size = (17 + len(raw) + 7) // 8 * 8
    tag = word(0x7A600002) + word(size) + word(ident) + word(len(raw)) + raw
    return tag + bytes(size - len(tag))


def blob_of(tags, tail=b""):
    return word(0x7A600001) + word(16) + word(16 + len(tags) + len(tail) + 8) + word(0) + tags + tail + word(0) + word(8)


STRINGS = [b"\x1b]0;owned\x07 \x1b[31mred\x1b[0m", b"del\x7f tab\t lf\n caf\xc3\xa9 \x1b]52;c;Y2xpcA==\x07",
           b"bs\x08 c1\x9b raw \xc2\x9b31m \xc2\x9d0;t\xc2\x85 nbsp\xc2\xa0 cut\xc3"]
blob = blob_of(b"".join(string_tag(i + 1, s) for i, s in enumerate(STRINGS)))
# One tag, then a tag of an unknown kind at 0x28 (its fault at 0x30).
faulty = blob_of(string_tag(1, b"ok"), word(0x7A600007) + word(8))
HOSTILE = b"evil\x1b]0;pwned\x07\xc2\x9b\x7f.dat"
HOSTILE_SHOWN = b"evil?]0;pwned????.dat"


def line(ident, shown):
    return b'  [string] id=0x%x, size=%d, data="%s"\n' % (ident, len(STRINGS[ident - 1]), shown)


def named(args):
    """The program runs under its own name: the messages begin with it."""
    return [os.path.basename(args[0]), *args[1:]]


def run(args, terminal):
    """Runs args with the streams named in `terminal` ("out", "err" or
    both) on one pseudo-terminal and the others on pipes; returns the
    terminal's bytes, the pipes' bytes and the status."""
    master, slave = pty.openpty()
    tty.setraw(slave)  # no line feed translation: the bytes as written
    out = slave if "out" in terminal else subprocess.PIPE
    err = slave if "err" in terminal else subprocess.PIPE
    proc = subprocess.Popen(named(args), executable=args[0], stdout=out, stderr=err)
    os.close(slave)
    shown = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal's other side closed
            break
        if not chunk:
            break
        shown += chunk
    os.close(master)
    piped_out, piped_err = proc.communicate()
    return shown, (piped_out or b"") + (piped_err or b""), proc.returncode


def piped(args):
    r = subprocess.run(named(args), executable=args[0], capture_output=True)
    return r.stdout + r.stderr, r.returncode


failures = []


def expect(what, got, expected):
    if got != expected:
        failures.append(f"{what}:\n  got      {got!r}\n  expected {expected!r}")


def source(texts):
    return b"{\n" + b"".join(b'  str 0x%x "%s"\n' % (i + 1, t) for i, t in enumerate(texts)) + b"}\n"


# --source's escapes stay; on a terminal, control characters (C1 in UTF-8
# too) and bytes that begin no UTF-8 character show as ".".
SOURCE_STORED = [b"\x1b]0;owned\x07 \x1b[31mred\x1b[0m", b"del\x7f tab\\t lf\\n caf\xc3\xa9 \x1b]52;c;Y2xpcA==\x07",
                 b"bs\x08 c1\x9b raw \xc2\x9b31m \xc2\x9d0;t\xc2\x85 nbsp\xc2\xa0 cut\xc3"]
SOURCE_SHOWN = [b".]0;owned. .[31mred.[0m", b"del. tab\\t lf\\n caf\xc3\xa9 .]52;c;Y2xpcA==.",
                b"bs. c1. raw ..31m ..0;t.. nbsp\xc2\xa0 cut."]
HOSTILE_SOURCE = b"src\x1b]0;x\x07.txt"
BAD_SOURCE = b"bad\x1b[2J.txt"
BAD_OUTPUT = b"no\x1b[2Jdir/out.dat"


def shown_name(name):
    return name.replace(b"\x1b", b"?").replace(b"\x07", b"?")


with tempfile.TemporaryDirectory() as work:
    os.chdir(work)
    with open("t.dat", "wb") as f:
        f.write(blob)
    with open(HOSTILE, "wb") as f:
        f.write(faulty)
    with open(HOSTILE_SOURCE, "wb") as f:
        f.write(b"{\n")
    with open(BAD_SOURCE, "wb") as f:
        f.write(b"{\nbogus\n}\n")

    hidden = lambda s: bytes(0x2E if b < 0x20 or b >= 0x7F else b for b in s)
    stored = lambda s: bytes(0x2E if b >= 0x80 else b for b in s)
    listing = lambda shown: b"[start]\n" + b"".join(line(i + 1, shown(s)) for i, s in enumerate(STRINGS)) + b"[end]\n"

    shown, _, status = run([dump, "t.dat"], "out")
    expect("listing on a terminal", (shown, status), (listing(hidden), 0))
    expect("listing through a pipe", piped([dump, "t.dat"]), (listing(stored), 0))

    shown, _, status = run([dump, "--source", "t.dat"], "out")
    expect("--source on a terminal", (shown, status), (source(SOURCE_SHOWN), 0))
    expect("--source through a pipe", piped([dump, "--source", "t.dat"]), (source(SOURCE_STORED), 0))

    for where, (json_out, _) in (("terminal", run([dump, "--json", "t.dat"], "out")[::2]),
                                 ("pipe", piped([dump, "--json", "t.dat"]))):
        if any(b < 0x20 or b == 0x7F for b in json_out[:-1]) or not json_out.endswith(b"\n"):
            failures.append(f"--json to a {where} writes control bytes: {json_out!r}")

    # Header, tags and message of each file in the order written.
    header = lambda name: b"\n" + name + b":\n[start]\n" + line_ok
    line_ok = b'  [string] id=0x1, size=2, data="ok"\n'
    message = lambda name: b"vantrel-dump: '" + name + b"'@0x30: unknown tag: 0x7A600007\n"
    first = b"t.dat:\n" + listing(hidden)
    shown, _, status = run([dump, "t.dat", HOSTILE], "out err")
    expect("hostile name, both streams on a terminal", (shown, status),
           (first + header(HOSTILE_SHOWN) + message(HOSTILE_SHOWN), 1))
    shown, rest, status = run([dump, "t.dat", HOSTILE], "out")
    expect("hostile name, standard output on a terminal", (shown, rest),
           (first + header(HOSTILE_SHOWN), message(HOSTILE)))
    shown, rest, status = run([dump, "t.dat", HOSTILE], "err")
    expect("hostile name, standard error on a terminal", (shown, rest),
           (message(HOSTILE_SHOWN), b"t.dat:\n" + listing(stored) + header(HOSTILE)))

    comp_cases = [
        ([HOSTILE_SOURCE], lambda n: b"vantrel-comp: " + n + b': No closing "}" command was found\n', HOSTILE_SOURCE),
        ([BAD_SOURCE], lambda n: b"vantrel-comp: " + n + b":2: bogus: unknown command\n", BAD_SOURCE),
        (["-o", BAD_OUTPUT, BAD_SOURCE],
         lambda n: b"vantrel-comp: cannot open '" + n + b"' for writing: " +
         os.strerror(2).encode() + b"\n", BAD_OUTPUT),
    ]
    for args, text, name in comp_cases:
        shown, _, status = run([comp, *args], "err")
        expect(f"vantrel-comp {args!r}, standard error on a terminal", (shown, status), (text(shown_name(name)), 1))
        expect(f"vantrel-comp {args!r} through a pipe", piped([comp, *args]), (text(name), 1))

for f in failures:
    print(f)
print(f"terminal check: {len(failures)} failures")
sys.exit(1 if failures else 0)
