/*
 * vantrel_format.h - the words of the tag blob format: tag codes, layouts,
 * kinds, fault codes and their texts.
 *
 * The format alone, shared by the builder (vantrel.h) and the reader
 * (vantrel_reader.h): including it fixes nothing about how a blob is
 * read, so either header may come first and the reader's depth bound
 * (VANTREL_MAX_DEPTH) stays the reader's.  Header only, valid C99 and C++,
 * freestanding: it includes <stdint.h> and nothing else.
 */
#ifndef VANTREL_FORMAT_H
#define VANTREL_FORMAT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Tag codes (the first word of every tag). */
#define VANTREL_TAG_END        0x00000000u
#define VANTREL_TAG_START      0x7A600001u
#define VANTREL_TAG_STRING     0x7A600002u
#define VANTREL_TAG_INTEGER    0x7A600003u
#define VANTREL_TAG_DATA_BLOCK 0x7A600004u
/* The start code as read by a machine of the other byte order. */
#define VANTREL_TAG_START_SWAPPED 0x0100607Au

/* The five kinds of tag, in the order of their codes' low bytes, and the
 * names vantrel-dump --json gives them ("tag" member).  Every reader that
 * names or numbers kinds (the inspector, the Python module, vantrel.hpp)
 * takes them from here. */
enum vantrel_kind {
    VANTREL_KIND_END = 0,
    VANTREL_KIND_START = 1,
    VANTREL_KIND_STRING = 2,
    VANTREL_KIND_INTEGER = 3,
    VANTREL_KIND_DATA_BLOCK = 4
};
#define VANTREL_KIND_COUNT 5
/* What vantrel_kind_of gives for a code that is none of the five. */
#define VANTREL_KIND_NONE (-1)

/* The kind of a tag code, or VANTREL_KIND_NONE. */
static inline int vantrel_kind_of(uint32_t code)
{
    switch (code) {
    case VANTREL_TAG_END: return VANTREL_KIND_END;
    case VANTREL_TAG_START: return VANTREL_KIND_START;
    case VANTREL_TAG_STRING: return VANTREL_KIND_STRING;
    case VANTREL_TAG_INTEGER: return VANTREL_KIND_INTEGER;
    case VANTREL_TAG_DATA_BLOCK: return VANTREL_KIND_DATA_BLOCK;
    default: return VANTREL_KIND_NONE;
    }
}

/* The name of a kind: "end", "start", "string", "integer", "data_block";
 * "" for a number that is no kind. */
static inline const char *vantrel_kind_name(int kind)
{
    static const char *const names[VANTREL_KIND_COUNT] = {"end", "start", "string", "integer", "data_block"};
    return kind >= 0 && kind < VANTREL_KIND_COUNT ? names[kind] : "";
}


/* Alignment bounds. */
#define VANTREL_ALIGN_MIN 8u
#define VANTREL_ALIGN_MAX 0x100000u

/* Field offsets in bytes from a tag's first byte, and minimal sizes before
 * rounding to the alignment.  All fields are u32 except the integer's u64
 * value. */
#define VANTREL_HDR_TAG       0u   /* u32 tag code */
#define VANTREL_HDR_TAG_SIZE  4u   /* u32 whole tag size, a multiple of A */
#define VANTREL_HDR_SIZE      8u

#define VANTREL_START_LENGTH   8u  /* u32 bytes from start tag to end tag, inclusive */
#define VANTREL_START_RESERVED 12u /* u32, 0 */
#define VANTREL_START_MIN      16u

#define VANTREL_STRING_ID    8u    /* u32 */
#define VANTREL_STRING_SIZE  12u   /* u32 characters, without the terminator */
#define VANTREL_STRING_DATA  16u   /* characters, then one zero byte */
#define VANTREL_STRING_MIN   17u   /* header, id, size and the terminator */

#define VANTREL_INTEGER_VALUE    8u  /* u64 */
#define VANTREL_INTEGER_ID       16u /* u32 */
#define VANTREL_INTEGER_RESERVED 20u /* u32, 0 */
#define VANTREL_INTEGER_MIN      24u

#define VANTREL_DATA_TYPE  8u      /* u32 */
#define VANTREL_DATA_ID    12u     /* u32 */
#define VANTREL_DATA_SIZE  16u     /* u32 data bytes */
#define VANTREL_DATA_DATA  20u     /* data bytes, no terminator */
#define VANTREL_DATA_MIN   20u

#define VANTREL_END_MIN    8u

/* Fault codes: what vantrel_check returns, and each walk's fault_code.
 * Small, stable numbers, for code that must react to one kind of fault or
 * log it over a narrow link; vantrel_fault_text gives the text. */
