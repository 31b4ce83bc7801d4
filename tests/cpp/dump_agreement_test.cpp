// vantrel-dump and the reader judge the same blobs alike: the same listing
// for the blobs both accept, the same message and offset for each
// malformed blob of the table that both refuse.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "blob_cases.h"
#include "test_support.h"
#include "vantrel.hpp"

namespace {

using vantrel::error_code;

// What the dump prints for the reader's error: the blob's own start tag
// gets messages without an offset.
std::string dump_message(const std::string &file, const vantrel::blob_error &e)
{
    const std::string quoted = "'" + file + "'";
    switch (e.code) {
    case error_code::short_start_tag:
    case error_code::start_reserved:
        return "vantrel-dump: " + quoted + ": " + std::string(vantrel::reason_text(e.code)) + "\n";
    case error_code::start_tag_not_found:
        return "vantrel-dump: start tag not found in " + quoted + "\n";
    default: {
        char offset[32];
        std::snprintf(offset, sizeof offset, "@0x%" PRIX64 ": ", e.offset);
        return "vantrel-dump: " + quoted + offset + vantrel::describe(e).text + "\n";
    }
    }
}

TEST(CppDumpAgreement, MalformedBlobsSameOffsetAndReason)
{
    vt::temp_dir dir;
    for (const vtcpp::malformed_case &c : vtcpp::malformed_cases()) {
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (swapped ? " swapped" : ""));
            vtcpp::blob_writer w{swapped, {}};
            c.write(w);
            const std::string blob = w.bytes.substr(0, c.cut), path = dir.file("bad.dat");
            vt::write_file(path, blob);
            vantrel::reader r(vtcpp::as_span(blob));
            ASSERT_FALSE(r.ok());
            vt::run_result run = vt::run_program(VANTREL_DUMP_PATH, {"vantrel-dump", path});
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, dump_message(path, r.error()));
        }
    }
}

TEST(CppDumpAgreement, AcceptedBlobsListAlike)
{
    vt::temp_dir dir;
    for (const vtcpp::valid_case &v : vtcpp::valid_cases()) {
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(testing::Message() << v.name << (swapped ? " swapped" : ""));
            const std::string blob = vtcpp::in_order(v, swapped), path = dir.file("ok.dat");
            vt::write_file(path, blob);
            vantrel::reader r(vtcpp::as_span(blob));
            ASSERT_TRUE(r.ok());
            vt::run_result run = vt::run_program(VANTREL_DUMP_PATH, {"vantrel-dump", path});
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.out, vtcpp::listing(r));
        }
    }
}

TEST(CppDumpAgreement, NestedReservedAllowedLikeWarnStartReserved)
{
    vt::temp_dir dir;
    vtcpp::blob_writer w;
    w.start(16, 72).start(48, 48, 2).integer(1, 4).end().end();
    const std::string path = dir.file("warn.dat");
    vt::write_file(path, w.bytes);
    vantrel::reader r(vtcpp::as_span(w.bytes), {true});
    ASSERT_TRUE(r.ok()) << vantrel::describe(r.error()).text;
    vt::run_result run = vt::run_program(VANTREL_DUMP_PATH, {"vantrel-dump", "--warn-start-reserved", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, vtcpp::listing(r));
    EXPECT_EQ(run.err, "vantrel-dump: '" + path + "'@0x20: reserved field in start tag is not zero (value: 0x2)\n");
}

} // namespace
