/* Blob: bytes checked once, then read without checking again: its tags in
 * order, look-ups by id under the C reader's rule, the tags as columns. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "ext.h"

PyObject *vt_BlobType;

typedef struct {
    PyObject_HEAD
    PyObject *window; /* the caller's bytes, held */
    PyObject *schema; /* a Schema, or NULL */
    vantrel_tag start;
} blob_object;

static PyObject *blob_new(PyTypeObject *type, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"data", "schema", NULL};
    PyObject *data, *schema = Py_None, *window;
    blob_object *blob;
    vantrel_walk w;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|$O:Blob", keywords, &data, &schema))
        return NULL;
    if (schema != Py_None && !vt_is_schema(schema))
        return PyErr_Format(PyExc_TypeError, "schema must be a vantrel.Schema or None, not %R", Py_TYPE(schema));
    if ((window = vt_window_hold(data)) == NULL)
        return NULL;
    if (vt_check_bytes(vt_window_data(window), vt_window_size(window), &w) != 0) {
        Py_DECREF(window);
        return vt_raise_fault(&w);
    }
    blob = (blob_object *)PyType_GenericAlloc(type, 0);
    if (blob == NULL) {
        Py_DECREF(window);
        return NULL;
    }
    blob->window = window;
    if (schema != Py_None) {
        Py_INCREF(schema);
        blob->schema = schema;
    }
    vantrel_checked_first(vt_window_data(window), vt_window_size(window), &blob->start);
    return (PyObject *)blob;
}

static void blob_dealloc(PyObject *self)
{
    Py_XDECREF(((blob_object *)self)->window);
    Py_XDECREF(((blob_object *)self)->schema);
    vt_free(self);
}

static PyObject *blob_iter(PyObject *self)
{
    return vt_tags_checked(((blob_object *)self)->window, ((blob_object *)self)->schema);
}

/* The id a look-up's key stands for: an int as it is, a str as the id of
 * the schema's tag declaration of that name (a table's, a family of ids,
 * stands for none: its member is asked by id).  0 or -1 with an error set. */
static int key_id(blob_object *blob, PyObject *key, uint32_t *id)
{
    uint32_t decl;
    const vantrel_schema_decl *d;
    if (!PyUnicode_Check(key))
        return vt_u32_arg(key, "id", id);
    if (blob->schema == NULL) {
        PyErr_Format(PyExc_TypeError, "a name (%R) needs a Blob read with a schema; without one, ask by id", key);
        return -1;
    }
    if ((decl = vt_schema_tag_decl(blob->schema, key)) == VANTREL_SCHEMA_NONE)
        return -1;
    d = &vt_schema_of(blob->schema)->decls[decl];
    if (d->flags & VANTREL_DECL_TABLE) {
        char ids[32];
        snprintf(ids, sizeof ids, "0x%" PRIX32 "..0x%" PRIX32, d->id, d->last);
        PyErr_Format(PyExc_ValueError, "%R is a table of ids %s: ask for one of them by id", key, ids);
        return -1;
    }
    *id = d->id;
    return 0;
}

/* The first tag of the outer block with the id (or name): 1 with *tag, 0
 * when there is none, -1 with an error set. */
static int find(blob_object *blob, PyObject *id_arg, vantrel_tag *tag)
{
    const uint8_t *data = vt_window_data(blob->window);
    size_t size = vt_window_size(blob->window);
    uint32_t id;
    int found;
    if (key_id(blob, id_arg, &id) < 0)
        return -1;
    if (size < VT_RELEASE_GIL_BYTES) {
        found = vantrel_checked_find(data, size, id, tag);
    } else {
        Py_BEGIN_ALLOW_THREADS
        found = vantrel_checked_find(data, size, id, tag);
        Py_END_ALLOW_THREADS
    }
    switch (found) {
    case VANTREL_OK:
        return 1;
    case VANTREL_NOT_FOUND:
        return 0;
    default:
        vt_raise_changed(blob->window, 0);
        return -1;
    }
}

static PyObject *blob_get(PyObject *self, PyObject *id)
{
    vantrel_tag tag;
    int found = find((blob_object *)self, id, &tag);
    if (found == 0)
        PyErr_SetObject(PyExc_KeyError, id);
    return found > 0 ? vt_tag_value(((blob_object *)self)->window, &tag) : NULL;
}

