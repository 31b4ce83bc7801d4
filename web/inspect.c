/*
 * The inspector page's reader: vantrel_reader.h compiled to WebAssembly.
 *
 * The page copies a file's bytes into the buffer prepare() returns and
 * calls walk(); the walk is the header's iterator, so the verdict, the
 * fault's offset and reason and the tags listed before a fault are the ones
 * vantrel-dump gives for the same file.  Every rule of the format is
 * applied here: the page's JavaScript only renders the records below (each
 * tag's byte ranges and fields) and the verdict.
 *
 * Memory: the static data, then the file's bytes at the heap base, then
 * the table of records, which grows at the top of memory as the walk goes.
 */
#include <stdint.h>

#include "dump_piece.h"
#include "vantrel_reader.h"

#if !defined(__wasm32__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "built for wasm32 only, which is little-endian"
#endif

#define EXPORT(name) __attribute__((export_name(name)))

#define WASM_PAGE 65536u
#define NONE 0xFFFFFFFFu


/* Records number their kinds as the format does (enum vantrel_kind); the
 * page takes the names from kind_name(). */

/* One tag the walk handed out.  Byte positions are from the file's first
 * byte; a tag's own bytes are [offset, end), split into its header words
 * [offset, fields_at), its fields [fields_at, payload_at), its payload
 * [payload_at, payload_end) and fill up to end, all clipped to the file and
 * to the tag (a payload may run on past its tag_size).  The payload bytes
 * the dump lists are [data_at, data_at + listed), inside the file but not
 * always inside the tag. */
typedef struct record {
    uint32_t offset, fields_at, payload_at, payload_end, end;
    uint32_t data_at, listed;
    uint32_t tag_size, id, type, size, length;
    uint32_t value_low, value_high;
    uint32_t parent;    /* the start tag of the block it is in (an end tag: of the block it closes) */
    uint32_t block_end; /* a start tag: the record after its block's end tag; else itself plus one */
    uint16_t level;     /* indentation as the listing has it */
    uint8_t kind;
    uint8_t cut;        /* a data block listed with part of its payload, at the fault */
} record;

extern unsigned char __heap_base;

static vantrel_reader reader;
static uint8_t *blob;
static uint32_t blob_size;
static record *records;
static uint32_t count, capacity;
/* The record of each block open at this point of the walk. */
static uint32_t open_blocks[VANTREL_MAX_DEPTH + 1];
static uint32_t open_count;
static char reason[VANTREL_REASON_SIZE];
static uint32_t alignment_found;

/* Makes memory reach `end` bytes: 1, or 0 when it cannot grow so far. */
static int reach(uint64_t end)
{
    uint64_t have = (uint64_t)__builtin_wasm_memory_size(0) * WASM_PAGE;
    if (end <= have)
        return 1;
    if (end > 0xFFFFFFFFull)
        return 0;
    return __builtin_wasm_memory_grow(0, (size_t)((end - have + WASM_PAGE - 1) / WASM_PAGE)) != (size_t)-1;
}

static uint32_t min32(uint64_t a, uint64_t b) { return (uint32_t)(a < b ? a : b); }

/* Room for a file of `size` bytes: where to copy it, or 0 when memory
 * cannot hold it.  Forgets the previous file. */
EXPORT("prepare") uint8_t *prepare(uint32_t size)
{
    uint64_t base = ((uintptr_t)&__heap_base + 15u) & ~(uint64_t)15u;
    uint64_t table = (base + size + 15u) & ~(uint64_t)15u;
    count = capacity = 0;
    blob = 0;
    blob_size = 0;
    if (!reach(table))
        return 0;
    blob = (uint8_t *)(uintptr_t)base;
    blob_size = size;
    records = (record *)(uintptr_t)table;
    return blob;
}

static record *new_record(void)
{
    if (count == capacity) {
        uint32_t more = capacity < 4096u ? 4096u : capacity;
        if (!reach((uintptr_t)records + ((uint64_t)capacity + more) * sizeof(record)))
            return 0;
        capacity += more;
    }
    return &records[count++];
}

/* The walk hands out tags of the five codes only. */
static int kind_of(uint32_t code)
{
    int kind = vantrel_kind_of(code);
    return kind == VANTREL_KIND_NONE ? VANTREL_KIND_END : kind;
}

/* Adds a tag: `listed` payload bytes of it are shown.  0 when memory ran out. */
static int add(const vantrel_tag *tag, uint32_t listed, int cut)
{
    uint32_t index = count;
    record *r = new_record();
    uint64_t at = tag->offset;
    /* The blob's own start tag is followed by its first tag, which stands
     * after the fill of an alignment of 32 and more. */
    uint64_t end = index == 0 ? vantrel_first_tag_offset(tag->tag_size, tag->length) : vantrel_tag_following(tag);
    uint64_t payload_at = at + vantrel_fields_end(tag->code);
    if (r == 0)
        return 0;
    end = end < blob_size ? end : blob_size;
    r->offset = (uint32_t)at;
    r->end = (uint32_t)end;
    r->fields_at = min32(at + VANTREL_HDR_SIZE, end);
    r->payload_at = min32(payload_at, end);
    r->payload_end = min32(payload_at + listed, end);
    r->data_at = (uint32_t)payload_at;
    r->listed = listed;
    r->tag_size = tag->tag_size;
    r->id = tag->id;
    r->type = tag->type;
    r->size = tag->size;
    r->length = tag->length;
    r->value_low = (uint32_t)tag->value;
    r->value_high = (uint32_t)(tag->value >> 32);
    r->kind = (uint8_t)kind_of(tag->code);
    r->cut = (uint8_t)cut;
    r->block_end = index + 1;
    r->parent = open_count != 0 ? open_blocks[open_count - 1] : NONE;
    /* The listing sets a block's start and end tags level with the tags
     * around the block, and its tags one level deeper. */
    r->level = (uint16_t)(r->kind == VANTREL_KIND_START || r->kind == VANTREL_KIND_END ? tag->depth
                                                                                     : tag->depth + 1);
    if (r->kind == VANTREL_KIND_START) {
        r->block_end = NONE;
        open_blocks[open_count++] = index;
    } else if (r->kind == VANTREL_KIND_END && open_count != 0) {
        uint32_t start = open_blocks[--open_count];
        records[start].block_end = index + 1;
        r->parent = start;
    }
    return 1;
}

