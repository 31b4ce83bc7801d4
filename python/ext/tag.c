/* Tag objects, and the iterators that hand them out: over a checked blob
 * (Blob.__iter__) and over bytes not yet checked (walk()). */
#include <inttypes.h>
#include <stdio.h>

#include "ext.h"

PyObject *vt_TagType, *vt_TagIterType;
PyObject *vt_kind_names[VANTREL_KIND_COUNT];

typedef struct {
    PyObject_HEAD
    PyObject *window; /* the bytes the tag lies in */
    PyObject *schema; /* the Schema that names it, or NULL */
    vantrel_tag tag;
} tag_object;

PyObject *vt_tag_new(PyObject *window, PyObject *schema, const vantrel_tag *tag)
{
    tag_object *t = (tag_object *)PyType_GenericAlloc((PyTypeObject *)vt_TagType, 0);
    if (t == NULL)
        return NULL;
    Py_INCREF(window);
    t->window = window;
    Py_XINCREF(schema);
    t->schema = schema;
    t->tag = *tag;
    return (PyObject *)t;
}

static int has_payload(uint32_t code) { return code == VANTREL_TAG_STRING || code == VANTREL_TAG_DATA_BLOCK; }

static int has_id(uint32_t code) { return has_payload(code) || code == VANTREL_TAG_INTEGER; }

PyObject *vt_tag_value(PyObject *window, const vantrel_tag *tag)
{
    switch (tag->code) {
    case VANTREL_TAG_INTEGER:
        return PyLong_FromUnsignedLongLong(tag->value);
    case VANTREL_TAG_STRING:
        /* Lossless: undecodable bytes come back through
         * str.encode('utf-8', 'surrogateescape'), which Builder uses. */
        return PyUnicode_DecodeUTF8((const char *)tag->payload, (Py_ssize_t)tag->size, "surrogateescape");
    case VANTREL_TAG_DATA_BLOCK:
        return vt_window_view(window, tag->payload, tag->size);
    default:
        Py_RETURN_NONE;
    }
}

/* The attributes, by closure number. */
enum {
    GET_KIND, GET_ID, GET_TYPE, GET_VALUE, GET_PAYLOAD, GET_OFFSET, GET_DEPTH, GET_TAG_SIZE, GET_SIZE, GET_LENGTH,
    GET_NAME
};

static PyObject *tag_get(PyObject *self, void *closure)
{
    const vantrel_tag *t = &((tag_object *)self)->tag;
    switch ((int)(intptr_t)closure) {
    case GET_KIND:
        Py_INCREF(vt_kind_names[vt_kind_index(t->code)]);
        return vt_kind_names[vt_kind_index(t->code)];
    case GET_ID:
        if (has_id(t->code))
            return PyLong_FromUnsignedLong(t->id);
        break;
    case GET_TYPE:
        if (t->code == VANTREL_TAG_DATA_BLOCK)
            return PyLong_FromUnsignedLong(t->type);
        break;
    case GET_VALUE:
        if (t->code == VANTREL_TAG_INTEGER)
            return PyLong_FromUnsignedLongLong(t->value);
        break;
    case GET_PAYLOAD:
        if (has_payload(t->code))
            return vt_window_view(((tag_object *)self)->window, t->payload, t->size);
        break;
    case GET_OFFSET:
        return PyLong_FromUnsignedLongLong(t->offset);
    case GET_DEPTH:
        return PyLong_FromUnsignedLong(t->depth);
    case GET_TAG_SIZE:
        return PyLong_FromUnsignedLong(t->tag_size);
    case GET_SIZE:
        if (has_payload(t->code))
            return PyLong_FromUnsignedLong(t->size);
        break;
    case GET_LENGTH:
        if (t->code == VANTREL_TAG_START)
            return PyLong_FromUnsignedLong(t->length);
        break;
    case GET_NAME: {
        /* The schema declares the outer block's tags, as the dump names them. */
        PyObject *schema = ((tag_object *)self)->schema;
        if (schema != NULL && has_id(t->code) && t->depth == 0)
            return vt_schema_name(schema, vantrel_schema_find_id(vt_schema_of(schema), t->id));
        break;
    }
    }
    Py_RETURN_NONE;
}

