// The compiler driver: command line, the one work allocation, the two files,
// the command loop that places tags through libvantrel, and the final write.
#include "comp.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "comp_limits.h"
#include "platform.h"
#include "same_file.h"
#include "vantrel.h"

#include "vantrel_version.h"

const char comp_version[] = VANTREL_VERSION_STRING;

namespace {

// Defaults; -s and -a change the first and the last.
constexpr uint32_t BLOB_SIZE = COMP_DEFAULT_BLOB_SIZE;
constexpr uint32_t LINE_SIZE = COMP_LINE_BUFFER;
constexpr uint32_t ALIGNMENT = COMP_DEFAULT_ALIGNMENT;

// Used only when the program was started without even argv[0].
const char FALLBACK_NAME[] = "vantrel-comp";

void command_error(const comp_context *ctx, const char *word, const char *text)
{
    std::fprintf(stderr, "%s: %s:%" PRIu32 ": %s: %s\n", ctx->prog_name, ctx->in_shown.text,
                 ctx->line_no, word, text);
}

void placement_error(const comp_context *ctx, const char *what, int32_t status)
{
    std::fprintf(stderr, "%s: %s: Could not %s: %" PRId32 "\n", ctx->prog_name, ctx->in_shown.text, what,
                 status);
}

void source_error(const comp_context *ctx, const char *text)
{
    std::fprintf(stderr, "%s: %s: %s\n", ctx->prog_name, ctx->in_shown.text, text);
}

void write_error(const comp_context *ctx, int error)
{
    if (ctx->output.damaged)
        std::fprintf(stderr, "%s: %s: Could not write output: %s; the previous output '%s' is damaged\n",
                     ctx->prog_name, ctx->in_shown.text, std::strerror(error), ctx->out_shown.text);
    else
        std::fprintf(stderr, "%s: %s: Could not write output: %s\n", ctx->prog_name, ctx->in_shown.text,
                     std::strerror(error));
}

// An option's number, read as the source language reads numbers; no sign,
// nothing after it.  False when it is malformed or above 4294967295.
bool parse_option_number(const char *text, uint32_t *result)
{
    uint64_t value = 0;
    size_t length = 0;
    if (read_number(text, &value, &length) != NUMBER_OK || text[length] != '\0' || value > UINT32_MAX)
        return false;
    *result = static_cast<uint32_t>(value);
    return true;
}

// -a: a power of two that the library takes as it is.
int take_alignment(comp_context *ctx, const char *text)
{
    uint32_t value;
    if (!parse_option_number(text, &value) || value < VANTREL_ALIGN_MIN || value > VANTREL_ALIGN_MAX ||
        (value & (value - 1)) != 0) {
        std::fprintf(stderr, "%s: -a %s: alignment must be a power of two from %u to %u\n",
                     ctx->prog_name, text, VANTREL_ALIGN_MIN, VANTREL_ALIGN_MAX);
        return 1;
    }
    ctx->alignment = value;
    return 0;
}

// -s: the number alone; whether it holds a blob depends on the alignment,
// which may come later on the command line.
int take_blob_size(comp_context *ctx, const char *text)
{
    if (!parse_option_number(text, &ctx->blob_size)) {
        std::fprintf(stderr, "%s: -s %s: blob size must be a number up to 4294967295\n",
                     ctx->prog_name, text);
        return 1;
    }
    return 0;
}

int take_c_array_name(comp_context *ctx, const char *text)
{
    bool of_size = false;
    if (const char *fault = c_array_name_fault(text, &of_size)) {
        std::fprintf(stderr, "%s: --c-array %s: %s%s%s\n", ctx->prog_name, text, of_size ? text : "",
                     of_size ? "_size is " : "", fault);
        return 1;
    }
    ctx->c_array_name = text;
    return 0;
}

// --c-header takes its name by the --c-array rule; the names it joins to it
// are checked once the schema is read.
int take_c_header_name(comp_context *ctx, const char *text)
{
    bool of_size = false;
    if (const char *fault = c_array_name_fault(text, &of_size)) {
        std::fprintf(stderr, "%s: --c-header %s: %s%s%s\n", ctx->prog_name, text, of_size ? text : "",
                     of_size ? "_size is " : "", fault);
        return 1;
    }
    ctx->c_header_name = text;
    return 0;
}

// What --c-header asks besides its name: a schema and an output, no source.
int check_c_header_use(const comp_context *ctx, bool operand)
{
    const char *fault = ctx->schema_name == nullptr ? "needs --schema FILE"
                      : ctx->out_name == nullptr    ? "needs -o FILE"
                      : operand                     ? "writes from the schema alone: no source operand"
                      : ctx->c_array_name != nullptr ? "and --c-array exclude each other"
                                                     : nullptr;
    if (fault != nullptr)
        std::fprintf(stderr, "%s: --c-header %s\n", ctx->prog_name, fault);
    return fault != nullptr ? 1 : 0;
}

// The blob size rounded down to the alignment must hold the start tag and
// an end tag of one start tag's size each, as vantrel_init asks; the payload
// area is as large as the blob, so one data block may fill it.  size_text is
// the -s argument, or null when the default stands.
int settle_sizes(comp_context *ctx, const char *size_text)
{
    const uint32_t start_size = ctx->alignment > VANTREL_START_MIN ? ctx->alignment : VANTREL_START_MIN;
    const uint32_t smallest = 2 * start_size;
    const uint32_t rounded = ctx->blob_size & ~(ctx->alignment - 1);
    if (rounded < smallest && size_text == nullptr) {
        std::fprintf(stderr, "%s: -a %" PRIu32 ": alignment needs -s %" PRIu32 " or more\n",
                     ctx->prog_name, ctx->alignment, smallest);
        return 1;
    }
    if (rounded < smallest) {
        std::fprintf(stderr, "%s: -s %s: blob size must be at least %" PRIu32
                             " at alignment %" PRIu32 "\n",
                     ctx->prog_name, size_text, smallest, ctx->alignment);
        return 1;
    }
    ctx->blob_size = rounded;
    ctx->scratch_size = rounded;
    return 0;
}

// Takes the options and the operand: sets in_name and out_name when the
// command line is sound.  Every option but the first two takes the next
// argument, whatever it looks like.
int parse_command_line(comp_context *ctx, int argc, char **argv)
{
    const char *size_text = nullptr;
    int i = 1;
    while (i < argc && argv[i][0] == '-') {
        const char *option = argv[i];
        const bool known = std::strcmp(option, "-o") == 0 || std::strcmp(option, "-a") == 0 ||
                           std::strcmp(option, "-s") == 0 || std::strcmp(option, "--c-array") == 0 ||
                           std::strcmp(option, "--schema") == 0 || std::strcmp(option, "--c-header") == 0;
        if (!known) {
            std::fprintf(stderr, "%s: %s: unknown option\n", ctx->prog_name, option);
            return 1;
        }
        if (i + 1 == argc) {
            std::fprintf(stderr, "%s: %s: missing argument\n", ctx->prog_name, option);
            return 1;
        }
        const char *value = argv[i + 1];
        if (option[1] == 'o') {
            ctx->out_name = value; // the last one wins
        } else if (option[1] == 'a') {
            if (take_alignment(ctx, value) != 0)
                return 1;
        } else if (option[1] == 's') {
            if (take_blob_size(ctx, value) != 0)
                return 1;
            size_text = value;
        } else if (std::strcmp(option, "--schema") == 0) {
            ctx->schema_name = value; // the last one wins
        } else if (std::strcmp(option, "--c-header") == 0) {
            if (take_c_header_name(ctx, value) != 0)
                return 1;
        } else if (take_c_array_name(ctx, value) != 0) {
            return 1;
        }
        i += 2;
        if (i == argc && ctx->c_header_name == nullptr) {
            std::fprintf(stderr, "%s: missing filename operand\n", ctx->prog_name);
            return 1;
        }
    }
    if (ctx->c_header_name != nullptr)
        return check_c_header_use(ctx, i < argc);
    if (argc - i > 1) {
        std::fprintf(stderr, "%s: too many operands\n", ctx->prog_name);
        return 1;
    }
    if (settle_sizes(ctx, size_text) != 0)
        return 1;
    ctx->in_name = argv[i];
    return 0;
}

// The source name with ".dat" appended (".c" for C source), its own
// extension kept.
int derive_output_name(comp_context *ctx)
{
    const char *extension = ctx->c_array_name != nullptr ? ".c" : ".dat";
    size_t length = std::strlen(ctx->in_name);
    ctx->out_name_alloc = static_cast<char *>(std::malloc(length + 5));
    if (ctx->out_name_alloc == nullptr) {
        std::fprintf(stderr, "%s: could not allocate file name memory: %s\n", ctx->prog_name,
                     std::strerror(errno));
        return 1;
    }
    std::memcpy(ctx->out_name_alloc, ctx->in_name, length);
    std::memcpy(ctx->out_name_alloc + length, extension, std::strlen(extension) + 1);
    ctx->out_name = ctx->out_name_alloc;
    return 0;
}

// One block for the blob, the payload area and the line buffer: as much as
// -s asks for, and no more.
int allocate_work(comp_context *ctx)
{
    const uint64_t work_size = uint64_t{ctx->blob_size} + ctx->scratch_size + ctx->line_size;
    errno = ENOMEM; // what a size beyond the address space is refused with
    if (work_size <= SIZE_MAX)
        ctx->blob_buf = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(work_size)));
    if (ctx->blob_buf == nullptr) {
        std::fprintf(stderr, "%s: could not allocate buffer memory: %s\n", ctx->prog_name,
                     std::strerror(errno));
        return 1;
    }
    ctx->scratch_buf = ctx->blob_buf + ctx->blob_size;
    ctx->line_buf = reinterpret_cast<char *>(ctx->scratch_buf + ctx->scratch_size);
    return 0;
}

