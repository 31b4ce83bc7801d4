/*
 * vantrel_schema.h - a schema for tag blobs: its reader and its checker.
 *
 * Header only, valid C99 and C++, freestanding like vantrel_reader.h: no
 * allocation, nothing from a C library beyond memcpy/memset, no I/O, no
 * global state.  The compiler, the dump, the Python module, the inspector
 * page and firmware all read schemas and check blobs with this one code.
 *
 * A schema is text, one declaration a line (vantrel-schema(5)):
 *
 *   type  CALIBRATION  1                     # a named data block type
 *   const NO_LIMIT     0xFFFF_FFFF_FFFF_FFFF # a named integer value
 *   str   model        0x100  max 32         # a string of at most 32 bytes
 *   str   revision     0x101  optional
 *   int   period_ms    0x200  10..60000      # unsigned, inclusive
 *   int   offset_c     0x203  -40..85        # on the value read as signed
 *   data  calibration  0x300  CALIBRATION  size 16
 *   str   message      1..999 table          # each id at most once
 *
 * Blank lines and lines whose first non-blank character is '#' are
 * skipped; a word that begins with '#' starts a comment.  Numbers take
 * the source language's forms (decimal, 0x, 0b, 0o, a leading 0 for octal,
 * '_' anywhere after the first character); a word that begins with a
 * digit (or '-' and a digit, in an integer range) is a number, any other
 * word a name.  A data block's type may be the name of a `type` declared
 * on an earlier line.
 *
 * A declared tag is required exactly once unless `optional` (at most
 * once); each id of a `table` at most once, any number of them; an id the
 * schema does not declare is refused.  The schema declares the tags of a
 * blob's outer block: a nested block is refused at its start tag.
 *
 * Memory: the caller gives the declaration records (vantrel_schema_decl,
 * VANTREL_SCHEMA_DECL_BYTES each: 56 bytes with 64-bit pointers, 48 with
 * 32-bit; vantrel_schema_count tells how many a text needs at most).
 * Names are not copied: they point into the schema text, which must stay
 * as long as the schema is used.  A check takes vantrel_schema_seen_size
 * bytes of marks (one bit per declared tag and per id of each table).
 * Nothing else: a schema is plain records, so a program may also hold one
 * as constant initializers.
 *
 * Costs: a tag's declaration is found by a binary search over the ids
 * (log2 of the tag declarations), with shortcuts for tags in id order: a
 * tag of the last tag's declaration (a table's next id) costs a compare,
 * one of the next declaration in id order two; a name by a linear search.  Reading a schema of n declarations
 * takes at most n * n steps for its duplicate checks; n is bounded by the
 * caller's storage.
 */
#ifndef VANTREL_SCHEMA_H
#define VANTREL_SCHEMA_H

#include "vantrel_c_names.h"
#include "vantrel_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------- declarations */

/* What a declaration declares (vantrel_schema_decl.kind). */
#define VANTREL_DECL_STRING  1u /* str: string tags */
#define VANTREL_DECL_INTEGER 2u /* int: integer tags */
#define VANTREL_DECL_DATA    3u /* data: data block tags */
#define VANTREL_DECL_TYPE    4u /* type: a named data block type */
#define VANTREL_DECL_CONST   5u /* const: a named integer value */

/* vantrel_schema_decl.flags */
#define VANTREL_DECL_OPTIONAL 1u /* at most once instead of exactly once */
#define VANTREL_DECL_TABLE    2u /* the ids id..last, each at most once */
#define VANTREL_DECL_LIMITED  4u /* a range, max or size was written */
#define VANTREL_DECL_SIGNED   8u /* an integer range on the value read as signed */

/* No declaration: what the look-ups return when nothing matches. */
#define VANTREL_SCHEMA_NONE 0xFFFFFFFFu

/* Bounds a schema is read within. */
#define VANTREL_SCHEMA_NAME_MAX  64u         /* bytes of a name */
#define VANTREL_SCHEMA_TABLE_MAX 65536u      /* ids of one table */
#define VANTREL_SCHEMA_MARKS_MAX 1048576u    /* seen marks in all: 128 KiB */

/* One declaration.  Which fields mean something depends on `kind`:
 *   str      id..last, high: the max bytes (UINT32_MAX when none)
 *   int      id..last, low..high: the range (0..UINT64_MAX when none; with
 *            VANTREL_DECL_SIGNED the two's complement of int64 ends)
 *   data     id..last, type, low..high: the size range (0..UINT32_MAX)
 *   type     type: the number
 *   const    low: the value
 * last == id unless VANTREL_DECL_TABLE.  `name` points into the schema
 * text, name_length bytes, not zero-terminated.  `mark` is the first seen
 * mark of a tag declaration (one per id).  `by_id` is not about this
 * declaration: the by_id fields of decls[0 .. tags-1] list the tag
 * declarations' indexes in order of their ids, which the look-up by id
 * searches.  reserved is 0. */
typedef struct vantrel_schema_decl {
    uint64_t low;
    uint64_t high;
    const char *name;
    uint32_t name_length;
    uint32_t id;
    uint32_t last;
    uint32_t type;
    uint32_t mark;
    uint32_t by_id;
    uint8_t kind;
    uint8_t flags;
    uint16_t reserved;
} vantrel_schema_decl;

/* The bytes one declaration takes. */
#define VANTREL_SCHEMA_DECL_BYTES sizeof(vantrel_schema_decl)

/* The record is 56 bytes with 64-bit pointers and 48 with 32-bit ones (a
 * check at compile time, in C99 and C++ alike). */
typedef char vantrel_schema_decl_size_check_[sizeof(vantrel_schema_decl) ==
                                                     (sizeof(void *) == 8   ? 56u
                                                      : sizeof(void *) == 4 ? 48u
                                                                            : sizeof(vantrel_schema_decl))
                                                 ? 1
                                                 : -1];

/* A read schema: `count` declarations in the order of the text, `tags` of
 * them declaring tags, and the seen marks a check needs. */
typedef struct vantrel_schema {
    const vantrel_schema_decl *decls;
    uint32_t count;
    uint32_t tags;
    uint32_t marks;
} vantrel_schema;

/* ------------------------------------------------- errors in schema text */

/* What vantrel_schema_read returns for a faulty schema text; 0 for none.
 * vantrel_schema_error_text gives the text. */
