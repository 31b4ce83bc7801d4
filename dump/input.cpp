// The walk's buffered input (input.h).
#include "input.h"

#include <cstring>
#include <sys/types.h>

void input_init(dump_input *in, FILE *stream, uint8_t *buffer, size_t capacity)
{
    in->stream = stream;
    in->buffer = buffer;
    in->capacity = capacity;
    in->base = 0;
    in->filled = 0;
    in->position = 0;
    in->mark = 0;
    in->seekable = ftello(stream) >= 0;
}

namespace {

// Reads on from base + filled into the free part of the buffer, until `n`
// bytes stand at the position or the stream has no more.
void read_until(dump_input *in, size_t n)
{
    size_t at = static_cast<size_t>(in->position - in->base);
    while (in->filled - at < n && in->filled < in->capacity) {
        size_t got = std::fread(in->buffer + in->filled, 1, in->capacity - in->filled, in->stream);
        in->filled += got;
        if (got == 0)
            break;
    }
}

} // namespace

size_t input_fill(dump_input *in, size_t n)
{
    // Keep the current tag's bytes if they and the wanted ones fit, so that
    // a tag whose payload runs past its size can be come back to.
    uint64_t keep = in->position;
    if (in->mark >= in->base && in->mark <= in->position && in->position - in->mark + n <= in->capacity)
        keep = in->mark;
    size_t drop = static_cast<size_t>(keep - in->base);
    if (drop != 0) {
        std::memmove(in->buffer, in->buffer + drop, in->filled - drop);
        in->filled -= drop;
        in->base = keep;
    }
    read_until(in, n);
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
    if (in->seekable) {
        if (fseeko(in->stream, static_cast<off_t>(offset), SEEK_SET) != 0)
            return INPUT_SEEK_FAILED;
        in->base = in->position = offset;
        in->filled = 0;
        return INPUT_MOVED;
    }
    if (offset < in->base)
        return INPUT_CANNOT_GO_BACK;
    // Forward on a pipe: read and throw away.  Where the stream ends first,
    // the position still moves, and reads there find nothing.
    for (;;) {
        in->base += in->filled;
        in->filled = std::fread(in->buffer, 1, in->capacity, in->stream);
        if (in->filled == 0 || offset - in->base < in->filled) {
            if (in->filled == 0)
                in->base = offset;
            in->position = offset;
            return INPUT_MOVED;
        }
    }
}