// An output that is the source itself (by name, hard link, symlink, or a
// case variant on Windows) would replace it.
bool output_is_source(const comp_context *ctx)
{
    return same_file(ctx->in_name, ctx->out_name) == 1;
}

// An output that replaces the schema file would lose it.
int output_is_not_schema(const comp_context *ctx)
{
    if (same_file(ctx->schema_name, ctx->out_name) != 1)
        return 0;
    std::fprintf(stderr, "%s: output file '%s' is the same as the schema file\n", ctx->prog_name,
                 ctx->out_shown.text);
    return 1;
}

// The source is opened and the output checked (a device is opened) before
// a line is read; no output file is touched until the blob is whole.
int open_files(comp_context *ctx)
{
    // Asked before the source takes the lowest free descriptor, which may
    // be the one the output names.
    const bool output_closed = output_names_closed_descriptor(ctx->out_name);
    // Binary mode: a text-mode read on Windows would end the source at a
    // byte 0x1A.  A CR before the LF is white space that read_line trims.
    // Some systems open a folder for reading; its read error would then
    // look like the end of the input.
    ctx->in_file = std::fopen(ctx->in_name, "rb");
    int error = ctx->in_file == nullptr ? errno : stream_is_directory(ctx->in_file) ? EISDIR : 0;
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot open '%s' for reading: %s\n", ctx->prog_name,
                     ctx->in_shown.text, std::strerror(error));
        return 1;
    }
    error = output_closed ? EBADF : 0;
    if (error == 0 && output_is_source(ctx)) {
        std::fprintf(stderr, "%s: output file '%s' is the same as the input file\n",
                     ctx->prog_name, ctx->out_shown.text);
        return 1;
    }
    if (error == 0)
        error = output_prepare(&ctx->output, ctx->out_name);
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot open '%s' for writing: %s\n", ctx->prog_name,
                     ctx->out_shown.text, std::strerror(error));
        return 1;
    }
    return 0;
}

