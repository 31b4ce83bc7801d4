/*
 * vantrel_reader.h - the tag blob format, and a checked reader for it.
 *
 * Header only, valid C99 and C++, freestanding: it includes <stdint.h>,
 * <stddef.h> and <string.h>, allocates nothing, keeps no global state and
 * does no I/O.  Firmware compiles it in without linking libvantrel.  What a
 * bare-metal build links: memcpy (word loads; with GCC also copies of a
 * vantrel_tag) and memset (GCC clearing a vantrel_tag), and on a Cortex-M0
 * libgcc's __gnu_thumb1_case_uqi (switch tables).  Blobs need no
 * particular alignment in memory.
 *
 * A tag blob is a start tag, any number of string, integer and data block
 * tags, and an end tag.  Every tag begins with the same 8-byte header (code,
 * whole size); words are stored in the byte order of the machine that wrote
 * the blob, and a reader tells the order from the start tag's code.  The
 * codes, layouts, kinds and fault texts (vantrel_format.h, included here)
 * and the checks below are the one definition of the format: the builder,
 * the data compiler and the dump utility all use them.
 *
 * What a reader accepts is exactly what vantrel-dump lists without a fault:
 *   - the blob's own start tag has a zero reserved word; when its tag_size is
 *     an alignment the builder pads it to (a power of two from 32 to
 *     VANTREL_ALIGN_MAX) and not above its length, the first tag stands at
 *     tag_size, otherwise right after its four words;
 *   - each tag's tag_size is at least 8 and fits in what its block has left;
 *   - an end tag closes its block exactly; a start tag inside a blob opens a
 *     nested block whose length is at least 16, fits in what the enclosing
 *     block has left and is charged to it whole; nested blocks go at most
 *     VANTREL_MAX_DEPTH levels deep;
 *   - every field and payload byte lies inside the given bytes.  Like the
 *     dump, the reader does not require a payload to stay inside its own
 *     tag_size, nor fill, terminators or an integer's reserved word to be
 *     zero.
 *
 * Calling order.  Either
 *   vantrel_check() once for a verdict (0, or a fault code), then any
 *   number of vantrel_checked_find() / vantrel_checked_get_*() look-ups and
 *   vantrel_checked_first() / _next() walks, which need no more checking
 *   and no stack for open blocks, or
 *   vantrel_reader_init(), then vantrel_reader_next() until it returns 0
 *   (done) or -1 (fault): each tag checked as it is handed out, or
 *   one of the checking look-ups (vantrel_find, vantrel_get_integer, ...),
 *   which check the whole blob on every call.
 * Streaming readers that hold one tag at a time (vantrel-dump) drive the
 * same checks through the vantrel_walk_* steps.
 *
 * Bytes that change while they are read (shared memory, a DMA buffer):
 * nothing here reads outside the size it was given or loops, whatever the
 * bytes become.  The iterator checks each tag as it hands it out; the
 * checked walks and look-ups stop (-1, VANTREL_BAD_BLOB) where a tag would
 * leave the bytes.  Values read from bytes that changed after they were
 * checked are whatever the bytes then hold.
 *
 * Threads: no global state; any number of threads may read one blob, each
 * with its own vantrel_reader.
 */
/* Nested start tags deeper than this are refused.  A caller may define it
 * before including this header to bound the stack the reader takes (4
 * bytes a level): firmware that checks blobs with VANTREL_MAX_DEPTH 16
 * keeps vantrel_check within 256 bytes of stack.  Define it the same way
 * in every file of a program.  The default is what vantrel-dump keeps.
 *
 * Within one file the bound is fixed by the first inclusion: including
 * this header again with VANTREL_MAX_DEPTH defined otherwise is a compile
 * error ("size of array is negative", naming
 * vantrel_max_depth_differs_from_the_first_inclusion), not a warning, so
 * that a bound defined too late cannot silently leave the default. */
#ifndef VANTREL_MAX_DEPTH
#define VANTREL_MAX_DEPTH 1024u
#endif

#ifndef VANTREL_READER_H
#define VANTREL_READER_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "vantrel_format.h"

/* The bound this file's reader is compiled with. */
enum { VANTREL_MAX_DEPTH_COMPILED_ = VANTREL_MAX_DEPTH };

