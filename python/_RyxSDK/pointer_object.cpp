#include "pointer_object.h"

#include <cstring>

namespace RYX {

const char kVoidPointerTag[] = "void *";
const char kCharPointerTag[] = "char *";
const char kFloatPointerTag[] = "float *";

namespace {

const char kIntPointerTag[] = "int *";
const char kInt32PointerTag[] = "int32_t *";

const char* const kRegisteredTags[] = {kCharPointerTag, kFloatPointerTag, kVoidPointerTag,
                                       kIntPointerTag, kInt32PointerTag};

struct PointerObject {
    PyObject ob_base;  // what PyObject_HEAD declares
    PointerValue value;
};

// The pointer type, created once and kept for the life of the process (process state shared by
// every import of the module, not per-module state).
PyObject* pointerType = nullptr;

PointerObject* asPointer(PyObject* object) {
    return reinterpret_cast<PointerObject*>(object);
}

void pointerDealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_Free(self);
    Py_DECREF(type);  // instances of a heap type hold a reference to it
}

PyObject* pointerRepr(PyObject* self) {
    const PointerValue& value = asPointer(self)->value;
    return PyUnicode_FromFormat("<RyxPointer '%s' at %p>", value.tag, value.address);
}

PyObject* pointerRichCompare(PyObject* self, PyObject* other, int op) {
    if (op != Py_EQ && op != Py_NE) {
        PyErr_SetString(PyExc_TypeError, "pointer objects support only == and !=");
        return nullptr;
    }
    if (!isPointerObject(other)) Py_RETURN_NOTIMPLEMENTED;
    const bool same = asPointer(self)->value.address == asPointer(other)->value.address;
    return PyBool_FromLong((op == Py_EQ) == same);
}

// Equal addresses hash alike; the low bits of an address are mostly zero, so rotate them away.
Py_hash_t pointerHash(PyObject* self) {
    const uintptr_t bits = reinterpret_cast<uintptr_t>(asPointer(self)->value.address);
    const Py_hash_t hash = static_cast<Py_hash_t>((bits >> 4) | (bits << (8 * sizeof bits - 4)));
    return hash == -1 ? -2 : hash;  // -1 is reserved for errors
}

PyObject* pointerToInt(PyObject* self) {
    return PyLong_FromVoidPtr(asPointer(self)->value.address);
}

PyType_Slot pointerSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(pointerDealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(pointerRepr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(pointerRichCompare)},
    {Py_tp_hash, reinterpret_cast<void*>(pointerHash)},
    {Py_nb_int, reinterpret_cast<void*>(pointerToInt)},
    {0, nullptr},
};

PyType_Spec pointerSpec = {
    "_RyxSDK.RyxPointer",
    sizeof(PointerObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    pointerSlots,
};

}  // namespace

PyObject* pointerTagsTuple() {
    const Py_ssize_t count = sizeof kRegisteredTags / sizeof kRegisteredTags[0];
    PyObject* tags = PyTuple_New(count);
    if (!tags) return nullptr;
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* tag = PyUnicode_FromString(kRegisteredTags[i]);
        if (!tag || PyTuple_SetItem(tags, i, tag) < 0) {  // SetItem steals `tag`
            Py_DECREF(tags);
            return nullptr;
        }
    }
    return tags;
}

bool setUpPointerType() {
    if (!pointerType) pointerType = PyType_FromSpec(&pointerSpec);
    return pointerType != nullptr;
}

PyObject* newPointerObject(const PointerValue& value) {
    PointerObject* object =
        PyObject_New(PointerObject, reinterpret_cast<PyTypeObject*>(pointerType));
    if (!object) return nullptr;
    object->value = value;
    return reinterpret_cast<PyObject*>(object);
}

bool isPointerObject(PyObject* object) {
    return pointerType && reinterpret_cast<PyObject*>(Py_TYPE(object)) == pointerType;
}

PointerValue pointerValueOf(PyObject* object) {
    return asPointer(object)->value;
}

}  // namespace RYX