enum vantrel_schema_error_code {
    VANTREL_SE_NONE = 0,
    VANTREL_SE_WORD = 1,        /* a line begins with no declaration word */
    VANTREL_SE_NAME = 2,        /* the name is missing or no identifier */
    VANTREL_SE_C_NAME = 3,      /* a name the generated C header cannot define (detail: why) */
    VANTREL_SE_NAME_TWICE = 4,  /* a name declared twice */
    VANTREL_SE_LONG_NAME = 5,   /* a name longer than VANTREL_SCHEMA_NAME_MAX */
    VANTREL_SE_NUMBER = 6,      /* a number of no valid form */
    VANTREL_SE_OVERFLOW = 7,    /* a number beyond 64 bits (signed: beyond int64) */
    VANTREL_SE_WIDE = 8,        /* an id, type or size beyond 32 bits */
    VANTREL_SE_MISSING_ID = 9,  /* a tag declaration without its id */
    VANTREL_SE_ID_TWICE = 10,   /* an id declared twice, or overlapping id ranges */
    VANTREL_SE_REVERSED = 11,   /* a range whose first end is above its last */
    VANTREL_SE_CONSTRAINT = 12, /* a word where a constraint stands that is none */
    VANTREL_SE_TRAILING = 13,   /* a word after the last argument of a type or const */
    VANTREL_SE_REPEATED = 14,   /* a constraint given twice */
    VANTREL_SE_MISFIT = 15,     /* a constraint that does not fit the kind (max on an int) */
    VANTREL_SE_TYPE = 16,       /* a type name that no earlier `type` declares */
    VANTREL_SE_TYPE_TWICE = 17, /* a type number declared twice */
    VANTREL_SE_MISSING = 18,    /* a number (or type) missing after its word */
    VANTREL_SE_FULL = 19,       /* more declarations than the storage holds */
    VANTREL_SE_TABLE = 20,      /* a table beyond VANTREL_SCHEMA_TABLE_MAX ids, or marks beyond the bound */
    VANTREL_SE_NOT_TABLE = 21   /* an id range without `table` */
};
#define VANTREL_SE_COUNT 22

/* Where and why a schema text was refused.  line and column are 1-based
 * (the column in bytes; for a missing word, where it was looked for).
 * word/word_length: the offending word in the text (length 0 when none);
 * detail: a further reason (the C name rule's) or null. */
typedef struct vantrel_schema_error {
    uint32_t line;
    uint32_t column;
    int code;
    uint32_t word_length;
    const char *word;
    const char *detail;
} vantrel_schema_error;

/* The detail of a name that begins or ends with an underscore: the
 * generated header joins names with one, and two in a row are reserved. */
#define VANTREL_SCHEMA_UNDERSCORE "begins or ends with an underscore, which the header's joined names would double"

/* The text of an error code ("" for 0 and for a number that is none). */
static inline const char *vantrel_schema_error_text(int code)
{
    static const char *const texts[VANTREL_SE_COUNT] = {
        "",
        "unknown declaration word",
        "missing or bad name",
        "name the generated C header cannot define",
        "name declared twice",
        "name longer than 64 bytes",
        "formatting error in number",
        "overflow in number",
        "number does not fit in 32 bits",
        "missing id",
        "id declared twice or in overlapping ranges",
        "range whose ends are reversed",
        "unknown constraint",
        "word after the last argument",
        "constraint given twice",
        "constraint that does not fit the kind",
        "unknown type name",
        "type number declared twice",
        "missing number",
        "more declarations than the storage holds",
        "table of more ids than a check can mark",
        "id range without table",
    };
    return code > 0 && code < VANTREL_SE_COUNT ? texts[code] : "";
}

/* Room for any reason the describe functions write, their zero included. */
#define VANTREL_SCHEMA_REASON_SIZE 192

/* A bounded writer of reasons: at most VANTREL_SCHEMA_REASON_SIZE - 1
 * characters, always zero-terminated. */
typedef struct vantrel_schema_text_ {
    char *text;
    uint32_t length;
} vantrel_schema_text_;

static inline void vantrel_schema_put_(vantrel_schema_text_ *t, const char *from, size_t n)
{
    size_t i;
    for (i = 0; i < n && t->length + 1 < VANTREL_SCHEMA_REASON_SIZE; ++i)
        t->text[t->length++] = from[i];
    t->text[t->length] = '\0';
}

static inline void vantrel_schema_puts_(vantrel_schema_text_ *t, const char *from)
{
    size_t n = 0;
    while (from[n] != '\0')
        ++n;
    vantrel_schema_put_(t, from, n);
}

/* `value` in decimal, or with hex set as 0x and upper-case hex digits. */
static inline void vantrel_schema_put_number_(vantrel_schema_text_ *t, uint64_t value, int hex)
{
    char digits[24];
    unsigned n = 0, base = hex ? 16u : 10u;
    do {
        digits[sizeof digits - 1 - n++] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    if (hex)
        vantrel_schema_puts_(t, "0x");
    vantrel_schema_put_(t, digits + sizeof digits - n, n);
}

/* `bits` as the int64 whose two's complement it is. */
static inline void vantrel_schema_put_signed_(vantrel_schema_text_ *t, uint64_t bits)
{
    if (bits >> 63) {
        vantrel_schema_puts_(t, "-");
        bits = 0 - bits;
    }
    vantrel_schema_put_number_(t, bits, 0);
}

/* The whole reason for an error: its text, then " 'WORD'" when a word is
 * known (at most 40 bytes of it, then "..."), then ": DETAIL" when there
 * is one.  Written zero-terminated into `text`, VANTREL_SCHEMA_REASON_SIZE
 * bytes; returns text. */
static inline char *vantrel_schema_error_describe(const vantrel_schema_error *error, char *text)
{
    vantrel_schema_text_ t;
    t.text = text;
    t.length = 0;
    text[0] = '\0';
    vantrel_schema_puts_(&t, vantrel_schema_error_text(error->code));
    if (error->word_length > 0 && error->word != NULL) {
        vantrel_schema_puts_(&t, " '");
        vantrel_schema_put_(&t, error->word, error->word_length > 40 ? 40 : error->word_length);
        vantrel_schema_puts_(&t, error->word_length > 40 ? "...'" : "'");
    }
    if (error->detail != NULL) {
        vantrel_schema_puts_(&t, ": ");
        vantrel_schema_puts_(&t, error->detail);
    }
    return text;
}

/* ------------------------------------------------------------- look-ups */

/* The index of the declaration named `name` (length bytes), or
 * VANTREL_SCHEMA_NONE.  Any kind: a tag's name stands for its id, a
 * type's for its number, a const's for its value. */
static inline uint32_t vantrel_schema_find_name(const vantrel_schema *schema, const char *name, size_t length)
{
    uint32_t i;
    size_t k;
    for (i = 0; i < schema->count; ++i) {
        const vantrel_schema_decl *d = &schema->decls[i];
        /* Compared by hand: nothing from a C library but memcpy/memset. */
        for (k = 0; d->name_length == length && k < length && d->name[k] == name[k]; ++k)
            ;
        if (d->name_length == length && k == length)
            return i;
    }
    return VANTREL_SCHEMA_NONE;
}

/* The index of the tag declaration whose id (or table range) holds `id`,
 * or VANTREL_SCHEMA_NONE. */
static inline uint32_t vantrel_schema_find_id(const vantrel_schema *schema, uint32_t id)
{
    const vantrel_schema_decl *decls = schema->decls;
    uint32_t low = 0, high = schema->tags;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        const vantrel_schema_decl *d = &decls[decls[middle].by_id];
        if (id < d->id)
            high = middle;
        else if (id > d->last)
            low = middle + 1;
        else
            return decls[middle].by_id;
    }
    return VANTREL_SCHEMA_NONE;
}

