// The walk over a blob file: the start tag checks, then each tag read from
// the file and checked by the format's walk as it streams.  It holds one tag
// header, at most 16 bytes of fields and one 64-byte chunk at a time, and
// moves from tag to tag with one seek.
#include "dump.h"

#include <cinttypes>
#include <cstring>
#include <string_view>
#include <sys/types.h>

#include "vantrel.h"

uint32_t read32_id(uint32_t word) { return word; }
uint64_t read64_id(uint64_t word) { return word; }
uint32_t read32_swap(uint32_t word) { return vantrel_swap32(word); }
uint64_t read64_swap(uint64_t word) { return vantrel_swap64(word); }

void dump_report_fault(const dump_context *ctx, const vantrel_walk *walk)
{
    std::fprintf(stderr, "%s: '%s'@0x%" PRIX64 ": %s", ctx->prog_name, ctx->file_name, walk->fault_offset,
                 walk->fault_reason);
    if (walk->fault_reason == std::string_view(VANTREL_FAULT_UNKNOWN_TAG))
        std::fprintf(stderr, ": 0x%" PRIX32, walk->fault_value);
    else if (walk->fault_value != 0) // a nested start tag's reserved word
        std::fprintf(stderr, " (value: 0x%" PRIx32 ")", walk->fault_value);
    std::fputc('\n', stderr);
}

namespace {

// Reads n bytes found at file offset `at`.  A short read means the file
// ended (a read error looks the same from here); the input then stands
// after what it did deliver, which is where the fault is.
int read_exact(FILE *in, void *into, size_t n, uint64_t at, vantrel_walk *walk)
{
    size_t got = std::fread(into, 1, n, in);
    if (got == n)
        return 0;
    return vantrel_walk_fail(walk, at + got, VANTREL_FAULT_EOF, 0);
}

using chunk_writer = void (*)(FILE *, const uint8_t *, uint32_t);

// Streams the payload of `tag` through `write`, 64 bytes at a time.
int stream_payload(FILE *out, FILE *in, vantrel_walk *walk, const vantrel_tag *tag, chunk_writer write)
{
    uint8_t chunk[64];
    uint64_t at = tag->offset + vantrel_payload_offset(tag->code);
    for (uint32_t size = tag->size; size != 0;) {
        uint32_t count = size < sizeof chunk ? size : static_cast<uint32_t>(sizeof chunk);
        if (read_exact(in, chunk, count, at, walk) != 0)
            return 1;
        write(out, chunk, count);
        if (std::ferror(out))
            return 1;
        at += count;
        size -= count;
    }
    return 0;
}

// Writes one tag whose fields were read and checked; for a string or data
// block that includes its payload.
int list_tag(FILE *out, FILE *in, const dump_context *ctx, vantrel_walk *walk, const vantrel_tag *tag)
{
    const dump_format *f = ctx->format;
    switch (tag->code) {
    case VANTREL_TAG_START:
        f->block_start(out, static_cast<int>(tag->depth));
        return 0;
    case VANTREL_TAG_STRING:
        f->string_head(out, static_cast<int>(tag->depth), tag->id, tag->size);
        if (stream_payload(out, in, walk, tag, f->string_chunk) != 0)
            return 1;
        f->string_tail(out);
        return 0;
    case VANTREL_TAG_INTEGER:
        f->integer(out, static_cast<int>(tag->depth), tag->id, tag->value);
        return 0;
    default: // VANTREL_TAG_DATA_BLOCK
        f->data_head(out, static_cast<int>(tag->depth), tag->id, tag->type, tag->size);
        if (stream_payload(out, in, walk, tag, f->data_chunk) != 0)
            return 1;
        f->data_tail(out);
        return 0;
    }
}

// One step of the walk: the tag at walk->at, read, checked and written.
// Returns 0 when the walk goes on or is done, 1 after a fault in the blob
// (recorded in the walk, not yet reported).
int step(FILE *out, FILE *in, const dump_context *ctx, vantrel_walk *walk)
{
    uint8_t header[VANTREL_HDR_SIZE];
    uint8_t fields[VANTREL_INTEGER_MIN - VANTREL_HDR_SIZE]; // the most any tag has
    vantrel_tag tag;
    uint32_t field_bytes;
    if (vantrel_walk_room(walk) != 0 || read_exact(in, header, sizeof header, walk->at, walk) != 0 ||
        vantrel_walk_header(walk, header, &tag, &field_bytes) != 0)
        return 1;
    if (tag.code == VANTREL_TAG_END) {
        ctx->format->block_end(out, static_cast<int>(tag.depth));
        return 0;
    }
    if (read_exact(in, fields, field_bytes, tag.offset + VANTREL_HDR_SIZE, walk) != 0)
        return 1;
    int fault = vantrel_walk_fields(walk, fields, &tag);
    // With the option, a nested start tag's reserved word only warns, and
    // the warning comes before whatever else is wrong with the tag.
    if (tag.code == VANTREL_TAG_START && tag.reserved != 0 && ctx->warn_start_reserved)
        std::fprintf(stderr, "%s: '%s'@0x%" PRIX64 ": %s (value: 0x%" PRIx32 ")\n", ctx->prog_name,
                     ctx->file_name, tag.offset + VANTREL_START_MIN, VANTREL_FAULT_START_RESERVED, tag.reserved);
    if (fault != 0 || list_tag(out, in, ctx, walk, &tag) != 0)
        return 1;
    return 0;
}

} // namespace

