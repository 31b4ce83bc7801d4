"""The package as a whole: its version, its documentation and stubs, views
that outlive their Blob, tags handed out while earlier ones are kept, and
the checks that run without the GIL."""
import gc
import importlib.metadata
import importlib.resources
import inspect
import os
import pydoc
import re
import subprocess
import sys
import threading

import pytest

import vantrel
from conftest import swapped

HERE = os.path.dirname(os.path.abspath(__file__))


def built(count=3, alignment=8):
    b = vantrel.Builder(alignment=alignment, size=1 << 24)
    for n in range(count):
        b.add_integer(n, n * n)
        b.add_string(n, f"text {n}")
        b.add_data(n + count, n, bytes(range(n % 256)))
    return b.end()


def test_version_is_the_projects():
    with open(os.path.join(HERE, "..", "..", "CMakeLists.txt"), encoding="utf-8") as f:
        version = re.search(r"project\(vantrel VERSION (\S+)", f.read()).group(1)
    assert vantrel.__version__ == version == importlib.metadata.version("vantrel")


def public(obj):
    return [n for n in dir(obj) if not n.startswith("_")]


def test_help_documents_everything():
    text = pydoc.render_doc(vantrel, renderer=pydoc.plaintext)
    for name in vantrel.__all__:
        obj = getattr(vantrel, name)
        assert name in text or name == "__version__"
        if callable(obj):
            assert obj.__doc__, name
        if isinstance(obj, type) and not issubclass(obj, BaseException):
            for member in public(obj):
                assert getattr(obj, member).__doc__, f"{name}.{member}"
    for function in (vantrel.check, vantrel.walk, vantrel.Blob.get, vantrel.Builder.add_data):
        inspect.signature(function)  # from the docstring's first line


def test_stubs_match_the_module(tmp_path):
    # mypy's stubtest: every name, signature and attribute of the built
    # module against _vantrel.pyi (run elsewhere: it leaves a cache).
    pytest.importorskip("mypy")
    checked = subprocess.run([sys.executable, "-m", "mypy.stubtest", "vantrel"], cwd=tmp_path,
                             capture_output=True, text=True)
    assert checked.returncode == 0, checked.stdout + checked.stderr
    assert importlib.resources.files("vantrel").joinpath("py.typed").is_file()


def test_views_hold_the_bytes_after_the_blob_is_gone():
    data = bytearray(built())
    blob = vantrel.Blob(data)
    view, column = blob.get(4), blob.columns()["value"]
    expected = bytes(view), list(column)
    del blob
    gc.collect()
    assert (bytes(view), list(column)) == expected
    view.release()
    data.extend(b"resizable again")


def test_kept_tags_keep_their_fields():
    # Tags are refilled only when nothing else holds them: every way of
    # keeping some while iterating sees each as it was handed out.
    blob = vantrel.Blob(built(50))
    everything = [(t.kind, t.offset, t.value) for t in list(blob)]
    kept = []
    for n, tag in enumerate(blob):
        if n % 3 == 0:
            kept.append(tag)
    assert [(t.kind, t.offset, t.value) for t in kept] == everything[::3]
    it = iter(blob)
    first, second, third = next(it), next(it), next(it)
    assert [first.offset, second.offset, third.offset] == [e[1] for e in everything[:3]]


def test_errors_carry_the_fault():
    data = built()
    for cut in (3, 20, len(data) - 1):
        try:
            vantrel.check(data[:cut])
            raise AssertionError("a cut blob passed")
        except vantrel.BlobError as e:
            assert isinstance(e, ValueError)
            assert vantrel.Fault(e.code) in (vantrel.Fault.SHORT, vantrel.Fault.EOF, vantrel.Fault.MISSING_END)
            assert f"(at offset {e.offset}, 0x{e.offset:X})" in str(e) and e.reason in str(e)


def test_large_blobs_checked_in_threads():
    # Over 1 MiB checks, look-ups and columns run without the GIL: several
    # threads at once still see the whole blob, in either byte order.
    data = [built(20000), swapped(built(20000, alignment=32))]
    assert min(len(d) for d in data) > 1 << 20
    expected = [list(vantrel.Blob(d).columns()["offset"]) for d in data]
    failures = []

    def work(n):
        try:
            for _ in range(3):
                vantrel.check(data[n % 2])
                assert list(vantrel.Blob(data[n % 2]).columns()["offset"]) == expected[n % 2]
                assert vantrel.Blob(data[n % 2]).get(19999) == 19999 ** 2
        except Exception as e:  # reported by the main thread
            failures.append(e)
    threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
