// Blobs for the vantrel-dump tests, in either byte order, and a fixture that
// runs the program inside a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace dt {

// ---- Hand-made blobs, well-formed or not, field by field.

struct piece {
    int width; // 4 or 8: a word stored in the blob's byte order; 0: bytes as given
    uint64_t value;
    std::string bytes;
};

struct layout {
    std::vector<piece> pieces;
};

layout operator+(layout a, const layout &b);

layout w32(uint32_t value);
layout w64(uint64_t value);
layout bytes(const std::string &raw);
layout zeros(size_t count);
layout header(uint32_t code, uint32_t tag_size);
layout start_tag(uint32_t tag_size, uint32_t length, uint32_t reserved = 0);
layout end_tag(uint32_t tag_size = 8);
layout string_tag(uint32_t tag_size, uint32_t id, uint32_t size, const std::string &characters);
layout integer_tag(uint32_t tag_size, uint64_t value, uint32_t id);
layout data_tag(uint32_t tag_size, uint32_t type, uint32_t id, uint32_t size, const std::string &data);

// The bytes of a layout in the host's order, or in the other order.
std::string serialize(const layout &l, bool other_order);

// A blob nesting `levels` start tags inside its own, each a start tag of 16
// bytes whose block ends with an end tag of 8.
layout nested_blocks(uint32_t levels);

// ---- Well-formed blobs, built by the library.

struct tag_spec {
    enum kind_t { string, integer, data_block } kind;
    uint32_t id;
    uint64_t value; // the integer's value, or the data block's type
    std::string payload;
};

tag_spec str(uint32_t id, const std::string &characters);
tag_spec integer(uint32_t id, uint64_t value);
tag_spec data(uint32_t id, uint32_t type, const std::string &bytes);

// The blob that vantrel_init with `alignment` and one add per tag build, in
// the host's order.
std::string library_blob(uint32_t alignment, const std::vector<tag_spec> &tags);

// The other-order twin of a well-formed blob of start, content and end tags:
// every field byte-reversed in place, a 64-bit value as one 8-byte unit.
std::string other_order(const std::string &blob);

// ---- Running the program.

const char *const PROG = "vantrel-dump";

// Runs vantrel-dump.  A run whose output is captured is run a second time
// with each file operand read through a pipe, and must give the same
// output, messages and status: the pipe's walk cannot seek, and --source
// reads it once.
vt::run_result dump(const std::vector<std::string> &args, const std::string &stdout_path = "");

// Runs vantrel-dump once, as it is.
vt::run_result dump_once(const std::vector<std::string> &args, const std::string &stdout_path = "");

// Runs vantrel-dump with every argument that names a regular file in the
// current folder replaced, for the run, by a named pipe of the same name
// through which a thread writes the file's bytes.  Files named more than
// once are left as they are.  Only where pipes_available().
vt::run_result dump_through_pipes(const std::vector<std::string> &args);

// Named pipes fed from the test: not on Windows, and not for programs under
// qemu-user, where a test feeding a pipe from a thread or a child was seen
// to hang; the native builds run the pipe cases.
bool pipes_available();

// Each test runs in its own scratch folder, so that files have short names
// that stand as they are in the messages.
class dump_test : public ::testing::Test {
protected:
    dump_test();
    ~dump_test() override;
    void put(const std::string &name, const std::string &bytes) { vt::write_file(dir_.file(name), bytes); }

private:
    vt::temp_dir dir_;
    std::filesystem::path previous_;
};

// Indentation of `units` levels.
std::string indent(int units);

} // namespace dt
