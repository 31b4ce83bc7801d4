// Lists arbitrary bytes as a blob file, once as the program does by default
// and once with nested start tags' reserved words allowed.  The input is a
// memory stream, so every seek and short read of the walk is exercised.
#include <cstdint>
#include <cstdio>

#include "dump.h"

namespace {

FILE *sink;

void list(const uint8_t *data, size_t size, int warn_start_reserved)
{
    // fmemopen wants a writable buffer even for reading; it never writes
    // through it in mode "rb".
    FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (in == nullptr)
        return;
    dump_context ctx{};
    ctx.prog_name = "vantrel-dump";
    ctx.warn_start_reserved = warn_start_reserved;
    ctx.format = &dump_listing;
    dump_file(sink, in, &ctx, "input");
    std::fclose(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (sink == nullptr)
        sink = std::fopen("/dev/null", "w");
    if (sink == nullptr || size == 0)
        return 0;
    list(data, size, 0);
    list(data, size, 1);
    std::clearerr(sink);
    return 0;
}
