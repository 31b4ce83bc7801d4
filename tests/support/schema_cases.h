// Random schemas, blobs that satisfy them, and single mutations of those
// blobs with the fault each must give: shared by the checker's tests and
// the dump's.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "vantrel_schema.h"

namespace vt {

// A declaration of a random schema, as a model.
struct model_decl {
    uint32_t kind, id, last, type;
    bool optional, table, is_signed;
    uint64_t low, high; // the value range, a string's max (high), a data size range
};

// A random schema: its text and its tag declarations, which the reader
// files at FIRST_TAG_DECL on (after the text's two types, T1 and T2).  The
// tag declarations are named n0, n1, ...
struct random_schema {
    std::string text;
    std::vector<model_decl> decls;
};
inline constexpr uint32_t FIRST_TAG_DECL = 2;

// One tag to write.
struct schema_tag {
    uint32_t code, id, type;
    uint64_t value;
    uint32_t size;
};

struct schema_generator {
    std::mt19937_64 rng;
    explicit schema_generator(uint64_t seed) : rng(seed) {}
    uint64_t below(uint64_t n) { return n == 0 ? 0 : rng() % n; }

    random_schema schema();
    // A tag of declaration d with this id that satisfies it.
    schema_tag satisfying(const model_decl &d, uint32_t id);
    // Every required tag once, optional ones and table ids maybe, in a
    // random order; owners[i] is the index in s.decls of tags[i]'s.
    std::vector<schema_tag> satisfying_blob(const random_schema &s, std::vector<uint32_t> &owners);
};

// The blob the library builds of the tags (alignment 8, strings and data
// blocks of 'x' bytes).
std::vector<uint8_t> build_blob(const std::vector<schema_tag> &tags);

// The offsets of the outer block's tags, and last the end tag's.
std::vector<uint64_t> outer_offsets(const std::vector<uint8_t> &blob);

// One mutation of a satisfying blob and what a check must give for it: the
// fault code, the offset, the declaration's index (VANTREL_SCHEMA_NONE for
// an undeclared id).  `edge`, when not empty, is the blob with the value or
// size at its range's edge, which still satisfies.  applied is false when
// the drawn mutation does not apply to the drawn tag.
struct schema_mutation {
    bool applied;
    int code;
    uint64_t offset;
    uint32_t decl;
    std::vector<uint8_t> blob;
    std::vector<uint8_t> edge;
    // A required tag whose id became undeclared is missing too: a check that
    // goes on after the first fault finds that one at the end tag as well.
    // Its declaration's index, or VANTREL_SCHEMA_NONE.
    uint32_t also_missing;
};

// Mutates one tag of a satisfying blob: an id the schema does not declare,
// another kind, a duplicate, a missing required tag, a value, length or
// size just beyond its range (or a data block's type).
schema_mutation mutate(schema_generator &g, const random_schema &s, std::vector<schema_tag> tags,
                       const std::vector<uint32_t> &owners);

} // namespace vt
