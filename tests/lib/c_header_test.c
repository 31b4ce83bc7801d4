/* A C99 caller: builds the 72-byte example blob and walks it. */
#include <stdio.h>
#include <string.h>

#include "vantrel.h"
#include "vantrel_version.h"

int main(void)
{
    unsigned char buffer[128];
    vantrel_state state;
    vantrel_scatter empty[1] = {{NULL, 0}};
    const void *tag;
    unsigned count = 0;

    if (vantrel_init(&state, buffer, sizeof buffer, 8) != 0)
        return 1;
    if (vantrel_add_string(&state, "abc", 3, 1) != 0)
        return 1;
    if (vantrel_add_integer(&state, 5, 2) != 0)
        return 1;
    if (vantrel_add_scatter_data_block(&state, empty, 7, 3) != 0)
        return 1;
    vantrel_end(&state);
    if (vantrel_get_used_size(&state) != 72)
        return 1;
    for (tag = buffer; tag != NULL; tag = vantrel_next_tag(tag))
        ++count;
    if (count != 4 || strcmp(vantrel_version(), VANTREL_VERSION_STRING) != 0)
        return 1;
    printf("c header ok\n");
    return 0;
}