#define TAG_GETTER(name, which, doc) {name, tag_get, NULL, doc, (void *)(intptr_t)(which)}

static PyGetSetDef tag_getset[] = {
    TAG_GETTER("kind", GET_KIND, "'start', 'integer', 'string', 'data_block' or 'end' (vantrel-dump --json's \"tag\")."),
    TAG_GETTER("id", GET_ID, "The id (0 to 2**32-1) of a string, integer or data block tag; None for start and end."),
    TAG_GETTER("type", GET_TYPE, "A data block's type (0 to 2**32-1); None for other tags."),
    TAG_GETTER("value", GET_VALUE, "An integer tag's value as stored, 0 to 2**64-1; None for other tags."),
    TAG_GETTER("payload", GET_PAYLOAD,
               "A string's characters or a data block's bytes: a read-only memoryview of the\n"
               "blob's own bytes (no copy), which keeps them held while it lives; None for\n"
               "other tags."),
    TAG_GETTER("offset", GET_OFFSET, "The tag's first byte, from the blob's first byte."),
    TAG_GETTER("depth", GET_DEPTH,
               "0 for the blob's own start and end tags and the tags of its outer block, 1 in a\n"
               "block nested in it (its start and end tags included), and so on."),
    TAG_GETTER("tag_size", GET_TAG_SIZE, "The tag_size word of the tag's header."),
    TAG_GETTER("size", GET_SIZE, "The payload's size in bytes (string, data block); None for other tags."),
    TAG_GETTER("length", GET_LENGTH, "A start tag's length word (its block's bytes); None for other tags."),
    TAG_GETTER("name", GET_NAME,
               "The name of the schema's declaration of the tag's id (a table's name for each of\n"
               "its ids), for a tag of the outer block of a Blob read with a schema; else None."),
    {NULL, NULL, NULL, NULL, NULL},
};

static PyObject *tag_repr(PyObject *self)
{
    const vantrel_tag *t = &((tag_object *)self)->tag;
    char fields[160];
    switch (t->code) {
    case VANTREL_TAG_INTEGER:
        snprintf(fields, sizeof fields, "id=0x%" PRIx32 " value=%" PRIu64, t->id, t->value);
        break;
    case VANTREL_TAG_STRING:
        snprintf(fields, sizeof fields, "id=0x%" PRIx32 " size=%" PRIu32, t->id, t->size);
        break;
    case VANTREL_TAG_DATA_BLOCK:
        snprintf(fields, sizeof fields, "id=0x%" PRIx32 " type=0x%" PRIx32 " size=%" PRIu32, t->id, t->type, t->size);
        break;
    case VANTREL_TAG_START:
        snprintf(fields, sizeof fields, "length=%" PRIu32 " depth=%" PRIu32, t->length, t->depth);
        break;
    default:
        snprintf(fields, sizeof fields, "depth=%" PRIu32, t->depth);
        break;
    }
    return PyUnicode_FromFormat("<vantrel.Tag %U %s offset=%llu>", vt_kind_names[vt_kind_index(t->code)], fields,
                                (unsigned long long)t->offset);
}

static void tag_dealloc(PyObject *self)
{
    Py_DECREF(((tag_object *)self)->window);
    Py_XDECREF(((tag_object *)self)->schema);
    vt_free(self);
}

static PyType_Slot tag_slots[] = {
    {Py_tp_doc, "One tag of a blob, as iterating a Blob or walk() hands it out.\n\n"
                "Attributes that do not apply to the tag's kind are None."},
    {Py_tp_dealloc, VT_SLOT(tag_dealloc)},
    {Py_tp_repr, VT_SLOT(tag_repr)},
    {Py_tp_getset, tag_getset},
    {0, NULL},
};

PyType_Spec vt_tag_spec = {
    "vantrel.Tag", sizeof(tag_object), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, tag_slots,
};

/* ------------------------------------------------------------ iterators */

enum { AT_FIRST, GOING, DONE };

