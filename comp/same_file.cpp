// File identity: device and inode numbers on POSIX systems; on Windows,
// whose C runtime leaves st_ino at 0, the volume serial number and the file
// index that the file system keeps for every file.
#include "same_file.h"

#ifdef _WIN32
#include <windows.h>

namespace {

bool identify(const char *name, BY_HANDLE_FILE_INFORMATION *info)
{
    // No access rights are needed to read a file's identity, and sharing
    // everything keeps it from disturbing handles that are already open.
    // Backup semantics lets a folder be opened too.
    HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

} // namespace

int same_file(const char *a, const char *b)
{
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!identify(a, &ia) || !identify(b, &ib))
        return 0;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

#else
#include <sys/stat.h>

int same_file(const char *a, const char *b)
{
    struct stat sa, sb;
    if (stat(a, &sa) != 0 || stat(b, &sb) != 0)
        return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

#endif
