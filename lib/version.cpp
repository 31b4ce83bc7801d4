#include "vantrel.h"
#include "vantrel_version.h"

extern "C" const char *vantrel_version(void)
{
    return VANTREL_VERSION_STRING;
}
