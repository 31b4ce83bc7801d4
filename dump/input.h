// The walk's input: a source read in large blocks into the walk's own
// buffer, with the walk's position kept beside it.  Moving to a tag that is
// already buffered costs no read; a move forward on a source that cannot
// seek (a pipe) reads and throws away; a move back to bytes no longer
// buffered seeks where the source can, and fails where it cannot.
//
// Each read takes what the source has at once: on a pipe the walk goes on
// with what has arrived, and before a read that may wait for more, what the
// output holds is written out, so a listing is never held back by a writer
// that keeps the pipe open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "output.h"

// Where the bytes come from.
struct input_source {
    // One read: up to n bytes, as many as the source has at once; 0 at its
    // end (and on an error, which reads the same from here).
    size_t (*read)(void *handle, uint8_t *into, size_t n);
    // Moves to `offset`; 0 when it did.  Null where the source cannot seek.
    int (*seek)(void *handle, uint64_t offset);
    void *handle;
    // The whole source mapped into memory, *size bytes; null where it
    // cannot be (then it is read).  Null where the source is never mapped.
    const uint8_t *(*map)(void *handle, size_t *size) = nullptr;
    void (*unmap)(const uint8_t *bytes, size_t size) = nullptr;
};

// A stream opened by the caller, read through its descriptor (platform.h):
// nothing may be read from it through stdio.
input_source input_from_stream(FILE *stream);

struct dump_input {
    input_source source;
    uint8_t *buffer;
    size_t capacity;
    uint64_t base;     // the source offset of buffer[0]
    size_t filled;     // buffer[0, filled) holds the source's bytes from base on
    uint64_t position; // where the next read begins; may lie past the buffer
    uint64_t mark;     // the current tag's first byte: kept buffered while it fits
    bool seekable;
    bool whole;        // every byte read is kept: base stays 0, the buffer grows
    bool out_of_memory; // the buffer could not grow (whole inputs only)
    bool mapped;       // a whole input whose buffer is the source mapped: it holds every byte there is
    dump_output *pending; // written out before a read that may wait, or null
};

// A buffer of the caller's; `capacity` is at least 64 (the walk reads up to
// 64 bytes at a time).  The source stands at its first byte.
void input_init(dump_input *in, const input_source *source, uint8_t *buffer, size_t capacity);

// An input that keeps every byte it reads, from the first on, in a buffer
// of its own that grows as needed (--source holds the whole blob this
// way); a source that can be mapped is mapped instead, which costs neither
// copies nor a fault per page.  Returns 0, or 1 when not even the first
// block could be allocated.  input_release frees the buffer or the map.
int input_init_whole(dump_input *in, const input_source *source);
void input_release(dump_input *in);

// Refills the buffer so that `n` bytes from the position are in it, or as
// many as the source still has; returns how many are.  Use input_read.
size_t input_fill(dump_input *in, size_t n);

// Up to `n` bytes at the position (n at most the capacity, unless the
// input is whole): *bytes points at them in the buffer, until the next
// call.  Returns how many there are: fewer than n only where the source
// ended (or a whole input ran out of memory).  The position moves past
// them.
inline size_t input_read(dump_input *in, size_t n, const uint8_t **bytes)
{
    // The position always lies inside the buffer or at its end.
    size_t offset = static_cast<size_t>(in->position - in->base);
    size_t got = n;
    if (in->filled - offset < n) {
        got = input_fill(in, n);
        offset = static_cast<size_t>(in->position - in->base);
    }
    *bytes = in->buffer + offset;
    in->position += got;
    return got;
}

// Results of input_seek.
enum input_move {
    INPUT_MOVED = 0,
    INPUT_CANNOT_GO_BACK, // the bytes are gone and the source cannot seek
    INPUT_SEEK_FAILED,    // the source refused the seek
    INPUT_NO_MEMORY,      // a whole input could not grow to hold the bytes up to there
};

// Moves the position to `offset`.  Past the source's end is allowed: reads
// there find nothing, as in a file.
input_move input_seek(dump_input *in, uint64_t offset);

// Marks the position as the first byte of a tag: while the tag's bytes fit
// in the buffer they stay there, so that coming back to them needs no seek.
inline void input_mark(dump_input *in) { in->mark = in->position; }
