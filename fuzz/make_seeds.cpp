// Writes seed corpora for the fuzz targets: real blobs of every tag kind in
// both byte orders and several alignments, nested blocks, and the given
// source files.  Usage: make_seeds DIR [SOURCE...]
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "vantrel.h"

namespace {

using bytes = std::vector<uint8_t>;

bool write_file(const std::filesystem::path &path, const bytes &data)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

bytes build(uint32_t align, int variant)
{
    std::vector<uint8_t> buffer(1 << 16);
    vantrel_state s{};
    vantrel_init(&s, buffer.data(), static_cast<uint32_t>(buffer.size()), align);
    static const uint8_t raw[] = {0x00, 0x7F, 0x80, 0xFF, 0x0A, 0x22, 0x5C, 0x01};
    vantrel_add_string(&s, "abc", 3, 1);
    vantrel_add_integer(&s, 0x0102030405060708ull, 2);
    vantrel_add_data_block(&s, raw, sizeof raw, 7, 3);
    if (variant > 0) {
        vantrel_add_string(&s, "", 0, 4);
        vantrel_add_data_block(&s, nullptr, 0, 0, 5);
        vantrel_add_string(&s, "tab\there \"quoted\" back\\slash\r\n\xE9", 31, 6);
        vantrel_add_integer(&s, ~0ull, 0xFFFFFFFFu);
    }
    if (variant > 1) {
        std::string long_text(200, 'x');
        vantrel_add_string(&s, long_text.data(), 200, 7);
        bytes block(300, 0xA5);
        vantrel_add_data_block(&s, block.data(), 300, 1, 8);
    }
    vantrel_end(&s);
    buffer.resize(vantrel_get_used_size(&s));
    return buffer;
}

void put32(bytes &b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// A start tag of 16 bytes holding `inner` blocks, each a nested blob.
bytes nest(const bytes &inner, uint32_t reserved)
{
    bytes b(16 + inner.size() + 8);
    put32(b, 0, VANTREL_TAG_START);
    put32(b, 4, 16);
    std::copy(inner.begin(), inner.end(), b.begin() + 16);
    put32(b, b.size() - 8, VANTREL_TAG_END);
    put32(b, b.size() - 4, 8);
    put32(b, 8, static_cast<uint32_t>(b.size()));
    put32(b, 12, reserved);
    return b;
}

// A nested start tag whose tag_size equals its length, so the enclosing
// walk charges it exactly.
bytes nested_blob(const bytes &inner_blob, uint32_t reserved)
{
    bytes inner = inner_blob;
    put32(inner, 4, static_cast<uint32_t>(inner.size()));
    put32(inner, 12, reserved);
    return nest(inner, 0);
}

// The same blob as written by a machine of the other byte order.
bytes swapped(const bytes &blob)
{
    bytes b = blob;
    auto swap32 = [&](size_t at) { std::swap(b[at], b[at + 3]), std::swap(b[at + 1], b[at + 2]); };
    size_t at = 0;
    while (at + 8 <= b.size()) {
        uint32_t code, size;
        std::memcpy(&code, &blob[at], 4);
        std::memcpy(&size, &blob[at + 4], 4);
        swap32(at);
        swap32(at + 4);
        if (code == VANTREL_TAG_INTEGER) {
            std::reverse(b.begin() + at + 8, b.begin() + at + 16);
            swap32(at + 16);
            swap32(at + 20);
        } else if (code == VANTREL_TAG_STRING || code == VANTREL_TAG_START) {
            swap32(at + 8);
            swap32(at + 12);
            if (code == VANTREL_TAG_START)
                size = 16; // walk into nested blocks
        } else if (code == VANTREL_TAG_DATA_BLOCK) {
            swap32(at + 8);
            swap32(at + 12);
            swap32(at + 16);
        }
        // Nested blocks end in end tags of their own: go on past them.
        if (size < 8)
            break;
        at += size;
    }
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [SOURCE|SCHEMA...]\n", argv[0]);
        return 1;
    }
    namespace fs = std::filesystem;
    fs::path dir = argv[1];
    std::vector<std::pair<std::string, bytes>> blobs;
    const uint32_t aligns[] = {8, 16, 32};
    for (uint32_t a : aligns)
        for (int v = 0; v < 3; ++v)
            blobs.push_back({"a" + std::to_string(a) + "v" + std::to_string(v), build(a, v)});
    bytes small = build(8, 0);
    blobs.push_back({"nested", nested_blob(small, 0)});
    blobs.push_back({"nested_reserved", nested_blob(small, 1)});
    bytes deep = small;
    for (uint32_t depth = 1; depth <= VANTREL_MAX_DEPTH + 1; ++depth) {
        deep = nested_blob(deep, 0);
        // Some levels deep, and at the reader's bound and one past it: the
        // inputs reach the "nested too deeply" check.
        if (depth == 40 || depth >= VANTREL_MAX_DEPTH)
            blobs.push_back({"nested_" + std::to_string(depth), deep});
    }
    size_t count = blobs.size();
    for (size_t i = 0; i < count; ++i)
        blobs.push_back({blobs[i].first + "_swapped", swapped(blobs[i].second)});

    int status = 0;
    for (const char *target : {"dump_fuzz", "reader_fuzz", "dump_source_fuzz"}) {
        fs::create_directories(dir / target);
        for (const auto &[name, blob] : blobs)
            if (!write_file(dir / target / (name + ".blob"), blob))
                status = 1;
    }
    // Sources seed the compiler, schemas the schema reader.
    fs::create_directories(dir / "comp_fuzz");
    fs::create_directories(dir / "schema_fuzz");
    for (int i = 2; i < argc; ++i) {
        std::error_code ec;
        const char *target = fs::path(argv[i]).extension() == ".schema" ? "schema_fuzz" : "comp_fuzz";
        fs::copy_file(argv[i], dir / target / fs::path(argv[i]).filename(),
                      fs::copy_options::overwrite_existing, ec);
        if (ec)
            status = 1;
    }
    if (status != 0)
        std::fprintf(stderr, "%s: could not write all seeds to %s\n", argv[0], argv[1]);
    return status;
}
