#include "schema_cases.h"

#include <algorithm>

#include "vantrel.h"

namespace vt {

random_schema schema_generator::schema()
{
    random_schema s;
    s.text = "type T1 1\ntype T2 2 # comment\n\n";
    const uint32_t count = 1 + uint32_t(below(8));
    for (uint32_t k = 0; k < count; ++k) {
        model_decl d{};
        d.kind = 1 + uint32_t(below(3));
        d.table = below(4) == 0;
        d.optional = !d.table && below(3) == 0;
        d.id = 100 * k + uint32_t(below(50));
        d.last = d.table ? d.id + uint32_t(below(4)) : d.id;
        d.high = d.kind == VANTREL_DECL_INTEGER ? UINT64_MAX : UINT32_MAX;
        std::string line = std::string(vantrel_schema_kind_word(d.kind)) + " n" + std::to_string(k) + " " +
                           std::to_string(d.id);
        if (d.table)
            line += ".." + std::to_string(d.last);
        if (d.kind == VANTREL_DECL_DATA) {
            d.type = 1 + uint32_t(below(3));
            line += d.type < 3 ? " T" + std::to_string(d.type) : " 3";
        }
        if (below(2)) {
            if (d.kind == VANTREL_DECL_STRING) {
                d.high = below(20);
                line += " max " + std::to_string(d.high);
            } else if (d.kind == VANTREL_DECL_DATA) {
                d.low = below(10);
                d.high = d.low + below(2) * below(10);
                line += " size " + std::to_string(d.low) + (d.high != d.low ? ".." + std::to_string(d.high) : "");
            } else if (below(2)) {
                d.is_signed = true;
                int64_t low = -int64_t(below(100)), high = int64_t(below(100)) - 20;
                if (high < low)
                    std::swap(low, high);
                d.low = uint64_t(low);
                d.high = uint64_t(high);
                line += " " + std::to_string(low) + ".." + std::to_string(high);
            } else {
                d.low = below(1000);
                d.high = d.low + below(1000);
                line += " " + std::to_string(d.low) + ".." + std::to_string(d.high);
            }
        }
        line += d.table ? " table" : d.optional ? " optional" : "";
        s.text += line + "\n";
        s.decls.push_back(d);
    }
    return s;
}

schema_tag schema_generator::satisfying(const model_decl &d, uint32_t id)
{
    schema_tag t{vantrel_schema_tag_code(d.kind), id, d.type, 0, 0};
    if (d.kind == VANTREL_DECL_INTEGER)
        t.value = d.is_signed ? uint64_t(int64_t(d.low) + int64_t(below(d.high - d.low + 1)))
                              : d.low + below(d.high - d.low == UINT64_MAX ? UINT64_MAX : d.high - d.low + 1);
    else if (d.kind == VANTREL_DECL_STRING)
        t.size = uint32_t(below(std::min<uint64_t>(d.high, 30) + 1));
    else
        t.size = uint32_t(d.low + below(std::min<uint64_t>(d.high - d.low, 30) + 1));
    return t;
}

std::vector<schema_tag> schema_generator::satisfying_blob(const random_schema &s, std::vector<uint32_t> &owners)
{
    std::vector<schema_tag> tags;
    std::vector<uint32_t> owner;
    for (uint32_t k = 0; k < s.decls.size(); ++k)
        for (uint32_t id = s.decls[k].id; id <= s.decls[k].last; ++id)
            if ((!s.decls[k].optional && !s.decls[k].table) || below(2)) {
                tags.push_back(satisfying(s.decls[k], id));
                owner.push_back(k);
            }
    std::vector<size_t> order(tags.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<schema_tag> shuffled;
    owners.clear();
    for (size_t i : order) {
        shuffled.push_back(tags[i]);
        owners.push_back(owner[i]);
    }
    return shuffled;
}

std::vector<uint8_t> build_blob(const std::vector<schema_tag> &tags)
{
    std::vector<uint8_t> buffer(65536);
    vantrel_state state;
    vantrel_init(&state, buffer.data(), uint32_t(buffer.size()), 8);
    const std::string bytes(64, 'x');
    for (const schema_tag &t : tags) {
        if (t.code == VANTREL_TAG_INTEGER)
            vantrel_add_integer(&state, t.value, t.id);
        else if (t.code == VANTREL_TAG_STRING)
            vantrel_add_string(&state, bytes.data(), t.size, t.id);
        else
            vantrel_add_data_block(&state, bytes.data(), t.size, t.type, t.id);
    }
    vantrel_end(&state);
    buffer.resize(vantrel_get_used_size(&state));
    return buffer;
}

std::vector<uint64_t> outer_offsets(const std::vector<uint8_t> &blob)
{
    std::vector<uint64_t> at;
    vantrel_tag t;
    vantrel_checked_first(blob.data(), blob.size(), &t);
    while (vantrel_checked_next(blob.data(), blob.size(), &t) > 0)
        at.push_back(t.offset);
    return at;
}

schema_mutation mutate(schema_generator &g, const random_schema &s, std::vector<schema_tag> tags,
                       const std::vector<uint32_t> &owners)
{
    schema_mutation m{};
    if (tags.empty())
        return m;
    const size_t i = g.below(tags.size());
    const model_decl &d = s.decls[owners[i]];
    schema_tag &t = tags[i];
    m.decl = FIRST_TAG_DECL + owners[i];
    m.also_missing = VANTREL_SCHEMA_NONE;
    switch (g.below(6)) {
    case 0:
        t.id = 99999; // no declaration is near
        if (!d.optional && !d.table)
            m.also_missing = m.decl;
        m.code = VANTREL_SF_UNDECLARED;
        m.decl = VANTREL_SCHEMA_NONE;
        break;
    case 1:
        t.code = t.code == VANTREL_TAG_INTEGER ? VANTREL_TAG_STRING : VANTREL_TAG_INTEGER;
        t.type = 0;
        t.size = 0;
        m.code = VANTREL_SF_KIND;
        break;
    case 2:
        tags.insert(tags.begin() + long(i) + 1, t);
        m.code = VANTREL_SF_DUPLICATE;
        break;
    case 3:
        if (d.optional || d.table)
            return m;
        tags.erase(tags.begin() + long(i));
        m.code = VANTREL_SF_MISSING;
        break;
    default:
        // At the edge, then beyond it.
        if (d.kind == VANTREL_DECL_INTEGER && d.high != UINT64_MAX && !(d.is_signed && d.high == INT64_MAX)) {
            t.value = d.high;
            m.edge = build_blob(tags);
            t.value = d.high + 1;
            m.code = VANTREL_SF_RANGE;
        } else if (d.kind == VANTREL_DECL_STRING && d.high < 60) {
            t.size = uint32_t(d.high);
            m.edge = build_blob(tags);
            t.size = uint32_t(d.high) + 1;
            m.code = VANTREL_SF_LENGTH;
        } else if (d.kind == VANTREL_DECL_DATA && d.high < 60) {
            t.size = uint32_t(d.high) + 1;
            m.code = VANTREL_SF_SIZE;
            if (g.below(2)) {
                t.size = uint32_t(d.low);
                t.type = d.type % 3 + 1;
                m.code = VANTREL_SF_TYPE;
            }
        } else {
            return m;
        }
        break;
    }
    m.blob = build_blob(tags);
    const std::vector<uint64_t> at = outer_offsets(m.blob);
    m.offset = m.code == VANTREL_SF_MISSING ? at.back() : m.code == VANTREL_SF_DUPLICATE ? at[i + 1] : at[i];
    m.applied = true;
    return m;
}

} // namespace vt