/* The index of the `type` declaration of number `type`, or
 * VANTREL_SCHEMA_NONE: the name a listing shows beside a data block's
 * type. */
static inline uint32_t vantrel_schema_find_type(const vantrel_schema *schema, uint32_t type)
{
    uint32_t i;
    for (i = 0; i < schema->count; ++i)
        if (schema->decls[i].kind == VANTREL_DECL_TYPE && schema->decls[i].type == type)
            return i;
    return VANTREL_SCHEMA_NONE;
}

/* The declaration word of a kind ("str", "int", "data", "type",
 * "const"; "" for none), as the schema text and the source spell it. */
static inline const char *vantrel_schema_kind_word(uint32_t kind)
{
    static const char *const words[6] = {"", "str", "int", "data", "type", "const"};
    return kind < 6 ? words[kind] : "";
}

/* The tag code a tag declaration's tags have; 0 for a type or const. */
static inline uint32_t vantrel_schema_tag_code(uint32_t kind)
{
    return kind == VANTREL_DECL_STRING    ? VANTREL_TAG_STRING
         : kind == VANTREL_DECL_INTEGER ? VANTREL_TAG_INTEGER
         : kind == VANTREL_DECL_DATA    ? VANTREL_TAG_DATA_BLOCK
                                        : 0u;
}

/* ---------------------------------------------------------------- reader */

