// The walk over a blob file: word readers, the start tag checks and
// dump_tags.  It holds one tag header, at most 16 bytes of fields and one
// 64-byte chunk at a time, and moves from tag to tag with one seek.
#include "dump.h"

#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <sys/types.h>

#include "vantrel.h"

uint32_t read32_id(uint32_t word) { return word; }
uint64_t read64_id(uint64_t word) { return word; }

uint32_t read32_swap(uint32_t word)
{
    return (word >> 24) | ((word >> 8) & 0x0000FF00u) | ((word << 8) & 0x00FF0000u) | (word << 24);
}

uint64_t read64_swap(uint64_t word)
{
    // The halves trade places as well as their bytes.
    return uint64_t{read32_swap(static_cast<uint32_t>(word))} << 32 |
           read32_swap(static_cast<uint32_t>(word >> 32));
}

namespace {

// Fields are read into byte buffers that begin after the 8-byte header; the
// layout's offsets count from the tag's first byte.
constexpr uint32_t after_header(uint32_t offset) { return offset - VANTREL_HDR_SIZE; }

uint32_t field32(const dump_context *ctx, const uint8_t *bytes, uint32_t at)
{
    uint32_t raw;
    std::memcpy(&raw, bytes + at, sizeof raw);
    return ctx->read32(raw);
}

uint64_t field64(const dump_context *ctx, const uint8_t *bytes, uint32_t at)
{
    uint64_t raw;
    std::memcpy(&raw, bytes + at, sizeof raw);
    return ctx->read64(raw);
}

// "prog: 'file'@0xOFFSET: " and the text.
[[gnu::format(printf, 3, 4)]] void report(const dump_context *ctx, uint64_t offset, const char *text, ...)
{
    std::fprintf(stderr, "%s: '%s'@0x%" PRIX64 ": ", ctx->prog_name, ctx->file_name, offset);
    va_list args;
    va_start(args, text);
    std::vfprintf(stderr, text, args);
    va_end(args);
}

// Reads n bytes found at file offset `at`.  A short read means the file
// ended (a read error looks the same from here); the input then stands
// after what it did deliver.
int read_exact(FILE *in, void *into, size_t n, uint64_t at, const dump_context *ctx)
{
    size_t got = std::fread(into, 1, n, in);
    if (got == n)
        return 0;
    report(ctx, at + got, "unexpected end-of-file\n");
    return 1;
}

using chunk_writer = void (*)(FILE *, const uint8_t *, uint32_t);

// Streams `size` payload bytes that begin at offset `at` through `write`.
// Kept out of dump_tags so that the chunk buffer is not part of every
// level of the recursion.
[[gnu::noinline]] int stream_payload(FILE *out, FILE *in, const dump_context *ctx, uint64_t at,
                                     uint32_t size, chunk_writer write)
{
    uint8_t chunk[64];
    while (size != 0) {
        uint32_t count = size < sizeof chunk ? size : static_cast<uint32_t>(sizeof chunk);
        if (read_exact(in, chunk, count, at, ctx) != 0)
            return 1;
        write(out, chunk, count);
        if (std::ferror(out))
            return 1;
        at += count;
        size -= count;
    }
    return 0;
}

[[gnu::noinline]] int list_string(FILE *out, FILE *in, const dump_context *ctx, uint64_t tag_at, int depth)
{
    uint8_t fields[after_header(VANTREL_STRING_DATA)];
    if (read_exact(in, fields, sizeof fields, tag_at + VANTREL_HDR_SIZE, ctx) != 0)
        return 1;
    uint32_t id = field32(ctx, fields, after_header(VANTREL_STRING_ID));
    uint32_t size = field32(ctx, fields, after_header(VANTREL_STRING_SIZE));
    ctx->format->string_head(out, depth, id, size);
    if (stream_payload(out, in, ctx, tag_at + VANTREL_STRING_DATA, size, ctx->format->string_chunk) != 0)
        return 1;
    ctx->format->string_tail(out);
    return 0;
}

[[gnu::noinline]] int list_integer(FILE *out, FILE *in, const dump_context *ctx, uint64_t tag_at, int depth)
{
    // The reserved word is read with the rest but never looked at.
    uint8_t fields[after_header(VANTREL_INTEGER_MIN)];
    if (read_exact(in, fields, sizeof fields, tag_at + VANTREL_HDR_SIZE, ctx) != 0)
        return 1;
    uint64_t value = field64(ctx, fields, after_header(VANTREL_INTEGER_VALUE));
    uint32_t id = field32(ctx, fields, after_header(VANTREL_INTEGER_ID));
    ctx->format->integer(out, depth, id, value);
    return 0;
}

[[gnu::noinline]] int list_data_block(FILE *out, FILE *in, const dump_context *ctx, uint64_t tag_at,
                                      int depth)
{
    uint8_t fields[after_header(VANTREL_DATA_DATA)];
    if (read_exact(in, fields, sizeof fields, tag_at + VANTREL_HDR_SIZE, ctx) != 0)
        return 1;
    uint32_t type = field32(ctx, fields, after_header(VANTREL_DATA_TYPE));
    uint32_t id = field32(ctx, fields, after_header(VANTREL_DATA_ID));
    uint32_t size = field32(ctx, fields, after_header(VANTREL_DATA_SIZE));
    ctx->format->data_head(out, depth, id, type, size);
    if (stream_payload(out, in, ctx, tag_at + VANTREL_DATA_DATA, size, ctx->format->data_chunk) != 0)
        return 1;
    ctx->format->data_tail(out);
    return 0;
}

} // namespace

