// Random well-formed vantrel-comp sources and the tags each describes, for
// property tests.  Fixed seeds: the same sequence on every run.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vt {

// The compiler's blob holds 65536 bytes; generated tags always fit.
inline constexpr uint32_t RANDOM_SOURCE_BLOB_SIZE = 65536;

struct random_tag {
    enum kind_t { integer, string, data } kind;
    uint32_t id = 0, type = 0;
    uint64_t value = 0;
    std::string bytes;
};

struct source_generator {
    std::mt19937_64 rng{20261207};
    // Strings drawn from every byte but zero instead of a small alphabet of
    // letters, blanks, escapes and the source's own punctuation.
    bool any_string_bytes = false;

    uint64_t below(uint64_t n) { return n == 0 ? 0 : rng() % n; }

    // A number in one of the source's notations, underscores included.
    std::string number(uint64_t v);
    uint64_t value();
    uint32_t word();
    std::string text_bytes(size_t n);
    std::string raw_bytes(size_t n);
};

// One random source and, appended to `tags`, the tags it describes.
std::string make_source(source_generator &g, std::vector<random_tag> &tags);

// Lower-case hex pairs; `spaced` puts "_" or " " between groups of four.
std::string hex_text(const std::string &bytes, bool spaced);

} // namespace vt
