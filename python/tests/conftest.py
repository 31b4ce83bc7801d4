"""Shared by the tests: the programs and blobs they compare against.

VANTREL_DUMP and VANTREL_COMP name the built programs, VANTREL_SEEDS a
folder of blobs (the fuzz seeds: tests/run-all.sh makes them).  Tests that
need one of them are skipped, saying so, when it is not given.
"""
import json
import os
import subprocess

import pytest
from hypothesis import HealthCheck, settings

# No example database (runs leave nothing behind); no deadline, as the
# suite also runs under AddressSanitizer.
settings.register_profile("vantrel", database=None, deadline=None,
                          suppress_health_check=[HealthCheck.too_slow])
settings.load_profile("vantrel")

START, STRING, INTEGER, DATA_BLOCK, END = 0x7A600001, 0x7A600002, 0x7A600003, 0x7A600004, 0


def program(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.skip(f"{variable} is not set")
    return path


@pytest.fixture(scope="session")
def dump():
    """Runs vantrel-dump --json on files: one parsed object per file."""
    path = program("VANTREL_DUMP")

    def run(*files):
        out = subprocess.run([path, "--json", *files], capture_output=True).stdout
        return [json.loads(line) for line in out.decode("utf-8").splitlines()]
    return run


@pytest.fixture(scope="session")
def comp():
    return program("VANTREL_COMP")


@pytest.fixture(scope="session")
def seeds():
    """Every seed blob, as (name, bytes)."""
    folder = program("VANTREL_SEEDS")
    names = sorted(n for n in os.listdir(folder) if not n.startswith("."))
    found = Seeds()
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            found.append((name, f.read()))
    assert found, f"no blobs in {folder}"
    return found


class Seeds(list):
    """The seed blobs; named briefly where hypothesis reports a failure."""

    def __repr__(self):
        return f"<{len(self)} seed blobs>"


def swapped(blob):
    """The same blob as a machine of the other byte order writes it: every
    word of every tag reversed (the integer's value as one 8-byte word)."""
    out = bytearray(blob)
    little = blob[:4] == START.to_bytes(4, "little")
    word = lambda at: int.from_bytes(blob[at:at + 4], "little" if little else "big")

    def flip(at, n=4):
        out[at:at + n] = out[at:at + n][::-1]
    for at in range(0, 16, 4):
        flip(at)
    tag_size = word(4)
    at = tag_size if tag_size > 16 else 16
    while True:
        code, size = word(at), word(at + 4)
        flip(at), flip(at + 4)
        if code == END:
            return bytes(out)
        if code == INTEGER:
            flip(at + 8, 8), flip(at + 16), flip(at + 20)
        else:  # string: id, size; data block: type, id, size
            for k in range(8, 16 if code == STRING else 20, 4):
                flip(at + k)
        at += size
