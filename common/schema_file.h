// --schema: the schema file that both programs read whole before anything
// else, with the library's reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vantrel_schema.h"

// A schema read from its file.  The declarations' names point into text;
// seen holds the checker's marks, vantrel_schema_seen_size bytes.
struct schema_file {
    char *text;
    vantrel_schema_decl *decls;
    uint8_t *seen;
    vantrel_schema schema;
};

// Reads the schema file `path` (`shown` as messages show it) into memory of
// its own.  0, or 1 after one diagnostic on the standard error stream:
// "PROG: cannot read schema 'SHOWN': ERROR", "PROG: could not allocate
// schema memory: ERROR" or, for a faulty text, "PROG: SHOWN:LINE: REASON";
// *file then holds nothing.
int schema_file_load(schema_file *file, const char *prog, const char *path, const char *shown);
void schema_file_release(schema_file *file);
