// The compiler's output file: a regular file is replaced only by a whole
// blob, so that a failed run leaves an existing output exactly as it was.
//
// A regular output (or a new one) is written to a temporary file beside it,
// named "<output>.tmp.XXXXXX", which is flushed, synced, closed and then
// renamed over the output.  A symlink is followed to the file it names, so
// the link stays and its target is replaced.  Devices, FIFOs and the like
// are opened at start-up and written directly.
//
// Each function returns 0 or the error number of the call that failed; the
// caller prints the message.
#pragma once

#include <cstddef>
#include <cstdio>

struct comp_output {
    FILE *stream;      // the device opened at start-up, or the file being written
    char *target;      // the regular file to replace (symlinks followed), or null
    char *temp_name;   // "<target>.tmp.XXXXXX"; a file of that name exists while temp_exists
    bool temp_exists;
    bool in_place;     // the target's folder is not writable: the file itself is rewritten
    bool keep_owner;   // the target exists: the new file takes its owner and group
    unsigned mode;     // permission bits of the new file
    unsigned owner;
    unsigned group;
};

// Start-up, before the source is read: finds out how the output will be
// written and whether it may be, touching no file.  The error numbers are
// those that opening the output with "wb" would give.
int output_prepare(comp_output *out, const char *name);

// Writes the whole output to `stream`; returns 0, or -1 when a write
// failed (errno tells why, when it can).
using output_writer = int (*)(FILE *stream, const void *arg);

// Puts what `write` writes in place as the whole output, every step checked.
int output_commit(comp_output *out, output_writer write, const void *arg);

// Closes what is open, removes a temporary file that was not renamed and
// frees the names; safe on every path.
void output_release(comp_output *out);