/* Blanks between words, as the source language has them. */
static inline int vantrel_schema_space_(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/* The value of a hexadecimal digit, or 16. */
static inline unsigned vantrel_schema_digit_(char c)
{
    if (c >= '0' && c <= '9')
        return (unsigned)(c - '0');
    if (c >= 'a' && c <= 'f')
        return (unsigned)(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return (unsigned)(c - 'A' + 10);
    return 16u;
}

/* A number word of `length` bytes in the source language's forms: 0 with
 * *value set, VANTREL_SE_MISSING for no bytes, VANTREL_SE_NUMBER,
 * VANTREL_SE_OVERFLOW.  Decimal; 0x, 0b, 0o (either case) and a leading 0
 * for octal; '_' anywhere after a prefix or the first character.  The
 * word holds no blanks. */
static inline int vantrel_schema_number(const char *text, size_t length, uint64_t *value)
{
    uint64_t result = 0, base = 10;
    size_t i = 0;
    if (length == 0)
        return VANTREL_SE_MISSING;
    if (text[0] == '0') {
        /* A leading zero alone means octal, read as the first digit. */
        base = 8;
        if (length > 1) {
            char prefix = text[1];
            if (prefix == 'x' || prefix == 'X')
                base = 16;
            else if (prefix == 'b' || prefix == 'B')
                base = 2;
            if (base != 8 || prefix == 'o' || prefix == 'O') {
                i = 2;
                if (i == length)
                    return VANTREL_SE_NUMBER;
            }
        }
    }
    do {
        unsigned digit;
        char c = text[i++];
        if (c == '_')
            continue;
        digit = vantrel_schema_digit_(c);
        if (digit >= base)
            return VANTREL_SE_NUMBER;
        if (result > (UINT64_MAX - digit) / base)
            return VANTREL_SE_OVERFLOW;
        result = result * base + digit;
    } while (i < length);
    *value = result;
    return 0;
}

/* How many declarations a schema text holds at most: its lines that are
 * neither blank nor comments.  Storage for that many always suffices. */
static inline uint32_t vantrel_schema_count(const char *text, size_t size)
{
    uint32_t lines = 0;
    size_t i = 0;
    while (i < size) {
        while (i < size && text[i] != '\n' && vantrel_schema_space_(text[i]))
            ++i;
        if (i < size && text[i] != '\n' && text[i] != '#' && lines < UINT32_MAX)
            ++lines;
        while (i < size && text[i] != '\n')
            ++i;
        ++i;
    }
    return lines;
}

/* The words of one line. */
typedef struct vantrel_schema_line_ {
    const char *text;   /* the line's first byte */
    size_t at;          /* the next byte to look at */
    size_t end;         /* the line's end (its '\n' or the text's end) */
    const char *word;   /* the last word taken */
    size_t length;
} vantrel_schema_line_;

/* Takes the next word: 1, or 0 at the line's end or a comment (word then
 * points where a word was looked for, length 0). */
static inline int vantrel_schema_word_(vantrel_schema_line_ *l)
{
    size_t from;
    while (l->at < l->end && vantrel_schema_space_(l->text[l->at]))
        ++l->at;
    l->word = l->text + l->at;
    l->length = 0;
    if (l->at == l->end || l->text[l->at] == '#')
        return 0;
    from = l->at;
    while (l->at < l->end && !vantrel_schema_space_(l->text[l->at]))
        ++l->at;
    l->length = l->at - from;
    return 1;
}

static inline int vantrel_schema_is_(const vantrel_schema_line_ *l, const char *word)
{
    size_t i = 0;
    /* The word may hold a zero byte: the literal's end is never passed. */
    for (; i < l->length; ++i)
        if (word[i] == '\0' || word[i] != l->word[i])
            return 0;
    return word[i] == '\0';
}

/* Records an error at the line's last word; returns its code. */
static inline int vantrel_schema_fail_(vantrel_schema_error *error, const vantrel_schema_line_ *l, int code,
                                       const char *detail)
{
    error->code = code;
    error->column = (uint32_t)(l->word - l->text) + 1;
    error->word = l->word;
    error->word_length = (uint32_t)l->length;
    error->detail = detail;
    return code;
}

/* One end of a range: a number, or with `sign` also '-' and a number
 * (into its two's complement, *negative set).  0 or an error code. */
static inline int vantrel_schema_end_(const char *text, size_t length, int sign, uint64_t *value, int *negative)
{
    int code;
    *negative = 0;
    if (sign && length > 0 && text[0] == '-') {
        *negative = 1;
        ++text;
        --length;
    }
    if (length == 0 || text[0] < '0' || text[0] > '9')
        return length == 0 ? VANTREL_SE_MISSING : VANTREL_SE_NUMBER;
    code = vantrel_schema_number(text, length, value);
    if (code == 0 && *negative) {
        if (*value > ((uint64_t)1 << 63))
            return VANTREL_SE_OVERFLOW;
        *value = 0 - *value;
    }
    return code == VANTREL_SE_MISSING ? VANTREL_SE_NUMBER : code;
}

/* The last word as N or A..B into *low, *high.  wide: 64-bit ends (else
 * 32-bit, VANTREL_SE_WIDE beyond); sign: ends may be negative, and a range
 * with one is signed (*is_signed set).  0 or an error code. */
static inline int vantrel_schema_range_(const vantrel_schema_line_ *l, int wide, int sign, uint64_t *low,
                                        uint64_t *high, int *is_signed)
{
    size_t dots = 0;
    int code, low_negative = 0, high_negative = 0;
    while (dots + 1 < l->length && !(l->word[dots] == '.' && l->word[dots + 1] == '.'))
        ++dots;
    if (dots + 1 >= l->length) {
        code = vantrel_schema_end_(l->word, l->length, sign, low, &low_negative);
        *high = *low;
        high_negative = low_negative;
    } else {
        code = vantrel_schema_end_(l->word, dots, sign, low, &low_negative);
        if (code == 0)
            code = vantrel_schema_end_(l->word + dots + 2, l->length - dots - 2, sign, high, &high_negative);
    }
    if (code != 0)
        return code;
    *is_signed = low_negative || high_negative;
    if (*is_signed) {
        /* The ends as int64: a non-negative end must fit. */
        if ((!low_negative && (*low >> 63)) || (!high_negative && (*high >> 63)))
            return VANTREL_SE_OVERFLOW;
        if ((*low ^ ((uint64_t)1 << 63)) > (*high ^ ((uint64_t)1 << 63)))
            return VANTREL_SE_REVERSED;
        return 0;
    }
    if (!wide && (*low > UINT32_MAX || *high > UINT32_MAX))
        return VANTREL_SE_WIDE;
    return *low > *high ? VANTREL_SE_REVERSED : 0;
}

/* Whether the line's last word begins as a number does. */
static inline int vantrel_schema_numeric_(const vantrel_schema_line_ *l)
{
    char c = l->length > 0 ? l->word[0] : '\0';
    if (c == '-' && l->length > 1)
        c = l->word[1];
    return c >= '0' && c <= '9';
}

/* The name of the declaration `d` from the line's last word. */
static inline int vantrel_schema_name_(const vantrel_schema *s, vantrel_schema_decl *d, vantrel_schema_line_ *l,
                                       vantrel_schema_error *error)
{
    const char *fault;
    if (!vantrel_schema_word_(l))
        return vantrel_schema_fail_(error, l, VANTREL_SE_NAME, NULL);
    if (l->length > VANTREL_SCHEMA_NAME_MAX)
        return vantrel_schema_fail_(error, l, VANTREL_SE_LONG_NAME, NULL);
    if (!vantrel_c_name_identifier(l->word, l->length))
        return vantrel_schema_fail_(error, l, VANTREL_SE_NAME, VANTREL_C_NAME_NOT_IDENTIFIER);
    fault = vantrel_c_name_rule(l->word, l->length, NULL);
    if (fault != NULL)
        return vantrel_schema_fail_(error, l, VANTREL_SE_C_NAME, fault);
    if (l->word[0] == '_' || l->word[l->length - 1] == '_')
        return vantrel_schema_fail_(error, l, VANTREL_SE_C_NAME, VANTREL_SCHEMA_UNDERSCORE);
    if (vantrel_schema_find_name(s, l->word, l->length) != VANTREL_SCHEMA_NONE)
        return vantrel_schema_fail_(error, l, VANTREL_SE_NAME_TWICE, NULL);
    d->name = l->word;
    d->name_length = (uint32_t)l->length;
    return 0;
}

/* A number word of 32 bits into *value. */
static inline int vantrel_schema_u32_(const vantrel_schema_line_ *l, uint32_t *value)
{
    uint64_t wide = 0;
    int code;
    if (!vantrel_schema_numeric_(l) || l->word[0] == '-')
        return l->length == 0 ? VANTREL_SE_MISSING : VANTREL_SE_NUMBER;
    code = vantrel_schema_number(l->word, l->length, &wide);
    if (code == 0 && wide > UINT32_MAX)
        code = VANTREL_SE_WIDE;
    *value = (uint32_t)wide;
    return code;
}

/* The constraints after a tag declaration's id (and a data block's type). */
static inline int vantrel_schema_constraints_(vantrel_schema_decl *d, vantrel_schema_line_ *l,
                                              vantrel_schema_error *error)
{
    while (vantrel_schema_word_(l)) {
        int code, is_signed = 0;
        uint8_t flag;
        if (vantrel_schema_is_(l, "optional") || vantrel_schema_is_(l, "table")) {
            flag = vantrel_schema_is_(l, "optional") ? VANTREL_DECL_OPTIONAL : VANTREL_DECL_TABLE;
            if (d->flags & flag)
                return vantrel_schema_fail_(error, l, VANTREL_SE_REPEATED, NULL);
            d->flags |= flag;
            if ((d->flags & VANTREL_DECL_OPTIONAL) && (d->flags & VANTREL_DECL_TABLE))
                return vantrel_schema_fail_(error, l, VANTREL_SE_MISFIT, NULL);
            continue;
        }
        if (vantrel_schema_is_(l, "max") || vantrel_schema_is_(l, "size")) {
            uint32_t want = vantrel_schema_is_(l, "max") ? VANTREL_DECL_STRING : VANTREL_DECL_DATA;
            if (d->kind != want)
                return vantrel_schema_fail_(error, l, VANTREL_SE_MISFIT, NULL);
            if (d->flags & VANTREL_DECL_LIMITED)
                return vantrel_schema_fail_(error, l, VANTREL_SE_REPEATED, NULL);
            d->flags |= VANTREL_DECL_LIMITED;
            vantrel_schema_word_(l);
            if (want == VANTREL_DECL_STRING) {
                uint32_t max = 0;
                code = vantrel_schema_u32_(l, &max);
                d->high = max;
            } else {
                code = l->length == 0 ? VANTREL_SE_MISSING
                                      : vantrel_schema_range_(l, 0, 0, &d->low, &d->high, &is_signed);
            }
            if (code != 0)
                return vantrel_schema_fail_(error, l, code, NULL);
            continue;
        }
        if (!vantrel_schema_numeric_(l))
            return vantrel_schema_fail_(error, l, VANTREL_SE_CONSTRAINT, NULL);
        if (d->kind != VANTREL_DECL_INTEGER)
            return vantrel_schema_fail_(error, l, VANTREL_SE_MISFIT, NULL);
        if (d->flags & VANTREL_DECL_LIMITED)
            return vantrel_schema_fail_(error, l, VANTREL_SE_REPEATED, NULL);
        d->flags |= VANTREL_DECL_LIMITED;
        code = vantrel_schema_range_(l, 1, 1, &d->low, &d->high, &is_signed);
        if (code != 0)
            return vantrel_schema_fail_(error, l, code, NULL);
        if (is_signed)
            d->flags |= VANTREL_DECL_SIGNED;
    }
    return 0;
}

/* Files the new tag declaration decls[index] among the others by its ids:
 * VANTREL_SE_ID_TWICE when its range meets one. */
static inline int vantrel_schema_file_(vantrel_schema *s, vantrel_schema_decl *decls, uint32_t index)
{
    const vantrel_schema_decl *d = &decls[index];
    uint32_t low = 0, high = s->tags, k;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (decls[decls[middle].by_id].last < d->id)
            low = middle + 1;
        else
            high = middle;
    }
    /* decls[by_id of low] is the first range not wholly below d. */
    if (low < s->tags && decls[decls[low].by_id].id <= d->last)
        return VANTREL_SE_ID_TWICE;
    for (k = s->tags; k > low; --k)
        decls[k].by_id = decls[k - 1].by_id;
    decls[low].by_id = index;
    ++s->tags;
    return 0;
}

/* One line that is neither blank nor a comment, into storage[s->count]. */
static inline int vantrel_schema_line_read_(vantrel_schema *s, vantrel_schema_decl *storage, uint32_t capacity,
                                            vantrel_schema_line_ *l, vantrel_schema_error *error)
{
    static const char *const words[6] = {"", "str", "int", "data", "type", "const"};
    vantrel_schema_decl *d;
    const char *id_word;
    size_t id_length;
    uint8_t kind = 0, k;
    int code, is_signed = 0;
    vantrel_schema_word_(l);
    for (k = 1; k < 6; ++k)
        if (vantrel_schema_is_(l, words[k]))
            kind = k;
    if (kind == 0)
        return vantrel_schema_fail_(error, l, VANTREL_SE_WORD, NULL);
    if (s->count >= capacity)
        return vantrel_schema_fail_(error, l, VANTREL_SE_FULL, NULL);
    d = &storage[s->count];
    memset(d, 0, sizeof *d);
    d->kind = kind;
    d->high = kind == VANTREL_DECL_INTEGER ? UINT64_MAX : kind <= VANTREL_DECL_DATA ? UINT32_MAX : 0u;
    code = vantrel_schema_name_(s, d, l, error);
    if (code != 0)
        return code;
    vantrel_schema_word_(l);
    if (kind == VANTREL_DECL_TYPE || kind == VANTREL_DECL_CONST) {
        if (kind == VANTREL_DECL_TYPE) {
            code = vantrel_schema_u32_(l, &d->type);
            if (code == 0 && vantrel_schema_find_type(s, d->type) != VANTREL_SCHEMA_NONE)
                code = VANTREL_SE_TYPE_TWICE;
        } else {
            code = !vantrel_schema_numeric_(l) || l->word[0] == '-'
                     ? (l->length == 0 ? VANTREL_SE_MISSING : VANTREL_SE_NUMBER)
                     : vantrel_schema_number(l->word, l->length, &d->low);
        }
        if (code != 0)
            return vantrel_schema_fail_(error, l, code, NULL);
        if (vantrel_schema_word_(l))
            return vantrel_schema_fail_(error, l, VANTREL_SE_TRAILING, NULL);
        ++s->count;
        return 0;
    }
    /* A tag declaration: its id or id range. */
    if (l->length == 0)
        return vantrel_schema_fail_(error, l, VANTREL_SE_MISSING_ID, NULL);
    {
        uint64_t first = 0, last = 0;
        code = vantrel_schema_range_(l, 0, 0, &first, &last, &is_signed);
        if (code != 0)
            return vantrel_schema_fail_(error, l, code, NULL);
        d->id = (uint32_t)first;
        d->last = (uint32_t)last;
    }
    id_word = l->word;
    id_length = l->length;
    if (kind == VANTREL_DECL_DATA) {
        vantrel_schema_word_(l);
        if (l->length == 0)
            return vantrel_schema_fail_(error, l, VANTREL_SE_MISSING, NULL);
        if (vantrel_schema_numeric_(l)) {
            code = vantrel_schema_u32_(l, &d->type);
            if (code != 0)
                return vantrel_schema_fail_(error, l, code, NULL);
        } else {
            uint32_t type = vantrel_schema_find_name(s, l->word, l->length);
            if (type == VANTREL_SCHEMA_NONE || storage[type].kind != VANTREL_DECL_TYPE)
                return vantrel_schema_fail_(error, l, VANTREL_SE_TYPE, NULL);
            d->type = storage[type].type;
        }
    }
    code = vantrel_schema_constraints_(d, l, error);
    if (code != 0)
        return code;
    /* What is wrong with the id is told at the id. */
    l->word = id_word;
    l->length = id_length;
    if (d->id != d->last && !(d->flags & VANTREL_DECL_TABLE))
        return vantrel_schema_fail_(error, l, VANTREL_SE_NOT_TABLE, NULL);
    if ((uint64_t)d->last - d->id + 1 > VANTREL_SCHEMA_TABLE_MAX ||
        (uint64_t)d->last - d->id + 1 > VANTREL_SCHEMA_MARKS_MAX - s->marks)
        return vantrel_schema_fail_(error, l, VANTREL_SE_TABLE, NULL);
    if (vantrel_schema_file_(s, storage, s->count) != 0)
        return vantrel_schema_fail_(error, l, VANTREL_SE_ID_TWICE, NULL);
    d->mark = s->marks;
    s->marks += d->last - d->id + 1;
    ++s->count;
    return 0;
}

/* Reads the schema text (`size` bytes, no terminator needed) into *schema,
 * with up to `capacity` declarations in `storage` (schema->decls points
 * there).  Returns 0, or an error code with *error saying where and why
 * (then *schema holds the lines before it).  Lines end at '\n'; a CR
 * before it is a blank. */
static inline int vantrel_schema_read(vantrel_schema *schema, vantrel_schema_decl *storage, uint32_t capacity,
                                      const char *text, size_t size, vantrel_schema_error *error)
{
    vantrel_schema_line_ l;
    size_t at = 0;
    uint32_t line = 0;
    schema->decls = storage;
    schema->count = schema->tags = schema->marks = 0;
    memset(error, 0, sizeof *error);
    while (at < size) {
        int code;
        ++line;
        l.text = text + at;
        l.at = 0;
        l.end = 0;
        while (at + l.end < size && text[at + l.end] != '\n')
            ++l.end;
        at += l.end + 1;
        if (!vantrel_schema_word_(&l))
            continue;
        l.at = 0;
        code = vantrel_schema_line_read_(schema, storage, capacity, &l, error);
        if (code != 0) {
            error->line = line;
            return code;
        }
    }
    return 0;
}

/* --------------------------------------------------------------- checker */

/* What a blob may be refused for, besides the reader's faults (1 to 11):
 * codes 16 to 63 are the schema's.  vantrel_schema_fault_text gives the
 * short text, vantrel_schema_describe the whole reason. */
enum vantrel_schema_fault_code {
    VANTREL_SF_UNDECLARED = 16, /* a tag whose id the schema does not declare */
    VANTREL_SF_KIND = 17,       /* a tag of another kind than declared */
    VANTREL_SF_TYPE = 18,       /* a data block of another type than declared */
    VANTREL_SF_RANGE = 19,      /* an integer out of its range */
    VANTREL_SF_LENGTH = 20,     /* a string longer than its max */
    VANTREL_SF_SIZE = 21,       /* a data block of another size than declared */
    VANTREL_SF_DUPLICATE = 22,  /* a second tag with one id */
    VANTREL_SF_MISSING = 23,    /* a required tag missing (reported at the end tag) */
    VANTREL_SF_NESTED = 24      /* a nested block (the schema declares the outer block's tags) */
};
#define VANTREL_SF_FIRST 16
#define VANTREL_SF_END   25

/* The short text of a schema fault code ("" for a number that is none). */
static inline const char *vantrel_schema_fault_text(int code)
{
    static const char *const texts[VANTREL_SF_END - VANTREL_SF_FIRST] = {
        "id not in the schema",
        "another kind than declared",
        "another type than declared",
        "integer out of range",
        "string too long",
        "data block of another size",
        "second tag with one id",
        "missing",
        "nested block",
    };
    return code >= VANTREL_SF_FIRST && code < VANTREL_SF_END ? texts[code - VANTREL_SF_FIRST] : "";
}

/* "a string", "an integer", "a data block" for a tag code or a kind. */
static inline const char *vantrel_schema_kind_noun_(uint32_t code)
{
    return code == VANTREL_TAG_STRING ? "a string" : code == VANTREL_TAG_INTEGER ? "an integer" : "a data block";
}

/* The whole reason for a schema fault `code` of `tag` against declaration
 * `decl` (VANTREL_SCHEMA_NONE when none), as the tools print it after the
 * declaration's name:
 *   VANTREL_SF_UNDECLARED  id 0x210 is not in the schema
 *   VANTREL_SF_KIND        a string tag where the schema declares an integer
 *   VANTREL_SF_TYPE        type 0x2 is not CALIBRATION (0x1)
 *   VANTREL_SF_RANGE       value 70000 is out of 10..60000
 *   VANTREL_SF_LENGTH      string of 40 bytes is longer than max 32
 *   VANTREL_SF_SIZE        data block of 12 bytes is out of size 16
 *   VANTREL_SF_DUPLICATE   second tag with id 0x200
 *   VANTREL_SF_MISSING     missing
 *   VANTREL_SF_NESTED      nested block; the schema declares the outer block's tags
 * (a signed range shows its value and ends signed; a type without a name
 * as its number alone).  Other codes give their fault text.  `tag` may be
 * null for VANTREL_SF_MISSING.  Written zero-terminated into `text`,
 * VANTREL_SCHEMA_REASON_SIZE bytes; returns text. */
static inline char *vantrel_schema_describe(const vantrel_schema *schema, int code, uint32_t decl,
                                            const vantrel_tag *tag, char *text)
{
    const vantrel_schema_decl *d = decl < schema->count ? &schema->decls[decl] : NULL;
    vantrel_schema_text_ t;
    t.text = text;
    t.length = 0;
    text[0] = '\0';
    if (tag == NULL || (d == NULL && code != VANTREL_SF_UNDECLARED && code != VANTREL_SF_NESTED)) {
        vantrel_schema_puts_(&t, code >= VANTREL_SF_FIRST ? vantrel_schema_fault_text(code) : vantrel_fault_text(code));
        return text;
    }
    switch (code) {
    case VANTREL_SF_UNDECLARED:
        vantrel_schema_puts_(&t, "id ");
        vantrel_schema_put_number_(&t, tag->id, 1);
        vantrel_schema_puts_(&t, " is not in the schema");
        break;
    case VANTREL_SF_KIND:
        vantrel_schema_puts_(&t, vantrel_schema_kind_noun_(tag->code));
        vantrel_schema_puts_(&t, " tag where the schema declares ");
        vantrel_schema_puts_(&t, vantrel_schema_kind_noun_(vantrel_schema_tag_code(d->kind)));
        break;
    case VANTREL_SF_TYPE: {
        uint32_t named = vantrel_schema_find_type(schema, d->type);
        vantrel_schema_puts_(&t, "type ");
        vantrel_schema_put_number_(&t, tag->type, 1);
        vantrel_schema_puts_(&t, " is not ");
        if (named != VANTREL_SCHEMA_NONE) {
            vantrel_schema_put_(&t, schema->decls[named].name, schema->decls[named].name_length);
            vantrel_schema_puts_(&t, " (");
        }
        vantrel_schema_put_number_(&t, d->type, 1);
        if (named != VANTREL_SCHEMA_NONE)
            vantrel_schema_puts_(&t, ")");
        break;
    }
    case VANTREL_SF_RANGE:
        vantrel_schema_puts_(&t, "value ");
        if (d->flags & VANTREL_DECL_SIGNED) {
            vantrel_schema_put_signed_(&t, tag->value);
            vantrel_schema_puts_(&t, " is out of ");
            vantrel_schema_put_signed_(&t, d->low);
            vantrel_schema_puts_(&t, "..");
            vantrel_schema_put_signed_(&t, d->high);
        } else {
            vantrel_schema_put_number_(&t, tag->value, 0);
            vantrel_schema_puts_(&t, " is out of ");
            vantrel_schema_put_number_(&t, d->low, 0);
            vantrel_schema_puts_(&t, "..");
            vantrel_schema_put_number_(&t, d->high, 0);
        }
        break;
    case VANTREL_SF_LENGTH:
        vantrel_schema_puts_(&t, "string of ");
        vantrel_schema_put_number_(&t, tag->size, 0);
        vantrel_schema_puts_(&t, " bytes is longer than max ");
        vantrel_schema_put_number_(&t, d->high, 0);
        break;
    case VANTREL_SF_SIZE:
        vantrel_schema_puts_(&t, "data block of ");
        vantrel_schema_put_number_(&t, tag->size, 0);
        vantrel_schema_puts_(&t, " bytes is out of size ");
        vantrel_schema_put_number_(&t, d->low, 0);
        if (d->high != d->low) {
            vantrel_schema_puts_(&t, "..");
            vantrel_schema_put_number_(&t, d->high, 0);
        }
        break;
    case VANTREL_SF_DUPLICATE:
        vantrel_schema_puts_(&t, "second tag with id ");
        vantrel_schema_put_number_(&t, tag->id, 1);
        break;
    case VANTREL_SF_NESTED:
        vantrel_schema_puts_(&t, "nested block; the schema declares the outer block's tags");
        break;
    default:
        vantrel_schema_puts_(&t, code >= VANTREL_SF_FIRST ? vantrel_schema_fault_text(code) : vantrel_fault_text(code));
        break;
    }
    return text;
}

/* The bytes of seen marks a check against the schema takes. */
static inline uint32_t vantrel_schema_seen_size(const vantrel_schema *schema)
{
    return schema->marks / 8u + 1u;
}

/* A check in progress: the tags of one blob's outer block, one at a time.
 * Besides the walk's place, the checker holds the current declaration
 * (the last tag's) in the form its tags are checked in, derived once when
 * the look-up moves to it: a table's consecutive ids then cost a compare,
 * a seen mark and the bound, not a look-up and the declaration's fields. */
typedef struct vantrel_schema_checker {
    const vantrel_schema *schema;
    uint8_t *seen;  /* vantrel_schema_seen_size bytes, the caller's */
    uint32_t next;  /* the end's place among the declarations */
    uint32_t hint;  /* the by_id place of the current declaration */
    uint32_t decl;  /* the current declaration, or VANTREL_SCHEMA_NONE */
    uint32_t first; /* its first id */
    uint32_t span;  /* its last id minus its first */
    uint32_t mark;  /* its first seen mark */
    uint32_t code;  /* the tag code of its tags */
    const vantrel_schema_decl *d; /* it */
} vantrel_schema_checker;

/* Begins a check: `seen` is vantrel_schema_seen_size(schema) bytes of the
 * caller's, kept as long as the check; both stay the caller's. */
static inline void vantrel_schema_begin(vantrel_schema_checker *checker, const vantrel_schema *schema,
                                        uint8_t *seen)
{
    memset(checker, 0, sizeof *checker);
    checker->schema = schema;
    checker->seen = seen;
    checker->decl = VANTREL_SCHEMA_NONE;
    memset(seen, 0, vantrel_schema_seen_size(schema));
}

/* Makes the declaration at by_id place k the current one. */
VANTREL_STEP void vantrel_schema_take_(vantrel_schema_checker *c, uint32_t k)
{
    const vantrel_schema_decl *d = &c->schema->decls[c->schema->decls[k].by_id];
    c->hint = k;
    c->decl = c->schema->decls[k].by_id;
    c->first = d->id;
    c->span = d->last - d->id;
    c->mark = d->mark;
    c->code = vantrel_schema_tag_code(d->kind);
    c->d = d;
}

/* Moves the current declaration to the one of `id` by a binary search
 * over the by_id places: 0, or VANTREL_SF_UNDECLARED with the current
 * declaration left as it was. */
static inline int vantrel_schema_search_(vantrel_schema_checker *c, uint32_t id)
{
    const vantrel_schema_decl *decls = c->schema->decls;
    uint32_t low = 0, high = c->schema->tags;
    /* The first place whose last id is not below id: the one that can
     * hold it, as vantrel_schema_find_id finds it. */
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (decls[decls[middle].by_id].last < id)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == c->schema->tags || id < decls[decls[low].by_id].id)
        return VANTREL_SF_UNDECLARED;
    vantrel_schema_take_(c, low);
    return 0;
}

