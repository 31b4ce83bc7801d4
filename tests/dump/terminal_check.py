#!/usr/bin/env python3
"""String bytes that would drive a terminal are shown as "." on one.

Lists a blob whose strings hold escape sequences (window title, colour),
BEL, DEL, a tab and a line feed, once to a pseudo-terminal and once to a
pipe: on the terminal bytes below 0x20 and 0x7F show as ".", through the
pipe every byte below 0x80 is written as stored.  --json writes no control
byte on either but its line feed.

Usage: terminal_check.py VANTREL_DUMP
"""
import os
import pty
import subprocess
import sys
import tempfile
import tty

dump = sys.argv[1]
order = sys.byteorder


def word(v):
    return v.to_bytes(4, order)


def string_tag(ident, raw):
    size = (17 + len(raw) + 7) // 8 * 8
    tag = word(0x7A600002) + word(size) + word(ident) + word(len(raw)) + raw
    return tag + bytes(size - len(tag))


STRINGS = [b"\x1b]0;owned\x07 \x1b[31mred\x1b[0m", b"del\x7f tab\t lf\n caf\xc3\xa9 \x1b]52;c;Y2xpcA==\x07"]
tags = b"".join(string_tag(i + 1, s) for i, s in enumerate(STRINGS))
blob = word(0x7A600001) + word(16) + word(16 + len(tags) + 8) + word(0) + tags + word(0) + word(8)


def line(ident, shown):
    return b'  [string] id=0x%x, size=%d, data="%s"\n' % (ident, len(STRINGS[ident - 1]), shown)


def on_terminal(args):
    master, slave = pty.openpty()
    tty.setraw(slave)  # no line feed translation: the bytes as written
    proc = subprocess.Popen([dump, *args], stdout=slave, stderr=subprocess.PIPE)
    os.close(slave)
    out = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal's other side closed
            break
        if not chunk:
            break
        out += chunk
    os.close(master)
    proc.wait()
    return out, proc.returncode


failures = []
with tempfile.TemporaryDirectory() as work:
    name = os.path.join(work, "t.dat")
    with open(name, "wb") as f:
        f.write(blob)

    hidden = lambda s: bytes(0x2E if b < 0x20 or b >= 0x7F else b for b in s)
    stored = lambda s: bytes(0x2E if b >= 0x80 else b for b in s)
    expected_terminal = b"[start]\n" + b"".join(line(i + 1, hidden(s)) for i, s in enumerate(STRINGS)) + b"[end]\n"
    expected_pipe = b"[start]\n" + b"".join(line(i + 1, stored(s)) for i, s in enumerate(STRINGS)) + b"[end]\n"

    out, status = on_terminal([name])
    if (out, status) != (expected_terminal, 0):
        failures.append(f"terminal: {out!r} (status {status}), expected {expected_terminal!r}")
    piped = subprocess.run([dump, name], capture_output=True)
    if (piped.stdout, piped.returncode) != (expected_pipe, 0):
        failures.append(f"pipe: {piped.stdout!r}, expected {expected_pipe!r}")
    for where, (json_out, _) in (("terminal", on_terminal(["--json", name])),
                                 ("pipe", (subprocess.run([dump, "--json", name], capture_output=True).stdout, 0))):
        if any(b < 0x20 or b == 0x7F for b in json_out[:-1]) or not json_out.endswith(b"\n"):
            failures.append(f"--json to a {where} writes control bytes: {json_out!r}")

for f in failures:
    print(f)
print(f"terminal check: {len(failures)} failures")
sys.exit(1 if failures else 0)
