// vantrel-comp: compiles a line-oriented text source into one tag blob file.
//
// comp_main does the whole run and may be called many times in one process:
// all state lives in a comp_context on its stack, and every path releases
// what it acquired before returning the exit status (0 or 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "output.h"
#include "terminal_text.h"
#include "vantrel_schema.h"

extern const char comp_version[];

// One record per run.  The three areas share one work allocation starting at
// blob_buf.
struct comp_context {
    const char *prog_name;  // argv[0] as given; the first text of every message
    const char *in_name;    // the source name as given
    const char *out_name;   // the output name, given or derived
    shown_name in_shown;    // the two names as messages show them: control
    shown_name out_shown;   //   bytes as '?' when stderr is a terminal
    FILE *in_file;
    comp_output output;     // how the blob reaches out_name
    char *out_name_alloc;   // the derived output name's allocation, or null
    uint8_t *blob_buf;      // the blob is built here
    uint8_t *scratch_buf;   // decoded string and hex payloads
    char *line_buf;         // the current source line
    uint32_t blob_size;
    uint32_t scratch_size;
    uint32_t line_size;
    uint32_t alignment;     // requested from the library
    uint32_t line_no;       // physical line reads so far
    uint32_t depth;         // start tags currently open
    uint32_t starts;        // start tags begun so far
    const char *c_array_name; // --c-array: the output is C source defining this array
    const char *c_header_name; // --c-header: the output is the schema's C header, prefixed so
    const char *schema_name;  // --schema: the schema file as given, or null
    shown_name schema_shown;
    char *schema_text;        // the whole schema file; the declarations' names point into it
    vantrel_schema_decl *schema_decls;
    uint8_t *schema_seen;     // the checker's marks
    vantrel_schema schema;
    vantrel_schema_checker checker;
    uint32_t tag_line;        // the line of the tag being checked (a data block's first)
};

// Character classes of the source language, the same in every locale.
inline bool comp_is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool comp_is_graphic(char c) { return c > ' ' && c <= '~'; }

// "PROG: SOURCE:LINE: text", the form of every message about a source line.
void line_error(const comp_context *ctx, const char *text);

// The next line that is neither blank nor a comment, trimmed in place inside
// line_buf; null at the end of the input (a read error ends it too).
char *read_line(comp_context *ctx);

// The number at the start of text, in any of the source language's
// notations (decimal, 0x, 0b, 0o or a leading 0, '_' among the digits),
// ending at white space or the end of text.  On NUMBER_OK, *value holds it
// and *length counts the characters read; otherwise neither is written.
// Source lines and option values are read by this one function.
enum number_status { NUMBER_OK, NUMBER_MISSING, NUMBER_FORMAT, NUMBER_OVERFLOW };
number_status read_number(const char *text, uint64_t *value, size_t *length);

// Argument parsers.  Each prints its own diagnostic and reports failure by
// its result; on success the cursor moves past the argument and the white
// space behind it.  The integer parsers return 0 or 1; the byte parsers
// return the number of bytes stored into dest (at most capacity) or -1.
int parse64(const comp_context *ctx, uint64_t *result, char **cursor);
int parse32(const comp_context *ctx, uint32_t *result, char **cursor);
int32_t parse_str(const comp_context *ctx, char **cursor, uint8_t *dest, uint32_t capacity);
int32_t parse_hex(const comp_context *ctx, char **cursor, uint8_t *dest, uint32_t capacity);

// --c-array: writes C source that defines `name`, an array of unsigned char
// holding the blob's bytes and aligned to `alignment`, and `name`_size.
// Returns 0, or -1 when a write failed (errno tells why).
int write_c_array(FILE *out, const char *name, const uint8_t *blob, uint32_t size,
                  uint32_t alignment);

// The number of bytes write_c_array writes for these arguments; an output
// rewritten in place reserves them before the first is written.
uint64_t c_array_text_size(const char *name, uint32_t size, uint32_t alignment);

// Why `name` cannot name the array that --c-array defines, and with
// "_size" appended its size, in every C and C++ program (C11, C17, C23,
// C++17, C++20): not an identifier, a keyword, a reserved name, main, or a
// name that <stddef.h> or <stdint.h> defines.  Null when it can.  *of_size
// tells whether the fault is that of `name`_size.
const char *c_array_name_fault(const char *name, bool *of_size);

// --schema: reads the whole schema file and its declarations into memory
// of their own, which release_schema frees.  0, or 1 after its diagnostic.
int load_schema(comp_context *ctx);
void release_schema(comp_context *ctx);

// What a name of the schema stands for where a source line has one.
enum name_role { NAME_AS_ID, NAME_AS_TYPE, NAME_AS_VALUE };

// parse64 and parse32 with the schema's names: with a schema, a word that
// begins with a letter or '_' is a name (a tag's for an id, a type's for a
// type, any for a value: its id, number or value); otherwise, and without a
// schema, the number as parse64 reads it.
int parse_named64(const comp_context *ctx, name_role role, uint64_t *result, char **cursor);
int parse_named32(const comp_context *ctx, name_role role, uint32_t *result, char **cursor);

// The schema's checks of one tag as its line is read, and of the missing
// ones at the "}" line; 0, or 1 after the diagnostic.  Without a schema
// they pass.
int schema_check_tag(comp_context *ctx, const vantrel_tag *tag);
int schema_check_end(comp_context *ctx);

// --c-header: the C header of ctx->schema, its names prefixed with
// ctx->c_header_name.  check_c_header_names holds every name it defines
// against the C name rule (0, or 1 after the diagnostic); write_c_header
// writes it (0, or -1 when a write failed, errno telling why);
// c_header_size is the number of bytes it writes.
int check_c_header_names(const comp_context *ctx);
int write_c_header(FILE *out, const comp_context *ctx);
uint64_t c_header_size(const comp_context *ctx);

// Prints the usage text to standard output and closes it; returns status,
// which the caller returns as its exit status, or 1 when the text could not
// be written.
int print_help(const char *prog_name, int status);

int comp_main(int argc, char **argv);
