#include "vantrel.h"

extern "C" const char *vantrel_version(void)
{
    return "0.2.14";
}