/* The payload bytes a tag handed out carries: a string's characters, a
 * data block's bytes. */
static uint32_t payload_length(const vantrel_tag *tag)
{
    return vantrel_payload_offset(tag->code) != 0 ? tag->size : 0;
}

/* The alignment the blob was built with, as far as its tags tell: 0 when
 * the start tag's size is no alignment, or a start tag of 16 bytes whose
 * end tag (which tells 8 from 16) was not reached. */
static uint32_t find_alignment(void)
{
    uint32_t start = records[0].tag_size;
    if (start == VANTREL_START_MIN && reader.walk.fault_code != VANTREL_E_NONE)
        return 0;
    return vantrel_blob_alignment(start, records[count - 1].tag_size);
}

/* Walks the prepared file: the number of records, or -1 when memory ran
 * out (the file is then shown as far as it was walked). */
EXPORT("walk") int32_t walk(void)
{
    vantrel_tag tag;
    int step = 0;
    int whole = 1;
    count = 0;
    open_count = 0;
    alignment_found = 0;
    vantrel_reader_init(&reader, blob, blob_size, 0);
    while (whole && (step = vantrel_reader_next(&reader, &tag)) > 0)
        whole = add(&tag, payload_length(&tag), 0);
    /* A data block whose fields were read and whose payload runs past the
     * end of the file: the dump has listed it before it met the end. */
    if (whole && step < 0 && reader.walk.fault_code == VANTREL_E_EOF && tag.code == VANTREL_TAG_DATA_BLOCK &&
        tag.offset + VANTREL_DATA_DATA <= blob_size) {
        uint32_t read = blob_size - (uint32_t)tag.offset - VANTREL_DATA_DATA;
        whole = add(&tag, read - read % VANTREL_DUMP_PIECE, 1);
    }
    /* Blocks still open at a fault end with the records. */
    for (uint32_t i = 0; i < count; ++i)
        if (records[i].block_end == NONE)
            records[i].block_end = count;
    vantrel_fault_describe(reader.walk.fault_code, reader.walk.fault_value, reason);
    if (count != 0 && whole)
        alignment_found = find_alignment();
    return whole ? (int32_t)count : -1;
}

/* ------------------------------------------------------------- the verdict */

EXPORT("fault_code") int32_t fault_code(void) { return reader.walk.fault_code; }

/* An offset past the file can reach beyond 32 bits: a double holds it. */
EXPORT("fault_offset") double fault_offset(void) { return (double)reader.walk.fault_offset; }

/* The fault's text as vantrel-dump prints it, zero-terminated; "" when
 * there is no fault. */
EXPORT("fault_reason") const char *fault_reason(void) { return reason; }

/* Whether the blob's start tag was read: when it was not (too short, no
 * start tag code, reserved word), the dump lists nothing but the fault. */
EXPORT("start_read") int32_t start_read(void) { return count != 0; }

EXPORT("byte_order") const char *byte_order(void) { return reader.walk.swapped ? "big" : "little"; }

/* The blob's length as its start tag gives it. */
EXPORT("blob_length") uint32_t blob_length(void) { return count != 0 ? records[0].length : 0; }

EXPORT("alignment") uint32_t alignment(void) { return alignment_found; }

/* ------------------------------------------------------------- the records */

/* The records of the last walk, also when memory ran out during it. */
EXPORT("tag_count") uint32_t tag_count(void) { return count; }

EXPORT("kind_count") uint32_t kind_count(void) { return VANTREL_KIND_COUNT; }

EXPORT("kind_name") const char *kind_name(uint32_t kind)
{
    return kind < VANTREL_KIND_COUNT ? vantrel_kind_name((int)kind) : "";
}

#define RECORD_FIELD(field)                                                                            \
    EXPORT("tag_" #field) uint32_t tag_##field(uint32_t index)                                         \
    {                                                                                                  \
        return index < count ? records[index].field : 0;                                               \
    }

RECORD_FIELD(offset)
RECORD_FIELD(fields_at)
RECORD_FIELD(payload_at)
RECORD_FIELD(payload_end)
RECORD_FIELD(end)
RECORD_FIELD(data_at)
RECORD_FIELD(listed)
RECORD_FIELD(tag_size)
RECORD_FIELD(id)
RECORD_FIELD(type)
RECORD_FIELD(size)
RECORD_FIELD(length)
RECORD_FIELD(value_low)
RECORD_FIELD(value_high)
RECORD_FIELD(parent)
RECORD_FIELD(block_end)
RECORD_FIELD(level)
RECORD_FIELD(kind)
RECORD_FIELD(cut)

/* The record whose own bytes hold the byte at `position`, or -1 (fill
 * past the blob's end, bytes after a fault).  Records lie in ascending
 * order of offset. */
EXPORT("locate") int32_t locate(uint32_t position)
{
    uint32_t low = 0, high = count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (records[middle].offset <= position)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0 || position >= records[low - 1].end)
        return -1;
    return (int32_t)(low - 1);
}
