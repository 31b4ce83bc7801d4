// Sources compiled by vantrel-comp and listed back by vantrel-dump, and the
// compiled blob's other-order twin listed the same way.
#include "dump_fixture.h"

namespace {

using namespace dt;

struct round_trip_case {
    const char *name;
    std::string source;
    std::string lines; // the tag lines between [start] and [end]
};

class RoundTrip : public dump_test {};

TEST_F(RoundTrip, CompiledSourcesListBack)
{
    using namespace std::string_literals;
    const round_trip_case cases[] = {
        {"every command",
         "# unit settings\n{\n  int 1 0x10\n  str 2 \"unit four\"\n  data 3 7 <01 02 03>\n  data 4 0 begin\n"
         "    <0001_0203>\n    <04>\n  end\n}\n",
         "  [integer] id=0x1, data=16/0x10\n  [string] id=0x2, size=9, data=\"unit four\"\n"
         "  [data_block] id=0x3, type=0x7, size=3, data=<010203>\n"
         "  [data_block] id=0x4, type=0x0, size=5, data=<0001020304>\n"},
        {"empty blob", "{\n}\n", ""},
        {"integer extremes",
         "{\nint 0 0\nint 1 0xFFFFFFFFFFFFFFFF\nint 2 0x8000000000000000\nint 0xFFFFFFFF 0b101\nint 3 0o17\n}\n",
         "  [integer] id=0x0, data=0/0x0\n  [integer] id=0x1, data=-1/0xFFFFFFFFFFFFFFFF\n"
         "  [integer] id=0x2, data=-9223372036854775808/0x8000000000000000\n"
         "  [integer] id=0xffffffff, data=5/0x5\n  [integer] id=0x3, data=15/0xF\n"},
        {"string escapes and bytes above 0x7E",
         "{\nstr 1 \"a\\tb\\nc\\\\d\\\"e\\'f\\r\"\nstr 2 \"caf\xC3\xA9\"\nstr 3 \"\"\n}\n",
         "  [string] id=0x1, size=12, data=\"a\tb\nc\\d\"e'f\r\"\n  [string] id=0x2, size=5, data=\"caf..\"\n"
         "  [string] id=0x3, size=0, data=\"\"\n"},
        {"data payload forms",
         "{\ndata 1 2 \"AB\"\ndata 2 3 <>\ndata 3 4 begin\nend\ndata 4 0xFFFFFFFF <ff_00 7f>\n}\n",
         "  [data_block] id=0x1, type=0x2, size=2, data=<4142>\n  [data_block] id=0x2, type=0x3, size=0, data=<>\n"
         "  [data_block] id=0x3, type=0x4, size=0, data=<>\n"
         "  [data_block] id=0x4, type=0xffffffff, size=3, data=<FF007F>\n"},
    };
    for (const round_trip_case &c : cases) {
        SCOPED_TRACE(c.name);
        put("unit.txt", c.source);
        vt::run_result comp = vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "-o", "unit.dat", "unit.txt"});
        ASSERT_EQ(comp.status, 0) << comp.err;
        std::string blob = vt::read_file("unit.dat");
        put("twin.dat", other_order(blob));
        for (const char *file : {"unit.dat", "twin.dat"}) {
            vt::run_result r = dump({file});
            EXPECT_EQ(r.out, "[start]\n" + c.lines + "[end]\n") << file;
            EXPECT_EQ(r.err, "") << file;
            EXPECT_EQ(r.status, 0) << file;
        }
    }
}

TEST_F(RoundTrip, LargestBlobTheCompilerWrites)
{
    // One data block filling the compiler's 64 KiB blob: 16 + 20 + 65492 + 8.
    std::string source = "{\ndata 1 2 begin\n";
    std::string expected_hex;
    for (int line = 0; line < 65492 / 1000 + 1; ++line) {
        int n = line < 65 ? 1000 : 65492 - 65000;
        source += "<";
        for (int i = 0; i < n; ++i) {
            source += "A5";
            expected_hex += "A5";
        }
        source += ">\n";
    }
    source += "end\n}\n";
    put("big.txt", source);
    vt::run_result comp = vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "-o", "big.dat", "big.txt"});
    ASSERT_EQ(comp.status, 0) << comp.err;
    ASSERT_EQ(vt::read_file("big.dat").size(), 65536u);
    vt::run_result r = dump({"big.dat"});
    EXPECT_EQ(r.out, "[start]\n  [data_block] id=0x1, type=0x2, size=65492, data=<" + expected_hex + ">\n[end]\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

} // namespace
