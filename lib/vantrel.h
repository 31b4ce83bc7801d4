/*
 * vantrel.h - build tag blobs in a caller-owned buffer.
 *
 * A tag blob is a start tag, any number of string, integer and data block
 * tags, and an end tag.  Every tag begins with the same 8-byte header (code,
 * whole size), every tag size is a multiple of the blob's alignment A (a
 * power of two from 8 to 0x100000), and all fill bytes are zero.  Words are
 * stored in the byte order of the machine that writes the blob.
 *
 * The layouts below are the one definition of the format; the data compiler
 * and the dump utility use them too.
 *
 * The library allocates nothing and keeps no global state.  Every status
 * result is 0 (done) or 1 (the tag or the blob does not fit).
 *
 * Valid C99 and C++.
 */
#ifndef VANTREL_H
#define VANTREL_H

#include <stdint.h>

/* Windows: exported from the DLL, imported by its users; define
 * VANTREL_STATIC when linking a static copy instead.  Elsewhere the library
 * is built with hidden visibility and shows only these names. */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(VANTREL_BUILDING_LIBRARY)
#define VANTREL_API __declspec(dllexport)
#elif defined(VANTREL_STATIC)
#define VANTREL_API
#else
#define VANTREL_API __declspec(dllimport)
#endif
#elif defined(VANTREL_BUILDING_LIBRARY) && defined(__GNUC__)
#define VANTREL_API __attribute__((visibility("default")))
#else
#define VANTREL_API
#endif

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

/* Alignment bounds. */
#define VANTREL_ALIGN_MIN 8u
#define VANTREL_ALIGN_MAX 0x100000u

/* Field offsets in bytes from a tag's first byte, and minimal sizes before
 * rounding to A.  All fields are u32 except the integer's u64 value. */
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

/*
 * Builder state.  The caller allocates it and passes its address to every
 * operation.  `cur` is always `base` plus a multiple of `align`.
 *
 * `size` is the usable buffer size: vantrel_init stores the largest multiple
 * of the effective alignment that is not above the size given, so a buffer
 * whose size is not a multiple of A is never written past its end; its last
 * (size mod A) bytes are simply left unused.
 */
typedef struct vantrel_state {
    uint8_t *base;  /* the caller's buffer; the start tag lies at its first byte */
    uint8_t *cur;   /* where the next tag goes */
    uint32_t size;  /* usable buffer size in bytes */
    uint32_t align; /* effective alignment A */
} vantrel_state;

/* One entry of a scatter list.  A list ends at the first entry whose `data`
 * is null or whose `size` is 0; that entry is not part of the data. */
typedef struct vantrel_scatter {
    const void *data;
    uint32_t size;
} vantrel_scatter;

/* Begin a blob: fixes the alignment (highest set bit, clamped to 8..0x100000)
 * and writes the start tag.  Returns 1, leaving the buffer untouched, when
 * the buffer cannot hold a start tag and an end tag of round(16) bytes each. */
VANTREL_API int32_t vantrel_init(vantrel_state *state, void *buffer,
                                 uint32_t buffer_size, uint32_t alignment);

/* Close the blob: writes the end tag and the start tag's length.  Returns 0;
 * returns 1 (writing nothing) only if the end tag does not fit, which can
 * happen only when the calling order was not kept. */
VANTREL_API int32_t vantrel_end(vantrel_state *state);

/* The start tag's length word: the blob's size once vantrel_end has run. */
VANTREL_API uint32_t vantrel_get_used_size(const vantrel_state *state);

/* Content tags.  Each returns 1 and writes nothing when the tag, plus 8
 * bytes kept free for the end tag, does not fit, or when its size would not
 * fit in 32 bits; the state stays usable. */
VANTREL_API int32_t vantrel_add_string(vantrel_state *state, const char *characters,
                                       uint32_t length, uint32_t id);
VANTREL_API int32_t vantrel_add_integer(vantrel_state *state, uint64_t value, uint32_t id);
VANTREL_API int32_t vantrel_add_data_block(vantrel_state *state, const void *data,
                                           uint32_t size, uint32_t type, uint32_t id);
/* Places one data block holding the entries' bytes in order; an empty list
 * (first entry ends it, or a total of 0) places nothing and returns 0. */
VANTREL_API int32_t vantrel_add_scatter_data_block(vantrel_state *state,
                                                   const vantrel_scatter *list,
                                                   uint32_t type, uint32_t id);

/* Tag sizes a given add would take, from `align` only.  0 means "would not
 * fit in 32 bits" (and, for the scatter query, also "empty list"). */
VANTREL_API uint32_t vantrel_get_string_tag_size(const vantrel_state *state, uint32_t length);
VANTREL_API uint32_t vantrel_get_integer_tag_size(const vantrel_state *state);
VANTREL_API uint32_t vantrel_get_data_block_tag_size(const vantrel_state *state, uint32_t size);
VANTREL_API uint32_t vantrel_get_scatter_data_block_tag_size(const vantrel_state *state,
                                                             const vantrel_scatter *list);

/* The tag after `tag` (its address plus its tag_size), or null for an end
 * tag.  No other check: use it on blobs this library built. */
VANTREL_API void *vantrel_next_tag(const void *tag);

/* "0.2.14" */
VANTREL_API const char *vantrel_version(void);

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_H */
