/*
 * The inspector page's reader: vantrel_reader.h and vantrel_schema.h
 * compiled to WebAssembly.
 *
 * The page copies a file's bytes into the buffer prepare() returns and
 * calls walk(); the walk is the header's iterator, so the verdict, the
 * fault's offset and reason and the tags listed before a fault are the ones
 * vantrel-dump gives for the same file.  Every rule of the format is
 * applied here: the page's JavaScript only renders the records below (each
 * tag's byte ranges and fields) and the verdict.
 *
 * A schema is read the same way (prepare_schema(), read_schema()), and a
 * blob walked after it gets its declarations' names and, through check(),
 * the checker's violations as vantrel-dump --schema reports them.
 *
 * Memory: the static data, then at the heap base the schema's text, its
 * declarations and its seen marks (when a schema is read), then the file's
 * bytes, then the table of records, which grows at the top of memory as
 * the walk goes, and after it the violations a check finds.  A schema read
 * anew moves the file's place: the page opens the file again after it.
 */
#include <stdint.h>

#include "dump_piece.h"
#include "vantrel_reader.h"
#include "vantrel_schema.h"

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
    uint32_t decl;      /* a tag of the outer block: the schema's declaration of its id, else NONE */
    uint32_t type_decl; /* a data block of the outer block: the `type` declaration of its type, else NONE */
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

/* The schema: its text at the heap base, read when schema_read is set. */
static char *schema_text;
static uint32_t schema_size;
static vantrel_schema schema;
static int schema_read;
static uint8_t *seen;
static uint8_t *schema_end; /* the first byte after the schema's memory */
static uint32_t schema_error_at;
static char schema_reason[VANTREL_SCHEMA_REASON_SIZE];

/* One violation a check found: the record of its tag (the end tag's for
 * a missing one), its declaration and its schema fault code. */
typedef struct violation {
    uint32_t record, decl, code;
} violation;
static violation *violations;
static uint32_t violation_total;

/* Room for a text an export hands out: a reason, a name. */
static char text_out[VANTREL_SCHEMA_REASON_SIZE];

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

static uint64_t align16(uint64_t at) { return (at + 15u) & ~(uint64_t)15u; }

static uint64_t heap_start(void) { return align16((uintptr_t)&__heap_base); }

/* Room for a file of `size` bytes: where to copy it, or 0 when memory
 * cannot hold it.  Forgets the previous file. */
