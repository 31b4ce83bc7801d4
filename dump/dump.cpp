// The walk over a blob file: the start tag checks, then each tag read from
// the input and checked by the format's walk as it streams.  The input is
// buffered (input.h), so moving from tag to tag costs no system call while
// the next tag is buffered.
#include "dump.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "dump_piece.h"

int dump_walk_fail(vantrel_walk *walk, uint64_t offset, dump_fault_code code)
{
    static const char *const texts[] = {
        "tag runs past its tag_size, and the input cannot seek back",
        "seek failed",
        "out of memory",
    };
    return vantrel_walk_fail_text(walk, offset, code, texts[code - DUMP_E_CANNOT_GO_BACK]);
}

const char *dump_fault_reason(const vantrel_walk *walk, char (&text)[VANTREL_REASON_SIZE])
{
    if (walk->fault_code >= VANTREL_E_CALLER_FIRST && walk->fault_code <= VANTREL_E_CALLER_LAST)
        return walk->fault_reason;
    return vantrel_fault_describe(walk->fault_code, walk->fault_value, text);
}

void dump_message(dump_output *out, const char *format, ...)
{
    if (out != nullptr)
        output_flush(out);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void dump_report_fault(dump_output *out, const dump_context *ctx, const vantrel_walk *walk)
{
    char reason[VANTREL_REASON_SIZE];
    dump_message(out, "%s: '%s'@0x%" PRIX64 ": %s\n", ctx->prog_name, ctx->file_name, walk->fault_offset,
                 dump_fault_reason(walk, reason));
}

void dump_report_violations(dump_output *out, const dump_context *ctx, const dump_check *check)
{
    for (size_t i = 0; i < check->count; ++i) {
        const dump_violation *v = &check->list[i];
        const vantrel_schema_decl *d = dump_violation_decl(check, v);
        char reason[VANTREL_SCHEMA_REASON_SIZE];
        dump_violation_reason(check, v, reason);
        if (d != nullptr)
            dump_message(out, "%s: '%s'@0x%" PRIX64 ": %.*s: %s\n", ctx->prog_name, ctx->file_name, v->offset,
                         static_cast<int>(d->name_length), d->name, reason);
        else
            dump_message(out, "%s: '%s'@0x%" PRIX64 ": %s\n", ctx->prog_name, ctx->file_name, v->offset, reason);
    }
}

namespace {

// Reads n bytes found at offset `at`, where the input stands.  A short read
// means the file ended (a read error looks the same from here), which is
// where the fault is; or that a whole input could not grow.
inline int read_exact(dump_input *in, size_t n, uint64_t at, vantrel_walk *walk, const uint8_t **bytes)
{
    size_t got = input_read(in, n, bytes);
    if (got == n)
        return 0;
    if (in->out_of_memory)
        return dump_walk_fail(walk, at + got, DUMP_E_MEMORY);
    return vantrel_walk_fail(walk, at + got, VANTREL_E_EOF, 0);
}

// Moves the input to `offset` for the tag at `tag_offset`; a move the input
// cannot make is that tag's fault.
int move_to(dump_input *in, uint64_t offset, uint64_t tag_offset, vantrel_walk *walk)
{
    switch (input_seek(in, offset)) {
    case INPUT_MOVED:
        return 0;
    case INPUT_CANNOT_GO_BACK:
        return dump_walk_fail(walk, tag_offset, DUMP_E_CANNOT_GO_BACK);
    case INPUT_NO_MEMORY:
        return dump_walk_fail(walk, tag_offset, DUMP_E_MEMORY);
    default:
        return dump_walk_fail(walk, tag_offset, DUMP_E_SEEK);
    }
}

using chunk_writer = void (*)(dump_output *, const uint8_t *, uint32_t);

// Streams the payload of `tag` through `write`, VANTREL_DUMP_PIECE bytes
// at a time.
int stream_payload(dump_output *out, dump_input *in, vantrel_walk *walk, const vantrel_tag *tag, chunk_writer write)
{
    uint64_t at = tag->offset + vantrel_payload_offset(tag->code);
    for (uint32_t size = tag->size; size != 0;) {
        uint32_t count = size < VANTREL_DUMP_PIECE ? size : VANTREL_DUMP_PIECE;
        const uint8_t *chunk;
        if (read_exact(in, count, at, walk, &chunk) != 0)
            return 1;
        dump_write(write, out, chunk, count);
        if (out->failed)
            return 1;
        at += count;
        size -= count;
    }
    return 0;
}

// A string for a rendering that takes it whole: as many bytes as the input
// buffer holds are read straight from it; a longer string is gathered in
// memory as it is read.  Either way the rendering decides and writes from
// the same bytes, read once, on a pipe too.
int whole_string(dump_output *out, dump_input *in, const dump_context *ctx, vantrel_walk *walk,
                 const vantrel_tag *tag, const dump_names *names)
{
    uint64_t at = tag->offset + VANTREL_STRING_DATA;
    const uint8_t *bytes;
    if (tag->size <= in->capacity) {
        if (read_exact(in, tag->size, at, walk, &bytes) != 0)
            return 1;
        ctx->format->string_whole(out, tag, names, bytes);
        return 0;
    }
    uint8_t *copy = nullptr;
    size_t held = 0, room = 0;
    int status = 0;
    while (status == 0 && held < tag->size) {
        size_t want = tag->size - held < in->capacity ? tag->size - held : in->capacity;
        size_t got = input_read(in, want, &bytes);
        if (held + got > room) {
            // Doubling, up to the string's size: memory follows the bytes
            // that arrive, not the size a damaged tag claims.
            room = room * 2 > held + got ? room * 2 : held + got;
            room = room < tag->size ? room : tag->size;
            auto *grown = static_cast<uint8_t *>(std::realloc(copy, room));
            if (grown == nullptr) {
                status = dump_walk_fail(walk, tag->offset, DUMP_E_MEMORY);
                break;
            }
            copy = grown;
        }
        if (got != 0)
            std::memcpy(copy + held, bytes, got);
        held += got;
        if (got < want)
            status = vantrel_walk_fail(walk, at + held, VANTREL_E_EOF, 0);
    }
    if (status == 0)
        ctx->format->string_whole(out, tag, names, copy);
    std::free(copy);
    return status;
}

// Writes one tag whose fields were read and checked; for a string or data
// block that includes its payload.
int list_tag(dump_output *out, dump_input *in, const dump_context *ctx, vantrel_walk *walk, const vantrel_tag *tag,
             const dump_names *names)
{
    const dump_format *f = ctx->format;
    switch (tag->code) {
    case VANTREL_TAG_START:
        dump_write(f->block_start, out, tag);
        return 0;
    case VANTREL_TAG_STRING:
        if (f->string_whole != nullptr)
            return whole_string(out, in, ctx, walk, tag, names);
        dump_write(f->string_head, out, tag, names);
        if (stream_payload(out, in, walk, tag, f->string_chunk) != 0)
            return 1;
        dump_write(f->string_tail, out);
        return 0;
    case VANTREL_TAG_INTEGER:
        dump_write(f->integer, out, tag, names);
        return 0;
    default: // VANTREL_TAG_DATA_BLOCK
        dump_write(f->data_head, out, tag, names);
        if (stream_payload(out, in, walk, tag, f->data_chunk) != 0)
            return 1;
        dump_write(f->data_tail, out);
        return 0;
    }
}

// One step of the walk: the tag at walk->at, read, checked and written, and
// the input moved to the next tag.  Returns 0 when the walk goes on or is
// done, 1 after a fault in the blob (recorded in the walk, not yet
// reported).
inline int step(dump_output *out, dump_input *in, const dump_context *ctx, vantrel_walk *walk, dump_check *check)
{
    const uint8_t *header;
    const uint8_t *fields;
    vantrel_tag tag;
    uint32_t field_bytes;
    input_mark(in);
    if (vantrel_walk_room(walk) != 0 || read_exact(in, VANTREL_HDR_SIZE, walk->at, walk, &header) != 0 ||
        vantrel_walk_header(walk, header, &tag, &field_bytes) != 0)
        return 1;
    uint32_t decl = VANTREL_SCHEMA_NONE;
    if (tag.code == VANTREL_TAG_END) {
        // The missing tags are the end tag's violations.
        if (check != nullptr && dump_check_tag(check, &tag, &decl) != 0)
            return dump_walk_fail(walk, tag.offset, DUMP_E_MEMORY);
        dump_write(ctx->format->block_end, out, &tag);
        return walk->done ? 0 : move_to(in, walk->at, tag.offset, walk);
    }
    if (read_exact(in, field_bytes, tag.offset + VANTREL_HDR_SIZE, walk, &fields) != 0)
        return 1;
    int fault = vantrel_walk_fields(walk, fields, &tag);
    // With the option, a nested start tag's reserved word only warns, and
    // the warning comes before whatever else is wrong with the tag.
    if (tag.code == VANTREL_TAG_START && tag.reserved != 0 && ctx->warn_start_reserved) {
        char reason[VANTREL_REASON_SIZE];
        dump_message(out, "%s: '%s'@0x%" PRIX64 ": %s\n", ctx->prog_name, ctx->file_name,
                     tag.offset + VANTREL_START_MIN,
                     vantrel_fault_describe(VANTREL_E_NESTED_RESERVED, tag.reserved, reason));
    }
    if (fault != 0)
        return 1;
    dump_names names{};
    if (check != nullptr) {
        if (dump_check_tag(check, &tag, &decl) != 0)
            return dump_walk_fail(walk, tag.offset, DUMP_E_MEMORY);
        names = dump_schema_names(check->schema, decl, &tag);
    }
    if (list_tag(out, in, ctx, walk, &tag, &names) != 0)
        return 1;
    return move_to(in, walk->at, tag.offset, walk);
}

} // namespace

int dump_tags(dump_output *out, dump_input *in, const dump_context *ctx, vantrel_walk *walk, dump_check *check)
{
    while (!walk->done) {
        // A dead output stream is the caller's to report; reading on would
        // only go through the rest of the file for nothing.
        if (out->failed)
            return 1;
        if (step(out, in, ctx, walk, check) != 0) {
            if (walk->fault_code != VANTREL_E_NONE)
                dump_report_fault(out, ctx, walk);
            return 1;
        }
    }
    return 0;
}

int dump_blob(dump_output *out, dump_input *in, const dump_context *ctx, const char *name, vantrel_walk *walk)
{
    const uint8_t *start;
    if (input_read(in, VANTREL_START_MIN, &start) != VANTREL_START_MIN) {
        vantrel_walk_fail(walk, 0, VANTREL_E_SHORT, 0);
        dump_message(out, "%s: '%s': %s\n", ctx->prog_name, ctx->file_name, walk->fault_reason);
        dump_write(ctx->format->file_failed, out, name, true, walk->fault_reason);
        return 1;
    }
    vantrel_tag start_tag;
    uint32_t enclosing[VANTREL_MAX_DEPTH]; // the walk's open blocks, for as long as it lasts
    uint32_t flags = ctx->warn_start_reserved ? VANTREL_ALLOW_NESTED_RESERVED : 0;
    if (vantrel_walk_begin(walk, enclosing, VANTREL_MAX_DEPTH, start, flags, &start_tag) != 0) {
        // The blob's own start tag: these messages name the file only.
        if (walk->fault_code == VANTREL_E_NO_START)
            dump_message(out, "%s: %s in '%s'\n", ctx->prog_name, walk->fault_reason, ctx->file_name);
        else
            dump_message(out, "%s: '%s': %s\n", ctx->prog_name, ctx->file_name, walk->fault_reason);
        dump_write(ctx->format->file_failed, out, name, true, walk->fault_reason);
        return 1;
    }
    dump_write(ctx->format->blob_start, out, name, &start_tag, walk);
    dump_check check;
    if (ctx->schema != nullptr)
        dump_check_begin(&check, ctx->schema);
    int status = 0;
    if (move_to(in, walk->at, 0, walk) != 0) {
        dump_report_fault(out, ctx, walk);
        status = 1;
    } else {
        status = dump_tags(out, in, ctx, walk, ctx->schema != nullptr ? &check : nullptr);
    }
    // A blob that is not well formed has the format's fault alone.
    if (ctx->schema != nullptr && status == 0 && check.count != 0) {
        dump_report_violations(out, ctx, &check);
        status = 1;
    }
    dump_write(ctx->format->blob_end, out, walk, ctx->schema != nullptr ? &check : nullptr);
    if (ctx->schema != nullptr)
        dump_check_release(&check);
    return status;
}

int dump_file(dump_output *out, dump_input *in, const dump_context *ctx, const char *name)
{
    vantrel_walk walk;
    return dump_blob(out, in, ctx, name, &walk);
}
