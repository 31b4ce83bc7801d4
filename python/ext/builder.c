/* Builder: the library's builder (vantrel.cpp) over a buffer of its own. */
#include <inttypes.h>
#include <stdio.h>

#include "ext.h"

PyObject *vt_BuilderType;

typedef struct {
    PyObject_HEAD
    vantrel_state state;
    uint8_t *buffer;
    int ended;
    PyObject *schema; /* a Schema every tag is checked against, or NULL */
    vantrel_schema_checker checker;
    uint8_t *seen;    /* the checker's marks */
} builder_object;

static uint32_t used(const builder_object *b) { return (uint32_t)(b->state.cur - b->state.base); }

static PyObject *builder_new(PyTypeObject *type, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"alignment", "size", "schema", NULL};
    PyObject *alignment_arg = NULL, *size_arg = NULL, *schema = Py_None;
    uint32_t alignment = 8, size = 65536;
    builder_object *b;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "|OO$O:Builder", keywords, &alignment_arg, &size_arg, &schema))
        return NULL;
    if (schema != Py_None && !vt_is_schema(schema))
        return PyErr_Format(PyExc_TypeError, "schema must be a vantrel.Schema or None, not %R", Py_TYPE(schema));
    if ((alignment_arg != NULL && vt_u32_arg(alignment_arg, "alignment", &alignment) < 0) ||
        (size_arg != NULL && vt_u32_arg(size_arg, "size", &size) < 0))
        return NULL;
    /* The C function would round any number to a power of two; a script
     * that asks for another alignment is told instead. */
    if (alignment < VANTREL_ALIGN_MIN || alignment > VANTREL_ALIGN_MAX || (alignment & (alignment - 1)) != 0)
        return PyErr_Format(PyExc_ValueError, "alignment must be a power of two from 8 to 1048576, not %lu",
                            (unsigned long)alignment);
    if ((b = (builder_object *)PyType_GenericAlloc(type, 0)) == NULL)
        return NULL;
    if ((b->buffer = (uint8_t *)PyMem_Malloc(size != 0 ? size : 1)) == NULL) {
        Py_DECREF(b);
        return PyErr_NoMemory();
    }
    if (vantrel_init(&b->state, b->buffer, size, alignment) != 0) {
        Py_DECREF(b);
        /* A start and an end tag, each 16 bytes rounded up. */
        return PyErr_Format(PyExc_ValueError,
                            "size %lu cannot hold a blob's start and end tags at alignment %lu (%lu bytes)",
                            (unsigned long)size, (unsigned long)alignment,
                            2ul * (alignment > VANTREL_START_MIN ? alignment : VANTREL_START_MIN));
    }
    if (schema != Py_None) {
        const vantrel_schema *s = vt_schema_of(schema);
        if ((b->seen = (uint8_t *)PyMem_Malloc(vantrel_schema_seen_size(s))) == NULL) {
            Py_DECREF(b);
            return PyErr_NoMemory();
        }
        Py_INCREF(schema);
        b->schema = schema;
        vantrel_schema_begin(&b->checker, s, b->seen);
    }
    return (PyObject *)b;
}

static void builder_dealloc(PyObject *self)
{
    builder_object *b = (builder_object *)self;
    PyMem_Free(b->buffer);
    PyMem_Free(b->seen);
    Py_XDECREF(b->schema);
    vt_free(self);
}

/* ------------------------------------------------------ the schema's check */

/* The seen mark a tag of `id` sets, kept so that a tag refused (by the
 * schema, or as too large) leaves the check as it was. */
typedef struct {
    uint32_t at;
    uint8_t byte;
} kept_mark;

/* Raises ValueError "NAME: REASON" (the compiler's words, without its
 * place) for schema fault `code`; returns -1. */
