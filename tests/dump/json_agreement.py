#!/usr/bin/env python3
"""vantrel-dump --json against the listing, over many blobs.

The blobs: every example source compiled by vantrel-comp, in both byte
orders, and a fuzz-corpus-like set made from them by seeded mutations
(cut short, bytes changed, words overwritten).  For each blob: every --json
line parses; the listing rendered from its tags equals vantrel-dump's
listing; a fault shows as the "error" member with the offset and reason of
the message on stderr, and the status agrees.  One run over all the blobs
at once gives one line per file.

Usage: json_agreement.py VANTREL_DUMP VANTREL_COMP SOURCE...
"""
import json
import os
import random
import re
import subprocess
import sys
import tempfile

dump, comp, *sources = (os.path.abspath(a) for a in sys.argv[1:])
failures = []


def fail(name, why):
    failures.append(f"{name}: {why}")


def run(*args):
    r = subprocess.run([dump, *args], capture_output=True)
    return r.stdout, r.stderr.decode("utf-8", "replace"), r.returncode


def swapped(blob):
    """The other-order twin of a well-formed blob: every word reversed."""
    out = bytearray(blob)
    def flip(at, n):
        out[at:at + n] = out[at:at + n][::-1]
    order = "<" if blob[:4] == b"\x01\x00\x60\x7a" else ">"
    word = lambda at: int.from_bytes(blob[at:at + 4], "little" if order == "<" else "big")
    for at in range(0, 16, 4):
        flip(at, 4)
    at = 16
    while True:
        code, size = word(at), word(at + 4)
        flip(at, 4), flip(at + 4, 4)
        if code == 0:
            return bytes(out)
        if code == 0x7A600003:
            flip(at + 8, 8), flip(at + 16, 4), flip(at + 20, 4)
        else:  # string: id, size; data block: type, id, size
            for k in range(8, 16 if code == 0x7A600002 else 20, 4):
                flip(at + k, 4)
        at += size


class Cut(Exception):
    """A data block the file ended in: the listing stops inside its line."""

    def __init__(self, text):
        self.text = text


def render(tags, depth):
    """The listing lines of a list of JSON tags at a depth."""
    pad = b"  " * (depth + 1)
    text = b""
    for t in tags:
        kind = t["tag"]
        if kind == "start":
            try:
                inner = render(t["tags"], depth + 1)
            except Cut as cut:
                raise Cut(text + pad + b"[start]\n" + cut.text)
            text += pad + b"[start]\n" + inner + pad + b"[end]\n"
        elif kind == "integer":
            v = int(t["value"])
            assert t["hex"] == "0x%X" % v
            signed = v - (1 << 64) if v >= 1 << 63 else v
            text += pad + b"[integer] id=0x%x, data=%d/0x%X\n" % (t["id"], signed, v)
        elif kind == "string":
            raw = t["text"].encode("utf-8") if "text" in t else bytes.fromhex(t["hex"])
            assert ("text" in t) == _utf8(raw), "text exactly when the bytes are UTF-8"
            assert len(raw) == t["size"]
            shown = bytes(b if b < 0x80 else 0x2E for b in raw)
            text += pad + b'[string] id=0x%x, size=%d, data="%s"\n' % (t["id"], t["size"], shown)
        else:
            hexdigits = t["hex"].encode()
            assert hexdigits == hexdigits.upper()
            text += pad + b"[data_block] id=0x%x, type=0x%x, size=%d, data=<%s" % (
                t["id"], t["type"], t["size"], hexdigits)
            if len(hexdigits) != 2 * t["size"]:
                raise Cut(text)
            text += b">\n"
    return text


def _utf8(raw):
    try:
        raw.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def strip_ends(text):
    return re.sub(rb"(?:^ *\[end\]\n)+\Z", b"", text, flags=re.M)


def check(name):
    listing, err, status = run(name)
    out, jerr, jstatus = run("--json", name)
    if (jerr, jstatus) != (err, status):
        return fail(name, f"--json: stderr {jerr!r} status {jstatus}, listing: {err!r} {status}")
    lines = out.split(b"\n")
    if len(lines) != 2 or lines[1] != b"":
        return fail(name, f"not one line: {out[:200]!r}")
    try:
        obj = json.loads(lines[0])
    except ValueError as e:
        return fail(name, f"not JSON ({e}): {lines[0][:200]!r}")
    if obj["file"] != name:
        return fail(name, f"file member {obj['file']!r}")
    error = obj.get("error")
    if (error is None) != (status == 0):
        return fail(name, f"error member {error!r} with status {status}")
    if error is not None:
        if "offset" in error and not err.endswith(f"@0x{error['offset']:X}: {error['reason']}\n") and \
                not (error["offset"] == 0 and error["reason"] in err):
            return fail(name, f"error member {error!r}, message {err!r}")
    if "tags" not in obj:
        if listing != b"":
            return fail(name, "listing without tags")
        return
    try:
        rendered = b"[start]\n" + render(obj["tags"], 0) + b"[end]\n"
    except Cut as cut:
        rendered = b"[start]\n" + cut.text
    except (AssertionError, KeyError, ValueError) as e:
        return fail(name, f"tags do not hold together ({e!r}): {lines[0][:300]!r}")
    if error is None:
        if rendered != listing:
            fail(name, f"listing differs:\n{listing[:300]!r}\n{rendered[:300]!r}")
        return
    # After a fault the listing lacks the end lines of the blocks that were
    # open, and a string the file ended in shows its head only.
    rendered, cut = strip_ends(rendered), strip_ends(listing)
    if cut != rendered and not (cut.startswith(rendered) and re.match(rb" *\[string\] ", cut[len(rendered):])):
        fail(name, f"listing before the fault differs:\n{cut[-300:]!r}\n{rendered[-300:]!r}")


def mutations(blob, rng):
    """Blobs like a fuzzer's corpus: cut, bytes changed, words overwritten."""
    yield blob[:rng.randrange(len(blob))]
    for _ in range(6):
        b = bytearray(blob)
        for _ in range(rng.randrange(1, 4)):
            b[rng.randrange(len(b))] = rng.randrange(256)
        yield bytes(b)
    for _ in range(4):
        b = bytearray(blob)
        at = rng.randrange(len(b) // 4) * 4
        b[at:at + 4] = rng.choice([0, 8, 16, 0x7A600001, 0x7A600002, 0xFFFFFFFF, rng.randrange(1 << 32)]).to_bytes(
            4, "little")
        yield bytes(b[:len(blob)])


with tempfile.TemporaryDirectory() as work:
    os.chdir(work)
    rng = random.Random(15)
    names = []
    for source in sources:
        base = os.path.splitext(os.path.basename(source))[0]
        subprocess.run([comp, "-o", base + ".dat", source], check=True, capture_output=True)
        with open(base + ".dat", "rb") as f:
            blob = f.read()
        variants = [blob, swapped(blob)]
        for v in list(variants):
            variants.extend(mutations(v, rng))
        for k, v in enumerate(variants):
            name = f"{base}-{k}.dat"
            with open(name, "wb") as f:
                f.write(v)
            names.append(name)
    for name in names:
        check(name)
    out, _, _ = run("--json", *names)
    lines = out.decode("utf-8").splitlines()
    if [json.loads(line)["file"] for line in lines] != names:
        fail("all files", "not one line per file, in order")
    print(f"{len(names)} blobs checked, {len(failures)} failures")

for f in failures[:20]:
    print(f)
sys.exit(1 if failures else 0)
