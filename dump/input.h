// The walk's input: a stream read in large blocks into the walk's own
// buffer, with the walk's position kept beside it.  Moving to a tag that is
// already buffered costs no call into the stream; a move forward on a
// stream that cannot seek (a pipe) reads and throws away; a move back to
// bytes no longer buffered seeks where the stream can, and fails where it
// cannot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct dump_input {
    FILE *stream;
    uint8_t *buffer;
    size_t capacity;
    uint64_t base;     // the stream offset of buffer[0]
    size_t filled;     // buffer[0, filled) holds the stream's bytes from base on
    uint64_t position; // where the next read begins; may lie past the buffer
    uint64_t mark;     // the current tag's first byte: kept buffered while it fits
    bool seekable;
};

// The stream stands at its first byte; `capacity` is at least 64 (the
// walk reads up to 64 bytes at a time).  A stream that cannot tell its
// position cannot seek either.  Unbuffered streams spare a copy: the blocks
// are read straight into `buffer`.
void input_init(dump_input *in, FILE *stream, uint8_t *buffer, size_t capacity);

// Refills the buffer so that `n` bytes from the position are in it, or as
// many as the stream still has; returns how many are.  Use input_read.
size_t input_fill(dump_input *in, size_t n);

// Up to `n` bytes at the position (n at most the capacity): *bytes points at
// them in the buffer, until the next call.  Returns how many there are:
// fewer than n only where the stream ended (or failed to read, which reads
// the same from here).  The position moves past them.
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
    INPUT_CANNOT_GO_BACK, // the bytes are gone and the stream cannot seek
    INPUT_SEEK_FAILED,    // the stream refused the seek (errno tells why)
};

// Moves the position to `offset`.  Past the stream's end is allowed: reads
// there find nothing, as in a file.
input_move input_seek(dump_input *in, uint64_t offset);

// Marks the position as the first byte of a tag: while the tag's bytes fit
// in the buffer they stay there, so that coming back to them needs no seek.
inline void input_mark(dump_input *in) { in->mark = in->position; }
