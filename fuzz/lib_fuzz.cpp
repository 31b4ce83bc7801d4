// Drives the builder with a byte string decoded into calls: any alignment,
// any buffer size (odd ones too), strings, integers, data blocks, scatter
// lists and sizes near 2^32.  After every call nothing outside the buffer
// may have changed and `cur` must stay inside it; the finished blob must
// walk with vantrel_next_tag to exactly its used size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vantrel.h"

namespace {

struct input {
    const uint8_t *data;
    size_t size;
    size_t at = 0;
    bool empty() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint32_t word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | byte();
        return v;
    }
};

constexpr size_t guard = 32;
constexpr uint8_t canary = 0xC3;
constexpr uint32_t max_buffer = 1u << 16;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// A payload size: mostly small, sometimes near the 32-bit limit.
uint32_t payload_size(input &in)
{
    uint8_t pick = in.byte();
    if (pick < 0xF0)
        return pick;
    return 0xFFFFFFFFu - (in.byte() & 0x3F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    input in{data, size};
    uint32_t alignment = in.word();
    uint32_t buffer_size = in.word() % (max_buffer + 1);
    std::vector<uint8_t> area(buffer_size + 2 * guard, canary);
    uint8_t *buffer = area.data() + guard;
    static uint8_t payload[256];
    for (size_t i = 0; i < sizeof payload; ++i)
        payload[i] = static_cast<uint8_t>(i * 7 + 1);

    auto outside_intact = [&] {
        for (size_t i = 0; i < guard; ++i)
            if (area[i] != canary || area[guard + buffer_size + i] != canary)
                return false;
        return true;
    };

    vantrel_state s{};
    if (vantrel_init(&s, buffer, buffer_size, alignment) != 0) {
        check(outside_intact());
        return 0;
    }
    check(s.align >= 8 && s.align <= 0x100000 && (s.align & (s.align - 1)) == 0);
    check(s.size <= buffer_size && s.size % s.align == 0);

    while (!in.empty()) {
        uint8_t op = in.byte() % 5;
        uint32_t id = in.word();
        uint8_t *before = s.cur;
        int32_t rc = 0;
        uint32_t expected = 0;
        switch (op) {
        case 0: {
            uint32_t n = payload_size(in);
            expected = vantrel_get_string_tag_size(&s, n);
            // A size near 2^32 must be refused before the pointer is read.
            rc = vantrel_add_string(&s, reinterpret_cast<const char *>(payload), n, id);
            break;
        }
        case 1:
            expected = vantrel_get_integer_tag_size(&s);
            rc = vantrel_add_integer(&s, uint64_t{in.word()} << 32 | in.word(), id);
            break;
        case 2: {
            uint32_t n = payload_size(in);
            expected = vantrel_get_data_block_tag_size(&s, n);
            rc = vantrel_add_data_block(&s, payload, n, in.word(), id);
            break;
        }
        case 3: {
            vantrel_scatter list[5] = {};
            int entries = in.byte() % 5;
            for (int i = 0; i < entries; ++i)
                list[i] = {payload + (in.byte() % 16), payload_size(in)};
            expected = vantrel_get_scatter_data_block_tag_size(&s, list);
            rc = vantrel_add_scatter_data_block(&s, list, in.word(), id);
            break;
        }
        default:
            break; // only checks
        }
        check(rc == 0 || rc == 1);
        check(outside_intact());
        check(s.cur >= s.base && s.cur <= s.base + s.size);
        check((s.cur - s.base) % s.align == 0);
        if (rc == 1)
            check(s.cur == before);
        else if (op < 4)
            check(static_cast<uint32_t>(s.cur - before) == expected);
    }

    check(vantrel_end(&s) == 0);
    check(outside_intact());
    uint32_t used = vantrel_get_used_size(&s);
    check(used <= s.size && used == static_cast<uint32_t>(s.cur - s.base));
    const uint8_t *tag = buffer;
    const uint8_t *last = nullptr;
    while (tag != nullptr) {
        check(tag >= buffer && tag < buffer + used);
        last = tag;
        tag = static_cast<const uint8_t *>(vantrel_next_tag(tag));
    }
    uint32_t end_size;
    std::memcpy(&end_size, last + 4, 4);
    check(last + end_size == buffer + used);
    return 0;
}