static int refuse(const builder_object *b, int code, uint32_t decl, const vantrel_tag *tag)
{
    char reason[VANTREL_SCHEMA_REASON_SIZE];
    PyObject *name = vt_schema_name(b->schema, decl);
    vt_schema_reason(b->schema, code, decl, tag, reason);
    if (name == NULL)
        return -1;
    if (name == Py_None)
        PyErr_Format(PyExc_ValueError, "%s", reason);
    else
        PyErr_Format(PyExc_ValueError, "%U: %s", name, reason);
    Py_DECREF(name);
    return -1;
}

/* Checks the tag about to be added against the schema (none: 0): 0 with
 * *kept to give back should the add fail, or -1 with ValueError set and
 * the check as it was. */
static int admit(builder_object *b, uint32_t code, uint32_t id, uint32_t type, uint64_t value, uint32_t size,
                 kept_mark *kept)
{
    const vantrel_schema *s;
    vantrel_tag tag;
    uint32_t decl;
    int fault;
    if (b->schema == NULL)
        return 0;
    s = vt_schema_of(b->schema);
    memset(&tag, 0, sizeof tag);
    tag.code = code;
    tag.id = id;
    tag.type = type;
    tag.value = value;
    tag.size = size;
    tag.offset = used(b);
    decl = vantrel_schema_find_id(s, id);
    kept->at = decl == VANTREL_SCHEMA_NONE ? 0 : (s->decls[decl].mark + (id - s->decls[decl].id)) >> 3;
    kept->byte = b->seen[kept->at];
    fault = vantrel_schema_tag(&b->checker, &tag, &decl);
    if (fault == 0)
        return 0;
    b->seen[kept->at] = kept->byte;
    return refuse(b, fault, decl, &tag);
}

/* After an add that failed: the tag's mark as it was before it. */
static PyObject *give_back(builder_object *b, const kept_mark *kept, PyObject *result)
{
    if (result == NULL && b->schema != NULL)
        b->seen[kept->at] = kept->byte;
    return result;
}

static int open_for_tags(const builder_object *b)
{
    if (!b->ended)
        return 0;
    PyErr_SetString(PyExc_ValueError, "the blob has ended: a new Builder builds another");
    return -1;
}

/* A payload argument's bytes in *view: any contiguous buffer, and for a
 * string tag a str, as UTF-8 (surrogate escapes back to their bytes, as
 * Blob.get reads them).  -1 with an error set. */
static int payload_bytes(PyObject *obj, int text, Py_buffer *view)
{
    int status;
    if (text && PyUnicode_Check(obj)) {
        PyObject *encoded = PyUnicode_AsEncodedString(obj, "utf-8", "surrogateescape");
        if (encoded == NULL)
            return -1;
        status = PyObject_GetBuffer(encoded, view, PyBUF_SIMPLE);
        Py_DECREF(encoded); /* the view holds it */
        return status;
    }
    return PyObject_GetBuffer(obj, view, PyBUF_SIMPLE);
}

/* None when the add placed its tag, else BlobFullError. */
static PyObject *placed(const builder_object *b, int32_t status, uint32_t tag_size, const char *what)
{
    /* The end tag takes one alignment's worth. */
    uint32_t room = b->state.size - used(b), end_size = b->state.align;
    unsigned long left = room > end_size ? (unsigned long)(room - end_size) : 0ul;
    if (status == 0)
        Py_RETURN_NONE;
    if (tag_size == 0)
        PyErr_Format(vt_BlobFullError, "a %s tag that large does not fit in 32 bits", what);
    else
        PyErr_Format(vt_BlobFullError,
                     "the blob is full: the %s tag takes %lu bytes, %lu are left before the end tag "
                     "(Builder size %lu)",
                     what, (unsigned long)tag_size, left, (unsigned long)b->state.size);
    return NULL;
}

/* The payload's size as the C functions take it; a size past 32 bits is
 * given as 0xFFFFFFFF, which no tag can hold either, and fails as full. */
static uint32_t payload_size(const Py_buffer *view)
{
    return (size_t)view->len > UINT32_MAX ? UINT32_MAX : (uint32_t)view->len;
}

