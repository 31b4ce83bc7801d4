/* Schema: a schema text read by the library's reader (vantrel_schema.h),
 * SchemaError for one it refuses, and what Blob and Builder ask of it. */
#include "ext.h"

PyObject *vt_SchemaType, *vt_SchemaError;
static PyTypeObject *declaration_type;

typedef struct {
    PyObject_HEAD
    PyObject *text; /* bytes: the declarations' names point into it */
    vantrel_schema_decl *decls;
    vantrel_schema schema;
} schema_object;

int vt_is_schema(PyObject *obj) { return PyObject_TypeCheck(obj, (PyTypeObject *)vt_SchemaType); }

const vantrel_schema *vt_schema_of(PyObject *schema) { return &((schema_object *)schema)->schema; }

PyObject *vt_schema_name(PyObject *schema, uint32_t decl)
{
    const vantrel_schema *s = vt_schema_of(schema);
    if (decl >= s->count)
        Py_RETURN_NONE;
    return PyUnicode_FromStringAndSize(s->decls[decl].name, (Py_ssize_t)s->decls[decl].name_length);
}

uint32_t vt_schema_tag_decl(PyObject *schema, PyObject *name)
{
    const vantrel_schema *s = vt_schema_of(schema);
    Py_ssize_t length;
    const char *utf8 = PyUnicode_AsUTF8AndSize(name, &length);
    uint32_t decl;
    if (utf8 == NULL)
        return VANTREL_SCHEMA_NONE;
    decl = vantrel_schema_find_name(s, utf8, (size_t)length);
    if (decl == VANTREL_SCHEMA_NONE) {
        PyErr_Format(PyExc_ValueError, "no declaration named %R in the schema", name);
        return VANTREL_SCHEMA_NONE;
    }
    if (s->decls[decl].kind > VANTREL_DECL_DATA) {
        PyErr_Format(PyExc_ValueError, "%R is a %s, not a tag", name, vantrel_schema_kind_word(s->decls[decl].kind));
        return VANTREL_SCHEMA_NONE;
    }
    return decl;
}

/* Sets an attribute of `error` and lets go of `value`; -1 on failure. */
static int give_attr(PyObject *error, const char *name, PyObject *value)
{
    int status = value == NULL ? -1 : PyObject_SetAttrString(error, name, value);
    Py_XDECREF(value);
    return status;
}

/* SchemaError for `e`: "WHERE:LINE: REASON", as the programs print it
 * after their name.  Returns NULL. */
static PyObject *raise_schema_error(const vantrel_schema_error *e, PyObject *where)
{
    char reason[VANTREL_SCHEMA_REASON_SIZE];
    PyObject *text, *message, *error;
    vantrel_schema_error_describe(e, reason);
    if ((text = PyUnicode_DecodeUTF8(reason, (Py_ssize_t)strlen(reason), "replace")) == NULL)
        return NULL;
    message = PyUnicode_FromFormat("%U:%lu: %U", where, (unsigned long)e->line, text);
    error = message == NULL ? NULL : PyObject_CallFunctionObjArgs(vt_SchemaError, message, NULL);
    Py_XDECREF(message);
    if (error != NULL && give_attr(error, "line", PyLong_FromUnsignedLong(e->line)) == 0 &&
        give_attr(error, "column", PyLong_FromUnsignedLong(e->column)) == 0 &&
        give_attr(error, "code", PyLong_FromLong(e->code)) == 0 &&
        (Py_INCREF(text), give_attr(error, "reason", text)) == 0)
        PyErr_SetObject(vt_SchemaError, error);
    Py_XDECREF(error);
    Py_DECREF(text);
    return NULL;
}

/* A Schema of the text `source` (str or bytes-like), named `where` in its
 * errors. */
static PyObject *read_schema(PyTypeObject *type, PyObject *source, PyObject *where)
{
    schema_object *s;
    vantrel_schema_error error;
    uint32_t capacity;
    char *text;
    Py_ssize_t size;
    if (PyUnicode_Check(source))
        source = PyUnicode_AsUTF8String(source);
    else
        source = PyBytes_FromObject(source); /* a copy the names can point into */
    if (source == NULL)
        return NULL;
    if ((s = (schema_object *)PyType_GenericAlloc(type, 0)) == NULL) {
        Py_DECREF(source);
        return NULL;
    }
    s->text = source;
    if (PyBytes_AsStringAndSize(source, &text, &size) < 0) {
        Py_DECREF(s);
        return NULL;
    }
    capacity = vantrel_schema_count(text, (size_t)size);
    if ((s->decls = (vantrel_schema_decl *)PyMem_Malloc((capacity + (size_t)1) * sizeof *s->decls)) == NULL) {
        Py_DECREF(s);
        return PyErr_NoMemory();
    }
    if (vantrel_schema_read(&s->schema, s->decls, capacity, text, (size_t)size, &error) != 0) {
        /* The error's word lies in the text: told before the text goes. */
        raise_schema_error(&error, where);
        Py_DECREF(s);
        return NULL;
    }
    return (PyObject *)s;
}

