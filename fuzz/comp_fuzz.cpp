// Compiles arbitrary text as a source file, through the program's whole
// run: options, reading, every parser and command, the blob written to
// /dev/null.  The source goes to a scratch file made once per process.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "comp.h"

namespace {

char source_name[] = "/tmp/vantrel-comp-fuzz-XXXXXX";
bool have_source;

void remove_source() { unlink(source_name); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!have_source) {
        int fd = mkstemp(source_name);
        if (fd < 0)
            std::abort();
        close(fd);
        have_source = true;
        std::atexit(remove_source);
    }
    FILE *f = std::fopen(source_name, "wb");
    if (f == nullptr)
        std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    if (std::fclose(f) != 0)
        std::abort();
    char prog[] = "vantrel-comp", opt[] = "-o", out[] = "/dev/null";
    char *argv[] = {prog, opt, out, source_name, nullptr};
    int status = comp_main(4, argv);
    if (status != 0 && status != 1)
        std::abort();
    return 0;
}