int dump_tags(FILE *out, FILE *in, const dump_context *ctx, vantrel_walk *walk)
{
    ctx->format->block_start(out, 0);
    while (!walk->done) {
        // A dead output stream is the caller's to report; reading on would
        // only go through the rest of the file for nothing.
        if (std::ferror(out))
            return 1;
        if (step(out, in, ctx, walk) != 0) {
            if (walk->fault_reason != nullptr)
                dump_report_fault(ctx, walk);
            return 1;
        }
        if (!walk->done)
            fseeko(in, static_cast<off_t>(walk->at), SEEK_SET);
    }
    return 0;
}

int dump_blob(FILE *out, FILE *in, dump_context *ctx, const char *name, vantrel_walk *walk)
{
    ctx->file_name = name;
    if (ctx->format == nullptr)
        ctx->format = &dump_listing;
    uint8_t start[VANTREL_START_MIN];
    if (std::fread(start, 1, sizeof start, in) != sizeof start) {
        vantrel_walk_fail(walk, 0, VANTREL_FAULT_EOF, 0);
        std::fprintf(stderr, "%s: '%s': %s\n", ctx->prog_name, name, VANTREL_FAULT_EOF);
        return 1;
    }
    vantrel_tag start_tag;
    uint32_t enclosing[VANTREL_MAX_DEPTH]; // the walk's open blocks, for as long as it lasts
    uint32_t flags = ctx->warn_start_reserved ? VANTREL_ALLOW_NESTED_RESERVED : 0;
    if (vantrel_walk_begin(walk, enclosing, start, flags, &start_tag) != 0) {
        // The blob's own start tag: these messages name the file only.
        if (walk->fault_reason == std::string_view(VANTREL_FAULT_NO_START))
            std::fprintf(stderr, "%s: %s in '%s'\n", ctx->prog_name, walk->fault_reason, name);
        else
            std::fprintf(stderr, "%s: '%s': %s\n", ctx->prog_name, name, walk->fault_reason);
        return 1;
    }
    ctx->read32 = walk->swapped ? read32_swap : read32_id;
    ctx->read64 = walk->swapped ? read64_swap : read64_id;
    if (walk->at != VANTREL_START_MIN)
        fseeko(in, static_cast<off_t>(walk->at), SEEK_SET);
    return dump_tags(out, in, ctx, walk);
}

int dump_file(FILE *out, FILE *in, dump_context *ctx, const char *name)
{
    vantrel_walk walk;
    return dump_blob(out, in, ctx, name, &walk);
}