/* The adds, once their arguments are read: each lets go of `view`. */
static PyObject *add_string(builder_object *b, uint32_t id, Py_buffer *view)
{
    uint32_t length = payload_size(view), tag_size;
    int32_t status;
    kept_mark kept;
    if (admit(b, VANTREL_TAG_STRING, id, 0, 0, length, &kept) < 0) {
        PyBuffer_Release(view);
        return NULL;
    }
    tag_size = (size_t)view->len > UINT32_MAX ? 0 : vantrel_get_string_tag_size(&b->state, length);
    status = tag_size == 0 ? 1 : vantrel_add_string(&b->state, (const char *)view->buf, length, id);
    PyBuffer_Release(view);
    return give_back(b, &kept, placed(b, status, tag_size, "string"));
}

static PyObject *add_data(builder_object *b, uint32_t id, uint32_t type, Py_buffer *view)
{
    uint32_t size = payload_size(view), tag_size;
    int32_t status;
    kept_mark kept;
    if (admit(b, VANTREL_TAG_DATA_BLOCK, id, type, 0, size, &kept) < 0) {
        PyBuffer_Release(view);
        return NULL;
    }
    tag_size = (size_t)view->len > UINT32_MAX ? 0 : vantrel_get_data_block_tag_size(&b->state, size);
    status = tag_size == 0 ? 1 : vantrel_add_data_block(&b->state, view->buf, size, type, id);
    PyBuffer_Release(view);
    return give_back(b, &kept, placed(b, status, tag_size, "data block"));
}

static PyObject *add_integer(builder_object *b, uint32_t id, uint64_t value)
{
    kept_mark kept;
    if (admit(b, VANTREL_TAG_INTEGER, id, 0, value, 0, &kept) < 0)
        return NULL;
    return give_back(b, &kept,
                     placed(b, vantrel_add_integer(&b->state, value, id), vantrel_get_integer_tag_size(&b->state),
                            "integer"));
}

static PyObject *builder_add_string(PyObject *self, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"id", "text", NULL};
    builder_object *b = (builder_object *)self;
    PyObject *id_arg, *text;
    Py_buffer view;
    uint32_t id;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO:add_string", keywords, &id_arg, &text) ||
        open_for_tags(b) < 0 || vt_u32_arg(id_arg, "id", &id) < 0 || payload_bytes(text, 1, &view) < 0)
        return NULL;
    return add_string(b, id, &view);
}

static PyObject *builder_add_data(PyObject *self, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"id", "type", "data", NULL};
    builder_object *b = (builder_object *)self;
    PyObject *id_arg, *type_arg, *data;
    Py_buffer view;
    uint32_t id, type;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OOO:add_data", keywords, &id_arg, &type_arg, &data) ||
        open_for_tags(b) < 0 || vt_u32_arg(id_arg, "id", &id) < 0 || vt_u32_arg(type_arg, "type", &type) < 0 ||
        payload_bytes(data, 0, &view) < 0)
        return NULL;
    return add_data(b, id, type, &view);
}

/* An integer argument: 0 to 2**64-1 as it is, -2**63 to -1 as two's
 * complement.  -1 with an error set. */
static int integer_value(PyObject *obj, uint64_t *out)
{
    PyObject *index = PyNumber_Index(obj);
    int overflow, fits = 0;
    long long value;
    if (index == NULL)
        return -1;
    value = PyLong_AsLongLongAndOverflow(index, &overflow);
    if (overflow == 0) {
        *out = (uint64_t)value;
        fits = 1;
    } else if (overflow > 0) {
        unsigned long long above = PyLong_AsUnsignedLongLong(index);
        fits = !(above == (unsigned long long)-1 && PyErr_Occurred());
        *out = above;
    }
    Py_DECREF(index);
    if (fits)
        return 0;
    PyErr_Clear();
    PyErr_Format(PyExc_ValueError,
                 "value must be -2**63 to 2**64-1 (negative values are stored as two's complement), not %R", obj);
    return -1;
}

