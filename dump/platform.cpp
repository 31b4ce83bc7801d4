// stream_is_terminal and stream_is_directory (platform.h).
#include "platform.h"

#ifdef _WIN32
#include <io.h>

bool stream_is_terminal(FILE *stream) { return _isatty(_fileno(stream)) != 0; }

// A directory cannot be opened as a stream there.
bool stream_is_directory(FILE *) { return false; }

#else
#include <sys/stat.h>
#include <unistd.h>

bool stream_is_terminal(FILE *stream) { return isatty(fileno(stream)) != 0; }

bool stream_is_directory(FILE *stream)
{
    struct stat status;
    return fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode);
}
#endif
