/* Blobs in firmware: settings read at boot from a blob in flash, and a
 * status record built on the device.  Freestanding C99: no heap, no I/O,
 * nothing from a C library but memcpy and memset.
 *
 * VANTREL_MAX_DEPTH bounds how deep the reader follows nested blocks, and
 * with it the stack a check takes: 4 bytes a level.  At 16 levels
 * vantrel_check's frame stays within 256 bytes on a Cortex-M0; deeper
 * blobs fail with VANTREL_E_TOO_DEEP. */
#include "vantrel.h" /* the builder */
/* The reader, with the bound; any other inclusion of it in this file must
 * see the same bound, or the file does not compile. */
#define VANTREL_MAX_DEPTH 16u
#include "vantrel_reader.h"

#include "firmware.h"

/* The blob is checked once; every look-up after that is one forward walk
 * in constant memory.  Returns 0, a fault code (VANTREL_E_*) for a blob
 * that is not well formed, or 100 plus a look-up result (a calibration of
 * another type or size than the schema's is of the wrong kind). */
int settings_load(const void *blob, size_t size, struct settings *out)
{
    uint32_t type = 0;
    int found, fault = vantrel_check(blob, size, NULL, NULL);
    if (fault != 0)
        return fault;
    found = vantrel_checked_get_integer(blob, size, device_settings_ID_period_ms, &out->period_ms);
    if (found == VANTREL_OK)
        found = vantrel_checked_get_string(blob, size, device_settings_ID_model, &out->model, &out->model_length);
    if (found == VANTREL_OK)
        found = vantrel_checked_get_data(blob, size, device_settings_ID_calibration, &out->calibration,
                                         &out->calibration_size, &type);
    if (found == VANTREL_OK && (type != device_settings_TYPE_calibration ||
                                out->calibration_size != device_settings_MAX_calibration))
        found = VANTREL_WRONG_KIND;
    return found == VANTREL_OK ? 0 : 100 + found;
}

/* Every tag of a blob, checked as it is handed out: the reader holds the
 * open blocks, VANTREL_MAX_DEPTH words. */
uint32_t count_tags(const void *blob, size_t size)
{
    vantrel_reader reader;
    vantrel_tag tag;
    uint32_t count = 0;
    vantrel_reader_init(&reader, blob, size, 0);
    while (vantrel_reader_next(&reader, &tag) > 0)
        ++count;
    return count;
}

/* A status record in the caller's buffer, of the settings' own tags; its
 * size, or 0 when it does not fit. */
uint32_t status_build(uint8_t *buffer, uint32_t size, uint64_t period_ms, const char *model, uint32_t model_length,
                      const uint8_t *calibration)
{
    vantrel_state s;
    if (vantrel_init(&s, buffer, size, 8) != 0 || vantrel_add_integer(&s, period_ms, device_settings_ID_period_ms) != 0 ||
        vantrel_add_string(&s, model, model_length, device_settings_ID_model) != 0 ||
        vantrel_add_data_block(&s, calibration, device_settings_MAX_calibration, device_settings_TYPE_calibration,
                               device_settings_ID_calibration) != 0)
        return 0;
    vantrel_end(&s);
    return vantrel_get_used_size(&s);
}

/* Builds a status record and reads it back: 0 when everything agrees. */
int firmware_main(void)
{
    static uint8_t buffer[128];
    static const char model[] = "ready";
    static const uint8_t calibration[device_settings_MAX_calibration] = {0xF6, 0xFF, 4, 0, 0, 0, 0xFE, 0xFF, 10};
    struct settings s;
    uint32_t i, size = status_build(buffer, sizeof buffer, 250, model, 5, calibration);
    if (size == 0 || settings_load(buffer, size, &s) != 0 || count_tags(buffer, size) != 5 || s.period_ms != 250 ||
        s.model_length != 5 || s.calibration_size != sizeof calibration)
        return 1;
    for (i = 0; i < 5; ++i)
        if (s.model[i] != model[i])
            return 1;
    for (i = 0; i < sizeof calibration; ++i)
        if (((const uint8_t *)s.calibration)[i] != calibration[i])
            return 1;
    return 0;
}