#ifdef __cplusplus
extern "C" {
#endif

/* The walk's steps are small and run once per tag: inlined, the loops
 * built on them keep their state in registers.  Built for size (-Os), the
 * compiler chooses, so that each loop keeps one copy of them. */
#if defined(__GNUC__) && !defined(__OPTIMIZE_SIZE__)
#define VANTREL_STEP static inline __attribute__((always_inline))
#else
#define VANTREL_STEP static inline
#endif

/* ------------------------------------------------------- tags, results */

/* Flags of a walk. */
#define VANTREL_ALLOW_NESTED_RESERVED 1u /* a nested start tag may have a non-zero reserved word */

/* Results of the look-ups. */
#define VANTREL_OK        0 /* found, and the blob is well formed */
#define VANTREL_BAD_BLOB  1 /* the blob is not well formed (vantrel_check says why) */
#define VANTREL_NOT_FOUND 2 /* no tag of the outer block has that id */
#define VANTREL_WRONG_KIND 3 /* the first tag with that id is of another kind */

/* One tag, its fields in host order.  Which fields mean something depends
 * on `code`; the others are 0.
 *   start       length, reserved  (depth: the level of the block it opens)
 *   end         -                 (depth: the level of the block it closes)
 *   string      id, size, payload (size characters; not zero-terminated)
 *   integer     id, value
 *   data block  id, type, size, payload (size bytes)
 * `depth` is 0 for the blob's own start and end tags and the tags of its
 * outer block, 1 for a block nested in it and its tags, and so on.
 * `payload` points into the blob given to the memory reader; streaming
 * walks leave it null. */
typedef struct vantrel_tag {
    uint64_t offset;   /* the tag's first byte, from the blob's first byte */
    uint64_t value;
    const uint8_t *payload;
    uint32_t code;
    uint32_t tag_size;
    uint32_t depth;
    uint32_t id;
    uint32_t type;
    uint32_t size;
    uint32_t length;
    uint32_t reserved;
} vantrel_tag;

/* --------------------------------------------------------- words in order */

VANTREL_STEP uint32_t vantrel_swap32(uint32_t w)
{
    return (w >> 24) | ((w >> 8) & 0x0000FF00u) | ((w << 8) & 0x00FF0000u) | (w << 24);
}

/* A 64-bit word of the other order is reversed as one 8-byte unit. */
VANTREL_STEP uint64_t vantrel_swap64(uint64_t w)
{
    return ((uint64_t)vantrel_swap32((uint32_t)w) << 32) | vantrel_swap32((uint32_t)(w >> 32));
}

VANTREL_STEP uint32_t vantrel_load32(const void *at, int swapped)
{
    uint32_t w;
    memcpy(&w, at, sizeof w);
    return swapped ? vantrel_swap32(w) : w;
}

VANTREL_STEP uint64_t vantrel_load64(const void *at, int swapped)
{
    uint64_t w;
    memcpy(&w, at, sizeof w);
    return swapped ? vantrel_swap64(w) : w;
}

/* A tag with nothing decoded yet. */
VANTREL_STEP void vantrel_tag_clear_(vantrel_tag *tag, uint64_t offset, uint32_t depth)
{
    tag->offset = offset;
    tag->value = 0;
    tag->payload = NULL;
    tag->code = tag->tag_size = tag->id = tag->type = tag->size = tag->length = tag->reserved = 0;
    tag->depth = depth;
}

/* The fields after the header of a tag whose code is known; `tag_bytes` is
 * the tag's first byte. */
VANTREL_STEP void vantrel_decode_fields_(const uint8_t *b, int swapped, vantrel_tag *tag)
{
    switch (tag->code) {
    case VANTREL_TAG_START:
        tag->length = vantrel_load32(b + VANTREL_START_LENGTH, swapped);
        tag->reserved = vantrel_load32(b + VANTREL_START_RESERVED, swapped);
        break;
    case VANTREL_TAG_STRING:
        tag->id = vantrel_load32(b + VANTREL_STRING_ID, swapped);
        tag->size = vantrel_load32(b + VANTREL_STRING_SIZE, swapped);
        break;
    case VANTREL_TAG_INTEGER:
        /* The reserved word is never looked at. */
        tag->value = vantrel_load64(b + VANTREL_INTEGER_VALUE, swapped);
        tag->id = vantrel_load32(b + VANTREL_INTEGER_ID, swapped);
        break;
    case VANTREL_TAG_DATA_BLOCK:
        tag->type = vantrel_load32(b + VANTREL_DATA_TYPE, swapped);
        tag->id = vantrel_load32(b + VANTREL_DATA_ID, swapped);
        tag->size = vantrel_load32(b + VANTREL_DATA_SIZE, swapped);
        break;
    default:
        break;
    }
}

/* Where the tag after `tag` begins.  A nested block's tags follow its start
 * tag's four words, fill or not; every other tag is followed at its
 * tag_size, whatever its fields and payload ran over. */
VANTREL_STEP uint64_t vantrel_tag_following(const vantrel_tag *tag)
{
    return tag->code == VANTREL_TAG_START ? tag->offset + VANTREL_START_MIN : tag->offset + tag->tag_size;
}

/* ------------------------------------------------------------- the walk */

/* The state of one walk over a blob: the blocks open at `at` and what each
 * has left.  What each enclosing block has left lives in words the caller
 * provides (one a level, max_depth of them), so that the walk itself stays
 * small enough to live in registers.  Every field may be read; none may be
 * written but through vantrel_walk_fail and vantrel_walk_fail_text. */
typedef struct vantrel_walk {
    uint64_t at;             /* where the next tag begins */
    uint64_t fault_offset;   /* after a fault: where the dump reports it */
    const char *fault_reason;/* after a fault: its text (vantrel_fault_text); else null */
    int fault_code;          /* after a fault: its code (enum vantrel_fault_code); else 0 */
    uint32_t fault_value;    /* unknown tag: the code; nested reserved: the word */
    uint32_t remaining;      /* bytes from `at` to the end of the innermost block */
    uint32_t room;           /* what the block had left before the current tag */
    uint32_t depth;          /* blocks open inside the outer one */
    uint32_t max_depth;      /* how many the caller's words can hold */
    uint32_t flags;          /* VANTREL_ALLOW_NESTED_RESERVED */
    uint32_t swapped;        /* 1 when the blob is of the other byte order */
    uint32_t done;           /* 1 once the outer block's end tag was taken */
    uint32_t *enclosing;     /* each enclosing block's rest, max_depth words */
} vantrel_walk;

/* Records a fault: its offset, its code and, for the codes that have one,
 * its number.  Returns 1.  A streaming reader whose read comes up short
 * records VANTREL_E_EOF at the place the read ended. */
VANTREL_STEP int vantrel_walk_fail(vantrel_walk *w, uint64_t offset, int code, uint32_t value)
{
    w->fault_offset = offset;
    w->fault_code = code;
    w->fault_reason = vantrel_fault_text(code);
    w->fault_value = value;
    return 1;
}

/* Records a fault of the caller's own (a streaming reader's input, say):
 * `code` from VANTREL_E_CALLER_FIRST to VANTREL_E_CALLER_LAST, `text` a
 * string that outlives the walk, which fault_reason then holds.  Returns
 * 1; a code outside the callers' range is recorded as
 * VANTREL_E_CALLER_FIRST. */
VANTREL_STEP int vantrel_walk_fail_text(vantrel_walk *w, uint64_t offset, int code, const char *text)
{
    w->fault_offset = offset;
    w->fault_code = code >= VANTREL_E_CALLER_FIRST && code <= VANTREL_E_CALLER_LAST ? code : VANTREL_E_CALLER_FIRST;
    w->fault_reason = text;
    w->fault_value = 0;
    return 1;
}

/*
 * The steps of a walk.  Each returns 0, or 1 after a fault recorded in the
 * walk.  A streaming reader calls, for a blob whose first 16 bytes it has:
 *
 *   vantrel_walk_begin(w, stack, n, first16, flags, &tag)  the start tag
 *                       (stack: n words, kept as long as w; n nested
 *                       levels at most)
 *   then for each tag, while !w->done:
 *     vantrel_walk_room(w)                            before reading a header
 *     read 8 bytes at w->at
 *     vantrel_walk_header(w, header, &tag, &n)        n field bytes follow
 *     if n: read n bytes at tag.offset + 8,
 *           vantrel_walk_fields(w, fields, &tag)
 *     string and data block: tag.size payload bytes at
 *           tag.offset + VANTREL_STRING_DATA or VANTREL_DATA_DATA
 *
 * A read that comes up short is the caller's fault to record:
 * vantrel_walk_fail(w, where the read ended, VANTREL_E_EOF, 0).
 * After each step w->at tells where the next tag begins.
 */

/* Where the first tag after the blob's own start tag begins.  A blob of
 * alignment 32 or more pads its start tag with zeros, which are no tag: its
 * first tag stands at tag_size.  Only an alignment the builder writes (a
 * power of two up to VANTREL_ALIGN_MAX) that the length can hold is taken
 * as one; for any other tag_size the first tag follows the start tag's four
 * words, so that a damaged size word skips nothing. */
VANTREL_STEP uint32_t vantrel_first_tag_offset(uint32_t tag_size, uint32_t length)
{
    int aligned = tag_size > VANTREL_START_MIN && tag_size <= VANTREL_ALIGN_MAX && (tag_size & (tag_size - 1)) == 0;
    return aligned && tag_size <= length ? tag_size : VANTREL_START_MIN;
}

/* The blob's start tag: its code tells the byte order.  Faults, all at
 * offset 0: VANTREL_E_NO_START, VANTREL_E_START_RESERVED.  `tag` receives
 * the start tag (depth 0).  Nested blocks may go `max_depth` levels deep,
 * with one word of `enclosing` each. */
VANTREL_STEP int vantrel_walk_begin(vantrel_walk *w, uint32_t *enclosing, uint32_t max_depth, const void *first16,
                                     uint32_t flags, vantrel_tag *tag)
{
    const uint8_t *b = (const uint8_t *)first16;
    uint32_t code, length, tag_size;
    vantrel_tag_clear_(tag, 0, 0);
    w->fault_reason = NULL;
    w->fault_code = VANTREL_E_NONE;
    w->fault_offset = 0;
    w->fault_value = 0;
    w->depth = 0;
    w->max_depth = max_depth;
    w->flags = flags;
    w->done = 0;
    w->enclosing = enclosing;
    memcpy(&code, b, sizeof code);
    if (code != VANTREL_TAG_START && code != VANTREL_TAG_START_SWAPPED)
        return vantrel_walk_fail(w, 0, VANTREL_E_NO_START, 0);
    w->swapped = code == VANTREL_TAG_START_SWAPPED;
    tag->code = VANTREL_TAG_START;
    tag->tag_size = tag_size = vantrel_load32(b + VANTREL_HDR_TAG_SIZE, (int)w->swapped);
    tag->length = length = vantrel_load32(b + VANTREL_START_LENGTH, (int)w->swapped);
    tag->reserved = vantrel_load32(b + VANTREL_START_RESERVED, (int)w->swapped);
    if (tag->reserved != 0)
        return vantrel_walk_fail(w, 0, VANTREL_E_START_RESERVED, 0);
    w->at = vantrel_first_tag_offset(tag_size, length);
    /* A length below 16 leaves a count that wraps around 2^32, as the
     * dump's unsigned arithmetic has it. */
    w->remaining = length - (uint32_t)w->at;
    return 0;
}

/* Before the next tag's header: the block must have room for one.
 * Faults at w->at: VANTREL_E_MISSING_END, VANTREL_E_START_LENGTH. */
VANTREL_STEP int vantrel_walk_room(vantrel_walk *w)
{
    if (w->remaining == 0)
        return vantrel_walk_fail(w, w->at, VANTREL_E_MISSING_END, 0);
    if (w->remaining < VANTREL_HDR_SIZE)
        return vantrel_walk_fail(w, w->at, VANTREL_E_START_LENGTH, 0);
    return 0;
}

/* The 8 header bytes of the tag at w->at.  Sets *field_bytes to how many
 * bytes of fields follow the header (0 for an end tag, which is complete
 * here).  Faults at the tag's first byte plus 8: VANTREL_E_TAG_SIZE,
 * VANTREL_E_JUNK, VANTREL_E_UNKNOWN_TAG (fault_value: the code).  `tag`
 * holds what was decoded, its other fields zero. */
VANTREL_STEP int vantrel_walk_header(vantrel_walk *w, const void *header, vantrel_tag *tag, uint32_t *field_bytes)
{
    const uint8_t *b = (const uint8_t *)header;
    uint32_t size = vantrel_load32(b + VANTREL_HDR_TAG_SIZE, (int)w->swapped);
    uint32_t code;
    vantrel_tag_clear_(tag, w->at, w->depth);
    *field_bytes = 0;
    if (size > w->remaining || size < VANTREL_HDR_SIZE)
        return vantrel_walk_fail(w, w->at + VANTREL_HDR_SIZE, VANTREL_E_TAG_SIZE, 0);
    tag->code = code = vantrel_load32(b + VANTREL_HDR_TAG, (int)w->swapped);
    tag->tag_size = size;
    w->room = w->remaining;
    w->remaining -= size;
    switch (code) {
    case VANTREL_TAG_END:
        if (w->remaining != 0)
            return vantrel_walk_fail(w, w->at + VANTREL_HDR_SIZE, VANTREL_E_JUNK, 0);
        /* Every block is walked to exactly its length, so the enclosing one
         * goes on right after this end tag. */
        w->at = vantrel_tag_following(tag);
        if (w->depth == 0)
            w->done = 1;
        else
            w->remaining = w->enclosing[--w->depth];
        return 0;
    case VANTREL_TAG_START:
        *field_bytes = VANTREL_START_MIN - VANTREL_HDR_SIZE;
        return 0;
    case VANTREL_TAG_STRING:
        *field_bytes = VANTREL_STRING_DATA - VANTREL_HDR_SIZE;
        return 0;
    case VANTREL_TAG_INTEGER:
        *field_bytes = VANTREL_INTEGER_MIN - VANTREL_HDR_SIZE;
        return 0;
    case VANTREL_TAG_DATA_BLOCK:
        *field_bytes = VANTREL_DATA_DATA - VANTREL_HDR_SIZE;
        return 0;
    default:
        return vantrel_walk_fail(w, w->at + VANTREL_HDR_SIZE, VANTREL_E_UNKNOWN_TAG, code);
    }
}

/* The field bytes that follow the header of `tag` (as many as
 * vantrel_walk_header asked for).  A nested start tag opens its block here:
 * faults at its first byte plus 16: VANTREL_E_NESTED_RESERVED (fault_value:
 * the word; not with VANTREL_ALLOW_NESTED_RESERVED), VANTREL_E_START_LENGTH,
 * VANTREL_E_TOO_DEEP.  The tag's fields are in `tag` even after a fault. */
VANTREL_STEP int vantrel_walk_fields(vantrel_walk *w, const void *fields, vantrel_tag *tag)
{
    vantrel_decode_fields_((const uint8_t *)fields - VANTREL_HDR_SIZE, (int)w->swapped, tag);
    if (tag->code == VANTREL_TAG_START) {
        uint64_t inner = tag->offset + VANTREL_START_MIN;
        tag->depth = w->depth + 1;
        if (tag->reserved != 0 && !(w->flags & VANTREL_ALLOW_NESTED_RESERVED))
            return vantrel_walk_fail(w, inner, VANTREL_E_NESTED_RESERVED, tag->reserved);
        /* Charging the enclosing block the nested length keeps every block
         * walked to exactly its length: a block that claimed less would have
         * the walk come back over the same tags again and again. */
        if (tag->length < VANTREL_START_MIN || tag->length > w->room)
            return vantrel_walk_fail(w, inner, VANTREL_E_START_LENGTH, 0);
        if (w->depth >= w->max_depth)
            return vantrel_walk_fail(w, inner, VANTREL_E_TOO_DEEP, 0);
        w->enclosing[w->depth++] = w->room - tag->length;
        w->remaining = tag->length - VANTREL_START_MIN;
    }
    w->at = vantrel_tag_following(tag);
    return 0;
}

/* Where a string's characters or a data block's bytes begin, from the
 * tag's first byte; 0 for other tags. */
VANTREL_STEP uint32_t vantrel_payload_offset(uint32_t code)
{
    return code == VANTREL_TAG_STRING ? VANTREL_STRING_DATA
         : code == VANTREL_TAG_DATA_BLOCK ? VANTREL_DATA_DATA : 0;
}

/* Where a tag's header and fields end, from its first byte: a string's or
 * data block's payload begins there.  8 (the header alone) for an end tag
 * and for a code that is none of the five. */
VANTREL_STEP uint32_t vantrel_fields_end(uint32_t code)
{
    switch (code) {
    case VANTREL_TAG_START:
        return VANTREL_START_MIN;
    case VANTREL_TAG_INTEGER:
        return VANTREL_INTEGER_MIN;
    case VANTREL_TAG_STRING:
    case VANTREL_TAG_DATA_BLOCK:
        return vantrel_payload_offset(code);
    default:
        return VANTREL_HDR_SIZE;
    }
}

/* The alignment the builder wrote a blob with, told from its start tag's
 * tag_size and its end tag's: a start tag above 16 bytes is padded to the
 * alignment; one of 16 bytes means 8 or 16, which the end tag's size (8 or
 * 16) settles.  0 when the start tag's size is no alignment the builder
 * writes. */
static inline uint32_t vantrel_blob_alignment(uint32_t start_tag_size, uint32_t end_tag_size)
{
    if (start_tag_size > VANTREL_START_MIN)
        return vantrel_first_tag_offset(start_tag_size, start_tag_size) == start_tag_size ? start_tag_size : 0;
    if (start_tag_size != VANTREL_START_MIN)
        return 0;
    return end_tag_size == VANTREL_START_MIN ? VANTREL_START_MIN : VANTREL_ALIGN_MIN;
}

/* ------------------------------------------------------ the memory reader */

/* A walk over a blob in memory: 4 words a level of VANTREL_MAX_DEPTH and
 * about 150 bytes more (4.2 KiB by default).  Do not copy one that is in
 * use: its walk points into it. */
typedef struct vantrel_reader {
    const uint8_t *blob;
    size_t size;
    uint32_t started; /* the outer start tag has been handed out */
    vantrel_tag start;
    vantrel_walk walk;
    uint32_t enclosing[VANTREL_MAX_DEPTH];
} vantrel_reader;

/* The bytes [at, at + n) of `size` bytes in memory, or a fault where the
 * dump's read would have stopped: at the end of the bytes, or at `at`
 * beyond it. */
VANTREL_STEP int vantrel_memory_need_(vantrel_walk *w, size_t size, uint64_t at, uint64_t n)
{
    /* at and n stay below 2^34 (offsets of u32 sizes), so the sum cannot
     * wrap. */
    if (at + n <= (uint64_t)size)
        return 0;
    return vantrel_walk_fail(w, at > size ? at : (uint64_t)size, VANTREL_E_EOF, 0);
}

/* One tag of a walk over `size` bytes at `blob`, begun and not done:
 * 1 with *tag filled, -1 after a fault, with *tag holding what was decoded
 * of the faulting tag and zeros for the rest.  `tag` must not point into
 * the walk. */
VANTREL_STEP int vantrel_memory_step_(vantrel_walk *w, const uint8_t *blob, size_t size, vantrel_tag *tag)
{
    uint32_t field_bytes, payload;
    if (vantrel_walk_room(w) != 0 || vantrel_memory_need_(w, size, w->at, VANTREL_HDR_SIZE) != 0) {
        vantrel_tag_clear_(tag, 0, 0);
        return -1;
    }
    if (vantrel_walk_header(w, blob + w->at, tag, &field_bytes) != 0)
        return -1;
    if (field_bytes == 0)
        return 1;
    payload = vantrel_payload_offset(tag->code);
    if (vantrel_memory_need_(w, size, tag->offset + VANTREL_HDR_SIZE, field_bytes) != 0 ||
        vantrel_walk_fields(w, blob + tag->offset + VANTREL_HDR_SIZE, tag) != 0)
        return -1;
    if (payload != 0) {
        if (vantrel_memory_need_(w, size, tag->offset + payload, tag->size) != 0)
            return -1;
        tag->payload = blob + tag->offset + payload;
    }
    return 1;
}

/* Begins a walk over `size` bytes at `blob` with the bound, the open
 * blocks' words and the flags already in *w: 0, or 1 with the fault in *w
 * (VANTREL_E_SHORT for fewer than 16 bytes or a null blob, and the start
 * tag's faults).  *start receives the blob's start tag, zero where it was
 * not read. */
VANTREL_STEP int vantrel_memory_begin_(vantrel_walk *w, const void *blob, size_t size, vantrel_tag *start)
{
    w->done = 0;
    w->swapped = 0;
    w->depth = 0;
    if (size < VANTREL_START_MIN || blob == NULL) {
        vantrel_tag_clear_(start, 0, 0);
        return vantrel_walk_fail(w, 0, VANTREL_E_SHORT, 0);
    }
    return vantrel_walk_begin(w, w->enclosing, w->max_depth, blob, w->flags, start);
}

/* Prepares a walk over `size` bytes at `blob`.  flags: 0 or
 * VANTREL_ALLOW_NESTED_RESERVED.  Returns 0, or 1 with the fault in
 * r->walk (at offset 0): VANTREL_E_SHORT, VANTREL_E_NO_START,
 * VANTREL_E_START_RESERVED. */
static inline int vantrel_reader_init(vantrel_reader *r, const void *blob, size_t size, uint32_t flags)
{
    r->blob = (const uint8_t *)blob;
    r->size = size;
    r->started = 0;
    r->walk.enclosing = r->enclosing;
    r->walk.max_depth = VANTREL_MAX_DEPTH;
    r->walk.flags = flags;
    return vantrel_memory_begin_(&r->walk, blob, size, &r->start);
}

/* The next tag, in blob order: first the blob's own start tag, last its end
 * tag; a nested block shows as its start tag, its tags and its end tag.
 * Returns 1 with *tag filled; 0 when the blob's end tag has been handed out;
 * -1 after a fault (the tags before it were handed out), with
 * r->walk.fault_code, fault_offset, fault_reason and fault_value set, and
 * *tag holding what was decoded of the faulting tag, zeros for the rest.
 * Once 0 or -1, it stays so.  Every tag handed out was checked before, and
 * its payload lies inside the bytes, even when they change between calls. */
VANTREL_STEP int vantrel_reader_next(vantrel_reader *r, vantrel_tag *tag)
{
    if (r->walk.fault_code != VANTREL_E_NONE) {
        vantrel_tag_clear_(tag, 0, 0);
        return -1;
    }
    if (!r->started) {
        r->started = 1;
        *tag = r->start;
        return 1;
    }
    if (r->walk.done)
        return 0;
    {
        /* Built in a local, where no store to it can touch the walk, so the
         * walk's fields stay in registers. */
        vantrel_tag t;
        int step = vantrel_memory_step_(&r->walk, r->blob, r->size, &t);
        *tag = t;
        return step;
    }
}

/* The fault of a reader that returned -1, as vantrel_check reports it;
 * returns its code. */
static inline int vantrel_reader_fault(const vantrel_reader *r, uint32_t *fault_offset, const char **fault_reason)
{
    uint64_t at = r->walk.fault_offset;
    if (fault_offset != NULL)
        *fault_offset = at > UINT32_MAX ? UINT32_MAX : (uint32_t)at;
    if (fault_reason != NULL)
        *fault_reason = r->walk.fault_reason;
    return r->walk.fault_code;
}

/* Walks `size` bytes at `blob` from the start tag to the end tag or the
 * first fault, with up to max_depth open blocks kept in `enclosing`.
 * Returns 0 when the bytes are one well-formed blob, else the fault code,
 * with the fault in *w.  *start, when not null, receives the blob's start
 * tag (zero where it was not read).  What vantrel_check and vantrel.hpp's
 * reader run. */
static inline int vantrel_walk_memory(vantrel_walk *w, uint32_t *enclosing, uint32_t max_depth, const void *blob,
                                      size_t size, uint32_t flags, vantrel_tag *start)
{
    vantrel_tag tag;
    int step = 1;
    w->enclosing = enclosing;
    w->max_depth = max_depth;
    w->flags = flags;
    if (vantrel_memory_begin_(w, blob, size, &tag) != 0) {
        if (start != NULL)
            *start = tag;
        return w->fault_code;
    }
    if (start != NULL)
        *start = tag;
    while (step > 0 && !w->done)
        step = vantrel_memory_step_(w, (const uint8_t *)blob, size, &tag);
    return step > 0 ? 0 : w->fault_code;
}

/* The fault of a walk, as vantrel_check reports it; returns its code. */
VANTREL_STEP int vantrel_report_(const vantrel_walk *w, uint32_t *fault_offset, const char **fault_reason)
{
    if (fault_offset != NULL)
        *fault_offset = w->fault_offset > UINT32_MAX ? UINT32_MAX : (uint32_t)w->fault_offset;
    if (fault_reason != NULL)
        *fault_reason = w->fault_reason;
    return w->fault_code;
}

/* vantrel_check with the open blocks in the caller's `stack`, `depth`
 * words: nested blocks may go `depth` levels deep. */
static inline int vantrel_check_with_stack(const void *blob, size_t size, uint32_t *stack, uint32_t depth,
                                           uint32_t *fault_offset, const char **fault_reason)
{
    vantrel_walk w;
    if (vantrel_walk_memory(&w, stack, depth, blob, size, 0, NULL) == 0)
        return 0;
    return vantrel_report_(&w, fault_offset, fault_reason);
}

/* Whether `size` bytes at `blob` are one well-formed blob: 0 when they are,
 * else the fault code (a positive number), with the offset and reason
 * vantrel-dump reports for the same bytes in a file (an offset past
 * 0xFFFFFFFF reads as 0xFFFFFFFF).  For fewer than 16 bytes, no start tag
 * and a non-zero reserved word in the blob's own start tag the offset is 0.
 * For an unknown tag the reason is VANTREL_FAULT_UNKNOWN_TAG; the code is
 * the word 8 bytes before the offset.  fault_offset and fault_reason may be
 * null; on 0 they are left alone.  Takes 4 bytes of stack a level of
 * VANTREL_MAX_DEPTH for the open blocks. */
static inline int vantrel_check(const void *blob, size_t size, uint32_t *fault_offset, const char **fault_reason)
{
    uint32_t stack[VANTREL_MAX_DEPTH];
    return vantrel_check_with_stack(blob, size, stack, VANTREL_MAX_DEPTH, fault_offset, fault_reason);
}

/* ---------------------------------------------------- on a checked blob */

/*
 * Once vantrel_check has accepted the bytes, they can be walked and
 * searched without the open blocks' stack: every block of a checked blob is
 * walked to exactly its length, so the tag after an end tag is where the
 * enclosing block goes on, and a nested block ends at its start tag's
 * offset plus its length.
 *
 * Bytes that change after the check (a blob in shared memory, a DMA buffer)
 * cannot make these functions read or hand out anything outside the `size`
 * bytes, nor loop: each step checks that the tag's header, fields and
 * payload lie inside them and that the walk moves forward, and stops with
 * -1 (VANTREL_BAD_BLOB for the look-ups) where they do not.  What they hand
 * out from changed bytes is then whatever the bytes hold.
 */

/* Decodes the tag at `at` of a checked blob: 1, or -1 when the tag's
 * header, fields or payload would lie outside the bytes or its tag_size
 * cannot move the walk forward. */
VANTREL_STEP int vantrel_checked_tag_(const uint8_t *blob, size_t size, int swapped, uint64_t at, uint32_t depth,
                                      vantrel_tag *tag)
{
    const uint8_t *b;
    uint32_t payload;
    uint64_t end;
    /* The offset is tested before a pointer is formed from it: with 32-bit
     * pointers blob + at could wrap. */
    if (at + VANTREL_HDR_SIZE > size)
        return -1;
    b = blob + at;
    vantrel_tag_clear_(tag, at, depth);
    tag->code = vantrel_load32(b + VANTREL_HDR_TAG, swapped);
    tag->tag_size = vantrel_load32(b + VANTREL_HDR_TAG_SIZE, swapped);
    switch (tag->code) {
    case VANTREL_TAG_END:
    case VANTREL_TAG_START:
    case VANTREL_TAG_INTEGER:
    case VANTREL_TAG_STRING:
    case VANTREL_TAG_DATA_BLOCK:
        break;
    default:
        return -1;
    }
    /* The fields first; the payload's end is checked once its size is
     * read. */
    end = at + vantrel_fields_end(tag->code);
    if (end > size)
        return -1;
    vantrel_decode_fields_(b, swapped, tag);
    payload = vantrel_payload_offset(tag->code);
    end += tag->size;
    if (tag->code == VANTREL_TAG_START) {
        tag->depth = depth + 1;
        return 1;
    }
    if (tag->tag_size < VANTREL_HDR_SIZE)
        return -1;
    /* An end tag's fill is never read; every other tag of a checked blob is
     * followed by an end tag's header at least, so it lies inside the
     * bytes whole, as its payload does. */
    if (tag->code != VANTREL_TAG_END && tag->tag_size > end - at)
        end = at + tag->tag_size;
    if (end > size)
        return -1;
    if (payload != 0)
        tag->payload = b + payload;
    return 1;
}

/* The blob's start tag, into *tag: 1, or -1 (*tag all zero) for fewer
 * than 16 bytes or a first word that is no longer a start tag code. */
static inline int vantrel_checked_first(const void *blob, size_t size, vantrel_tag *tag)
{
    const uint8_t *b = (const uint8_t *)blob;
    if (blob == NULL || size < VANTREL_START_MIN ||
        vantrel_checked_tag_(b, size, vantrel_load32(b, 0) == VANTREL_TAG_START_SWAPPED, 0, 0, tag) < 0 ||
        tag->code != VANTREL_TAG_START) {
        vantrel_tag_clear_(tag, 0, 0);
        return -1;
    }
    tag->depth = 0;
    return 1;
}

/* Turns *tag, a tag of the checked blob, into the tag after it: 1, or 0
 * when *tag is the blob's end tag, or -1 when the bytes changed so that the
 * next tag does not lie inside them. */
VANTREL_STEP int vantrel_checked_next(const void *blob, size_t size, vantrel_tag *tag)
{
    const uint8_t *b = (const uint8_t *)blob;
    int swapped = vantrel_load32(b, 0) == VANTREL_TAG_START_SWAPPED;
    uint64_t at;
    uint32_t depth = tag->depth;
    if (tag->code == VANTREL_TAG_END) {
        if (depth == 0)
            return 0;
        --depth;
    }
    if (tag->offset == 0)
        at = vantrel_first_tag_offset(tag->tag_size, tag->length);
    else
        at = vantrel_tag_following(tag);
    return vantrel_checked_tag_(b, size, swapped, at, depth, tag);
}

/* --------------------------------------------------------------- look-ups */

/*
 * The look-up rule, the same in vantrel.hpp: a look-up by id finds the
 * first string, integer or data block tag of the blob's outer block with
 * that id.  Tags inside nested blocks are not searched.  A typed getter
 * whose first tag with the id is of another kind reports
 * VANTREL_WRONG_KIND; it does not search on for one of its kind.
 *
 * vantrel_checked_find and the vantrel_checked_get_* getters take bytes
 * that vantrel_check accepted: one forward walk, constant memory.
 * vantrel_find and vantrel_get_* check the whole blob first, then do the
 * same.
 */

/* The walk of vantrel_checked_find, in *t: the tag found on VANTREL_OK,
 * anything on the other results. */
VANTREL_STEP int vantrel_checked_search_(const void *blob, size_t size, uint32_t id, vantrel_tag *t)
{
    const uint8_t *b = (const uint8_t *)blob;
    int swapped;
    uint64_t at;
    if (vantrel_checked_first(blob, size, t) < 0)
        return VANTREL_BAD_BLOB;
    swapped = vantrel_load32(b, 0) == VANTREL_TAG_START_SWAPPED;
    at = vantrel_first_tag_offset(t->tag_size, t->length);
    for (;;) {
        if (vantrel_checked_tag_(b, size, swapped, at, 0, t) < 0)
            return VANTREL_BAD_BLOB;
        switch (t->code) {
        case VANTREL_TAG_END:
            return VANTREL_NOT_FOUND;
        case VANTREL_TAG_START:
            /* A nested block is not searched: it ends at its length. */
            if (t->length < VANTREL_START_MIN)
                return VANTREL_BAD_BLOB;
            at += t->length;
            break;
        default:
            if (t->id == id)
                return VANTREL_OK;
            at += t->tag_size;
            break;
        }
    }
}

/* The first tag of the outer block with this id, in a checked blob:
 * VANTREL_OK with *tag filled, VANTREL_NOT_FOUND, or VANTREL_BAD_BLOB when
 * the bytes changed after the check (see above).  *tag is written only on
 * VANTREL_OK. */
static inline int vantrel_checked_find(const void *blob, size_t size, uint32_t id, vantrel_tag *tag)
{
    vantrel_tag t;
    int found = vantrel_checked_search_(blob, size, id, &t);
    if (found == VANTREL_OK)
        *tag = t;
    return found;
}

/* What a typed getter gives of the tag a look-up found (`found`, its
 * result): VANTREL_WRONG_KIND for a tag of another kind, and the
 * outputs written only on VANTREL_OK. */
VANTREL_STEP int vantrel_integer_of_(int found, const vantrel_tag *t, uint64_t *value)
{
    if (found == VANTREL_OK && t->code != VANTREL_TAG_INTEGER)
        return VANTREL_WRONG_KIND;
    if (found == VANTREL_OK)
        *value = t->value;
    return found;
}

VANTREL_STEP int vantrel_string_of_(int found, const vantrel_tag *t, const char **text, uint32_t *length)
{
    if (found == VANTREL_OK && t->code != VANTREL_TAG_STRING)
        return VANTREL_WRONG_KIND;
    if (found == VANTREL_OK) {
        *text = (const char *)t->payload;
        *length = t->size;
    }
    return found;
}

VANTREL_STEP int vantrel_data_of_(int found, const vantrel_tag *t, const void **data, uint32_t *data_size,
                                  uint32_t *type)
{
    if (found == VANTREL_OK && t->code != VANTREL_TAG_DATA_BLOCK)
        return VANTREL_WRONG_KIND;
    if (found == VANTREL_OK) {
        *data = t->payload;
        *data_size = t->size;
        if (type != NULL)
            *type = t->type;
    }
    return found;
}

/* The value of the integer tag with this id, in a checked blob.  Returns
 * VANTREL_OK, VANTREL_NOT_FOUND, VANTREL_WRONG_KIND or (bytes changed since
 * the check) VANTREL_BAD_BLOB; *value is written only on VANTREL_OK. */
static inline int vantrel_checked_get_integer(const void *blob, size_t size, uint32_t id, uint64_t *value)
{
    vantrel_tag t;
    return vantrel_integer_of_(vantrel_checked_search_(blob, size, id, &t), &t, value);
}

/* The characters of the string tag with this id, in a checked blob: *text
 * points into the blob, *length characters, not zero-terminated.  Results
 * as vantrel_checked_get_integer. */
static inline int vantrel_checked_get_string(const void *blob, size_t size, uint32_t id, const char **text,
                                             uint32_t *length)
{
    vantrel_tag t;
    return vantrel_string_of_(vantrel_checked_search_(blob, size, id, &t), &t, text, length);
}

/* The bytes of the data block with this id, in a checked blob: *data
 * points into the blob, *data_size bytes; *type receives its type when type
 * is not null.  Results as vantrel_checked_get_integer. */
static inline int vantrel_checked_get_data(const void *blob, size_t size, uint32_t id, const void **data,
                                           uint32_t *data_size, uint32_t *type)
{
    vantrel_tag t;
    return vantrel_data_of_(vantrel_checked_search_(blob, size, id, &t), &t, data, data_size, type);
}

/* The first tag of the outer block with this id in bytes not yet checked,
 * found in the same pass that checks them: VANTREL_OK with *tag filled,
 * VANTREL_NOT_FOUND, or VANTREL_BAD_BLOB when vantrel_check refuses the
 * bytes (*tag is then left alone).  Takes the stack vantrel_check takes. */
static inline int vantrel_find(const void *blob, size_t size, uint32_t id, vantrel_tag *tag)
{
    uint32_t stack[VANTREL_MAX_DEPTH];
    vantrel_walk w;
    vantrel_tag t;
    uint64_t found = 0;
    int step = 1;
    w.enclosing = stack;
    w.max_depth = VANTREL_MAX_DEPTH;
    w.flags = 0;
    if (vantrel_memory_begin_(&w, blob, size, &t) != 0)
        return VANTREL_BAD_BLOB;
    while (step > 0 && !w.done) {
        step = vantrel_memory_step_(&w, (const uint8_t *)blob, size, &t);
        /* Only where it is: the tag is decoded again once the walk is
         * through, so that the walk itself keeps no copy. */
        if (found == 0 && t.id == id && t.depth == 0 && t.code != VANTREL_TAG_START && t.code != VANTREL_TAG_END)
            found = t.offset;
    }
    if (step <= 0)
        return VANTREL_BAD_BLOB;
    if (found == 0)
        return VANTREL_NOT_FOUND;
    if (vantrel_checked_tag_((const uint8_t *)blob, size, (int)w.swapped, found, 0, &t) < 0)
        return VANTREL_BAD_BLOB; /* the bytes changed during the walk */
    *tag = t;
    return VANTREL_OK;
}

/* The checking getters: the check and the look-up in one pass, on every
 * call.  To read several values, check once and use the
 * vantrel_checked_get_* getters.  Results as vantrel_checked_get_integer,
 * VANTREL_BAD_BLOB meaning the bytes are not one well-formed blob. */
static inline int vantrel_get_integer(const void *blob, size_t size, uint32_t id, uint64_t *value)
{
    vantrel_tag t;
    return vantrel_integer_of_(vantrel_find(blob, size, id, &t), &t, value);
}

static inline int vantrel_get_string(const void *blob, size_t size, uint32_t id, const char **text, uint32_t *length)
{
    vantrel_tag t;
    return vantrel_string_of_(vantrel_find(blob, size, id, &t), &t, text, length);
}

static inline int vantrel_get_data(const void *blob, size_t size, uint32_t id, const void **data,
                                   uint32_t *data_size, uint32_t *type)
{
    vantrel_tag t;
    return vantrel_data_of_(vantrel_find(blob, size, id, &t), &t, data, data_size, type);
}

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_READER_H */

/* On every inclusion: the bound is the one the reader was compiled with.
 * A declaration may be repeated, in C99 as in C++; an array of negative
 * size may not. */
#ifdef __cplusplus
extern "C"
#else
extern
#endif
    char vantrel_max_depth_differs_from_the_first_inclusion
        [(unsigned long)(VANTREL_MAX_DEPTH) == (unsigned long)VANTREL_MAX_DEPTH_COMPILED_ ? 1 : -1];
