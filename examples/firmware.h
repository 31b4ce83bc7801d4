/* The firmware example's functions (examples/firmware.c).  Its settings
 * are struct device_settings, which the build generates with its loader
 * from the settings' schema, examples/device-settings.schema
 * (vantrel-comp --schema device-settings.schema --c-header
 * device_settings -o device_settings.h); only firmware.c includes that
 * header. */
#ifndef FIRMWARE_H
#define FIRMWARE_H

#include <stddef.h>
#include <stdint.h>

struct device_settings;

int settings_load(const void *blob, size_t size, struct device_settings *out, uint32_t *fault_offset);
uint32_t count_tags(const void *blob, size_t size);
uint32_t status_build(uint8_t *buffer, uint32_t size, const struct device_settings *settings);
int firmware_main(void);

#endif