EXPORT("prepare") uint8_t *prepare(uint32_t size)
{
    uint64_t base = schema_read ? align16((uintptr_t)schema_end) : heap_start();
    uint64_t table = align16(base + size);
    count = capacity = 0;
    violation_total = 0;
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
    r->decl = r->type_decl = NONE;
    /* The names vantrel-dump --schema gives: the outer block's tags'. */
    if (schema_read && tag->depth == 0 && tag->code != VANTREL_TAG_START && tag->code != VANTREL_TAG_END) {
        r->decl = vantrel_schema_find_id(&schema, tag->id);
        if (tag->code == VANTREL_TAG_DATA_BLOCK)
            r->type_decl = vantrel_schema_find_type(&schema, tag->type);
    }
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

/* Why the alignment is not known ("" when it is). */
EXPORT("alignment_why") const char *alignment_why(void)
{
    if (alignment_found != 0 || count == 0)
        return "";
    if (records[0].tag_size == VANTREL_START_MIN)
        return "a start tag of 16 bytes stands in blobs of alignment 8 and 16, and the end tag that tells them "
               "apart was not reached";
    return "the start tag's tag_size is no alignment (a power of two from 8 on)";
}

/* Whether a file's first word (read little-endian) is a start tag code in
 * either byte order: whether the file is a blob at all. */
EXPORT("is_start_code") int32_t is_start_code(uint32_t word)
{
    return word == VANTREL_TAG_START || word == VANTREL_TAG_START_SWAPPED;
}

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
RECORD_FIELD(decl)
RECORD_FIELD(type_decl)

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

/* The field the byte at `position` is part of, as the format names it:
 * "tag" (the code), "tag_size", a start tag's "length" and "reserved",
 * "id", "size", "type", "value", an integer's "reserved", "payload", a
 * string's "terminator", "fill"; "" for a byte of no tag listed. */
EXPORT("field_at") const char *field_at(uint32_t position)
{
    int32_t i = locate(position);
    const record *r;
    uint32_t at;
    if (i < 0)
        return "";
    r = &records[i];
    at = position - r->offset;
    if (at < VANTREL_HDR_TAG_SIZE)
        return "tag";
    if (at < VANTREL_HDR_SIZE)
        return "tag_size";
    if (position >= r->payload_at && position < r->payload_end)
        return "payload";
    switch (r->kind) {
    case VANTREL_KIND_START:
        return at < VANTREL_START_RESERVED ? "length" : at < VANTREL_START_MIN ? "reserved" : "fill";
    case VANTREL_KIND_STRING:
        if (at < VANTREL_STRING_SIZE)
            return "id";
        if (at < VANTREL_STRING_DATA)
            return "size";
        return position == r->data_at + r->size ? "terminator" : "fill";
    case VANTREL_KIND_INTEGER:
        return at < VANTREL_INTEGER_ID ? "value" : at < VANTREL_INTEGER_RESERVED ? "id"
             : at < VANTREL_INTEGER_MIN ? "reserved" : "fill";
    case VANTREL_KIND_DATA_BLOCK:
        return at < VANTREL_DATA_ID ? "type" : at < VANTREL_DATA_SIZE ? "id" : at < VANTREL_DATA_DATA ? "size" : "fill";
    default:
        return "fill";
    }
}

/* ------------------------------------------------------------- the schema */

/* Room for a schema text of `size` bytes at the heap base: where to copy
 * it, or 0.  Forgets the schema before and the file (whose place moves). */
EXPORT("prepare_schema") char *prepare_schema(uint32_t size)
{
    uint64_t base = heap_start();
    schema_read = 0;
    schema_text = 0;
    schema_size = 0;
    prepare(0);
    if (!reach(base + size))
        return 0;
    schema_text = (char *)(uintptr_t)base;
    schema_size = size;
    return schema_text;
}

/* Reads the prepared text: 0, a schema error code (schema_error_line,
 * schema_error_reason), or -1 when memory cannot hold its declarations. */
EXPORT("read_schema") int32_t read_schema(void)
{
    uint32_t capacity_needed = vantrel_schema_count(schema_text, schema_size);
    uint64_t at = align16((uintptr_t)schema_text + schema_size);
    uint64_t marks_at = align16(at + ((uint64_t)capacity_needed + 1u) * sizeof(vantrel_schema_decl));
    vantrel_schema_error error;
    int code;
    schema_error_at = 0;
    schema_reason[0] = '\0';
    if (schema_text == 0 || !reach(marks_at))
        return -1;
    code = vantrel_schema_read(&schema, (vantrel_schema_decl *)(uintptr_t)at, capacity_needed, schema_text,
                               schema_size, &error);
    if (code != 0) {
        schema_error_at = error.line;
        vantrel_schema_error_describe(&error, schema_reason);
        return code;
    }
    if (!reach(marks_at + vantrel_schema_seen_size(&schema)))
        return -1;
    seen = (uint8_t *)(uintptr_t)marks_at;
    schema_end = seen + vantrel_schema_seen_size(&schema);
    schema_read = 1;
    return 0;
}

/* Forgets the schema (and the file, whose place moves). */
EXPORT("drop_schema") void drop_schema(void)
{
    schema_read = 0;
    prepare(0);
}

EXPORT("schema_loaded") int32_t schema_loaded(void) { return schema_read; }
EXPORT("schema_error_line") uint32_t schema_error_line(void) { return schema_error_at; }
EXPORT("schema_error_reason") const char *schema_error_reason(void) { return schema_reason; }
EXPORT("schema_count") uint32_t schema_count(void) { return schema_read ? schema.count : 0; }

/* A declaration's name, zero-terminated ("" for NONE), valid until the
 * next text an export hands out. */
EXPORT("decl_name") const char *decl_name(uint32_t decl)
{
    uint32_t n = 0;
    if (schema_read && decl < schema.count) {
        n = schema.decls[decl].name_length;
        memcpy(text_out, schema.decls[decl].name, n);
    }
    text_out[n] = '\0';
    return text_out;
}

/* Where the page writes a name to look up, and how many bytes it holds. */
EXPORT("name_room") char *name_room(void) { return text_out; }
EXPORT("name_room_size") uint32_t name_room_size(void) { return sizeof text_out; }

/* The tag declaration named by the `length` bytes in name_room(), or NONE
 * (also for a type's or a const's name). */
EXPORT("find_tag_name") uint32_t find_tag_name(uint32_t length)
{
    uint32_t decl;
    if (!schema_read || length > VANTREL_SCHEMA_NAME_MAX)
        return NONE;
    decl = vantrel_schema_find_name(&schema, text_out, length);
    return decl != NONE && vantrel_schema_tag_code(schema.decls[decl].kind) != 0 ? decl : NONE;
}

/* The tag code of a record's kind. */
static uint32_t code_of(uint32_t kind)
{
    static const uint32_t codes[VANTREL_KIND_COUNT] = {VANTREL_TAG_END, VANTREL_TAG_START, VANTREL_TAG_STRING,
                                                       VANTREL_TAG_INTEGER, VANTREL_TAG_DATA_BLOCK};
    return kind < VANTREL_KIND_COUNT ? codes[kind] : VANTREL_TAG_END;
}

static int keep(uint32_t record_index, uint32_t decl, int code)
{
    violation *v = &violations[violation_total];
    if (!reach((uintptr_t)(v + 1)))
        return 0;
    v->record = record_index;
    v->decl = decl;
    v->code = (uint32_t)code;
    ++violation_total;
    return 1;
}

/* Checks the walked file against the schema, as vantrel-dump --schema
 * does: every tag as the walk hands it out, the missing ones at the outer
 * end tag, every violation kept.  Only for a well-formed file walked
 * whole.  The number of violations, or -1 when memory ran out. */
EXPORT("check") int32_t check(void)
{
    vantrel_schema_checker checker;
    vantrel_reader walker;
    vantrel_tag tag;
    uint32_t index = 0, decl;
    int code;
    violation_total = 0;
    if (!schema_read || count == 0 || reader.walk.fault_code != VANTREL_E_NONE)
        return 0;
    violations = (violation *)(uintptr_t)align16((uintptr_t)(records + count));
    vantrel_schema_begin(&checker, &schema, seen);
    vantrel_reader_init(&walker, blob, blob_size, 0);
    for (; vantrel_reader_next(&walker, &tag) > 0; ++index) {
        if (tag.code == VANTREL_TAG_END && tag.depth == 0) {
            while (vantrel_schema_end(&checker, &decl) != 0)
                if (!keep(index, decl, VANTREL_SF_MISSING))
                    return -1;
            continue;
        }
        code = vantrel_schema_tag(&checker, &tag, &decl);
        if (code != 0 && !keep(index, decl, code))
            return -1;
    }
    return (int32_t)violation_total;
}

EXPORT("violation_count") uint32_t violation_count(void) { return violation_total; }

EXPORT("violation_record") uint32_t violation_record(uint32_t i)
{
    return i < violation_total ? violations[i].record : NONE;
}

EXPORT("violation_decl") uint32_t violation_decl(uint32_t i)
{
    return i < violation_total ? violations[i].decl : NONE;
}

/* A violation's reason as vantrel_schema_describe writes it. */
EXPORT("violation_reason") const char *violation_reason(uint32_t i)
{
    const record *r;
    vantrel_tag tag;
    text_out[0] = '\0';
    if (i >= violation_total)
        return text_out;
    r = &records[violations[i].record];
    memset(&tag, 0, sizeof tag);
    tag.offset = r->offset;
    tag.code = code_of(r->kind);
    tag.id = r->id;
    tag.type = r->type;
    tag.size = r->size;
    tag.value = (uint64_t)r->value_high << 32 | r->value_low;
    return vantrel_schema_describe(&schema, (int)violations[i].code, violations[i].decl,
                                   violations[i].code == VANTREL_SF_MISSING ? 0 : &tag, text_out);
}
