/*
 * The vantrel extension module (vantrel._vantrel): what its files share.
 *
 * Written against CPython's limited API (3.11, abi3): one built module
 * serves every later Python.  The reader is vantrel_reader.h and the builder
 * the library's own vantrel.cpp, both compiled into the module.
 */
#ifndef VANTREL_EXT_H
#define VANTREL_EXT_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "vantrel.h"
#include "vantrel_reader.h"
#include "vantrel_schema.h"

/* Checks and bulk walks over at least this many bytes let other threads
 * run meanwhile.  Below it, taking the GIL back could cost more than the
 * walk itself (a waiting thread may hold it for a whole switch interval). */
#define VT_RELEASE_GIL_BYTES ((size_t)1 << 20)

/* Type slots hold functions as void *: every compiler CPython supports
 * converts them, ISO C does not promise it, so -Wpedantic is told that
 * this one conversion is meant. */
#if defined(__GNUC__)
#define VT_SLOT(f) (__extension__(void *)(f))
#else
#define VT_SLOT(f) ((void *)(f))
#endif

/* ---- window.c: the caller's bytes, held, and read-only views of them */

/* Holds obj's buffer (PyBUF_SIMPLE) for as long as the returned window
 * lives; vt_window_data/size tell where the bytes are. */
PyObject *vt_window_hold(PyObject *obj);
/* A window owning `size` bytes of malloc'd memory (freed even when this
 * fails). */
PyObject *vt_window_own(void *memory, size_t size);
const uint8_t *vt_window_data(PyObject *window);
size_t vt_window_size(PyObject *window);
/* A read-only memoryview of `size` bytes at `at`, which lie inside the
 * window's bytes; the view keeps the bytes held. */
PyObject *vt_window_view(PyObject *window, const uint8_t *at, size_t size);

/* ---- tag.c: Tag objects and the iterator over a blob's tags */

/* A new Tag for `tag`, a tag of the bytes `window` holds; `schema` (a
 * Schema, or NULL) names it. */
PyObject *vt_tag_new(PyObject *window, PyObject *schema, const vantrel_tag *tag);
/* Iterators over the tags of the bytes `window` holds: one for bytes that
 * vantrel_check accepted (its tags named by `schema`, or NULL), one that
 * checks as it goes (walk()). */
PyObject *vt_tags_checked(PyObject *window, PyObject *schema);
PyObject *vt_tags_walking(PyObject *window);
/* A tag's value by its kind: int, str (UTF-8, undecodable bytes as
 * surrogate escapes) or a memoryview; None for start and end tags. */
PyObject *vt_tag_value(PyObject *window, const vantrel_tag *tag);
/* The kind names (vantrel_kind_name), indexed by enum vantrel_kind. */
extern PyObject *vt_kind_names[VANTREL_KIND_COUNT];
/* The kind of a tag the walks handed out, which is always one of the five
 * (vantrel_checked_first and _next refuse any other code). */
static inline unsigned vt_kind_index(uint32_t code)
{
    int kind = vantrel_kind_of(code);
    return kind == VANTREL_KIND_NONE ? VANTREL_KIND_END : (unsigned)kind;
}

/* ---- fault.c: BlobError and the other errors */

extern PyObject *vt_BlobError;
extern PyObject *vt_BlobFullError;
/* Walks `size` bytes as vantrel_check does (without the GIL for large
 * ones): 0, or the fault code with the fault in *w. */
int vt_check_bytes(const uint8_t *data, size_t size, vantrel_walk *w);
/* Raises BlobError for the fault in *w; returns NULL. */
PyObject *vt_raise_fault(const vantrel_walk *w);
/* The bytes of a checked blob no longer walk: raises BlobError for what a
 * new check finds (or says they changed); returns NULL. */
PyObject *vt_raise_changed(PyObject *window, uint64_t offset);
/* obj as an id or type: an int from 0 to 2**32-1, else TypeError or
 * ValueError naming `what`.  Returns 0 or -1. */
int vt_u32_arg(PyObject *obj, const char *what, uint32_t *out);

/* ---- schema.c: Schema, SchemaError and what the others ask of a schema */

extern PyObject *vt_SchemaError;
int vt_is_schema(PyObject *obj);
const vantrel_schema *vt_schema_of(PyObject *schema);
/* The name of declaration `decl` as a str; None for VANTREL_SCHEMA_NONE. */
PyObject *vt_schema_name(PyObject *schema, uint32_t decl);
/* The tag declaration named by the str `name`, or VANTREL_SCHEMA_NONE with
 * ValueError set (no such name, or a type's or a const's). */
uint32_t vt_schema_tag_decl(PyObject *schema, PyObject *name);
/* The whole reason for schema fault `code` at `tag` against `decl`, as the
 * dump gives it (a missing tag's with no tag). */
char *vt_schema_reason(PyObject *schema, int code, uint32_t decl, const vantrel_tag *tag,
                       char text[VANTREL_SCHEMA_REASON_SIZE]);
/* Raises BlobError (with `name`: the declaration's, or None) for the first
 * fault vantrel_schema_check_blob found; returns NULL. */
PyObject *vt_raise_schema_fault(PyObject *schema, const vantrel_schema_fault *fault);

/* ---- the types, created at import */
extern PyObject *vt_WindowType, *vt_TagType, *vt_TagIterType, *vt_BlobType, *vt_BuilderType, *vt_SchemaType;
extern PyType_Spec vt_window_spec, vt_tag_spec, vt_tag_iter_spec, vt_blob_spec, vt_builder_spec, vt_schema_spec;
int vt_fault_init(PyObject *module);
int vt_schema_init(PyObject *module);

/* Frees an object of a heap type made here (none of them is tracked by
 * the collector) and lets go of its type. */
static inline void vt_free(PyObject *self)
{
    PyTypeObject *type = Py_TYPE(self);
    PyObject_Free(self);
    Py_DECREF(type);
}

#endif
