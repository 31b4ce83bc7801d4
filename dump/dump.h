// vantrel-dump: reads tag blob files of either byte order, checks their
// structure and lists their tags.
//
// The walk (dump_tags, dump_file) reads and checks; what it finds goes to a
// dump_format, a table of writers, so that other renderings of a blob can
// share the walk.  dump_listing is the indented text listing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "vantrel_reader.h"

#include "vantrel_version.h"

// The program's own version; --version prints it beside the library's.
inline constexpr char dump_version[] = VANTREL_VERSION_STRING;

// Word readers: a raw word as the host loaded it, in, the field's value out.
// The _id pair serves blobs of the host's byte order, the _swap pair blobs of
// the other order.
uint32_t read32_id(uint32_t word);
uint64_t read64_id(uint64_t word);
uint32_t read32_swap(uint32_t word);
uint64_t read64_swap(uint64_t word);

// Writers of one rendering.  `depth` is 0 for a blob's outer block.  A
// string or data block arrives as a head, its payload in chunks of at most
// 64 bytes, and a tail; the tail is missing when the file ended inside the
// payload.  Writers do not check for output errors: the walk looks at
// ferror() of the output stream.
struct dump_format {
    void (*block_start)(FILE *out, int depth);
    void (*block_end)(FILE *out, int depth);
    void (*string_head)(FILE *out, int depth, uint32_t id, uint32_t size);
    void (*string_chunk)(FILE *out, const uint8_t *bytes, uint32_t count);
    void (*string_tail)(FILE *out);
    void (*integer)(FILE *out, int depth, uint32_t id, uint64_t value);
    void (*data_head)(FILE *out, int depth, uint32_t id, uint32_t type, uint32_t size);
    void (*data_chunk)(FILE *out, const uint8_t *bytes, uint32_t count);
    void (*data_tail)(FILE *out);
};

extern const dump_format dump_listing;

// One per run.  The walk only reads it; the driver sets the reader pair and
// file_name per file.
struct dump_context {
    uint32_t (*read32)(uint32_t);
    uint64_t (*read64)(uint64_t);
    const char *prog_name;
    const char *file_name;
    int warn_start_reserved; // non-zero: a nested start tag's non-zero reserved word only warns
    const dump_format *format;
};

// Walks the blob whose start tag `walk` has begun: `in` stands where its
// first tag begins.  Returns 0 when the blob's end tag closed it exactly.
// Returns 1 after a fault in the blob, reported on stderr, or as soon as
// `out` has an error (ferror), which the caller reports: it owns the stream.
int dump_tags(FILE *out, FILE *in, const dump_context *ctx, vantrel_walk *walk);

// The message for the fault a walk recorded: "prog: 'file'@0xOFFSET: why".
void dump_report_fault(const dump_context *ctx, const vantrel_walk *walk);

// Lists one blob file that stands at its first byte: reads and checks the
// start tag, chooses the reader pair, then walks.  Sets ctx->file_name to
// `name` for the messages.  `in` stays open.  Returns 0 or 1 as dump_tags.
int dump_file(FILE *out, FILE *in, dump_context *ctx, const char *name);

// dump_file with the caller's walk, which tells afterwards how the walk
// ended (walk->fault_reason is null unless the blob had a fault).
int dump_blob(FILE *out, FILE *in, dump_context *ctx, const char *name, vantrel_walk *walk);

// The whole program: options, every file operand, the exit status.
int dump_main(int argc, char **argv);
