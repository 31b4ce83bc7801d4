/* BlobError: a blob's fault, told as vantrel-dump tells it; and the checks
 * of arguments that every type shares. */
#include <inttypes.h>
#include <stdio.h>

#include "ext.h"

PyObject *vt_BlobError;
PyObject *vt_BlobFullError;

int vt_check_bytes(const uint8_t *data, size_t size, vantrel_walk *w)
{
    uint32_t open_blocks[VANTREL_MAX_DEPTH];
    int code;
    if (size < VT_RELEASE_GIL_BYTES)
        return vantrel_walk_memory(w, open_blocks, VANTREL_MAX_DEPTH, data, size, 0, NULL);
    Py_BEGIN_ALLOW_THREADS
    code = vantrel_walk_memory(w, open_blocks, VANTREL_MAX_DEPTH, data, size, 0, NULL);
    Py_END_ALLOW_THREADS
    return code;
}

/* Sets an attribute of `error` and lets go of `value`; -1 on failure. */
static int give_attr(PyObject *error, const char *name, PyObject *value)
{
    int status = value == NULL ? -1 : PyObject_SetAttrString(error, name, value);
    Py_XDECREF(value);
    return status;
}

/* Raises BlobError: str() is the message, the attributes carry the parts;
 * `name` (taken) is the schema declaration's name, or None.  Returns NULL. */
static PyObject *raise_blob_error(uint64_t offset, const char *reason, int code, PyObject *name)
{
    char text[VANTREL_SCHEMA_REASON_SIZE + 48];
    PyObject *message, *error;
    snprintf(text, sizeof text, "%s (at offset %" PRIu64 ", 0x%" PRIX64 ")", reason, offset, offset);
    message = PyUnicode_DecodeUTF8(text, (Py_ssize_t)strlen(text), "replace");
    /* A schema fault says which declaration first, as the dump does. */
    if (message != NULL && name != Py_None) {
        PyObject *named = PyUnicode_FromFormat("%U: %U", name, message);
        Py_DECREF(message);
        message = named;
    }
    error = message == NULL ? NULL : PyObject_CallFunctionObjArgs(vt_BlobError, message, NULL);
    Py_XDECREF(message);
    if (error != NULL && give_attr(error, "offset", PyLong_FromUnsignedLongLong(offset)) == 0 &&
        give_attr(error, "reason", PyUnicode_DecodeUTF8(reason, (Py_ssize_t)strlen(reason), "replace")) == 0 &&
        give_attr(error, "code", PyLong_FromLong(code)) == 0 && (Py_INCREF(name), give_attr(error, "name", name)) == 0)
        PyErr_SetObject(vt_BlobError, error);
    Py_XDECREF(error);
    Py_DECREF(name);
    return NULL;
}

PyObject *vt_raise_fault(const vantrel_walk *w)
{
    char reason[VANTREL_REASON_SIZE];
    Py_INCREF(Py_None);
    return raise_blob_error(w->fault_offset, vantrel_fault_describe(w->fault_code, w->fault_value, reason),
                            w->fault_code, Py_None);
}

PyObject *vt_raise_changed(PyObject *window, uint64_t offset)
{
    vantrel_walk w;
    if (vt_check_bytes(vt_window_data(window), vt_window_size(window), &w) != 0)
        return vt_raise_fault(&w);
    /* Changed and changed back between two steps: nothing to name. */
    Py_INCREF(Py_None);
    return raise_blob_error(offset, "the bytes changed while the blob was read", VANTREL_E_NONE, Py_None);
}

char *vt_schema_reason(PyObject *schema, int code, uint32_t decl, const vantrel_tag *tag,
                       char text[VANTREL_SCHEMA_REASON_SIZE])
{
    return vantrel_schema_describe(vt_schema_of(schema), code, decl, code == VANTREL_SF_MISSING ? NULL : tag, text);
}

PyObject *vt_raise_schema_fault(PyObject *schema, const vantrel_schema_fault *fault)
{
    char reason[VANTREL_SCHEMA_REASON_SIZE];
    PyObject *name = vt_schema_name(schema, fault->decl);
    if (name == NULL)
        return NULL;
    return raise_blob_error(fault->offset, vt_schema_reason(schema, fault->code, fault->decl, &fault->tag, reason),
                            fault->code, name);
}

int vt_u32_arg(PyObject *obj, const char *what, uint32_t *out)
{
    PyObject *index = PyNumber_Index(obj);
    long long value;
    int overflow;
    if (index == NULL) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyObject *name;
            PyErr_Clear();
            name = PyType_GetName(Py_TYPE(obj));
            if (name != NULL)
                PyErr_Format(PyExc_TypeError, "%s must be an int, not %U", what, name);
            Py_XDECREF(name);
        }
        return -1;
    }
    value = PyLong_AsLongLongAndOverflow(index, &overflow);
    Py_DECREF(index);
    if (value == -1 && PyErr_Occurred())
        return -1;
    if (overflow != 0 || value < 0 || value > (long long)UINT32_MAX) {
        PyErr_Format(PyExc_ValueError, "%s must be 0 to 4294967295 (0xFFFFFFFF), not %R", what, obj);
        return -1;
    }
    *out = (uint32_t)value;
    return 0;
}

int vt_fault_init(PyObject *module)
{
    vt_BlobError = PyErr_NewExceptionWithDoc(
        "vantrel.BlobError",
        "The bytes are not one well-formed blob.\n\n"
        "A ValueError with the fault as vantrel-dump and the C reader report it:\n"
        "offset (the byte offset), reason (vantrel-dump's text, e.g.\n"
        "'invalid tag size' or 'unknown tag: 0x7A600009') and code (the C\n"
        "reader's fault code, an int that vantrel.Fault names).  Blob.validate()\n"
        "raises it for a blob its schema refuses: then code is the schema's fault\n"
        "code (vantrel.SchemaFault), reason vantrel-dump --schema's text and name the\n"
        "declaration's name (None for an id the schema does not declare, and for\n"
        "faults of the format).",
        PyExc_ValueError, NULL);
    if (vt_BlobError == NULL || PyModule_AddObjectRef(module, "BlobError", vt_BlobError) < 0)
        return -1;
    vt_BlobFullError = PyErr_NewExceptionWithDoc(
        "vantrel.BlobFullError",
        "A tag does not fit in what is left of a Builder's buffer.\n\n"
        "Nothing was written: the builder stays usable for smaller tags.",
        PyExc_ValueError, NULL);
    if (vt_BlobFullError == NULL || PyModule_AddObjectRef(module, "BlobFullError", vt_BlobFullError) < 0)
        return -1;
    return 0;
}
