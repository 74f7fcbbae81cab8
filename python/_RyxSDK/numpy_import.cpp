#include "numpy_import.h"

#if NPY_BYTE_ORDER != NPY_LITTLE_ENDIAN
#error "the byte-order check below is written for little-endian builds"
#endif

// The table behind every numpy macro (declared extern by numpy's headers under NO_IMPORT_ARRAY).
void** RYX_PyArray_API = nullptr;

namespace RYX {

namespace {

constexpr unsigned kAbiVersion = 0x1000009;  // numpy 1.x array ABI
constexpr unsigned kFeatureVersion = 0xf;    // the C API of numpy 1.22 and later

// Positions in the table of the three functions the checks call.
constexpr int kCVersionEntry = 0;          // PyArray_GetNDArrayCVersion
constexpr int kEndiannessEntry = 210;      // PyArray_GetEndianness
constexpr int kFeatureVersionEntry = 211;  // PyArray_GetNDArrayCFeatureVersion

using VersionFunction = unsigned (*)(void);
using EndiannessFunction = int (*)(void);

template <typename Function>
Function tableEntry(void** table, int index) {
    return reinterpret_cast<Function>(table[index]);
}

// Fetches and checks the table; false with the cause as the pending exception.
bool loadArrayApi() {
    PyObject* numpy = PyImport_ImportModule("numpy.core._multiarray_umath");
    if (!numpy) return false;
    PyObject* capsule = PyObject_GetAttrString(numpy, "_ARRAY_API");
    Py_DECREF(numpy);
    if (!capsule) {
        PyErr_SetString(PyExc_AttributeError, "_ARRAY_API not found");
        return false;
    }
    if (!PyCapsule_CheckExact(capsule)) {
        Py_DECREF(capsule);
        PyErr_SetString(PyExc_RuntimeError, "_ARRAY_API is not PyCapsule object");
        return false;
    }
    // The table is static data of numpy's extension, which stays loaded once imported.
    void** table = static_cast<void**>(PyCapsule_GetPointer(capsule, nullptr));
    Py_DECREF(capsule);
    if (!table) {
        PyErr_SetString(PyExc_RuntimeError, "_ARRAY_API is NULL pointer");
        return false;
    }

    const unsigned abiVersion = tableEntry<VersionFunction>(table, kCVersionEntry)();
    if (abiVersion != kAbiVersion) {
        PyErr_Format(PyExc_RuntimeError,
                     "module compiled against ABI version 0x%x but this version of numpy is 0x%x",
                     kAbiVersion, abiVersion);
        return false;
    }
    const unsigned featureVersion = tableEntry<VersionFunction>(table, kFeatureVersionEntry)();
    if (featureVersion < kFeatureVersion) {
        PyErr_Format(PyExc_RuntimeError,
                     "module compiled against API version 0x%x but this version of numpy is 0x%x",
                     kFeatureVersion, featureVersion);
        return false;
    }
    const int byteOrder = tableEntry<EndiannessFunction>(table, kEndiannessEntry)();
    if (byteOrder == NPY_CPU_UNKNOWN_ENDIAN) {
        PyErr_SetString(PyExc_RuntimeError, "FATAL: module compiled as unknown endian");
        return false;
    }
    if (byteOrder != NPY_CPU_LITTLE) {
        PyErr_SetString(PyExc_RuntimeError,
                        "FATAL: module compiled as little endian, but detected different "
                        "endianness at runtime");
        return false;
    }
    RYX_PyArray_API = table;
    return true;
}

}  // namespace

bool importNumpyApi() {
    if (loadArrayApi()) return true;
    PyErr_Print();
    PyErr_SetString(PyExc_ImportError, "numpy.core.multiarray failed to import");
    return false;
}

}  // namespace RYX
