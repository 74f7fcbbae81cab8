#include "arg_convert.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace RYX {

namespace {

static_assert(sizeof(int) == sizeof(int32_t), "'int' and 'int32_t' share one converter");

// The value of `object` if it is a pointer object or holds one in its attribute "this".
bool findPointer(PyObject* object, PointerValue* out) {
    if (isPointerObject(object)) {
        *out = pointerValueOf(object);
        return true;
    }
    PyObject* inner = PyObject_GetAttrString(object, "this");
    if (!inner) {
        PyErr_Clear();
        return false;
    }
    const bool found = isPointerObject(inner);
    if (found) *out = pointerValueOf(inner);
    Py_DECREF(inner);
    return found;
}

ArgStatus copyChars(PyObject* object, CharArg* out, size_t minCapacity) {
    if (object == Py_None) {
        out->data = nullptr;
        return ArgStatus::Ok;
    }
    if (PyUnicode_Check(object)) {
        Py_ssize_t length = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(object, &length);
        if (!utf8) {  // a lone surrogate has no UTF-8 form
            PyErr_Clear();
            return ArgStatus::WrongType;
        }
        const size_t capacity = std::max(static_cast<size_t>(length) + 1, minCapacity);
        out->storage.reset(new (std::nothrow) char[capacity]());
        if (!out->storage) return ArgStatus::NoMemory;
        std::memcpy(out->storage.get(), utf8, static_cast<size_t>(length) + 1);
        out->data = out->storage.get();
        out->length = length;
        return ArgStatus::Ok;
    }
    PointerValue pointer;
    if (findPointer(object, &pointer) && std::strcmp(pointer.tag, kCharPointerTag) == 0) {
        out->data = static_cast<char*>(pointer.address);
        return ArgStatus::Ok;
    }
    return ArgStatus::WrongType;
}

}  // namespace

ArgStatus toInt(PyObject* object, int* out) {
    if (!PyLong_Check(object)) return ArgStatus::WrongType;
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (value == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return ArgStatus::WrongType;
    }
    if (overflow != 0 || value < INT32_MIN || value > INT32_MAX) return ArgStatus::OutOfRange;
    *out = static_cast<int>(value);
    return ArgStatus::Ok;
}

ArgStatus toFloat(PyObject* object, float* out) {
    double value = 0.0;
    if (PyFloat_Check(object)) {
        value = PyFloat_AsDouble(object);
    } else if (PyLong_Check(object)) {
        value = PyLong_AsDouble(object);
        if (value == -1.0 && PyErr_Occurred()) {  // beyond the range of a double, e.g. 10**400
            PyErr_Clear();
            return ArgStatus::WrongType;
        }
    } else {
        return ArgStatus::WrongType;
    }
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return ArgStatus::OutOfRange;
    *out = static_cast<float>(value);
    return ArgStatus::Ok;
}

ArgStatus toCharPointer(PyObject* object, CharArg* out) {
    return copyChars(object, out, 0);
}

ArgStatus toCharOutput(PyObject* object, CharArg* out) {
    return copyChars(object, out, kCharOutputCapacity);
}

ArgStatus toFloatPointer(PyObject* object, float** out) {
    if (object == Py_None) {
        *out = nullptr;
        return ArgStatus::Ok;
    }
    PointerValue pointer;
    if (findPointer(object, &pointer) && std::strcmp(pointer.tag, kFloatPointerTag) == 0) {
        *out = static_cast<float*>(pointer.address);
        return ArgStatus::Ok;
    }
    return ArgStatus::WrongType;
}

ArgStatus toVoidPointer(PyObject* object, PointerValue* out) {
    if (object == Py_None) {
        *out = PointerValue();
        return ArgStatus::Ok;
    }
    return findPointer(object, out) ? ArgStatus::Ok : ArgStatus::WrongType;
}

bool raiseArgError(ArgStatus status, const char* function, int position, const char* type) {
    PyObject* exception = PyExc_TypeError;
    if (status == ArgStatus::OutOfRange) exception = PyExc_OverflowError;
    if (status == ArgStatus::NoMemory) {
        PyErr_NoMemory();
        return false;
    }
    PyErr_Format(exception, "in method '%s', argument %d of type '%s'", function, position, type);
    return false;
}

bool checkArgCount(const char* function, PyObject* args, Py_ssize_t expected) {
    if (!PyTuple_Check(args)) {
        PyErr_SetString(PyExc_SystemError, "UnpackTuple() argument list is not a tuple");
        return false;
    }
    const Py_ssize_t given = PyTuple_Size(args);
    if (given == expected) return true;
    PyErr_Format(PyExc_TypeError, "%s expected %s%d arguments, got %d", function, "",
                 static_cast<int>(expected), static_cast<int>(given));
    return false;
}

}  // namespace RYX
