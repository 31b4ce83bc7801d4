// Reads the blobs its build embedded, through the C++ reader, checks their
// alignment by address, and prints what it found.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include <firmware_blobs.h>
#include <sensor.h>
#include <sensor_blobs.h>
#include <unit_blobs.h>
#include <vantrel.hpp>

namespace {

int failures = 0;

vantrel::reader open_blob(const char *name, const unsigned char *bytes, size_t size, uintptr_t alignment)
{
    vantrel::reader blob(std::as_bytes(std::span(bytes, size)));
    if (!blob.ok() || blob.length() != size || reinterpret_cast<uintptr_t>(bytes) % alignment != 0) {
        std::printf("%s: not a sound blob of %zu bytes aligned to %u\n", name, size,
                    static_cast<unsigned>(alignment));
        ++failures;
    }
    return blob;
}

std::string text(const vantrel::reader &blob, uint32_t id)
{
    auto found = blob.get_string(id);
    return found ? std::string(*found) : "(none)";
}

} // namespace

int main()
{
    vantrel::reader settings_blob = open_blob("settings", settings, settings_size, 8);
    vantrel::reader strings_blob = open_blob("strings_table", strings_table, strings_table_size, 8);
    vantrel::reader firmware_blob = open_blob("firmware", firmware, firmware_size, 64);
    auto data = firmware_blob.get_data(2);
    std::printf("settings: %u bytes, int %llu, str %s\n", static_cast<unsigned>(settings_size),
                static_cast<unsigned long long>(settings_blob.get_integer(1).value_or(0)),
                text(settings_blob, 2).c_str());
    std::printf("strings_table: %s %s\n", text(strings_blob, 1).c_str(), text(strings_blob, 2).c_str());
    std::printf("firmware: %u bytes, int 0x%llx, data %zu bytes\n", static_cast<unsigned>(firmware_size),
                static_cast<unsigned long long>(firmware_blob.get_integer(1).value_or(0)),
                data ? data->size() : 0);
    // The generated loader: the format and the schema checked, the struct
    // filled, in one walk.
    struct sensor s;
    uint32_t at = 0;
    const int code = sensor_load(sensor_unit, sensor_unit_size, &s, &at);
    std::printf("sensor: load %d, model %.*s, period_ms %llu, offset_c %s\n", code, static_cast<int>(s.model_length),
                s.model, static_cast<unsigned long long>(s.period_ms), s.has_offset_c ? "given" : "none");
    return failures == 0 && code == 0 ? 0 : 1;
}