/* Moves the current declaration to the one of `id`, trying the next in
 * id order first (blobs mostly hold their tags in the order of their
 * ids), then the search. */
VANTREL_STEP int vantrel_schema_move_(vantrel_schema_checker *c, uint32_t id)
{
    const vantrel_schema_decl *decls = c->schema->decls;
    uint32_t k = c->decl == VANTREL_SCHEMA_NONE ? 0 : c->hint + 1;
    if (k < c->schema->tags && id >= decls[decls[k].by_id].id && id <= decls[decls[k].by_id].last) {
        vantrel_schema_take_(c, k);
        return 0;
    }
    return vantrel_schema_search_(c, id);
}

/* Checks one tag as a walk hands it out (any order of the reader's walks:
 * vantrel_reader_next, the vantrel_walk_* steps, vantrel_checked_next).
 * Tags of the outer block are checked; the blob's own start and end tags
 * and the tags inside nested blocks are not; a nested start tag in the
 * outer block is VANTREL_SF_NESTED.  Returns 0 or a schema fault code,
 * with *decl the declaration it concerns (VANTREL_SCHEMA_NONE for
 * VANTREL_SF_UNDECLARED and VANTREL_SF_NESTED, and on 0 for tags that are
 * not checked).  Rules in order: declared, not seen before, its kind, a
 * data block's type, the value, length or size.  A tag of a declared id
 * counts as seen whatever comes after, so a wrong one is not also missing.
 * After the outer block's end tag, call vantrel_schema_end. */
