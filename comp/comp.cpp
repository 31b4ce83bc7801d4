// The compiler driver: command line, the one work allocation, the two files,
// the command loop that places tags through libvantrel, and the final write.
#include "comp.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "same_file.h"
#include "vantrel.h"

const char comp_version[] = "0.2.14";

namespace {

constexpr uint32_t BLOB_SIZE = 65536;
constexpr uint32_t SCRATCH_SIZE = 65536;
constexpr uint32_t LINE_SIZE = 4096;
constexpr uint32_t ALIGNMENT = 8;
constexpr size_t WORK_SIZE = size_t{BLOB_SIZE} + SCRATCH_SIZE + LINE_SIZE;

// Used only when the program was started without even argv[0].
const char FALLBACK_NAME[] = "vantrel-comp";

void command_error(const comp_context *ctx, const char *word, const char *text)
{
    std::fprintf(stderr, "%s: %s:%" PRIu32 ": %s: %s\n", ctx->prog_name, ctx->in_name,
                 ctx->line_no, word, text);
}

void placement_error(const comp_context *ctx, const char *what, int32_t status)
{
    std::fprintf(stderr, "%s: %s: Could not %s: %" PRId32 "\n", ctx->prog_name, ctx->in_name, what,
                 status);
}

void source_error(const comp_context *ctx, const char *text)
{
    std::fprintf(stderr, "%s: %s: %s\n", ctx->prog_name, ctx->in_name, text);
}

void write_error(const comp_context *ctx, int error)
{
    std::fprintf(stderr, "%s: %s: Could not write output: %s\n", ctx->prog_name, ctx->in_name,
                 std::strerror(error));
}

// Takes the options and the operand: sets in_name and out_name when the
// command line is sound.
int parse_command_line(comp_context *ctx, int argc, char **argv)
{
    int i = 1;
    while (i < argc && argv[i][0] == '-') {
        if (std::strcmp(argv[i], "-o") != 0) {
            std::fprintf(stderr, "%s: %s: unknown option\n", ctx->prog_name, argv[i]);
            return 1;
        }
        if (i + 1 == argc) {
            std::fprintf(stderr, "%s: %s: missing argument\n", ctx->prog_name, argv[i]);
            return 1;
        }
        ctx->out_name = argv[i + 1]; // taken whatever it looks like; the last one wins
        i += 2;
        if (i == argc) {
            std::fprintf(stderr, "%s: missing filename operand\n", ctx->prog_name);
            return 1;
        }
    }
    if (argc - i > 1) {
        std::fprintf(stderr, "%s: too many operands\n", ctx->prog_name);
        return 1;
    }
    ctx->in_name = argv[i];
    return 0;
}

// The source name with ".dat" appended, its own extension kept.
int derive_output_name(comp_context *ctx)
{
    size_t length = std::strlen(ctx->in_name);
    ctx->out_name_alloc = static_cast<char *>(std::malloc(length + 5));
    if (ctx->out_name_alloc == nullptr) {
        std::fprintf(stderr, "%s: could not allocate file name memory: %s\n", ctx->prog_name,
                     std::strerror(errno));
        return 1;
    }
    std::memcpy(ctx->out_name_alloc, ctx->in_name, length);
    std::memcpy(ctx->out_name_alloc + length, ".dat", 5);
    ctx->out_name = ctx->out_name_alloc;
    return 0;
}

int allocate_work(comp_context *ctx)
{
    ctx->blob_buf = static_cast<uint8_t *>(std::malloc(WORK_SIZE));
    if (ctx->blob_buf == nullptr) {
        std::fprintf(stderr, "%s: could not allocate buffer memory: %s\n", ctx->prog_name,
                     std::strerror(errno));
        return 1;
    }
    ctx->scratch_buf = ctx->blob_buf + ctx->blob_size;
    ctx->line_buf = reinterpret_cast<char *>(ctx->scratch_buf + ctx->scratch_size);
    return 0;
}

// Opening the output with "wb" empties it, so an output that is the source
// itself (by name, hard link, symlink, or a case variant on Windows) would
// destroy it before a line is read.
bool output_is_source(const comp_context *ctx)
{
    return same_file(ctx->in_name, ctx->out_name) == 1;
}

int open_files(comp_context *ctx)
{
    // Binary mode: a text-mode read on Windows would end the source at a
    // byte 0x1A.  A CR before the LF is white space that read_line trims.
    ctx->in_file = std::fopen(ctx->in_name, "rb");
    if (ctx->in_file == nullptr) {
        std::fprintf(stderr, "%s: cannot open '%s' for reading: %s\n", ctx->prog_name,
                     ctx->in_name, std::strerror(errno));
        return 1;
    }
    if (output_is_source(ctx)) {
        std::fprintf(stderr, "%s: output file '%s' is the same as the input file\n",
                     ctx->prog_name, ctx->out_name);
        return 1;
    }
    ctx->out_file = std::fopen(ctx->out_name, "wb");
    if (ctx->out_file == nullptr) {
        std::fprintf(stderr, "%s: cannot open '%s' for writing: %s\n", ctx->prog_name,
                     ctx->out_name, std::strerror(errno));
        return 1;
    }
    // Only a regular file can be left behind half-written; devices and pipes
    // are never removed.
    struct stat out_stat;
    ctx->out_is_regular = fstat(fileno(ctx->out_file), &out_stat) == 0 && S_ISREG(out_stat.st_mode);
    return 0;
}

// "data ID TYPE begin": the following lines up to "end" each hold one hex
// string, collected one behind the other in the scratch area.
int32_t read_data_lines(comp_context *ctx)
{
    uint32_t collected = 0;
    for (;;) {
        char *line = read_line(ctx);
        if (line == nullptr) {
            source_error(ctx, "Unexpected end-of-file");
            return -1;
        }
        if (std::strcmp(line, "end") == 0)
            return static_cast<int32_t>(collected);
        int32_t got = parse_hex(ctx, &line, ctx->scratch_buf + collected,
                                ctx->scratch_size - collected);
        if (got < 0)
            return -1;
        collected += static_cast<uint32_t>(got);
    }
}

int32_t parse_data_payload(comp_context *ctx, char **cursor)
{
    if (**cursor == '"')
        return parse_str(ctx, cursor, ctx->scratch_buf, ctx->scratch_size);
    if (std::strcmp(*cursor, "begin") == 0)
        return read_data_lines(ctx);
    return parse_hex(ctx, cursor, ctx->scratch_buf, ctx->scratch_size);
}

int begin_blob(comp_context *ctx, vantrel_state *state)
{
    if (ctx->starts != 0) {
        line_error(ctx, ctx->depth != 0 ? "Nested start tags is not supported"
                                        : "Only one first-level start tag is possible");
        return 1;
    }
    int32_t status = vantrel_init(state, ctx->blob_buf, ctx->blob_size, ctx->alignment);
    if (status != 0) {
        placement_error(ctx, "initialize vantrel state", status);
        return 1;
    }
    ++ctx->starts;
    ++ctx->depth;
    return 0;
}

int end_blob(comp_context *ctx, vantrel_state *state)
{
    if (ctx->depth == 0) {
        line_error(ctx, "No matching start tag");
        return 1;
    }
    int32_t status = vantrel_end(state);
    if (status != 0) {
        placement_error(ctx, "place end tag", status);
        return 1;
    }
    --ctx->depth;
    return 0;
}

// "int", "str" and "data": the arguments are parsed left to right, then the
// tag is placed.  The first failure ends the run.
int add_content(comp_context *ctx, vantrel_state *state, const char *word, char *cursor)
{
    if (ctx->depth == 0) {
        command_error(ctx, word, "start tag is missing");
        return 1;
    }
    uint32_t id;
    if (parse32(ctx, &id, &cursor) != 0)
        return 1;
    int32_t status;
    const char *what;
    if (word[0] == 'i') {
        uint64_t value;
        if (parse64(ctx, &value, &cursor) != 0)
            return 1;
        status = vantrel_add_integer(state, value, id);
        what = "place integer tag";
    } else if (word[0] == 's') {
        int32_t size = parse_str(ctx, &cursor, ctx->scratch_buf, ctx->scratch_size);
        if (size < 0)
            return 1;
        status = vantrel_add_string(state, reinterpret_cast<const char *>(ctx->scratch_buf),
                                    static_cast<uint32_t>(size), id);
        what = "place string tag";
    } else {
        uint32_t type;
        if (parse32(ctx, &type, &cursor) != 0)
            return 1;
        int32_t size = parse_data_payload(ctx, &cursor);
        if (size < 0)
            return 1;
        status = vantrel_add_data_block(state, ctx->scratch_buf, static_cast<uint32_t>(size), type,
                                        id);
        what = "place data block tag";
    }
    if (status != 0) {
        placement_error(ctx, what, status);
        return 1;
    }
    return 0;
}

int run_command(comp_context *ctx, vantrel_state *state, char *line)
{
    // The command word is the run of graphic characters; the character that
    // ends it becomes its terminator.
    char *end = line;
    while (comp_is_graphic(*end))
        ++end;
    char *args = end;
    if (*end != '\0') {
        *end = '\0';
        args = end + 1;
        while (comp_is_space(*args))
            ++args;
    }
    if (std::strcmp(line, "{") == 0)
        return begin_blob(ctx, state);
    if (std::strcmp(line, "}") == 0)
        return end_blob(ctx, state);
    if (std::strcmp(line, "int") == 0 || std::strcmp(line, "str") == 0 ||
        std::strcmp(line, "data") == 0)
        return add_content(ctx, state, line, args);
    command_error(ctx, line, "unknown command");
    return 1;
}

// Writing is checked to the end: the blob, the flush and the close.  The
// output stream is closed here either way.
int write_blob(comp_context *ctx, const vantrel_state *state)
{
    uint32_t used = vantrel_get_used_size(state);
    int error = 0;
    errno = 0;
    if (std::fwrite(ctx->blob_buf, used, 1, ctx->out_file) != 1 || std::fflush(ctx->out_file) != 0)
        error = errno != 0 ? errno : EIO; // a short write need not set errno
    if (std::fclose(ctx->out_file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    ctx->out_file = nullptr;
    if (error != 0) {
        write_error(ctx, error);
        return 1;
    }
    return 0;
}

int compile(comp_context *ctx)
{
    vantrel_state state{};
    for (char *line = read_line(ctx); line != nullptr; line = read_line(ctx))
        if (run_command(ctx, &state, line) != 0)
            return 1;
    if (ctx->starts == 0) {
        source_error(ctx, "No start command was found");
        return 1;
    }
    if (ctx->depth != 0) {
        source_error(ctx, "No closing \"}\" command was found");
        return 1;
    }
    return write_blob(ctx, &state);
}

// Releases whatever exists; after a failure no regular output file is left.
void release(comp_context *ctx, int status)
{
    if (ctx->in_file != nullptr)
        std::fclose(ctx->in_file);
    if (ctx->out_file != nullptr)
        std::fclose(ctx->out_file);
    if (status != 0 && ctx->out_is_regular)
        std::remove(ctx->out_name);
    std::free(ctx->out_name_alloc);
    std::free(ctx->blob_buf);
}

} // namespace

int print_help(const char *prog_name, int status)
{
    std::printf("Usage: %s [OPT]... FILE\nVantrel data compiler.\n\n"
                "  -o FILE    Set output file name\n"
                "  --help     Show this screen\n"
                "  --version  Show version number\n",
                prog_name);
    return status;
}

int comp_main(int argc, char **argv)
{
    comp_context ctx{};
    ctx.prog_name = argc > 0 && argv[0] != nullptr ? argv[0] : FALLBACK_NAME;
    ctx.blob_size = BLOB_SIZE;
    ctx.scratch_size = SCRATCH_SIZE;
    ctx.line_size = LINE_SIZE;
    ctx.alignment = ALIGNMENT;
    if (argc < 2)
        return print_help(ctx.prog_name, 1);
    if (std::strcmp(argv[1], "--help") == 0)
        return print_help(ctx.prog_name, 0);
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("Vantrel data compiler v%s\nlibvantrel v%s\n", comp_version, vantrel_version());
        return 0;
    }
    if (parse_command_line(&ctx, argc, argv) != 0)
        return 1;
    int status = 1;
    if ((ctx.out_name != nullptr || derive_output_name(&ctx) == 0) && allocate_work(&ctx) == 0 &&
        open_files(&ctx) == 0)
        status = compile(&ctx);
    release(&ctx, status);
    return status;
}
