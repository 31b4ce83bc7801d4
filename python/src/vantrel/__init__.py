"""Read, check and build vantrel tag blobs.

A tag blob is a start tag, typed content tags (strings, 64-bit integers and
data blocks, each with a 32-bit id) and an end tag, in one buffer.  This
package is the C reader (vantrel_reader.h) and the builder of libvantrel,
compiled in: it needs no installed library.

Reading takes any contiguous buffer (bytes, bytearray, memoryview, mmap) of
either byte order and copies nothing:

    blob = vantrel.Blob(open("unit.dat", "rb").read())   # BlobError if bad
    for tag in blob:
        print(tag.kind, tag.id, tag.value, tag.payload)
    interval = blob.get(0x200)

Faults are raised as BlobError, a ValueError whose offset, reason and code
are what vantrel-dump and the C reader report for the same bytes.

With a schema (vantrel-schema(5)), tags are read and built by name, and a
blob is checked against it as vantrel-dump --schema checks it:

    schema = vantrel.Schema.load("device-settings.schema")  # SchemaError if bad
    blob = vantrel.Blob(data, schema=schema)
    blob.validate()                                        # BlobError if refused
    period = blob.get("period_ms")
    b = vantrel.Builder(schema=schema)
    b.add("period_ms", 250)                                # ValueError if refused

Building:

    b = vantrel.Builder(alignment=8, size=65536)
    b.add_string(0x100, "TH-40")
    b.add_integer(0x200, 250)
    b.add_data(0x300, 1, b"\\x01\\x02")
    data = b.end()
"""
from enum import IntEnum

from ._vantrel import (
    KINDS,
    MAX_DEPTH,
    Blob,
    BlobError,
    BlobFullError,
    Builder,
    Declaration,
    Schema,
    SchemaError,
    Tag,
    __version__,
    check,
    walk,
)


class Fault(IntEnum):
    """The C reader's fault codes (BlobError.code), enum vantrel_fault_code.

    The extension's _FAULTS holds the header's numbers; a test holds these
    to them."""

    SHORT = 1  #: fewer than 16 bytes: no start tag to read
    NO_START = 2  #: the first word is no start tag code
    START_RESERVED = 3  #: the blob's own start tag has a non-zero reserved word
    MISSING_END = 4  #: a block has no room left for its end tag
    START_LENGTH = 5  #: a block's length leaves 1 to 7 bytes, or cannot hold a nested block
    EOF = 6  #: a tag's header, fields or payload lie past the bytes
    TAG_SIZE = 7  #: a tag_size below 8 or beyond its block
    JUNK = 8  #: an end tag before its block's end
    UNKNOWN_TAG = 9  #: a tag code that is none of the five
    NESTED_RESERVED = 10  #: a nested start tag's reserved word is not zero
    TOO_DEEP = 11  #: start tags nested deeper than MAX_DEPTH


class SchemaFault(IntEnum):
    """The schema checker's fault codes (BlobError.code from
    Blob.validate()), enum vantrel_schema_fault_code; held to the
    extension's _SCHEMA_FAULTS as Fault is to _FAULTS."""

    UNDECLARED = 16  #: an id the schema does not declare
    KIND = 17  #: another kind than declared
    TYPE = 18  #: a data block of another type than declared
    RANGE = 19  #: an integer out of its range
    LENGTH = 20  #: a string longer than its max
    SIZE = 21  #: a data block of another size than declared
    DUPLICATE = 22  #: a second tag with one id
    MISSING = 23  #: a required tag missing (reported at the end tag)
    NESTED = 24  #: a nested block (the schema declares the outer block's tags)


__all__ = [
    "Blob",
    "BlobError",
    "BlobFullError",
    "Builder",
    "Declaration",
    "Fault",
    "KINDS",
    "MAX_DEPTH",
    "Schema",
    "SchemaError",
    "SchemaFault",
    "Tag",
    "__version__",
    "check",
    "walk",
]
