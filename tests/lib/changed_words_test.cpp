// The table of words changed after the check (tests/support/changed_words.txt)
// through everything that trusts the check: the C checked walk, the checked
// look-ups and vantrel.hpp's reader, in both byte orders.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "changed_bytes.h"
#include "changed_words_table.h"

namespace {

struct change_case {
    std::string name, walk, lookup;
    uint32_t id = 0;
    std::vector<std::pair<std::size_t, uint32_t>> changes;
};

struct table {
    std::vector<uint32_t> blob;
    std::vector<change_case> cases;
};

table read_table()
{
    table out;
    std::istringstream lines(changed_words_table);
    std::string line, word;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        if (!(in >> word) || word[0] == '#')
            continue;
        if (word == "blob") {
            while (in >> word)
                out.blob.push_back(static_cast<uint32_t>(std::stoul(word, nullptr, 16)));
            continue;
        }
        change_case c;
        std::string find;
        in >> c.name >> c.walk >> find;
        c.id = static_cast<uint32_t>(std::stoul(find.substr(0, find.find(':'))));
        c.lookup = find.substr(find.find(':') + 1);
        while (in >> word) {
            std::size_t eq = word.find('=');
            c.changes.emplace_back(std::stoul(word.substr(0, eq)),
                                   static_cast<uint32_t>(std::stoul(word.substr(eq + 1), nullptr, 16)));
        }
        out.cases.push_back(c);
    }
    return out;
}

std::vector<uint8_t> bytes_of(const std::vector<uint32_t> &words, bool swapped)
{
    std::vector<uint8_t> out(4 * words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        uint32_t w = swapped ? vantrel_swap32(words[i]) : words[i];
        std::memcpy(out.data() + 4 * i, &w, 4);
    }
    return out;
}

int lookup_code(const std::string &name)
{
    return name == "ok" ? VANTREL_OK : name == "not_found" ? VANTREL_NOT_FOUND : name == "bad" ? VANTREL_BAD_BLOB : -2;
}

TEST(ChangedAfterCheck, EveryReaderThatTrustsTheCheckStaysInside)
{
    const table t = read_table();
    ASSERT_EQ(t.blob.size(), 30u);
    ASSERT_GE(t.cases.size(), 15u);
    for (bool swapped : {false, true}) {
        for (const change_case &c : t.cases) {
            SCOPED_TRACE(c.name + (swapped ? " (other byte order)" : ""));
            std::vector<uint32_t> words = t.blob;
            std::vector<uint8_t> bytes = bytes_of(words, swapped);
            ASSERT_EQ(vantrel_check(bytes.data(), bytes.size(), nullptr, nullptr), 0);
            const vantrel::reader r(std::span(reinterpret_cast<const std::byte *>(bytes.data()), bytes.size()));
            ASSERT_TRUE(r.ok());
            for (auto [index, value] : c.changes)
                words.at(index) = value;
            std::vector<uint8_t> changed = bytes_of(words, swapped);
            std::memcpy(bytes.data(), changed.data(), bytes.size());

            vtcpp::checked_walk_result walk = vtcpp::checked_walk(bytes.data(), bytes.size());
            EXPECT_TRUE(walk.all_inside);
            EXPECT_EQ(walk.result == 0 ? "ends" : "stops", c.walk);
            EXPECT_EQ(vtcpp::checked_lookups(bytes.data(), bytes.size(), c.id), lookup_code(c.lookup));
            // The C++ reader hands out the same tags, less the blob's own
            // start and end tags.
            long listed = vtcpp::reader_after_change(r, bytes.data(), bytes.size(), c.id);
            EXPECT_GE(listed, 0);
            if (walk.count != 0)
                EXPECT_EQ(listed + 1 + (walk.result == 0), static_cast<long>(walk.count));
            else
                EXPECT_EQ(listed, 0);
            EXPECT_EQ(r.find(c.id).has_value(), c.lookup == "ok");
        }
    }
}

} // namespace
