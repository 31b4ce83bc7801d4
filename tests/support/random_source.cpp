#include "random_source.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace vt {

std::string source_generator::number(uint64_t v)
{
    char digits[80];
    switch (below(5)) {
    case 0:
        std::snprintf(digits, sizeof digits, "%" PRIu64, v);
        break;
    case 1:
        std::snprintf(digits, sizeof digits, below(2) ? "0x%" PRIX64 : "0X%" PRIx64, v);
        break;
    case 2:
        std::snprintf(digits, sizeof digits, "0%" PRIo64, v);
        break;
    case 3:
        std::snprintf(digits, sizeof digits, "0o%" PRIo64, v);
        break;
    default: {
        std::string bits;
        for (uint64_t x = v; x != 0; x >>= 1)
            bits.insert(bits.begin(), char('0' + (x & 1)));
        return "0b" + (bits.empty() ? std::string("0") : bits);
    }
    }
    std::string text = digits;
    if (below(4) == 0) // an underscore somewhere after the prefix
        text.insert(text.size() - below(2), 1, '_');
    return text;
}

uint64_t source_generator::value()
{
    switch (below(4)) {
    case 0:
        return below(10);
    case 1:
        return ~0ull - below(3);
    case 2:
        return uint64_t{1} << below(64);
    default:
        return rng();
    }
}

uint32_t source_generator::word()
{
    return below(3) == 0 ? 0xFFFFFFFFu - uint32_t(below(2)) : uint32_t(below(1u << 20));
}

std::string source_generator::text_bytes(size_t n)
{
    static const char alphabet[] = "abcXYZ019 #<>{}_\t\n\r\\\"'";
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(any_string_bytes ? char(1 + below(255)) : alphabet[below(sizeof alphabet - 1)]);
    return s;
}

std::string source_generator::raw_bytes(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(char(below(256)));
    return s;
}

namespace {

std::string as_source_text(const std::string &bytes)
{
    std::string q = "\"";
    for (char c : bytes) {
        switch (c) {
        case '\n': q += "\\n"; break;
        case '\r': q += "\\r"; break;
        case '\t': q += "\\t"; break;
        case '\\': q += "\\\\"; break;
        case '"': q += "\\\""; break;
        case '\'': q += "\\'"; break;
        default: q += c;
        }
    }
    return q + "\"";
}

} // namespace

std::string hex_text(const std::string &bytes, bool spaced)
{
    static const char digits[] = "0123456789abcdef";
    std::string h;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (spaced && i > 0 && i % 4 == 0)
            h += (i % 8 == 0) ? " " : "_";
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        h += digits[b >> 4];
        h += digits[b & 15];
    }
    return h;
}

std::string make_source(source_generator &g, std::vector<random_tag> &tags)
{
    uint32_t room = RANDOM_SOURCE_BLOB_SIZE - 16 - 8;
    std::string src = "# generated\n{\n";
    int count = int(g.below(12));
    for (int i = 0; i < count; ++i) {
        random_tag t;
        t.id = g.word();
        int pick = int(g.below(3));
        // Now and then one payload that fills nearly all the room left.
        bool big = g.below(8) == 0;
        if (pick == 0) {
            t.kind = random_tag::integer;
            t.value = g.value();
            if (room < 24)
                break;
            room -= 24;
            src += "int " + g.number(t.id) + " " + g.number(t.value) + "\n";
        } else if (pick == 1) {
            t.kind = random_tag::string;
            size_t max = std::min<size_t>(room >= 24 ? room - 17 : 0, 2000); // one line
            if (room < 24)
                break;
            size_t n = big ? max - g.below(8) % (max + 1) : g.below(std::min<size_t>(max, 40) + 1);
            t.bytes = g.text_bytes(n);
            room -= (n + 17 + 7) & ~7u;
            src += "  str " + g.number(t.id) + " " + as_source_text(t.bytes) + "\n";
        } else {
            t.kind = random_tag::data;
            t.type = g.word();
            if (room < 24)
                break;
            size_t max = room - 20;
            size_t n = big ? max - g.below(8) % (max + 1) : g.below(std::min<size_t>(max, 64) + 1);
            t.bytes = g.raw_bytes(n);
            room -= uint32_t((n + 20 + 7) & ~size_t{7});
            std::string head = "data " + g.number(t.id) + " " + g.number(t.type) + " ";
            if (n <= 1000 && g.below(3) == 0) {
                src += head + "<" + hex_text(t.bytes, g.below(2)) + ">\n";
            } else {
                src += head + "begin\n";
                for (size_t at = 0; at < n;) {
                    size_t line = 1 + g.below(1800); // stays under 4094 characters
                    std::string piece = t.bytes.substr(at, line);
                    src.append("<").append(hex_text(piece, g.below(2))).append(">\n");
                    if (g.below(10) == 0)
                        src += "# comment inside a block\n\n";
                    at += piece.size();
                }
                src += "end\n";
            }
        }
        tags.push_back(t);
    }
    return src + "}\n";
}

} // namespace vt