typedef struct {
    PyObject_HEAD
    PyObject *window;
    PyObject *schema; /* names the tags handed out, or NULL */
    vantrel_reader *reader; /* walk(): the checking walk; a checked blob: NULL */
    vantrel_tag current;
    int state;
    /* The last two tags handed out.  A `for` loop still holds the previous
     * tag when it asks for the next one, so the one before that is free
     * again when only this iterator holds it: it is filled anew instead of
     * allocating a tag a step. */
    PyObject *recent[2];
    unsigned turn;
} tag_iter_object;

static PyObject *new_iter(PyObject *window, PyObject *schema, int walking)
{
    tag_iter_object *it = (tag_iter_object *)PyType_GenericAlloc((PyTypeObject *)vt_TagIterType, 0);
    if (it == NULL)
        return NULL;
    Py_INCREF(window);
    it->window = window;
    Py_XINCREF(schema);
    it->schema = schema;
    it->state = AT_FIRST;
    if (walking) {
        it->reader = (vantrel_reader *)PyMem_Malloc(sizeof *it->reader);
        if (it->reader == NULL) {
            Py_DECREF(it);
            return PyErr_NoMemory();
        }
        /* A fault of the start tag shows at the first step. */
        vantrel_reader_init(it->reader, vt_window_data(window), vt_window_size(window), 0);
    }
    return (PyObject *)it;
}

PyObject *vt_tags_checked(PyObject *window, PyObject *schema) { return new_iter(window, schema, 0); }

PyObject *vt_tags_walking(PyObject *window) { return new_iter(window, NULL, 1); }

/* Hands out *tag in the older of the two recent tags when nothing else
 * holds it, else in a new one. */
static PyObject *hand_out(tag_iter_object *it, const vantrel_tag *tag)
{
    PyObject **slot = &it->recent[it->turn ^= 1];
    if (*slot != NULL && Py_REFCNT(*slot) == 1) {
        ((tag_object *)*slot)->tag = *tag;
    } else {
        Py_XDECREF(*slot);
        if ((*slot = vt_tag_new(it->window, it->schema, tag)) == NULL)
            return NULL;
    }
    Py_INCREF(*slot);
    return *slot;
}

/* One step from it->current into *tag: 1, 0 at the end, -1 with an
 * error set. */
static int step(tag_iter_object *it, vantrel_tag *tag)
{
    const uint8_t *data = vt_window_data(it->window);
    size_t size = vt_window_size(it->window);
    int next;
    if (it->reader != NULL) {
        next = vantrel_reader_next(it->reader, tag);
        if (next < 0)
            vt_raise_fault(&it->reader->walk);
        return next;
    }
    if (it->state == AT_FIRST) {
        it->state = GOING;
        next = vantrel_checked_first(data, size, tag);
    } else {
        *tag = it->current;
        next = vantrel_checked_next(data, size, tag);
    }
    if (next < 0)
        vt_raise_changed(it->window, tag->offset);
    return next;
}

static PyObject *tag_iter_next(PyObject *self)
{
    tag_iter_object *it = (tag_iter_object *)self;
    /* The step decodes into a local, which the compiler keeps in
     * registers: copied from memory just written field by field, the tag
     * would wait for those stores at every step. */
    vantrel_tag tag;
    int next;
    if (it->state == DONE)
        return NULL;
    next = step(it, &tag);
    if (next <= 0) {
        it->state = DONE;
        return NULL;
    }
    it->current = tag;
    return hand_out(it, &tag);
}

static void tag_iter_dealloc(PyObject *self)
{
    tag_iter_object *it = (tag_iter_object *)self;
    Py_XDECREF(it->recent[0]);
    Py_XDECREF(it->recent[1]);
    Py_DECREF(it->window);
    Py_XDECREF(it->schema);
    PyMem_Free(it->reader);
    vt_free(self);
}

static PyType_Slot tag_iter_slots[] = {
    {Py_tp_doc, "An iterator over a blob's tags."},
    {Py_tp_dealloc, VT_SLOT(tag_iter_dealloc)},
    {Py_tp_iter, VT_SLOT(PyObject_SelfIter)},
    {Py_tp_iternext, VT_SLOT(tag_iter_next)},
    {0, NULL},
};

PyType_Spec vt_tag_iter_spec = {
    "vantrel._TagIterator", sizeof(tag_iter_object), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    tag_iter_slots,
};
