/* Blobs in firmware: settings read at boot from a blob in flash, and a
 * status record built on the device.  Freestanding C99: no heap, no I/O,
 * nothing from a C library but memcpy and memset.
 *
 * VANTREL_MAX_DEPTH bounds how deep the reader follows nested blocks, and
 * with it the stack a check takes: 4 bytes a level.  At 16 levels the
 * settings' load, check and all, stays within 512 bytes of stack on a
 * Cortex-M0; deeper blobs fail with VANTREL_E_TOO_DEEP. */
#include "vantrel.h" /* the builder */
/* The reader, with the bound; any other inclusion of it in this file must
 * see the same bound, or the file does not compile. */
#define VANTREL_MAX_DEPTH 16u
#include "vantrel_reader.h"
/* The settings' struct and their loader, generated from the schema. */
#include "device_settings.h"

#include "firmware.h"

/* The generated loader, out of line so that the image holds it once: the
 * blob's format and its schema checked and the struct filled in one walk.
 * 0, a fault code (VANTREL_E_*) for a blob that is not well formed, or a
 * schema fault code (VANTREL_SF_*), with *fault_offset where vantrel-dump
 * --schema reports it. */
int settings_load(const void *blob, size_t size, struct device_settings *out, uint32_t *fault_offset)
{
    return device_settings_load(blob, size, out, fault_offset);
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

/* A status record in the caller's buffer: the settings' required tags, in
 * the order of the schema.  Its size, or 0 when it does not fit. */
uint32_t status_build(uint8_t *buffer, uint32_t size, const struct device_settings *s)
{
    vantrel_state b;
    if (vantrel_init(&b, buffer, size, 8) != 0 ||
        vantrel_add_string(&b, s->model, s->model_length, device_settings_ID_model) != 0 ||
        vantrel_add_integer(&b, s->interface, device_settings_ID_interface) != 0 ||
        vantrel_add_integer(&b, s->made_on, device_settings_ID_made_on) != 0 ||
        vantrel_add_integer(&b, s->period_ms, device_settings_ID_period_ms) != 0 ||
        vantrel_add_integer(&b, s->channels, device_settings_ID_channels) != 0 ||
        vantrel_add_data_block(&b, s->calibration, s->calibration_size, device_settings_TYPE_calibration,
                               device_settings_ID_calibration) != 0)
        return 0;
    vantrel_end(&b);
    return vantrel_get_used_size(&b);
}

/* Builds a status record and loads it back: 0 when everything agrees, and
 * when a period out of the schema's range is refused at its tag. */
int firmware_main(void)
{
    static uint8_t buffer[256];
    static const char model[] = "ready";
    static const uint8_t calibration[device_settings_MAX_calibration] = {0xF6, 0xFF, 4, 0, 0, 0, 0xFE, 0xFF, 10};
    struct device_settings in, out;
    uint32_t i, size, at = 0;
    memset(&in, 0, sizeof in);
    in.model = model;
    in.model_length = 5;
    in.interface = 0x10004;
    in.made_on = 20261207;
    in.period_ms = 250;
    in.channels = 0xB;
    in.calibration = calibration;
    in.calibration_size = sizeof calibration;
    size = status_build(buffer, sizeof buffer, &in);
    if (size == 0 || settings_load(buffer, size, &out, NULL) != 0 || count_tags(buffer, size) != 8 ||
        out.period_ms != 250 || out.channels != 0xB || out.has_revision || out.model_length != 5 ||
        out.calibration_size != sizeof calibration)
        return 1;
    for (i = 0; i < 5; ++i)
        if (out.model[i] != model[i])
            return 1;
    for (i = 0; i < sizeof calibration; ++i)
        if (((const uint8_t *)out.calibration)[i] != calibration[i])
            return 1;
    /* The period is the fourth tag: after the start tag (16 bytes), the
     * model (24) and two integers (24 each). */
    in.period_ms = device_settings_MAX_period_ms + 1;
    size = status_build(buffer, sizeof buffer, &in);
    if (settings_load(buffer, size, &out, &at) != VANTREL_SF_RANGE || at != 88)
        return 1;
    return 0;
}
