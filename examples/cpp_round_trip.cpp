// Builds a small settings blob with vantrel::builder, writes it to a file,
// reads the file back, checks it with vantrel::reader and prints the
// sampling interval it holds.
// Usage: cpp_round_trip FILE
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <span>

#include <vantrel.hpp>

namespace {

constexpr uint32_t model_id = 0x100, interval_id = 0x200, calibration_id = 0x300;

bool build(std::span<std::byte> buffer, std::span<std::byte> &blob)
{
    static const std::byte offsets[] = {std::byte{0xF6}, std::byte{0xFF}, std::byte{0x04}, std::byte{0x00}};
    vantrel::builder b(buffer);
    if (!b.ok() || b.add_string(model_id, "TH-40") != vantrel::status::ok ||
        b.add_integer(interval_id, 250) != vantrel::status::ok ||
        b.add_data(calibration_id, 1, offsets) != vantrel::status::ok)
        return false;
    blob = b.finish();
    return !blob.empty();
}

bool write_file(const char *prog, const char *path, std::span<const std::byte> blob)
{
    FILE *out = std::fopen(path, "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "%s: could not open '%s': %s\n", prog, path, std::strerror(errno));
        return false;
    }
    bool written = std::fwrite(blob.data(), 1, blob.size(), out) == blob.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "%s: could not write '%s': %s\n", prog, path, std::strerror(errno));
        return false;
    }
    return true;
}

// The whole file, which must fit in buffer; the bytes read, or -1.
long read_file(const char *prog, const char *path, std::span<std::byte> buffer)
{
    FILE *in = std::fopen(path, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "%s: could not open '%s': %s\n", prog, path, std::strerror(errno));
        return -1;
    }
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    bool whole = got < buffer.size() && !std::ferror(in);
    std::fclose(in);
    if (!whole) {
        std::fprintf(stderr, "%s: could not read '%s' whole\n", prog, path);
        return -1;
    }
    return static_cast<long>(got);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 1;
    }
    std::byte out_buffer[256];
    std::span<std::byte> blob;
    if (!build(out_buffer, blob)) {
        std::fprintf(stderr, "%s: blob does not fit in %zu bytes\n", argv[0], sizeof out_buffer);
        return 1;
    }
    if (!write_file(argv[0], argv[1], blob))
        return 1;

    std::byte in_buffer[4096];
    long size = read_file(argv[0], argv[1], in_buffer);
    if (size < 0)
        return 1;
    vantrel::reader r(std::span<const std::byte>(in_buffer, static_cast<std::size_t>(size)));
    if (!r.ok()) {
        std::fprintf(stderr, "%s: '%s'@0x%" PRIX64 ": %s\n", argv[0], argv[1], r.error().offset,
                     vantrel::describe(r.error()).text);
        return 1;
    }
    std::optional<uint64_t> interval = r.get_integer(interval_id);
    if (!interval) {
        std::fprintf(stderr, "%s: '%s': no interval (id 0x%" PRIX32 ")\n", argv[0], argv[1], interval_id);
        return 1;
    }
    std::printf("interval=%" PRIu64 "\n", *interval);
    return 0;
}
