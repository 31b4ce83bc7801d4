// Built against an installed vantrel through find_package(vantrel).
#include <cstdio>
#include <vantrel.h>

int main()
{
    unsigned char buffer[64];
    vantrel_state state;
    if (vantrel_init(&state, buffer, sizeof buffer, 8) != 0 || vantrel_add_string(&state, "hi", 2, 1) != 0)
        return 1;
    vantrel_end(&state);
    std::printf("find_package consumer: %u bytes, libvantrel %s\n",
                static_cast<unsigned>(vantrel_get_used_size(&state)), vantrel_version());
    return vantrel_get_used_size(&state) == 48 ? 0 : 1;
}
