"""Blobs built from random tags read back as the same tags: at every
alignment, in either byte order, from every kind of buffer; and a Builder
that runs full refuses exactly the tags that do not fit."""
import mmap
import tempfile

from hypothesis import given
from hypothesis import strategies as st

import vantrel
from conftest import swapped

IDS = st.integers(0, 0xFFFFFFFF)
TAGS = st.lists(st.one_of(
    st.tuples(st.just("string"), IDS, st.one_of(st.text(max_size=40), st.binary(max_size=80))),
    st.tuples(st.just("integer"), IDS, st.integers(-(1 << 63), (1 << 64) - 1)),
    st.tuples(st.just("data_block"), IDS, IDS, st.binary(max_size=200)),
), max_size=25)
ALIGNMENTS = st.sampled_from([8, 16, 32, 64, 4096])
NATIVE = "little" if memoryview(b"\1\0").cast("H")[0] == 1 else "big"


def tag_size(kind, payload, alignment):
    """The builder's size for a tag: its fields and payload, rounded up."""
    fixed = {"string": 17, "integer": 24, "data_block": 20}[kind]
    return -(-(fixed + len(payload)) // alignment) * alignment


def expected(kind, id_, *rest):
    """(kind, id, type, value, payload bytes) as the tag reads back."""
    if kind == "integer":
        return kind, id_, None, rest[0] % (1 << 64), None
    if kind == "string":
        text = rest[0]
        return kind, id_, None, None, text.encode("utf-8", "surrogateescape") if isinstance(text, str) else text
    return kind, id_, rest[0], None, rest[1]


def add(builder, kind, id_, *rest):
    {"string": builder.add_string, "integer": builder.add_integer, "data_block": builder.add_data}[kind](id_, *rest)


def as_buffer(data, form, keep):
    """`data` as bytes, bytearray, memoryview or mmap; `keep` closes files."""
    if form == "bytearray":
        return bytearray(data)
    if form == "memoryview":
        return memoryview(bytearray(b"pad" + data))[3:]
    if form == "mmap":
        f = tempfile.TemporaryFile()
        keep.append(f)
        f.write(data)
        f.flush()
        return mmap.mmap(f.fileno(), len(data), access=mmap.ACCESS_READ)
    return data


def read_back(blob):
    out = []
    for t in blob:
        payload = None if t.payload is None else bytes(t.payload)
        out.append((t.kind, t.id, t.type, t.value, payload))
    return out


@given(TAGS, ALIGNMENTS, st.booleans(), st.sampled_from(["bytes", "bytearray", "memoryview", "mmap"]))
def test_built_blobs_read_back(tags, alignment, other_order, form):
    builder = vantrel.Builder(alignment=alignment, size=1 << 20)
    for tag in tags:
        add(builder, *tag)
    data = builder.end()
    assert builder.used == len(data) and len(data) % alignment == 0
    if other_order:
        data = swapped(data)
    keep = []
    blob = vantrel.Blob(as_buffer(data, form, keep))
    body = [expected(*tag) for tag in tags]
    assert read_back(blob) == [("start", None, None, None, None)] + body + [("end", None, None, None, None)]
    assert blob.alignment == alignment and blob.length == len(data)
    assert (blob.byte_order == NATIVE) != other_order
    first = {}
    for kind, id_, type_, value, payload in body:
        first.setdefault(id_, (kind, value, payload))
    for id_, (kind, value, payload) in first.items():
        got = blob.get(id_)
        if kind == "integer":
            assert got == value
        elif kind == "string":
            assert got.encode("utf-8", "surrogateescape") == payload
        else:
            assert bytes(got) == payload
    del blob
    for f in keep:
        f.close()


@given(TAGS, ALIGNMENTS, st.integers(0, 1200))
def test_a_full_builder_refuses_what_does_not_fit(tags, alignment, size):
    end = max(16, alignment)
    if size - size % alignment < 2 * end:
        try:
            vantrel.Builder(alignment=alignment, size=size)
        except ValueError as e:
            assert "cannot hold" in str(e)
            return
        raise AssertionError("a Builder too small for a blob was made")
    builder = vantrel.Builder(alignment=alignment, size=size)
    usable, kept = size - size % alignment, []
    for tag in tags:
        payload = expected(*tag)[4] or b""
        fits = builder.used + tag_size(tag[0], payload, alignment) + alignment <= usable
        try:
            add(builder, *tag)
            assert fits
            kept.append(expected(*tag))
        except vantrel.BlobFullError as e:
            assert not fits and "full" in str(e)
    body = read_back(vantrel.Blob(builder.end()))[1:-1]
    assert body == kept


@st.composite
def named_tags(draw):
    """A random schema and tags that satisfy it: (schema text, [(name, value, id or None)]),
    the tags in any order, optional ones sometimes left out."""
    firsts = draw(st.lists(st.integers(0, 0x0FFFFFFF), min_size=1, max_size=8, unique=True))
    lines, adds = [], []
    for k, first in enumerate(firsts):
        kind, id_, name = draw(st.sampled_from(["str", "int", "data"])), first * 16, f"d{k}"
        table, optional = draw(st.integers(0, 4)) == 0, draw(st.booleans())
        words = [kind, name, f"0x{id_:X}..0x{id_ + 3:X}" if table else f"0x{id_:X}"]
        if kind == "int":
            signed = draw(st.booleans())
            ends = st.integers(-(1 << 63), (1 << 63) - 1) if signed else st.integers(0, (1 << 64) - 1)
            low, high = sorted([draw(ends), draw(ends)])
            words.append(f"{low}..{high}")
            values = st.integers(low, high)
        elif kind == "str":
            most = draw(st.integers(0, 40))
            words += ["max", str(most)]
            values = st.binary(max_size=most)
        else:
            low = draw(st.integers(0, 30))
            high = draw(st.integers(low, 60))
            words += [str(draw(IDS)), "size", f"{low}..{high}"]
            values = st.binary(min_size=low, max_size=high)
        words += ["table"] if table else ["optional"] if optional else []
        lines.append(" ".join(words))
        if table:
            adds += [(name, draw(values), id_ + m) for m in draw(st.sets(st.integers(0, 3)))]
        elif not optional or draw(st.booleans()):
            adds.append((name, draw(values), None))
    return "\n".join(lines) + "\n", draw(st.permutations(adds))


def plain(value):
    return bytes(value) if isinstance(value, (bytes, memoryview)) else value


@given(named_tags(), ALIGNMENTS)
def test_named_tags_round_trip(case, alignment):
    text, adds = case
    schema = vantrel.Schema(text)
    b = vantrel.Builder(alignment=alignment, schema=schema)
    for name, value, id_ in adds:
        b.add(name, value, id=id_)
    blob = vantrel.Blob(b.end(), schema=schema)
    blob.validate()
    for name, value, id_ in adds:
        got = blob.get(name if id_ is None else id_)
        got = got.encode("utf-8", "surrogateescape") if isinstance(got, str) else plain(got)
        assert got == (value % (1 << 64) if isinstance(value, int) else value)
        assert id_ is not None or blob.find(name).id == schema[name].id
    assert [t.name for t in blob if t.id is not None] == [name for name, _, _ in adds]
    # Without one of its required tags, the same blob does not end.
    required = [name for name, _, id_ in adds if id_ is None and not schema[name].optional]
    if required:
        b = vantrel.Builder(alignment=alignment, schema=schema)
        for name, value, id_ in adds:
            if name != required[0]:
                b.add(name, value, id=id_)
        try:
            b.end()
            raise AssertionError("end() without a required tag returned")
        except ValueError as e:
            assert str(e) == f"{required[0]}: missing"
