// --schema: the schema file read whole, then read by the library.
#include "schema_file.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace {

// Reads the whole stream into memory of its own; 0 or an error number.
int read_whole(FILE *in, char **text, size_t *size)
{
    size_t capacity = 4096, used = 0;
    char *buffer = static_cast<char *>(std::malloc(capacity));
    while (buffer != nullptr) {
        used += std::fread(buffer + used, 1, capacity - used, in);
        if (used < capacity)
            break;
        char *grown = capacity <= SIZE_MAX / 2 ? static_cast<char *>(std::realloc(buffer, capacity * 2)) : nullptr;
        if (grown == nullptr)
            std::free(buffer);
        buffer = grown;
        capacity *= 2;
    }
    if (buffer == nullptr)
        return ENOMEM;
    if (std::ferror(in)) {
        std::free(buffer);
        return errno != 0 ? errno : EIO;
    }
    *text = buffer;
    *size = used;
    return 0;
}

} // namespace

int schema_file_load(schema_file *file, const char *prog, const char *path, const char *shown)
{
    // Nothing is on the standard output before the schema is read, but what
    // a caller buffered there would go out before the message.
    std::fflush(stdout);
    *file = schema_file{};
    FILE *in = std::fopen(path, "rb");
    int error = in == nullptr ? errno : stream_is_directory(in) ? EISDIR : 0;
    size_t size = 0;
    if (error == 0)
        error = read_whole(in, &file->text, &size);
    if (in != nullptr)
        std::fclose(in);
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot read schema '%s': %s\n", prog, shown, std::strerror(error));
        return 1;
    }
    // One more record than the lines need: malloc(0) may give no memory.
    const uint32_t capacity = vantrel_schema_count(file->text, size);
    file->decls = static_cast<vantrel_schema_decl *>(std::malloc((uint64_t{capacity} + 1) * sizeof *file->decls));
    vantrel_schema_error fault;
    if (file->decls != nullptr &&
        vantrel_schema_read(&file->schema, file->decls, capacity, file->text, size, &fault) != 0) {
        char reason[VANTREL_SCHEMA_REASON_SIZE];
        std::fprintf(stderr, "%s: %s:%" PRIu32 ": %s\n", prog, shown, fault.line, vantrel_schema_error_describe(&fault, reason));
        schema_file_release(file);
        return 1;
    }
    if (file->decls != nullptr)
        file->seen = static_cast<uint8_t *>(std::malloc(vantrel_schema_seen_size(&file->schema)));
    if (file->seen == nullptr) {
        std::fprintf(stderr, "%s: could not allocate schema memory: %s\n", prog, std::strerror(ENOMEM));
        schema_file_release(file);
        return 1;
    }
    return 0;
}

void schema_file_release(schema_file *file)
{
    std::free(file->seen);
    std::free(file->decls);
    std::free(file->text);
    *file = schema_file{};
}
