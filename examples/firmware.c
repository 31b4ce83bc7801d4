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
 * that is not well formed, or 100 plus a look-up result. */
int settings_load(const void *blob, size_t size, struct settings *out)
{
    int found, fault = vantrel_check(blob, size, NULL, NULL);
    if (fault != 0)
        return fault;
    found = vantrel_checked_get_integer(blob, size, SETTING_INTERVAL, &out->interval);
    if (found == VANTREL_OK)
        found = vantrel_checked_get_string(blob, size, SETTING_MODEL, &out->model, &out->model_length);
    if (found == VANTREL_OK)
        found = vantrel_checked_get_data(blob, size, SETTING_TABLE, &out->table, &out->table_size, NULL);
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

/* A status record in the caller's buffer; its size, or 0 when it does not
 * fit. */
uint32_t status_build(uint8_t *buffer, uint32_t size, uint64_t uptime, const char *state, uint32_t state_length)
{
    vantrel_state s;
    if (vantrel_init(&s, buffer, size, 8) != 0 || vantrel_add_integer(&s, uptime, SETTING_INTERVAL) != 0 ||
        vantrel_add_string(&s, state, state_length, SETTING_MODEL) != 0 ||
        vantrel_add_data_block(&s, state, state_length, 7, SETTING_TABLE) != 0)
        return 0;
    vantrel_end(&s);
    return vantrel_get_used_size(&s);
}

/* Builds a status record and reads it back: 0 when everything agrees. */
int firmware_main(void)
{
    static uint8_t buffer[128];
    static const char state[] = "ready";
    struct settings s;
    uint32_t i, size = status_build(buffer, sizeof buffer, 86400, state, 5);
    if (size == 0 || settings_load(buffer, size, &s) != 0 || count_tags(buffer, size) != 5 ||
        s.interval != 86400 || s.model_length != 5 || s.table_size != 5)
        return 1;
    for (i = 0; i < 5; ++i)
        if (s.model[i] != state[i] || ((const uint8_t *)s.table)[i] != (uint8_t)state[i])
            return 1;
    return 0;
}
