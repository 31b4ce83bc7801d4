/* The firmware example's settings (examples/firmware.c). */
#ifndef FIRMWARE_H
#define FIRMWARE_H

#include <stddef.h>
#include <stdint.h>

#define SETTING_MODEL 0x100u
#define SETTING_INTERVAL 0x102u
#define SETTING_TABLE 0x200u

struct settings {
    uint64_t interval;
    const char *model; /* model_length characters, not zero-terminated */
    uint32_t model_length;
    const void *table;
    uint32_t table_size;
};

int settings_load(const void *blob, size_t size, struct settings *out);
uint32_t count_tags(const void *blob, size_t size);
uint32_t status_build(uint8_t *buffer, uint32_t size, uint64_t uptime, const char *state, uint32_t state_length);
int firmware_main(void);

#endif
