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

#include "input.h"
#include "output.h"
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

// Writers of one rendering.  Tags come as the reader core decodes them
// (vantrel_tag: offset, depth and fields).  A string or data block arrives
// as a head, its payload in chunks of at most 64 bytes, and a tail; the
// tail is missing when the file ended inside the payload.  Writers do not
// check for output errors: the walk looks at out->failed.
struct dump_format {
    // The blob's own start tag passed its checks (walk->swapped tells the
    // byte order); blob_end comes after the walk, fault or not
    // (walk->fault_code is 0 unless there was one).
    void (*blob_start)(dump_output *out, const char *name, const vantrel_tag *start, const vantrel_walk *walk);
    void (*blob_end)(dump_output *out, const vantrel_walk *walk);
    // A file with no blob to walk: it could not be opened (has_offset
    // false) or its start tag was refused (at offset 0).
    void (*file_failed)(dump_output *out, const char *name, bool has_offset, const char *reason);
    // A nested start tag, and an end tag (depth 0: the blob's own).
    void (*block_start)(dump_output *out, const vantrel_tag *tag);
    void (*block_end)(dump_output *out, const vantrel_tag *tag);
    void (*string_head)(dump_output *out, const vantrel_tag *tag);
    void (*string_chunk)(dump_output *out, const uint8_t *bytes, uint32_t count);
    void (*string_tail)(dump_output *out);
    void (*integer)(dump_output *out, const vantrel_tag *tag);
    void (*data_head)(dump_output *out, const vantrel_tag *tag);
    void (*data_chunk)(dump_output *out, const uint8_t *bytes, uint32_t count);
    void (*data_tail)(dump_output *out);
    // Null, or shown a string's whole payload before string_head, for a
    // rendering whose form depends on it; the walk then reads it twice.
    void (*string_scan)(dump_output *out, const uint8_t *bytes, uint32_t count);
};

extern const dump_format dump_listing;
// One JSON object per file, on one line.
extern const dump_format dump_json;

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
// `out` has failed, which the caller reports: it owns the stream.
int dump_tags(dump_output *out, dump_input *in, const dump_context *ctx, vantrel_walk *walk);

// The message for the fault a walk recorded: "prog: 'file'@0xOFFSET: why".
void dump_report_fault(const dump_context *ctx, const vantrel_walk *walk);

// The reason for the fault a walk recorded, as the messages and the JSON
// give it: the format's faults with their numbers (written into `text`),
// the input's own as they are.
const char *dump_fault_reason(const vantrel_walk *walk, char (&text)[VANTREL_REASON_SIZE]);

// Lists one blob whose input stands at its first byte: reads and checks the
// start tag, chooses the reader pair, then walks.  Sets ctx->file_name to
// `name` for the messages.  Returns 0 or 1 as dump_tags.
int dump_file(dump_output *out, dump_input *in, dump_context *ctx, const char *name);

// dump_file with the caller's walk, which tells afterwards how the walk
// ended (walk->fault_code is 0 unless the blob had a fault).
int dump_blob(dump_output *out, dump_input *in, dump_context *ctx, const char *name, vantrel_walk *walk);

// The whole program: options, every file operand, the exit status.
int dump_main(int argc, char **argv);

// The faults the input adds to the format's: codes above the format's,
// recorded in the walk like the format's own.
enum dump_fault_code {
    DUMP_E_CANNOT_GO_BACK = 64, // a tag's payload ran past its tag_size, on a pipe
    DUMP_E_STRING_TOO_LONG,     // --json: a string longer than the input buffer, on a pipe
    DUMP_E_SEEK,                // the stream refused a seek
};

// Records one of the input's faults in the walk; returns 1.
int dump_walk_fail(vantrel_walk *walk, uint64_t offset, dump_fault_code code);
