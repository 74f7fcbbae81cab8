// The pointer object: an opaque Python value that carries a C address and a type tag ('void *',
// 'char *', 'float *', ...). It owns nothing: dropping it frees nothing. Two pointer objects are
// == when their addresses are equal; <, <=, > and >= raise TypeError; int() gives the address.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace RYX {

// The registry of pointer type tags this binding layer knows. Tags are compared by text, so
// every module built on the same layer agrees on them without sharing any object.
extern const char kVoidPointerTag[];   // "void *"
extern const char kCharPointerTag[];   // "char *"
extern const char kFloatPointerTag[];  // "float *"

// The registered tags as a new tuple of str, in registration order (the module's
// "_pointer_tags" entry); null with an exception set on failure.
PyObject* pointerTagsTuple();

// What a pointer object carries. `serial` tells apart two objects made for different
// allocations that happened to reuse one address (0 when the maker has no use for it).
struct PointerValue {
    void* address = nullptr;
    const char* tag = nullptr;  // one of the registered tags, or null for a None argument
    uint64_t serial = 0;
};

// Creates the pointer type once per process; false with an exception set on failure.
bool setUpPointerType();

// A new pointer object carrying `value` (its tag must be a registered one); null with an
// exception set on failure. setUpPointerType() must have succeeded.
PyObject* newPointerObject(const PointerValue& value);

// True when `object` is a pointer object (not a subclass: the type cannot be subclassed).
bool isPointerObject(PyObject* object);

// The value carried by a pointer object; `object` must satisfy isPointerObject().
PointerValue pointerValueOf(PyObject* object);

}  // namespace RYX
