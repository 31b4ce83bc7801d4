// --schema: the schema file read whole before any blob, the names a tag
// shows beside its numbers, and each blob's outer tags checked against the
// schema as the walk hands them out.
//
// Every violation of a blob is kept (offset, what the reason needs, the
// declaration), and reported once the walk has ended: a blob that is not
// well formed gets the format's fault alone, as it does without a schema.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vantrel_schema.h"

// A schema read from its file.  The declarations' names point into text.
struct dump_schema {
    char *text;
    vantrel_schema_decl *decls;
    vantrel_schema schema;
    uint8_t *seen;    // the checker's marks, one blob at a time
    const char *path; // as given: --source names it in its first line
};

// Reads the schema file `path` (`shown` as messages show it).  0, or 1
// after one diagnostic ("prog: SCHEMA:LINE: reason" for a faulty text);
// *schema is then released.
int dump_schema_load(dump_schema *schema, const char *prog, const char *path, const char *shown);
void dump_schema_release(dump_schema *schema);

// The names shown beside a tag's numbers; a length of 0 where there is none.
struct dump_names {
    const char *name; // the declaration of the tag's id (a table's: the family's)
    uint32_t name_length;
    const char *type_name; // a data block's type
    uint32_t type_name_length;
};

// The declaration a tag of the outer block has by its id, or
// VANTREL_SCHEMA_NONE; nested tags have none.
uint32_t dump_schema_decl_of(const vantrel_schema *schema, const vantrel_tag *tag);

// The names of `tag` whose declaration is `decl` (VANTREL_SCHEMA_NONE:
// none, but a data block's type may still have one).
dump_names dump_schema_names(const vantrel_schema *schema, uint32_t decl, const vantrel_tag *tag);

// The const declaration whose value `value` is, when exactly one is
// (vantrel_schema.h looks up names, ids and types, not values); else
// VANTREL_SCHEMA_NONE.
uint32_t dump_schema_const_of(const vantrel_schema *schema, uint64_t value);

// One violation, with what its reason is written from.
struct dump_violation {
    uint64_t offset; // the tag's first byte, the end tag's for a missing one
    uint64_t value;  // an integer's value, a string's or data block's size
    uint32_t id;
    uint32_t type;
    uint32_t decl; // or VANTREL_SCHEMA_NONE
    uint32_t tag_code;
    int code; // a schema fault code
};

// The check of one blob: the library's checker and the violations found.
struct dump_check {
    const vantrel_schema *schema;
    vantrel_schema_checker checker;
    dump_violation *list; // count of them, in memory of its own
    size_t count, room;
};

void dump_check_begin(dump_check *check, dump_schema *schema);
void dump_check_release(dump_check *check);

// Checks one tag as the walk hands it out (the outer end tag asks for the
// missing ones); *decl is the tag's declaration for its names.  0, or 1
// when no memory was left to keep a violation.
int dump_check_tag(dump_check *check, const vantrel_tag *tag, uint32_t *decl);

// The reason of a violation, as vantrel_schema_describe writes it; and
// its declaration's name (null when none).
const char *dump_violation_reason(const dump_check *check, const dump_violation *v,
                                  char (&text)[VANTREL_SCHEMA_REASON_SIZE]);
const vantrel_schema_decl *dump_violation_decl(const dump_check *check, const dump_violation *v);