static PyObject *schema_new(PyTypeObject *type, PyObject *args, PyObject *kwds)
{
    static char *keywords[] = {"text", NULL};
    PyObject *text, *where, *schema;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O:Schema", keywords, &text))
        return NULL;
    if ((where = PyUnicode_FromString("<schema>")) == NULL)
        return NULL;
    schema = read_schema(type, text, where);
    Py_DECREF(where);
    return schema;
}

static PyObject *schema_load(PyObject *cls, PyObject *path)
{
    PyObject *name = PyOS_FSPath(path), *where = NULL, *io, *file = NULL, *text = NULL, *schema = NULL;
    if (name == NULL)
        return NULL;
    where = PyUnicode_Check(name) ? (Py_INCREF(name), name) : PyObject_Str(name);
    if (where != NULL && (io = PyImport_ImportModule("io")) != NULL) {
        file = PyObject_CallMethod(io, "open", "Os", name, "rb");
        Py_DECREF(io);
    }
    if (file != NULL) {
        PyObject *closed;
        text = PyObject_CallMethod(file, "read", NULL);
        closed = PyObject_CallMethod(file, "close", NULL);
        if (closed == NULL)
            Py_CLEAR(text);
        Py_XDECREF(closed);
        Py_DECREF(file);
    }
    if (text != NULL)
        schema = read_schema((PyTypeObject *)cls, text, where);
    Py_XDECREF(text);
    Py_XDECREF(where);
    Py_DECREF(name);
    return schema;
}

static void schema_dealloc(PyObject *self)
{
    schema_object *s = (schema_object *)self;
    PyMem_Free(s->decls);
    Py_XDECREF(s->text);
    vt_free(self);
}

/* ---------------------------------------------------------- declarations */

enum { D_NAME, D_KIND, D_ID, D_LAST, D_TYPE, D_VALUE, D_LIMITS, D_OPTIONAL, D_TABLE, D_FIELDS };

static PyStructSequence_Field declaration_fields[] = {
    {"name", "The declaration's name."},
    {"kind", "Its word: 'str', 'int', 'data', 'type' or 'const'."},
    {"id", "A tag declaration's id (a table's first); None for type and const."},
    {"last", "A tag declaration's last id (id unless a table); None for type and const."},
    {"type", "A data block's type, or a type declaration's number; else None."},
    {"value", "A const's value; else None."},
    {"limits", "(low, high) as written (an int range, a str max as (0, max), a data size);\n"
               "None when none was written.  A signed range's ends are negative ints."},
    {"optional", "True for an optional tag."},
    {"table", "True for a table (a family of ids)."},
    {NULL, NULL},
};

static PyStructSequence_Desc declaration_desc = {
    "vantrel.Declaration", "One declaration of a Schema, in the order of its text.", declaration_fields, D_FIELDS,
};

static PyObject *or_none(int has, PyObject *value)
{
    if (has)
        return value;
    Py_XDECREF(value);
    Py_RETURN_NONE;
}

static PyObject *int_limit(const vantrel_schema_decl *d, uint64_t end)
{
    return d->flags & VANTREL_DECL_SIGNED ? PyLong_FromLongLong((long long)end) : PyLong_FromUnsignedLongLong(end);
}

static PyObject *declaration(PyObject *schema, uint32_t i)
{
    const vantrel_schema_decl *d = &vt_schema_of(schema)->decls[i];
    PyObject *item = PyStructSequence_New(declaration_type), *v[D_FIELDS];
    int tag = d->kind <= VANTREL_DECL_DATA, k;
    if (item == NULL)
        return NULL;
    v[D_NAME] = vt_schema_name(schema, i);
    v[D_KIND] = PyUnicode_FromString(vantrel_schema_kind_word(d->kind));
    v[D_ID] = or_none(tag, PyLong_FromUnsignedLong(d->id));
    v[D_LAST] = or_none(tag, PyLong_FromUnsignedLong(d->last));
    v[D_TYPE] = or_none(d->kind == VANTREL_DECL_DATA || d->kind == VANTREL_DECL_TYPE,
                        PyLong_FromUnsignedLong(d->type));
    v[D_VALUE] = or_none(d->kind == VANTREL_DECL_CONST, PyLong_FromUnsignedLongLong(d->low));
    v[D_LIMITS] = or_none(tag && (d->flags & VANTREL_DECL_LIMITED),
                          d->kind == VANTREL_DECL_STRING
                              ? Py_BuildValue("(iN)", 0, PyLong_FromUnsignedLongLong(d->high))
                              : Py_BuildValue("(NN)", int_limit(d, d->low), int_limit(d, d->high)));
    v[D_OPTIONAL] = PyBool_FromLong(d->flags & VANTREL_DECL_OPTIONAL);
    v[D_TABLE] = PyBool_FromLong(d->flags & VANTREL_DECL_TABLE);
    for (k = 0; k < D_FIELDS; ++k) {
        if (v[k] == NULL) {
            for (; k < D_FIELDS; ++k)
                Py_XDECREF(v[k]);
            Py_DECREF(item);
            return NULL;
        }
        PyStructSequence_SetItem(item, k, v[k]);
    }
    return item;
}

