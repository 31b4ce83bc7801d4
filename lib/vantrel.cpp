// The blob builder.  Everything happens in the caller's buffer: no heap, no
// global state, one copy of each payload.
#include "vantrel.h"

// The C header: a freestanding C++ compiler (firmware) has no <cstring>.
#include <string.h>

namespace {

// Words are stored in the writer's own byte order, at offsets that are
// multiples of 4 but not always of 8, so go through memcpy.
void put32(uint8_t *at, uint32_t value) { memcpy(at, &value, sizeof value); }
void put64(uint8_t *at, uint64_t value) { memcpy(at, &value, sizeof value); }
uint32_t get32(const uint8_t *at)
{
    uint32_t value;
    memcpy(&value, at, sizeof value);
    return value;
}

uint32_t fix_alignment(uint32_t requested)
{
    uint32_t a = requested;
    while ((a & (a - 1)) != 0)
        a &= a - 1; // keep only the highest set bit
    if (a > VANTREL_ALIGN_MAX)
        a = VANTREL_ALIGN_MAX;
    if (a < VANTREL_ALIGN_MIN)
        a = VANTREL_ALIGN_MIN;
    return a;
}

// n rounded up to a multiple of align, or 0 when that passes 32 bits.
uint32_t round_up(uint64_t n, uint32_t align)
{
    uint64_t rounded = (n + align - 1) & ~static_cast<uint64_t>(align - 1);
    return rounded > UINT32_MAX ? 0 : static_cast<uint32_t>(rounded);
}

// The scatter list's total in 64 bits, so that no list can wrap it.
uint64_t scatter_total(const vantrel_scatter *list)
{
    uint64_t total = 0;
    for (const vantrel_scatter *e = list; e->data != nullptr && e->size != 0; ++e)
        total += e->size;
    return total;
}

// Room for a tag of tag_size bytes at cur, with the end tag's 8 bytes kept
// free behind it.  Compared as sizes so nothing can wrap.
bool has_room(const vantrel_state *s, uint32_t tag_size)
{
    if (tag_size == 0)
        return false; // size did not fit in 32 bits
    uint32_t used = static_cast<uint32_t>(s->cur - s->base);
    uint32_t room = s->size - used;
    return tag_size <= room && room - tag_size >= VANTREL_END_MIN;
}

uint32_t string_tag_size(uint32_t align, uint32_t length)
{
    return round_up(uint64_t{length} + VANTREL_STRING_MIN, align);
}

uint32_t data_block_tag_size(uint32_t align, uint64_t size)
{
    return round_up(size + VANTREL_DATA_MIN, align);
}

void put_header(uint8_t *at, uint32_t code, uint32_t tag_size)
{
    put32(at + VANTREL_HDR_TAG, code);
    put32(at + VANTREL_HDR_TAG_SIZE, tag_size);
}

void zero_fill(uint8_t *at, uint32_t from, uint32_t to)
{
    if (to > from)
        memset(at + from, 0, to - from);
}

void copy_bytes(uint8_t *to, const void *from, uint32_t size)
{
    if (size != 0) // a zero-sized payload may come with a null pointer
        memcpy(to, from, size);
}

void put_data_fields(uint8_t *tag, uint32_t tag_size, uint32_t size, uint32_t type,
                            uint32_t id)
{
    put_header(tag, VANTREL_TAG_DATA_BLOCK, tag_size);
    put32(tag + VANTREL_DATA_TYPE, type);
    put32(tag + VANTREL_DATA_ID, id);
    put32(tag + VANTREL_DATA_SIZE, size);
    zero_fill(tag, VANTREL_DATA_DATA + size, tag_size);
}

} // namespace

