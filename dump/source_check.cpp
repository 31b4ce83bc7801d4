// Whether vantrel-comp could reproduce a blob byte for byte.  The compiler
// writes one shape of blob at the alignment A it is given: every tag at its
// minimal size rounded to A with zero fill, zero reserved words and
// terminators, one level of tags, strings that fit one source line and hold
// no zero byte, and nothing after the end tag.  Anything else is refused,
// with the offset of the first byte that differs from that shape.
#include <cinttypes>

#include "source.h"
#include "vantrel.h"

namespace {

// The checking walk is run for its checks only: it writes nothing.
const dump_format silent = {};

void refuse(dump_output *out, const dump_context *ctx, uint64_t at, const char *why)
{
    dump_message(out, "%s: '%s'@0x%" PRIX64 ": cannot be written as source: %s\n", ctx->prog_name, ctx->file_name,
                 at, why);
}

// A fault of the file rather than of what the compiler can make.
void file_fault(dump_output *out, const dump_context *ctx, uint64_t at, const char *why)
{
    dump_message(out, "%s: '%s'@0x%" PRIX64 ": %s\n", ctx->prog_name, ctx->file_name, at, why);
}

// A reason and the offset it is shown at.
struct fault {
    const char *why;
    uint32_t at;
};

constexpr fault NO_FAULT = {nullptr, 0};

// The first non-zero byte in [from, to), if any, as a fault.
fault non_zero(const source_blob *blob, uint32_t from, uint32_t to, const char *why)
{
    for (uint32_t at = from; at < to; ++at)
        if (blob->bytes[at] != 0)
            return {why, at};
    return NO_FAULT;
}

// `fixed` is the tag's size without payload, `payload` what its size field
// adds; the compiler's tag is exactly the two rounded up to the alignment.
bool minimal(const source_blob *blob, const vantrel_tag *tag, uint64_t fixed, uint64_t payload)
{
    uint64_t a = blob->alignment;
    return tag->tag_size == ((fixed + payload + a - 1) & ~(a - 1));
}

fault size_fault(const vantrel_tag *tag) { return {"tag size is not minimal", uint32_t(tag->offset) + VANTREL_HDR_TAG_SIZE}; }

fault check_string(const source_blob *blob, const vantrel_tag *tag)
{
    uint32_t at = static_cast<uint32_t>(tag->offset);
    if (!minimal(blob, tag, VANTREL_STRING_MIN, tag->size))
        return size_fault(tag);
    // There is no escape for a zero byte.
    for (uint32_t i = 0; i < tag->size; ++i)
        if (tag->payload[i] == 0)
            return {"string holds a zero byte", at + VANTREL_STRING_DATA + i};
    uint32_t terminator = at + VANTREL_STRING_DATA + tag->size;
    if (blob->bytes[terminator] != 0)
        return {"non-zero string terminator", terminator};
    fault fill = non_zero(blob, terminator + 1, at + tag->tag_size, "non-zero fill");
    if (fill.why != nullptr)
        return fill;
    if (source_string_line_length(blob->schema != nullptr ? &blob->schema->schema : nullptr, tag->id,
                                  tag->payload, tag->size) > SOURCE_LINE_MAX)
        return {"string too long for one source line", at};
    return NO_FAULT;
}

fault check_data_block(const source_blob *blob, const vantrel_tag *tag)
{
    uint32_t at = static_cast<uint32_t>(tag->offset);
    if (!minimal(blob, tag, VANTREL_DATA_MIN, tag->size))
        return size_fault(tag);
    return non_zero(blob, at + VANTREL_DATA_DATA + tag->size, at + tag->tag_size, "non-zero fill");
}

fault check_integer(const source_blob *blob, const vantrel_tag *tag, int swapped)
{
    uint32_t at = static_cast<uint32_t>(tag->offset);
    if (!minimal(blob, tag, VANTREL_INTEGER_MIN, 0))
        return size_fault(tag);
    if (vantrel_load32(blob->bytes + at + VANTREL_INTEGER_RESERVED, swapped) != 0)
        return {"non-zero reserved word", at + VANTREL_INTEGER_RESERVED};
    // Alignments above 8 pad the integer's 24 bytes.
    return non_zero(blob, at + VANTREL_INTEGER_MIN, at + tag->tag_size, "non-zero fill");
}

// The alignment the blob was built with: its start tag's size above 16, or
// for 16 (alignments 8 and 16) its end tag's size.  0 when no alignment
// gives that start tag.
uint32_t alignment_of(const source_blob *blob, const vantrel_tag *start)
{
    // Only a start tag of 16 bytes leaves the end tag to tell 8 from 16;
    // the blob was checked, so the checked walk reaches the end tag.
    uint32_t end_size = 0;
    if (start->tag_size == VANTREL_START_MIN) {
        vantrel_tag tag = *start;
        while (vantrel_checked_next(blob->bytes, blob->length, &tag) > 0)
            end_size = tag.tag_size;
    }
    return vantrel_blob_alignment(start->tag_size, end_size);
}

// The tags after the start tag, up to and including the end tag.  The
// file's walk has checked them, so the checked walk goes through them
// without the open blocks' stack; it can only stop at a payload that runs
// past the blob's end, which a minimal tag never does.  Sets the blob's
// alignment.
fault check_tags(source_blob *blob)
{
    vantrel_tag tag;
    int swapped = vantrel_load32(blob->bytes, 0) == VANTREL_TAG_START_SWAPPED;
    vantrel_checked_first(blob->bytes, blob->length, &tag); // the blob's own start tag
    blob->alignment = alignment_of(blob, &tag);
    if (blob->alignment == 0)
        return size_fault(&tag);
    // The start tag's fill: 16 up to its size.
    fault f = non_zero(blob, VANTREL_START_MIN, tag.tag_size, "non-zero fill");
    if (f.why != nullptr)
        return f;
    for (;;) {
        int step = vantrel_checked_next(blob->bytes, blob->length, &tag);
        if (step <= 0)
            return step == 0 ? NO_FAULT : size_fault(&tag);
        switch (tag.code) {
        case VANTREL_TAG_END:
            if (!minimal(blob, &tag, VANTREL_END_MIN, 0))
                return size_fault(&tag);
            return non_zero(blob, static_cast<uint32_t>(tag.offset) + VANTREL_END_MIN,
                            static_cast<uint32_t>(tag.offset) + tag.tag_size, "non-zero fill");
        case VANTREL_TAG_STRING:
            f = check_string(blob, &tag);
            break;
        case VANTREL_TAG_INTEGER:
            f = check_integer(blob, &tag, swapped);
            break;
        case VANTREL_TAG_DATA_BLOCK:
            f = check_data_block(blob, &tag);
            break;
        default:
            // The compiler refuses a second "{".
            return {"nested start tag", static_cast<uint32_t>(tag.offset)};
        }
        if (f.why != nullptr)
            return f;
    }
}

} // namespace