static PyObject *builder_add_integer(PyObject *self, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"id", "value", NULL};
    builder_object *b = (builder_object *)self;
    PyObject *id_arg, *value_arg;
    uint32_t id;
    uint64_t value;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO:add_integer", keywords, &id_arg, &value_arg) ||
        open_for_tags(b) < 0 || vt_u32_arg(id_arg, "id", &id) < 0)
        return NULL;
    if (integer_value(value_arg, &value) < 0)
        return NULL;
    return add_integer(b, id, value);
}

/* add(name, value, *, id=None): the kind, id and type from the schema. */
static PyObject *builder_add(PyObject *self, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"name", "value", "id", NULL};
    builder_object *b = (builder_object *)self;
    PyObject *name, *value_arg, *id_arg = Py_None;
    const vantrel_schema_decl *d;
    uint32_t decl, id;
    uint64_t value;
    Py_buffer view;
    char ids[32];
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "UO|$O:add", keywords, &name, &value_arg, &id_arg) ||
        open_for_tags(b) < 0)
        return NULL;
    if (b->schema == NULL)
        return PyErr_Format(PyExc_TypeError, "add() by name needs a Builder(schema=...); without one, "
                                             "add_string, add_integer and add_data take ids");
    if ((decl = vt_schema_tag_decl(b->schema, name)) == VANTREL_SCHEMA_NONE)
        return NULL;
    d = &vt_schema_of(b->schema)->decls[decl];
    id = d->id;
    snprintf(ids, sizeof ids, "0x%" PRIX32 "..0x%" PRIX32, d->id, d->last);
    if (d->flags & VANTREL_DECL_TABLE) {
        /* A family of ids: which one is the caller's to say. */
        if (id_arg == Py_None)
            return PyErr_Format(PyExc_ValueError, "%R is a table of ids %s: give one as id=", name, ids);
        if (vt_u32_arg(id_arg, "id", &id) < 0)
            return NULL;
    } else if (id_arg != Py_None) {
        ids[strcspn(ids, ".")] = '\0';
        return PyErr_Format(PyExc_ValueError, "%R has the one id %s: id= is for a table's members", name, ids);
    }
    switch (d->kind) {
    case VANTREL_DECL_INTEGER:
        return integer_value(value_arg, &value) < 0 ? NULL : add_integer(b, id, value);
    case VANTREL_DECL_STRING:
        return payload_bytes(value_arg, 1, &view) < 0 ? NULL : add_string(b, id, &view);
    default:
        return payload_bytes(value_arg, 0, &view) < 0 ? NULL : add_data(b, id, d->type, &view);
    }
}

static PyObject *builder_end(PyObject *self, PyObject *unused)
{
    builder_object *b = (builder_object *)self;
    (void)unused;
    if (!b->ended && b->schema != NULL) {
        uint32_t decl;
        int code;
        /* From the schema's first declaration each time: a refused end()
         * leaves the builder open for the missing tag. */
        b->checker.next = 0;
        code = vantrel_schema_end(&b->checker, &decl);
        if (code != 0) {
            refuse(b, code, decl, NULL);
            return NULL;
        }
    }
    /* vantrel_init kept room for the end tag; a second end() gives the
     * same blob again. */
    if (!b->ended && vantrel_end(&b->state) != 0)
        return PyErr_Format(PyExc_RuntimeError, "the end tag did not fit");
    b->ended = 1;
    return PyBytes_FromStringAndSize((const char *)b->buffer, vantrel_get_used_size(&b->state));
}

static PyObject *builder_get(PyObject *self, void *closure)
{
    const builder_object *b = (const builder_object *)self;
    switch ((int)(intptr_t)closure) {
    case 0:
        return PyLong_FromUnsignedLong(b->state.align);
    case 1:
        return PyLong_FromUnsignedLong(b->state.size);
    case 3:
        if (b->schema == NULL)
            Py_RETURN_NONE;
        Py_INCREF(b->schema);
        return b->schema;
    default:
        return PyLong_FromUnsignedLong(used(b));
    }
}

