/* vantrel._vantrel: check() and walk(), and the module that gathers the
 * types.  The package vantrel (__init__.py) is what scripts import. */
#include "ext.h"

static PyObject *check(PyObject *module, PyObject *data)
{
    Py_buffer view;
    vantrel_walk w;
    int fault;
    (void)module;
    if (PyObject_GetBuffer(data, &view, PyBUF_SIMPLE) < 0)
        return NULL;
    fault = vt_check_bytes((const uint8_t *)view.buf, (size_t)view.len, &w);
    PyBuffer_Release(&view);
    if (fault != 0)
        return vt_raise_fault(&w);
    Py_RETURN_NONE;
}

static PyObject *walk(PyObject *module, PyObject *data)
{
    PyObject *window = vt_window_hold(data), *tags;
    (void)module;
    if (window == NULL)
        return NULL;
    tags = vt_tags_walking(window);
    Py_DECREF(window);
    return tags;
}

static PyMethodDef functions[] = {
    {"check", check, METH_O,
     "check(data, /)\n--\n\n"
     "None when `data` (any contiguous buffer: bytes, bytearray, memoryview, mmap)\n"
     "is one well-formed blob, of either byte order; else raises BlobError with the\n"
     "offset, reason and code vantrel-dump and the C reader report for those bytes.\n"
     "One pass in C, without the GIL for large blobs."},
    {"walk", walk, METH_O,
     "walk(data, /)\n--\n\n"
     "An iterator over the tags of `data`, checking as it goes: it gives the tags\n"
     "before the first fault, then raises BlobError for it, as the C reader's\n"
     "iterator and vantrel-dump do.  For bytes that may be damaged; Blob checks the\n"
     "whole blob first."},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "vantrel._vantrel", "The C core of the vantrel package.", -1, functions,
    NULL, NULL, NULL, NULL,
};

/* Makes a type from its spec and adds it to the module under its short
 * name (names beginning with _ stay private). */
static int add_type(PyObject *module, PyType_Spec *spec, PyObject **type)
{
    const char *dot = strrchr(spec->name, '.');
    if ((*type = PyType_FromSpec(spec)) == NULL)
        return -1;
    return PyModule_AddObjectRef(module, dot != NULL ? dot + 1 : spec->name, *type);
}

static int add_kinds(PyObject *module)
{
    /* Indexed by enum vantrel_kind, as the columns' 'kind' is. */
    PyObject *kinds = PyTuple_New(VANTREL_KIND_COUNT);
    int i, status;
    if (kinds == NULL)
        return -1;
    for (i = 0; i < VANTREL_KIND_COUNT; ++i) {
        if ((vt_kind_names[i] = PyUnicode_InternFromString(vantrel_kind_name(i))) == NULL) {
            Py_DECREF(kinds);
            return -1;
        }
        Py_INCREF(vt_kind_names[i]);
        PyTuple_SetItem(kinds, i, vt_kind_names[i]);
    }
    status = PyModule_AddObjectRef(module, "KINDS", kinds);
    Py_DECREF(kinds);
    return status;
}

/* One (name, code) pair of a fault code table handed to Python. */
typedef struct {
    const char *name;
    int code;
} code_name;

/* The pairs as a tuple of (name, code) under `key` in the module. */
static int add_codes(PyObject *module, const char *key, const code_name *codes, int count)
{
    PyObject *list = PyTuple_New(count);
    int i, status;
    if (list == NULL)
        return -1;
    for (i = 0; i < count; ++i) {
        PyObject *pair = Py_BuildValue("(si)", codes[i].name, codes[i].code);
        if (pair == NULL) {
            Py_DECREF(list);
            return -1;
        }
        PyTuple_SetItem(list, i, pair);
    }
    status = PyModule_AddObjectRef(module, key, list);
    Py_DECREF(list);
    return status;
}

/* _FAULTS: every fault code of enum vantrel_fault_code, from which
 * vantrel.Fault is made, and _SCHEMA_FAULTS: those of enum
 * vantrel_schema_fault_code, for vantrel.SchemaFault.  The numbers are the
 * headers'. */
static int add_faults(PyObject *module)
{
    static const code_name faults[] = {
        {"SHORT", VANTREL_E_SHORT},
        {"NO_START", VANTREL_E_NO_START},
        {"START_RESERVED", VANTREL_E_START_RESERVED},
        {"MISSING_END", VANTREL_E_MISSING_END},
        {"START_LENGTH", VANTREL_E_START_LENGTH},
        {"EOF", VANTREL_E_EOF},
        {"TAG_SIZE", VANTREL_E_TAG_SIZE},
        {"JUNK", VANTREL_E_JUNK},
        {"UNKNOWN_TAG", VANTREL_E_UNKNOWN_TAG},
        {"NESTED_RESERVED", VANTREL_E_NESTED_RESERVED},
        {"TOO_DEEP", VANTREL_E_TOO_DEEP},
    };
    static const code_name schema_faults[] = {
        {"UNDECLARED", VANTREL_SF_UNDECLARED}, {"KIND", VANTREL_SF_KIND},
        {"TYPE", VANTREL_SF_TYPE},             {"RANGE", VANTREL_SF_RANGE},
        {"LENGTH", VANTREL_SF_LENGTH},         {"SIZE", VANTREL_SF_SIZE},
        {"DUPLICATE", VANTREL_SF_DUPLICATE},   {"MISSING", VANTREL_SF_MISSING},
        {"NESTED", VANTREL_SF_NESTED},
    };
    enum { COUNT = sizeof faults / sizeof faults[0], SCHEMA_COUNT = sizeof schema_faults / sizeof schema_faults[0] };
    _Static_assert(COUNT == VANTREL_E_COUNT - 1, "every fault code but VANTREL_E_NONE has a name");
    _Static_assert(SCHEMA_COUNT == VANTREL_SF_END - VANTREL_SF_FIRST, "every schema fault code has a name");
    if (add_codes(module, "_FAULTS", faults, COUNT) < 0)
        return -1;
    return add_codes(module, "_SCHEMA_FAULTS", schema_faults, SCHEMA_COUNT);
}

PyMODINIT_FUNC PyInit__vantrel(void)
{
    PyObject *module = PyModule_Create(&module_def);
    if (module == NULL)
        return NULL;
    if (add_type(module, &vt_window_spec, &vt_WindowType) < 0 || add_type(module, &vt_tag_spec, &vt_TagType) < 0 ||
        add_type(module, &vt_tag_iter_spec, &vt_TagIterType) < 0 ||
        add_type(module, &vt_blob_spec, &vt_BlobType) < 0 || add_type(module, &vt_builder_spec, &vt_BuilderType) < 0 ||
        add_type(module, &vt_schema_spec, &vt_SchemaType) < 0 || vt_fault_init(module) < 0 ||
        vt_schema_init(module) < 0 || add_kinds(module) < 0 || add_faults(module) < 0 ||
        PyModule_AddStringConstant(module, "__version__", vantrel_version()) < 0 ||
        PyModule_AddIntConstant(module, "MAX_DEPTH", VANTREL_MAX_DEPTH) < 0) {
        Py_DECREF(module);
        return NULL;
    }
    return module;
}