enum vantrel_fault_code {
    VANTREL_E_NONE = 0,
    VANTREL_E_SHORT = 1,           /* fewer than 16 bytes: no start tag to read */
    VANTREL_E_NO_START = 2,        /* the first word is no start tag code */
    VANTREL_E_START_RESERVED = 3,  /* the blob's own start tag has a non-zero reserved word */
    VANTREL_E_MISSING_END = 4,     /* a block has no room left for its end tag */
    VANTREL_E_START_LENGTH = 5,    /* a block's length leaves 1 to 7 bytes, or cannot hold a nested block */
    VANTREL_E_EOF = 6,             /* a tag's header, fields or payload lie past the bytes */
    VANTREL_E_TAG_SIZE = 7,        /* a tag_size below 8 or beyond its block */
    VANTREL_E_JUNK = 8,            /* an end tag before its block's end */
    VANTREL_E_UNKNOWN_TAG = 9,     /* a tag code that is none of the five (fault_value: the code) */
    VANTREL_E_NESTED_RESERVED = 10,/* a nested start tag's reserved word (fault_value: the word) */
    VANTREL_E_TOO_DEEP = 11        /* start tags nested deeper than VANTREL_MAX_DEPTH */
};
#define VANTREL_E_COUNT 12

/* Codes past the format's own, kept apart so that no two meanings share a
 * number:
 *   12 to 15   kept free for the format;
 *   16 to 63   the schema checker's faults (vantrel_schema.h);
 *   64 to 127  the caller's: a reader built on the walk (vantrel-dump
 *              reading a pipe, say) records faults of its own there with
 *              vantrel_walk_fail_text, each with a text of its own.
 * vantrel_fault_text gives "" for every code from 12 on. */
#define VANTREL_E_SCHEMA_FIRST 16
#define VANTREL_E_SCHEMA_LAST  63
#define VANTREL_E_CALLER_FIRST 64
#define VANTREL_E_CALLER_LAST  127

/* Fault texts, as vantrel-dump words them after "@0x...: ".  For an
 * unknown tag the dump adds ": 0x" and the code, for a nested start tag's
 * reserved word " (value: 0x...)"; both numbers are in fault_value. */
#define VANTREL_FAULT_EOF            "unexpected end-of-file"
#define VANTREL_FAULT_NO_START       "start tag not found"
#define VANTREL_FAULT_START_RESERVED "reserved field in start tag is not zero"
#define VANTREL_FAULT_MISSING_END    "missing end tag"
#define VANTREL_FAULT_START_LENGTH   "invalid vantrel start length"
#define VANTREL_FAULT_TAG_SIZE       "invalid tag size"
#define VANTREL_FAULT_JUNK           "junk found after end tag"
#define VANTREL_FAULT_UNKNOWN_TAG    "unknown tag"
#define VANTREL_FAULT_TOO_DEEP       "start tags nested too deeply"

/* The text of a fault code: "" for VANTREL_E_NONE and for a number that is
 * no code.  The one place where codes and texts meet. */
static inline const char *vantrel_fault_text(int code)
{
    static const char *const texts[VANTREL_E_COUNT] = {
        "",
        VANTREL_FAULT_EOF,
        VANTREL_FAULT_NO_START,
        VANTREL_FAULT_START_RESERVED,
        VANTREL_FAULT_MISSING_END,
        VANTREL_FAULT_START_LENGTH,
        VANTREL_FAULT_EOF,
        VANTREL_FAULT_TAG_SIZE,
        VANTREL_FAULT_JUNK,
        VANTREL_FAULT_UNKNOWN_TAG,
        VANTREL_FAULT_START_RESERVED,
        VANTREL_FAULT_TOO_DEEP,
    };
    return code > 0 && code < VANTREL_E_COUNT ? texts[code] : "";
}

/* Room for any reason vantrel_fault_describe writes, its zero included. */
#define VANTREL_REASON_SIZE 64

/* The whole reason vantrel-dump prints after "@0x...: ": the code's text,
 * then for VANTREL_E_UNKNOWN_TAG ": 0x" and `value` (the tag code) in
 * upper-case hex, for VANTREL_E_NESTED_RESERVED " (value: 0x", `value` (the
 * reserved word) in lower-case hex and ")".  Written zero-terminated into
 * `text`, VANTREL_REASON_SIZE bytes; returns text. */
static inline char *vantrel_fault_describe(int code, uint32_t value, char *text)
{
    const char *digits = code == VANTREL_E_UNKNOWN_TAG ? "0123456789ABCDEF" : "0123456789abcdef";
    const char *head = code == VANTREL_E_UNKNOWN_TAG ? ": 0x" : " (value: 0x";
    const char *from = vantrel_fault_text(code);
    char *at = text;
    int shift = 28;
    while (*from != '\0')
        *at++ = *from++;
    if (code == VANTREL_E_UNKNOWN_TAG || code == VANTREL_E_NESTED_RESERVED) {
        while (*head != '\0')
            *at++ = *head++;
        while (shift > 0 && (value >> shift) == 0)
            shift -= 4;
        for (; shift >= 0; shift -= 4)
            *at++ = digits[(value >> shift) & 15u];
        if (code == VANTREL_E_NESTED_RESERVED)
            *at++ = ')';
    }
    *at = '\0';
    return text;
}

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_FORMAT_H */