// "data ID TYPE begin": the following lines up to "end" each hold one hex
// string, collected one behind the other in the scratch area.  A block may
// fill a blob of up to 4 GiB, so its count is wider than one line's.
int64_t read_data_lines(comp_context *ctx)
{
    uint32_t collected = 0;
    for (;;) {
        char *line = read_line(ctx);
        if (line == nullptr) {
            source_error(ctx, "Unexpected end-of-file");
            return -1;
        }
        if (std::strcmp(line, "end") == 0)
            return collected;
        int32_t got = parse_hex(ctx, &line, ctx->scratch_buf + collected,
                                ctx->scratch_size - collected);
        if (got < 0)
            return -1;
        collected += static_cast<uint32_t>(got);
    }
}

int64_t parse_data_payload(comp_context *ctx, char **cursor)
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
    if (schema_check_end(ctx) != 0)
        return 1;
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
    // The tag as the schema checks it: of the outer block, at this line.
    vantrel_tag tag{};
    ctx->tag_line = ctx->line_no;
    uint32_t id;
    if (parse_named32(ctx, NAME_AS_ID, &id, &cursor) != 0)
        return 1;
    tag.id = id;
    int32_t status;
    const char *what;
    if (word[0] == 'i') {
        uint64_t value;
        if (parse_named64(ctx, NAME_AS_VALUE, &value, &cursor) != 0)
            return 1;
        tag.code = VANTREL_TAG_INTEGER;
        tag.value = value;
        if (schema_check_tag(ctx, &tag) != 0)
            return 1;
        status = vantrel_add_integer(state, value, id);
        what = "place integer tag";
    } else if (word[0] == 's') {
        int32_t size = parse_str(ctx, &cursor, ctx->scratch_buf, ctx->scratch_size);
        if (size < 0)
            return 1;
        tag.code = VANTREL_TAG_STRING;
        tag.size = static_cast<uint32_t>(size);
        if (schema_check_tag(ctx, &tag) != 0)
            return 1;
        status = vantrel_add_string(state, reinterpret_cast<const char *>(ctx->scratch_buf),
                                    static_cast<uint32_t>(size), id);
        what = "place string tag";
    } else {
        uint32_t type;
        if (parse_named32(ctx, NAME_AS_TYPE, &type, &cursor) != 0)
            return 1;
        int64_t size = parse_data_payload(ctx, &cursor);
        if (size < 0)
            return 1;
        tag.code = VANTREL_TAG_DATA_BLOCK;
        tag.type = type;
        tag.size = static_cast<uint32_t>(size);
        if (schema_check_tag(ctx, &tag) != 0)
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

// The finished blob, as the output writers see it.
struct finished_blob {
    const comp_context *ctx;
    uint32_t used;
};

int write_as_blob(FILE *stream, const void *arg)
{
    auto *blob = static_cast<const finished_blob *>(arg);
    return std::fwrite(blob->ctx->blob_buf, blob->used, 1, stream) == 1 ? 0 : -1;
}

int write_as_c_array(FILE *stream, const void *arg)
{
    auto *blob = static_cast<const finished_blob *>(arg);
    const comp_context *ctx = blob->ctx;
    return write_c_array(stream, ctx->c_array_name, ctx->blob_buf, blob->used, ctx->alignment);
}

int write_as_c_header(FILE *stream, const void *arg)
{
    return write_c_header(stream, static_cast<const comp_context *>(arg));
}

int write_blob(comp_context *ctx, const vantrel_state *state)
{
    finished_blob blob = {ctx, vantrel_get_used_size(state)};
    const bool c_array = ctx->c_array_name != nullptr;
    const uint64_t size = c_array ? c_array_text_size(ctx->c_array_name, blob.used, ctx->alignment) : blob.used;
    int error = output_commit(&ctx->output, c_array ? write_as_c_array : write_as_blob, &blob, size);
    if (error != 0) {
        write_error(ctx, error);
        return 1;
    }
    return 0;
}

// --c-header: the output is checked as open_files checks it, then written
// like any other output.
int write_header(comp_context *ctx)
{
    if (check_c_header_names(ctx) != 0)
        return 1;
    int error = output_names_closed_descriptor(ctx->out_name) ? EBADF : output_prepare(&ctx->output, ctx->out_name);
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot open '%s' for writing: %s\n", ctx->prog_name, ctx->out_shown.text,
                     std::strerror(error));
        return 1;
    }
    error = output_commit(&ctx->output, write_as_c_header, ctx, c_header_size(ctx));
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

