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


SCHEMA = vantrel.Schema("""
type CAL 1
const LIMIT 9
str  model    0x100 max 4
int  period   0x200 10..20
data cal      0x300 CAL size 2
str  message  1..9 table
""")
NAMED = vantrel.Builder(schema=SCHEMA)
for name, value in [("model", "ab"), ("period", 15), ("cal", b"xy")]:
    NAMED.add(name, value)
NAMED = vantrel.Blob(NAMED.end(), schema=SCHEMA)


def built(*adds, size=65536):
    """Adds by name, or with (method, args...) by id, to a Builder with SCHEMA."""
    b = vantrel.Builder(size=size, schema=SCHEMA)
    for add in adds:
        getattr(b, add[0])(*add[1:]) if add[0].startswith("add_") else b.add(*add)
    return b


def refused_then(*adds):
    """A refused add writes nothing and marks nothing: the same tag is then
    taken, and the next add is the one that fails."""
    b = built()
    for add in adds:
        try:
            b.add(*add)
        except (ValueError, TypeError):
            pass
    b.add("period", 15)
    b.add("undeclared", 1)


def full_then_again():
    b = built(size=64)
    try:
        b.add("cal", b"xy" * 100)  # too large for the buffer, and for the schema's size
    except ValueError as e:
        assert "size 2" in str(e)
    try:
        b.add("model", "abcd")
    except vantrel.BlobFullError:
        pass
    b.add("model", "ab")  # the full one marked nothing
    b.add("model", "ab")


def blob_validate(*adds):
    vantrel.Blob(vantrel.Builder().end() if not adds else built(*adds).end(), schema=SCHEMA).validate()


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
    ("str id to find", lambda: vantrel.Blob(BLOB).find("1"), TypeError, "name .'1'. needs a Blob read with a schema"),
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
    # Schemas: the text, the names, and what the schema's checker refuses.
    ("faulty schema", lambda: vantrel.Schema("int a 1\nint b 2 maxx 3\n"), vantrel.SchemaError,
     r"^<schema>:2: unknown constraint 'maxx'$"),
    ("id declared twice", lambda: vantrel.Schema("int a 1\nstr b 1\n"), vantrel.SchemaError, ":2: id declared twice"),
    ("schema file missing", lambda: vantrel.Schema.load("/nonexistent.schema"), FileNotFoundError, "nonexistent"),
    ("schema as int", lambda: vantrel.Schema(5), TypeError, "bytes"),
    ("name not in the schema", lambda: SCHEMA["nope"], KeyError, "nope"),
    ("schema= not a Schema", lambda: vantrel.Blob(BLOB, schema="x"), TypeError, "vantrel.Schema or None"),
    ("name without a schema", lambda: vantrel.Blob(BLOB).get("model"), TypeError, "needs a Blob read with a schema"),
    ("unknown name", lambda: NAMED.find("modle"), ValueError, "no declaration named 'modle'"),
    ("a const's name", lambda: NAMED.get("LIMIT"), ValueError, "'LIMIT' is a const, not a tag"),
    ("a table's name", lambda: NAMED.get("message"), ValueError, "table of ids 0x1..0x9: ask for one of them by id"),
    ("validate() without a schema", lambda: vantrel.Blob(BLOB).validate(), TypeError, "needs a Blob read with a schema"),
    ("blob missing a required tag", blob_validate, vantrel.BlobError, r"^model: missing \(at offset 16, 0x10\)$"),
    ("blob with an undeclared id", lambda: vantrel.Blob(BLOB, schema=SCHEMA).validate(), vantrel.BlobError,
     r"^message: a data block tag where the schema declares a string \(at offset 40, 0x28\)$"),
    ("add() without a schema", lambda: vantrel.Builder().add("model", "x"), TypeError, r"needs a Builder\(schema"),
    ("table member without id", lambda: built(("message", "x")), ValueError, "'message' is a table.*id="),
    ("id= for a single tag", lambda: built(("model", "x"), ("period", 15, 0x200)), TypeError, "positional"),
    ("id= outside its table", lambda: built().add("message", "x", id=10), ValueError, "^id 0xA is not in the schema$"),
    ("id= for a single tag by keyword", lambda: built().add("model", "x", id=0x100), ValueError, "one id 0x100"),
    ("value out of range", lambda: built(("period", 21)), ValueError, r"^period: value 21 is out of 10\.\.20$"),
    ("str value for an int", lambda: built(("period", "15")), TypeError, "str"),
    ("string too long", lambda: built(("model", "abcde")), ValueError, "^model: string of 5 bytes is longer than max 4$"),
    ("data of another size", lambda: built(("cal", b"x")), ValueError, "^cal: data block of 1 bytes is out of size 2$"),
    ("second tag with one id", lambda: built(("model", "a"), ("model", "b")), ValueError, "^model: second tag with id 0x100$"),
    ("second table member", lambda: built(("add_string", 3, "a"), ("add_string", 3, "b")), ValueError,
     "^message: second tag with id 0x3$"),
    ("undeclared id", lambda: built(("add_integer", 0x210, 1)), ValueError, "^id 0x210 is not in the schema$"),
    ("another kind by id", lambda: built(("add_string", 0x200, "x")), ValueError,
     "^period: a string tag where the schema declares an integer$"),
    ("another type by id", lambda: built(("add_data", 0x300, 2, b"xy")), ValueError, r"^cal: type 0x2 is not CAL \(0x1\)$"),
    ("end() with a required tag missing", lambda: built(("model", "a"), ("cal", b"xy")).end(), ValueError,
     "^period: missing$"),
    ("a refused add marks nothing", lambda: refused_then(("period", 9), ("period", "x")), ValueError,
     "no declaration named 'undeclared'"),
    ("a full add marks nothing", full_then_again, ValueError, "^model: second tag with id 0x100$"),
]


@pytest.mark.parametrize("what,call,error,pattern", ERRORS, ids=[row[0] for row in ERRORS])
def test_error(what, call, error, pattern):
    with pytest.raises(error) as raised:
        call()
    assert re.search(pattern, str(raised.value)), str(raised.value)