static PyMethodDef builder_methods[] = {
    {"add", (PyCFunction)(void (*)(void))builder_add, METH_VARARGS | METH_KEYWORDS,
     "add($self, /, name, value, *, id=None)\n--\n\n"
     "Adds the tag the schema declares as `name`, of its kind, id and (a data\n"
     "block's) type: an int for an integer, a str or bytes-like for a string,\n"
     "bytes-like for a data block.  A table's member needs its id=.  ValueError for\n"
     "what vantrel-comp --schema refuses (a value out of range, a string or data\n"
     "block of another size, a second tag with one id), the message naming the\n"
     "declaration; nothing is written then.  TypeError without a schema."},
    {"add_string", (PyCFunction)(void (*)(void))builder_add_string, METH_VARARGS | METH_KEYWORDS,
     "add_string($self, /, id, text)\n--\n\n"
     "Adds a string tag: `text` a str (written as UTF-8; surrogate escapes as the\n"
     "bytes they stand for) or bytes-like.  BlobFullError when it does not fit."},
    {"add_integer", (PyCFunction)(void (*)(void))builder_add_integer, METH_VARARGS | METH_KEYWORDS,
     "add_integer($self, /, id, value)\n--\n\n"
     "Adds an integer tag: `value` 0 to 2**64-1, or -2**63 to -1 stored as two's\n"
     "complement (it reads back as value + 2**64).  BlobFullError when it does not fit."},
    {"add_data", (PyCFunction)(void (*)(void))builder_add_data, METH_VARARGS | METH_KEYWORDS,
     "add_data($self, /, id, type, data)\n--\n\n"
     "Adds a data block tag of type `type` (0 to 2**32-1) holding the bytes of\n"
     "`data` (bytes-like).  BlobFullError when it does not fit."},
    {"end", builder_end, METH_NOARGS,
     "end($self, /)\n--\n\n"
     "Writes the end tag and returns the blob's bytes.  No tag can be added after\n"
     "it; end() again returns the same bytes.  With a schema, ValueError when a\n"
     "required tag is missing (the first in the schema's order), and the builder\n"
     "stays open for it."},
    {NULL, NULL, 0, NULL},
};

static PyGetSetDef builder_getset[] = {
    {"alignment", builder_get, NULL, "The blob's alignment: every tag's size is a multiple of it.", (void *)0},
    {"size", builder_get, NULL, "The usable buffer size: `size` rounded down to the alignment.", (void *)1},
    {"used", builder_get, NULL, "Bytes written so far (the end tag's too, after end()).", (void *)2},
    {"schema", builder_get, NULL, "The Schema every tag is checked against, or None.", (void *)3},
    {NULL, NULL, NULL, NULL, NULL},
};

static PyType_Slot builder_slots[] = {
    {Py_tp_doc, "Builder(alignment=8, size=65536, *, schema=None)\n--\n\n"
                "Builds one blob in a buffer of `size` bytes (up to 2**32-1), every tag a\n"
                "multiple of `alignment` (a power of two from 8 to 1048576), in this machine's\n"
                "byte order: add tags, then end() returns the blob.  Ids and types are 0 to\n"
                "2**32-1.  An add that does not fit raises BlobFullError and writes nothing:\n"
                "the builder stays usable for smaller tags, as the C functions do.\n\n"
                "With a schema (a vantrel.Schema), add(name, value) takes the kind, id and\n"
                "type from it, every add is checked by the schema's checker as vantrel-comp\n"
                "--schema checks each line (ValueError for what it refuses, nothing written),\n"
                "and end() refuses a blob with a required tag missing."},
    {Py_tp_new, VT_SLOT(builder_new)},
    {Py_tp_dealloc, VT_SLOT(builder_dealloc)},
    {Py_tp_methods, builder_methods},
    {Py_tp_getset, builder_getset},
    {0, NULL},
};

PyType_Spec vt_builder_spec = {"vantrel.Builder", sizeof(builder_object), 0, Py_TPFLAGS_DEFAULT, builder_slots};
