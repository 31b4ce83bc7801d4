// Writes arbitrary bytes back as source, as vantrel-dump --source does.
// Whenever a source comes out, it must compile (through the compiler's
// whole run) to the input's bytes; for input in the other byte order, the
// compiled blob must be written as the very same source.  The input is
// read from memory as from a pipe, a few bytes at a time; the source and
// the compiled blob go through scratch files made once per process.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>
#include <vector>

#include "comp.h"
#include "dump.h"
#include "memory_source.h"
#include "source.h"
#include "vantrel.h"

namespace {

// Scratch files, in memory where the system has a memory file system: the
// compiler syncs the blob it writes.
std::string source_name, blob_name;
bool have_files;

void remove_files()
{
    unlink(source_name.c_str());
    unlink(blob_name.c_str());
}

std::string make_file(const char *folder, const char *stem)
{
    std::string name = std::string(folder) + "/vantrel-source-fuzz-" + stem + "-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0)
        std::abort();
    close(fd);
    return name;
}

void make_files()
{
    const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    source_name = make_file(folder, "source");
    blob_name = make_file(folder, "blob");
    have_files = true;
    std::atexit(remove_files);
}

// The source text of `size` bytes, or false when they are refused.
bool write_source(const uint8_t *data, size_t size, int warn_start_reserved, std::string *text)
{
    memory_source memory{data, size, 0, 1 + size % 61};
    input_source source = source_over(&memory, false);
    char *buffer = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&buffer, &length);
    if (out == nullptr)
        std::abort();
    char text_buffer[OUTPUT_ROOM_MAX];
    dump_output written;
    output_init(&written, out, text_buffer, sizeof text_buffer);
    dump_context ctx{};
    ctx.prog_name = "vantrel-dump";
    ctx.file_name = "input";
    ctx.warn_start_reserved = warn_start_reserved;
    ctx.format = &dump_listing;
    int status = dump_source(&written, &source, &ctx, "input");
    output_flush(&written);
    if (std::fclose(out) != 0 || written.failed)
        std::abort();
    // Refused files write nothing at all.
    if (status != 0 && length != 0)
        std::abort();
    text->assign(buffer, length);
    std::free(buffer);
    return status == 0;
}

std::string read_whole(const char *name)
{
    FILE *f = std::fopen(name, "rb");
    if (f == nullptr)
        std::abort();
    std::string bytes;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) != 0;)
        bytes.append(chunk, n);
    std::fclose(f);
    return bytes;
}

// Compiles `text` with the options its first line names, if any, and
// returns the blob.
std::string compile(const std::string &text)
{
    FILE *f = std::fopen(source_name.c_str(), "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
        std::abort();
    std::vector<std::string> words = {"vantrel-comp"};
    const std::string marker = "# vantrel-comp ";
    if (text.compare(0, marker.size(), marker) == 0) {
        std::istringstream options(text.substr(marker.size(), text.find('\n') - marker.size()));
        for (std::string word; options >> word;)
            words.push_back(word);
    }
    words.insert(words.end(), {"-o", blob_name, source_name});
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    if (comp_main(static_cast<int>(words.size()), argv.data()) != 0)
        std::abort();
    return read_whole(blob_name.c_str());
}

void check(const uint8_t *data, size_t size, int warn_start_reserved)
{
    std::string text;
    if (!write_source(data, size, warn_start_reserved, &text))
        return;
    std::string blob = compile(text);
    uint32_t code;
    std::memcpy(&code, data, sizeof code);
    if (code == VANTREL_TAG_START) {
        if (blob.size() != size || std::memcmp(blob.data(), data, size) != 0)
            std::abort();
        return;
    }
    std::string again;
    if (!write_source(reinterpret_cast<const uint8_t *>(blob.data()), blob.size(), 0, &again) || again != text)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!have_files)
        make_files();
    if (size == 0)
        return 0;
    check(data, size, 0);
    check(data, size, 1);
    return 0;
}