static PyObject *blob_find(PyObject *self, PyObject *id)
{
    vantrel_tag tag;
    int found = find((blob_object *)self, id, &tag);
    if (found < 0)
        return NULL;
    if (found == 0)
        Py_RETURN_NONE;
    return vt_tag_new(((blob_object *)self)->window, ((blob_object *)self)->schema, &tag);
}

/* The schema's check of the whole blob, the format's with it (the bytes
 * may have been written since they were checked), in one walk. */
static PyObject *blob_validate(PyObject *self, PyObject *unused)
{
    blob_object *blob = (blob_object *)self;
    const uint8_t *data = vt_window_data(blob->window);
    size_t size = vt_window_size(blob->window);
    const vantrel_schema *schema;
    vantrel_schema_fault fault;
    uint8_t *seen;
    int code;
    (void)unused;
    if (blob->schema == NULL)
        return PyErr_Format(PyExc_TypeError, "validate() needs a Blob read with a schema: Blob(data, schema=...)");
    schema = vt_schema_of(blob->schema);
    if ((seen = (uint8_t *)PyMem_Malloc(vantrel_schema_seen_size(schema))) == NULL)
        return PyErr_NoMemory();
    if (size < VT_RELEASE_GIL_BYTES) {
        code = vantrel_schema_check_blob(data, size, schema, seen, &fault);
    } else {
        Py_BEGIN_ALLOW_THREADS
        code = vantrel_schema_check_blob(data, size, schema, seen, &fault);
        Py_END_ALLOW_THREADS
    }
    PyMem_Free(seen);
    if (code == 0)
        Py_RETURN_NONE;
    /* A format fault: the bytes changed after Blob() checked them. */
    if (code < VANTREL_SF_FIRST)
        return vt_raise_changed(blob->window, fault.offset);
    return vt_raise_schema_fault(blob->schema, &fault);
}

static PyObject *blob_schema(PyObject *self, void *closure)
{
    PyObject *schema = ((blob_object *)self)->schema;
    (void)closure;
    if (schema == NULL)
        Py_RETURN_NONE;
    Py_INCREF(schema);
    return schema;
}

/* ---------------------------------------------------------------- columns */

/* One column: its key, memoryview format and item size. */
enum { COL_KIND, COL_ID, COL_TYPE, COL_VALUE, COL_OFFSET, COL_SIZE, COL_DEPTH, COL_TAG_SIZE, COLUMN_COUNT };
static const struct {
    const char *key;
    const char *format;
    size_t item;
} columns[COLUMN_COUNT] = {
    {"kind", "B", 1},  {"id", "I", 4},   {"type", "I", 4},  {"value", "Q", 8},
    {"offset", "Q", 8}, {"size", "I", 4}, {"depth", "I", 4}, {"tag_size", "I", 4},
};

/* The columns while they are filled: plain malloc'd memory, so that they
 * are filled and grown without the GIL, then handed to windows as they are
 * (no copy). */
typedef struct {
    char *at[COLUMN_COUNT];
    size_t capacity; /* items each column has room for */
    size_t count;
} column_set;

/* Room for `capacity` items in every column: 0, or -1 out of memory. */
static int resize(column_set *set, size_t capacity)
{
    int c;
    for (c = 0; c < COLUMN_COUNT; ++c) {
        char *moved = (char *)realloc(set->at[c], capacity * columns[c].item);
        if (moved == NULL)
            return -1;
        set->at[c] = moved;
    }
    set->capacity = capacity;
    return 0;
}

/* Walks the checked bytes into the columns: 0, -1 when the bytes no
 * longer walk, -2 out of memory. */
static int fill(const uint8_t *data, size_t size, column_set *set)
{
    vantrel_tag t;
    int step = vantrel_checked_first(data, size, &t);
    for (; step > 0; step = vantrel_checked_next(data, size, &t)) {
        size_t n = set->count++;
        uint8_t kind = (uint8_t)vt_kind_index(t.code);
        if (n == set->capacity && resize(set, 2 * set->capacity) < 0)
            return -2;
        /* memcpy: malloc promises alignment, memcpy says what is meant. */
        memcpy(set->at[COL_KIND] + n, &kind, 1);
        memcpy(set->at[COL_ID] + 4 * n, &t.id, 4);
        memcpy(set->at[COL_TYPE] + 4 * n, &t.type, 4);
        memcpy(set->at[COL_VALUE] + 8 * n, &t.value, 8);
        memcpy(set->at[COL_OFFSET] + 8 * n, &t.offset, 8);
        memcpy(set->at[COL_SIZE] + 4 * n, &t.size, 4);
        memcpy(set->at[COL_DEPTH] + 4 * n, &t.depth, 4);
        memcpy(set->at[COL_TAG_SIZE] + 4 * n, &t.tag_size, 4);
    }
    return step < 0 ? -1 : 0;
}

