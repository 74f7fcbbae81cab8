// Conversion of Python arguments to the C types the API declares, and the messages of a failed
// conversion. A converter leaves no exception set; the caller raises one with raiseArgError():
// TypeError "in method 'RYX_Configure', argument 2 of type 'float'" for a value of the wrong
// type, OverflowError with the same text for a value out of the type's range.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <memory>

#include "pointer_object.h"

namespace RYX {

enum class ArgStatus { Ok, WrongType, OutOfRange, NoMemory };

// 'int' and 'int32_t' (the same 32 bits here): an int, bool and subclasses included, within
// -2147483648..2147483647.
ArgStatus toInt(PyObject* object, int* out);

// 'float': a float or an int (subclasses included) as a double, then rounded to single
// precision. Finite values beyond +-3.4028234663852886e38 are out of range; infinities and NaN
// pass; an int too large for a double is the wrong type.
ArgStatus toFloat(PyObject* object, float* out);

// A 'char *' / 'char const *' argument: a private NUL-terminated copy of a str's UTF-8 bytes
// (released with the CharArg), a null pointer for None, or a pointer object's address.
struct CharArg {
    char* data = nullptr;
    Py_ssize_t length = 0;  // UTF-8 bytes of the str before the NUL; 0 for the other forms
    std::unique_ptr<char[]> storage;
};

// 'char *', 'char const *': a str (a lone surrogate cannot be encoded: wrong type), None, or a
// pointer object tagged 'char *'; bytes are refused. The copy of a str is its length plus one.
ArgStatus toCharPointer(PyObject* object, CharArg* out);

// Bytes every copy made by toCharOutput() holds at least: room for any text the API writes.
constexpr size_t kCharOutputCapacity = 64;

// A 'char *' the API writes into: as toCharPointer(), but the copy of a str holds at least
// kCharOutputCapacity bytes, so a str shorter than the text written cannot be overrun.
ArgStatus toCharOutput(PyObject* object, CharArg* out);

// 'float *', 'float const *': None (null) or a pointer object tagged 'float *'.
ArgStatus toFloatPointer(PyObject* object, float** out);

// 'void *': None (null), any pointer object, or an object whose attribute "this" holds one.
ArgStatus toVoidPointer(PyObject* object, PointerValue* out);

// Raises the exception of a failed conversion of argument `position` (1-based) of `function`,
// declared `type`: TypeError for WrongType, OverflowError for OutOfRange, MemoryError for
// NoMemory (a str too large to copy). Returns false, so that a bool function can end with
// `return raiseArgError(...)`.
bool raiseArgError(ArgStatus status, const char* function, int position, const char* type);

// True when `args` is a tuple of exactly `expected` items; otherwise raises TypeError
// "RYX_Configure expected 4 arguments, got 3" (SystemError when `args` is not a tuple).
bool checkArgCount(const char* function, PyObject* args, Py_ssize_t expected);

// Converts item `position` (1-based) of the argument tuple `args` with `convert`, raising the
// conversion's exception on failure. Returns true on success.
template <typename T>
bool convertArg(const char* function, PyObject* args, int position, const char* type,
                ArgStatus (*convert)(PyObject*, T*), T* out) {
    PyObject* item = PyTuple_GetItem(args, position - 1);
    if (!item) return false;
    const ArgStatus status = convert(item, out);
    return status == ArgStatus::Ok || raiseArgError(status, function, position, type);
}

}  // namespace RYX
