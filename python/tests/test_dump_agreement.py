"""Python judges every blob as vantrel-dump --json does: for the fuzz seeds
and their mutations, the same verdict, the same fault offset and reason,
and the same tags (those before the fault, for a blob that has one); and
with a schema, validate() as vantrel-dump --schema --json."""
import json
import os
import subprocess
import sys
import tempfile

import pytest

from hypothesis import given, settings
from hypothesis import strategies as st

import vantrel
from conftest import DATA_BLOCK, INTEGER, START, STRING, program

# The C reader's fault texts by code: a reason begins with its code's text.
FAULT_TEXT = {
    1: "unexpected end-of-file", 2: "start tag not found", 3: "reserved field in start tag is not zero",
    4: "missing end tag", 5: "invalid vantrel start length", 6: "unexpected end-of-file",
    7: "invalid tag size", 8: "junk found after end tag", 9: "unknown tag: 0x",
    10: "reserved field in start tag is not zero (value: 0x", 11: "start tags nested too deeply",
}


def as_json(tag):
    """A content tag as vantrel-dump --json writes it."""
    out = {"tag": tag.kind, "offset": tag.offset, "id": tag.id}
    if tag.kind == "integer":
        out.update(value=str(tag.value), hex="0x%X" % tag.value)
        return out
    raw = bytes(tag.payload)
    assert len(raw) == tag.size
    if tag.kind == "data_block":
        out.update(type=tag.type, size=tag.size, hex=raw.hex().upper())
        return out
    out["size"] = tag.size
    try:
        out["text"] = raw.decode("utf-8")
    except UnicodeDecodeError:
        out["hex"] = raw.hex().upper()
    return out


def nest(tags):
    """Tags in the order they were handed out, as the dump's nested lists
    (the blob's own start and end tags are the object itself)."""
    lists = [[]]
    for tag in tags[1:]:
        if tag.kind == "start":
            block = {"tag": "start", "offset": tag.offset, "length": tag.length, "tags": []}
            lists[-1].append(block)
            lists.append(block["tags"])
        elif tag.kind == "end":
            if tag.depth > 0:
                lists.pop()
        else:
            lists[-1].append(as_json(tag))
    return lists[0]


def fault(error):
    return None if error is None else (error.offset, error.reason, error.code)


def raised(call, data):
    try:
        call(data)
    except vantrel.BlobError as e:
        return e
    return None


def python_view(data):
    """What Python finds in `data`, in the shape of the dump's object."""
    tags, error = [], None
    try:
        for tag in vantrel.walk(data):
            tags.append(tag)
    except vantrel.BlobError as e:
        error = e
    # check() and Blob() reach the verdict walk() reaches.
    assert fault(raised(vantrel.check, data)) == fault(error)
    assert fault(raised(vantrel.Blob, data)) == fault(error)
    view = {}
    if tags:
        view.update(length=tags[0].length, tags=nest(tags))
    if error is not None:
        assert isinstance(error, ValueError) and error.reason.startswith(FAULT_TEXT[error.code])
        view["error"] = {"offset": error.offset, "reason": error.reason}
    else:
        view["byte_order"] = vantrel.Blob(data).byte_order
    return view


def drop_cut_payload(tags):
    """The dump writes a data block the input ended in as far as it got;
    the reader hands out no such tag."""
    while tags and tags[-1]["tag"] == "start":
        tags = tags[-1]["tags"]
    if tags and tags[-1]["tag"] == "data_block" and len(tags[-1]["hex"]) != 2 * tags[-1]["size"]:
        tags.pop()


def dump_view(obj):
    obj = dict(obj)
    del obj["file"]
    if "error" in obj:
        obj.pop("byte_order", None)
        drop_cut_payload(obj.get("tags", []))
    return obj


def fields(tag):
    payload = None if tag.payload is None else bytes(tag.payload)
    return (tag.kind, tag.id, tag.type, tag.value, payload, tag.offset, tag.depth, tag.tag_size, tag.size,
            tag.length)


