// vantrel-dump --source: a blob written back as a vantrel-comp source that
// compiles to the same bytes (in the host's byte order).
//
// The whole blob is checked before any of it is written, so a blob the
// compiler could not reproduce writes nothing.  The file is read once, into
// memory: the listing's walk reads it there with writers that write nothing
// (structure faults get the listing's messages), then the bytes are checked
// for what the compiler cannot make, then the source is written from them.
// Pipes work as files do.
#pragma once

#include <cstdint>

#include "comp_limits.h"
#include "dump.h"

// The compiler's blob size unless told otherwise.
inline constexpr uint32_t SOURCE_DEFAULT_SIZE = COMP_DEFAULT_BLOB_SIZE;

// One read of the compiler holds this many characters; a longer line comes
// in pieces and a string cannot be split.  A line of exactly this length
// still reads whole: its line feed then comes alone, as a blank line.
inline constexpr uint32_t SOURCE_LINE_MAX = COMP_LINE_MAX;

// A data block of up to this many bytes is written as one hex string on the
// command's line; a longer one as "begin", hex lines of this many bytes,
// "end".
inline constexpr uint32_t SOURCE_HEX_LINE_BYTES = 32;

// A checked blob in memory: `bytes` holds `length` bytes as the file has
// them; the format's reader walks it.
struct source_blob {
    const uint8_t *bytes;
    uint32_t length;
    uint32_t alignment; // what the compiler must be given to build it again
    const dump_schema *schema; // --schema: names are written for numbers; or null
};

// The length of the source line that writes a string tag with this id and
// these characters, indentation included, line feed excluded; with a
// schema (or null) the id may be written as its name.
uint64_t source_string_line_length(const vantrel_schema *schema, uint32_t id, const uint8_t *characters,
                                   uint32_t size);

// Reads the blob file from `in`, a whole input (input_init_whole) standing
// at its first byte, and checks it.  Returns 0 when the blob can be written
// as source, with its bytes in blob (pointing into the input's buffer, for
// as long as nothing more is read from it); 1 after one message on stderr,
// or as soon as `out` has failed, which the caller reports.  Nothing is
// written to `out`.  ctx gives the names and the option for nested
// reserved words.
int source_load(dump_output *out, dump_input *in, const dump_context *ctx, const char *name, source_blob *blob);

// Writes a blob that source_load accepted.  On a terminal, string bytes
// that would drive it are shown as '.', as the listing shows them.
void source_write(dump_output *out, const source_blob *blob);

// source_load, then source_write; the --source form of dump_file.  Reads
// `from` into memory of its own and frees it.
int dump_source(dump_output *out, const input_source *from, const dump_context *ctx, const char *name);