extern "C" {

int32_t vantrel_init(vantrel_state *state, void *buffer, uint32_t buffer_size,
                     uint32_t alignment)
{
    uint32_t align = fix_alignment(alignment);
    state->base = static_cast<uint8_t *>(buffer);
    // Only whole multiples of A are usable; the tail is never written.
    state->size = buffer_size & ~(align - 1);
    state->align = align;

    uint32_t start_size = round_up(VANTREL_START_MIN, align);
    if (2ull * start_size > state->size)
        return 1;

    uint8_t *start = state->base;
    put_header(start, VANTREL_TAG_START, start_size);
    put32(start + VANTREL_START_RESERVED, 0);
    zero_fill(start, VANTREL_START_MIN, start_size);
    state->cur = start + start_size;
    return 0;
}

int32_t vantrel_end(vantrel_state *state)
{
    uint32_t end_size = round_up(VANTREL_END_MIN, state->align);
    uint32_t used = static_cast<uint32_t>(state->cur - state->base);
    if (end_size > state->size - used)
        return 1;

    put_header(state->cur, VANTREL_TAG_END, end_size);
    zero_fill(state->cur, VANTREL_HDR_SIZE, end_size);
    state->cur += end_size;
    put32(state->base + VANTREL_START_LENGTH, used + end_size);
    return 0;
}

uint32_t vantrel_get_used_size(const vantrel_state *state)
{
    return get32(state->base + VANTREL_START_LENGTH);
}

int32_t vantrel_add_string(vantrel_state *state, const char *characters, uint32_t length,
                           uint32_t id)
{
    uint32_t tag_size = string_tag_size(state->align, length);
    if (!has_room(state, tag_size))
        return 1;

    uint8_t *tag = state->cur;
    put_header(tag, VANTREL_TAG_STRING, tag_size);
    put32(tag + VANTREL_STRING_ID, id);
    put32(tag + VANTREL_STRING_SIZE, length);
    copy_bytes(tag + VANTREL_STRING_DATA, characters, length);
    zero_fill(tag, VANTREL_STRING_DATA + length, tag_size); // terminator and fill
    state->cur += tag_size;
    return 0;
}

int32_t vantrel_add_integer(vantrel_state *state, uint64_t value, uint32_t id)
{
    uint32_t tag_size = round_up(VANTREL_INTEGER_MIN, state->align);
    if (!has_room(state, tag_size))
        return 1;

    uint8_t *tag = state->cur;
    put_header(tag, VANTREL_TAG_INTEGER, tag_size);
    put64(tag + VANTREL_INTEGER_VALUE, value);
    put32(tag + VANTREL_INTEGER_ID, id);
    put32(tag + VANTREL_INTEGER_RESERVED, 0);
    zero_fill(tag, VANTREL_INTEGER_MIN, tag_size);
    state->cur += tag_size;
    return 0;
}

int32_t vantrel_add_data_block(vantrel_state *state, const void *data, uint32_t size,
                               uint32_t type, uint32_t id)
{
    uint32_t tag_size = data_block_tag_size(state->align, size);
    if (!has_room(state, tag_size))
        return 1;

    copy_bytes(state->cur + VANTREL_DATA_DATA, data, size);
    put_data_fields(state->cur, tag_size, size, type, id);
    state->cur += tag_size;
    return 0;
}

int32_t vantrel_add_scatter_data_block(vantrel_state *state, const vantrel_scatter *list,
                                       uint32_t type, uint32_t id)
{
    uint64_t total = scatter_total(list);
    if (total == 0)
        return 0; // an empty list places nothing
    uint32_t tag_size = data_block_tag_size(state->align, total);
    if (!has_room(state, tag_size))
        return 1;

    uint8_t *to = state->cur + VANTREL_DATA_DATA;
    for (const vantrel_scatter *e = list; e->data != nullptr && e->size != 0; ++e) {
        memcpy(to, e->data, e->size);
        to += e->size;
    }
    put_data_fields(state->cur, tag_size, static_cast<uint32_t>(total), type, id);
    state->cur += tag_size;
    return 0;
}

uint32_t vantrel_get_string_tag_size(const vantrel_state *state, uint32_t length)
{
    return string_tag_size(state->align, length);
}

uint32_t vantrel_get_integer_tag_size(const vantrel_state *state)
{
    return round_up(VANTREL_INTEGER_MIN, state->align);
}

uint32_t vantrel_get_data_block_tag_size(const vantrel_state *state, uint32_t size)
{
    return data_block_tag_size(state->align, size);
}

uint32_t vantrel_get_scatter_data_block_tag_size(const vantrel_state *state,
                                                 const vantrel_scatter *list)
{
    uint64_t total = scatter_total(list);
    if (total == 0)
        return 0;
    return data_block_tag_size(state->align, total);
}

void *vantrel_next_tag(const void *tag)
{
    const uint8_t *at = static_cast<const uint8_t *>(tag);
    if (get32(at + VANTREL_HDR_TAG) == VANTREL_TAG_END)
        return nullptr;
    return const_cast<uint8_t *>(at + get32(at + VANTREL_HDR_TAG_SIZE));
}

} // extern "C"