static int fill_released(PyObject *window, column_set *set)
{
    const uint8_t *data = vt_window_data(window);
    size_t size = vt_window_size(window);
    /* An integer tag takes 24 bytes at alignment 8: blobs of them fill
     * without growing; blobs of large tags start small. */
    size_t guess = size / 24 + 2;
    int status;
    if (resize(set, guess < 65536 ? guess : 65536) < 0)
        return -2;
    if (size < VT_RELEASE_GIL_BYTES)
        return fill(data, size, set);
    Py_BEGIN_ALLOW_THREADS
    status = fill(data, size, set);
    Py_END_ALLOW_THREADS
    return status;
}

/* A filled column as a read-only memoryview of its format, owning its
 * memory (taken from the set). */
static PyObject *column_view(column_set *set, int c)
{
    size_t bytes = set->count * columns[c].item;
    char *memory = (char *)realloc(set->at[c], bytes); /* give back what the guess left over */
    PyObject *window, *raw, *view;
    if (memory == NULL)
        memory = set->at[c];
    set->at[c] = NULL;
    if ((window = vt_window_own(memory, bytes)) == NULL)
        return NULL;
    raw = PyMemoryView_FromObject(window);
    Py_DECREF(window);
    if (raw == NULL)
        return NULL;
    view = PyObject_CallMethod(raw, "cast", "s", columns[c].format);
    Py_DECREF(raw);
    return view;
}

static PyObject *blob_columns(PyObject *self, PyObject *unused)
{
    PyObject *window = ((blob_object *)self)->window, *result = NULL;
    column_set set = {{NULL}, 0, 0};
    int c, status = fill_released(window, &set);
    (void)unused;
    if (status == -1)
        vt_raise_changed(window, 0);
    else if (status == -2)
        PyErr_NoMemory();
    else if ((result = PyDict_New()) != NULL) {
        for (c = 0; c < COLUMN_COUNT; ++c) {
            PyObject *column = column_view(&set, c);
            if (column == NULL || PyDict_SetItemString(result, columns[c].key, column) < 0) {
                Py_XDECREF(column);
                Py_CLEAR(result);
                break;
            }
            Py_DECREF(column);
        }
    }
    for (c = 0; c < COLUMN_COUNT; ++c)
        free(set.at[c]);
    return result;
}

/* ------------------------------------------------------------- properties */

static int host_little(void)
{
    const uint16_t one = 1;
    uint8_t first;
    memcpy(&first, &one, 1);
    return first == 1;
}

static PyObject *blob_byte_order(PyObject *self, void *closure)
{
    const uint8_t *data = vt_window_data(((blob_object *)self)->window);
    int swapped = vantrel_load32(data, 0) == VANTREL_TAG_START_SWAPPED;
    (void)closure;
    return PyUnicode_FromString(host_little() != swapped ? "little" : "big");
}

/* The alignment the builder wrote the blob with (vantrel_blob_alignment):
 * None when no alignment gives its start tag. */
static PyObject *blob_alignment(PyObject *self, void *closure)
{
    blob_object *blob = (blob_object *)self;
    const uint8_t *data = vt_window_data(blob->window);
    size_t size = vt_window_size(blob->window);
    uint32_t alignment, end_size = 0;
    vantrel_tag t;
    int step;
    (void)closure;
    /* Only a start tag of 16 bytes leaves the end tag to tell 8 from 16. */
    if (blob->start.tag_size == VANTREL_START_MIN) {
        for (step = vantrel_checked_first(data, size, &t); step > 0; step = vantrel_checked_next(data, size, &t))
            end_size = t.tag_size;
        if (step < 0)
            return vt_raise_changed(blob->window, 0);
    }
    alignment = vantrel_blob_alignment(blob->start.tag_size, end_size);
    if (alignment == 0)
        Py_RETURN_NONE;
    return PyLong_FromUnsignedLong(alignment);
}

static PyObject *blob_length(PyObject *self, void *closure)
{
    (void)closure;
    return PyLong_FromUnsignedLong(((blob_object *)self)->start.length);
}

