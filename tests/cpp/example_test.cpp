// The C++ example writes a blob, reads it back and prints its interval.
#include <gtest/gtest.h>

#include "blob_cases.h"
#include "test_support.h"
#include "vantrel.hpp"

TEST(CppExample, RoundTripPrintsTheInterval)
{
    vt::temp_dir dir;
    const std::string path = dir.file("settings.dat");
    vt::run_result run = vt::run_program(VANTREL_CPP_ROUND_TRIP_PATH, {"cpp_round_trip", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "interval=250\n");
    EXPECT_EQ(run.err, "");

    const std::string blob = vt::read_file(path);
    vantrel::reader r(vtcpp::as_span(blob));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(vtcpp::listing(r), "[start]\n  [string] id=0x100, size=5, data=\"TH-40\"\n"
                                 "  [integer] id=0x200, data=250/0xFA\n"
                                 "  [data_block] id=0x300, type=0x1, size=4, data=<F6FF0400>\n[end]\n");

    vt::run_result usage = vt::run_program(VANTREL_CPP_ROUND_TRIP_PATH, {"cpp_round_trip"});
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.err, "usage: cpp_round_trip FILE\n");
}