// Releases whatever exists; an output that was not replaced stays as it was.
void release(comp_context *ctx)
{
    if (ctx->in_file != nullptr)
        std::fclose(ctx->in_file);
    output_release(&ctx->output);
    std::free(ctx->out_name_alloc);
    std::free(ctx->blob_buf);
    release_schema(ctx);
    release_name(&ctx->in_shown);
    release_name(&ctx->out_shown);
}

// Standard output carries only the usage and version texts; a failed write
// or close of it is no success.
int close_standard_output(const char *prog_name, int status)
{
    errno = 0;
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
    int error = errno;
    if (std::fclose(stdout) != 0 && !failed) {
        failed = true;
        error = errno;
    }
    if (!failed)
        return status;
    // An error flagged by an earlier write may have left no error number.
    std::fprintf(stderr, "%s: write error: %s\n", prog_name, std::strerror(error != 0 ? error : EIO));
    return 1;
}

} // namespace

int print_help(const char *prog_name, int status)
{
    std::printf("Usage: %s [OPT]... FILE\n"
                "  or:  %s --schema FILE --c-header NAME -o FILE\n"
                "Vantrel data compiler.\n\n"
                "  -o FILE    Set output file name\n"
                "  -a ALIGN   Set the tag alignment, a power of two from 8 to\n"
                "             1048576 (default 8)\n"
                "  -s SIZE    Set the largest blob size in bytes, up to 4294967295\n"
                "             (default 65536)\n"
                "  --c-array NAME\n"
                "             Write C source defining the array NAME and NAME_size\n"
                "             instead of the blob\n"
                "  --schema FILE\n"
                "             Check every tag against the schema FILE; its names\n"
                "             may stand for ids, types and values\n"
                "  --c-header NAME\n"
                "             Write the schema's names as a C header, each prefixed\n"
                "             with NAME (no source)\n"
                "  --help     Show this screen\n"
                "  --version  Show version number\n",
                prog_name, prog_name);
    return close_standard_output(prog_name, status);
}

