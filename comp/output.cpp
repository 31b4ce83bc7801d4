// Replacing the output file only with a whole blob: a temporary file beside
// it, renamed over it once written, synced and closed.
#include "output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

const char TEMP_SUFFIX[] = ".tmp.XXXXXX";

bool is_separator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

// The length of path's folder part, its last separator included; 0 when the
// path names a file in the current folder.
size_t folder_length(const char *path)
{
    size_t length = 0;
    for (size_t i = 0; path[i] != '\0'; ++i)
        if (is_separator(path[i]))
            length = i + 1;
    return length;
}

// The first `length` bytes of head followed by tail, in a new allocation.
char *joined(const char *head, size_t length, const char *tail)
{
    size_t tail_length = std::strlen(tail);
    char *text = static_cast<char *>(std::malloc(length + tail_length + 1));
    if (text != nullptr) {
        std::memcpy(text, head, length);
        std::memcpy(text + length, tail, tail_length + 1);
    }
    return text;
}

// Writes, flushes, syncs when asked, and closes the stream whatever
// happened; the first failure's error number counts.
int write_and_close(FILE *stream, output_writer write, const void *arg, bool sync)
{
    int error = 0;
    errno = 0;
    if (write(stream, arg) != 0 || std::fflush(stream) != 0)
        error = errno != 0 ? errno : EIO; // a short write need not set errno
#ifdef _WIN32
    else if (sync && _commit(_fileno(stream)) != 0)
        error = errno;
#else
    else if (sync && fsync(fileno(stream)) != 0)
        error = errno;
#endif
    errno = 0;
    if (std::fclose(stream) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    return error;
}

int open_directly(comp_output *out, const char *name)
{
    out->stream = std::fopen(name, "wb");
    return out->stream == nullptr ? errno : 0;
}

#ifdef _WIN32

// NUL, CON and the other device names stand in every folder, whatever the
// extension, and stat does not report them as devices.
bool is_device(const char *name)
{
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool device = GetFileType(handle) != FILE_TYPE_DISK;
    CloseHandle(handle);
    return device;
}

// Windows: no symlinks are followed; the name is the file to replace.
int find_target(const char *name, comp_output *out, bool *direct)
{
    *direct = false;
    out->target = joined(name, std::strlen(name), "");
    return out->target == nullptr ? ENOMEM : 0;
}

int new_file_mode()
{
    return _S_IREAD | _S_IWRITE;
}

int create_temp(comp_output *out)
{
    if (_mktemp_s(out->temp_name, std::strlen(out->temp_name) + 1) != 0)
        return EEXIST;
    int fd = _open(out->temp_name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return errno;
    out->temp_exists = true;
    out->stream = _fdopen(fd, "wb");
    if (out->stream == nullptr) {
        int error = errno;
        _close(fd);
        return error;
    }
    return 0;
}

// The replace-existing form is the one that swaps the file in one step;
// removing the old file first would leave a moment with no output at all.
int replace_target(const comp_output *out)
{
    if (MoveFileExA(out->temp_name, out->target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

#else

// stat tells devices from files.
bool is_device(const char *)
{
    return false;
}

// Names under /proc and /dev/fd (where /dev/stdout leads) are links to an
// open descriptor of this process: the blob belongs wherever that
// descriptor writes, not in a new file that the link happens to name.
bool names_descriptor(const char *path)
{
    return std::strncmp(path, "/proc/", 6) == 0 || std::strncmp(path, "/dev/fd/", 8) == 0;
}

// Follows symlinks from name to the file they end at, which need not exist
// (a dangling link's target is created on success).  Sets *direct instead
// when the way passes a descriptor link.
int find_target(const char *name, comp_output *out, bool *direct)
{
    const int max_links = 40; // the kernel's own limit for one path
    char *path = joined(name, std::strlen(name), "");
    for (int links = 0; path != nullptr; ++links) {
        if (names_descriptor(path)) {
            std::free(path);
            *direct = true;
            return 0;
        }
        char link[4096];
        ssize_t length = readlink(path, link, sizeof link);
        if (length < 0) {
            int error = errno;
            if (error == EINVAL || error == ENOENT) { // not a link, or nothing there
                out->target = path;
                return 0;
            }
            std::free(path);
            return error;
        }
        if (links == max_links || static_cast<size_t>(length) == sizeof link) {
            std::free(path);
            return links == max_links ? ELOOP : ENAMETOOLONG;
        }
        link[length] = '\0';
        // A relative link is read from the folder the link stands in.
        char *next = link[0] == '/' ? joined(link, static_cast<size_t>(length), "")
                                    : joined(path, folder_length(path), link);
        std::free(path);
        path = next;
    }
    return ENOMEM;
}

// What "wb" gives a new file.  The mask can only be read by setting it, so
// it is put back at once; the program has one thread.
int new_file_mode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int create_temp(comp_output *out)
{
    // mkstemp makes the file for this user alone until it is complete.
    int fd = mkstemp(out->temp_name);
    if (fd < 0)
        return errno;
    out->temp_exists = true;
    // The replaced file's owner and group stay where the user may give them
    // (root may give both, others their own groups); otherwise the file is
    // the user's, as any new file is.
    if (out->keep_owner && fchown(fd, static_cast<uid_t>(out->owner), static_cast<gid_t>(out->group)) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(out->group)) != 0) {
        // neither is allowed: the user's own group stays
    }
    int error = 0;
    if (fchmod(fd, static_cast<mode_t>(out->mode)) != 0)
        error = errno;
    else if ((out->stream = fdopen(fd, "wb")) == nullptr)
        error = errno;
    if (error != 0)
        close(fd);
    return error;
}

int replace_target(const comp_output *out)
{
    return std::rename(out->temp_name, out->target) != 0 ? errno : 0;
}

#endif

// The same check as opening with "wb", but the file is not emptied.
int check_writable(const char *path)
{
#ifdef _WIN32
    int fd = _open(path, _O_WRONLY | _O_BINARY);
#else
    int fd = open(path, O_WRONLY | O_NOCTTY);
#endif
    if (fd < 0)
        return errno;
    close(fd);
    return 0;
}

// 0 when a file can be created in the folder of path, otherwise the error
// number that creating it would give.  "folder/." also fails, as creating
// would, when "folder" is no folder.
int folder_writable(const char *path)
{
    char *folder = joined(path, folder_length(path), ".");
    if (folder == nullptr)
        return ENOMEM;
#ifdef _WIN32
    int error = _access(folder, 2) == 0 ? 0 : errno;
#else
    int error = access(folder, W_OK) == 0 ? 0 : errno;
#endif
    std::free(folder);
    return error;
}

} // namespace

int output_prepare(comp_output *out, const char *name)
{
    size_t length = std::strlen(name);
    struct stat info;
    bool exists = stat(name, &info) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    // Devices, FIFOs and folders ("wb" refuses those), and names that can
    // only be folders, are opened as they are.
    bool direct = (exists && !S_ISREG(info.st_mode)) || length == 0 || is_separator(name[length - 1]) ||
                  is_device(name);
    if (!direct) {
        int error = find_target(name, out, &direct);
        if (error != 0)
            return error;
    }
    if (direct)
        return open_directly(out, name);
    int folder_error = folder_writable(out->target);
    if (exists) {
        int error = check_writable(out->target);
        if (error != 0)
            return error;
        // A file the user may write in a folder the user may not: only the
        // file itself can take the blob.
        out->in_place = folder_error != 0;
        out->keep_owner = true;
        out->mode = info.st_mode & 0777;
        out->owner = static_cast<unsigned>(info.st_uid);
        out->group = static_cast<unsigned>(info.st_gid);
    } else {
        if (folder_error != 0)
            return folder_error;
        out->mode = static_cast<unsigned>(new_file_mode());
    }
    out->temp_name = joined(out->target, std::strlen(out->target), TEMP_SUFFIX);
    return out->temp_name == nullptr ? ENOMEM : 0;
}

int output_commit(comp_output *out, output_writer write, const void *arg)
{
    if (out->stream == nullptr) {
        int error = out->in_place ? open_directly(out, out->target) : create_temp(out);
        if (error != 0)
            return error;
    }
    FILE *stream = out->stream;
    out->stream = nullptr; // closed below whatever happens
    int error = write_and_close(stream, write, arg, out->temp_exists);
    if (error == 0 && out->temp_exists) {
        error = replace_target(out);
        if (error == 0)
            out->temp_exists = false;
    }
    return error;
}

void output_release(comp_output *out)
{
    if (out->stream != nullptr)
        std::fclose(out->stream);
    if (out->temp_exists)
        std::remove(out->temp_name);
    std::free(out->target);
    std::free(out->temp_name);
    *out = comp_output{};
}
