/* Windows on the caller's bytes.  A root window holds the caller's buffer
 * (bytes, bytearray, memoryview, mmap, ...) from the moment a Blob or a
 * walk begins; a cut is a part of it, exported read-only, that payload
 * memoryviews are made from.  A memoryview holds its cut, the cut its root,
 * the root the caller's buffer: the bytes stay put (a bytearray cannot be
 * resized, an mmap cannot be closed) while any view of them lives.  A
 * window may also own memory of its own: Blob.columns() hands out its
 * columns so. */
#include <stdlib.h>

#include "ext.h"

typedef struct {
    PyObject_HEAD
    PyObject *root;  /* a cut: the root window it lies in; a root: NULL */
    Py_buffer held;  /* a root: the caller's buffer */
    void *owned;     /* or memory of its own (malloc), freed with it */
    const uint8_t *data;
    size_t size;
} window_object;

PyObject *vt_WindowType;

PyObject *vt_window_hold(PyObject *obj)
{
    window_object *w = (window_object *)PyType_GenericAlloc((PyTypeObject *)vt_WindowType, 0);
    if (w == NULL)
        return NULL;
    if (PyObject_GetBuffer(obj, &w->held, PyBUF_SIMPLE) < 0) {
        Py_DECREF(w);
        return NULL;
    }
    w->data = (const uint8_t *)w->held.buf;
    w->size = (size_t)w->held.len;
    return (PyObject *)w;
}

PyObject *vt_window_own(void *memory, size_t size)
{
    window_object *w = (window_object *)PyType_GenericAlloc((PyTypeObject *)vt_WindowType, 0);
    if (w == NULL) {
        free(memory);
        return NULL;
    }
    w->owned = memory;
    w->data = (const uint8_t *)memory;
    w->size = size;
    return (PyObject *)w;
}

const uint8_t *vt_window_data(PyObject *window) { return ((window_object *)window)->data; }

size_t vt_window_size(PyObject *window) { return ((window_object *)window)->size; }

PyObject *vt_window_view(PyObject *window, const uint8_t *at, size_t size)
{
    window_object *cut = (window_object *)PyType_GenericAlloc((PyTypeObject *)vt_WindowType, 0);
    PyObject *view;
    if (cut == NULL)
        return NULL;
    Py_INCREF(window);
    cut->root = window;
    cut->data = at;
    cut->size = size;
    view = PyMemoryView_FromObject((PyObject *)cut);
    Py_DECREF(cut);
    return view;
}

static int window_getbuffer(PyObject *self, Py_buffer *view, int flags)
{
    window_object *w = (window_object *)self;
    /* Read-only: a request for a writable buffer fails with BufferError. */
    return PyBuffer_FillInfo(view, self, (void *)w->data, (Py_ssize_t)w->size, 1, flags);
}

static void window_dealloc(PyObject *self)
{
    window_object *w = (window_object *)self;
    if (w->root != NULL)
        Py_DECREF(w->root);
    else if (w->held.obj != NULL)
        PyBuffer_Release(&w->held);
    free(w->owned);
    vt_free(self);
}

static PyType_Slot window_slots[] = {
    {Py_tp_doc, "Bytes a blob or a payload view holds (internal)."},
    {Py_tp_dealloc, VT_SLOT(window_dealloc)},
    {Py_bf_getbuffer, VT_SLOT(window_getbuffer)},
    {0, NULL},
};

PyType_Spec vt_window_spec = {
    "vantrel._Window", sizeof(window_object), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    window_slots,
};
