// Replacing the output file only with a whole blob: a temporary file in its
// folder, renamed over it once written and closed.
#include "output.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Short whatever the output is called: "<output>.tmp.XXXXXX" would pass the
// name limit (255 bytes on most file systems) for long output names.
const char TEMP_NAME[] = "vantrel-comp.tmp.XXXXXX";

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

// Writes, flushes and closes the stream whatever happened; the first
// failure's error number counts.
int write_and_close(FILE *stream, output_writer write, const void *arg)
{
    int error = 0;
    errno = 0;
    if (write(stream, arg) != 0 || std::fflush(stream) != 0)
        error = errno != 0 ? errno : EIO; // a short write need not set errno
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

// Opens the existing target for rewriting or appending to, not emptied:
// a rewrite keeps the old bytes until there is room for the new ones.
// Without O_CREAT: creating is what the folder forbids, and in a sticky
// folder even an open that could create may be refused (protected_regular).
int open_existing(comp_output *out)
{
#ifdef _WIN32
    int fd = _open(out->target, _O_WRONLY | _O_BINARY | (out->append ? _O_APPEND : 0));
#else
    int fd = open(out->target, O_WRONLY | O_NOCTTY | (out->append ? O_APPEND : 0));
#endif
    if (fd < 0)
        return errno;
#ifdef _WIN32
    out->stream = _fdopen(fd, "wb");
#else
    out->stream = fdopen(fd, "wb");
#endif
    if (out->stream == nullptr) {
        int error = errno;
        close(fd);
        return error;
    }
    return 0;
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

// Windows: no symlinks are followed and no name stands for a descriptor;
// the name is the file to replace.
int find_target(const char *name, comp_output *out, bool *settled)
{
    *settled = false;
    out->target = joined(name, std::strlen(name), "");
    return out->target == nullptr ? ENOMEM : 0;
}

bool names_closed_descriptor(const char *)
{
    return false;
}

// No sticky folders: a writable folder lets its files be replaced.
bool may_replace(const char *, const struct stat &)
{
    return true;
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
    if (MoveFileExA(out->temp_name, out->target, MOVEFILE_REPLACE_EXISTING))
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

// Nothing here reserves room without also changing the file: a rewrite goes
// ahead unreserved.
int reserve(int, uint64_t)
{
    return 0;
}

int cut_at_position(FILE *stream)
{
    __int64 end = _ftelli64(stream);
    return end < 0 ? errno : _chsize_s(_fileno(stream), end);
}

#else

// stat tells devices from files.
bool is_device(const char *)
{
    return false;
}

// Skips `word` at *p; false, moving nothing, when it is not there.
bool skip(const char **p, const char *word)
{
    size_t length = std::strlen(word);
    if (std::strncmp(*p, word, length) != 0)
        return false;
    *p += length;
    return true;
}

// The decimal number at *p, moved past it; -1 when there is none or it
// is too long to be a process or descriptor number.
long skip_number(const char **p)
{
    long value = 0;
    int digits = 0;
    for (; **p >= '0' && **p <= '9'; ++*p) {
        if (++digits > 9)
            return -1;
        value = value * 10 + (**p - '0');
    }
    return digits == 0 ? -1 : value;
}

// The process or thread number at *p and the "/" after it, moved past
// both; -1 when they are not there.
long skip_number_folder(const char **p)
{
    long number = skip_number(p);
    return number >= 0 && skip(p, "/") ? number : -1;
}

// The descriptor that path names, or -1: "/dev/fd/N", "/proc/P/fd/N" (where
// /dev/stdout and /dev/stderr lead) and "/proc/P/task/T/fd/N", P being
// "self", "thread-self" or a process number, T a thread number.  *own tells
// whether it is this process's: the program has one thread, whose number
// is the process's.  Every other path, under /proc too, leads to an
// ordinary file or folder.
long descriptor_number(const char *path, bool *own)
{
    const char *p = path;
    *own = true;
    if (!skip(&p, "/dev/fd/")) {
        if (!skip(&p, "/proc/"))
            return -1;
        const bool thread_folder = skip(&p, "thread-self/");
        if (!thread_folder && !skip(&p, "self/")) {
            long process = skip_number_folder(&p);
            if (process < 0)
                return -1;
            *own = process == getpid();
        }
        if (!thread_folder && skip(&p, "task/")) {
            long thread = skip_number_folder(&p);
            if (thread < 0)
                return -1;
            *own = *own && thread == getpid();
        }
        if (!skip(&p, "fd/"))
            return -1;
    }
    long number = skip_number(&p);
    return *p == '\0' ? number : -1;
}

// The blob goes through this process's descriptor itself, not through a
// new open of the file behind it ("wb" would empty what a shell opened
// with >>): a copy of the descriptor shares its offset and its append flag,
// and fdopen empties nothing.
int open_descriptor(comp_output *out, long number)
{
    int flags = fcntl(static_cast<int>(number), F_GETFL);
    if (flags < 0)
        return errno;
    if ((flags & O_ACCMODE) == O_RDONLY)
        return EBADF; // what writing to it would say
    int fd = fcntl(static_cast<int>(number), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    out->stream = fdopen(fd, "wb");
    if (out->stream == nullptr) {
        int error = errno;
        close(fd);
        return error;
    }
    return 0;
}

// Follows symlinks from name until a descriptor name (*number is its
// descriptor) or a name that is no link, which need not exist (*number is
// -1; a dangling link's target is created on success).  *reached is that
// name, allocated, when it returns 0.
int follow_links(const char *name, char **reached, long *number, bool *own)
{
    const int max_links = 40; // the kernel's own limit for one path
    char *path = joined(name, std::strlen(name), "");
    for (int links = 0; path != nullptr; ++links) {
        *number = descriptor_number(path, own);
        if (*number >= 0) {
            *reached = path;
            return 0;
        }
        char link[4096];
        ssize_t length = readlink(path, link, sizeof link);
        if (length < 0) {
            int error = errno;
            if (error == EINVAL || error == ENOENT) { // not a link, or nothing there
                *reached = path;
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

// The file that name ends at.  A descriptor name on the way settles the
// output at once (*settled): this process's descriptor is taken as it is;
// another process's cannot be shared, so its name is opened once the blob
// is whole, appending, so that nothing it holds is lost.
int find_target(const char *name, comp_output *out, bool *settled)
{
    *settled = false;
    char *path = nullptr;
    long number = -1;
    bool own = false;
    int error = follow_links(name, &path, &number, &own);
    if (error != 0 || number < 0) {
        out->target = path;
        return error;
    }
    *settled = true;
    if (own) {
        std::free(path);
        return open_descriptor(out, number);
    }
    out->target = path;
    out->in_place = true;
    out->append = true;
    return check_writable(path);
}

bool names_closed_descriptor(const char *name)
{
    char *path = nullptr;
    long number = -1;
    bool own = false;
    bool closed = follow_links(name, &path, &number, &own) == 0 && number >= 0 && own &&
                  fcntl(static_cast<int>(number), F_GETFD) < 0 && errno == EBADF;
    std::free(path);
    return closed;
}

// In a sticky folder (/tmp, say) only the file's owner, the folder's owner
// and root may rename over a file, however writable the folder is.
bool may_replace(const char *target, const struct stat &file)
{
    char *folder = joined(target, folder_length(target), ".");
    struct stat info {};
    bool sticky = folder != nullptr && stat(folder, &info) == 0 && (info.st_mode & S_ISVTX) != 0;
    std::free(folder);
    uid_t user = geteuid();
    return !sticky || user == 0 || user == file.st_uid || user == info.st_uid;
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

// Reserves the first `size` bytes of the file for the rewrite, so that
// running out of space or into the file size limit is found before the
// first old byte is overwritten.  The limit is asked for itself: it stops
// writes past it even in a file that is already longer, where reserving
// finds the room taken.  A reservation that failed part-way may have
// lengthened the file: it gets its old length back.  Where the file system
// reserves nothing, the rewrite goes ahead unreserved.
int reserve(int fd, uint64_t size)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur)
        return EFBIG;
    struct stat before;
    if (fstat(fd, &before) != 0)
        return errno;
    if (size == 0)
        return 0;
    if (size > static_cast<uint64_t>(std::numeric_limits<off_t>::max()))
        return EFBIG;
    int error = posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (error == EOPNOTSUPP || error == EINVAL)
        return 0;
    struct stat after;
    if (error != 0 && fstat(fd, &after) == 0 && after.st_size != before.st_size &&
        ftruncate(fd, before.st_size) != 0) {
        // Only zeros beyond the old end stay; the old bytes are whole.
    }
    return error;
}

// Cuts the file at the stream's position: the new bytes end there, and the
// old output may have been longer.
int cut_at_position(FILE *stream)
{
    off_t end = ftello(stream);
    return end < 0 || ftruncate(fileno(stream), end) != 0 ? errno : 0;
}

#endif

// Rewrites the target, opened and not emptied, in place: the old bytes are
// touched only once the file has room for the new ones, and a failed
// reservation refuses with the old output whole.  A failure after the first
// write leaves the old output damaged (*damaged), which the message must say.
int rewrite_in_place(FILE *stream, output_writer write, const void *arg, uint64_t size, bool *damaged)
{
    int error = reserve(fileno(stream), size);
    if (error != 0) {
        std::fclose(stream);
        return error;
    }
    errno = 0;
    if (write(stream, arg) != 0 || std::fflush(stream) != 0)
        error = errno != 0 ? errno : EIO;
    else
        error = cut_at_position(stream);
    errno = 0;
    if (std::fclose(stream) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    *damaged = error != 0;
    return error;
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

bool output_names_closed_descriptor(const char *name)
{
    return names_closed_descriptor(name);
}

int output_prepare(comp_output *out, const char *name)
{
    size_t length = std::strlen(name);
    // Names that can only be folders, and the devices Windows keeps in every
    // folder, are opened as they are ("wb" refuses folders).
    if (length == 0 || is_separator(name[length - 1]) || is_device(name))
        return open_directly(out, name);
    bool settled = false;
    int error = find_target(name, out, &settled);
    if (error != 0 || settled)
        return error;
    struct stat info;
    bool exists = stat(out->target, &info) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    // Devices, FIFOs and folders are opened as they are.
    if (exists && !S_ISREG(info.st_mode))
        return open_directly(out, name);
    int folder_error = folder_writable(out->target);
    if (exists) {
        error = check_writable(out->target);
        if (error != 0)
            return error;
        // A file the user may write but not replace: only the file itself
        // can take the blob.
        out->in_place = folder_error != 0 || !may_replace(out->target, info);
        out->keep_owner = true;
        out->mode = info.st_mode & 0777;
        out->owner = static_cast<unsigned>(info.st_uid);
        out->group = static_cast<unsigned>(info.st_gid);
    } else {
        if (folder_error != 0)
            return folder_error;
        out->mode = static_cast<unsigned>(new_file_mode());
    }
    if (out->in_place)
        return 0;
    out->temp_name = joined(out->target, folder_length(out->target), TEMP_NAME);
    return out->temp_name == nullptr ? ENOMEM : 0;
}

namespace {

int commit(comp_output *out, output_writer write, const void *arg, uint64_t size)
{
    if (out->stream == nullptr) {
        int error = out->in_place ? open_existing(out) : create_temp(out);
        if (error != 0)
            return error;
    }
    FILE *stream = out->stream;
    out->stream = nullptr; // closed below whatever happens
    if (out->in_place && !out->append)
        return rewrite_in_place(stream, write, arg, size, &out->damaged);
    int error = write_and_close(stream, write, arg);
    if (error == 0 && out->temp_exists) {
        error = replace_target(out);
        if (error == 0)
            out->temp_exists = false;
    }
    return error;
}

} // namespace

int output_commit(comp_output *out, output_writer write, const void *arg, uint64_t size)
{
#ifdef SIGXFSZ
    // Past the file size limit a write then fails with EFBIG, reported and
    // cleaned up as any failure, instead of ending the program with half an
    // output (or the temporary file) left behind.
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
#endif
    int error = commit(out, write, arg, size);
#ifdef SIGXFSZ
    if (previous != SIG_ERR)
        std::signal(SIGXFSZ, previous);
#endif
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
