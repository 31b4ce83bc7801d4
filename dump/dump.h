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
#include "schema.h"
#include "vantrel_reader.h"

#include "vantrel_version.h"

// The program's own version; --version prints it beside the library's.
inline constexpr char dump_version[] = VANTREL_VERSION_STRING;

// Writers of one rendering.  Tags come as the reader core decodes them
// (vantrel_tag: offset, depth and fields).  A string or data block arrives
// as a head, its payload in chunks of at most 64 bytes, and a tail; the
// tail is missing when the file ended inside the payload.  Writers do not
// check for output errors: the walk looks at out->failed.  A null writer
// means the rendering has nothing to write there (tables name only the
// writers they have, with designated initializers).  With a schema, a
// tag's writer is given the names of its id and type (dump_names; lengths
// of 0 where there are none, and always without a schema).
struct dump_format {
    // The blob's own start tag passed its checks (walk->swapped tells the
    // byte order); blob_end comes after the walk, fault or not
    // (walk->fault_code is 0 unless there was one).  `check` holds the
    // schema's violations (null without a schema); they count only when
    // the walk had no fault.
    void (*blob_start)(dump_output *out, const char *name, const vantrel_tag *start,
                       const vantrel_walk *walk) = nullptr;
    void (*blob_end)(dump_output *out, const vantrel_walk *walk, const dump_check *check) = nullptr;
    // A file with no blob to walk: it could not be opened (has_offset
    // false) or its start tag was refused (at offset 0).
    void (*file_failed)(dump_output *out, const char *name, bool has_offset, const char *reason) = nullptr;
    // A nested start tag, and an end tag (depth 0: the blob's own).
    void (*block_start)(dump_output *out, const vantrel_tag *tag) = nullptr;
    void (*block_end)(dump_output *out, const vantrel_tag *tag) = nullptr;
    void (*string_head)(dump_output *out, const vantrel_tag *tag, const dump_names *names) = nullptr;
    void (*string_chunk)(dump_output *out, const uint8_t *bytes, uint32_t count) = nullptr;
    void (*string_tail)(dump_output *out) = nullptr;
    void (*integer)(dump_output *out, const vantrel_tag *tag, const dump_names *names) = nullptr;
    void (*data_head)(dump_output *out, const vantrel_tag *tag, const dump_names *names) = nullptr;
    void (*data_chunk)(dump_output *out, const uint8_t *bytes, uint32_t count) = nullptr;
    void (*data_tail)(dump_output *out) = nullptr;
    // Given a string's whole payload at once, in place of
    // string_head, its chunks and string_tail, for a rendering whose form
    // depends on all of it.  A string cut short by the end of the file
    // then writes nothing.
    void (*string_whole)(dump_output *out, const vantrel_tag *tag, const dump_names *names,
                         const uint8_t *bytes) = nullptr;
};

extern const dump_format dump_listing;
// One JSON object per file, on one line.
extern const dump_format dump_json;

// One per run.  The walk only reads it; the driver sets file_name per file.
struct dump_context {
    const char *prog_name; // as messages show it
    const char *file_name; // as messages show it (the formats get the name itself)
    int warn_start_reserved; // non-zero: a nested start tag's non-zero reserved word only warns
    const dump_format *format;
    dump_schema *schema; // --schema, or null: its marks are each blob's in turn
};

// Calls a writer of a dump_format unless it is null.
template <typename... Args, typename... Given> inline void dump_write(void (*writer)(Args...), Given... given)
{
    if (writer != nullptr)
        writer(given...);
}

// Walks the blob whose start tag `walk` has begun: `in` stands where its
// first tag begins.  Returns 0 when the blob's end tag closed it exactly.
// Returns 1 after a fault in the blob, reported on stderr, or as soon as
// `out` has failed, which the caller reports: it owns the stream.  With a
// `check` (null without a schema) each tag is checked against the schema
// as it is read; its violations are the caller's to report.
int dump_tags(dump_output *out, dump_input *in, const dump_context *ctx, vantrel_walk *walk, dump_check *check);

#if defined(__MINGW32__)
#define DUMP_PRINTF(f, a) __attribute__((format(__MINGW_PRINTF_FORMAT, f, a)))
#elif defined(__GNUC__)
#define DUMP_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define DUMP_PRINTF(f, a)
#endif

// Every diagnostic: one line on stderr, after what `out` holds is written
// out, so that a file's header and tags come before its messages where
// both streams show together (a terminal, 2>&1).
void dump_message(dump_output *out, const char *format, ...) DUMP_PRINTF(2, 3);

// The message for the fault a walk recorded: "prog: 'file'@0xOFFSET: why".
void dump_report_fault(dump_output *out, const dump_context *ctx, const vantrel_walk *walk);

// One message per violation a check kept, "prog: 'file'@0xOFFSET: name:
// reason" (a tag the schema does not declare has no name to show).
void dump_report_violations(dump_output *out, const dump_context *ctx, const dump_check *check);

// The reason for the fault a walk recorded, as the messages and the JSON
// give it: the format's faults with their numbers (written into `text`),
// the input's own as they are.
const char *dump_fault_reason(const vantrel_walk *walk, char (&text)[VANTREL_REASON_SIZE]);

// Lists one blob whose input stands at its first byte: reads and checks the
// start tag, then walks.  `name` is the file's name for the format;
// ctx->file_name names it in the messages.  Returns 0 or 1 as dump_tags.
int dump_file(dump_output *out, dump_input *in, const dump_context *ctx, const char *name);

// dump_file with the caller's walk, which tells afterwards how the walk
// ended (walk->fault_code is 0 unless the blob had a fault).
int dump_blob(dump_output *out, dump_input *in, const dump_context *ctx, const char *name, vantrel_walk *walk);

// The whole program: options, every file operand, the exit status.
int dump_main(int argc, char **argv);

// The faults the input adds to the format's: codes of the callers' range,
// recorded in the walk with texts of their own (vantrel_walk_fail_text).
enum dump_fault_code {
    DUMP_E_CANNOT_GO_BACK = VANTREL_E_CALLER_FIRST, // a tag's payload ran past its tag_size, on a pipe
    DUMP_E_SEEK,                // the stream refused a seek
    DUMP_E_MEMORY,              // no memory to hold what must be held (--source: the blob; --json: a string)
};
static_assert(DUMP_E_MEMORY <= VANTREL_E_CALLER_LAST, "the dump's fault codes lie in the callers' range");

// Records one of the input's faults in the walk; returns 1.
int dump_walk_fail(vantrel_walk *walk, uint64_t offset, dump_fault_code code);
