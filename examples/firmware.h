/* The firmware example's settings (examples/firmware.c).  The ids, the
 * data block's type and its size come from the settings' schema,
 * examples/device-settings.schema, through the header the build makes of
 * it (vantrel-comp --schema device-settings.schema --c-header
 * device_settings -o device_settings.h). */
#ifndef FIRMWARE_H
#define FIRMWARE_H

#include <stddef.h>
#include <stdint.h>

#include "device_settings.h"

struct settings {
    uint64_t period_ms;
    const char *model; /* model_length characters, not zero-terminated */
    uint32_t model_length;
    const void *calibration; /* device_settings_MAX_calibration bytes */
    uint32_t calibration_size;
};

int settings_load(const void *blob, size_t size, struct settings *out);
uint32_t count_tags(const void *blob, size_t size);
uint32_t status_build(uint8_t *buffer, uint32_t size, uint64_t period_ms, const char *model, uint32_t model_length,
                      const uint8_t *calibration);
int firmware_main(void);

#endif
