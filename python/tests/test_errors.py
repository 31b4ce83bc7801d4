"""Every misuse is a Python error with a useful message, never a crash."""
import mmap
import re
import tempfile

import pytest

import vantrel

BLOB = vantrel.Builder()
BLOB.add_string(1, "abc")
BLOB.add_data(2, 7, b"\x01\x02\x03")
BLOB = BLOB.end()


def resize_under_blob():
    data = bytearray(BLOB)
    blob = vantrel.Blob(data)
    data.extend(b"more")
    return blob


def resize_under_view():
    data = bytearray(BLOB)
    view = vantrel.Blob(data).get(2)  # the Blob is gone, the view holds the bytes
    data.clear()
    return view


def mapped(close_first):
    f = tempfile.TemporaryFile()
    f.write(BLOB)
    f.flush()
    m = mmap.mmap(f.fileno(), len(BLOB))
    if close_first:
        m.close()
        return vantrel.Blob(m)
    blob = vantrel.Blob(m)
    m.close()
    return blob


def write_through(view):
    view[0] = 0


def builder_after_end():
    b = vantrel.Builder()
    b.end()
    b.add_integer(1, 2)


def full_builder():
    b = vantrel.Builder(size=64)
    b.add_data(1, 0, bytes(100))


ERRORS = [
    # (what, call, exception, message pattern)
    ("str as blob", lambda: vantrel.Blob("text"), TypeError, "bytes-like"),
    ("int to check", lambda: vantrel.check(5), TypeError, "bytes-like"),
    ("str to walk", lambda: vantrel.walk("x"), TypeError, "bytes-like"),
    ("strided memoryview", lambda: vantrel.check(memoryview(BLOB)[::2]), BufferError, "contiguous"),
    ("bytearray resized under a Blob", resize_under_blob, BufferError, "re-?sized"),
    ("bytearray resized under a payload view", resize_under_view, BufferError, "re-?sized"),
    ("mmap closed under a Blob", lambda: mapped(False), BufferError, "exported"),
    ("closed mmap", lambda: mapped(True), ValueError, "closed"),
    ("payload view written", lambda: write_through(vantrel.Blob(BLOB).get(2)), TypeError, "read-only"),
    ("column written", lambda: write_through(vantrel.Blob(BLOB).columns()["id"]), TypeError, "read-only"),
    ("Tag made by hand", lambda: vantrel.Tag(), TypeError, "cannot create"),
    ("missing id", lambda: vantrel.Blob(BLOB).get(9), KeyError, "9"),
    ("negative id to get", lambda: vantrel.Blob(BLOB).get(-1), ValueError, r"id must be 0 to 4294967295.*-1"),
    ("str id to find", lambda: vantrel.Blob(BLOB).find("1"), TypeError, "id must be an int, not str"),
    ("alignment not a power of two", lambda: vantrel.Builder(alignment=12), ValueError, "power of two"),
    ("alignment below 8", lambda: vantrel.Builder(alignment=4), ValueError, "power of two"),
    ("alignment above 1 MiB", lambda: vantrel.Builder(alignment=1 << 21), ValueError, "power of two"),
    ("size too small", lambda: vantrel.Builder(size=31), ValueError, "cannot hold"),
    ("size above 32 bits", lambda: vantrel.Builder(size=1 << 32), ValueError, "size must be 0 to 4294967295"),
    ("float size", lambda: vantrel.Builder(size=1e3), TypeError, "size must be an int, not float"),
    ("negative id", lambda: vantrel.Builder().add_string(-1, "x"), ValueError, "id must be 0 to"),
    ("id above 2**32-1", lambda: vantrel.Builder().add_integer(1 << 32, 0), ValueError, "id must be 0 to"),
    ("float id", lambda: vantrel.Builder().add_integer(1.0, 0), TypeError, "id must be an int"),
    ("type above 2**32-1", lambda: vantrel.Builder().add_data(1, 1 << 32, b""), ValueError, "type must be 0 to"),
    ("int as text", lambda: vantrel.Builder().add_string(1, 5), TypeError, "bytes-like"),
    ("lone surrogate in text", lambda: vantrel.Builder().add_string(1, "\ud800"), UnicodeEncodeError, "surrogate"),
    ("str as data", lambda: vantrel.Builder().add_data(1, 0, "text"), TypeError, "bytes-like"),
    ("integer above 2**64-1", lambda: vantrel.Builder().add_integer(1, 1 << 64), ValueError, r"-2\*\*63 to 2\*\*64-1"),
    ("integer below -2**63", lambda: vantrel.Builder().add_integer(1, -(1 << 63) - 1), ValueError, r"-2\*\*63"),
    ("float integer", lambda: vantrel.Builder().add_integer(1, 1.5), TypeError, "float"),
    ("str integer", lambda: vantrel.Builder().add_integer(1, "5"), TypeError, "str"),
    ("tag after end", builder_after_end, ValueError, "ended"),
    ("tag that does not fit", full_builder, vantrel.BlobFullError, r"full: the data block tag takes 120 bytes, 40 are left"),
    ("missing argument", lambda: vantrel.Builder().add_data(1, 2), TypeError, "missing|argument"),
]


@pytest.mark.parametrize("what,call,error,pattern", ERRORS, ids=[row[0] for row in ERRORS])
def test_error(what, call, error, pattern):
    with pytest.raises(error) as raised:
        call()
    assert re.search(pattern, str(raised.value)), str(raised.value)
