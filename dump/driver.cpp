// The command line of vantrel-dump and the loop over its files.
#include "dump.h"
#include "source.h"

#include <cerrno>
#include <cstring>

#include "vantrel.h"

namespace {

// Large stream buffers: a big data block costs a read and a write system
// call per buffer, and 4 KiB buffers made those calls most of the run time.
constexpr size_t STREAM_BUFFER_SIZE = 1 << 16;

// Standard output as the run sees it: its first failure is reported once.
struct output_state {
    const char *prog;
    bool failed;
};

// Called right after the failing output call, while errno tells why.
void output_failed(output_state *out)
{
    if (!out->failed)
        std::fprintf(stderr, "%s: write error: %s\n", out->prog, std::strerror(errno));
    out->failed = true;
}

// Looks at standard output right after writing to it.
bool output_broken(output_state *out)
{
    if (std::ferror(stdout))
        output_failed(out);
    return out->failed;
}

void print_help(const char *prog)
{
    std::printf("Usage: %s [OPT]... [--] FILE...\n"
                "Vantrel data dump utility.\n"
                "\n"
                "  --help     Show this screen\n"
                "\n"
                "  --warn-start-reserved\n"
                "             Warn only if the reserved field in the start tag is\n"
                "             not zero\n"
                "\n"
                "  --source   Write each blob as data compiler source\n"
                "\n"
                "  --version  Show version number\n",
                prog);
}

// Lists one file operand, or writes it as source; returns 0 when that
// worked.
int list_operand(dump_context *ctx, const char *name, bool as_source, output_state *out)
{
    FILE *in = std::fopen(name, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "%s: could not open '%s': %s\n", ctx->prog_name, name, std::strerror(errno));
        return 1;
    }
    char buffer[STREAM_BUFFER_SIZE];
    std::setvbuf(in, buffer, _IOFBF, sizeof buffer);
    int status = as_source ? dump_source(stdout, in, ctx, name) : dump_file(stdout, in, ctx, name);
    output_broken(out);
    std::fclose(in);
    return status;
}

// Everything but the release of standard output.
int run(int argc, char **argv, output_state *out)
{
    const char *prog = out->prog;
    if (argc < 2) {
        print_help(prog);
        return 1;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        print_help(prog);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("Vantrel data dump v%s\nlibvantrel v%s\n", dump_version, vantrel_version());
        return 0;
    }

    dump_context ctx{};
    ctx.prog_name = prog;
    ctx.format = &dump_listing;
    bool as_source = false;
    int first = 1;
    while (first < argc && argv[first][0] == '-') {
        const char *option = argv[first++];
        if (std::strcmp(option, "--") == 0)
            break;
        if (std::strcmp(option, "--warn-start-reserved") == 0) {
            ctx.warn_start_reserved = 1;
            continue;
        }
        if (std::strcmp(option, "--source") == 0) {
            as_source = true;
            continue;
        }
        std::fprintf(stderr, "%s: unknown option: \"%s\"\n", prog, option);
        return 1;
    }

    int status = 0;
    bool several = argc - first > 1;
    for (int i = first; i < argc; ++i) {
        const char *name = argv[i];
        // The header comes before the file is opened, so that a file that
        // cannot be opened has one too.
        if (several) {
            if (i > first)
                std::fputc('\n', stdout);
            std::printf("%s:\n", name);
            if (output_broken(out))
                return 1;
        }
        if (list_operand(&ctx, name, as_source, out) != 0)
            status = 1;
        // Later files could not be listed either.
        if (out->failed)
            return 1;
    }
    return status;
}

} // namespace

int dump_main(int argc, char **argv)
{
    output_state out{};
    // An empty argument vector still deserves a name in the messages.
    out.prog = argc > 0 && argv[0] != nullptr ? argv[0] : "vantrel-dump";
    char buffer[STREAM_BUFFER_SIZE];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    int status = run(argc, argv, &out);
    // The buffer lives in this frame, so standard output is closed here; the
    // close also writes what is still buffered, and a listing that never
    // reached its file is no success.
    output_broken(&out);
    if (std::fclose(stdout) != 0)
        output_failed(&out);
    return out.failed ? 1 : status;
}
