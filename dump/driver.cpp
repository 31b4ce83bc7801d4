// The command line of vantrel-dump and the loop over its files.
#include "dump.h"
#include "platform.h"
#include "source.h"
#include "terminal_text.h"

#include <cerrno>
#include <cstring>

#include "vantrel.h"

namespace {

// The walk reads its input in blocks of this size, and the listing goes out
// in blocks of this size: a few system calls per MiB, and memory that stays
// the same whatever the size of the blob.  Static, not on the stack: the
// program runs under small stack limits too.
constexpr size_t INPUT_BUFFER_SIZE = 1 << 18;
constexpr size_t OUTPUT_BUFFER_SIZE = 1 << 16;
uint8_t input_buffer[INPUT_BUFFER_SIZE];
char output_buffer[OUTPUT_BUFFER_SIZE];

// Standard output as the run sees it: its first failure is reported once.
struct output_state {
    const char *prog; // as messages show it
    const char *usage_name; // as the usage text shows it: as invoked
    bool failed;
    dump_output *listing;
};

void output_failed(output_state *out, int error)
{
    if (!out->failed)
        dump_message(nullptr, "%s: write error: %s\n", out->prog, std::strerror(error));
    out->failed = true;
}

// Looks at standard output right after writing to it: a failed block of
// the listing keeps its errno; a failed write through stdio still has it
// in errno.
bool output_broken(output_state *out)
{
    if (out->listing->failed)
        output_failed(out, out->listing->error);
    else if (std::ferror(stdout))
        output_failed(out, errno);
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
                "  --json     Write each file as one line of JSON\n"
                "\n"
                "  --schema FILE\n"
                "             Show the names of the schema FILE beside ids and\n"
                "             types, and check each blob against it\n"
                "\n"
                "  --version  Show version number\n",
                prog);
}

enum class rendering { listing, json, source };

// Lists one file operand, or writes it as source; returns 0 when that
// worked.  ctx->file_name is the name as messages show it.
int list_operand(dump_context *ctx, const char *name, rendering as, output_state *out)
{
    FILE *in = std::fopen(name, "rb");
    int open_error = errno;
    if (in != nullptr && stream_is_directory(in)) {
        std::fclose(in);
        in = nullptr;
        open_error = EISDIR;
    }
    if (in == nullptr) {
        dump_message(out->listing, "%s: could not open '%s': %s\n", ctx->prog_name, ctx->file_name,
                     std::strerror(open_error));
        char reason[256];
        std::snprintf(reason, sizeof reason, "could not open: %s", std::strerror(open_error));
        dump_write(ctx->format->file_failed, out->listing, name, false, reason);
        return 1;
    }
    input_source source = input_from_stream(in);
    int status;
    if (as == rendering::source) {
        status = dump_source(out->listing, &source, ctx, name);
    } else {
        dump_input input;
        input_init(&input, &source, input_buffer, sizeof input_buffer);
        input.pending = out->listing;
        status = dump_file(out->listing, &input, ctx, name);
    }
    output_flush(out->listing);
    output_broken(out);
    std::fclose(in);
    return status;
}

int run_files(dump_context *ctx, int argc, char **argv, int first, rendering as, output_state *out,
              bool messages_to_terminal);

// Everything but the release of standard output.
int run(int argc, char **argv, output_state *out)
{
    const char *prog = out->prog;
    if (argc < 2) {
        print_help(out->usage_name);
        return 1;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        print_help(out->usage_name);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("Vantrel data dump v%s\nlibvantrel v%s\n", dump_version, vantrel_version());
        return 0;
    }

    dump_context ctx{};
    ctx.prog_name = prog;
    ctx.format = &dump_listing;
    bool as_source = false, as_json = false;
    const char *schema_path = nullptr;
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
        if (std::strcmp(option, "--json") == 0) {
            as_json = true;
            continue;
        }
        if (std::strcmp(option, "--schema") == 0) {
            if (first == argc) {
                dump_message(out->listing, "%s: %s: missing argument\n", prog, option);
                return 1;
            }
            schema_path = argv[first++]; // the last one wins
            continue;
        }
        dump_message(out->listing, "%s: unknown option: \"%s\"\n", prog, option);
        return 1;
    }
    if (as_source && as_json) {
        dump_message(out->listing, "%s: --source and --json cannot be used together\n", prog);
        return 1;
    }
    rendering as = as_source ? rendering::source : as_json ? rendering::json : rendering::listing;
    if (as_json)
        ctx.format = &dump_json;
    bool messages_to_terminal = stream_is_terminal(stderr);
    // The schema is read whole before any blob.
    dump_schema schema{};
    if (schema_path != nullptr) {
        shown_name shown = show_name(schema_path, messages_to_terminal);
        int failed = dump_schema_load(&schema, prog, schema_path, shown.text);
        release_name(&shown);
        if (failed != 0)
            return 1;
        ctx.schema = &schema;
    }
    int status = run_files(&ctx, argc, argv, first, as, out, messages_to_terminal);
    dump_schema_release(&schema);
    return status;
}

// Lists every file operand from argv[first] on.
int run_files(dump_context *ctx, int argc, char **argv, int first, rendering as, output_state *out,
              bool messages_to_terminal)
{
    bool as_json = as == rendering::json;
    // Every rendering leaves standard output in whole blocks of its own
    // buffer.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    out->listing->terminal = stream_is_terminal(stdout);

    int status = 0;
    // JSON Lines need no headers: each object names its file.
    bool several = argc - first > 1 && !as_json;
    for (int i = first; i < argc; ++i) {
        const char *name = argv[i];
        // A name holding control bytes would drive a terminal.
        shown_name header = show_name(name, out->listing->terminal);
        shown_name in_messages = show_name(name, messages_to_terminal);
        ctx->file_name = in_messages.text;
        // The header comes before the file is opened, so that a file that
        // cannot be opened has one too.
        if (several) {
            if (i > first)
                output_write(out->listing, "\n", 1);
            output_text(out->listing, header.text);
            output_write(out->listing, ":\n", 2);
        }
        if (list_operand(ctx, name, as, out) != 0)
            status = 1;
        release_name(&header);
        release_name(&in_messages);
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
    out.usage_name = argc > 0 && argv[0] != nullptr ? argv[0] : "vantrel-dump";
    shown_name prog = show_name(out.usage_name, stream_is_terminal(stderr));
    out.prog = prog.text;
    dump_output listing;
    output_init(&listing, stdout, output_buffer, sizeof output_buffer);
    out.listing = &listing;
    int status = run(argc, argv, &out);
    // What is still buffered goes out, and the close writes what stdio
    // holds: a listing that never reached its file is no success.
    output_flush(&listing);
    output_broken(&out);
    if (std::fclose(stdout) != 0)
        output_failed(&out, errno);
    release_name(&prog);
    return out.failed ? 1 : status;
}
