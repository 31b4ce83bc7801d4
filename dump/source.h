// vantrel-dump --source: a blob written back as a vantrel-comp source that
// compiles to the same bytes (in the host's byte order).
//
// The whole blob is checked before any of it is written, so a blob the
// compiler could not reproduce writes nothing: first the listing's walk with
// writers that write nothing (structure faults get the listing's messages),
// then the blob is read into memory and checked for what the compiler cannot
// make, then the source is written from memory.
#pragma once

#include <cstdint>
#include <cstdio>

#include "dump.h"

// The compiler's blob size unless told otherwise.
inline constexpr uint32_t SOURCE_DEFAULT_SIZE = 65536;

// The compiler reads lines with fgets into a 4096-byte buffer with a limit
// of 4095, so one read holds 4094 characters; a longer line comes in pieces
// and a string cannot be split.  A line of exactly 4094 characters still
// reads whole: its line feed then comes alone, as a blank line.
inline constexpr uint32_t SOURCE_LINE_MAX = 4094;

// A data block of up to this many bytes is written as one hex string on the
// command's line; a longer one as "begin", hex lines of this many bytes,
// "end".
inline constexpr uint32_t SOURCE_HEX_LINE_BYTES = 32;

// A checked blob in memory: `bytes` holds `length` bytes as the file has
// them; the format's reader walks it.
struct source_blob {
    uint8_t *bytes;
    uint32_t length;
    uint32_t alignment; // what the compiler must be given to build it again
};

// The length of the source line that writes a string tag with this id and
// these characters, indentation included, line feed excluded.
uint64_t source_string_line_length(uint32_t id, const uint8_t *characters, uint32_t size);

// Checks the blob file `in`, standing at its first byte, and reads it into
// blob->bytes (the caller frees it with std::free).  Returns 0 when the blob
// can be written as source; 1 after one message on stderr, with nothing
// held, or as soon as `out` has an error (ferror), which the caller reports.
// `out` receives nothing.  ctx gives the names and the option for nested
// reserved words.
int source_load(FILE *out, FILE *in, const dump_context *ctx, const char *name, source_blob *blob);

// Writes a blob that source_load accepted.  Output errors show in
// ferror(out).
void source_write(FILE *out, const source_blob *blob);

// source_load, then source_write; the --source form of dump_file.
int dump_source(FILE *out, FILE *in, const dump_context *ctx, const char *name);