int dump_tags(FILE *out, FILE *in, const dump_context *ctx, uint32_t remaining, int depth)
{
    ctx->format->block_start(out, depth);
    off_t entry = ftello(in);
    uint64_t tag_at = entry < 0 ? 0 : static_cast<uint64_t>(entry);
    for (;;) {
        // A dead output stream is the caller's to report; reading on would
        // only go through the rest of the file for nothing.
        if (std::ferror(out))
            return 1;
        if (remaining == 0) {
            report(ctx, tag_at, "missing end tag\n");
            return 1;
        }
        if (remaining < VANTREL_HDR_SIZE) {
            report(ctx, tag_at, "invalid vantrel start length\n");
            return 1;
        }
        uint8_t header[VANTREL_HDR_SIZE];
        if (read_exact(in, header, sizeof header, tag_at, ctx) != 0)
            return 1;
        uint32_t size = field32(ctx, header, VANTREL_HDR_TAG_SIZE);
        if (size > remaining || size < VANTREL_HDR_SIZE) {
            report(ctx, tag_at + VANTREL_HDR_SIZE, "invalid tag size\n");
            return 1;
        }
        uint32_t room = remaining;
        remaining -= size;
        uint64_t next = tag_at + size;
        uint32_t code = field32(ctx, header, VANTREL_HDR_TAG);
        switch (code) {
        case VANTREL_TAG_END:
            if (remaining != 0) {
                report(ctx, tag_at + VANTREL_HDR_SIZE, "junk found after end tag\n");
                return 1;
            }
            ctx->format->block_end(out, depth);
            return 0;
        case VANTREL_TAG_START: {
            uint8_t fields[after_header(VANTREL_START_MIN)];
            if (read_exact(in, fields, sizeof fields, tag_at + VANTREL_HDR_SIZE, ctx) != 0)
                return 1;
            uint32_t length = field32(ctx, fields, after_header(VANTREL_START_LENGTH));
            uint32_t reserved = field32(ctx, fields, after_header(VANTREL_START_RESERVED));
            uint64_t inner_at = tag_at + VANTREL_START_MIN;
            if (reserved != 0) {
                report(ctx, inner_at, "reserved field in start tag is not zero (value: 0x%" PRIx32 ")\n",
                       reserved);
                if (!ctx->warn_start_reserved)
                    return 1;
            }
            // The nested block must lie inside the room of the enclosing one
            // and the enclosing walk is charged what it skips, so that every
            // byte of the file is walked once: a block that claimed less
            // (down to nothing) would have the walk come back over the same
            // tags again and again.
            if (length < VANTREL_START_MIN || length > room) {
                report(ctx, inner_at, "invalid vantrel start length\n");
                return 1;
            }
            if (depth >= DUMP_MAX_DEPTH) {
                report(ctx, inner_at, "start tags nested too deeply\n");
                return 1;
            }
            if (dump_tags(out, in, ctx, length - VANTREL_START_MIN, depth + 1) != 0)
                return 1;
            remaining = room - length;
            next = tag_at + length;
            break;
        }
        case VANTREL_TAG_STRING:
            if (list_string(out, in, ctx, tag_at, depth) != 0)
                return 1;
            break;
        case VANTREL_TAG_INTEGER:
            if (list_integer(out, in, ctx, tag_at, depth) != 0)
                return 1;
            break;
        case VANTREL_TAG_DATA_BLOCK:
            if (list_data_block(out, in, ctx, tag_at, depth) != 0)
                return 1;
            break;
        default:
            report(ctx, tag_at + VANTREL_HDR_SIZE, "unknown tag: 0x%" PRIX32 "\n", code);
            return 1;
        }
        // Fields and payload may have run past the tag's end; its size says
        // where the next tag begins.
        fseeko(in, static_cast<off_t>(next), SEEK_SET);
        tag_at = next;
    }
}

int dump_file(FILE *out, FILE *in, dump_context *ctx, const char *name)
{
    ctx->file_name = name;
    if (ctx->format == nullptr)
        ctx->format = &dump_listing;
    uint32_t start[VANTREL_START_MIN / 4];
    if (std::fread(start, 1, sizeof start, in) != sizeof start) {
        std::fprintf(stderr, "%s: '%s': unexpected end-of-file\n", ctx->prog_name, name);
        return 1;
    }
    // The start code tells the byte order the blob was written in.
    uint32_t code = start[VANTREL_HDR_TAG / 4];
    if (code == VANTREL_TAG_START) {
        ctx->read32 = read32_id;
        ctx->read64 = read64_id;
    } else if (code == VANTREL_TAG_START_SWAPPED) {
        ctx->read32 = read32_swap;
        ctx->read64 = read64_swap;
    } else {
        std::fprintf(stderr, "%s: start tag not found in '%s'\n", ctx->prog_name, name);
        return 1;
    }
    // The blob's own start tag must be clean whatever the option says: the
    // option is about start tags met inside a blob.
    if (ctx->read32(start[VANTREL_START_RESERVED / 4]) != 0) {
        std::fprintf(stderr, "%s: '%s': reserved field in start tag is not zero\n", ctx->prog_name, name);
        return 1;
    }
    uint32_t tag_size = ctx->read32(start[VANTREL_HDR_TAG_SIZE / 4]);
    uint32_t length = ctx->read32(start[VANTREL_START_LENGTH / 4]);
    // A blob of alignment 32 or more pads its start tag with zeros, which
    // are no tag: its first content tag stands at tag_size.  A tag_size the
    // length cannot hold is not trusted, and the walk begins right after the
    // start tag's fields.
    if (tag_size > VANTREL_START_MIN && tag_size <= length) {
        fseeko(in, static_cast<off_t>(tag_size), SEEK_SET);
        return dump_tags(out, in, ctx, length - tag_size, 0);
    }
    return dump_tags(out, in, ctx, length - VANTREL_START_MIN, 0);
}
