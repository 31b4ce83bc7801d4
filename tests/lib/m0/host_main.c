/* The firmware example run on the build host (and under the sanitizers,
 * valgrind and the big-endian emulator): what it builds reads back. */
#include "firmware.h"

int main(void)
{
    return firmware_main();
}
