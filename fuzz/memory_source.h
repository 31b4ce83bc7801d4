// A source over memory for the dump's input (input.h): it reads at most
// `most` bytes at a time, as a pipe hands out what has arrived, and seeks
// like a file, past its end as well.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "input.h"

struct memory_source {
    const uint8_t *data;
    size_t size;
    uint64_t at;
    size_t most;
};

inline size_t memory_read(void *handle, uint8_t *into, size_t n)
{
    auto *m = static_cast<memory_source *>(handle);
    if (m->at >= m->size)
        return 0;
    size_t count = std::min({n, m->most, m->size - static_cast<size_t>(m->at)});
    std::memcpy(into, m->data + m->at, count);
    m->at += count;
    return count;
}

inline int memory_seek(void *handle, uint64_t offset)
{
    static_cast<memory_source *>(handle)->at = offset;
    return 0;
}

inline input_source source_over(memory_source *m, bool seekable)
{
    return {memory_read, seekable ? memory_seek : nullptr, m, nullptr, nullptr};
}