def lookups_follow_the_rule(blob, obj):
    """get() and find() give the first top-level content tag with the id."""
    first = {}
    for t in obj["tags"]:
        if t["tag"] != "start":
            first.setdefault(t["id"], t)
    for id_, t in first.items():
        value = blob.get(id_)
        assert blob.find(id_).offset == t["offset"]
        if t["tag"] == "integer":
            assert value == int(t["value"])
        elif t["tag"] == "data_block":
            assert bytes(value) == bytes.fromhex(t["hex"])
        else:
            raw = t["text"].encode("utf-8") if "text" in t else bytes.fromhex(t["hex"])
            assert value.encode("utf-8", "surrogateescape") == raw
    missing = next(i for i in range(1 << 32) if i not in first)
    assert blob.find(missing) is None
    try:
        blob.get(missing)
        raise AssertionError("get() of a missing id returned")
    except KeyError:
        pass


def accepted_reads_alike(data, obj):
    """A blob both accept: iteration, walk() and columns() agree, and the
    look-ups follow the rule."""
    blob = vantrel.Blob(data)
    tags = list(blob)
    assert [fields(t) for t in tags] == [fields(t) for t in vantrel.walk(data)]
    columns = blob.columns()
    assert [vantrel.KINDS[k] for k in columns["kind"]] == [t.kind for t in tags]
    for key in ("id", "type", "value", "size"):
        assert list(columns[key]) == [getattr(t, key) or 0 for t in tags]
    for key in ("offset", "depth", "tag_size"):
        assert list(columns[key]) == [getattr(t, key) for t in tags]
    assert blob.length == obj["length"]
    lookups_follow_the_rule(blob, obj)


def judge(blobs, dump):
    """Writes the blobs to files, lists them all with one dump run and
    compares each."""
    with tempfile.TemporaryDirectory() as work:
        paths = []
        for k, data in enumerate(blobs):
            paths.append(os.path.join(work, f"{k}.dat"))
            with open(paths[-1], "wb") as f:
                f.write(data)
        objs = dump(*paths)
    assert len(objs) == len(blobs)
    for data, obj in zip(blobs, objs):
        assert python_view(data) == dump_view(obj), f"blob {data.hex()}"
        if "error" not in obj:
            accepted_reads_alike(data, obj)


@pytest.fixture(autouse=True, scope="module")
def deep_json():
    """The seeds nest blocks up to the reader's bound and one level past
    it; their JSON nests as deep, which json and == go through by
    recursion."""
    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(limit + 4 * vantrel.MAX_DEPTH)
    yield
    sys.setrecursionlimit(limit)


def test_seeds_agree(seeds, dump):
    judge([data for _, data in seeds], dump)
    # The seeds are real blobs, of both byte orders, nested past the bound.
    assert any(data[:4] == START.to_bytes(4, "big") for _, data in seeds)
    assert any(data[:4] == START.to_bytes(4, "little") for _, data in seeds)
    assert any(raised(vantrel.check, data) and raised(vantrel.check, data).code == vantrel.Fault.TOO_DEEP
               for _, data in seeds)


WORDS = st.one_of(st.sampled_from([0, 1, 8, 16, 24, 0xFFFFFFFF, START, STRING, INTEGER, DATA_BLOCK, 0x7A600009]),
                  st.integers(0, 0xFFFFFFFF))


