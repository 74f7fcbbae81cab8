// The Contexts this module created and has not destroyed yet, so that a handle that is None,
// already destroyed or never came from RYX_Create is refused before it reaches the library.
//
// The registry is process state, not module state: a Context belongs to the process, and a
// handle stays meaningful whichever import of the module it passes through. The module keeps
// the interpreter lock during every call, which serialises all access.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "pointer_object.h"
#include "ryxsound/ryx_api.h"

namespace RYX {

// Records a Context just created and returns the serial its handle carries; 0 when memory for
// the record is exhausted (the Context is then not recorded).
uint64_t registerContext(Context* context);

// Forgets a Context about to be destroyed; unknown Contexts are ignored.
void forgetContext(Context* context);

// The live Context a handle names, or null when the handle is None, was destroyed, or carries
// an address (or an address reused by a later Context) that the registry does not hold.
Context* liveContext(const PointerValue& handle);

// As liveContext(), but raises ValueError "in method 'F', argument N: ..." when there is none.
Context* requireContext(const char* function, int position, const PointerValue& handle);

// Converts `object`, argument `position` of `function`, as 'void *' and returns the live Context
// it names; raises TypeError (not a handle) or ValueError (no live Context) and returns null.
Context* contextArg(const char* function, int position, PyObject* object);

}  // namespace RYX
