/* Built against an installed vantrel through pkg-config. */
#include <stdio.h>
#include <string.h>

#include <vantrel.h>

int main(void)
{
    unsigned char buffer[64];
    vantrel_state state;
    if (vantrel_init(&state, buffer, sizeof buffer, 8) != 0 || vantrel_add_integer(&state, 42, 1) != 0)
        return 1;
    vantrel_end(&state);
    printf("pkg-config consumer: %u bytes, libvantrel %s\n", (unsigned)vantrel_get_used_size(&state),
           vantrel_version());
    return vantrel_get_used_size(&state) == 48 ? 0 : 1;
}
