// The walk's buffered input (input.h).
#include "input.h"

#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace {

size_t read_stream(void *handle, uint8_t *into, size_t n) { return stream_read(static_cast<FILE *>(handle), into, n); }

int seek_stream(void *handle, uint64_t offset) { return stream_seek(static_cast<FILE *>(handle), offset); }

const uint8_t *map_stream(void *handle, size_t *size) { return stream_map(static_cast<FILE *>(handle), size); }

// A whole input's first block; it doubles from there.
constexpr size_t WHOLE_FIRST_BLOCK = 1 << 16;

// One read into the free part of the buffer.  On a source that may wait
// (not a file), the output goes out first: what the bytes so far gave is
// shown before the wait.
size_t read_more(dump_input *in)
{
    if (!in->seekable && in->pending != nullptr)
        output_flush(in->pending);
    size_t got = in->source.read(in->source.handle, in->buffer + in->filled, in->capacity - in->filled);
    in->filled += got;
    return got;
}

// A whole input's buffer, twice as large: memory follows the bytes that
// arrive, not the offsets a damaged blob names.
bool grow(dump_input *in)
{
    if (in->capacity > SIZE_MAX / 2) {
        in->out_of_memory = true;
        return false;
    }
    auto *buffer = static_cast<uint8_t *>(std::realloc(in->buffer, 2 * in->capacity));
    if (buffer == nullptr) {
        in->out_of_memory = true;
        return false;
    }
    in->buffer = buffer;
    in->capacity *= 2;
    return true;
}

// Reads on until the buffer holds the source's bytes up to `end` (a
// source offset), or the source has no more.
void read_until(dump_input *in, uint64_t end)
{
    while (in->base + in->filled < end) {
        if (in->filled == in->capacity && !(in->whole && !in->mapped && grow(in)))
            return;
        if (read_more(in) == 0)
            return;
    }
}

} // namespace

input_source input_from_stream(FILE *stream)
{
    return {read_stream, stream_can_seek(stream) ? seek_stream : nullptr, stream, map_stream, stream_unmap};
}

void input_init(dump_input *in, const input_source *source, uint8_t *buffer, size_t capacity)
{
    *in = dump_input{};
    in->source = *source;
    in->buffer = buffer;
    in->capacity = capacity;
    in->seekable = source->seek != nullptr;
}

int input_init_whole(dump_input *in, const input_source *source)
{
    size_t size = 0;
    const uint8_t *map = source->map != nullptr ? source->map(source->handle, &size) : nullptr;
    if (map != nullptr) {
        // The buffer is only read: the cast lets it stand where read bytes do.
        input_init(in, source, const_cast<uint8_t *>(map), size);
        in->filled = size;
        in->whole = in->mapped = true;
        return 0;
    }
    auto *buffer = static_cast<uint8_t *>(std::malloc(WHOLE_FIRST_BLOCK));
    input_init(in, source, buffer, WHOLE_FIRST_BLOCK);
    in->whole = true;
    return buffer == nullptr ? 1 : 0;
}

void input_release(dump_input *in)
{
    if (in->mapped)
        in->source.unmap(in->buffer, in->capacity);
    else if (in->whole)
        std::free(in->buffer);
    in->buffer = nullptr;
}

size_t input_fill(dump_input *in, size_t n)
{
    // Keep the current tag's bytes if they and the wanted ones fit, so that
    // a tag whose payload runs past its size can be come back to.  A whole
    // input keeps everything.
    uint64_t keep = in->position;
    if (in->whole || (in->mark >= in->base && in->mark <= in->position && in->position - in->mark + n <= in->capacity))
        keep = in->whole ? in->base : in->mark;
    size_t drop = static_cast<size_t>(keep - in->base);
    if (drop != 0) {
        std::memmove(in->buffer, in->buffer + drop, in->filled - drop);
        in->filled -= drop;
        in->base = keep;
    }
    read_until(in, in->position + n);
    size_t at = static_cast<size_t>(in->position - in->base);
    size_t have = in->filled - at;
    return have < n ? have : n;
}

input_move input_seek(dump_input *in, uint64_t offset)
{
    if (offset >= in->base && offset - in->base <= in->filled) {
        in->position = offset;
        return INPUT_MOVED;
    }
    if (in->whole) {
        // Every byte up to there is kept; where the source ends first, the
        // position stays at its end, and reads there find nothing.
        read_until(in, offset);
        if (in->out_of_memory)
            return INPUT_NO_MEMORY;
        in->position = offset - in->base <= in->filled ? offset : in->base + in->filled;
        return INPUT_MOVED;
    }
    if (in->seekable) {
        if (in->source.seek(in->source.handle, offset) != 0)
            return INPUT_SEEK_FAILED;
        in->base = in->position = offset;
        in->filled = 0;
        return INPUT_MOVED;
    }
    if (offset < in->base)
        return INPUT_CANNOT_GO_BACK;
    // Forward on a pipe: read and throw away.  Where the source ends first,
    // the position still moves, and reads there find nothing.
    for (;;) {
        in->base += in->filled;
        in->filled = 0;
        if (read_more(in) == 0) {
            in->base = in->position = offset;
            return INPUT_MOVED;
        }
        if (offset - in->base <= in->filled) {
            in->position = offset;
            return INPUT_MOVED;
        }
    }
}