int source_load(dump_output *out, dump_input *in, const dump_context *ctx, const char *name, source_blob *blob)
{
    *blob = source_blob{};
    dump_context checking = *ctx;
    checking.format = &silent;
    vantrel_walk walk;
    if (dump_blob(out, in, &checking, name, &walk) != 0)
        return 1;
    uint32_t length = vantrel_load32(in->buffer + VANTREL_START_LENGTH, static_cast<int>(walk.swapped));
    // A length below 16 passed the walk only if its count wrapped around
    // 2^32, over a blob of more than 4 GiB.
    if (length < VANTREL_START_MIN) {
        refuse(out, ctx, VANTREL_START_LENGTH, "blob is larger than 4294967295 bytes");
        return 1;
    }
    // Every byte of the blob (the walk skips fill, so a file may end inside
    // the last tag's), and whether one more follows: the compiler writes
    // the blob and nothing else.
    const uint8_t *after;
    bool more = input_seek(in, length) == INPUT_MOVED && in->filled >= length && input_read(in, 1, &after) == 1;
    if (in->out_of_memory) {
        file_fault(out, ctx, in->filled, "out of memory");
        return 1;
    }
    if (in->filled < length) {
        file_fault(out, ctx, in->filled, vantrel_fault_text(VANTREL_E_EOF));
        return 1;
    }
    source_blob loaded = {in->buffer, length, 0, ctx->schema};
    fault f = check_tags(&loaded);
    if (f.why == nullptr && more)
        f = {"bytes after the end of the blob", length};
    if (f.why != nullptr) {
        refuse(out, ctx, f.at, f.why);
        return 1;
    }
    *blob = loaded;
    return 0;
}
