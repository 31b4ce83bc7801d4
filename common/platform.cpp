// The stream questions and raw reads (platform.h).
#include "platform.h"

#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

bool stream_is_terminal(FILE *stream) { return _isatty(_fileno(stream)) != 0; }

// A directory cannot be opened as a stream there.
bool stream_is_directory(FILE *) { return false; }

// Pipes and consoles answer a seek with nonsense rather than an error.
bool stream_can_seek(FILE *stream)
{
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}

size_t stream_read(FILE *stream, void *into, size_t n)
{
    // _read counts in int.
    auto count = static_cast<unsigned>(n < static_cast<size_t>(INT_MAX) ? n : static_cast<size_t>(INT_MAX));
    int got = _read(_fileno(stream), into, count);
    return got > 0 ? static_cast<size_t>(got) : 0;
}

int stream_seek(FILE *stream, uint64_t offset)
{
    return offset <= static_cast<uint64_t>(INT64_MAX) && _lseeki64(_fileno(stream), static_cast<__int64>(offset), SEEK_SET) >= 0 ? 0 : 1;
}


// Read as a stream there.
const uint8_t *stream_map(FILE *, size_t *) { return nullptr; }
void stream_unmap(const uint8_t *, size_t) {}
#else
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool stream_is_terminal(FILE *stream) { return isatty(fileno(stream)) != 0; }

bool stream_is_directory(FILE *stream)
{
    struct stat status;
    return fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode);
}

bool stream_can_seek(FILE *stream) { return lseek(fileno(stream), 0, SEEK_CUR) >= 0; }

size_t stream_read(FILE *stream, void *into, size_t n)
{
    // Large counts are cut to what every system reads in one call.
    size_t count = n < (size_t{1} << 30) ? n : size_t{1} << 30;
    for (;;) {
        ssize_t got = read(fileno(stream), into, count);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR)
            return 0;
    }
}

int stream_seek(FILE *stream, uint64_t offset)
{
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return 1;
    return lseek(fileno(stream), static_cast<off_t>(offset), SEEK_SET) >= 0 ? 0 : 1;
}

const uint8_t *stream_map(FILE *stream, size_t *size)
{
    struct stat status;
    if (fstat(fileno(stream), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
        static_cast<uint64_t>(status.st_size) > SIZE_MAX)
        return nullptr;
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    // All of it is read: one call maps every page instead of one fault each.
    flags |= MAP_POPULATE;
#endif
    auto length = static_cast<size_t>(status.st_size);
    void *bytes = mmap(nullptr, length, PROT_READ, flags, fileno(stream), 0);
    if (bytes == MAP_FAILED)
        return nullptr;
    *size = length;
    return static_cast<const uint8_t *>(bytes);
}

void stream_unmap(const uint8_t *bytes, size_t size) { munmap(const_cast<uint8_t *>(bytes), size); }
#endif