int comp_main(int argc, char **argv)
{
    comp_context ctx{};
    ctx.prog_name = argc > 0 && argv[0] != nullptr ? argv[0] : FALLBACK_NAME;
    ctx.blob_size = BLOB_SIZE;
    ctx.scratch_size = BLOB_SIZE;
    ctx.line_size = LINE_SIZE;
    ctx.alignment = ALIGNMENT;
    if (argc < 2)
        return print_help(ctx.prog_name, 1);
    if (std::strcmp(argv[1], "--help") == 0)
        return print_help(ctx.prog_name, 0);
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("Vantrel data compiler v%s\nlibvantrel v%s\n", comp_version, vantrel_version());
        return close_standard_output(ctx.prog_name, 0);
    }
    // Names with control bytes would drive a terminal: messages show them
    // with '?' there, computed once.
    bool terminal = stream_is_terminal(stderr);
    shown_name prog = show_name(ctx.prog_name, terminal);
    ctx.prog_name = prog.text;
    int status = 1;
    if (parse_command_line(&ctx, argc, argv) == 0 && (ctx.out_name != nullptr || derive_output_name(&ctx) == 0)) {
        // --c-header's messages name the schema where others name the source.
        ctx.in_shown = show_name(ctx.in_name != nullptr ? ctx.in_name : ctx.schema_name, terminal);
        ctx.out_shown = show_name(ctx.out_name, terminal);
        // The schema is read whole before the source is opened or the output
        // looked at: a faulty one touches nothing.
        if (ctx.schema_name != nullptr)
            ctx.schema_shown = show_name(ctx.schema_name, terminal);
        if (ctx.schema_name == nullptr || (load_schema(&ctx) == 0 && output_is_not_schema(&ctx) == 0)) {
            if (ctx.c_header_name != nullptr)
                status = write_header(&ctx);
            else if (allocate_work(&ctx) == 0 && open_files(&ctx) == 0)
                status = compile(&ctx);
        }
    }
    release(&ctx);
    release_name(&prog);
    return status;
}
