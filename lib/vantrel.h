/*
 * vantrel.h - build tag blobs in a caller-owned buffer.
 *
 * A tag blob is a start tag, any number of string, integer and data block
 * tags, and an end tag.  Every tag begins with the same 8-byte header (code,
 * whole size), every tag size is a multiple of the blob's alignment A (a
 * power of two from 8 to 0x100000), and all fill bytes are zero.  Words are
 * stored in the byte order of the machine that writes the blob.
 *
 * The format's codes and layouts are in vantrel_format.h, which this header
 * includes; its reader is vantrel_reader.h, which it does not, so that a
 * program may define the reader's VANTREL_MAX_DEPTH after this header.
 *
 * The library allocates nothing and keeps no global state.  Every status
 * result is 0 (done) or 1 (the tag or the blob does not fit).
 *
 * Valid C99 and C++.
 */
#ifndef VANTREL_H
#define VANTREL_H

#include <stdint.h>

/* The format: tag codes and layouts. */
#include "vantrel_format.h"

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
 * returns 1 (writing nothing) only if the end tag does not fit.
 *
 * The calling order (vantrel_init, any adds, vantrel_end once, then
 * vantrel_get_used_size) is not checked, and misuse is mostly not reported:
 * an add after vantrel_end returns 0 and places its tag behind the end tag,
 * outside the used size; a second vantrel_end returns 0 and writes another
 * end tag that the used size then covers, a blob readers refuse ("junk
 * found after end tag").  vantrel_end returns 1 only once such misuse has
 * filled the buffer.  Before vantrel_end, vantrel_get_used_size returns
 * whatever the buffer held there, and on a state that vantrel_init did not
 * set up (or refused) every call is undefined. */
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

/* The release, as VANTREL_VERSION_STRING in vantrel_version.h has it. */
VANTREL_API const char *vantrel_version(void);

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_H */