static PyObject *schema_declarations(PyObject *self, void *closure)
{
    uint32_t count = vt_schema_of(self)->count, i;
    PyObject *all = PyTuple_New((Py_ssize_t)count);
    (void)closure;
    for (i = 0; all != NULL && i < count; ++i) {
        PyObject *item = declaration(self, i);
        if (item == NULL)
            Py_CLEAR(all);
        else
            PyTuple_SetItem(all, (Py_ssize_t)i, item);
    }
    return all;
}

static PyObject *schema_getitem(PyObject *self, PyObject *name)
{
    const vantrel_schema *s = vt_schema_of(self);
    Py_ssize_t length;
    const char *utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &length) : NULL;
    uint32_t decl;
    if (utf8 == NULL) {
        if (!PyErr_Occurred())
            PyErr_SetObject(PyExc_KeyError, name);
        return NULL;
    }
    decl = vantrel_schema_find_name(s, utf8, (size_t)length);
    if (decl == VANTREL_SCHEMA_NONE) {
        PyErr_SetObject(PyExc_KeyError, name);
        return NULL;
    }
    return declaration(self, decl);
}

static Py_ssize_t schema_length(PyObject *self) { return (Py_ssize_t)vt_schema_of(self)->count; }

static PyObject *schema_repr(PyObject *self)
{
    const vantrel_schema *s = vt_schema_of(self);
    return PyUnicode_FromFormat("<vantrel.Schema %lu declarations, %lu of tags>", (unsigned long)s->count,
                                (unsigned long)s->tags);
}

static PyMethodDef schema_methods[] = {
    {"load", schema_load, METH_O | METH_CLASS,
     "load($cls, path, /)\n--\n\n"
     "The Schema in the file at `path` (str, bytes or os.PathLike); OSError when it\n"
     "cannot be read, SchemaError (its message 'PATH:LINE: reason') when refused."},
    {NULL, NULL, 0, NULL},
};

static PyGetSetDef schema_getset[] = {
    {"declarations", schema_declarations, NULL, "Every declaration (Declaration records), in the order of the text.",
     NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

static PyType_Slot schema_slots[] = {
    {Py_tp_doc, "Schema(text)\n--\n\n"
                "A schema read from `text` (str, or bytes-like as UTF-8) by the C reader that\n"
                "vantrel-comp --schema and vantrel-dump --schema use (vantrel-schema(5)).\n"
                "A text it refuses raises SchemaError.  schema[name] is the Declaration of\n"
                "that name (KeyError when none), len(schema) the number of declarations.\n"
                "Blob(data, schema=...) and Builder(schema=...) read and build by name."},
    {Py_tp_new, VT_SLOT(schema_new)},
    {Py_tp_dealloc, VT_SLOT(schema_dealloc)},
    {Py_tp_repr, VT_SLOT(schema_repr)},
    {Py_tp_methods, schema_methods},
    {Py_tp_getset, schema_getset},
    {Py_mp_subscript, VT_SLOT(schema_getitem)},
    {Py_mp_length, VT_SLOT(schema_length)},
    {0, NULL},
};

PyType_Spec vt_schema_spec = {"vantrel.Schema", sizeof(schema_object), 0, Py_TPFLAGS_DEFAULT, schema_slots};

int vt_schema_init(PyObject *module)
{
    vt_SchemaError = PyErr_NewExceptionWithDoc(
        "vantrel.SchemaError",
        "A schema text the reader refuses.\n\n"
        "A ValueError with line and column (1-based, the column in bytes), code (the\n"
        "reader's error code) and reason (the text vantrel-comp prints after\n"
        "'SCHEMA-FILE:LINE: ').",
        PyExc_ValueError, NULL);
    if (vt_SchemaError == NULL || PyModule_AddObjectRef(module, "SchemaError", vt_SchemaError) < 0)
        return -1;
    declaration_type = PyStructSequence_NewType(&declaration_desc);
    if (declaration_type == NULL || PyModule_AddObjectRef(module, "Declaration", (PyObject *)declaration_type) < 0)
        return -1;
    return 0;
}
