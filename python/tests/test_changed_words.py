"""Bytes changed under a Blob after its check: the table the C and C++
readers run too (tests/support/changed_words.txt).  Whatever the change,
a tag handed out is of a known kind and inside the bytes, and a walk or
look-up that cannot go on raises BlobError naming the fault."""
import os
import struct

import pytest

import vantrel
from vantrel import _vantrel

TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "support", "changed_words.txt")


def read_table():
    words, cases = [], []
    with open(TABLE, encoding="utf-8") as f:
        for line in f:
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            if fields[0] == "blob":
                words += [int(w, 16) for w in fields[1:]]
                continue
            name, walk, find, *changes = fields[1:]
            found_id, lookup = find.split(":")
            changes = [tuple(int(part, base) for part, base in zip(c.split("="), (10, 16))) for c in changes]
            cases.append((name, walk, int(found_id), lookup, changes))
    return words, cases


WORDS, CASES = read_table()


def pack(words):
    return bytearray(struct.pack(f"={len(words)}I", *words))


def assert_names_a_fault(raised):
    assert raised.value.code in set(vantrel.Fault), str(raised.value)
    assert raised.value.reason in str(raised.value)


@pytest.mark.parametrize("name,walk,found_id,lookup,changes", CASES, ids=[c[0] for c in CASES])
def test_words_changed_after_the_check(name, walk, found_id, lookup, changes):
    data = pack(WORDS)
    blob = vantrel.Blob(data)
    words = list(WORDS)
    for index, value in changes:
        words[index] = value
    data[:] = pack(words)  # the same length: the buffer stays held

    if walk == "stops":
        with pytest.raises(vantrel.BlobError) as raised:
            list(blob)
        assert_names_a_fault(raised)
        with pytest.raises(vantrel.BlobError) as raised:
            blob.alignment  # walks to the end tag: the start tag is 16 bytes
        assert_names_a_fault(raised)
    else:
        for tag in blob:
            assert tag.kind in vantrel.KINDS and repr(tag)
            if tag.payload is not None:
                assert len(bytes(tag.payload)) == tag.size
                assert tag.offset + tag.size <= len(data)
    if lookup == "bad":
        with pytest.raises(vantrel.BlobError) as raised:
            blob.find(found_id)
        assert_names_a_fault(raised)
    else:
        assert (blob.find(found_id) is not None) == (lookup == "ok")


def test_fault_codes_are_the_c_headers():
    assert {f.name: f.value for f in vantrel.Fault} == dict(_vantrel._FAULTS)