VANTREL_STEP int vantrel_schema_tag(vantrel_schema_checker *checker, const vantrel_tag *tag, uint32_t *decl)
{
    const vantrel_schema_decl *d;
    uint32_t mark;
    uint8_t bit;
    *decl = VANTREL_SCHEMA_NONE;
    if (tag->depth != 0)
        return tag->code == VANTREL_TAG_START && tag->depth == 1 ? VANTREL_SF_NESTED : 0;
    if (tag->code == VANTREL_TAG_START || tag->code == VANTREL_TAG_END)
        return 0;
    if ((tag->id - checker->first > checker->span || checker->decl == VANTREL_SCHEMA_NONE) &&
        vantrel_schema_move_(checker, tag->id) != 0)
        return VANTREL_SF_UNDECLARED;
    *decl = checker->decl;
    mark = checker->mark + (tag->id - checker->first);
    bit = (uint8_t)(1u << (mark & 7u));
    if (checker->seen[mark >> 3] & bit)
        return VANTREL_SF_DUPLICATE;
    checker->seen[mark >> 3] = (uint8_t)(checker->seen[mark >> 3] | bit);
    if (tag->code != checker->code)
        return VANTREL_SF_KIND;
    d = checker->d;
    switch (tag->code) {
    case VANTREL_TAG_INTEGER:
        if (d->flags & VANTREL_DECL_SIGNED) {
            /* Signed order is unsigned order with the sign bit turned. */
            const uint64_t sign = (uint64_t)1 << 63;
            if ((tag->value ^ sign) < (d->low ^ sign) || (tag->value ^ sign) > (d->high ^ sign))
                return VANTREL_SF_RANGE;
        } else if (tag->value < d->low || tag->value > d->high) {
            return VANTREL_SF_RANGE;
        }
        return 0;
    case VANTREL_TAG_STRING:
        return tag->size > d->high ? VANTREL_SF_LENGTH : 0;
    default:
        if (tag->type != d->type)
            return VANTREL_SF_TYPE;
        return tag->size < d->low || tag->size > d->high ? VANTREL_SF_SIZE : 0;
    }
}