static PyObject *blob_repr(PyObject *self)
{
    PyObject *order = blob_byte_order(self, NULL), *repr;
    if (order == NULL)
        return NULL;
    repr = PyUnicode_FromFormat("<vantrel.Blob %U-endian, %lu bytes>", order,
                                (unsigned long)((blob_object *)self)->start.length);
    Py_DECREF(order);
    return repr;
}

static PyMethodDef blob_methods[] = {
    {"get", blob_get, METH_O,
     "get($self, id, /)\n--\n\n"
     "The value of the first string, integer or data block tag of the outer block\n"
     "with this id, or with a schema this name: get(0x200) or get('period_ms')\n"
     "(tags of nested blocks are not searched), as the C reader's\n"
     "look-ups find it: an int for an integer, a str for a string (UTF-8; bytes that\n"
     "are not come back as surrogate escapes) and a read-only memoryview for a data\n"
     "block.  KeyError when no such tag exists; ValueError for an id that is not\n"
     "0 to 2**32-1, a name the schema does not declare as a tag, or a table's name\n"
     "(ask for its members by id); TypeError for a name without a schema.  Large\n"
     "blobs are searched without the GIL."},
    {"find", blob_find, METH_O,
     "find($self, id, /)\n--\n\n"
     "The Tag get() reads its value from, or None when there is none."},
    {"validate", blob_validate, METH_NOARGS,
     "validate($self, /)\n--\n\n"
     "None when the blob is the one its schema declares; else raises BlobError for\n"
     "the first fault, as vantrel-dump --schema --json reports it: offset (the\n"
     "offending tag's first byte, the end tag's for a required tag that is missing),\n"
     "reason, code (a vantrel.SchemaFault) and name (the declaration's; None for\n"
     "an id the schema does not declare or a nested block).  The schema's checker\n"
     "of the C library, in one pass with the format's check, without the GIL for\n"
     "large blobs.  TypeError for a Blob read without a schema."},
    {"columns", blob_columns, METH_NOARGS,
     "columns($self, /)\n--\n\n"
     "Every tag in order, as columns: a dict of read-only memoryviews, one item a\n"
     "tag, under the keys 'kind' (format 'B': an index into vantrel.KINDS), 'id',\n"
     "'type', 'size', 'depth', 'tag_size' ('I') and 'value', 'offset' ('Q').\n"
     "Fields a tag does not have are 0.  One pass in C, without the GIL for large\n"
     "blobs.  numpy.frombuffer(column, dtype=column.format) takes a column as it\n"
     "is; array.array(column.format, column) copies one."},
    {NULL, NULL, 0, NULL},
};

static PyGetSetDef blob_getset[] = {
    {"byte_order", blob_byte_order, NULL, "'little' or 'big': the order the blob's words are stored in.", NULL},
    {"alignment", blob_alignment, NULL,
     "The alignment the blob was built with, as vantrel-dump --source finds it from\n"
     "its start and end tags' sizes; None when no alignment gives its start tag.",
     NULL},
    {"length", blob_length, NULL, "The start tag's length word: the blob's size in bytes.", NULL},
    {"schema", blob_schema, NULL, "The Schema the blob was read with, or None.", NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

static PyType_Slot blob_slots[] = {
    {Py_tp_doc, "Blob(data, *, schema=None)\n--\n\n"
                "A well-formed blob: checks `data` once (bytes, bytearray, memoryview, mmap or\n"
                "any other contiguous buffer, of either byte order), raising BlobError when it\n"
                "is not one, and holds its buffer from then on.  Iterating it gives its tags in\n"
                "order (Tag objects): the blob's own start tag first, its end tag last, a\n"
                "nested block as its start tag, its tags and its end tag.\n\n"
                "With a schema (a vantrel.Schema) the tags have names, get() and find() take\n"
                "names as well as ids, and validate() checks the blob against the schema.\n\n"
                "Nothing is copied: payloads are read-only memoryviews of `data`.  While the\n"
                "Blob or a view lives, a bytearray cannot be resized nor an mmap closed\n"
                "(BufferError)."},
    {Py_tp_new, VT_SLOT(blob_new)},
    {Py_tp_dealloc, VT_SLOT(blob_dealloc)},
    {Py_tp_iter, VT_SLOT(blob_iter)},
    {Py_tp_repr, VT_SLOT(blob_repr)},
    {Py_tp_methods, blob_methods},
    {Py_tp_getset, blob_getset},
    {0, NULL},
};

PyType_Spec vt_blob_spec = {"vantrel.Blob", sizeof(blob_object), 0, Py_TPFLAGS_DEFAULT, blob_slots};
