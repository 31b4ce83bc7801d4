// What the readers that trust a check may hand out from bytes changed after
// it: tags of the five codes whose header, fields and payload lie inside
// the bytes, or a refusal.  Header only: the fuzz targets (built without
// the tests) include it too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vantrel.hpp"

namespace vtcpp {

// A tag as the checked walks and look-ups hand it out.
inline bool tag_inside(const vantrel_tag &t, const uint8_t *blob, std::size_t size)
{
    if (vantrel_kind_of(t.code) == VANTREL_KIND_NONE || t.offset + vantrel_fields_end(t.code) > size)
        return false;
    uint32_t payload = vantrel_payload_offset(t.code);
    if (payload == 0)
        return t.payload == nullptr;
    // A string or data block lies inside the bytes whole, and its payload.
    return t.payload == blob + t.offset + payload && t.offset + payload + t.size <= size &&
           t.offset + t.tag_size <= size;
}

struct checked_walk_result {
    int result = 0;         // 0: the blob's end tag was reached; -1: refused
    std::size_t count = 0;  // tags handed out, the blob's own start and end included
    bool all_inside = true; // every one of them passed tag_inside
};

// vantrel_checked_first, then vantrel_checked_next to the end or a refusal.
// A walk that does not end within one tag per 8 bytes counts as refused
// with all_inside false: the walk must move forward.
inline checked_walk_result checked_walk(const uint8_t *blob, std::size_t size)
{
    checked_walk_result out;
    vantrel_tag t;
    int step = vantrel_checked_first(blob, size, &t);
    for (; step > 0; step = vantrel_checked_next(blob, size, &t)) {
        out.all_inside = out.all_inside && tag_inside(t, blob, size) && ++out.count <= size / 8 + 1;
        if (!out.all_inside)
            break;
    }
    out.result = step > 0 ? -1 : step;
    return out;
}

// The checked look-ups of one id agree with vantrel_checked_find, write
// their outputs only on VANTREL_OK, and point inside the bytes.  Returns
// vantrel_checked_find's result, or -1 where they disagree.
inline int checked_lookups(const uint8_t *blob, std::size_t size, uint32_t id)
{
    vantrel_tag t{};
    int found = vantrel_checked_find(blob, size, id, &t);
    if (found == VANTREL_OK && !tag_inside(t, blob, size))
        return -1;
    auto expect = [&](uint32_t code) {
        return found == VANTREL_OK && t.code != code ? VANTREL_WRONG_KIND : found;
    };
    uint64_t value = 0;
    const char *text = nullptr;
    const void *data = nullptr;
    uint32_t length = 0, type = 0;
    const auto *end = blob + size;
    if (vantrel_checked_get_integer(blob, size, id, &value) != expect(VANTREL_TAG_INTEGER))
        return -1;
    int s = vantrel_checked_get_string(blob, size, id, &text, &length);
    if (s != expect(VANTREL_TAG_STRING) ||
        (s == VANTREL_OK ? reinterpret_cast<const uint8_t *>(text) + length > end : text != nullptr))
        return -1;
    int d = vantrel_checked_get_data(blob, size, id, &data, &length, &type);
    if (d != expect(VANTREL_TAG_DATA_BLOCK) ||
        (d == VANTREL_OK ? static_cast<const uint8_t *>(data) + length > end : data != nullptr))
        return -1;
    return found;
}

// vantrel::reader made before the change, walked and searched after it:
// every view inside the bytes.  Returns the tags handed out, or -1.
inline long reader_after_change(const vantrel::reader &r, const uint8_t *blob, std::size_t size, uint32_t id)
{
    const auto *begin = reinterpret_cast<const std::byte *>(blob), *end = begin + size;
    auto inside = [&](const vantrel::tag &t) {
        return t.offset < size &&
               (t.bytes.empty() || (t.bytes.data() >= begin && t.bytes.data() + t.bytes.size() <= end));
    };
    long count = 0;
    for (const vantrel::tag &t : r) {
        if (!inside(t) || ++count > static_cast<long>(size / 8))
            return -1;
    }
    std::optional<vantrel::tag> found = r.find(id);
    if (found && !inside(*found))
        return -1;
    return count;
}

} // namespace vtcpp