/* After the outer block's end tag: the required declarations (neither
 * optional nor tables) that no tag matched, one a call in the order of the
 * schema: VANTREL_SF_MISSING with *decl set, then 0 (*decl
 * VANTREL_SCHEMA_NONE).  The tools report them at the end tag. */
static inline int vantrel_schema_end(vantrel_schema_checker *checker, uint32_t *decl)
{
    const vantrel_schema *s = checker->schema;
    while (checker->next < s->count) {
        const vantrel_schema_decl *d = &s->decls[checker->next++];
        if (d->kind <= VANTREL_DECL_DATA && !(d->flags & (VANTREL_DECL_OPTIONAL | VANTREL_DECL_TABLE)) &&
            !(checker->seen[d->mark >> 3] & (1u << (d->mark & 7u)))) {
            *decl = checker->next - 1;
            return VANTREL_SF_MISSING;
        }
    }
    *decl = VANTREL_SCHEMA_NONE;
    return 0;
}

/* The first fault of a whole check. */
typedef struct vantrel_schema_fault {
    uint64_t offset;     /* the offending tag's first byte, or the end tag's for a missing one */
    vantrel_tag tag;     /* that tag (for a format fault: zero) */
    uint32_t decl;       /* its declaration, or VANTREL_SCHEMA_NONE */
    int code;            /* a schema fault code, or the reader's fault code */
    const char *reason;  /* a format fault's text as vantrel_check gives it; else null */
} vantrel_schema_fault;

