// Built against an installed vantrel through find_package(vantrel): the C
// header and the C++ layer both come from the package.
#include <cstdio>
#include <span>
#include <string>
#include <vantrel.h>
#include <vantrel.hpp>

int main()
{
    unsigned char buffer[64];
    vantrel_state state;
    if (vantrel_init(&state, buffer, sizeof buffer, 8) != 0 || vantrel_add_string(&state, "hi", 2, 1) != 0)
        return 1;
    vantrel_end(&state);
    uint32_t used = vantrel_get_used_size(&state);
    vantrel::reader blob(std::as_bytes(std::span(buffer, used)));
    auto text = blob.get_string(1);
    std::printf("find_package consumer: %u bytes, libvantrel %s, string %s\n", static_cast<unsigned>(used),
                vantrel_version(), text ? std::string(*text).c_str() : "missing");
    return used == 48 && text && *text == "hi" ? 0 : 1;
}
