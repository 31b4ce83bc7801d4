/* Builder: the library's builder (vantrel.cpp) over a buffer of its own. */
#include "ext.h"

PyObject *vt_BuilderType;

typedef struct {
    PyObject_HEAD
    vantrel_state state;
    uint8_t *buffer;
    int ended;
} builder_object;

static uint32_t used(const builder_object *b) { return (uint32_t)(b->state.cur - b->state.base); }

static PyObject *builder_new(PyTypeObject *type, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"alignment", "size", NULL};
    PyObject *alignment_arg = NULL, *size_arg = NULL;
    uint32_t alignment = 8, size = 65536;
    builder_object *b;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "|OO:Builder", keywords, &alignment_arg, &size_arg))
        return NULL;
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
    return (PyObject *)b;
}

static void builder_dealloc(PyObject *self)
{
    PyMem_Free(((builder_object *)self)->buffer);
    vt_free(self);
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

static PyObject *builder_add_string(PyObject *self, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"id", "text", NULL};
    builder_object *b = (builder_object *)self;
    PyObject *id_arg, *text;
    Py_buffer view;
    uint32_t id, length, tag_size;
    int32_t status;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO:add_string", keywords, &id_arg, &text) ||
        open_for_tags(b) < 0 || vt_u32_arg(id_arg, "id", &id) < 0 || payload_bytes(text, 1, &view) < 0)
        return NULL;
    length = payload_size(&view);
    tag_size = (size_t)view.len > UINT32_MAX ? 0 : vantrel_get_string_tag_size(&b->state, length);
    status = tag_size == 0 ? 1 : vantrel_add_string(&b->state, (const char *)view.buf, length, id);
    PyBuffer_Release(&view);
    return placed(b, status, tag_size, "string");
}

static PyObject *builder_add_data(PyObject *self, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"id", "type", "data", NULL};
    builder_object *b = (builder_object *)self;
    PyObject *id_arg, *type_arg, *data;
    Py_buffer view;
    uint32_t id, type, size, tag_size;
    int32_t status;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OOO:add_data", keywords, &id_arg, &type_arg, &data) ||
        open_for_tags(b) < 0 || vt_u32_arg(id_arg, "id", &id) < 0 || vt_u32_arg(type_arg, "type", &type) < 0 ||
        payload_bytes(data, 0, &view) < 0)
        return NULL;
    size = payload_size(&view);
    tag_size = (size_t)view.len > UINT32_MAX ? 0 : vantrel_get_data_block_tag_size(&b->state, size);
    status = tag_size == 0 ? 1 : vantrel_add_data_block(&b->state, view.buf, size, type, id);
    PyBuffer_Release(&view);
    return placed(b, status, tag_size, "data block");
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
    return placed(b, vantrel_add_integer(&b->state, value, id), vantrel_get_integer_tag_size(&b->state), "integer");
}

static PyObject *builder_end(PyObject *self, PyObject *unused)
{
    builder_object *b = (builder_object *)self;
    (void)unused;
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
    default:
        return PyLong_FromUnsignedLong(used(b));
    }
}

static PyMethodDef builder_methods[] = {
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
     "it; end() again returns the same bytes."},
    {NULL, NULL, 0, NULL},
};

static PyGetSetDef builder_getset[] = {
    {"alignment", builder_get, NULL, "The blob's alignment: every tag's size is a multiple of it.", (void *)0},
    {"size", builder_get, NULL, "The usable buffer size: `size` rounded down to the alignment.", (void *)1},
    {"used", builder_get, NULL, "Bytes written so far (the end tag's too, after end()).", (void *)2},
    {NULL, NULL, NULL, NULL, NULL},
};

static PyType_Slot builder_slots[] = {
    {Py_tp_doc, "Builder(alignment=8, size=65536)\n--\n\n"
                "Builds one blob in a buffer of `size` bytes (up to 2**32-1), every tag a\n"
                "multiple of `alignment` (a power of two from 8 to 1048576), in this machine's\n"
                "byte order: add tags, then end() returns the blob.  Ids and types are 0 to\n"
                "2**32-1.  An add that does not fit raises BlobFullError and writes nothing:\n"
                "the builder stays usable for smaller tags, as the C functions do."},
    {Py_tp_new, VT_SLOT(builder_new)},
    {Py_tp_dealloc, VT_SLOT(builder_dealloc)},
    {Py_tp_methods, builder_methods},
    {Py_tp_getset, builder_getset},
    {0, NULL},
};

PyType_Spec vt_builder_spec = {"vantrel.Builder", sizeof(builder_object), 0, Py_TPFLAGS_DEFAULT, builder_slots};