@st.composite
def mutation(draw, seeds):
    """A seed cut short, with bytes changed, or with words overwritten."""
    data = bytearray(draw(st.sampled_from(seeds))[1])
    for _ in range(draw(st.integers(1, 3))):
        if len(data) < 4:
            break
        how = draw(st.sampled_from(["cut", "byte", "word", "word"]))
        if how == "cut":
            del data[draw(st.integers(0, len(data) - 1)):]
        elif how == "byte":
            data[draw(st.integers(0, len(data) - 1))] = draw(st.integers(0, 255))
        else:
            at = 4 * draw(st.integers(0, len(data) // 4 - 1))
            data[at:at + 4] = draw(WORDS).to_bytes(4, draw(st.sampled_from(["little", "big"])))
    return bytes(data)


@settings(max_examples=300)
@given(st.data())
def test_mutations_agree(seeds, dump, data):
    judge([data.draw(mutation(seeds)) for _ in range(4)], dump)


KIND_WORD = {"string": "str", "integer": "int", "data_block": "data"}


@st.composite
def schema_near(draw, data):
    """A schema drawn near the blob `data`: each outer tag's id declared as
    the tag is or with one thing changed (left out, another kind, type,
    range, max or size, optional, a table around it), sometimes one more
    required tag the blob lacks.  A blob that is not well formed gets a
    schema of one tag."""
    try:
        tags = [t for t in vantrel.Blob(data) if t.depth == 0 and t.id is not None]
    except vantrel.BlobError:
        tags = []
    first = {}
    for t in tags:
        first.setdefault(t.id, t)
    ids = sorted(first)
    lines = ["type SEVEN 7"]
    near = lambda n, top: st.integers(max(0, n - 1), min(n + 1, top))
    for k, id_ in enumerate(ids):
        t, change = first[id_], draw(st.integers(0, 12))
        if change == 0:
            continue
        kind = draw(st.sampled_from(sorted(KIND_WORD.values()))) if change == 1 else KIND_WORD[t.kind]
        span = id_ + 3 < (ids + [1 << 32])[k + 1] and change == 2
        words = [kind, f"t{k}", f"0x{id_:X}..0x{id_ + 3:X}" if span else f"0x{id_:X}"]
        size = t.size or 0
        if kind == "data":
            words.append(draw(st.sampled_from([str(t.type or 0), "SEVEN", "0"])))
            if draw(st.booleans()):
                low = draw(near(size, 0xFFFFFFFF))
                words.append(f"size {low}..{max(low, draw(near(size, 0xFFFFFFFF)))}")
        elif kind == "str" and draw(st.booleans()):
            words.append(f"max {draw(near(size, 0xFFFFFFFF))}")
        elif kind == "int" and draw(st.booleans()):
            value = t.value or 0
            low = draw(near(value, (1 << 64) - 1))
            words.append(f"{low}..{max(low, draw(near(value, (1 << 64) - 1)))}")
        if span or draw(st.booleans()):
            words.append("table" if span else "optional")
        lines.append(" ".join(words))
    if draw(st.booleans()) or not ids:
        free = next(i for i in range(1 << 32) if all(i < d or i > d + 3 for d in ids))  # past any table
        lines.append(f"int extra 0x{free:X}")
    return "\n".join(lines) + "\n"


def schema_verdict(data, schema):
    """Python's verdict on `data` against `schema` in the shape of the
    dump's "error" (None for none), and the outer tags' names."""
    try:
        blob = vantrel.Blob(data, schema=schema)
    except vantrel.BlobError as e:
        return {"offset": e.offset, "reason": e.reason}, None
    names = [t.name for t in blob if t.depth == 0 and t.id is not None]
    try:
        blob.validate()
    except vantrel.BlobError as e:
        assert e.code in list(vantrel.SchemaFault) and e.reason and isinstance(e, ValueError)
        error = {"offset": e.offset, "reason": e.reason}
        if e.name is not None:
            error["name"] = e.name
        return error, names
    return None, names


def judge_with_schemas(cases):
    """vantrel-dump --schema --json on each (blob, schema text) as a file
    pair, against validate(): the same verdict, offset, reason and name, and
    the same names on the outer tags."""
    with tempfile.TemporaryDirectory() as work:
        for k, (data, text) in enumerate(cases):
            blob, schema = os.path.join(work, f"{k}.dat"), os.path.join(work, f"{k}.schema")
            with open(blob, "wb") as f:
                f.write(data)
            with open(schema, "w", encoding="utf-8") as f:
                f.write(text)
            out = subprocess.run([program("VANTREL_DUMP"), "--json", "--schema", schema, blob],
                                 capture_output=True)
            assert out.stdout, out.stderr
            obj = json.loads(out.stdout)
            error, names = schema_verdict(data, vantrel.Schema(text))
            assert error == obj.get("error"), f"blob {data.hex()} schema {text!r}"
            if names is not None:
                assert names == [t.get("name") for t in obj["tags"] if t["tag"] != "start"]


@settings(max_examples=150)
@given(st.data())
def test_schema_verdicts_agree(seeds, data):
    """For the seeds, random blobs and their mutations, each with a schema
    drawn near it."""
    blobs = [data.draw(st.sampled_from(seeds))[1], data.draw(mutation(seeds))]
    b = vantrel.Builder()
    for add in data.draw(st.lists(st.one_of(
            st.tuples(st.just("add_integer"), st.integers(0, 40), st.integers(0, 1 << 64 - 1)),
            st.tuples(st.just("add_string"), st.integers(0, 40), st.binary(max_size=20)),
            st.tuples(st.just("add_data"), st.integers(0, 40), st.sampled_from([0, 7]), st.binary(max_size=20))),
            max_size=8)):
        getattr(b, add[0])(*add[1:])
    blobs.append(b.end())
    judge_with_schemas([(blob, data.draw(schema_near(blob))) for blob in blobs])
