// The few questions about a stream that the C library cannot answer, and
// reads that return what a stream has at once: each system answers them its
// own way.  Shared by vantrel-comp and vantrel-dump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Whether the stream writes to a terminal.
bool stream_is_terminal(FILE *stream);

// Whether the opened stream is a directory (some systems open one for
// reading, and only the first read fails).
bool stream_is_directory(FILE *stream);

// Whether the stream's descriptor can seek (a file; not a pipe, a socket or
// a terminal).
bool stream_can_seek(FILE *stream);

// One read from the stream's descriptor, past stdio's buffer (so use only
// these on that stream): up to n bytes, as many as it has at once (a pipe:
// what has arrived, waiting only while nothing has).  0 at the end, and on
// an error, which reads the same to the caller.
size_t stream_read(FILE *stream, void *into, size_t n);

// Moves the stream's descriptor to `offset`; 0 when it did.
int stream_seek(FILE *stream, uint64_t offset);

// A regular file's bytes from its first on, mapped read-only: *size of
// them, or null where the stream is no regular file, is empty, or cannot be
// mapped (the caller then reads it).  A file that shrinks while mapped
// faults on the bytes it lost (SIGBUS), which the caller guards against.
const uint8_t *stream_map(FILE *stream, size_t *size);
void stream_unmap(const uint8_t *bytes, size_t size);