static inline int vantrel_schema_fault_at_(vantrel_schema_fault *fault, int code, const vantrel_tag *tag,
                                           uint32_t decl)
{
    fault->code = code;
    fault->offset = tag->offset;
    fault->tag = *tag;
    fault->decl = decl;
    fault->reason = NULL;
    return code;
}

/* Checks `size` bytes at `blob`, which vantrel_check has accepted, against
 * the schema, with `seen` of vantrel_schema_seen_size bytes: one forward
 * walk of the outer block (vantrel_checked_next), constant memory.
 * Returns 0, or the first fault's code with *fault filled: a schema fault
 * at the offending tag, VANTREL_SF_MISSING at the end tag, or
 * VANTREL_E_EOF at the end of the bytes when they changed after the check
 * so that a tag no longer lies inside them.  *fault is written only on a
 * fault. */
static inline int vantrel_schema_check(const void *blob, size_t size, const vantrel_schema *schema, uint8_t *seen,
                                       vantrel_schema_fault *fault)
{
    vantrel_schema_checker c;
    vantrel_tag t;
    uint32_t decl;
    int code;
    vantrel_schema_begin(&c, schema, seen);
    if (vantrel_checked_first(blob, size, &t) < 0) {
        t.offset = 0;
        code = vantrel_schema_fault_at_(fault, VANTREL_E_SHORT, &t, VANTREL_SCHEMA_NONE);
        fault->reason = vantrel_fault_text(code);
        return code;
    }
    for (;;) {
        if (vantrel_checked_next(blob, size, &t) < 0) {
            vantrel_tag_clear_(&t, size, 0);
            code = vantrel_schema_fault_at_(fault, VANTREL_E_EOF, &t, VANTREL_SCHEMA_NONE);
            fault->tag.offset = 0;
            fault->reason = vantrel_fault_text(code);
            return code;
        }
        if (t.code == VANTREL_TAG_END && t.depth == 0)
            break;
        code = vantrel_schema_tag(&c, &t, &decl);
        if (code != 0)
            return vantrel_schema_fault_at_(fault, code, &t, decl);
    }
    code = vantrel_schema_end(&c, &decl);
    return code != 0 ? vantrel_schema_fault_at_(fault, code, &t, decl) : 0;
}

/* What vantrel_schema_check_each hands each accepted tag to: `context` as
 * given, the tag (its payload inside the blob) and its declaration's
 * index. */
typedef void (*vantrel_schema_each_fn)(void *context, const vantrel_tag *tag, uint32_t decl);

/* vantrel_check and vantrel_schema_check in one walk (a blob that big is
 * read from memory once, not twice), handing each tag of the outer block
 * that the schema accepts to `each` (when not null) as the walk reaches
 * it: what a loader fills its record from.  The tags after the schema's
 * first fault are not handed out, and a format fault found later still
 * makes the verdict, so what `each` was given counts only on 0.  The
 * verdict: the format's fault first, exactly as vantrel_check reports it
 * (code, offset, reason; decl VANTREL_SCHEMA_NONE, tag zero), else the
 * schema's first fault as vantrel_schema_check gives it.  Takes
 * vantrel_check's stack and the frame of `each`. */
static inline int vantrel_schema_check_each(const void *blob, size_t size, const vantrel_schema *schema,
                                            uint8_t *seen, vantrel_schema_fault *fault,
                                            vantrel_schema_each_fn each, void *context)
{
    uint32_t stack[VANTREL_MAX_DEPTH];
    vantrel_schema_checker c;
    vantrel_walk w;
    vantrel_tag t;
    uint32_t decl = VANTREL_SCHEMA_NONE;
    int step = 1, code = 0;
    w.enclosing = stack;
    w.max_depth = VANTREL_MAX_DEPTH;
    w.flags = 0;
    vantrel_schema_begin(&c, schema, seen);
    if (vantrel_memory_begin_(&w, blob, size, &t) != 0)
        step = -1;
    while (step > 0 && !w.done) {
        step = vantrel_memory_step_(&w, (const uint8_t *)blob, size, &t);
        /* After the schema's first fault the walk goes on for the format's. */
        if (step > 0 && code == 0) {
            code = t.code == VANTREL_TAG_END && t.depth == 0 ? vantrel_schema_end(&c, &decl)
                                                              : vantrel_schema_tag(&c, &t, &decl);
            if (code != 0)
                vantrel_schema_fault_at_(fault, code, &t, decl);
            else if (each != NULL && decl != VANTREL_SCHEMA_NONE)
                each(context, &t, decl);
        }
    }
    if (step <= 0) {
        uint32_t offset = 0;
        memset(fault, 0, sizeof *fault);
        fault->code = vantrel_report_(&w, &offset, &fault->reason);
        fault->offset = offset;
        fault->decl = VANTREL_SCHEMA_NONE;
        return fault->code;
    }
    return code;
}

/* vantrel_check and vantrel_schema_check in one walk: the verdict of
 * vantrel_schema_check_each, no tag handed out. */
static inline int vantrel_schema_check_blob(const void *blob, size_t size, const vantrel_schema *schema,
                                            uint8_t *seen, vantrel_schema_fault *fault)
{
    return vantrel_schema_check_each(blob, size, schema, seen, fault, NULL, NULL);
}

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_SCHEMA_H */
