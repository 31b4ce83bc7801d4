// The compiler's output file: a regular file is replaced only by a whole
// blob, so that a failed run leaves an existing output exactly as it was.
//
// A regular output (or a new one) is written to a temporary file in its
// folder, named "vantrel-comp.tmp.XXXXXX" (short, so that it fits wherever
// the output's own name does), which is flushed, closed and then renamed
// over the output.  It is not synced: as with the outputs of compilers and
// linkers, the system writes it to the disk in its own time.  A symlink is
// followed to the file it names, so the link stays and its target is
// replaced.  A file that may be written but not replaced (its folder is not
// writable, or sticky and someone else's) is rewritten in place once the
// blob is whole, after room for the blob has been reserved: running out of
// space or into the file size limit then refuses with the old file whole.
// Only a write that fails all the same (where the file system reserves
// nothing, or on a fault of the disk) damages it, and the message says so.
// Devices, FIFOs and the like are opened at start-up and written directly.
// A descriptor name (/dev/stdout, /dev/fd/N, /proc/self/fd/N,
// /proc/self/task/T/fd/N) is this process's descriptor itself: the blob is
// written through it, at its offset or appended as it was opened; another
// process's descriptor is opened by its name, appending.
//
// Each function returns 0 or the error number of the call that failed; the
// caller prints the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct comp_output {
    FILE *stream;      // opened at start-up (a device, a descriptor), or the file being written
    char *target;      // the regular file to replace (symlinks followed) or to rewrite, or null
    char *temp_name;   // the temporary file's name; a file of that name exists while temp_exists
    bool temp_exists;
    bool in_place;     // the target itself is rewritten, not replaced
    bool append;       // in place, appending instead of rewriting it
    bool damaged;      // a failed in-place rewrite overwrote old bytes
    bool keep_owner;   // the target exists: the new file takes its owner and group
    unsigned mode;     // permission bits of the new file
    unsigned owner;
    unsigned group;
};

// Start-up, before the source is read: finds out how the output will be
// written and whether it may be, touching no file.  The error numbers are
// those that opening the output with "wb" would give.
int output_prepare(comp_output *out, const char *name);

// Whether name (through its symlinks) is one of this process's descriptors
// and that descriptor is closed.  Asked before the source is opened, which
// would take the lowest free number and so could make the name its own.
bool output_names_closed_descriptor(const char *name);

// Writes the whole output to `stream`; returns 0, or -1 when a write
// failed (errno tells why, when it can).
using output_writer = int (*)(FILE *stream, const void *arg);

// Puts what `write` writes in place as the whole output, every step
// checked; `size` is how many bytes it writes (an in-place rewrite reserves
// them first).  After a failure, out->damaged tells whether the old output
// was damaged.
int output_commit(comp_output *out, output_writer write, const void *arg, uint64_t size);

// Closes what is open, removes a temporary file that was not renamed and
// frees the names; safe on every path.
void output_release(comp_output *out);
