#include "array_functions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "arg_convert.h"
#include "context_registry.h"
#include "numpy_import.h"
#include "ryxsound/ryx_api.h"

namespace RYX {

namespace {

// Room of the text buffer handed to RYX_GetDecodedData, which writes nine characters and a NUL.
constexpr size_t kDecodedTextRoom = 32;

// True for an array the encoder can write float samples into directly.
bool isWritableFloatArray(PyObject* object) {
    if (!PyArray_Check(object)) return false;
    PyArrayObject* array = reinterpret_cast<PyArrayObject*>(object);
    return PyArray_TYPE(array) == NPY_FLOAT32 && PyArray_ISNOTSWAPPED(array) &&
           PyArray_ISCARRAY(array);  // C-contiguous, aligned and writeable
}

}  // namespace

PyObject* pyDecodeAudioBufferArray(PyObject*, PyObject* args) {
    const char* const name = "RYX_PyDecodeAudioBuffer";
    int count = 0;
    PointerValue handle;
    if (!checkArgCount(name, args, 3) || !convertArg(name, args, 2, "int", toInt, &count) ||
        !convertArg(name, args, 3, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 3, handle);
    if (!context) return nullptr;

    // New reference: the argument itself when it already is C-contiguous aligned float32.
    PyObject* samples =
        PyArray_FromAny(PyTuple_GetItem(args, 0), PyArray_DescrFromType(NPY_FLOAT32), 0, 0,
                        NPY_ARRAY_IN_ARRAY | NPY_ARRAY_FORCECAST, nullptr);
    if (!samples) return nullptr;
    PyArrayObject* array = reinterpret_cast<PyArrayObject*>(samples);
    const npy_intp size = PyArray_SIZE(array);
    PyObject* result = nullptr;
    if (count > size) {
        PyErr_Format(PyExc_ValueError, "%s: count %d exceeds the %zd samples of input", name, count,
                     static_cast<Py_ssize_t>(size));
    } else {
        float* data = static_cast<float*>(PyArray_DATA(array));
        result = PyLong_FromLong(RYX_DecodeAudioBuffer(data, count, context));
    }
    Py_DECREF(samples);
    return result;
}

PyObject* pyGetDecodedDataTuple(PyObject*, PyObject* handle) {
    Context* context = contextArg("RYX_PyGetDecodedData", 1, handle);
    if (!context) return nullptr;
    char text[kDecodedTextRoom] = {};  // cleared: a call that writes nothing leaves ""
    const int status = RYX_GetDecodedData(text, context);
    const Py_ssize_t length = static_cast<Py_ssize_t>(strnlen(text, sizeof text - 1));
    return Py_BuildValue("(is#)", status, text, length);
}

// The diagnostic line goes to the C runtime's stdout (file descriptor 1), not to sys.stdout. It
// is printed whenever the library was asked for samples, 0 included; a call refused with an
// exception asks for nothing and prints nothing.
PyObject* pyGetEncodedAudioBufferArray(PyObject*, PyObject* args) {
    const char* const name = "RYX_PyGetEncodedAudioBuffer";
    PointerValue handle;
    if (!checkArgCount(name, args, 2) ||
        !convertArg(name, args, 2, "void *", toVoidPointer, &handle)) {
        return nullptr;
    }
    Context* context = requireContext(name, 2, handle);
    if (!context) return nullptr;
    PyObject* out = PyTuple_GetItem(args, 0);
    if (!isWritableFloatArray(out)) {
        PyErr_Format(PyExc_TypeError,
                     "in method '%s', argument 1: out must be a writable, C-contiguous, aligned "
                     "float32 ndarray",
                     name);
        return nullptr;
    }
    PyArrayObject* array = reinterpret_cast<PyArrayObject*>(out);
    const npy_intp room = std::min<npy_intp>(PyArray_SIZE(array), INT32_MAX);
    const int written = RYX_GetEncodedAudioSlice(static_cast<float*>(PyArray_DATA(array)),
                                                 static_cast<int32_t>(room), context);
    std::printf("RYX_GetEncodedAudioBuffer: result=%d\n", written);
    std::fflush(stdout);
    return PyLong_FromLong(written);
}

}  // namespace RYX
