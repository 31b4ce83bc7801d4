// Blobs for the reader tests: a field writer for either byte order, a byte
// order swap for builder-made blobs, the malformed blob table and a listing
// in vantrel-dump's format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel.hpp"

namespace vtcpp {

// Writes fields in the host's order, or in the other one when swapped.
struct blob_writer {
    bool swapped = false;
    std::string bytes;

    blob_writer &u32(uint32_t v);
    blob_writer &u64(uint64_t v);
    blob_writer &raw(std::string_view s);
    blob_writer &zeros(std::size_t n);
    blob_writer &header(uint32_t code, uint32_t tag_size);
    blob_writer &start(uint32_t tag_size, uint32_t length, uint32_t reserved = 0);
    blob_writer &end(uint32_t tag_size = 8);
    blob_writer &integer(uint32_t id, uint64_t value);
};

std::span<const std::byte> as_span(const std::string &bytes);

// A copy of a host-order blob made by the builder, in the other order.
std::string swapped_copy(const std::string &blob);

struct malformed_case {
    const char *name;
    void (*write)(blob_writer &);
    std::size_t cut; // keep only this many bytes (SIZE_MAX: all)
    vantrel::error_code code;
    uint64_t offset;
    const char *reason;
};

std::span<const malformed_case> malformed_cases();

// Blobs the reader and the dump both accept, in the host's order.
struct valid_case {
    const char *name;
    std::string bytes;
    std::string other_order = {}; // written by hand where swapped_copy cannot tell the fields apart
};
// The case's blob in the host's order or in the other one.
std::string in_order(const valid_case &v, bool swapped);
std::vector<valid_case> valid_cases();

// start tags nested `depth` deep, each block closed by its own end tag.
std::string nested_blob(uint32_t depth, bool swapped);

// What vantrel-dump lists for a blob the reader accepted.
std::string listing(const vantrel::reader &r);

} // namespace vtcpp
